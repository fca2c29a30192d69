#pragma once
// The program-wide data of pintop: the character readings of "dz.lxd", and the user's
// replacement table (pinyin_to_code.h) they are read through.
//
// "dz.lxd": one line per character; the first code unit is the character, the rest of the line
// its reading. The first line of a character wins; empty lines are skipped.

#include "pintop/pinyin_to_code.h"

#include <bitset>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace lex::pintop {

inline constexpr const char *kReadingsFile = "dz.lxd";

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
