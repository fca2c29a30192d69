#pragma once
// The program-wide data of pintop: the character readings of "dz.lxd" and the user's
// replacement table for double-pinyin layouts.
//
// "dz.lxd": one line per character; the first code unit is the character, the rest of the line
// its reading. The first line of a character wins; empty lines are skipped.
// Replacement table: "key=value" lines; the key is everything before the first "=" and must not
// be empty, the value everything after it. The first line of a key wins.

#include "pintop/pinyin_to_code.h"

#include <bitset>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace lex::pintop {

inline constexpr const char *kReadingsFile = "dz.lxd";

class ReplacementTable;

class CharReadings {
public:
    CharReadings() : m_spans(65536) {}
    // Adds a reading unless the character already has one; returns whether it was added.
    bool add(char16_t ch, std::u16string_view reading);
    // Appends the reading (through the table once applyTable() ran); nothing for a character
    // that has none.
    void appendReading(std::u16string &out, char16_t ch) const {
        if (m_codes.empty())
            out += raw(ch);
        else
            m_codes[ch].appendTo(out, raw(ch));
    }
    std::u16string reading(char16_t ch) const {
        std::u16string r;
        appendReading(r, ch);
        return r;
    }
    bool contains(char16_t ch) const { return m_present[ch]; }
    size_t size() const { return m_count; }

    // From now on every reading r reads as pinyinToCode(r, table). The readings then point into
    // `table`, which must outlive them and stay unchanged.
    void applyTable(const ReplacementTable &table);

private:
    std::u16string_view raw(char16_t ch) const {
        const Span &s = m_spans[ch];
        return std::u16string_view(m_text.data() + s.offset, s.length);
    }

    // Every reading lives in one text, found by code unit: a lookup per character of a
    // million-line lexicon must stay in a small, cache-friendly table.
    struct Span {
        uint32_t offset = 0;
        uint32_t length = 0;
    };
    std::vector<Span> m_spans;
    std::u16string m_text;
    std::bitset<65536> m_present;
    size_t m_count = 0;
    std::vector<SyllableCode> m_codes; // per character, while a table is applied
};

struct StringHash {
    using is_transparent = void;
    size_t operator()(std::u16string_view s) const { return std::hash<std::u16string_view>{}(s); }
};

class ReplacementTable {
public:
    // Adds a "key=value" line; lines without "=" at the second position or later are ignored.
    void addLine(std::u16string_view line);
    // The value of `key`, or nullptr when the table has no such key (keys compare exactly).
    const std::u16string *find(std::u16string_view key) const;
    size_t size() const { return m_map.size(); }
    bool empty() const { return m_map.empty(); }
    // Appends pinyinToCode(py, *this). The codes of short ASCII syllables are remembered:
    // annotated lexicons repeat a few hundred syllables millions of times.
    void appendCode(std::u16string &out, std::u16string_view py) const;
    std::u16string code(std::u16string_view py) const {
        std::u16string c;
        appendCode(c, py);
        return c;
    }

private:
    struct Memo {
        uint64_t key = 0; // 0: unused
        SyllableCode code;
    };
    std::unordered_map<std::u16string, std::u16string, StringHash, std::equal_to<>> m_map;
    mutable std::vector<Memo> m_memo;
};

// The readings point into the table: moved together, never copied.
struct PintopData {
    PintopData() = default;
    PintopData(const PintopData &) = delete;
    PintopData &operator=(const PintopData &) = delete;
    PintopData(PintopData &&) = default;
    PintopData &operator=(PintopData &&) = default;

    CharReadings readings;
    ReplacementTable table;
    bool tableInUse = false;
};

// Loads "dz.lxd" and, when `tablePath` names an existing file, the replacement table; with the
// table in use every reading is converted by pinyinToCode. Throws LexError when the readings
// file is missing or unreadable (the generation cannot work without it).
std::unique_ptr<PintopData> loadPintopData(const std::filesystem::path &readingsFile,
                                           const std::filesystem::path &tablePath);

} // namespace lex::pintop
