#include "code_dedup.h"

#include "lexcore/lexicon_files.h"
#include "lexcore/report.h"

#include <cstring>
#include <string_view>
#include <vector>

namespace lex::pintop {
namespace {

// The set of taken slot keys. A key "code" + k dashes is held as the code without its trailing
// dashes plus the total number of trailing dashes, so "ab-" (k 0) and "ab" (k 1) are one key
// without building either string. The stems point into the reader's buffer. The slot table
// holds only a key index and 32 bits of hash, so that a million codes probe a small table.
class SlotKeys {
public:
    explicit SlotKeys(size_t expected) {
        size_t n = 1 << 12;
        while (n < expected * 2)
            n <<= 1;
        m_slots.assign(n, Slot{});
        m_keys.reserve(expected);
    }

    // Adds the key unless present; returns whether it was added.
    bool insert(std::u16string_view stem, uint32_t dashes) {
        if ((m_keys.size() + 1) * 2 > m_slots.size())
            grow();
        const uint64_t h = hash(stem, dashes);
        const uint32_t tag = uint32_t(h >> 32);
        const size_t mask = m_slots.size() - 1;
        for (size_t i = size_t(h) & mask;; i = (i + 1) & mask) {
            Slot &s = m_slots[i];
            if (s.index == 0) {
                m_keys.push_back(Key{stem.data(), uint32_t(stem.size()), dashes});
                s = Slot{uint32_t(m_keys.size()), tag};
                return true;
            }
            if (s.tag != tag)
                continue;
            const Key &k = m_keys[s.index - 1];
            if (k.dashes == dashes && k.length == stem.size() &&
                std::u16string_view(k.stem, k.length) == stem)
                return false;
        }
    }

private:
    struct Slot {
        uint32_t index = 0; // 1-based into m_keys; 0 is an empty slot
        uint32_t tag = 0;
    };
    struct Key {
        const char16_t *stem;
        uint32_t length;
        uint32_t dashes;
    };

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

    void grow() {
        std::vector<Slot> old(m_slots.size() * 2);
        old.swap(m_slots);
        const size_t mask = m_slots.size() - 1;
        for (const Slot &s : old) {
            if (s.index == 0)
                continue;
            const Key &k = m_keys[s.index - 1];
            size_t i = size_t(hash(std::u16string_view(k.stem, k.length), k.dashes)) & mask;
            while (m_slots[i].index != 0)
                i = (i + 1) & mask;
            m_slots[i] = s;
        }
    }

    std::vector<Slot> m_slots;
    std::vector<Key> m_keys;
};

} // namespace

DedupResult removeDuplicateCodes(const std::filesystem::path &input,
                                 const std::filesystem::path &output, int keepLimit,
                                 EventPump &pump) {
    DedupResult result;
    if (!fileExists(input))
        return result;
    result.inputFound = true;
    LineReader reader(input);
    const auto total = int64_t(reader.size());
    SlotKeys keys(reader.countLines());
    std::vector<std::u16string_view> kept;
    while (!reader.atEnd()) {
        std::u16string_view line = reader.readLineView();
        size_t eq = line.find(u'=');
        if (eq != std::u16string_view::npos) {
            std::u16string_view stem = line.substr(0, eq);
            uint32_t dashes = 0;
            while (!stem.empty() && stem.back() == u'-') {
                stem.remove_suffix(1);
                ++dashes;
            }
            for (int k = 0; k < keepLimit; ++k) {
                if (keys.insert(stem, dashes + uint32_t(k))) {
                    kept.push_back(line);
                    break;
                }
            }
        }
        pump.setProgress(int64_t(reader.position()), total);
        pump.yield();
    }
    // The kept lines are views into the reader's buffer: write before closing it.
    LineWriter writer(output);
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
