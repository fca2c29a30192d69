#include "lexupdate/lexicon_update.h"

#include "shared/lexcore/lexicon_files.h"
#include "shared/lexcore/report.h"

#include <system_error>

namespace lex::lexupdate {
namespace fs = std::filesystem;
namespace {

// Hands every line of the file to `step` in order, letting the set start loading the memory
// of a line a few lines before its lookup (the lookups are bound by cache misses).
template <class Step> void eachLine(const fs::path &path, EntryHashSet &set, bool adds, Step step) {
    constexpr size_t kAhead = 8;
    LineReader reader(path);
    if (adds)
        set.reserve(size_t(set.insertedCount()) + reader.countLines());
    while (!reader.atEnd()) {
        set.prefetch(reader.peekLineView(kAhead));
        step(reader.readLineView());
    }
}

void addLines(const fs::path &path, EntryHashSet &set) {
    eachLine(path, set, true, [&](std::u16string_view line) {
        if (!set.Contains(line))
            set.Add(line);
    });
}

void removeLines(const fs::path &path, EntryHashSet &set) {
    eachLine(path, set, false, [&](std::u16string_view line) {
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
    addLines(paths.base, set);
    result.baseCount = set.insertedCount();
    if (fileExists(paths.user))
        addLines(paths.user, set);
    const bool wasteRead = fileExists(paths.waste);
    if (wasteRead)
        removeLines(paths.waste, set);
    result.deleted = set.deletedCount();
    if (fileExists(paths.privateLexicon))
        removeLines(paths.privateLexicon, set);

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
