#include "shared/pinyin/reading_review.h"

#include "shared/pinyin/annotate_line.h"

#include "shared/lexcore/cp936.h"
#include "shared/lexcore/large_buffer.h"
#include "shared/lexcore/lexicon_rules.h"
#include "shared/lexcore/line_reader.h"
#include "shared/lexcore/report.h"

#include <algorithm>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <tuple>

namespace lex::pinyin {

void Polyphones::add(std::u16string_view line) {
    if (line.size() < 2)
        return;
    uint32_t &list = m_list[line[0]];
    if (list == 0) {
        list = uint32_t(m_lists.size());
        m_lists.emplace_back();
    }
    auto &readings = m_lists[list];
    const std::u16string_view reading = line.substr(1);
    if (std::find(readings.begin(), readings.end(), reading) == readings.end())
        readings.emplace_back(reading);
    m_present[line[0]] = readings.size() > 1;
}

uint32_t WordRanks::hashOf(std::u16string_view word) {
    uint32_t h = 2166136261u;
    for (char16_t c : word)
        h = (h ^ c) * 16777619u;
    return h;
}

const WordRanks::Cell *WordRanks::find(std::u16string_view word, uint32_t hash) const {
    const size_t mask = m_cells.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const Cell &c = m_cells[i];
        if (c.rank == UINT32_MAX ||
            (c.hash == hash && std::u16string_view(m_words).substr(c.offset, c.length) == word))
            return &c;
    }
}

void WordRanks::reserve(size_t words) {
    size_t cells = m_cells.size();
    while ((words + 1) * 2 > cells)
        cells *= 2;
    if (cells > m_cells.size())
        rehash(cells);
}

void WordRanks::grow() {
    rehash(m_cells.size() * 2);
}

void WordRanks::rehash(size_t cells) {
    LargeVector<Cell> old(cells);
    old.swap(m_cells);
    const size_t mask = m_cells.size() - 1;
    for (const Cell &c : old) {
        if (c.rank == UINT32_MAX)
            continue;
        size_t i = c.hash & mask;
        while (m_cells[i].rank != UINT32_MAX)
            i = (i + 1) & mask;
        m_cells[i] = c;
    }
}

void WordRanks::add(std::u16string_view word, uint32_t rank) {
    if (rank == UINT32_MAX)
        return;
    if ((m_count + 1) * 2 > m_cells.size())
        grow();
    const uint32_t hash = hashOf(word);
    Cell &c = const_cast<Cell &>(*find(word, hash));
    if (c.rank != UINT32_MAX)
        return;
    c = Cell{hash, uint32_t(m_words.size()), uint32_t(word.size()), rank};
    m_words += word;
    ++m_count;
    const uint32_t bit = filterBit(hash);
    m_filter[bit / 64] |= uint64_t(1) << (bit % 64);
}

uint32_t WordRanks::rank(std::u16string_view word) const {
    const uint32_t hash = hashOf(word);
    const uint32_t bit = filterBit(hash);
    if (!(m_filter[bit / 64] >> (bit % 64) & 1))
        return UINT32_MAX;
    return find(word, hash)->rank;
}

ReviewData loadReviewData(const std::filesystem::path &polyphones,
                          const std::filesystem::path &ranks) {
    ReviewData data;
    {
        LineReader reader(polyphones);
        while (!reader.atEnd())
            data.polyphones.add(reader.readLineView());
    }
    LineReader reader(ranks);
    const size_t count = reader.countLines(), units = reader.size();
    LargeVector<std::u16string_view> lines; // valid until the reader closes
    lines.reserve(count);
    while (!reader.atEnd())
        lines.push_back(reader.readLineView());
    // The known words' table, with its automaton the bulk of the work, is built on a second
    // thread while this one indexes the ranks.
    auto known = std::async(std::launch::async, [&] {
        data.known.reserve(count, units);
        for (std::u16string_view line : lines)
            data.known.addLine(line);
        data.known.prepare();
    });
    data.ranks.reserve(count);
    std::u16string word;
    for (size_t rank = 0; rank < lines.size(); ++rank) {
        entryWordInto(lines[rank], word);
        data.ranks.add(word, uint32_t(rank));
    }
    known.get();
    reader.close();
    return data;
}

namespace {

void addOnce(std::vector<std::u16string> &list, std::u16string_view reading,
             std::u16string_view given) {
    if (reading.empty() || reading == given)
        return;
    if (std::find(list.begin(), list.end(), reading) == list.end())
        list.emplace_back(reading);
}

// The letters after the unit at `i`, as FixPinyin keeps them.
std::u16string_view lettersAfter(std::u16string_view text, size_t i, WordUnits units) {
    const int16_t *code = units.table();
    size_t end = i + 1;
    while (end < text.size() && code[text[end]] >= 64)
        ++end;
    return text.substr(i + 1, end - i - 1);
}

// A bare character is one FixPinyin gives its dictionary text.
bool bareAt(std::u16string_view text, size_t i, WordUnits units) {
    return i + 1 == text.size() || units.table()[text[i + 1]] < 64;
}

// Whether the word unit at `i` begins a character (a wide word's character beyond the basic
// plane is two units): the places of the guesses count characters.
bool beginsCharacter(std::u16string_view text, size_t i) {
    return !(i > 0 && text[i] >= 0xDC00 && text[i] <= 0xDFFF && text[i - 1] >= 0xD800 &&
             text[i - 1] <= 0xDBFF);
}

using Evidence = ReviewScratch::Evidence;

// The words of `table` found in the line that cover unit `p` and give it a reading.
void addEvidence(const WordTable &table, const std::vector<WordTable::Occurrence> &found, size_t p,
                 std::vector<Evidence> &out) {
    for (const WordTable::Occurrence &o : found) {
        if (p < o.begin || p >= o.end)
            continue;
        const std::u16string_view r = table.readingAt(o.pair, p - o.begin);
        if (!r.empty())
            out.push_back({o.begin, o.end, r});
    }
}

// The guess about one character given `given`, or none (others empty). A word that reads it
// otherwise counts unless the word that was applied holds it (`winner`, the longer word decides
// on purpose) or a word that agrees holds every word that disagrees (本行政区域 xing holds 本行
// hang). Without any word, a polyphonic character is a guess by itself.
void judge(const std::vector<Evidence> &evidence, const Evidence *winner,
           std::span<const std::u16string> polyphone, Guess &g) {
    uint32_t begin = UINT32_MAX, end = 0;
    for (const Evidence &e : evidence) {
        if (e.reading == g.given || (winner && e.begin >= winner->begin && e.end <= winner->end))
            continue;
        begin = std::min(begin, e.begin);
        end = std::max(end, e.end);
        addOnce(g.others, e.reading, g.given);
    }
    if (!g.others.empty()) {
        for (const Evidence &e : evidence)
            if (e.reading == g.given && e.begin <= begin && e.end >= end) {
                g.others.clear();
                return;
            }
    } else if (!evidence.empty() || winner) {
        return;
    }
    for (const std::u16string &r : polyphone)
        addOnce(g.others, r, g.given);
}

} // namespace

void annotateLineReviewed(std::u16string_view line, const CharDictionary &dict,
                          const WordTable &table, const ReviewData &review,
                          PinyinCounters &counters, std::u16string &out, std::u16string &scratch,
                          std::vector<Guess> &guesses, ReviewScratch &work, WordUnits units) {
    const Polyphones &polyphones = review.polyphones;
    guesses.clear();
    std::vector<Evidence> &evidence = work.evidence;
    if (!table.mayChange(line)) {
        // No word of the table occurs: the guesses are the bare polyphonic characters that no
        // known word settles. The annotation is annotateLine's for such a line, without asking
        // the table again: FixPinyin of the line without its zeros.
        std::u16string_view text = line;
        if (line.find(u'0') != std::u16string_view::npos) {
            work.text.assign(line);
            std::erase(work.text, u'0');
            text = work.text;
        }
        FixPinyin(text, dict, counters, out, units);
        if (std::none_of(line.begin(), line.end(),
                         [&](char16_t c) { return polyphones.contains(c); }))
            return;
        if (std::all_of(text.begin(), text.end(), [&](char16_t c) { return units.isWord(c); })) {
            // A bare line that is a known word: that word decides, as the longest word there.
            const uint32_t known = review.ranks.rank(text);
            if (known != UINT32_MAX && !review.known.readingAt(known, 0).empty()) {
                for (size_t i = 0; i < text.size(); ++i) {
                    const char16_t c = text[i];
                    if (!polyphones.contains(c) || !dict.contains(c))
                        continue;
                    const std::u16string_view r = review.known.readingAt(known, i);
                    if (r == dict.text(c).substr(1))
                        continue;
                    Guess &g = work.pending;
                    g.place = uint32_t(i + 1);
                    g.given.assign(dict.text(c).substr(1));
                    g.others.clear();
                    addOnce(g.others, r, g.given);
                    for (const std::u16string &p : polyphones.readings(c))
                        addOnce(g.others, p, g.given);
                    if (!g.others.empty())
                        guesses.push_back(g);
                }
                return;
            }
        }
        bool scanned = false;
        uint32_t place = 0;
        for (size_t i = 0; i < text.size(); ++i) {
            const char16_t c = text[i];
            if (!units.isWord(c))
                continue;
            place += beginsCharacter(text, i);
            if (!polyphones.contains(c) || !dict.contains(c) || !bareAt(text, i, units))
                continue;
            if (!scanned) {
                review.known.occurrences(text, work.known);
                scanned = true;
            }
            Guess &g = work.pending;
            g.place = place;
            g.given.assign(dict.text(c).substr(1));
            g.others.clear();
            evidence.clear();
            addEvidence(review.known, work.known, i, evidence);
            judge(evidence, nullptr, polyphones.readings(c), g);
            if (!g.others.empty())
                guesses.push_back(g);
        }
        return;
    }

    // The literal passes, traced: which units the table's words put where.
    InsBlank(line, work.marked, units);
    table.occurrences(work.marked, work.found);
    review.known.occurrences(work.marked, work.known);
    work.text = work.marked;
    WordTable::Trace &trace = work.trace;
    table.applyTraced(work.text, trace, scratch);
    size_t kept = 0;
    for (size_t i = 0; i < work.text.size(); ++i) {
        if (work.text[i] == u'0')
            continue;
        work.text[kept] = work.text[i];
        trace.from[kept] = trace.from[i];
        trace.index[kept] = trace.index[i];
        ++kept;
    }
    work.text.resize(kept);
    FixPinyin(work.text, dict, counters, out, units);

    const std::u16string_view text = work.text, marked = work.marked;
    uint32_t place = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (!units.isWord(c))
            continue;
        place += beginsCharacter(text, i);
        const bool bare = bareAt(text, i, units);
        const int32_t from = trace.from[i];
        if (from < 0 && !bare)
            continue; // annotated in the lexicon itself
        if (bare && !dict.contains(c))
            continue;
        Guess &g = work.pending;
        g.place = place;
        g.given.assign(bare ? dict.text(c).substr(1) : lettersAfter(text, i, units));
        g.others.clear();
        // A character a word put letters to was decided by that word; one it left bare (a
        // table line without them) was not.
        Evidence winner{};
        size_t p = trace.index[i];
        if (from >= 0) {
            const WordTable::Trace::Replacement &r = trace.replacements[size_t(from)];
            p += r.begin;
            winner = {r.begin, r.end, {}};
        }
        if (p >= marked.size() || marked[p] != c)
            continue;
        evidence.clear();
        addEvidence(table, work.found, p, evidence);
        addEvidence(review.known, work.known, p, evidence);
        judge(evidence, from >= 0 && !bare ? &winner : nullptr,
              bare || from < 0 ? polyphones.readings(c) : std::span<const std::u16string>{}, g);
        if (!g.others.empty())
            guesses.push_back(g);
    }
}

const Guess *WordReview::guessAt(size_t index) const {
    for (const Guess &g : guesses)
        if (g.place == index + 1)
            return &g;
    return nullptr;
}

bool WordReview::accepts(size_t index, std::u16string_view reading) const {
    if (index >= readings.size() || readings[index].empty() || readings[index] == reading)
        return true;
    const Guess *g = guessAt(index);
    return g && (g->given == reading ||
                 std::find(g->others.begin(), g->others.end(), reading) != g->others.end());
}

void reviewWord(std::u16string_view word, const CharDictionary &dict, const WordTable &table,
                const ReviewData &review, WordReview &out, std::u16string &line,
                ReviewScratch &work, WordUnits units) {
    PinyinCounters counters;
    annotateLineReviewed(word, dict, table, review, counters, line, work.wordScratch, out.guesses,
                         work, units);
    // "银yin行hang": a character, then the letters FixPinyin gave it.
    out.readings.clear();
    for (size_t i = 0; i < line.size();) {
        const size_t len = line[i] >= 0xD800 && line[i] <= 0xDBFF && i + 1 < line.size() ? 2 : 1;
        size_t j = i + len;
        while (j < line.size() && line[j] < 0x80)
            ++j;
        out.readings.emplace_back(line.substr(i + len, j - i - len));
        i = j;
    }
}

void appendGuessNotes(const std::vector<Guess> &guesses, std::u16string &note) {
    auto ascii = [&](std::u16string_view s) {
        for (char16_t ch : s)
            if (ch > 0x20 && ch < 0x7F && ch != u'/')
                note.push_back(ch);
    };
    for (const Guess &g : guesses) {
        note.push_back(u' ');
        for (char ch : std::to_string(g.place))
            note.push_back(char16_t(ch));
        note.push_back(u':');
        ascii(g.given);
        for (const std::u16string &o : g.others) {
            note.push_back(u'/');
            ascii(o);
        }
    }
}

std::u16string reviewNote(int64_t lineNumber, const std::vector<Guess> &guesses) {
    std::u16string note = u"#";
    for (char ch : std::to_string(lineNumber))
        note.push_back(char16_t(ch));
    appendGuessNotes(guesses, note);
    return note;
}

} // namespace lex::pinyin
