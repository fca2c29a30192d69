#include "lexsort/foreign_sort.h"

#include "lexsort/line_sort.h"
#include "shared/formats/foreign_lexicon.h"
#include "shared/formats/format_reader.h"
#include "shared/lexcore/file_io.h"
#include "shared/lexcore/line_stream.h"

#include <algorithm>
#include <numeric>
#include <string>
#include <unordered_map>

namespace lex::lexsort {

using formats::ForeignEntry;
using formats::ForeignLexicon;

namespace {

// Writes `lexicon` with its entries in the order of `order` (indexes into them).
SortResult writeInOrder(const ForeignLexicon &lexicon, const std::vector<uint32_t> &order,
                        const std::filesystem::path &output, EventPump &pump) {
    const ForeignLexicon::Written written = lexicon.write(output, lexicon.entries(), pump, &order);
    SortResult result;
    result.inputFound = true;
    result.count = written.lines;
    result.shape = formats::foreignReport(lexicon, written);
    return result;
}

std::vector<uint32_t> indexes(size_t n) {
    std::vector<uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0u);
    return order;
}

// The places of `keys` (each with its entry's place, `at`) in the order `less` gives them.
template <class Key, class Less>
std::vector<uint32_t> placesInOrder(std::vector<Key> &keys, Less less) {
    std::sort(keys.begin(), keys.end(), less);
    std::vector<uint32_t> order(keys.size());
    for (size_t i = 0; i < keys.size(); ++i)
        order[i] = keys[i].at;
    return order;
}

// 0 for counts, 1 for Rime shares, 2 for none: the groups of the weight order.
int weightGroup(const ForeignEntry &e) {
    return !e.weight() ? 2 : e.percent ? 1 : 0;
}

} // namespace

SortResult sortForeign(const std::filesystem::path &input, formats::Format format,
                       const std::filesystem::path &output, ForeignOrder order, EventPump &pump) {
    ForeignLexicon lexicon(input, format, pump);
    const std::vector<ForeignEntry> &entries = lexicon.entries();
    std::vector<uint32_t> at = indexes(entries.size());
    switch (order) {
    case ForeignOrder::Length: {
        std::vector<uint32_t> length(entries.size());
        // As the sort of the suite's lexicons: 2 to 30 characters, the others after them.
        for (size_t i = 0; i < entries.size(); ++i) {
            const size_t n = formats::characterCount(entries[i].word());
            length[i] = n >= 2 && n <= 30 ? uint32_t(n) : 31;
        }
        std::stable_sort(at.begin(), at.end(),
                         [&](uint32_t a, uint32_t b) { return length[a] < length[b]; });
        break;
    }
    case ForeignOrder::Stroke: {
        // The words' first four units side by side tell most of them apart; the rest are
        // compared whole, file order among equals.
        struct Key {
            uint64_t head;
            uint32_t at;
        };
        std::vector<Key> keys(entries.size());
        for (size_t i = 0; i < entries.size(); ++i) {
            const std::u16string_view w = entries[i].word();
            uint64_t head = 0;
            for (size_t k = 0; k < 4; ++k)
                head = head << 16 | (k < w.size() ? w[k] : 0);
            keys[i] = {head, uint32_t(i)};
        }
        at = placesInOrder(keys, [&](const Key &a, const Key &b) {
            if (a.head != b.head)
                return a.head < b.head;
            const int c = entries[a.at].word().compare(entries[b.at].word());
            return c != 0 ? c < 0 : a.at < b.at;
        });
        break;
    }
    case ForeignOrder::Pinyin: {
        std::vector<std::u16string_view> words(entries.size());
        for (size_t i = 0; i < entries.size(); ++i)
            words[i] = entries[i].word();
        at = pinyinOrder(words, pump);
        break;
    }
    case ForeignOrder::Weight: {
        // Falling weights within each group, file order among equals: keys side by side, so
        // that the sort does not look all over the entries.
        struct Key {
            uint32_t group, at;
            double fall; // the weight, negated; 0 for none
        };
        std::vector<Key> keys(entries.size());
        for (size_t i = 0; i < entries.size(); ++i) {
            const ForeignEntry &e = entries[i];
            const int group = weightGroup(e);
            keys[i] = {uint32_t(group), uint32_t(i), group < 2 ? -*e.weight() : 0.0};
        }
        at = placesInOrder(keys, [](const Key &a, const Key &b) {
            if (a.group != b.group)
                return a.group < b.group;
            if (a.fall != b.fall)
                return a.fall < b.fall;
            return a.at < b.at;
        });
        break;
    }
    }
    return writeInOrder(lexicon, at, output, pump);
}

SortResult sortForeignByReference(const std::filesystem::path &input, formats::Format format,
                                  const std::filesystem::path &reference,
                                  const std::filesystem::path &output, EventPump &pump) {
    ForeignLexicon lexicon(input, format, pump);
    // The reference's words, each at its first place.
    std::unordered_map<std::u16string, uint32_t> place;
    auto note = [&](std::u16string_view word) {
        place.emplace(std::u16string(word), uint32_t(place.size()));
    };
    if (fileExists(reference)) {
        if (const auto refFormat = formats::foreignFormat(reference)) {
            const ForeignLexicon ref(reference, *refFormat, pump);
            for (const ForeignEntry &e : ref.entries())
                note(e.word());
        } else {
            formats::FormatReader reader(formats::Format::Quillo);
            LineStream in(reference);
            std::u16string_view line;
            while (in.next(line)) {
                const formats::ParsedLine &p = reader.parse(line);
                if (p.kind == formats::LineKind::Entry)
                    note(p.entry.word);
            }
        }
    }
    const std::vector<ForeignEntry> &entries = lexicon.entries();
    constexpr uint32_t kAbsent = UINT32_MAX;
    std::vector<uint32_t> rank(entries.size(), kAbsent);
    for (size_t i = 0; i < entries.size(); ++i)
        if (auto it = place.find(std::u16string(entries[i].word())); it != place.end())
            rank[i] = it->second;
    std::vector<uint32_t> at = indexes(entries.size());
    std::stable_sort(at.begin(), at.end(),
                     [&](uint32_t a, uint32_t b) { return rank[a] < rank[b]; });
    return writeInOrder(lexicon, at, output, pump);
}

} // namespace lex::lexsort
