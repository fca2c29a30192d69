// The entry hash set answers lookups through indexes instead of walking slots; these tests hold
// it to the plain slot-by-slot probe: keys, rewrites, probe positions, tombstones, wrap-around,
// yield points and cut-short lookups.

#include "counting_pump.h"
#include "shared/lexcore/cp936.h"
#include "shared/lexcore/entry_hash_set.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/lex_error.h"
#include "shared/lexcore/lexicon_rules.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

using lex::EntryHashSet;
using lex::KeyVariant;

namespace {

// The literal structure: 2,000,000 slots walked one by one.
class LiteralSet {
public:
    LiteralSet(KeyVariant v, bool cancelledResult)
        : m_variant(v), m_cancelled(cancelledResult), m_slots(EntryHashSet::kSlots, -1) {}

    void setPump(lex::EventPump *p) { m_pump = p; }

    bool lookup(std::u16string &w, bool byWord) {
        m_cut = false;
        std::u16string_view view = w;
        int32_t key = EntryHashSet::EntryKey(m_variant, view);
        w = view;
        m_probe = key;
        const std::u16string word = lex::entryWord(w);
        for (;;) {
            int32_t v = m_slots[size_t(m_probe)];
            if (v == -1)
                return false;
            if (v >= 0 &&
                (byWord ? lex::entryWord(m_entries[size_t(v)]) == word : m_entries[size_t(v)] == w))
                return true;
            m_probe = (m_probe + 1) % EntryHashSet::kSlots;
            bool yieldHere = byWord || m_probe % EntryHashSet::kProbeYieldEvery == 0;
            if (yieldHere && m_pump && m_pump->yield()) {
                m_cut = true;
                return m_cancelled;
            }
        }
    }
    void add(const std::u16string &w) {
        m_slots[size_t(m_probe)] = int32_t(m_entries.size());
        m_entries.push_back(w);
    }
    bool remove() {
        if (m_cut)
            return false;
        int32_t v = m_slots[size_t(m_probe)];
        if (v < 0)
            return false;
        m_entries[size_t(v)] = m_variant == KeyVariant::SetOperations ? u"" : u";";
        m_slots[size_t(m_probe)] = -2;
        ++m_deleted;
        return true;
    }

    KeyVariant m_variant;
    bool m_cancelled;
    std::vector<int32_t> m_slots;
    std::vector<std::u16string> m_entries;
    int32_t m_probe = EntryHashSet::kSlots;
    int32_t m_deleted = 0;
    bool m_cut = false;
    lex::EventPump *m_pump = nullptr;
};

// CJK characters grouped by the residues the key takes of their codes.
struct CharPools {
    std::map<int, std::vector<char16_t>> byMod1000, byMod10;
    CharPools() {
        for (char16_t c = 0x4E00; c < 0x9FA5; ++c) {
            if (!lex::isDoubleByte(c))
                continue;
            uint32_t u = lex::doubleByteCode(c);
            auto &a = byMod1000[int(u % 1000)];
            if (a.size() < 4)
                a.push_back(c);
            auto &b = byMod10[int(u % 10)];
            if (b.size() < 40)
                b.push_back(c);
        }
    }
};

const CharPools &pools() {
    static CharPools p;
    return p;
}

// Lines that crowd a few keys: keys just below slot 20,000 (runs cross a yield point), keys at
// 1,999,999 (runs wrap to slot 0), annotated variants sharing a key, and rejected lines.
std::vector<std::u16string> crowdedLines() {
    const auto &p = pools();
    std::vector<std::u16string> lines;
    const char16_t *letters[] = {u"", u"a", u"zh", u"x", u" "};
    for (int tail = 990; tail <= 999; ++tail) {
        for (char16_t a : p.byMod1000.at(19))
            for (char16_t b : p.byMod1000.at(tail))
                for (auto l : letters)
                    lines.push_back(std::u16string(1, a) + l + b);
    }
    const auto &nines = p.byMod10.at(9);
    for (size_t i = 0; i < 30; ++i) {
        std::u16string w;
        for (size_t j = 0; j < 6; ++j)
            w += nines[(i + j) % nines.size()];
        lines.push_back(w);
        lines.push_back(w + u"q");
        lines.push_back(u"a" + w);
    }
    lines.insert(lines.end(), {u"", u"abc", u"ABC", u"中", u"a中", u";"});
    return lines;
}

void expectSame(const EntryHashSet &fast, const LiteralSet &model) {
    ASSERT_EQ(fast.insertedCount(), int32_t(model.m_entries.size()));
    ASSERT_EQ(fast.deletedCount(), model.m_deleted);
    for (int32_t i = 0; i < fast.insertedCount(); ++i)
        ASSERT_EQ(fast.entry(i), model.m_entries[size_t(i)]) << "entry " << i;
    for (int32_t s = 0; s < EntryHashSet::kSlots; ++s)
        ASSERT_EQ(fast.slotValue(s), model.m_slots[size_t(s)]) << "slot " << s;
}

// A lookup with a word hint (every third word lookup), after a prefetch() hint, or bare.
bool lookUp(EntryHashSet &set, std::u16string_view &view, bool byWord, int op) {
    if (byWord && op % 3 == 1) {
        EntryHashSet::WordHint hint;
        set.hintWords({&view, 1}, {&hint, 1});
        return set.Hash_ExistsX(view, hint);
    }
    if (op % 3 != 0)
        set.prefetch(view);
    return byWord ? set.Hash_ExistsX(view) : set.Contains(view);
}

struct Scenario {
    KeyVariant variant;
    bool cancelledResult;
    bool byWord;
    int wordsFrom = 0; // word lookups from this operation on (the index is built then)
};

class EquivalenceTest : public ::testing::TestWithParam<Scenario> {};

// Random adds, removes and cut-short lookups behave exactly as the literal probe.
TEST_P(EquivalenceTest, MatchesSlotBySlotProbe) {
    const Scenario sc = GetParam();
    const auto lines = crowdedLines();
    EntryHashSet fast(sc.variant, sc.cancelledResult, sc.byWord);
    fast.materialize(); // every lookup walks the slots, yield for yield
    LiteralSet model(sc.variant, sc.cancelledResult);
    std::mt19937 rng(20261207);

    for (int op = 0; op < 6000; ++op) {
        std::u16string a = lines[rng() % lines.size()];
        std::u16string b = a;
        // Now and then a stop request cuts a lookup short at a chosen yield.
        std::unique_ptr<lex::test::CountingPump> pf, pm;
        if (rng() % 8 == 0) {
            int64_t at = 1 + rng() % 3;
            pf = std::make_unique<lex::test::CountingPump>(at);
            pm = std::make_unique<lex::test::CountingPump>(at);
        } else {
            pf = std::make_unique<lex::test::CountingPump>();
            pm = std::make_unique<lex::test::CountingPump>();
        }
        fast.setPump(pf.get());
        model.setPump(pm.get());

        // Hints are an optimisation only: give one for most lookups.
        std::u16string_view view = a;
        const bool byWord = sc.byWord && op >= sc.wordsFrom;
        bool rf = lookUp(fast, view, byWord, op);
        a = view;
        bool rm = model.lookup(b, byWord);
        ASSERT_EQ(rf, rm) << "op " << op;
        ASSERT_EQ(a, b) << "rewritten line, op " << op;
        ASSERT_EQ(fast.probePosition(), model.m_probe) << "op " << op;
        ASSERT_EQ(fast.lastLookupCut(), model.m_cut) << "op " << op;
        ASSERT_EQ(pf->calls(), pm->calls()) << "yield points, op " << op;

        if (!rf && rng() % 4 != 0) {
            fast.Add(a);
            model.add(b);
        } else if (rf && rng() % 3 == 0) {
            ASSERT_EQ(fast.Remove(), model.remove());
        }
        if (op % 1500 == 1499)
            expectSame(fast, model);
    }
    expectSame(fast, model);
}

INSTANTIATE_TEST_SUITE_P(Variants, EquivalenceTest,
                         ::testing::Values(Scenario{KeyVariant::Standard, false, false},
                                           Scenario{KeyVariant::SetOperations, true, false},
                                           Scenario{KeyVariant::Annotation, false, false},
                                           Scenario{KeyVariant::Annotation, false, true},
                                           Scenario{KeyVariant::Annotation, false, true, 3000}));

// A pump that says stop once told to.
class StopSwitch : public lex::EventPump {
public:
    StopSwitch() : EventPump(1) {}
    bool on = false;

protected:
    bool poll() override { return on; }
};

class DeferredTest : public ::testing::TestWithParam<Scenario> {};

// Until a stop request the set works without its slot table; the table it then builds from the
// Adds so far, and every result after it, are those of the literal probe in which the stop was
// requested just before the lookup that saw it.
TEST_P(DeferredTest, MatchesSlotBySlotProbeWithAStopAnywhere) {
    const Scenario sc = GetParam();
    const auto lines = crowdedLines();
    std::mt19937 rng(7);
    for (int trial = 0; trial < 12; ++trial) {
        EntryHashSet fast(sc.variant, sc.cancelledResult);
        LiteralSet model(sc.variant, sc.cancelledResult);
        StopSwitch pf, pm;
        fast.setPump(&pf);
        model.setPump(&pm);
        const int ops = 2500;
        const int stopAt = trial == 0 ? ops : int(rng() % ops); // the first trial never stops
        for (int op = 0; op < ops; ++op) {
            if (op == stopAt)
                pf.on = pm.on = true;
            std::u16string a = lines[rng() % lines.size()];
            std::u16string b = a;
            std::u16string_view view = a;
            const bool byWord = sc.byWord && op >= sc.wordsFrom;
            bool rf = lookUp(fast, view, byWord, op);
            a = view;
            bool rm = model.lookup(b, byWord);
            ASSERT_EQ(rf, rm) << "trial " << trial << " op " << op;
            ASSERT_EQ(a, b);
            ASSERT_EQ(fast.materialized(), op >= stopAt) << "op " << op;
            if (fast.materialized()) {
                ASSERT_EQ(fast.probePosition(), model.m_probe) << "op " << op;
                ASSERT_EQ(fast.lastLookupCut(), model.m_cut) << "op " << op;
            }
            if (!rf && rng() % 4 != 0) {
                fast.Add(a);
                model.add(b);
            } else if (rf && rng() % 3 == 0) {
                ASSERT_EQ(fast.Remove(), model.remove());
            }
        }
        ASSERT_EQ(fast.probePosition(), model.m_probe);
        expectSame(fast, model);
    }
}

INSTANTIATE_TEST_SUITE_P(Variants, DeferredTest,
                         ::testing::Values(Scenario{KeyVariant::Standard, false, false},
                                           Scenario{KeyVariant::SetOperations, true, false},
                                           Scenario{KeyVariant::Annotation, false, false},
                                           Scenario{KeyVariant::Annotation, false, true},
                                           Scenario{KeyVariant::Annotation, false, true, 1200}));

int32_t keyOf(KeyVariant v, std::u16string w) {
    std::u16string_view view = w;
    return EntryHashSet::EntryKey(v, view);
}

TEST(EntryKey, WorkedKeys) {
    EXPECT_EQ(keyOf(KeyVariant::Standard, u"中国"), 992610);
    EXPECT_EQ(keyOf(KeyVariant::Standard, u"中a国"), 992610);
    EXPECT_EQ(keyOf(KeyVariant::Standard, u"中华人民"), 1220361);
    EXPECT_EQ(keyOf(KeyVariant::Standard, u"a中国"), 1000000);
    EXPECT_EQ(keyOf(KeyVariant::SetOperations, u"中"), 549920);
    EXPECT_EQ(keyOf(KeyVariant::SetOperations, u"a中"), 549920);
    EXPECT_EQ(keyOf(KeyVariant::SetOperations, u"a中国"), 992610);
    // Only the first six double-byte characters count.
    EXPECT_EQ(keyOf(KeyVariant::Standard, u"中华人民共和国"),
              keyOf(KeyVariant::Standard, u"中华人民共和"));
}

// Rejection rewrites the caller's own string, differently per variant.
TEST(EntryKey, RejectionRewritesCallersString) {
    for (std::u16string w : {u"", u"abc", u"中", u"a中国", u"1中国"}) {
        EntryHashSet set(KeyVariant::Standard);
        std::u16string line = w;
        EXPECT_EQ(set.EntryKey(line), 1000000);
        EXPECT_EQ(line, u";") << lex::toUtf8(w);
    }
    std::u16string abc = u"abc";
    std::u16string_view view = abc;
    EntryHashSet::EntryKey(KeyVariant::SetOperations, view);
    EXPECT_TRUE(view.empty());
    view = abc;
    EntryHashSet::EntryKey(KeyVariant::Annotation, view);
    EXPECT_EQ(view, u";");
}

TEST(EntryHashSet, DistinctLinesSameKeyAndRejectedLinesFoldIntoOne) {
    EntryHashSet set;
    std::u16string w = u"中国";
    EXPECT_FALSE(set.Contains(w));
    set.Add(w);
    EXPECT_EQ(set.probePosition(), 992610);
    w = u"中a国";
    EXPECT_FALSE(set.Contains(w));
    EXPECT_EQ(set.probePosition(), 992611);
    set.Add(w);
    w = u"中国";
    EXPECT_TRUE(set.Contains(w));
    for (std::u16string r : {u"abc", u"中", u""}) {
        bool found = set.Contains(r);
        EXPECT_EQ(r, u";");
        if (!found)
            set.Add(r);
    }
    EXPECT_EQ(set.insertedCount(), 3);
    EXPECT_EQ(set.entry(2), u";");
}

// A removed line leaves a tombstone that later lookups pass and later adds never reuse.
TEST(EntryHashSet, TombstonesArePassedAndNeverReused) {
    EntryHashSet set;
    std::u16string w = u"中国";
    set.Contains(w);
    set.Add(w);
    std::u16string v = u"中a国";
    set.Contains(v);
    set.Add(v);
    w = u"中国";
    ASSERT_TRUE(set.Contains(w));
    ASSERT_TRUE(set.Remove());
    EXPECT_EQ(set.slotValue(992610), EntryHashSet::kDeleted);
    EXPECT_EQ(set.entry(0), u";");
    v = u"中a国";
    EXPECT_TRUE(set.Contains(v));
    EXPECT_EQ(set.probePosition(), 992611);
    w = u"中国";
    EXPECT_FALSE(set.Contains(w));
    EXPECT_EQ(set.probePosition(), 992612);
    set.Add(w);
    EXPECT_EQ(set.slotValue(992612), 2);
    EXPECT_EQ(set.deletedCount(), 1);
}

// A run from slot 1,999,999 continues at slot 0, which is a yield point.
TEST(EntryHashSet, ProbeWrapsAroundAndYieldsAtSlotZero) {
    const auto &nines = pools().byMod10.at(9);
    std::u16string six(nines.begin(), nines.begin() + 6);
    EntryHashSet set;
    set.materialize();
    lex::test::CountingPump pump;
    set.setPump(&pump);
    std::u16string a = six;
    ASSERT_EQ(set.EntryKey(a), 1999999);
    set.Contains(a);
    set.Add(a);
    std::u16string b = six + u"x";
    EXPECT_FALSE(set.Contains(b));
    EXPECT_EQ(set.probePosition(), 0);
    EXPECT_EQ(pump.calls(), 1);
    set.Add(b);
    EXPECT_EQ(set.slotValue(0), 1);
}

// A line hinted by prefetch() and then looked up with a word hint leaves no hint behind: its
// buffer may hold another line of the same length at the next lookup.
TEST(EntryHashSet, WordHintLookupForgetsPrefetchHints) {
    EntryHashSet set(KeyVariant::Annotation, false, true);
    std::u16string_view stored = u"中zhong国guo", other = u"银行";
    ASSERT_FALSE(set.Contains(stored));
    set.Add(stored);
    EXPECT_FALSE(set.Hash_ExistsX(other)); // the word index now exists: hints carry word hashes
    std::u16string buffer = u"长chang城cheng";
    std::u16string_view line = buffer;
    set.prefetch(line);
    EntryHashSet::WordHint hint;
    set.hintWords({&line, 1}, {&hint, 1});
    EXPECT_FALSE(set.Hash_ExistsX(line, hint));
    buffer.replace(0, buffer.size(), u"中zhong国guoxx"); // same length, same place
    line = buffer;
    EXPECT_TRUE(set.Hash_ExistsX(line));
}

// The set-operations owner reports a cut-short lookup as present; Remove then removes nothing.
TEST(EntryHashSet, CutShortLookupRemovesNothing) {
    const auto &nines = pools().byMod10.at(9);
    std::u16string six(nines.begin(), nines.begin() + 6);
    EntryHashSet set(KeyVariant::SetOperations, true);
    std::u16string a = six;
    set.Contains(a);
    set.Add(a);
    lex::test::CountingPump stopper(1);
    set.setPump(&stopper);
    std::u16string b = six + u"x";
    EXPECT_TRUE(set.Contains(b));
    EXPECT_TRUE(set.lastLookupCut());
    EXPECT_EQ(set.probePosition(), 0);
    EXPECT_FALSE(set.Remove());
    EXPECT_EQ(set.deletedCount(), 0);
}

TEST(EntryHashSet, ClearYieldsTenTimesAndEmptiesEverything) {
    EntryHashSet set;
    std::u16string w = u"中国";
    set.Contains(w);
    set.Add(w);
    lex::test::CountingPump pump;
    set.Clear(pump);
    EXPECT_EQ(pump.calls(), 10);
    EXPECT_EQ(set.insertedCount(), 0);
    EXPECT_EQ(set.probePosition(), EntryHashSet::kSlots);
    EXPECT_EQ(set.slotValue(992610), EntryHashSet::kEmpty);
    w = u"中国";
    EXPECT_FALSE(set.Contains(w));
}

// A full table would make the plain probe run forever; here it ends with an error.
TEST(EntryHashSet, FullTableEndsWithAnErrorInsteadOfHanging) {
    EntryHashSet set(KeyVariant::SetOperations);
    std::u16string line;
    for (int32_t i = 0; i < EntryHashSet::kSlots; ++i) {
        line = u"中国" + lex::fromUtf8(std::to_string(i));
        ASSERT_FALSE(set.Contains(line));
        set.Add(line);
    }
    line = u"中国" + lex::fromUtf8(std::to_string(0));
    EXPECT_TRUE(set.Contains(line));
    line = u"中国x";
    EXPECT_THROW(set.Contains(line), lex::LexError);
}

} // namespace
