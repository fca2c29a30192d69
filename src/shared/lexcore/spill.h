#pragma once
// Runs beyond memory (lexcli --memory): the inputs' lines are spread over partitions by a hash
// of the line, each partition is worked in memory (PartitionTable), and the partitions' results
// are merged back by their keys (the position of a line in the inputs: first-occurrence order),
// as an external sort merges its runs.
//
// A spill file is a nameless temporary file (temporary_file.h): whatever ends the process, the
// system frees its space and the folder never shows it, so no handler has anything to remove. A
// full disk is a LexError that names the folder; the run's output has not been opened by then.
//
// A record of (key, line) holds the key's distance from the key of the record before it in the
// same segment (keys ascend within a segment), the line's length and its UTF-16 code units.

#include "shared/lexcore/encoding_detection.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/large_buffer.h"
#include "shared/lexcore/lex_error.h"
#include "shared/lexcore/line_stream.h"
#include "shared/lexcore/run_context.h"
#include "shared/lexcore/size_limits.h"
#include "shared/lexcore/temporary_file.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lex {

class SpillFile {
public:
    explicit SpillFile(const std::filesystem::path &folder);

    // Appends at the end; throws LexError (a full disk names the folder).
    void append(const char *data, size_t bytes);
    // Reads up to `bytes` from `offset`; fewer only at the end of the file.
    size_t readAt(uint64_t offset, char *data, size_t bytes) const;
    uint64_t size() const { return m_size; }
    // Gives the file's space back now.
    void release();

private:
    TemporaryFile m_file;
    uint64_t m_size = 0;
    std::filesystem::path m_folder;
};

// Bytes m_begin..m_end of a spill file, holding `records` records.
struct SpillSegment {
    uint64_t begin = 0;
    uint64_t end = 0;
    int64_t records = 0;
};

// Buffered records into a spill file, one segment after another.
class SpillWriter {
public:
    SpillWriter(SpillFile &file, size_t bufferBytes);
    ~SpillWriter() = default;
    SpillWriter(SpillWriter &&) = default;
    SpillWriter(const SpillWriter &) = delete;
    SpillWriter &operator=(const SpillWriter &) = delete;

    // A record; keys ascend within a segment.
    void put(uint64_t key, std::u16string_view line) {
        ensure(20 + line.size() * 2);
        putVarint(key - m_lastKey);
        m_lastKey = key;
        putLine(line);
        ++m_records;
    }
    // The parts of other record layouts.
    void putVarint(uint64_t v) {
        ensure(10);
        while (v >= 0x80) {
            m_buffer[m_used++] = char(v | 0x80);
            v >>= 7;
        }
        m_buffer[m_used++] = char(v);
    }
    void putBytes(const void *data, size_t bytes);
    void putLine(std::u16string_view line) {
        putVarint(line.size());
        putBytes(line.data(), line.size() * 2);
    }
    void countRecord() { ++m_records; }
    // Ends the segment begun by the previous end (or the writer's start): its bytes and records.
    SpillSegment endSegment();
    void flush();

private:
    void ensure(size_t bytes) {
        if (m_used + bytes > m_buffer.size())
            makeRoom(bytes);
    }
    void makeRoom(size_t bytes);

    SpillFile *m_file;
    std::vector<char> m_buffer;
    size_t m_used = 0;
    uint64_t m_segmentBegin;
    uint64_t m_lastKey = 0;
    int64_t m_records = 0;
};

// Reads the records of one segment.
class SpillReader {
public:
    SpillReader(const SpillFile &file, SpillSegment segment, size_t bufferBytes);
    SpillReader(SpillReader &&) = default;
    SpillReader &operator=(SpillReader &&) = default;
    SpillReader(const SpillReader &) = delete;
    SpillReader &operator=(const SpillReader &) = delete;

    // The next record of put(); the line stays valid until the next call. False at the end.
    bool next(uint64_t &key, std::u16string_view &line) {
        if (atEnd())
            return false;
        m_key += varint();
        key = m_key;
        line = readLine();
        return true;
    }
    bool atEnd() const { return m_pos == m_end && m_fileAt == m_segmentEnd; }
    uint64_t varint() {
        ensure(10);
        uint64_t v = 0;
        for (int shift = 0;; shift += 7) {
            const auto b = uint8_t(m_buffer[m_pos++]);
            v |= uint64_t(b & 0x7F) << shift;
            if (b < 0x80 || shift > 63)
                return v;
        }
    }
    // `bytes` bytes, valid until the next call.
    const char *bytes(size_t bytes);
    // A line of putLine(), valid until the next call.
    std::u16string_view readLine();

private:
    void ensure(size_t bytes) {
        if (m_end - m_pos < bytes)
            refill(bytes);
    }
    void refill(size_t bytes);

    const SpillFile *m_file;
    std::vector<char> m_buffer;
    size_t m_pos = 0, m_end = 0;
    uint64_t m_fileAt, m_segmentEnd;
    uint64_t m_key = 0;
    std::u16string m_line; // the last line, aligned
};

// Tests stop a run at the start of its partition and its merge phase, to signal it there: with
// LEXCORE_TEST_SPILL_PAUSE naming a folder, the run creates the file `point` in it and goes on
// once the test has removed it, or after half a minute.
void spillPauseForTest(const char *point);

// The 64-bit hash partitions and partition tables use.
uint64_t spillHash(std::u16string_view line);

// How a run beyond memory spreads its lines: into how many partitions, and the room of each
// buffer, so that one partition's table and the buffers stay within the memory bound.
struct SpillPlan {
    size_t partitions = 2;
    size_t buffer = size_t(1) << 20;
    std::filesystem::path folder; // where the spill files go
};
// `tableBytes`: what the run's table would take if it held all its lines at once; the memory
// bound and the folder are the run's.
SpillPlan planSpill(const RunContext &context, uint64_t tableBytes);
// What a table of the lines of files with `bytes` bytes in all takes at most, by their encoding
// (UTF-16 files hold half as many characters for their size).
uint64_t tableBytesFor(const std::vector<std::filesystem::path> &inputs);

// Lines with their positions (the order in which they were added), spread over partitions by a
// hash; each partition gives its lines back in position order.
class LinePartitions {
public:
    explicit LinePartitions(const SpillPlan &plan);
    LinePartitions(const LinePartitions &) = delete;
    LinePartitions &operator=(const LinePartitions &) = delete;

    // The next line; its position is lines() before the call.
    void add(std::u16string_view line, uint64_t hash) {
        const size_t k = partitionOf(hash);
        m_writers[k].put(uint64_t(m_lines), line);
        m_units[k] += line.size();
        ++m_lines;
    }
    void add(std::u16string_view line) { add(line, spillHash(line)); }
    // A position that holds no line.
    void skip() { ++m_lines; }
    int64_t lines() const { return m_lines; }
    size_t count() const { return m_count; }
    size_t partitionOf(uint64_t hash) const {
        return size_t(((hash >> 32) * uint64_t(m_count)) >> 32);
    }
    // Ends the adding: the buffers go to the files.
    void finish();
    int64_t records(size_t k) const { return m_segments[k].records; }
    uint64_t units(size_t k) const { return m_units[k]; }
    // Hands partition k to step(position, line) in position order, then frees its file.
    template <class Step> void read(size_t k, Step step) {
        SpillReader reader(m_files[k], m_segments[k], m_plan.buffer);
        uint64_t key;
        std::u16string_view line;
        while (reader.next(key, line))
            step(int64_t(key), line);
        m_files[k].release();
    }

private:
    SpillPlan m_plan;
    size_t m_count;
    std::vector<SpillFile> m_files;
    std::vector<SpillWriter> m_writers;
    std::vector<SpillSegment> m_segments;
    std::vector<uint64_t> m_units;
    int64_t m_lines = 0;
};

// The results of the partitions, each in ascending keys, one segment a partition in one file,
// merged back into one ascending order.
class PartitionResults {
public:
    explicit PartitionResults(const SpillPlan &plan);
    PartitionResults(const PartitionResults &) = delete;
    PartitionResults &operator=(const PartitionResults &) = delete;

    void add(uint64_t key, std::u16string_view line) { m_writer.put(key, line); }
    // Ends the current partition's results.
    void endPartition() { m_segments.push_back(m_writer.endSegment()); }
    int64_t records() const;
    // Hands every result to step(key, line) in ascending key order (ties by partition).
    template <class Step> void merge(EventPump &pump, Step step) {
        spillPauseForTest("merge");
        Merge m(*this);
        uint64_t key;
        std::u16string_view line;
        int64_t done = 0;
        const int64_t total = records();
        while (m.next(key, line)) {
            step(key, line);
            if ((++done & 0xFFF) == 0)
                pump.setProgress(done, total);
            pump.yield();
        }
    }

private:
    // A tournament over the segments' readers.
    class Merge {
    public:
        explicit Merge(PartitionResults &results);
        bool next(uint64_t &key, std::u16string_view &line);

    private:
        void sift(size_t i);
        std::vector<SpillReader> m_readers;
        std::vector<std::pair<uint64_t, std::u16string_view>> m_heads;
        std::vector<uint32_t> m_heap; // reader indices, smallest head first
        int64_t m_current = -1;       // the reader whose head was handed out last
    };

    SpillPlan m_plan;
    SpillFile m_file;
    SpillWriter m_writer;
    std::vector<SpillSegment> m_segments;
};

// Moves heap[i] down a binary min-heap ordered by less(a, b) until its children are not
// smaller: the step of the merges over sorted runs and partition results.
template <class Less> void siftDown(std::vector<uint32_t> &heap, size_t i, Less less) {
    const size_t n = heap.size();
    for (;;) {
        size_t smallest = i;
        const size_t l = 2 * i + 1, r = l + 1;
        if (l < n && less(heap[l], heap[smallest]))
            smallest = l;
        if (r < n && less(heap[r], heap[smallest]))
            smallest = r;
        if (smallest == i)
            return;
        std::swap(heap[i], heap[smallest]);
        i = smallest;
    }
}

// One partition's distinct lines, each with its position and a state of the operation's own:
// what an entry set holds, without slots. Indices count from 0 in insertion order.
class PartitionTable {
public:
    PartitionTable();
    // Room for `lines` lines of `units` code units (pages cost only once written).
    void reserve(size_t lines, size_t units);
    // The index of `line`, or -1.
    int64_t find(std::u16string_view line, uint64_t hash) const;
    // The index of `line`; a new line is added at `position` with state 0, and `added` says so.
    uint32_t insert(std::u16string_view line, uint64_t hash, int64_t position, bool &added);
    size_t size() const { return m_entries.size(); }
    std::u16string_view line(size_t i) const {
        const Entry &e = m_entries[i];
        return {m_text.data() + e.text, e.length};
    }
    int64_t position(size_t i) const { return m_entries[i].position; }
    uint8_t state(size_t i) const { return m_entries[i].state; }
    void setState(size_t i, uint8_t state) { m_entries[i].state = state; }
    // Empty, memory given back.
    void clear();

private:
    struct Entry {
        int64_t position;
        uint64_t text : 40;
        uint64_t state : 8;
        uint64_t spare : 16;
        uint32_t length;
        uint32_t hash;
    };
    struct Cell {
        uint32_t hash;
        int32_t entry; // -1: free
    };
    size_t cellOf(std::u16string_view line, uint32_t hash) const;
    void grow();

    LargeArray<char16_t> m_text;
    LargeArray<Entry> m_entries;
    LargeArray<Cell> m_cells;
};

// Hands every line of `path` (read in bounded memory, by the encoding detectEncoding gives) to
// step(line), with the phase "读取" and its progress on the pump.
template <class Step>
void streamLines(const std::filesystem::path &path, EventPump &pump, Step step) {
    LineStream in(path);
    pump.setPhase("读取");
    std::u16string_view line;
    int64_t n = 0;
    while (in.next(line)) {
        step(line);
        if ((++n & 0xFFF) == 0)
            pump.setProgress(int64_t(in.bytesRead()), int64_t(in.size()));
        pump.yield();
    }
}

// Works `partitions` one after another, each by work(k, table) with the table emptied before,
// with the phase "分区 k/n" on the pump.
template <class Work> void workPartitions(LinePartitions &partitions, EventPump &pump, Work work) {
    spillPauseForTest("partition");
    PartitionTable table;
    const size_t n = partitions.count();
    for (size_t k = 0; k < n; ++k) {
        pump.setPhase("分区 " + std::to_string(k + 1) + "/" + std::to_string(n));
        pump.setProgress(0, partitions.records(k));
        table.clear();
        table.reserve(size_t(partitions.records(k)), partitions.units(k));
        work(k, table);
    }
    table.clear();
}

} // namespace lex
