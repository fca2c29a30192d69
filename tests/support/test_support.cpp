#include "test_support.h"

#include "shared/lexcore/cp936.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <sys/wait.h>

#if defined(__SANITIZE_ADDRESS__)
// GCC ships no header for the allocator's interface; the runtime has the function.
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

namespace lex::test {

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "lextest.XXXXXX").string();
    if (!::mkdtemp(tmpl.data()))
        throw std::runtime_error("mkdtemp failed");
    m_path = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_path, ec);
}

void writeBytes(const std::filesystem::path &path, std::string_view bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), std::streamsize(bytes.size()));
    if (!f)
        throw std::runtime_error("cannot write " + path.string());
}

size_t allocatedBytes() {
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    struct mallinfo2 m = ::mallinfo2();
    return m.uordblks + m.hblkhd;
#endif
}

std::string readBytes(const std::filesystem::path &path) {
    std::ifstream f(path, std::ios::binary);
    if (!f)
        throw std::runtime_error("cannot read " + path.string());
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

int shell(const std::filesystem::path &dir, const std::string &command, std::string *output) {
    const std::filesystem::path log = dir / "command.log";
    const std::string line =
        "cd '" + dir.string() + "' && " + command + " > '" + log.string() + "' 2>&1";
    const int status = std::system(line.c_str());
    if (output)
        *output = readBytes(log);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string gbk(std::u16string_view text) {
    return encode936(text);
}

std::string utf16le(std::u16string_view text) {
    std::string out = "\xFF\xFE";
    for (char16_t c : text) {
        out += char(c & 0xFF);
        out += char(c >> 8);
    }
    return out;
}

std::string gbkLines(std::initializer_list<std::u16string_view> lines) {
    std::string out;
    for (auto l : lines)
        out += gbk(l) + "\r\n";
    return out;
}

void writeLexicon(const std::filesystem::path &path,
                  std::initializer_list<std::u16string_view> lines, bool utf16) {
    std::u16string text;
    for (auto l : lines) {
        text += l;
        text += u"\r\n";
    }
    writeBytes(path, utf16 ? utf16le(text) : gbk(text));
}

void writeBigLexicon(const std::filesystem::path &path, int count, unsigned seed) {
    std::mt19937 rng(seed);
    std::string bytes;
    bytes.reserve(size_t(count) * 12);
    for (int i = 0; i < count; ++i) {
        const int chars = 2 + int(rng() % 3);
        for (int c = 0; c < chars; ++c) {
            bytes += char(0xB0 + rng() % 40);
            bytes += char(0xA1 + rng() % 94);
            if (rng() % 8 == 0)
                bytes += "pin";
        }
        bytes += "\r\n";
    }
    writeBytes(path, bytes);
}

std::vector<std::string> strays(const std::filesystem::path &dir,
                                const std::vector<std::string> &keep) {
    std::vector<std::string> found;
    for (const auto &e : std::filesystem::directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        if (std::find(keep.begin(), keep.end(), name) == keep.end())
            found.push_back(name);
    }
    std::sort(found.begin(), found.end());
    return found;
}

} // namespace lex::test
