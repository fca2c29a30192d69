#pragma once
// A lexicon of another program's format (Rime, custom phrases, fcitx5, libpinyin, the Windows
// exports) held whole, so that a tool can reorder, merge or filter its entries and write it back
// in its own shape: the header as it was (but for a Rime name, which follows the output file),
// the lines that are no entries (comments, blank lines, lines the format's program skips), and
// every entry's line as written unless the tool gave it a new weight or code.
//
// Entries are compared by word and code (entryKey); a weight is a count or, for fcitx5, a cost
// (a log10 probability), and merging two weights follows WeightRule.

#include "shared/formats/format_reader.h"
#include "shared/formats/lexicon_format.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/large_buffer.h"
#include "shared/lexcore/text_format.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lex::formats {

// The format of `path` when the tools keep its shape: a writable format of another program,
// told by lexconv's detector (formats.h lists them); nullopt for the suite's own formats, a Rime
// user dictionary snapshot, and a file that is missing, no regular file or unreadable (the
// operation then reads it as it always has, and reports those).
std::optional<Format> foreignFormat(const std::filesystem::path &path);

// An entry of a ForeignLexicon: views of the text its lexicon holds (valid while it lives).
// Small (32 bytes, half a cache line), because a big lexicon holds millions of them: one text
// holds the line and, after it, the word unless the line begins with it, and the code unless
// the line holds it as such.
class ForeignEntry {
public:
    // As written, without its line end.
    std::u16string_view line() const { return {m_text, m_lineSize}; }
    std::u16string_view word() const {
        return {m_text + (m_wordAfterLine ? m_lineSize : 0), m_wordSize};
    }
    // The code: as written, its syllables (or letters) parted by one blank wherever the format
    // parts them by blanks or apostrophes (tones stay: they tell terra_pinyin's readings apart);
    // empty when the line has none.
    std::u16string_view code() const { return {m_text + m_codeAt, m_codeSize}; }
    // None, or a count, a cost, or a Rime share ("N%", `percent`).
    std::optional<double> weight() const {
        return m_hasWeight ? std::optional<double>(m_weight) : std::nullopt;
    }
    void setWeight(std::optional<double> weight) {
        m_hasWeight = weight.has_value();
        m_weight = weight.value_or(0);
    }

private:
    friend class ForeignLexicon;
    // The flags share the code size's word: a code has fewer than 2^26 units (kMaxCode).
    const char16_t *m_text = nullptr;
    double m_weight = 0;
    uint32_t m_lineSize = 0, m_codeAt = 0, m_wordSize = 0;
    uint32_t m_codeSize : 26 = 0;
    bool m_hasWeight : 1 = false;
    bool m_wordAfterLine : 1 = false; // else the line begins with the word

public:
    static constexpr size_t kMaxCode = (size_t(1) << 26) - 1;
    bool percent : 1 = false;
    bool rewrite : 1 = false;     // the weight or code changed: written anew (or its weight field)
    bool codeChanged : 1 = false; // setCode gave it `code`
    bool made : 1 = false;        // of another format: the line is made of word, code and weight
};

// Room for `n` entries in `entries`, in huge pages where the system gives them (a million
// entries fault tens of thousands of small pages in).
void reserveEntries(std::vector<ForeignEntry> &entries, size_t n);

// The entries of a vector found by their key (word and code; the word alone with `byWord`, or
// for an entry without a code), with no string made per lookup.
class EntryIndex {
public:
    static constexpr uint32_t kNone = UINT32_MAX;
    EntryIndex(const std::vector<ForeignEntry> &entries, bool byWord, size_t expected = 0);
    // The entry of `e`'s key, or kNone.
    uint32_t find(const ForeignEntry &e) const { return find(e, hash(e)); }
    uint32_t find(const ForeignEntry &e, size_t hash) const;
    // Adds entries[i] when its key is new; the entry of its key either way.
    uint32_t insert(uint32_t i) { return insert(i, hash(m_entries[i])); }
    uint32_t insert(uint32_t i, size_t hash);

    // The hash of `e`'s key, for the calls above; `prefetch` asks for its first slot a few
    // entries ahead, so that a pass over many entries waits for memory less.
    size_t hash(const ForeignEntry &e) const { return keyHash(e, m_byWord); }
    static size_t keyHash(const ForeignEntry &e, bool byWord);
    static bool sameKey(const ForeignEntry &a, const ForeignEntry &b, bool byWord) {
        return a.word() == b.word() && (byWord || a.code() == b.code());
    }
    void prefetch(size_t hash) const { __builtin_prefetch(&m_slots[hash & (m_slots.size() - 1)]); }

private:
    // An entry's place and the high half of its key's hash, which tells most other keys apart
    // without a look at the entry; and where its word lies (its lexicon's text never moves)
    // with its length, so that telling a repeat waits for one fetch from memory, not for the
    // entry and then its word: the word and, for the code, the entry are fetched at once.
    // `word` is 0 for an empty word or one too long to note so.
    struct Slot {
        uint64_t key = kEmpty;
        uint64_t word = 0;
    };
    static uint64_t wordOf(const ForeignEntry &e);
    bool same(const Slot &slot, const ForeignEntry &e) const;
    void grow();

    static constexpr uint64_t kEmpty = UINT64_MAX, kPlace = 0xFFFFFFFFu;
    const std::vector<ForeignEntry> &m_entries;
    bool m_byWord;
    std::vector<Slot> m_slots;
    size_t m_count = 0;
};

// How two weights of one entry become one: the larger, their sum, the first or the second
// lexicon's. Costs sum as the probabilities they stand for.
enum class WeightRule { Max, Sum, First, Second };
std::optional<WeightRule> weightRuleByName(std::string_view name);
const char *weightRuleName(WeightRule rule);

class ForeignLexicon {
public:
    // Reads the whole of `path`, of `format`. Throws LexError when it cannot be read. The
    // entries get room for those of the lexicon `roomFor` too (when given and there), so that
    // gathering its entries into them later need not move them.
    ForeignLexicon(const std::filesystem::path &path, Format format, EventPump &pump,
                   const std::filesystem::path &roomFor = {});

    Format format() const { return m_format; }
    const std::filesystem::path &path() const { return m_path; }
    // Rime's header, up to and including "...".
    const std::vector<std::u16string> &header() const { return m_header; }
    // The body's lines that are no entries, in order.
    const std::vector<std::u16string> &others() const { return m_others; }
    std::vector<ForeignEntry> &entries() { return m_entries; }
    const std::vector<ForeignEntry> &entries() const { return m_entries; }
    bool hasCodes() const { return m_hasCodes; } // some entry has a code

    // Leaves the entries each key once, in first-occurrence order, in place (no copy of a big
    // lexicon's entries, whose fresh pages cost more than the work): the weights of repeats are
    // merged into the first by `rule` (first and second: the earlier and the later). `index`,
    // an empty index over entries(), then finds them. Returns how many were folded.
    int64_t foldRepeats(EntryIndex &index, WeightRule rule, EventPump &pump);
    // The same, with no index left behind, and faster on many entries: the keys are first
    // parted by their hash, so that each part is folded in a table that stays in the cache.
    // With `then`, that lexicon's entries follow this one's (adopted into this one, in place)
    // and its new keys are added after this one's, as gather() after the fold would: one pass
    // over both (their text stays `then`'s, which must outlive them). `keyHash` is
    // EntryIndex::keyHash unless a test makes keys collide.
    using KeyHash = size_t (*)(const ForeignEntry &, bool byWord);
    int64_t foldRepeats(bool byWord, WeightRule rule, EventPump &pump,
                        ForeignLexicon *then = nullptr, KeyHash keyHash = nullptr);
    // Adds the entries of another lexicon (adopted into this one) to `out`, whose entries
    // `index` finds: a key already there merges its weight by `rule` instead. Returns how many
    // did.
    int64_t gather(const ForeignLexicon &from, std::vector<ForeignEntry> &out, EntryIndex &index,
                   WeightRule rule, EventPump &pump) const;
    // `a`'s weight merged with `b`'s by `rule`: a missing weight gives way to the other; Rime
    // shares are kept only when both are shares.
    void mergeWeight(ForeignEntry &a, const ForeignEntry &b, WeightRule rule) const;
    // Gives `entry` the code of `syllables` (Rime: blank-separated, the others as they write
    // pinyin); an empty list removes it.
    void setCode(ForeignEntry &entry, const pinyin::Syllables &syllables);

    // Makes `entry`, read from `from`, an entry of this lexicon: one of another format (or other
    // Rime columns) is written anew in this one's, its weight kept when both mean the same.
    void adopt(ForeignEntry &entry, const ForeignLexicon &from) const;

    struct Written {
        int64_t lines = 0;                  // entries written
        std::string renamedFrom, renamedTo; // a Rime name that follows the output file
    };
    // Writes the header, the other lines and then `entries` (this lexicon's entries, reordered
    // or filtered, or another lexicon's of the same format), or those of them `order` lists in
    // its order, to `output`, atomically, in this lexicon's encoding and line ends unless the
    // run forces an encoding the format allows.
    Written write(const std::filesystem::path &output, const std::vector<ForeignEntry> &entries,
                  EventPump &pump, const std::vector<uint32_t> *order = nullptr) const;
    Written write(const std::filesystem::path &output, EventPump &pump) const {
        return write(output, m_entries, pump);
    }

    // The lexicon of `path` written to `output` with only the entries `keep` accepts, as
    // reading it whole, erasing the others and writing it would, and its report's lines. The
    // entries are not held but written as they are read (a filter of a big lexicon needs the
    // memory of a few lines), unless a line that is no entry follows an entry: such lines are
    // written before all entries, so then the file is read again, whole.
    struct Filtered {
        Written written;
        std::string report;
    };
    static Filtered filter(const std::filesystem::path &path, Format format,
                           const std::filesystem::path &output,
                           const std::function<bool(const ForeignEntry &)> &keep, EventPump &pump);

private:
    struct LineMaker;
    struct Output;
    using EntrySink = std::function<void(const ForeignEntry &)>;
    // Nothing read yet: the path, the format and the file's encoding and line ends.
    ForeignLexicon(const std::filesystem::path &path, Format format);
    // Reads the file: its entries into entries() (with room for `moreBytes` more of them), or,
    // with a sink, each to the sink, its views valid only during the call. With a sink, reading
    // stops at a line that is no entry after an entry, and returns false.
    bool read(EventPump &pump, uint64_t moreBytes, const EntrySink *sink);
    // Opens `output` and writes what goes before the entries; puts one entry.
    void begin(Output &o, const std::filesystem::path &output, bool noComment,
               EventPump &pump) const;
    void put(Output &o, const ForeignEntry &e, EventPump &pump) const;
    // The line of `entry`, written anew when it has to be (a view valid until the next call).
    std::u16string_view lineOf(const ForeignEntry &entry, LineMaker &maker) const;
    // A copy of `text` that lives as long as the lexicon.
    std::u16string_view keep(std::u16string_view text);
    // Where `line` holds `text`: most likely at `likely`; npos when nowhere.
    static size_t locate(std::u16string_view line, std::u16string_view text, size_t likely);
    // Makes `e` of `line`, its word and its code, in text the lexicon keeps when it is to be
    // held (`hold`), else in the line or a scratch text valid until the next call.
    void place(ForeignEntry &e, std::u16string_view line, std::u16string_view word,
               std::u16string_view code, bool hold);
    // A parsed code with its syllables parted by one blank however the format parts them
    // (`plainCode`: already so as written).
    static bool plainCode(std::u16string_view raw);
    std::u16string_view partedCode(std::u16string_view rawCode,
                                   const std::vector<std::string> &syllables);
    // Refuses a code an entry cannot hold (over ForeignEntry::kMaxCode units), naming the file
    // and, when known (not 0), the line.
    void checkCodeSize(size_t units, int64_t lineNumber) const;

    std::filesystem::path m_path;
    Format m_format;
    TextFormat m_text;
    FormatReader m_bodyReader; // as it was after the header: parses any body line again
    std::vector<std::u16string> m_header, m_others;
    std::vector<ForeignEntry> m_entries;
    bool m_hasCodes = false;
    // The entries' text, in blocks that never move.
    std::vector<LargeBlock<char16_t>> m_blocks;
    size_t m_blockUsed = 0, m_blockSize = 0;
    std::u16string m_scratch, m_joined;
};

// The report's lines for a lexicon kept in its shape: its format, the header and other lines
// kept, a Rime name that follows the output.
std::string foreignReport(const ForeignLexicon &lexicon, const ForeignLexicon::Written &written);

} // namespace lex::formats
