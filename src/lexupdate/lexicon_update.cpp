#include "lexupdate/lexicon_update.h"

#include "shared/lexcore/interrupt.h"
#include "shared/lexcore/lexicon_files.h"
#include "shared/lexcore/report.h"

#include <sys/stat.h>
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

} // namespace

UpdateResult runUpdate(EntryHashSet &set, const UpdatePaths &paths, EventPump &pump) {
    UpdateResult result;
    if (!fileExists(paths.base)) {
        result.baseMissing = true;
        return result;
    }
    if (paths.deleteWaste && fileExists(paths.waste))
        refuseDeletingAnotherLexicon(paths);
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

    // Only now that the new lexicon is safely written may the waste list go, and not after an
    // interrupt.
    if (paths.deleteWaste && wasteRead) {
        checkInterrupt();
        std::error_code ec;
        result.wasteDeleted = fs::remove(paths.waste, ec);
        if (ec)
            result.wasteDeleteError = "无法删除废词库：" + paths.waste.string() + "（" +
                                      systemErrorText(ec.value()) + "）";
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
