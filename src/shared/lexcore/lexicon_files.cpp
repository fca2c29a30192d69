#include "shared/lexcore/lexicon_files.h"

#include "shared/lexcore/cp936.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lex {
namespace fs = std::filesystem;

namespace {

std::string pathText(const fs::path &p) {
    return p.string();
}

[[noreturn]] void failOpen(const fs::path &path, int err) {
    if (err == ENOENT)
        throw LexError("文件不存在：" + pathText(path), path);
    if (err == EISDIR)
        throw LexError("不是文件：" + pathText(path), path);
    throw LexError("无法打开文件：" + pathText(path) + "（" + systemErrorText(err) + "）", path);
}

// An open file descriptor that closes itself.
struct Fd {
    int fd;
    ~Fd() {
        if (fd >= 0)
            ::close(fd);
    }
};

// Opens a regular file for reading and returns its descriptor and size.
Fd openForReading(const fs::path &path, size_t &size) {
    Fd f{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (f.fd < 0)
        failOpen(path, errno);
    struct stat st {};
    if (::fstat(f.fd, &st) != 0)
        failOpen(path, errno);
    if (!S_ISREG(st.st_mode))
        failOpen(path, S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    size = size_t(st.st_size);
    return f;
}

// Reads the next chunk; returns the bytes read (0 at the end).
size_t readChunk(const Fd &f, const fs::path &path, char *buf, size_t n) {
    for (;;) {
        ssize_t got = ::read(f.fd, buf, n);
        if (got >= 0)
            return size_t(got);
        if (errno != EINTR)
            throw LexError("无法读取文件：" + pathText(path) + "（" + systemErrorText(errno) + "）",
                           path);
    }
}

} // namespace

LexiconEncoding detectEncoding(const fs::path &path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        failOpen(path, errno);
    unsigned char buf[2] = {0, 0};
    ssize_t n = ::read(fd, buf, 2);
    if (n == 1)
        buf[1] = 0;
    ::close(fd);
    return buf[0] == 0xFF && buf[1] == 0xFE ? LexiconEncoding::Utf16Le : LexiconEncoding::Ansi936;
}

bool fileExists(const fs::path &path) {
    if (path.empty())
        return false;
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

LineReader::LineReader(const fs::path &path, LexiconEncoding encoding) {
    open(path, encoding);
}

LineReader::LineReader(const fs::path &path) {
    open(path, detectEncoding(path));
}

void LineReader::open(const fs::path &path, LexiconEncoding encoding) {
    m_encoding = encoding;
    m_buffer.reset();
    m_text = nullptr;
    m_size = 0;
    m_pos = 0;
    m_lineEnds.clear();
    m_line = 0;
    size_t size = 0;
    Fd f = openForReading(path, size);

    // Read and decode in chunks: the raw bytes never exist in full beside the text.
    constexpr size_t kChunk = 1 << 20;
    std::string chunk(kChunk + 2, '\0');
    size_t capacity = size + 16; // at most one code unit per byte
    m_lineEnds.reserve(size / 8 + 16);
    m_buffer.resize(capacity * 2);
    m_text = static_cast<char16_t *>(m_buffer.data());
    size_t units = 0;
    size_t carry = 0; // bytes left over from the previous chunk (a split pair)
    bool sawNul = false;
    bool first = true;
    for (;;) {
        size_t got = readChunk(f, path, chunk.data() + carry, kChunk);
        size_t have = carry + got;
        bool final = got == 0;
        std::string_view bytes(chunk.data(), have);
        if (first && encoding == LexiconEncoding::Utf16Le && have >= 2 &&
            uint8_t(bytes[0]) == 0xFF && uint8_t(bytes[1]) == 0xFE)
            bytes.remove_prefix(2);
        first = false;
        if (capacity < units + bytes.size() + 16) { // the file grew while we read it
            capacity = (units + bytes.size() + 16) * 2;
            m_buffer.resize(capacity * 2);
            m_text = static_cast<char16_t *>(m_buffer.data());
        }
        size_t consumed = 0;
        if (encoding == LexiconEncoding::Utf16Le) {
            consumed = final ? bytes.size() : bytes.size() & ~size_t(1);
            char16_t *dst = m_text + units;
            std::memcpy(dst, bytes.data(), consumed & ~size_t(1));
            units += consumed / 2;
            // A dangling last byte of an odd-length file cannot be a character.
            if (consumed & 1)
                m_text[units++] = 0xFFFD;
        } else {
            char16_t *end =
                decode936Lines(bytes, m_text + units, final, consumed, sawNul, m_text, m_lineEnds);
            units = size_t(end - m_text);
        }
        carry = bytes.size() - consumed;
        std::memmove(chunk.data(), bytes.data() + consumed, carry);
        if (final)
            break;
    }
    m_size = units;
    if (m_size >= 0xFFFFFFFFu) {
        close();
        throw LexError("文件太大：" + pathText(path), path);
    }
    if (encoding == LexiconEncoding::Utf16Le)
        indexLines(); // code page 936 text had its line ends found while decoding
    if (m_size > 0 && m_text[m_size - 1] != u'\n')
        m_lineEnds.push_back(uint32_t(m_size)); // a last line without terminator
    if (encoding == LexiconEncoding::Utf16Le)
        sawNul = std::find(m_text, m_text + units, u'\0') != m_text + units;
    if (sawNul) {
        close();
        throw LexError("不是文本文件：" + pathText(path), path);
    }
}

void LineReader::indexLines() {
    for (size_t i = 0; i < m_size; ++i)
        if (m_text[i] == u'\n')
            m_lineEnds.push_back(uint32_t(i));
}

std::u16string_view LineReader::readLineView() {
    const size_t start = m_pos;
    const size_t lf = m_lineEnds[m_line++];
    size_t end = lf;
    if (lf < m_size && end > start && m_text[end - 1] == u'\r')
        --end;
    m_pos = lf < m_size ? lf + 1 : m_size;
    return std::u16string_view(m_text + start, end - start);
}

std::u16string_view LineReader::peekLineView(size_t ahead) const {
    const size_t line = m_line + ahead;
    if (line >= m_lineEnds.size())
        return {};
    const size_t start = line == 0 ? 0 : m_lineEnds[line - 1] + 1;
    size_t end = m_lineEnds[line];
    if (end < m_size && end > start && m_text[end - 1] == u'\r')
        --end;
    return std::u16string_view(m_text + start, end - start);
}

std::u16string LineReader::readAll() {
    std::u16string rest(m_text + m_pos, m_size - m_pos);
    m_pos = m_size;
    m_line = m_lineEnds.size();
    return rest;
}

void LineReader::close() {
    m_buffer.reset();
    m_text = nullptr;
    m_size = 0;
    m_pos = 0;
    m_lineEnds = {};
    m_line = 0;
}

std::u16string readWholeText(const fs::path &path, LexiconEncoding encoding) {
    LineReader r(path, encoding);
    return r.readAll();
}

void writeFileAtomically(const fs::path &path, std::string_view bytes) {
    if (path.empty())
        throw LexError("没有指定输出文件", path);
    fs::path dir = path.parent_path();
    if (dir.empty())
        dir = ".";
    std::string tmpl = (dir / ("." + path.filename().string() + ".XXXXXX")).string();
    int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0) {
        int err = errno;
        throw LexError("无法写入文件：" + pathText(path) + "（" + systemErrorText(err) + "）",
                       path);
    }
    auto fail = [&](int err) {
        ::close(fd);
        ::unlink(tmpl.c_str());
        std::string why = systemErrorText(err);
        throw LexError("无法写入文件：" + pathText(path) + "（" + why + "）", path);
    };
    // Keep the mode of the file being replaced; a new file gets the usual 0666 & ~umask.
    struct stat st {};
    mode_t mode;
    if (::stat(path.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(fd, mode);
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
        }
        done += size_t(n);
    }
    if (::close(fd) != 0) {
        int err = errno;
        ::unlink(tmpl.c_str());
        std::string why = systemErrorText(err);
        throw LexError("无法写入文件：" + pathText(path) + "（" + why + "）", path);
    }
    if (::rename(tmpl.c_str(), path.c_str()) != 0) {
        int err = errno;
        ::unlink(tmpl.c_str());
        throw LexError("无法写入文件：" + pathText(path) + "（" + systemErrorText(err) + "）",
                       path);
    }
}

LineWriter::LineWriter(fs::path path) {
    open(std::move(path));
}

LineWriter::~LineWriter() = default;

void LineWriter::open(fs::path path) {
    m_path = std::move(path);
    m_size = 0;
    m_open = true;
}

void LineWriter::grow(size_t capacity) {
    if (capacity > m_buffer.size())
        m_buffer.resize(capacity);
}

char *LineWriter::room(size_t units) {
    const size_t need = m_size + units * 2 + 2;
    if (need > m_buffer.size())
        grow(std::max(need, m_buffer.size() * 2 + (1 << 20)));
    return static_cast<char *>(m_buffer.data()) + m_size;
}

void LineWriter::writeLine(std::u16string_view text) {
    char *end = encode936To(text, room(text.size()));
    *end++ = '\r';
    *end++ = '\n';
    m_size = size_t(end - static_cast<char *>(m_buffer.data()));
}

void LineWriter::write(std::u16string_view text) {
    char *end = encode936To(text, room(text.size()));
    m_size = size_t(end - static_cast<char *>(m_buffer.data()));
}

void LineWriter::close() {
    if (!m_open)
        return;
    m_open = false;
    LargeBuffer bytes = std::move(m_buffer);
    const size_t size = m_size;
    m_size = 0;
    writeFileAtomically(m_path, std::string_view(static_cast<char *>(bytes.data()), size));
}

std::u16string entryWord(std::u16string_view line) {
    std::u16string word;
    if (line.empty())
        return word;
    word.reserve(line.size());
    word.push_back(line[0]);
    for (size_t i = 1; i < line.size(); ++i)
        if (isDoubleByte(line[i]))
            word.push_back(line[i]);
    return word;
}

std::u16string TakeOff(std::u16string_view s) {
    std::u16string word;
    word.reserve(s.size());
    for (char16_t c : s)
        if (isDoubleByte(c))
            word.push_back(c);
    return word;
}

} // namespace lex
