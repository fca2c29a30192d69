#pragma once
// Pinyin order: ICU's collation for Chinese ("zh", whose default order is by pinyin) at
// secondary strength, so that letters differing only in case or width compare equal.
//
// A sort compares each line some twenty times; it asks ICU once per line for its sort key
// instead, whose bytes compare as the collator does.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

struct UCollator;

namespace lex::lexsort {

class PinyinCollator {
public:
    // Throws LexError when ICU has no collation data for Chinese.
    PinyinCollator();
    ~PinyinCollator();
    PinyinCollator(const PinyinCollator &) = delete;
    PinyinCollator &operator=(const PinyinCollator &) = delete;

    // A collator of its own for another thread, with the same settings.
    std::unique_ptr<PinyinCollator> clone() const;

    // The collator's own comparison: < 0, 0 or > 0.
    int compare(std::u16string_view a, std::u16string_view b) const;
    // Writes the sort key of `text`, ending in its only zero byte, to `dst` when it fits in
    // `room` bytes; returns its length with that byte either way.
    size_t sortKey(std::u16string_view text, uint8_t *dst, size_t room) const;

private:
    explicit PinyinCollator(UCollator *collator) : m_collator(collator) {}

    UCollator *m_collator = nullptr;
};

} // namespace lex::lexsort
