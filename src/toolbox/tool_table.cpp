#include "tool_table.h"

#include <QFileInfo>

namespace toolbox {

// The folders and programs as the suite installs them. Two folders carry the input method's
// name and their paths end in one blank, which this platform's file names do not ignore;
// resolveProgram() copes with that.
const std::array<ToolRow, 8> kToolTable{{
    {1005, u"bigseg", u"bigseg/bigseg"},
    {1011, u"调频", u"Quillo词库调频/freqtune "},
    {1008, u"词库筛选", u"lexsift/lexsift"},
    {1006, u"词库固顶", u"pintop/pintop"},
    {1010, u"词库注音", u"phonetag/phonetag"},
    {1012, u"词库更新", u"Quillo词库更新/lexupdate "},
    {1009, u"词库整理", u"lexmerge/lexmerge"},
    {1007, u"词库排序", u"lexsort/lexsort"},
}};

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
