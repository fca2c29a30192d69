#pragma once
// Rewrites one pinyin syllable through the user's replacement table (double-pinyin layouts).
//
// Replacement table: "key=value" lines; the key is everything before the first "=" and must not
// be empty, the value everything after it. The first line of a key wins.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace lex::pintop {

// One part of a syllable's code: a value of the table, or a part of the syllable itself.
struct CodePiece {
    const std::u16string *value = nullptr; // else py[offset, offset + length)
    uint32_t offset = 0;
    uint32_t length = 0;
    std::u16string_view in(std::u16string_view py) const {
        return value ? std::u16string_view(*value) : py.substr(offset, length);
    }
};

// A syllable's code as at most two pieces (initial and final). Table values may be long; held
// as pieces, a value is stored once in the table instead of once per character that uses it.
struct SyllableCode {
    CodePiece head;
    CodePiece tail;
    void appendTo(std::u16string &out, std::u16string_view py) const {
        out += head.in(py);
        out += tail.in(py);
    }
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

// The syllable's initial is what stands before its first vowel (a o e i u v, any case):
//   no initial      -> the whole syllable is looked up as "0" + syllable;
//   one letter      -> only the final is looked up, the initial is kept;
//   two letters     -> initial and final are looked up separately;
//   three or more   -> left alone, as is a syllable without a vowel.
std::u16string pinyinToCode(std::u16string_view py, const ReplacementTable &table);
// The same code in pieces that point into `py` and into the table.
SyllableCode pinyinToCodeParts(std::u16string_view py, const ReplacementTable &table);

} // namespace lex::pintop
