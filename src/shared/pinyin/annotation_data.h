#pragma once
// The shipped annotation data, loaded in one way for every caller: the character dictionary
// ("dz.txt"), the word table ("zn.lxd") and the review data ("dy.txt", "cp.txt"). The parts are
// independent, so they load at the same time: the dictionary and the review data on threads of
// their own while the calling thread loads the word table, which yields to the pump.

#include "shared/lexcore/event_pump.h"
#include "shared/pinyin/char_dictionary.h"
#include "shared/pinyin/reading_review.h"
#include "shared/pinyin/word_table.h"

#include <filesystem>
#include <optional>

namespace lex::pinyin {

// Where the data files are: by default the shipped names in one folder.
struct AnnotationFiles {
    std::filesystem::path dictionary, wordTable, polyphones, ranks;
    static AnnotationFiles in(const std::filesystem::path &folder);
};

enum class AnnotationPart { Dictionary, WordTable, Review };

// What a caller needs of each part: nothing, the part if its files are there, or the part.
enum class Need { No, IfPresent, Yes };
struct AnnotationNeeds {
    Need dictionary = Need::No;
    Need wordTable = Need::No;
    Need review = Need::No;
};

struct AnnotationData {
    std::optional<CharDictionary> dictionary;
    std::optional<WordTable> wordTable;
    std::optional<ReviewData> review;
    std::optional<AnnotationPart> missing; // as AnnotationLoader::missing() said
};

// Loads what a caller needs. Which part is missing is known at once, before anything loads (a
// caller may start on its input meanwhile). When one is, only the dictionary loads, so that its
// failure still comes first. Otherwise every part needed, and every part wanted whose files are
// there, loads; a part that cannot be read throws its LexError, the dictionary's before the word
// table's before the review data's.
class AnnotationLoader {
public:
    AnnotationLoader(AnnotationFiles files, const AnnotationNeeds &needs);
    // The first part needed (Need::Yes) whose files are missing, in the order dictionary, word
    // table, review data.
    std::optional<AnnotationPart> missing() const { return m_missing; }
    AnnotationData load(EventPump &pump) const;

private:
    AnnotationFiles m_files;
    bool m_dictionary = false, m_wordTable = false, m_review = false; // the parts that load
    std::optional<AnnotationPart> m_missing;
};

// AnnotationLoader(files, needs).load(pump).
AnnotationData loadAnnotationData(const AnnotationFiles &files, const AnnotationNeeds &needs,
                                  EventPump &pump);

} // namespace lex::pinyin
