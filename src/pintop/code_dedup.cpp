#include "code_dedup.h"

#include "lexcore/lexicon_files.h"
#include "lexcore/report.h"

#include <string_view>
#include <vector>

namespace lex::pintop {
namespace {

// The set of taken slot keys. A key "code" + k dashes is held as the code without its trailing
// dashes plus the total number of trailing dashes, so "ab-" (k 0) and "ab" (k 1) are one key
// without building either string. The stems point into the reader's buffer.
class SlotKeys {
public:
    SlotKeys() : m_slots(1 << 16) {}

    // Adds the key unless present; returns whether it was added.
    bool insert(std::u16string_view stem, uint32_t dashes) {
        if ((m_size + 1) * 2 > m_slots.size())
            grow();
        const uint64_t h = hash(stem, dashes);
        size_t mask = m_slots.size() - 1;
        for (size_t i = size_t(h) & mask;; i = (i + 1) & mask) {
            Slot &s = m_slots[i];
            if (!s.stem) {
                s = Slot{stem.data(), uint32_t(stem.size()), dashes, uint32_t(h >> 32)};
                ++m_size;
                return true;
            }
            if (s.hash == uint32_t(h >> 32) && s.dashes == dashes && s.length == stem.size() &&
                std::u16string_view(s.stem, s.length) == stem)
                return false;
        }
    }

private:
    struct Slot {
        const char16_t *stem = nullptr;
        uint32_t length = 0;
        uint32_t dashes = 0;
        uint32_t hash = 0;
    };

    static uint64_t hash(std::u16string_view stem, uint32_t dashes) {
        uint64_t h = 0x9E3779B97F4A7C15ull ^ dashes;
        for (char16_t c : stem)
            h = (h ^ c) * 0x100000001B3ull;
        h ^= h >> 29;
        h *= 0xBF58476D1CE4E5B9ull;
        h ^= h >> 32;
        return h;
    }

    void grow() {
        std::vector<Slot> old(m_slots.size() * 2);
        old.swap(m_slots);
        size_t mask = m_slots.size() - 1;
        for (const Slot &s : old) {
            if (!s.stem)
                continue;
            uint64_t h = hash(std::u16string_view(s.stem, s.length), s.dashes);
            size_t i = size_t(h) & mask;
            while (m_slots[i].stem)
                i = (i + 1) & mask;
            m_slots[i] = s;
        }
    }

    std::vector<Slot> m_slots;
    size_t m_size = 0;
};

// An empty code must still be a key distinct from "no key": give it a non-null stem.
constexpr char16_t kEmptyStem[1] = {u'\0'};

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
    SlotKeys keys;
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
            if (stem.empty())
                stem = std::u16string_view(kEmptyStem, 0);
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
