#include "shared/lexcore/partial_counts.h"

#include "shared/lexcore/atomic_output.h"
#include "shared/lexcore/interrupt.h"
#include "shared/lexcore/lex_error.h"
#include "shared/lexcore/utf8.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lex {
namespace {

constexpr std::string_view kMagic = "quillo-partial-counts 1 ";
constexpr size_t kFlushAt = size_t(1) << 20;

} // namespace

PartialWriter::PartialWriter(const std::filesystem::path &path, std::string_view kind)
    : m_path(path), m_out(std::make_unique<AtomicOutput>(path)) {
    m_buffer.reserve(kFlushAt + 4096);
    m_buffer.append(kMagic);
    m_buffer.append(kind);
    m_buffer += '\n';
}

PartialWriter::~PartialWriter() = default;

void PartialWriter::flushIfFull() {
    if (m_buffer.size() < kFlushAt)
        return;
    checkInterrupt();
    m_out->write(m_buffer);
    m_buffer.clear();
}

void PartialWriter::field(std::string_view name, std::string_view value) {
    m_buffer.append(name);
    m_buffer += '\t';
    m_buffer.append(value);
    m_buffer += '\n';
}

void PartialWriter::words(int64_t n) {
    m_announced = n;
    m_buffer += "words\t" + std::to_string(n) + "\n";
}

void PartialWriter::word(std::u16string_view word, int64_t count) {
    const size_t at = m_buffer.size();
    m_buffer.resize(at + 3 * word.size() + 1);
    char *end = encodeUtf8To(word, m_buffer.data() + at);
    m_buffer.resize(size_t(end - m_buffer.data()));
    m_buffer += '\t';
    char digits[24];
    auto r = std::to_chars(digits, digits + sizeof digits, count);
    m_buffer.append(digits, r.ptr);
    m_buffer += '\n';
    ++m_written;
    flushIfFull();
}

void PartialWriter::close() {
    if (m_written != m_announced)
        throw LexError("部分计数的词数不符：" + m_path.string(), m_path);
    m_buffer += "end\n";
    checkInterrupt();
    m_out->write(m_buffer);
    m_buffer.clear();
    m_out->commit();
}

PartialReader::PartialReader(const std::filesystem::path &path) : m_path(path) {
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (m_fd < 0) {
        const int err = errno;
        if (err == ENOENT)
            throw LexError("找不到文件：" + path.string(), path);
        throw LexError("无法打开文件：" + path.string() + "（" + systemErrorText(err) + "）", path);
    }
    struct stat st {};
    if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(m_fd);
        m_fd = -1;
        throw LexError("不是普通文件：" + path.string(), path);
    }
    ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
    m_buf.resize(size_t(1) << 20);
    std::string_view line;
    if (!readLine(line) || !line.starts_with(kMagic))
        throw LexError("不是部分计数文件：" + path.string(), path);
    m_kind = std::string(line.substr(kMagic.size()));
    for (;;) {
        if (!readLine(line))
            damaged("缺少词数");
        const size_t tab = line.find('\t');
        if (tab == std::string_view::npos)
            damaged("第 " + std::to_string(m_line) + " 行");
        const std::string_view name = line.substr(0, tab), value = line.substr(tab + 1);
        if (name == "words") {
            auto r = std::from_chars(value.data(), value.data() + value.size(), m_words);
            if (r.ec != std::errc() || r.ptr != value.data() + value.size() || m_words < 0)
                damaged("第 " + std::to_string(m_line) + " 行");
            break;
        }
        m_fields.emplace_back(name, value);
    }
}

PartialReader::~PartialReader() {
    if (m_fd >= 0)
        ::close(m_fd);
}

std::optional<std::string> PartialReader::field(std::string_view name) const {
    for (const auto &[n, v] : m_fields)
        if (n == name)
            return v;
    return std::nullopt;
}

std::string PartialReader::required(std::string_view name) const {
    auto v = field(name);
    if (!v)
        damaged("缺少 " + std::string(name));
    return *v;
}

void PartialReader::damaged(const std::string &why) const {
    throw LexError("部分计数文件已损坏：" + m_path.string() + "（" + why + "）", m_path);
}

bool PartialReader::readLine(std::string_view &line) {
    for (;;) {
        if (const void *lf = std::memchr(m_buf.data() + m_pos, '\n', m_end - m_pos)) {
            const size_t at = size_t(static_cast<const char *>(lf) - m_buf.data());
            line = std::string_view(m_buf.data() + m_pos, at - m_pos);
            m_pos = at + 1;
            ++m_line;
            return true;
        }
        if (m_eof)
            return false; // a last line without LF is a file cut short
        std::memmove(m_buf.data(), m_buf.data() + m_pos, m_end - m_pos);
        m_end -= m_pos;
        m_pos = 0;
        if (m_end == m_buf.size())
            m_buf.resize(m_buf.size() * 2);
        ssize_t got;
        while ((got = ::read(m_fd, m_buf.data() + m_end, m_buf.size() - m_end)) < 0) {
            if (errno != EINTR)
                throw LexError("无法读取文件：" + m_path.string() + "（" + systemErrorText(errno) +
                                   "）",
                               m_path);
            checkInterrupt();
        }
        m_eof = got == 0;
        m_end += size_t(got);
    }
}

bool PartialReader::next() {
    std::string_view line;
    if (m_read == m_words) {
        if (!readLine(line) || line != "end")
            damaged("不完整");
        return false;
    }
    if (!readLine(line))
        damaged("不完整");
    const size_t tab = line.rfind('\t');
    const std::string where = "第 " + std::to_string(m_line) + " 行";
    if (tab == std::string_view::npos || tab == 0)
        damaged(where);
    const std::string_view w = line.substr(0, tab), c = line.substr(tab + 1);
    int64_t count = 0;
    auto r = std::from_chars(c.data(), c.data() + c.size(), count);
    if (r.ec != std::errc() || r.ptr != c.data() + c.size() || count < 1)
        damaged(where);
    if (m_read > 0 && !(std::string_view(m_word) < w))
        damaged(where + "，次序不对");
    m_word.assign(w);
    m_count = count;
    ++m_read;
    return true;
}

} // namespace lex
