#include "lexupdate/lexicon_update.h"

#include "shared/lexcore/lexicon_files.h"
#include "shared/lexcore/report.h"

#include <future>
#include <optional>
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

// Hands every line of the input to `step` in order, letting the set start loading the memory
// of a line a few lines before its lookup (the lookups are bound by cache misses).
template <class Step> void eachLine(Input &input, EntryHashSet &set, bool adds, Step step) {
    constexpr size_t kAhead = 8;
    LineReader &reader = input.reader();
    if (adds)
        set.reserve(size_t(set.insertedCount()) + reader.countLines());
    while (!reader.atEnd()) {
        set.prefetch(reader.peekLineView(kAhead));
        step(reader.readLineView());
    }
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

bool sameFile(const fs::path &a, const fs::path &b) {
    std::error_code ec;
    return fs::equivalent(a, b, ec) && !ec;
}

} // namespace

UpdateResult runUpdate(EntryHashSet &set, const UpdatePaths &paths, EventPump &pump) {
    UpdateResult result;
    if (!fileExists(paths.base)) {
        result.baseMissing = true;
        return result;
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

    // When the waste lexicon is the output file itself, the new lexicon replaces it and must
    // not be deleted afterwards.
    const bool wasteIsOutput = wasteRead && sameFile(paths.waste, paths.output);

    LineWriter writer(paths.output);
    const int32_t n = set.insertedCount();
    for (int32_t i = 0; i < n; ++i) {
        std::u16string_view e = set.entry(i);
        if (e.size() > 1)
            writer.writeLine(e);
    }
    writer.close();

    result.newCount = int64_t(set.insertedCount()) - set.deletedCount();
    result.added = result.newCount - result.baseCount + result.deleted;

    // Only now that the new lexicon is safely written may the waste list go.
    if (paths.deleteWaste && wasteRead && !wasteIsOutput) {
        std::error_code ec;
        result.wasteDeleted = fs::remove(paths.waste, ec);
        if (ec)
            result.wasteDeleteError =
                "无法删除废词库：" + paths.waste.string() + "（" + ec.message() + "）";
    }
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
