#include "lexicon_files.h"

#include "cp936.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lex {
namespace fs = std::filesystem;

namespace {

std::string pathText(const fs::path &p) { return p.string(); }

[[noreturn]] void failOpen(const fs::path &path, int err) {
    if (err == ENOENT)
        throw LexError("文件不存在：" + pathText(path), path);
    if (err == EISDIR)
        throw LexError("不是文件：" + pathText(path), path);
    throw LexError("无法打开文件：" + pathText(path) + "（" + std::strerror(err) + "）", path);
}

std::string readBytes(const fs::path &path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        failOpen(path, errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        int err = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(fd);
        failOpen(path, err ? err : EINVAL);
    }
    std::string bytes;
    bytes.resize(size_t(st.st_size));
    size_t got = 0;
    for (;;) {
        if (got == bytes.size())
            bytes.resize(bytes.size() + 65536); // the file may have grown
        ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            int err = errno;
            ::close(fd);
            throw LexError("无法读取文件：" + pathText(path) + "（" + std::strerror(err) + "）",
                           path);
        }
        if (n == 0)
            break;
        got += size_t(n);
    }
    ::close(fd);
    bytes.resize(got);
    return bytes;
}

void decodeUtf16Le(std::string_view bytes, std::u16string &out) {
    out.resize(bytes.size() / 2 + (bytes.size() & 1));
    std::memcpy(out.data(), bytes.data(), bytes.size() & ~size_t(1));
    // A dangling last byte of an odd-length file cannot be a character.
    if (bytes.size() & 1)
        out.back() = 0xFFFD;
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

LineReader::LineReader(const fs::path &path, LexiconEncoding encoding) { open(path, encoding); }

LineReader::LineReader(const fs::path &path) { open(path, detectEncoding(path)); }

void LineReader::open(const fs::path &path, LexiconEncoding encoding) {
    m_encoding = encoding;
    m_text.clear();
    m_pos = 0;
    std::string bytes = readBytes(path);
    if (encoding == LexiconEncoding::Utf16Le) {
        std::string_view body(bytes);
        if (body.size() >= 2 && uint8_t(body[0]) == 0xFF && uint8_t(body[1]) == 0xFE)
            body.remove_prefix(2);
        decodeUtf16Le(body, m_text);
    } else {
        decode936(bytes, m_text);
    }
    bytes = std::string();
    if (m_text.find(u'\0') != std::u16string::npos) {
        m_text.clear();
        throw LexError("不是文本文件：" + pathText(path), path);
    }
}

std::u16string_view LineReader::readLineView() {
    const char16_t *base = m_text.data();
    const size_t n = m_text.size();
    size_t start = m_pos;
    size_t i = start;
    while (i < n && base[i] != u'\n')
        ++i;
    size_t end = i;
    if (end > start && base[end - 1] == u'\r' && i < n)
        --end;
    m_pos = i < n ? i + 1 : n;
    return std::u16string_view(base + start, end - start);
}

std::u16string LineReader::readAll() {
    std::u16string rest = m_text.substr(m_pos);
    m_pos = m_text.size();
    return rest;
}

void LineReader::close() {
    m_text = std::u16string();
    m_pos = 0;
}

size_t LineReader::countLines() const {
    size_t lines = 0;
    for (size_t i = m_pos; i < m_text.size(); ++i)
        lines += m_text[i] == u'\n';
    if (!m_text.empty() && m_pos < m_text.size() && m_text.back() != u'\n')
        ++lines;
    return lines;
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
        throw LexError("无法写入文件：" + pathText(path) + "（" + std::strerror(err) + "）", path);
    }
    auto fail = [&](int err) {
        ::close(fd);
        ::unlink(tmpl.c_str());
        std::string why = err == ENOSPC ? "磁盘已满" : std::strerror(err);
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
        std::string why = err == ENOSPC ? "磁盘已满" : std::strerror(err);
        throw LexError("无法写入文件：" + pathText(path) + "（" + why + "）", path);
    }
    if (::rename(tmpl.c_str(), path.c_str()) != 0) {
        int err = errno;
        ::unlink(tmpl.c_str());
        throw LexError("无法写入文件：" + pathText(path) + "（" + std::strerror(err) + "）", path);
    }
}

LineWriter::LineWriter(fs::path path) { open(std::move(path)); }

LineWriter::~LineWriter() = default;

void LineWriter::open(fs::path path) {
    m_path = std::move(path);
    m_buffer.clear();
    m_open = true;
}

void LineWriter::writeLine(std::u16string_view text) {
    encode936(text, m_buffer);
    m_buffer += "\r\n";
}

void LineWriter::write(std::u16string_view text) { encode936(text, m_buffer); }

void LineWriter::close() {
    if (!m_open)
        return;
    m_open = false;
    std::string bytes = std::move(m_buffer);
    m_buffer = std::string();
    writeFileAtomically(m_path, bytes);
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
