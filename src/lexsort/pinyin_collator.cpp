#include "lexsort/pinyin_collator.h"

#include "shared/lexcore/lex_error.h"

#include <unicode/ucol.h>

#include <algorithm>
#include <climits>

namespace lex::lexsort {

PinyinCollator::PinyinCollator() {
    UErrorCode status = U_ZERO_ERROR;
    m_collator = ucol_open("zh", &status);
    if (U_FAILURE(status) || status == U_USING_DEFAULT_WARNING) {
        if (m_collator)
            ucol_close(m_collator);
        m_collator = nullptr;
        throw LexError(std::string("无法载入汉语拼音排序规则（ICU：") + u_errorName(status) + "）");
    }
    ucol_setStrength(m_collator, UCOL_SECONDARY);
}

PinyinCollator::~PinyinCollator() {
    if (m_collator)
        ucol_close(m_collator);
}

std::unique_ptr<PinyinCollator> PinyinCollator::clone() const {
    UErrorCode status = U_ZERO_ERROR;
    UCollator *copy = ucol_clone(m_collator, &status);
    if (U_FAILURE(status)) {
        if (copy)
            ucol_close(copy);
        throw LexError(std::string("无法复制汉语拼音排序规则（ICU：") + u_errorName(status) + "）");
    }
    return std::unique_ptr<PinyinCollator>(new PinyinCollator(copy));
}

int PinyinCollator::compare(std::u16string_view a, std::u16string_view b) const {
    return ucol_strcoll(m_collator, a.data(), int32_t(a.size()), b.data(), int32_t(b.size()));
}

size_t PinyinCollator::sortKey(std::u16string_view text, uint8_t *dst, size_t room) const {
    if (text.size() > size_t(INT32_MAX / 4))
        throw LexError("词条太长，无法排序");
    const int32_t length = ucol_getSortKey(m_collator, text.data(), int32_t(text.size()), dst,
                                           int32_t(std::min(room, size_t(INT32_MAX))));
    if (length <= 0)
        throw LexError("无法计算词条的拼音排序键");
    return size_t(length);
}

} // namespace lex::lexsort
