#include "phonetag/correction.h"

#include "phonetag/foreign_entries.h"
#include "shared/formats/foreign_lexicon.h"

#include "phonetag/background_writer.h"
#include "shared/pinyin/char_dictionary.h"

#include "phonetag/line_pass.h"

#include "shared/lexcore/encoding_detection.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/file_io.h"
#include "shared/lexcore/line_reader.h"
#include "shared/lexcore/line_stream.h"
#include "shared/lexcore/line_writer.h"
#include "shared/lexcore/ordered_batches.h"
#include "shared/lexcore/report.h"
#include "shared/lexcore/size_limits.h"
#include "shared/lexcore/text_format.h"

#include <exception>
#include <optional>

namespace lex::phonetag {

using namespace pinyin;

EntryHashSet makeEntrySet() {
    return EntryHashSet(KeyVariant::Annotation, false, true);
}

CorrectResult correctAnnotation(EntryHashSet &set, const std::filesystem::path &list,
                                const std::filesystem::path &input,
                                const std::filesystem::path &output,
                                const std::filesystem::path &log, EventPump &pump) {
    CorrectResult result;
    set.setPump(&pump);
    // A set that never held an entry is empty already.
    if (set.insertedCount() != 0)
        set.Clear(pump);
    if (!fileExists(list))
        return result;
    result.listFound = true;
    if (const auto format = formats::foreignFormat(input)) {
        // Another program's lexicon: its code column is corrected, no log is written; the list
        // is read there, the set is not needed.
        result.inputFound = true;
        result.foreign = correctForeign(list, input, *format, output, pump);
        result.lines = result.foreign->entries;
        result.logged = result.foreign->changed;
        return result;
    }
    // The lexicon is decoded on a second thread while the list fills the set. A failure to open
    // it waits for the list, so that a bad list is still the one reported. A lexicon too big for
    // memory is read a chunk at a time instead: only the list is held.
    const bool inputExists = fileExists(input);
    std::error_code ec;
    const bool stream =
        inputExists && !pump.context().fitsInMemory(std::filesystem::file_size(input, ec) * 3);
    LineReader reader;
    std::exception_ptr openFailure;
    if (inputExists && !stream) {
        try {
            reader.open(input, detectEncoding(input));
        } catch (...) {
            openFailure = std::current_exception();
        }
    }
    {
        LineReader words(list);
        set.reserve(words.countLines(), words.size());
        lookUpEachLine(words, set, [&](std::u16string_view line) {
            if (!set.Contains(line))
                set.Add(line);
        });
    }
    if (!inputExists)
        return result;
    result.inputFound = true;
    if (openFailure)
        std::rethrow_exception(openFailure);

    std::optional<LineStream> in;
    if (stream)
        in.emplace(input);
    LineWriter logWriter(log, TextFormat::gbk(), &pump.context()); // the tool's own log, as shipped
    LineWriter writer(output, pump.context());
    std::u16string logLine, corrected;
    // The corrected line, or an empty view without data when the line stays as it is (the
    // lookup may have rewritten `line` to the placeholder of a line without a key).
    auto correct = [&](std::u16string_view &line, const EntryHashSet::WordHint *hint) {
        std::u16string_view replaced;
        if (hint ? set.Hash_ExistsX(line, *hint) : set.Hash_ExistsX(line)) {
            const std::u16string_view entry = set.entry(set.matchedIndex());
            if (entry != line) {
                logLine.assign(line);
                logLine += u"　→　";
                logLine += entry;
                logWriter.writeLine(logLine);
                ++result.logged;
                corrected.assign(entry);
                replaced = corrected;
            }
            set.Remove();
        }
        ++result.lines;
        return replaced;
    };
    if (in) {
        std::u16string_view line;
        while (in->next(line)) {
            const std::u16string_view replaced = correct(line, nullptr);
            writer.writeLine(replaced.data() ? replaced : line);
            if ((result.lines & 0xFFF) == 0)
                pump.setProgress(int64_t(in->bytesRead()), int64_t(in->size()));
            pump.yield();
        }
    } else {
        // The lexicon stays in memory until the reader closes, so its lines go to the output
        // as they are, encoded and written on a second thread. The keys and hashes of the
        // lookups are worked out a batch of lines at a time on either thread; the lookups,
        // which wait on memory that this thread has in its cache, are made here in file order.
        BackgroundWriter output(writer);
        struct Batch {
            std::vector<std::u16string_view> lines;
            std::vector<EntryHashSet::WordHint> hints;
            std::vector<std::pair<size_t, size_t>> progress; // after each line
        } batches[4];
        runOrderedBatches(
            batches,
            [&](Batch &b) {
                b.lines.clear();
                b.progress.clear();
                while (b.lines.size() < 4096 && !reader.atEnd()) {
                    b.lines.push_back(reader.readLineView());
                    b.progress.emplace_back(reader.position(), reader.knownSize());
                }
                return !reader.atEnd();
            },
            [&](Batch &b, int) {
                b.hints.resize(b.lines.size());
                set.hintWords(b.lines, b.hints);
            },
            [&](Batch &b) {
                const size_t n = b.lines.size();
                for (size_t i = 0; i < n; ++i) {
                    if (i + 8 < n)
                        set.prefetch(b.hints[i + 8], 0);
                    if (i + 4 < n)
                        set.prefetch(b.hints[i + 4], 1);
                    if (i + 2 < n)
                        set.prefetch(b.hints[i + 2], 2);
                    std::u16string_view line = b.lines[i];
                    const std::u16string_view replaced = correct(line, &b.hints[i]);
                    // A placeholder is a constant of the set's, valid as long as the set.
                    if (replaced.data())
                        output.writeCopy(replaced);
                    else
                        output.writeLine(line);
                    pump.setProgress(int64_t(b.progress[i].first), int64_t(b.progress[i].second));
                    pump.yield();
                }
            });
        output.finish();
    }
    reader.close();
    // The corrected lexicon and its log together: a log that cannot be written fails the run
    // before the lexicon replaces the old one.
    closeTogether({&writer, &logWriter});
    return result;
}

ExtractResult extractAnnotated(const std::filesystem::path &input,
                               const std::filesystem::path &output, EventPump &pump) {
    ExtractResult result;
    if (!fileExists(input))
        return result;
    result.inputFound = true;
    if (const auto format = formats::foreignFormat(input)) {
        result.foreign = extractForeign(input, *format, output, pump);
        result.kept = result.foreign->entries;
        return result;
    }
    passLines(input, output, pump, [&](std::u16string_view line, LineWriter &writer) {
        if (IsDYC(line)) {
            writer.writeLine(line);
            ++result.kept;
        }
    });
    return result;
}

std::string correctReport(int64_t lines, int startSecondsOfDay) {
    return CompletionText().count("共计词条：", lines).text(elapsedText(startSecondsOfDay));
}

std::string extractReport(int64_t kept, int startSecondsOfDay) {
    return CompletionText().count("提取注音词条：", kept).text(elapsedText(startSecondsOfDay));
}

} // namespace lex::phonetag
