#include "pintop/code_dedup.h"

#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/file_io.h"
#include "shared/lexcore/line_reader.h"
#include "shared/lexcore/line_writer.h"
#include "shared/lexcore/report.h"
#include "shared/lexcore/run_path.h"
#include "shared/lexcore/spill.h"

#include <cstring>
#include <string_view>
#include <vector>

namespace lex::pintop {
namespace {

// The set of taken slot keys. A key "code" + k dashes is held as the code without its trailing
// dashes plus the total number of trailing dashes, so "ab-" (k 0) and "ab" (k 1) are one key
// without building either string. The stems point into the reader's buffer.
class SlotKeys {
public:
    explicit SlotKeys(size_t expected) {
        size_t n = 1 << 12;
        while (n < expected * 2)
            n <<= 1;
        m_slots.assign(n, Slot{});
    }

    static uint64_t hash(std::u16string_view stem, uint32_t dashes) {
        uint64_t h = 0x9E3779B97F4A7C15ull ^ (uint64_t(dashes) << 48) ^ stem.size();
        const char16_t *p = stem.data();
        size_t n = stem.size();
        for (; n >= 4; n -= 4, p += 4) {
            uint64_t chunk;
            std::memcpy(&chunk, p, 8);
            h = (h ^ chunk) * 0xFF51AFD7ED558CCDull;
            h ^= h >> 32;
        }
        for (; n; --n, ++p)
            h = (h ^ *p) * 0x100000001B3ull;
        h ^= h >> 29;
        h *= 0xBF58476D1CE4E5B9ull;
        h ^= h >> 32;
        return h;
    }

    // A million codes miss the cache at random: the caller names the slot of a line some lines
    // ahead, so that it is loaded by the time that line is looked up.
    void prefetch(uint64_t h) const {
        __builtin_prefetch(&m_slots[size_t(h) & (m_slots.size() - 1)]);
    }

    // Adds the key with hash `h` unless present; returns whether it was added.
    bool insert(std::u16string_view stem, uint32_t dashes, uint64_t h) {
        if ((m_size + 1) * 2 > m_slots.size()) {
            grow();
        }
        const uint32_t tag = uint32_t(h >> 32);
        const size_t mask = m_slots.size() - 1;
        for (size_t i = size_t(h) & mask;; i = (i + 1) & mask) {
            Slot &s = m_slots[i];
            if (!s.stem) {
                s = Slot{stem.data(), uint32_t(stem.size()), tag, dashes};
                ++m_size;
                return true;
            }
            if (s.tag == tag && s.dashes == dashes && s.length == stem.size() &&
                std::u16string_view(s.stem, s.length) == stem)
                return false;
        }
    }

private:
    struct Slot {
        const char16_t *stem = nullptr; // nullptr: an empty slot
        uint32_t length = 0;
        uint32_t tag = 0; // the high half of the hash
        uint32_t dashes = 0;
    };

    void grow() {
        std::vector<Slot> old(m_slots.size() * 2);
        old.swap(m_slots);
        const size_t mask = m_slots.size() - 1;
        for (const Slot &s : old) {
            if (!s.stem)
                continue;
            size_t i = size_t(hash(std::u16string_view(s.stem, s.length), s.dashes)) & mask;
            while (m_slots[i].stem)
                i = (i + 1) & mask;
            m_slots[i] = s;
        }
    }

    std::vector<Slot> m_slots;
    size_t m_size = 0;
};

// A line's code split into its stem and trailing dashes, with the hash of its first slot key.
struct Code {
    bool fixedTop = false; // the line holds "="
    std::u16string_view stem;
    uint32_t dashes = 0;
    uint64_t hash = 0;
};

Code splitCode(std::u16string_view line) {
    Code c;
    size_t eq = line.find(u'=');
    if (eq == std::u16string_view::npos)
        return c;
    c.fixedTop = true;
    c.stem = line.substr(0, eq);
    while (!c.stem.empty() && c.stem.back() == u'-') {
        c.stem.remove_suffix(1);
        ++c.dashes;
    }
    // A view into the reader's buffer is never null, even when empty: the slot test relies on it.
    if (!c.stem.data())
        c.stem = std::u16string_view(u"", 0);
    c.hash = SlotKeys::hash(c.stem, c.dashes);
    return c;
}

// The removal for a lexicon that does not fit into memory: the fixed-top lines are partitioned
// by the hash of their code's stem, so that every code that can take another's slot key ("ab-"
// and "ab") lands in the same partition; each partition keeps its lines as the map does, and the
// kept lines are merged back by position.
int64_t removeBeyondMemory(const std::filesystem::path &input, const std::filesystem::path &output,
                           int keepLimit, EventPump &pump) {
    const SpillPlan plan = planSpill(pump.context(), tableBytesFor({input}));
    LinePartitions parts(plan);
    streamLines(input, pump, [&](std::u16string_view line) {
        const Code c = splitCode(line);
        if (c.fixedTop)
            parts.add(line, spillHash(c.stem));
        else
            parts.skip();
    });
    parts.finish();
    PartitionResults results(plan);
    int64_t kept = 0;
    std::u16string key;
    workPartitions(parts, pump, [&](size_t k, PartitionTable &keys) {
        parts.read(k, [&](int64_t position, std::u16string_view line) {
            const Code c = splitCode(line);
            key.assign(c.stem);
            key.append(c.dashes, u'-');
            for (int n = 0; n < keepLimit; ++n, key += u'-') {
                bool added;
                keys.insert(key, spillHash(key), position, added);
                if (added) {
                    results.add(uint64_t(position), line);
                    ++kept;
                    break;
                }
            }
            pump.yield();
        });
        results.endPartition();
    });
    pump.setPhase("合并");
    LineWriter writer(output, pump.context());
    if (kept == 0)
        writer.write(u"\r\n");
    std::u16string noDash;
    results.merge(pump, [&](uint64_t, std::u16string_view line) {
        if (keepLimit >= 2 && line.find(u'-') != std::u16string_view::npos) {
            noDash.assign(line);
            std::erase(noDash, u'-');
            writer.writeLine(noDash);
        } else {
            writer.writeLine(line);
        }
    });
    writer.close();
    return kept;
}

} // namespace

DedupResult removeDuplicateCodes(const std::filesystem::path &input,
                                 const std::filesystem::path &output, int keepLimit,
                                 EventPump &pump) {
    DedupResult result;
    if (!fileExists(input))
        return result;
    result.inputFound = true;
    if (auto kept = runOutsideEntrySet(
            pump, {{input}}, [&] { return removeBeyondMemory(input, output, keepLimit, pump); },
            NoPlainPath{})) {
        result.kept = *kept;
        return result;
    }
    LineReader reader(input);
    const auto total = int64_t(reader.size());
    const size_t lines = reader.countLines();
    SlotKeys keys(lines);
    std::vector<std::u16string_view> kept;
    // Line i's code is split and its slot prefetched kAhead lines before it is looked up.
    constexpr size_t kAhead = 8;
    Code ahead[kAhead];
    auto prepare = [&](size_t offset, Code &c) {
        c = splitCode(reader.peekLineView(offset));
        if (c.fixedTop)
            keys.prefetch(c.hash);
    };
    for (size_t j = 0; j < kAhead && j < lines; ++j)
        prepare(j, ahead[j]);
    for (size_t i = 0; i < lines; ++i) {
        std::u16string_view line = reader.readLineView();
        Code &c = ahead[i % kAhead];
        if (c.fixedTop) {
            for (int k = 0; k < keepLimit; ++k) {
                const uint32_t dashes = c.dashes + uint32_t(k);
                if (keys.insert(c.stem, dashes, k == 0 ? c.hash : SlotKeys::hash(c.stem, dashes))) {
                    kept.push_back(line);
                    break;
                }
            }
        }
        if (i + kAhead < lines)
            prepare(kAhead - 1, c);
        pump.setProgress(int64_t(reader.position()), total);
        pump.yield();
    }
    // The kept lines are views into the reader's buffer: write before closing it.
    LineWriter writer(output, pump.context());
    writer.reserve(reader.size() + reader.size() / 2 + 16);
    if (kept.empty())
        writer.write(u"\r\n");
    std::u16string noDash;
    for (std::u16string_view line : kept) {
        if (keepLimit >= 2 && line.find(u'-') != std::u16string_view::npos) {
            noDash.assign(line);
            std::erase(noDash, u'-');
            writer.writeLine(noDash);
        } else {
            writer.writeLine(line);
        }
    }
    reader.close();
    writer.close();
    result.kept = int64_t(kept.size());
    return result;
}

std::string dedupReport(int64_t kept, int startSecondsOfDay) {
    return CompletionText().count("新固顶词库词条：", kept).text(elapsedText(startSecondsOfDay));
}

} // namespace lex::pintop
