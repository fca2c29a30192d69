#include "toolbox/tool_table.h"

#include "lex_tool_table.h"

#include <QFileInfo>

namespace toolbox {

// The rows come from the build's tool table (cmake/LexToolTable.cmake). Two folders carry the
// input method's name and their paths end in one blank, which this platform's file names do
// not ignore; resolveProgram() copes with that.
const std::array<ToolRow, kToolCount> kToolTable = [] {
    static_assert(lex::tools::kTools.size() == kToolCount, "one launcher button per tool");
    std::array<ToolRow, kToolCount> rows{};
    for (size_t i = 0; i < rows.size(); ++i) {
        const auto &tool = lex::tools::kTools[i];
        rows[i] = ToolRow{tool.command, tool.caption, tool.launchPath};
    }
    return rows;
}();

QString launcherFolder(const QString &executableDir) {
    return executableDir.endsWith(u'/') ? executableDir : executableDir + u'/';
}

namespace {

// A folder is "executable" too; only a regular file can be started.
bool isStartable(const QString &path) {
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

} // namespace

QString resolveProgram(const QString &folder, const QString &relativePath) {
    // QString grows as needed, so a long install path cannot overrun anything; a path too long
    // for the file system simply is not found.
    const QString asStated = folder + relativePath;
    if (isStartable(asStated))
        return asStated;
    QString trimmed = asStated;
    while (trimmed.endsWith(u' '))
        trimmed.chop(1);
    if (trimmed != asStated && isStartable(trimmed))
        return trimmed;
    return QString();
}

} // namespace toolbox
