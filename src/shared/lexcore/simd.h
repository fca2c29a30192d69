#pragma once
// The vector paths' common parts: whether the CPU offers AVX2 (asked once), and the shuffles
// that pack chosen 16-bit lanes together.

#include <cstdint>

namespace lex {

#if defined(__x86_64__)
inline bool haveAvx2() {
    static const bool have = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return have;
}
#endif

// Per mask of eight 16-bit lanes, the byte shuffle that moves the lanes whose bit is set to the
// front, in order (the rest zero).
struct LanePacking {
    uint8_t shuffle[256][16] = {};
    constexpr LanePacking() {
        for (int m = 0; m < 256; ++m) {
            int k = 0;
            for (int lane = 0; lane < 8; ++lane) {
                if (m >> lane & 1) {
                    shuffle[m][k++] = uint8_t(2 * lane);
                    shuffle[m][k++] = uint8_t(2 * lane + 1);
                }
            }
            while (k < 16)
                shuffle[m][k++] = 0x80;
        }
    }
};
inline constexpr LanePacking kLanePacking;

} // namespace lex
