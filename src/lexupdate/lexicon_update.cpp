#include "lexupdate/lexicon_update.h"

#include "shared/formats/foreign_lexicon.h"

#include "shared/lexcore/byte_lines.h"
#include "shared/lexcore/encoding_detection.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/file_io.h"
#include "shared/lexcore/interrupt.h"
#include "shared/lexcore/lex_error.h"
#include "shared/lexcore/line_reader.h"
#include "shared/lexcore/line_writer.h"
#include "shared/lexcore/report.h"
#include "shared/lexcore/run_path.h"
#include "shared/lexcore/spill.h"

#include <future>
#include <optional>
#include <sys/stat.h>
#include <system_error>

namespace lex::lexupdate {
namespace fs = std::filesystem;
namespace {

// One input, read on a second thread while the one before it is processed. An input that does
// not exist is an empty one.
class Input {
public:
    explicit Input(fs::path path) : m_exists(fileExists(path)) {
        if (m_exists)
            m_read = std::async(std::launch::async, [this, p = std::move(path)] {
                m_reader.open(p, detectEncoding(p));
            });
    }
    Input(const Input &) = delete;
    Input &operator=(const Input &) = delete;
    bool exists() const { return m_exists; }
    // Waits for the text; the reader stays valid as long as the input.
    LineReader &reader() {
        if (m_read.valid())
            m_read.get();
        return m_reader;
    }

private:
    bool m_exists;
    LineReader m_reader;
    std::future<void> m_read;
};

// Hands every line of the input to `step` in order (see lookUpEachLine).
template <class Step> void eachLine(Input &input, EntryHashSet &set, bool adds, Step step) {
    LineReader &reader = input.reader();
    if (adds)
        set.reserve(size_t(set.insertedCount()) + reader.countLines());
    lookUpEachLine(reader, set, step);
}

void addLines(Input &input, EntryHashSet &set) {
    eachLine(input, set, true, [&](std::u16string_view line) {
        if (!set.Contains(line))
            set.Add(line);
    });
}

void removeLines(Input &input, EntryHashSet &set) {
    eachLine(input, set, false, [&](std::u16string_view line) {
        if (set.Contains(line))
            set.Remove();
    });
}

// Device and inode: a hard link or a symlink to the same file is the same file.
bool sameFile(const fs::path &a, const fs::path &b) {
    struct stat sa {
    }, sb{};
    if (a.empty() || b.empty() || ::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// Deleting the waste lexicon after the run must not delete a lexicon the run reads or writes.
void refuseDeletingAnotherLexicon(const UpdatePaths &paths) {
    const std::pair<const fs::path *, const char *> others[] = {{&paths.base, "原始词库"},
                                                                {&paths.user, "用户词库"},
                                                                {&paths.privateLexicon, "私人词库"},
                                                                {&paths.output, "新词库"}};
    for (auto [other, name] : others)
        if (sameFile(paths.waste, *other))
            throw LexError("废词库与" + std::string(name) + "是同一个文件，不能在处理后删除：" +
                               paths.waste.string(),
                           paths.waste);
}

// The update of lexicons whose lines do not fit into memory: the lines, as the key leaves them,
// are partitioned by hash with their positions (base, user, waste, private lexicon in turn);
// each partition adds, then removes, as the set does; the kept lines are merged back by
// position. Fills the counts of `result` as the set's counts would.
void updateBeyondMemory(const UpdatePaths &paths, UpdateResult &result, EventPump &pump) {
    const bool user = fileExists(paths.user), waste = fileExists(paths.waste),
               privateLexicon = fileExists(paths.privateLexicon);
    const SpillPlan plan =
        planSpill(pump.context(), tableBytesFor({paths.base, user ? paths.user : fs::path()}));
    LinePartitions parts(plan);
    auto addAll = [&](const fs::path &path) {
        streamLines(path, pump, [&](std::u16string_view line) {
            EntryHashSet::EntryKey(KeyVariant::Standard, line, pump.context());
            parts.add(line);
        });
    };
    addAll(paths.base);
    const int64_t userStart = parts.lines();
    if (user)
        addAll(paths.user);
    const int64_t wasteStart = parts.lines();
    if (waste)
        addAll(paths.waste);
    const int64_t privateStart = parts.lines();
    if (privateLexicon)
        addAll(paths.privateLexicon);
    parts.finish();

    PartitionResults results(plan);
    int64_t inserted = 0, wasteRemoved = 0, privateRemoved = 0;
    workPartitions(parts, pump, [&](size_t k, PartitionTable &table) {
        parts.read(k, [&](int64_t position, std::u16string_view line) {
            const uint64_t hash = spillHash(line);
            if (position < wasteStart) {
                bool added;
                table.insert(line, hash, position, added);
                result.baseCount += added && position < userStart;
            } else if (const int64_t i = table.find(line, hash);
                       i >= 0 && table.state(size_t(i)) == 0) {
                table.setState(size_t(i), 1);
                ++(position < privateStart ? wasteRemoved : privateRemoved);
            }
            pump.yield();
        });
        // The placeholder ";" is counted but never written.
        for (size_t i = 0; i < table.size(); ++i)
            if (table.state(i) == 0 && table.line(i).size() > 1)
                results.add(uint64_t(table.position(i)), table.line(i));
        inserted += int64_t(table.size());
        results.endPartition();
    });
    pump.setPhase("合并");
    LineWriter writer(paths.output, pump.context());
    results.merge(pump, [&](uint64_t, std::u16string_view line) { writer.writeLine(line); });
    writer.close();
    result.deleted = wasteRemoved;
    result.newCount = inserted - wasteRemoved - privateRemoved;
    result.added = result.newCount - result.baseCount + result.deleted;
}

// The update of plain code page 936 lexicons on the command line: the distinct lines of the base
// and user lexicons held as bytes (byte_lines.h), state 1 once the waste or the private lexicon
// removed them. Same lines, order and counts as through the set. Throws NotPlainGbk for other
// files.
UpdateResult updatePlain(const UpdatePaths &paths, EventPump &pump) {
    UpdateResult result;
    const bool user = fileExists(paths.user), waste = fileExists(paths.waste),
               privateLexicon = fileExists(paths.privateLexicon);
    ByteLineTable table;
    table.reserveFor({paths.base, user ? paths.user : fs::path()});
    auto scan = [&](const fs::path &path, auto step) {
        scanPlainGbk(path, KeyVariant::Standard, pump, [&](const ByteLine *lines, size_t n) {
            lookUpEachByteLine(table, lines, n, step);
        });
    };
    auto add = [&](const ByteLine &line) {
        bool added;
        table.insert(line, added);
    };
    int64_t removed = 0;
    auto remove = [&](const ByteLine &line) {
        if (const auto r = table.find(line); r != 0 && table.state(r) == 0) {
            table.setState(r, 1);
            ++removed;
        }
    };
    scan(paths.base, add);
    result.baseCount = int64_t(table.size());
    if (user)
        scan(paths.user, add);
    if (waste)
        scan(paths.waste, remove);
    result.deleted = removed;
    if (privateLexicon)
        scan(paths.privateLexicon, remove);
    pump.setPhase({});
    LineWriter writer(paths.output, pump.context());
    // The placeholder ";" is counted but never written.
    table.forEach([&](std::string_view line, uint8_t state) {
        if (state == 0 && line.size() > 1)
            writer.writeLine936(line);
    });
    writer.close();
    result.newCount = int64_t(table.size()) - removed;
    result.added = result.newCount - result.baseCount + result.deleted;
    return result;
}

// Only once the new lexicon is safely written may the waste list go, and not after an
// interrupt that came in time to stop the run (one after the output is in place is held).
void deleteWaste(const UpdatePaths &paths, UpdateResult &result) {
    checkInterrupt();
    std::error_code ec;
    result.wasteDeleted = fs::remove(paths.waste, ec);
    if (ec)
        result.wasteDeleteError =
            "无法删除废词库：" + paths.waste.string() + "（" + systemErrorText(ec.value()) + "）";
}

} // namespace

namespace {

// The update of a base lexicon of another program's format: entries compared by word and code
// (by the word alone when a lexicon has no codes), the user lexicon's new entries written in the
// base's format, an entry the user lexicon repeats keeping the larger weight; the base's header
// and other lines stay.
UpdateResult updateForeign(const UpdatePaths &paths, formats::Format format, EventPump &pump) {
    using formats::ForeignEntry;
    using formats::ForeignLexicon;
    UpdateResult result;
    // The user lexicon's entries are gathered into the base's: room for both.
    ForeignLexicon base(paths.base, format, pump, paths.user);
    auto read = [&](const fs::path &path) -> std::optional<ForeignLexicon> {
        if (path.empty() || !fileExists(path))
            return std::nullopt;
        return ForeignLexicon(path, formats::foreignFormat(path).value_or(formats::Format::Quillo),
                              pump);
    };
    const std::optional<ForeignLexicon> user = read(paths.user), waste = read(paths.waste),
                                        privateLexicon = read(paths.privateLexicon);
    bool byWord = !base.hasCodes();
    for (const auto *other : {&user, &waste, &privateLexicon})
        byWord |= *other && !(*other)->hasCodes();
    std::vector<ForeignEntry> &entries = base.entries();
    formats::EntryIndex index(entries, byWord,
                              entries.size() + (user ? user->entries().size() : 0));
    base.foldRepeats(index, formats::WeightRule::Max, pump);
    result.baseCount = int64_t(entries.size());
    if (user)
        base.gather(*user, entries, index, formats::WeightRule::Max, pump);
    result.added = int64_t(entries.size()) - result.baseCount;
    std::vector<bool> gone(entries.size());
    auto remove = [&](const ForeignLexicon &from, int64_t *count) {
        for (const ForeignEntry &e : from.entries())
            if (const uint32_t at = index.find(e); at != formats::EntryIndex::kNone && !gone[at]) {
                gone[at] = true;
                if (count)
                    ++*count;
            }
    };
    if (waste)
        remove(*waste, &result.deleted);
    if (privateLexicon)
        remove(*privateLexicon, nullptr);
    std::vector<uint32_t> kept;
    for (size_t i = 0; i < entries.size(); ++i)
        if (!gone[i])
            kept.push_back(uint32_t(i));
    const ForeignLexicon::Written written = base.write(paths.output, entries, pump, &kept);
    result.newCount = written.lines;
    result.shape = formats::foreignReport(base, written);
    if (paths.deleteWaste && waste)
        deleteWaste(paths, result);
    return result;
}

} // namespace

UpdateResult runUpdate(EntryHashSet &set, const UpdatePaths &paths, EventPump &pump) {
    UpdateResult result;
    if (!fileExists(paths.base)) {
        result.baseMissing = true;
        return result;
    }
    if (paths.deleteWaste && fileExists(paths.waste))
        refuseDeletingAnotherLexicon(paths);
    if (const auto format = formats::foreignFormat(paths.base))
        return updateForeign(paths, *format, pump);
    // All four lexicons are held in memory by the set's run.
    const bool wasteThere = fileExists(paths.waste);
    if (auto done = runOutsideEntrySet(
            pump,
            {{paths.base, paths.user, paths.waste, paths.privateLexicon}, set.insertedCount() == 0},
            [&] {
                updateBeyondMemory(paths, result, pump);
                return result;
            },
            [&] { return updatePlain(paths, pump); })) {
        if (paths.deleteWaste && wasteThere)
            deleteWaste(paths, *done);
        return *done;
    }
    set.setPump(&pump);
    // The set keeps views of the base and user lexicons' lines, so their readers live until the
    // output is written; the set is emptied before they go, whatever happens.
    struct EmptyOnExit {
        EntryHashSet &set;
        ~EmptyOnExit() { set.Clear(); }
    };
    Input base(paths.base);
    std::optional<Input> user(std::in_place, paths.user);
    EmptyOnExit emptyOnExit{set};
    set.borrowText();
    addLines(base, set);
    result.baseCount = set.insertedCount();
    std::optional<Input> waste(std::in_place, paths.waste);
    if (user->exists())
        addLines(*user, set);
    std::optional<Input> privateLexicon(std::in_place, paths.privateLexicon);
    const bool wasteRead = waste->exists();
    if (wasteRead)
        removeLines(*waste, set);
    waste.reset();
    result.deleted = set.deletedCount();
    if (privateLexicon->exists())
        removeLines(*privateLexicon, set);
    privateLexicon.reset();

    LineWriter writer(paths.output, pump.context());
    const int32_t n = set.insertedCount();
    for (int32_t i = 0; i < n; ++i) {
        std::u16string_view e = set.entry(i);
        if (e.size() > 1)
            writer.writeLine(e);
    }
    writer.close();

    result.newCount = int64_t(set.insertedCount()) - set.deletedCount();
    result.added = result.newCount - result.baseCount + result.deleted;

    if (paths.deleteWaste && wasteRead)
        deleteWaste(paths, result);
    return result;
}

std::string reportText(const UpdateResult &result, std::string_view elapsed) {
    return CompletionText()
        .count("原始词库词条：", result.baseCount)
        .count("增加词条：", result.added)
        .count("删除词条：", result.deleted)
        .count("新词库词条：", result.newCount)
        .line("")
        .text(elapsed);
}

} // namespace lex::lexupdate
