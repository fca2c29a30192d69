#pragma once
// Fixtures for tests that work on real files: a temporary folder, byte-level file helpers and
// the two input encodings.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace lex::test {

// A fresh folder below the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::filesystem::path &path() const { return m_path; }
    std::filesystem::path operator/(const std::string &name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

void writeBytes(const std::filesystem::path &path, std::string_view bytes);
// The heap memory in use now (the sanitizer's count under AddressSanitizer).
size_t allocatedBytes();
std::string readBytes(const std::filesystem::path &path);

// Text as code page 936 bytes, and as UTF-16LE bytes behind the mark FF FE.
std::string gbk(std::u16string_view text);
std::string utf16le(std::u16string_view text);

// Lines joined with CR LF, each line followed by CR LF (the tools' output form), as GBK.
std::string gbkLines(std::initializer_list<std::u16string_view> lines);

// Writes `lines` (CR LF after each) to `path` as GBK, or as UTF-16LE with its mark.
void writeLexicon(const std::filesystem::path &path,
                  std::initializer_list<std::u16string_view> lines, bool utf16 = false);

// `count` distinct-looking entries of two to four GB2312 characters, some with pinyin, as GBK
// with CR LF; the same `seed` gives the same file.
void writeBigLexicon(const std::filesystem::path &path, int count, unsigned seed);

// The same numbers below `n` for the same seed on every run, for tests that want many lines of
// no plan.
struct Lcg {
    uint32_t seed;
    uint32_t operator()(uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    }
};

// Runs a shell command in `dir` (the real programs a test drives: rime_deployer, libime's tools);
// returns its exit status, its output and errors in `output`.
int shell(const std::filesystem::path &dir, const std::string &command,
          std::string *output = nullptr);

// The names in `dir` other than those in `keep`: what a run left behind.
std::vector<std::string> strays(const std::filesystem::path &dir,
                                const std::vector<std::string> &keep);

} // namespace lex::test
