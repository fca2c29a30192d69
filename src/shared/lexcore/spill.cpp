#include "shared/lexcore/spill.h"

#include "shared/lexcore/entry_hash_set.h"
#include "shared/lexcore/interrupt.h"
#include "shared/lexcore/lex_error.h"
#include "shared/lexcore/temporary_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace lex {
namespace fs = std::filesystem;

void spillPauseForTest(const char *point) {
    pauseAtTestPoint("LEXCORE_TEST_SPILL_PAUSE", point);
}

// ---- files ----

SpillFile::SpillFile(const fs::path &folder)
    : m_file(TemporaryFile::nameless(folder)), m_folder(folder) {}

void SpillFile::append(const char *data, size_t bytes) {
    while (bytes > 0) {
        const ssize_t n = ::pwrite(m_file.fd(), data, bytes, off_t(m_size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            failTemporary(m_folder, n < 0 ? errno : ENOSPC);
        data += n;
        bytes -= size_t(n);
        m_size += uint64_t(n);
    }
}

size_t SpillFile::readAt(uint64_t offset, char *data, size_t bytes) const {
    size_t done = 0;
    while (done < bytes) {
        const ssize_t n = ::pread(m_file.fd(), data + done, bytes - done, off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw LexError("无法读取临时文件：" + m_folder.string() + "（" +
                               systemErrorText(errno) + "）",
                           m_folder);
        if (n == 0)
            break;
        done += size_t(n);
    }
    return done;
}

void SpillFile::release() {
    m_file = TemporaryFile();
    m_size = 0;
}

// ---- records ----

SpillWriter::SpillWriter(SpillFile &file, size_t bufferBytes)
    : m_file(&file), m_buffer(std::max<size_t>(bufferBytes, 4096)), m_segmentBegin(file.size()) {}

void SpillWriter::makeRoom(size_t bytes) {
    flush();
    if (bytes > m_buffer.size())
        m_buffer.resize(bytes);
}

void SpillWriter::putBytes(const void *data, size_t bytes) {
    if (bytes == 0) // an empty line's text may have no address at all
        return;
    if (m_used + bytes > m_buffer.size()) {
        flush();
        if (bytes > m_buffer.size()) {
            m_file->append(static_cast<const char *>(data), bytes);
            return;
        }
    }
    std::memcpy(m_buffer.data() + m_used, data, bytes);
    m_used += bytes;
}

void SpillWriter::flush() {
    if (m_used == 0)
        return;
    m_file->append(m_buffer.data(), m_used);
    m_used = 0;
}

SpillSegment SpillWriter::endSegment() {
    flush();
    SpillSegment s{m_segmentBegin, m_file->size(), m_records};
    m_segmentBegin = m_file->size();
    m_lastKey = 0;
    m_records = 0;
    return s;
}

SpillReader::SpillReader(const SpillFile &file, SpillSegment segment, size_t bufferBytes)
    : m_file(&file), m_buffer(std::max<size_t>(bufferBytes, 4096)), m_fileAt(segment.begin),
      m_segmentEnd(segment.end) {}

void SpillReader::refill(size_t bytes) {
    std::memmove(m_buffer.data(), m_buffer.data() + m_pos, m_end - m_pos);
    m_end -= m_pos;
    m_pos = 0;
    if (bytes > m_buffer.size())
        m_buffer.resize(bytes);
    const size_t want =
        size_t(std::min<uint64_t>(m_buffer.size() - m_end, m_segmentEnd - m_fileAt));
    const size_t got = m_file->readAt(m_fileAt, m_buffer.data() + m_end, want);
    if (got < want)
        throw LexError("临时文件不完整，无法读取。");
    m_fileAt += got;
    m_end += got;
}

const char *SpillReader::bytes(size_t n) {
    ensure(n);
    if (m_end - m_pos < n)
        throw LexError("临时文件不完整，无法读取。");
    const char *p = m_buffer.data() + m_pos;
    m_pos += n;
    return p;
}

std::u16string_view SpillReader::readLine() {
    const size_t n = size_t(varint());
    const char *p = bytes(n * 2);
    m_line.resize(n);
    std::memcpy(m_line.data(), p, n * 2);
    return m_line;
}

uint64_t spillHash(std::u16string_view s) {
    return hashLine(s);
}

// ---- plans ----

SpillPlan planSpill(const RunContext &context, uint64_t tableBytes) {
    const SizeLimits &limits = context.limits();
    const uint64_t memory = limits.memory ? limits.memory : defaultMemory();
    // One partition's table takes at most half the memory; the other half is for the buffers,
    // the reader's chunk and the writer's.
    const uint64_t room = std::max<uint64_t>(memory / 2, 1);
    constexpr uint64_t kMaxPartitions = 256;
    const uint64_t parts = std::clamp<uint64_t>((tableBytes + room - 1) / room, 2, kMaxPartitions);
    SpillPlan plan;
    plan.partitions = size_t(parts);
    plan.buffer = size_t(std::clamp<uint64_t>(memory / 8 / parts, 16 << 10, 1 << 20));
    plan.folder = context.temporaryFolder();
    return plan;
}

uint64_t tableBytesFor(const std::vector<fs::path> &inputs) {
    // A line of a dozen bytes holds some nine code units: about 48 bytes of table and 18 of
    // text. UTF-16 files hold one unit per two bytes.
    uint64_t total = 0;
    for (const fs::path &path : inputs) {
        std::error_code ec;
        if (path.empty() || !fs::is_regular_file(path, ec))
            continue;
        const uint64_t bytes = fs::file_size(path, ec);
        if (ec)
            continue;
        char mark[2] = {};
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            [[maybe_unused]] ssize_t n = ::read(fd, mark, 2);
            ::close(fd);
        }
        const bool utf16 = mark[0] == '\xFF' && mark[1] == '\xFE';
        total += bytes * (utf16 ? 3 : 6);
    }
    return total;
}

// ---- partitions ----

LinePartitions::LinePartitions(const SpillPlan &plan)
    : m_plan(plan), m_count(std::max<size_t>(plan.partitions, 1)) {
    m_files.reserve(m_count);
    m_writers.reserve(m_count);
    for (size_t k = 0; k < m_count; ++k) {
        m_files.emplace_back(plan.folder);
        m_writers.emplace_back(m_files.back(), plan.buffer);
    }
    m_segments.resize(m_count);
    m_units.assign(m_count, 0);
}

void LinePartitions::finish() {
    for (size_t k = 0; k < m_writers.size(); ++k)
        m_segments[k] = m_writers[k].endSegment();
    m_writers.clear();
    m_writers.shrink_to_fit();
}

// ---- results ----

PartitionResults::PartitionResults(const SpillPlan &plan)
    : m_plan(plan), m_file(plan.folder), m_writer(m_file, plan.buffer) {}

int64_t PartitionResults::records() const {
    int64_t n = 0;
    for (const SpillSegment &s : m_segments)
        n += s.records;
    return n;
}

PartitionResults::Merge::Merge(PartitionResults &results) {
    // The buffers of all readers together take what the partitions' writers took.
    const size_t buffer = std::max<size_t>(results.m_plan.buffer, 16 << 10);
    m_readers.reserve(results.m_segments.size());
    for (const SpillSegment &s : results.m_segments)
        m_readers.emplace_back(results.m_file, s, buffer);
    m_heads.resize(m_readers.size());
    for (size_t r = 0; r < m_readers.size(); ++r)
        if (m_readers[r].next(m_heads[r].first, m_heads[r].second))
            m_heap.push_back(uint32_t(r));
    for (size_t i = m_heap.size() / 2; i-- > 0;)
        sift(i);
}

void PartitionResults::Merge::sift(size_t i) {
    siftDown(m_heap, i, [this](uint32_t a, uint32_t b) {
        return m_heads[a].first != m_heads[b].first ? m_heads[a].first < m_heads[b].first : a < b;
    });
}

bool PartitionResults::Merge::next(uint64_t &key, std::u16string_view &line) {
    if (m_current >= 0) {
        const auto r = size_t(m_current);
        if (!m_readers[r].next(m_heads[r].first, m_heads[r].second)) {
            m_heap[0] = m_heap.back();
            m_heap.pop_back();
        }
        if (!m_heap.empty())
            sift(0);
    }
    if (m_heap.empty())
        return false;
    m_current = m_heap[0];
    key = m_heads[size_t(m_current)].first;
    line = m_heads[size_t(m_current)].second;
    return true;
}

// ---- tables ----

PartitionTable::PartitionTable() {
    clear();
}

void PartitionTable::clear() {
    m_text.clear();
    m_entries.clear();
    m_cells.clear();
    m_cells.assign(1024, Cell{0, -1});
}

void PartitionTable::reserve(size_t lines, size_t units) {
    m_entries.reserve(lines + 1);
    m_text.reserve(units + 1);
}

size_t PartitionTable::cellOf(std::u16string_view line, uint32_t hash) const {
    const size_t mask = m_cells.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const Cell &c = m_cells[i];
        if (c.entry < 0)
            return i;
        if (c.hash == hash && this->line(size_t(c.entry)) == line)
            return i;
    }
}

int64_t PartitionTable::find(std::u16string_view line, uint64_t hash) const {
    return m_cells[cellOf(line, uint32_t(hash))].entry;
}

uint32_t PartitionTable::insert(std::u16string_view line, uint64_t hash, int64_t position,
                                bool &added) {
    if ((m_entries.size() + 1) * 2 > m_cells.size())
        grow();
    const auto h = uint32_t(hash);
    Cell &c = m_cells[cellOf(line, h)];
    if (c.entry >= 0) {
        added = false;
        return uint32_t(c.entry);
    }
    if (m_entries.size() >= size_t(INT32_MAX))
        throw LexError("一个分区的词条太多，无法处理；请用 --memory 给出更多内存。");
    added = true;
    const auto idx = uint32_t(m_entries.size());
    Entry e{};
    e.position = position;
    e.text = m_text.size();
    e.state = 0;
    e.length = uint32_t(line.size());
    e.hash = h;
    m_entries.push_back(e);
    m_text.append(line.data(), line.size());
    c = Cell{h, int32_t(idx)};
    return idx;
}

void PartitionTable::grow() {
    LargeArray<Cell> old;
    old.assign(m_cells.size() * 2, Cell{0, -1});
    old.swap(m_cells);
    const size_t mask = m_cells.size() - 1;
    for (const Cell &c : old) {
        if (c.entry < 0)
            continue;
        size_t i = c.hash & mask;
        while (m_cells[i].entry >= 0)
            i = (i + 1) & mask;
        m_cells[i] = c;
    }
}

} // namespace lex
