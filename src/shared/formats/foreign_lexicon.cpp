#include "shared/formats/foreign_lexicon.h"

#include "shared/formats/field_text.h"
#include "shared/formats/format_detection.h"
#include "shared/formats/format_writer.h"
#include "shared/lexcore/atomic_output.h"
#include "shared/lexcore/cp936.h"
#include "shared/lexcore/encoding_detection.h"
#include "shared/lexcore/file_io.h"
#include "shared/lexcore/lex_error.h"
#include "shared/lexcore/line_stream.h"
#include "shared/lexcore/line_writer.h"
#include "shared/lexcore/run_context.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>

namespace lex::formats {

using namespace detail;

static_assert(sizeof(ForeignEntry) <= 32, "millions of entries are held: keep them small");

std::optional<Format> foreignFormat(const std::filesystem::path &path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || ::access(path.c_str(), R_OK))
        return std::nullopt;
    try {
        // The encoding the first 64 KiB suggest is enough to tell a format by its first lines;
        // detectEncoding would read all of a big UTF-8 lexicon of the suite's own.
        size_t size = 0;
        const Fd f = openForReading(path, size);
        std::string head(std::min<size_t>(size, 64 << 10), '\0');
        head.resize(readChunk(f, path, head.data(), head.size()));
        if (const size_t lf = head.rfind('\n'); head.size() == 64 << 10 && lf != head.npos)
            head.resize(lf + 1);
        const std::optional<Format> format = detectFormat(path, detectEncoding(head, true));
        if (!format)
            return std::nullopt;
        switch (*format) {
        case Format::Rime:
        case Format::RimeCustom:
        case Format::Fcitx5:
        case Format::Libpinyin:
        case Format::Sogou:
        case Format::Qq:
        case Format::Baidu:
            return format;
        default:
            return std::nullopt;
        }
    } catch (const LexError &) {
        return std::nullopt; // the operation's own reader says why
    }
}

std::optional<WeightRule> weightRuleByName(std::string_view name) {
    if (name == "max")
        return WeightRule::Max;
    if (name == "sum")
        return WeightRule::Sum;
    if (name == "first")
        return WeightRule::First;
    if (name == "second")
        return WeightRule::Second;
    return std::nullopt;
}

const char *weightRuleName(WeightRule rule) {
    switch (rule) {
    case WeightRule::Max:
        return "max";
    case WeightRule::Sum:
        return "sum";
    case WeightRule::First:
        return "first";
    case WeightRule::Second:
        return "second";
    }
    return "";
}

ForeignLexicon::ForeignLexicon(const std::filesystem::path &path, Format format, EventPump &pump,
                               const std::filesystem::path &roomFor)
    : ForeignLexicon(path, format) {
    std::error_code noSize;
    const uint64_t more = roomFor.empty() ? 0 : std::filesystem::file_size(roomFor, noSize);
    read(pump, noSize ? 0 : more, nullptr);
}

ForeignLexicon::ForeignLexicon(const std::filesystem::path &path, Format format)
    : m_path(path), m_format(format), m_bodyReader(format) {
    // A format of its own encoding is read in it whatever the bytes (a bad byte shows as U+FFFD
    // in its own line); the others as their bytes tell.
    const FormatInfo &info = formatInfo(format);
    m_text = info.output ? detectTextFormat(path, info.output->encoding) : detectTextFormat(path);
}

bool ForeignLexicon::read(EventPump &pump, uint64_t moreBytes, const EntrySink *sink) {
    LineStream in(m_path, m_text.encoding);
    if (!sink)
        reserveEntries(m_entries, size_t((in.size() + moreBytes) / 24));
    FormatReader reader(m_format);
    reader.keepCodesAsWritten();
    bool body = reader.inBody();
    bool entrySeen = false;
    std::vector<std::u16string> early; // Rime: the lines before the body
    std::u16string_view line;
    // An entry: its code as written, its syllables parted by one blank however the format parts
    // them.
    auto entry = [&](std::u16string_view word, std::u16string_view rawCode,
                     const std::vector<std::string> &syllables, std::optional<double> weight,
                     bool percent) {
        entrySeen = true;
        ForeignEntry e;
        const std::u16string_view code =
            plainCode(rawCode) ? rawCode : partedCode(rawCode, syllables);
        checkCodeSize(code.size(), in.lineNumber());
        place(e, line, word, code, !sink);
        m_hasCodes |= e.m_codeSize > 0;
        e.setWeight(weight);
        e.percent = percent;
        if (sink)
            (*sink)(e);
        else
            m_entries.push_back(e);
    };
    static const std::vector<std::string> noSyllables;
    FormatReader::EntryView view;
    while (in.next(line)) {
        if ((in.lineNumber() & 0xFFF) == 0)
            pump.yield();
        const bool changes = reader.mayChangeState(line);
        if (body && !changes && reader.entryView(line, view)) {
            entry(view.word, view.rawCode, noSyllables, view.weight, view.percent);
            continue;
        }
        const ParsedLine &p = reader.parse(line);
        if (!body) {
            if (!reader.inBody()) {
                early.emplace_back(line);
                continue;
            }
            body = true;
            m_bodyReader = reader;
            if (!reader.header().empty()) { // "..." ended the header
                early.emplace_back(line);
                m_header = std::move(early);
                continue;
            }
            m_others = std::move(early); // no header: the comments are the body's
        } else if (changes) {
            m_bodyReader = reader; // "# no comment": later lines are read as it says
        }
        if (p.kind != LineKind::Entry) {
            if (sink && entrySeen)
                return false; // written before the entries already given to the sink
            m_others.emplace_back(line);
            continue;
        }
        entry(p.entry.word, p.entry.rawCode, p.entry.syllables, p.entry.weight, p.entry.percent);
    }
    if (!body) // a header never ended: all of it is header, as librime takes it
        m_header = std::move(early);
    // Bytes that are no UTF-8 would be written back as U+FFFD: the lexicon is refused instead,
    // its first such line named (lexconv sets such lines apart, lexcheck finds them).
    if (in.replacementSeen() && m_text.encoding == LexiconEncoding::Utf8) {
        const InvalidUtf8Lines bad = findInvalidUtf8(m_path, true);
        if (bad.lines > 0)
            throw LexError(m_path.string() + " 第 " + std::to_string(bad.firstLine) +
                               " 行有无效的 UTF-8 字节（共 " + std::to_string(bad.lines) +
                               " 行），保留原格式写出会改变它们；请先修正：" + bad.firstText,
                           m_path);
    }
    return true;
}

// Whether a code as written is already parted by single blanks (and no blank around it).
bool ForeignLexicon::plainCode(std::u16string_view raw) {
    if (raw.empty() || raw.front() == u' ' || raw.back() == u' ')
        return false;
    for (size_t i = 0; i < raw.size(); ++i) {
        const char16_t c = raw[i];
        if (c == u'\'' || (isBlank(c) && (c != u' ' || raw[i + 1] == u' ')))
            return false;
    }
    return true;
}

void ForeignLexicon::checkCodeSize(size_t units, int64_t lineNumber) const {
    if (units <= ForeignEntry::kMaxCode)
        return;
    const std::string where =
        lineNumber ? " 第 " + std::to_string(lineNumber) + " 行的编码太长" : " 有词的编码太长";
    throw LexError(m_path.string() + where + "（超过 " + std::to_string(ForeignEntry::kMaxCode) +
                       " 个字符）",
                   m_path);
}

std::u16string_view ForeignLexicon::partedCode(std::u16string_view rawCode,
                                               const std::vector<std::string> &syllables) {
    std::u16string &code = m_scratch;
    code.clear();
    if (rawCode.empty()) {
        for (const std::string &syllable : syllables) {
            if (!code.empty())
                code += u' ';
            code.append(syllable.begin(), syllable.end());
        }
    }
    for (char16_t c : trim(rawCode)) {
        if (c != u' ' && c != u'\'' && c != u'\t')
            code += c;
        else if (!code.empty() && code.back() != u' ')
            code += u' ';
    }
    if (!code.empty() && code.back() == u' ')
        code.pop_back();
    return code;
}

size_t ForeignLexicon::locate(std::u16string_view line, std::u16string_view text, size_t likely) {
    const auto at = reinterpret_cast<uintptr_t>(text.data()),
               from = reinterpret_cast<uintptr_t>(line.data());
    if (!text.empty() && at >= from && at + text.size() * 2 <= from + line.size() * 2)
        return (at - from) / 2; // a view of the line
    if (likely + text.size() <= line.size() && line.substr(likely, text.size()) == text)
        return likely;
    return line.find(text);
}

void ForeignLexicon::place(ForeignEntry &e, std::u16string_view line, std::u16string_view word,
                           std::u16string_view code, bool hold) {
    // The word begins the line, and the code follows it and a separator, in most formats; a word
    // elsewhere (the QQ and Sogou exports put the code first) is kept after the line.
    const bool wordFirst = line.starts_with(word);
    size_t codeAt = locate(line, code, wordFirst ? word.size() + 1 : 0);
    std::u16string_view text = line;
    if (!wordFirst || codeAt == std::u16string_view::npos) {
        std::u16string &joined = m_joined;
        joined.assign(line);
        if (!wordFirst)
            joined += word;
        if (codeAt == std::u16string_view::npos) {
            codeAt = joined.size();
            joined += code;
        }
        text = joined;
    }
    if (hold)
        text = keep(text);
    e.m_text = text.data();
    e.m_lineSize = uint32_t(line.size());
    e.m_wordAfterLine = !wordFirst;
    e.m_wordSize = uint32_t(word.size());
    e.m_codeAt = uint32_t(codeAt);
    e.m_codeSize = uint32_t(code.size());
}

std::u16string_view ForeignLexicon::keep(std::u16string_view text) {
    if (text.empty())
        return {};
    if (m_blockUsed + text.size() > m_blockSize) {
        m_blockSize = std::max<size_t>(text.size(), size_t(2) << 20);
        m_blocks.emplace_back(m_blockSize);
        m_blockUsed = 0;
    }
    char16_t *at = m_blocks.back().get() + m_blockUsed;
    std::copy(text.begin(), text.end(), at);
    m_blockUsed += text.size();
    return {at, text.size()};
}

void reserveEntries(std::vector<ForeignEntry> &entries, size_t n) {
    if (n <= entries.capacity())
        return;
    entries.reserve(n);
    adviseHugePages(entries.data(), entries.capacity() * sizeof(ForeignEntry));
}

EntryIndex::EntryIndex(const std::vector<ForeignEntry> &entries, bool byWord, size_t expected)
    : m_entries(entries), m_byWord(byWord) {
    size_t n = 16;
    while (n < expected * 2)
        n *= 2;
    m_slots.reserve(n);
    adviseHugePages(m_slots.data(), n * sizeof(Slot));
    m_slots.assign(n, Slot{});
}

size_t EntryIndex::keyHash(const ForeignEntry &e, bool byWord) {
    const size_t h = std::hash<std::u16string_view>{}(e.word());
    if (byWord || e.code().empty())
        return h;
    return h ^ (std::hash<std::u16string_view>{}(e.code()) * 0x9E3779B97F4A7C15ull);
}

uint64_t EntryIndex::wordOf(const ForeignEntry &e) {
    const auto at = reinterpret_cast<uintptr_t>(e.word().data());
    const size_t size = e.word().size();
    if (size == 0 || size > 0xFFFF || at >> 48)
        return 0;
    return uint64_t(at) << 16 | size;
}

bool EntryIndex::same(const Slot &slot, const ForeignEntry &e) const {
    const ForeignEntry &held = m_entries[slot.key & kPlace];
    if (!slot.word)
        return sameKey(held, e, m_byWord);
    const std::u16string_view word(reinterpret_cast<const char16_t *>(slot.word >> 16),
                                   slot.word & 0xFFFF);
    return word == e.word() && (m_byWord || held.code() == e.code());
}

uint32_t EntryIndex::find(const ForeignEntry &e, size_t h) const {
    const size_t mask = m_slots.size() - 1;
    const uint64_t tag = h >> 32 << 32;
    for (size_t at = h & mask;; at = (at + 1) & mask) {
        const Slot &slot = m_slots[at];
        if (slot.key == kEmpty)
            return kNone;
        if ((slot.key & ~kPlace) == tag && same(slot, e))
            return uint32_t(slot.key & kPlace);
    }
}

uint32_t EntryIndex::insert(uint32_t i, size_t h) {
    if ((m_count + 1) * 2 > m_slots.size())
        grow();
    const ForeignEntry &e = m_entries[i];
    const size_t mask = m_slots.size() - 1;
    const uint64_t tag = h >> 32 << 32;
    for (size_t at = h & mask;; at = (at + 1) & mask) {
        Slot &slot = m_slots[at];
        if (slot.key == kEmpty) {
            slot = {tag | i, wordOf(e)};
            ++m_count;
            return i;
        }
        if ((slot.key & ~kPlace) == tag && same(slot, e))
            return uint32_t(slot.key & kPlace);
    }
}

void EntryIndex::grow() {
    std::vector<Slot> old;
    old.reserve(m_slots.size() * 2);
    adviseHugePages(old.data(), old.capacity() * sizeof(Slot));
    old.assign(old.capacity(), Slot{});
    old.swap(m_slots);
    const size_t mask = m_slots.size() - 1;
    for (const Slot &slot : old) {
        if (slot.key == kEmpty)
            continue;
        size_t at = hash(m_entries[slot.key & kPlace]) & mask;
        while (m_slots[at].key != kEmpty)
            at = (at + 1) & mask;
        m_slots[at] = slot;
    }
}

namespace {

// Calls visit(i, hash) for each of `in`'s entries in order, with the hash of its key: each is
// made, and its slot asked for, `ahead` entries before the entry is looked up.
template <class Visit>
void visitHashed(const EntryIndex &index, const std::vector<ForeignEntry> &in, EventPump &pump,
                 Visit visit) {
    constexpr size_t ahead = 16;
    size_t hashes[ahead];
    for (size_t i = 0; i < std::min(ahead, in.size()); ++i)
        index.prefetch(hashes[i] = index.hash(in[i]));
    for (size_t i = 0; i < in.size(); ++i) {
        if ((i & 0xFFFF) == 0)
            pump.yield();
        const size_t h = hashes[i % ahead];
        if (i + ahead < in.size())
            index.prefetch(hashes[i % ahead] = index.hash(in[i + ahead]));
        visit(i, h);
    }
}

} // namespace

int64_t ForeignLexicon::gather(const ForeignLexicon &from, std::vector<ForeignEntry> &out,
                               EntryIndex &index, WeightRule rule, EventPump &pump) const {
    int64_t repeats = 0;
    const std::vector<ForeignEntry> &in = from.m_entries;
    visitHashed(index, in, pump, [&](size_t i, size_t h) {
        out.push_back(in[i]);
        adopt(out.back(), from);
        const uint32_t at = index.insert(uint32_t(out.size() - 1), h);
        if (at != out.size() - 1) {
            const ForeignEntry repeat = out.back();
            out.pop_back();
            mergeWeight(out[at], repeat, rule);
            ++repeats;
        }
    });
    return repeats;
}

int64_t ForeignLexicon::foldRepeats(EntryIndex &index, WeightRule rule, EventPump &pump) {
    std::vector<ForeignEntry> &entries = m_entries;
    // Entry i moves to `kept`, the end of the entries kept so far (never after it, so the
    // entries still to be hashed are as read).
    size_t kept = 0;
    visitHashed(index, entries, pump, [&](size_t i, size_t h) {
        if (kept != i)
            entries[kept] = entries[i];
        const uint32_t at = index.insert(uint32_t(kept), h);
        if (at == kept)
            ++kept;
        else
            mergeWeight(entries[at], entries[kept], rule);
    });
    const int64_t folded = int64_t(entries.size() - kept);
    entries.resize(kept);
    return folded;
}

namespace {

// Runs work(0) and work(1) on two threads when there is enough work for two, else one after
// the other; the first on the calling thread, with its pump.
template <class Work> void inTwo(bool two, EventPump &pump, Work work) {
    if (!two) {
        work(0, pump);
        work(1, pump);
        return;
    }
    std::exception_ptr failed;
    {
        std::jthread other([&] { // joined however the first ends
            NullPump quiet;
            try {
                work(1, quiet);
            } catch (...) {
                failed = std::current_exception();
            }
        });
        work(0, pump);
    }
    if (failed)
        std::rethrow_exception(failed);
}

} // namespace

int64_t ForeignLexicon::foldRepeats(bool byWord, WeightRule rule, EventPump &pump,
                                    ForeignLexicon *then, KeyHash keyHash) {
    if (!keyHash)
        keyHash = &EntryIndex::keyHash;
    std::vector<ForeignEntry> &one = m_entries;
    std::vector<ForeignEntry> *two = then ? &then->m_entries : nullptr;
    const size_t n1 = one.size(), n = n1 + (two ? two->size() : 0);
    if (n >= UINT32_MAX)
        throw LexError("词条太多：" + m_path.string(), m_path);
    auto entry = [&](size_t i) -> ForeignEntry & { return i < n1 ? one[i] : (*two)[i - n1]; };
    // Parts of about 4,096 entries each, by the top bits of a 32-bit hash. Keys that share it
    // are told apart by their text (below), so its width costs only time, now and then.
    unsigned bits = 0;
    while ((n >> bits) > 4096 && bits < 11)
        ++bits;
    const size_t parts = size_t(1) << bits;
    auto partOf = [bits](uint32_t h) { return bits ? size_t(h >> (32 - bits)) : 0; };
    const bool threads = n >= (size_t(1) << 14);
    const size_t half = n / 2;

    // The hashes, and how many of each part each half of the entries has.
    LargeBlock<uint32_t> hashes(n);
    std::vector<uint32_t> counts[2] = {std::vector<uint32_t>(parts), std::vector<uint32_t>(parts)};
    inTwo(threads, pump, [&](int t, EventPump &events) {
        for (size_t i = t ? half : 0, end = t ? n : half; i < end; ++i) {
            if ((i & 0xFFFF) == 0)
                events.yield();
            const uint64_t h = keyHash(entry(i), byWord);
            hashes.get()[i] = uint32_t(h ^ h >> 32);
            ++counts[t][partOf(hashes.get()[i])];
        }
    });
    // Each part's entries together, in file order: the first half's, then the second's.
    struct Item {
        uint32_t hash, at;
    };
    LargeBlock<Item> items(n);
    std::vector<size_t> partStart(parts + 1),
        next[2] = {std::vector<size_t>(parts), std::vector<size_t>(parts)};
    for (size_t p = 0, at = 0; p < parts; ++p) {
        partStart[p] = at;
        next[0][p] = at;
        next[1][p] = at + counts[0][p];
        at += counts[0][p] + counts[1][p];
        partStart[p + 1] = at;
    }
    inTwo(threads, pump, [&](int t, EventPump &events) {
        std::vector<size_t> &to = next[t];
        for (size_t i = t ? half : 0, end = t ? n : half; i < end; ++i) {
            if ((i & 0xFFFF) == 0)
                events.yield();
            items.get()[to[partOf(hashes.get()[i])]++] = {hashes.get()[i], uint32_t(i)};
        }
    });
    // The firsts take the hashes' memory: fresh pages cost more than the work of this pass.
    LargeBlock<uint32_t> firstBlock = std::move(hashes);
    uint32_t *const first = firstBlock.get();
    std::fill_n(first, n, 0u);
    // Each part in a table of its own: an entry whose hash came before is taken for a repeat of
    // the first with that hash (`first` + 1, 0 for a first), which the next pass makes sure of.
    inTwo(threads, pump, [&](int t, EventPump &events) {
        struct Slot {
            uint32_t hash, at;
        };
        std::vector<Slot> table;
        const size_t middle = (parts + 1) / 2;
        for (size_t p = t ? middle : 0, end = t ? parts : middle; p < end; ++p) {
            events.yield();
            const size_t count = partStart[p + 1] - partStart[p];
            size_t size = 16;
            while (size < count * 2)
                size *= 2;
            table.assign(size, Slot{0, UINT32_MAX});
            const size_t mask = size - 1;
            for (size_t k = partStart[p]; k < partStart[p + 1]; ++k) {
                const Item &item = items.get()[k];
                for (size_t at = item.hash & mask;; at = (at + 1) & mask) {
                    Slot &slot = table[at];
                    if (slot.at == UINT32_MAX) {
                        slot = {item.hash, item.at};
                        break;
                    }
                    if (slot.hash == item.hash) {
                        first[item.at] = slot.at + 1;
                        break;
                    }
                }
            }
        }
    });
    items = {};
    // In file order: a repeat whose key is its first's merges its weight into it; one whose key
    // only shares the hash is told apart among the other keys of that hash (`collided`).
    int64_t repeats = 0;
    std::unordered_map<uint64_t, std::vector<uint32_t>> collided;
    constexpr size_t kEntryAhead = 16, kTextAhead = 8;
    for (size_t i = 0; i < n; ++i) {
        if ((i & 0xFFFF) == 0)
            pump.yield();
        if (i + kEntryAhead < n && first[i + kEntryAhead])
            __builtin_prefetch(&entry(first[i + kEntryAhead] - 1));
        if (i + kTextAhead < n && first[i + kTextAhead])
            __builtin_prefetch(entry(first[i + kTextAhead] - 1).word().data());
        ForeignEntry &e = entry(i);
        if (!first[i]) {
            if (i >= n1)
                adopt(e, *then);
            continue;
        }
        uint32_t into = first[i] - 1;
        if (!EntryIndex::sameKey(entry(into), e, byWord)) {
            std::vector<uint32_t> &keys = collided[keyHash(e, byWord)];
            const auto found = std::find_if(keys.begin(), keys.end(), [&](uint32_t k) {
                return EntryIndex::sameKey(entry(k), e, byWord);
            });
            if (found == keys.end()) {
                keys.push_back(uint32_t(i));
                first[i] = 0;
                if (i >= n1)
                    adopt(e, *then);
                continue;
            }
            into = *found;
        }
        ForeignEntry repeat = e;
        if (i >= n1)
            adopt(repeat, *then);
        mergeWeight(entry(into), repeat, rule);
        ++repeats;
    }
    // The firsts, in file order.
    size_t kept = 0;
    for (size_t i = 0; i < n1; ++i)
        if (!first[i])
            one[kept++] = one[i];
    one.resize(kept);
    for (size_t i = n1; i < n; ++i)
        if (!first[i])
            one.push_back((*two)[i - n1]);
    return repeats;
}

void ForeignLexicon::mergeWeight(ForeignEntry &a, const ForeignEntry &b, WeightRule rule) const {
    if (!b.weight() || (b.percent && !a.percent && a.weight()))
        return;
    if (!a.weight() || (a.percent && !b.percent)) {
        a.setWeight(b.weight());
        a.percent = b.percent;
        a.rewrite = true;
        return;
    }
    const double x = *a.weight(), y = *b.weight();
    double merged = x;
    switch (rule) {
    case WeightRule::Max:
        merged = std::max(x, y);
        break;
    case WeightRule::Sum:
        // Costs are log10 probabilities: the probabilities add up.
        merged = formatInfo(m_format).weight == WeightKind::Cost
                     ? std::max(x, y) + std::log10(1 + std::pow(10.0, -std::fabs(x - y)))
                     : x + y;
        break;
    case WeightRule::First:
        break;
    case WeightRule::Second:
        merged = y;
        break;
    }
    if (merged != x) {
        a.setWeight(merged);
        a.rewrite = true;
    }
}

void ForeignLexicon::setCode(ForeignEntry &entry, const pinyin::Syllables &syllables) {
    std::u16string &code = m_scratch;
    code.clear();
    for (const std::string &syllable : syllables) {
        if (!code.empty())
            code += u' ';
        code.append(syllable.begin(), syllable.end());
    }
    checkCodeSize(code.size(), 0);
    if (code != entry.code()) {
        // The line and the word as they were, the new code after them.
        std::u16string &joined = m_joined;
        joined.assign(entry.line());
        joined += entry.word();
        joined += code;
        const std::u16string_view text = keep(joined);
        entry.m_text = text.data();
        entry.m_wordAfterLine = true;
        entry.m_codeAt = entry.m_lineSize + entry.m_wordSize;
        entry.m_codeSize = uint32_t(code.size());
        entry.rewrite = entry.codeChanged = true;
    }
}

void ForeignLexicon::adopt(ForeignEntry &entry, const ForeignLexicon &from) const {
    if (from.m_format == m_format && from.m_bodyReader.columns() == m_bodyReader.columns())
        return;
    entry.made = entry.rewrite = true;
    if (formatInfo(from.m_format).weight != formatInfo(m_format).weight ||
        (entry.percent && m_format != Format::Rime))
        entry.setWeight(std::nullopt);
}

// What writing lines anew needs, made once per output: a reader of the body and a writer.
struct ForeignLexicon::LineMaker {
    FormatReader reader;
    FormatWriter writer;
    ParsedLine made;
    std::u16string weight, line;
};

std::u16string_view ForeignLexicon::lineOf(const ForeignEntry &entry, LineMaker &maker) const {
    if (!entry.rewrite)
        return entry.line();
    // A Rime line with a new weight only, that writing anew would give back as it is but for
    // its weight: that field is replaced (most of a union's lines, whose weights were merged).
    FormatReader::WeightField spot;
    if (m_format == Format::Rime && !entry.made && !entry.codeChanged && entry.weight() &&
        maker.reader.rimeWeightField(entry.line(), spot)) {
        const std::u16string_view line = entry.line();
        const double own = *entry.weight();
        maker.line.assign(line.substr(0, spot.at));
        if (spot.value == own && spot.percent == entry.percent) {
            maker.line += line.substr(spot.at, spot.size);
        } else {
            maker.line += weightText(own);
            if (entry.percent)
                maker.line += u'%';
        }
        maker.line += line.substr(spot.at + spot.size);
        return maker.line;
    }
    ParsedLine &p = entry.made ? maker.made : maker.reader.parse(entry.line());
    Entry &e = p.entry;
    if (entry.made) {
        e = Entry();
        e.word = entry.word();
    }
    if (entry.made || entry.codeChanged) {
        // The code's syllables; one that is no pinyin stays as written.
        e.rawCode.clear();
        e.syllables.clear();
        const std::u16string_view code = entry.code();
        for (size_t from = 0; from < code.size();) {
            size_t to = code.find(u' ', from);
            if (to == std::u16string_view::npos)
                to = code.size();
            e.syllables.emplace_back(code.begin() + long(from), code.begin() + long(to));
            from = to + 1;
        }
        if (!std::all_of(e.syllables.begin(), e.syllables.end(),
                         [](const std::string &s) { return pinyin::isSyllable(s); })) {
            e.syllables.clear();
            e.rawCode = code;
        }
    }
    const std::optional<double> own = entry.weight();
    const bool sameWeight = e.weight == own && e.percent == entry.percent;
    std::u16string &weight = maker.weight;
    weight.clear();
    if (sameWeight)
        weight = e.weightText;
    else if (own && entry.percent)
        weight = weightText(*own) + u"%";
    FormatWriter &writer = maker.writer;
    const std::u16string_view body = writer.body(e);
    const std::u16string_view field = own || sameWeight
                                          ? writer.weightField(own, weight, writer.codeWritten(e))
                                          : std::u16string_view();
    maker.line.clear();
    writer.appendLine(maker.line, body, field);
    return maker.line;
}

// An output being written: the writer, and what writing lines anew needs.
struct ForeignLexicon::Output {
    LineWriter out;
    std::optional<LineMaker> maker;
    Written written;
};

void ForeignLexicon::begin(Output &o, const std::filesystem::path &output, bool noComment,
                           EventPump &pump) const {
    TextFormat text = m_text;
    const FormatInfo &info = formatInfo(m_format);
    if (const auto forced = pump.context().forcedEncoding(); forced && !info.output)
        text.encoding = *forced;
    else if (forced && *forced != info.output->encoding)
        pump.context().notice(std::string("注意：") + info.name + " 词库只有一种编码，" +
                              output.string() + " 仍按原编码写出");
    if (text.encoding == LexiconEncoding::Ansi936)
        text.crlf = true;
    o.out.open(output, text, &pump.context(), LossReport::ToRun);
    if (m_format == Format::Rime && !m_header.empty()) {
        FormatWriter::Options options;
        options.rimeHeader = m_header;
        options.rimeName = rimeNameFor(output);
        if (const auto old = rimeRenamed(m_header, options.rimeName)) {
            o.written.renamedFrom = toUtf8(*old);
            o.written.renamedTo = toUtf8(options.rimeName);
        }
        FormatWriter(m_format, std::move(options)).begin(o.out);
    }
    for (const std::u16string &line : m_others)
        o.out.writeLine(line);
    if (noComment)
        o.out.writeLine(u"# no comment");
    FormatWriter::Options options;
    options.ue = m_bodyReader.ueSeen().value_or(formatInfo(m_format).ue);
    options.rimeColumns = m_bodyReader.columns();
    options.sameFormat = true;
    o.maker.emplace(LineMaker{m_bodyReader, FormatWriter(m_format, options), {}, {}, {}});
}

void ForeignLexicon::put(Output &o, const ForeignEntry &e, EventPump &pump) const {
    if ((++o.written.lines & 0xFFF) == 0)
        pump.yield();
    o.out.writeLine(lineOf(e, *o.maker));
}

ForeignLexicon::Written ForeignLexicon::write(const std::filesystem::path &output,
                                              const std::vector<ForeignEntry> &entries,
                                              EventPump &pump,
                                              const std::vector<uint32_t> *order) const {
    const size_t n = order ? order->size() : entries.size();
    auto entry = [&](size_t i) -> const ForeignEntry & { return entries[order ? (*order)[i] : i]; };
    // An entry beginning with "#" (from another lexicon, or written anew) would be a comment
    // where comments are still on.
    bool hashWord = false;
    for (size_t i = 0; i < n && m_bodyReader.commentsOn() && !hashWord; ++i) {
        const ForeignEntry &e = entry(i);
        hashWord = e.word().starts_with(u'#') && (e.rewrite || e.line().starts_with(u'#'));
    }
    Output o;
    begin(o, output, hashWord, pump);
    if (!order) {
        for (size_t i = 0; i < n; ++i)
            put(o, entries[i], pump);
    } else {
        // In another order the entries, and then their lines, are all over memory: each is
        // asked for a few entries before it is written.
        const std::vector<uint32_t> &at = *order;
        constexpr size_t kEntryAhead = 16, kLineAhead = 8;
        for (size_t i = 0; i < n; ++i) {
            if (i + kEntryAhead < n)
                __builtin_prefetch(&entries[at[i + kEntryAhead]]);
            if (i + kLineAhead < n) {
                const char16_t *text = entries[at[i + kLineAhead]].m_text;
                __builtin_prefetch(text);
                __builtin_prefetch(text + 32);
            }
            put(o, entries[at[i]], pump);
        }
    }
    o.out.close();
    return o.written;
}

ForeignLexicon::Filtered
ForeignLexicon::filter(const std::filesystem::path &path, Format format,
                       const std::filesystem::path &output,
                       const std::function<bool(const ForeignEntry &)> &keep, EventPump &pump) {
    // The entries are written as they are read, once the lines to go before them are known:
    // those are all the lines before the first entry, unless one follows an entry.
    {
        ForeignLexicon lexicon(path, format);
        Output o;
        const EntrySink sink = [&](const ForeignEntry &e) {
            if (!o.maker)
                lexicon.begin(o, output, false, pump);
            if (keep(e))
                lexicon.put(o, e, pump);
        };
        if (lexicon.read(pump, 0, &sink)) {
            if (!o.maker) // no entries
                lexicon.begin(o, output, false, pump);
            o.out.close();
            return {o.written, foreignReport(lexicon, o.written)};
        }
    } // the output is dropped: read it whole
    ForeignLexicon lexicon(path, format, pump);
    std::erase_if(lexicon.entries(), [&](const ForeignEntry &e) { return !keep(e); });
    const Written written = lexicon.write(output, pump);
    return {written, foreignReport(lexicon, written)};
}

std::string foreignReport(const ForeignLexicon &lexicon, const ForeignLexicon::Written &written) {
    std::string text = std::string("格式：") + formatInfo(lexicon.format()).name;
    if (!lexicon.header().empty())
        text += "，文件头 " + std::to_string(lexicon.header().size()) + " 行原样保留";
    if (!lexicon.others().empty())
        text += "，非词条行 " + std::to_string(lexicon.others().size()) + " 行（放在词条之前）";
    text += "\r\n";
    if (!written.renamedTo.empty())
        text += "词典名：" + written.renamedFrom + " 改为 " + written.renamedTo +
                "（随输出文件名）\r\n";
    return text;
}

} // namespace lex::formats
