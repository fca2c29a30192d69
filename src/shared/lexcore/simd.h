#pragma once
// The vector paths' common parts: whether the CPU offers AVX2 (asked once), and the shuffles
// that pack chosen 16-bit lanes together.

#include <cstddef>
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

#if defined(__x86_64__)
#pragma GCC push_options
#pragma GCC target("avx2")
// The loop of a block decoder: block(p, out, zero) decodes the block at `p` into `out` (moving
// it on), ORs a mask of its NUL bytes into `zero`, and returns the bytes it took, or 0 to leave
// them to the caller's byte loop. Runs from `p` while blocks are taken and `reach` bytes (what
// one block may read) are left; returns where it stopped.
template <size_t kReach, class Block>
inline const uint8_t *decodeBlocks(const uint8_t *p, const uint8_t *end, char16_t *&dst, bool &nul,
                                   Block block) {
    char16_t *out = dst; // locals stay in registers
    unsigned zero = 0;
    while (size_t(end - p) >= kReach) {
        const size_t n = block(p, out, zero);
        if (n == 0)
            break;
        p += n;
    }
    dst = out;
    nul |= zero != 0;
    return p;
}
#pragma GCC pop_options
#endif

} // namespace lex
