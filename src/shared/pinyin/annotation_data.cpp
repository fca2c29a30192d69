#include "shared/pinyin/annotation_data.h"

#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/file_io.h"

#include <exception>
#include <future>

namespace lex::pinyin {

AnnotationFiles AnnotationFiles::in(const std::filesystem::path &folder) {
    return {folder / kDictionaryFile, folder / kWordTableFile, folder / kPolyphoneFile,
            folder / kRankFile};
}

AnnotationLoader::AnnotationLoader(AnnotationFiles files, const AnnotationNeeds &needs)
    : m_files(std::move(files)) {
    const bool haveDictionary = fileExists(m_files.dictionary);
    const bool haveTable = fileExists(m_files.wordTable);
    const bool haveReview = fileExists(m_files.polyphones) && fileExists(m_files.ranks);
    if (needs.dictionary == Need::Yes && !haveDictionary)
        m_missing = AnnotationPart::Dictionary;
    else if (needs.wordTable == Need::Yes && !haveTable)
        m_missing = AnnotationPart::WordTable;
    else if (needs.review == Need::Yes && !haveReview)
        m_missing = AnnotationPart::Review;
    m_dictionary = needs.dictionary != Need::No && haveDictionary;
    if (m_missing)
        return;
    m_wordTable = needs.wordTable != Need::No && haveTable;
    m_review = m_wordTable && needs.review != Need::No && haveReview;
}

AnnotationData AnnotationLoader::load(EventPump &pump) const {
    AnnotationData data;
    data.missing = m_missing;
    std::future<void> dictionary, review;
    if (m_dictionary)
        dictionary = std::async(std::launch::async, [&] {
            data.dictionary.emplace(loadCharDictionary(m_files.dictionary));
        });
    if (m_review)
        review = std::async(std::launch::async, [&] {
            data.review.emplace(loadReviewData(m_files.polyphones, m_files.ranks));
        });
    std::exception_ptr tableFailure;
    if (m_wordTable) {
        try {
            data.wordTable.emplace(loadWordTable(m_files.wordTable, pump));
        } catch (...) {
            tableFailure = std::current_exception();
        }
    }
    // Both threads are waited for before anything is thrown: they write into `data`.
    std::exception_ptr dictionaryFailure, reviewFailure;
    auto wait = [](std::future<void> &f, std::exception_ptr &failure) {
        if (!f.valid())
            return;
        try {
            f.get();
        } catch (...) {
            failure = std::current_exception();
        }
    };
    wait(dictionary, dictionaryFailure);
    wait(review, reviewFailure);
    for (const std::exception_ptr &failure : {dictionaryFailure, tableFailure, reviewFailure})
        if (failure)
            std::rethrow_exception(failure);
    return data;
}

AnnotationData loadAnnotationData(const AnnotationFiles &files, const AnnotationNeeds &needs,
                                  EventPump &pump) {
    return AnnotationLoader(files, needs).load(pump);
}

} // namespace lex::pinyin
