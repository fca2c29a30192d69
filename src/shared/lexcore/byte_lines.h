#pragma once
// Lexicons held as the bytes of their code page 936 lines, for runs that only ask whether a line
// was seen before and keep first-occurrence order (repeated lines, set operations, the update).
//
// Code page 936 text without a lead byte that lacks its trail byte and without NUL is "plain":
// every byte pair of the code page decodes to a character that encodes to that same pair again,
// and so do the single bytes. Two plain lines are then the same text exactly when they are the
// same bytes, and the bytes written back are the bytes read. Such a run can skip decoding and
// encoding altogether and hold each distinct line in the size it has in the file, which is what
// lets ten million lines stay well under a gigabyte. Anything else (another encoding, a special
// file, a byte that would decode to U+FFFD, NUL) makes the scan throw NotPlainGbk, and the caller
// runs its general path, which reads and reports such files as it always has.

#include "shared/lexcore/entry_hash_set.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/large_buffer.h"
#include "shared/lexcore/run_context.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace lex {

// An input is not plain code page 936 (or cannot be read here): run the general path.
struct NotPlainGbk {};

uint64_t hashBytes(const char *data, size_t size);

// A line without its line end, as the key variant leaves it (the placeholder of a line without a
// key of its own), with its hash.
struct ByteLine {
    const char *data;
    uint32_t size;
    uint64_t hash;
    std::string_view view() const { return {data, size}; }
};

// Hands the lines of `path` to batch(lines, count), in order, a few thousand lines at a time
// (valid during the call). The file is read in chunks and its lines are checked, mapped and
// hashed on two threads. Throws NotPlainGbk for a file that is not plain code page 936 (see
// above), after the batches before the one that shows it. Progress (bytes read) goes to the pump
// with the phase "读取", and the pump is polled after every batch. `chunk`: the bytes read at a
// time (tests make it small).
void scanPlainGbk(const std::filesystem::path &path, KeyVariant variant, EventPump &pump,
                  const std::function<void(const ByteLine *, size_t)> &batch,
                  size_t chunk = size_t(4) << 20);

// Whether a run over `inputs` may hold its lines as bytes: no capacity is set in `context` (the
// windows keep the entry set, whose capacity and stop requests they show), and every input that
// exists is a regular file that reads as code page 936 (the scan checks the rest). Empty paths and
// missing files are skipped, as the runs skip them. The chooser of run_path.h asks this.
bool plainGbkRun(const RunContext &context, const std::vector<std::filesystem::path> &inputs);

// About how many lines the inputs hold, from the line lengths of their first megabyte: the room a
// table reserves before it starts, so that it seldom grows.
uint64_t estimateLines(const std::vector<std::filesystem::path> &inputs);

// Distinct lines as bytes in insertion order, each with a state of two bits that the run gives
// it. Records are found through an open-addressing table of (hash tag, record) cells.
class ByteLineTable {
public:
    using Ref = uint32_t; // a record; 0 for none

    ByteLineTable();
    // Room for about `lines` distinct lines of `bytes` bytes in all.
    void reserve(size_t lines, size_t bytes);
    // Room for the lines of `inputs` (estimateLines) and their bytes.
    void reserveFor(const std::vector<std::filesystem::path> &inputs);
    Ref find(const ByteLine &line) const;
    // The record of `line`; a new one is added with state 0, and `added` says so.
    Ref insert(const ByteLine &line, bool &added);
    // Starts loading what a lookup of `line` reads first.
    void prefetch(const ByteLine &line) const {
        __builtin_prefetch(&m_cells[size_t(line.hash) & m_mask]);
    }
    std::string_view bytes(Ref r) const {
        return {reinterpret_cast<const char *>(&m_arena[r + 1]), m_arena[r] >> 2};
    }
    uint8_t state(Ref r) const { return uint8_t(m_arena[r] & 3); }
    void setState(Ref r, uint8_t state) { m_arena[r] = (m_arena[r] & ~3u) | state; }
    size_t size() const { return m_count; }
    // f(bytes, state) for every record in insertion order.
    template <class F> void forEach(F f) const {
        const uint32_t *a = m_arena.data();
        for (size_t w = 1; w < m_arena.size();) {
            const uint32_t header = a[w];
            const size_t n = header >> 2;
            f(std::string_view(reinterpret_cast<const char *>(a + w + 1), n), uint8_t(header & 3));
            w += 1 + (n + 3) / 4;
        }
    }
    void clear();

private:
    struct Cell {
        uint32_t tag; // the high half of the hash
        Ref ref;      // 0: free
    };
    size_t cellOf(const ByteLine &line) const;
    void grow();

    LargeArray<Cell> m_cells;
    size_t m_mask = 0;
    size_t m_count = 0;
    // Records, 4-byte aligned: a word of length << 2 | state, then the bytes. Word 0 is unused,
    // so that no record is 0.
    LargeArray<uint32_t> m_arena;
};

// Hands every line of the batches to step(line) in order, hinting the table a few lines ahead:
// lookups wait on memory, not on computation.
template <class Step>
void lookUpEachByteLine(const ByteLineTable &table, const ByteLine *lines, size_t n, Step step) {
    constexpr size_t kAhead = 12;
    for (size_t i = 0; i < n && i < kAhead; ++i)
        table.prefetch(lines[i]);
    for (size_t i = 0; i < n; ++i) {
        if (i + kAhead < n)
            table.prefetch(lines[i + kAhead]);
        step(lines[i]);
    }
}

} // namespace lex
