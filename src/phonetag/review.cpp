#include "phonetag/review.h"

#include "phonetag/line_batches.h"

#include "shared/lexcore/cp936.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/file_io.h"
#include "shared/lexcore/large_buffer.h"
#include "shared/lexcore/lexicon_rules.h"
#include "shared/lexcore/line_stream.h"
#include "shared/lexcore/line_writer.h"
#include "shared/lexcore/report.h"
#include "shared/lexcore/text_format.h"
#include "shared/pinyin/annotate_line.h"

#include <algorithm>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <tuple>

namespace lex::phonetag {

using namespace pinyin;

namespace {

// The characters of an annotated line's word, hashed (FNV-1a): lines of one word share it.
uint64_t wordHash(std::u16string_view annotated, WordUnits units) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (char16_t c : annotated)
        if (units.isWord(c))
            h = (h ^ c) * 0x100000001b3ull;
    return h;
}

// A listed line: its text and its note's readings (after the line number) in one arena.
struct Listed {
    int64_t line;
    uint32_t rank;
    uint64_t hash;
    uint32_t textBegin, textLength;
    uint32_t noteBegin, noteLength; // the note without "#" and the line number
    bool guessed;
};

// One annotation with its review list, phase by phase: the lexicon annotated and every guess
// kept (annotate), the lines of listed words that stand before their last guess found and kept
// too (keepEarlierLines), the kept lines ordered by rank (sortListed) and written as the list
// (writeList).
class ReviewRun {
public:
    ReviewRun(const std::filesystem::path &input, const CharDictionary &dict,
              const WordTable &table, const ReviewData &review, EventPump &pump)
        : m_input(input), m_dict(dict), m_table(table), m_review(review), m_pump(pump),
          m_units(pump.context().wordUnits()) {}

    // Annotates `in` into `writer`; returns the lines annotated.
    int64_t annotate(LineStream &in, LineWriter &writer);
    void keepEarlierLines(LexiconEncoding encoding);
    void sortListed();
    int64_t writeList(LineWriter &list);
    void addCounters(PinyinCounters &counters) const {
        for (const State &st : m_states) {
            counters.supplemented += st.counted.supplemented;
            counters.cleared += st.counted.cleared;
        }
    }

private:
    struct State {
        PinyinCounters counted;
        std::u16string out, scratch, note, word;
        std::vector<Guess> guesses;
        ReviewScratch work;
    };
    using Candidates = std::vector<std::pair<size_t, size_t>>; // a line, its word's last guess

    void keep(int64_t line, uint32_t rank, uint64_t hash, std::u16string_view text,
              std::u16string_view note, bool guessed);
    std::u16string_view textOf(const Listed &item) const {
        return std::u16string_view(m_arena.data() + item.textBegin, item.textLength);
    }

    const std::filesystem::path &m_input;
    const CharDictionary &m_dict;
    const WordTable &m_table;
    const ReviewData &m_review;
    EventPump &m_pump;
    const WordUnits m_units;
    State m_states[2];
    // Grown a line at a time to megabytes: in mapped memory, whose pages come cheaper than the
    // heap's.
    LargeArray<char16_t> m_arena;
    // Per line its word's hash, to find the lines of listed words afterwards.
    LargeArray<uint64_t> m_hashes;
    LargeArray<Listed> m_listed;
};

void ReviewRun::keep(int64_t line, uint32_t rank, uint64_t hash, std::u16string_view text,
                     std::u16string_view note, bool guessed) {
    Listed item{line, rank, hash, uint32_t(m_arena.size()), uint32_t(text.size()), 0, 0, guessed};
    m_arena.append(text.data(), text.size());
    item.noteBegin = uint32_t(m_arena.size());
    item.noteLength = uint32_t(note.size());
    m_arena.append(note.data(), note.size());
    m_listed.push_back(item);
}

int64_t ReviewRun::annotate(LineStream &in, LineWriter &writer) {
    // Only text that was not code page 936 can hold characters it lacks.
    const bool noteDropped = !m_units.isWide() && in.encoding() != LexiconEncoding::Ansi936;
    passLineBatches(
        in, m_pump, m_states,
        [&](std::u16string_view line, State &st, LineBatch &batch) {
            annotateLineReviewed(line, m_dict, m_table, m_review, st.counted, st.out, st.scratch,
                                 st.guesses, st.work, m_units);
            if (noteDropped)
                batch.noteDropped(line, st.out);
            // The note without "#" and the line number, which the list gives it later.
            st.note.clear();
            uint32_t rank = 0;
            if (!st.guesses.empty()) {
                appendGuessNotes(st.guesses, st.note);
                entryWordInto(st.out, st.word, m_units);
                rank = m_review.ranks.rank(st.word);
            }
            batch.add(st.out, st.note, wordHash(st.out, m_units), rank);
        },
        [&](const LineBatch &batch, size_t i) {
            if (i == 0)
                m_pump.context().noteDropped(batch.dropped.firstText, batch.dropped.lines);
            const std::u16string_view text = batch.text(i), note = batch.note(i);
            writer.writeLine(text);
            const auto n = int64_t(m_hashes.size());
            m_hashes.push_back(batch.keys[i]);
            if (!note.empty())
                keep(n, batch.values[i], batch.keys[i], text, note, true);
            m_pump.yield();
        });
    return int64_t(m_hashes.size());
}

// The lines of a listed word that stand before its last guess, so that the k-th list line of the
// word meets the k-th lexicon line of the word in the correction.
void ReviewRun::keepEarlierLines(LexiconEncoding encoding) {
    if (m_listed.empty())
        return;
    // Per word hash its last guess: a filter that most lines fail, then a table by hash (a
    // lookup there waits on memory, a filter test mostly does not).
    const size_t guessed = m_listed.size();
    size_t cells = 64;
    while (cells < guessed * 2)
        cells *= 2;
    struct LastGuess {
        uint64_t hash;
        uint32_t line;  // kept here too: most lines that get this far stand after it
        uint32_t entry; // UINT32_MAX: a free cell
    };
    LargeArray<LastGuess> lastGuess;
    lastGuess.assign(cells, LastGuess{0, 0, UINT32_MAX});
    auto cellOf = [&](uint64_t h) {
        size_t c = size_t((h * 0x9E3779B97F4A7C15ull) >> 32) & (cells - 1);
        while (lastGuess[c].entry != UINT32_MAX && lastGuess[c].hash != h)
            c = (c + 1) & (cells - 1);
        return c;
    };
    constexpr size_t kFilterBits = size_t(1) << 23;
    LargeArray<uint64_t> filter;
    filter.assign(kFilterBits / 64, 0);
    for (size_t k = 0; k < guessed; ++k) {
        const uint64_t h = m_listed[k].hash;
        // In file order: the last one stays.
        lastGuess[cellOf(h)] = {h, uint32_t(m_listed[k].line), uint32_t(k)};
        filter[(h >> 40) % kFilterBits / 64] |= uint64_t(1) << ((h >> 40) % 64);
    }
    // The lines that pass the tests by hash, with the entry of their word's last guess: a pass
    // over every line that waits on memory, run over two halves side by side.
    auto findCandidates = [&](size_t from, size_t to, Candidates &found) {
        // The guessed entries are in line order: skip those before `from`.
        size_t nextGuessed =
            size_t(std::partition_point(m_listed.begin(), m_listed.begin() + guessed,
                                        [&](const Listed &x) { return x.line < int64_t(from); }) -
                   m_listed.begin());
        for (size_t i = from; i < to; ++i) {
            if (nextGuessed < guessed && m_listed[nextGuessed].line == int64_t(i)) {
                ++nextGuessed;
                continue;
            }
            const uint64_t h = m_hashes[i] >> 40;
            if (!(filter[h % kFilterBits / 64] >> (h % 64) & 1))
                continue;
            const LastGuess &last = lastGuess[cellOf(m_hashes[i])];
            if (last.entry == UINT32_MAX || last.line < i)
                continue;
            found.emplace_back(i, last.entry);
        }
    };
    Candidates candidates[2];
    auto second = std::async(std::launch::async, [&] {
        findCandidates(m_hashes.size() / 2, m_hashes.size(), candidates[1]);
    });
    findCandidates(0, m_hashes.size() / 2, candidates[0]);
    second.get();
    if (candidates[0].empty() && candidates[1].empty())
        return;

    // The lexicon is not kept: the candidates are read again, in file order.
    PinyinCounters none;
    std::u16string out, scratch, word, finalWord;
    LineStream again(m_input, encoding);
    std::u16string_view line;
    size_t at = 0; // the line `line` is
    bool more = again.next(line);
    for (const Candidates &half : candidates)
        for (const auto &[i, entry] : half) {
            while (more && at < i) {
                more = again.next(line);
                ++at;
            }
            if (!more)
                break;
            const Listed &final = m_listed[entry];
            annotateLine(line, m_dict, m_table, none, out, scratch, m_units);
            entryWordInto(out, word, m_units);
            entryWordInto(textOf(final), finalWord, m_units);
            if (word != finalWord)
                continue; // another word with the same hash
            keep(int64_t(i), final.rank, final.hash, out, {}, false);
        }
}

// Most frequent words first; a word's lines together, in file order.
void ReviewRun::sortListed() {
    std::sort(m_listed.begin(), m_listed.end(), [](const Listed &x, const Listed &y) {
        return std::tie(x.rank, x.hash, x.line) < std::tie(y.rank, y.hash, y.line);
    });
}

// The correction keeps one of two equal list lines, so a repeated line is named in the note of
// its first occurrence instead of being listed again. Returns the lines listed for their guesses.
int64_t ReviewRun::writeList(LineWriter &list) {
    int64_t reviewed = 0;
    const std::u16string_view all(m_arena.data(), m_arena.size());
    std::u16string note;
    std::vector<size_t> same;     // a word's entries by text, then line
    std::vector<int64_t> firstOf; // per entry of the word: its first equal entry, or -1
    std::vector<std::vector<size_t>> repeats;
    constexpr size_t kAhead = 16;
    for (size_t g = 0; g < m_listed.size();) {
        size_t end = g;
        while (end < m_listed.size() && m_listed[end].hash == m_listed[g].hash &&
               m_listed[end].rank == m_listed[g].rank)
            ++end;
        same.clear();
        for (size_t k = g; k < end; ++k)
            same.push_back(k);
        // Most words have one listed line, and a stable sort asks for a buffer even then.
        if (same.size() > 1)
            std::stable_sort(same.begin(), same.end(), [&](size_t x, size_t y) {
                return textOf(m_listed[x]) < textOf(m_listed[y]);
            });
        firstOf.assign(end - g, -1);
        repeats.assign(end - g, {});
        for (size_t j = 1; j < same.size(); ++j) {
            if (textOf(m_listed[same[j]]) != textOf(m_listed[same[j - 1]]))
                continue;
            const size_t first =
                firstOf[same[j - 1] - g] >= 0 ? size_t(firstOf[same[j - 1] - g]) : same[j - 1];
            firstOf[same[j] - g] = int64_t(first);
            repeats[first - g].push_back(same[j]);
        }
        for (size_t k = g; k < end; ++k) {
            // The texts stand in file order and are met in rank order: load them ahead.
            if (k + kAhead < m_listed.size()) {
                __builtin_prefetch(all.data() + m_listed[k + kAhead].textBegin);
                __builtin_prefetch(all.data() + m_listed[k + kAhead].noteBegin);
            }
            if (firstOf[k - g] >= 0)
                continue;
            const Listed &item = m_listed[k];
            note = u"#";
            for (char ch : std::to_string(item.line + 1))
                note.push_back(char16_t(ch));
            const Listed *guessed = item.guessed ? &item : nullptr;
            for (size_t r : repeats[k - g]) {
                note.push_back(u',');
                for (char ch : std::to_string(m_listed[r].line + 1))
                    note.push_back(char16_t(ch));
                if (!guessed && m_listed[r].guessed)
                    guessed = &m_listed[r];
            }
            if (guessed) {
                note += all.substr(guessed->noteBegin, guessed->noteLength);
                ++reviewed;
            }
            list.writeLine(note);
            list.writeLine(textOf(item));
        }
        g = end;
    }
    return reviewed;
}

} // namespace

ReviewedResult autoAnnotate(const std::filesystem::path &input, const std::filesystem::path &output,
                            const std::filesystem::path &list, const CharDictionary &dict,
                            const WordTable &table, const ReviewData &review,
                            PinyinCounters &counters, EventPump &pump, LineStream *opened) {
    ReviewedResult result;
    if (!fileExists(input))
        return result;
    result.inputFound = true;
    // The lexicon starts decoding on a second thread meanwhile the automaton is built.
    std::optional<LineStream> own;
    if (!opened)
        own.emplace(input);
    LineStream &in = opened ? *opened : *own;
    const LexiconEncoding encoding = in.encoding();
    table.prepare();

    ReviewRun run(input, dict, table, review, pump);
    LineWriter writer(output, pump.context());
    result.lines = run.annotate(in, writer);
    // The annotated lexicon is complete: it goes to disk while the list is made.
    std::exception_ptr syncFailure;
    std::jthread syncer([&] {
        try {
            writer.syncAhead();
        } catch (...) {
            syncFailure = std::current_exception();
        }
    });
    run.keepEarlierLines(encoding);
    run.sortListed();
    LineWriter listWriter(list, pump.context().lexiconFormat(), &pump.context());
    result.reviewed = run.writeList(listWriter);
    // The annotated lexicon first: it is what the user asked for.
    syncer.join();
    if (syncFailure)
        std::rethrow_exception(syncFailure);
    closeTogether({&writer, &listWriter});
    run.addCounters(counters);
    return result;
}

std::string reviewCountLine(int64_t reviewed) {
    return "待审词条：" + std::to_string(reviewed);
}

} // namespace lex::phonetag
