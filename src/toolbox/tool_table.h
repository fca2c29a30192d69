#pragma once
// The launcher's table of tool programs and how a row's path becomes a program to start.
// Qt Core only: the launcher links nothing of the suite.

#include <QString>

#include <array>

namespace toolbox {

struct ToolRow {
    int command; // the button's command id; the button's objectName is "Command<id>"
    const char16_t *caption;
    const char16_t *path; // relative to the launcher folder, used as it stands
};

// In button order: left column top to bottom, then right column.
// The tool buttons: two columns of four, and the converter and the checker in a row below them.
inline constexpr std::size_t kToolCount = 10;
extern const std::array<ToolRow, kToolCount> kToolTable;
constexpr int kExitCommand = 1014;

// The launcher folder: the folder of the launcher's executable, ending in "/".
QString launcherFolder(const QString &executableDir);

// The program a row starts: folder + relativePath as it stands, or, for the paths that end in
// a blank, the same path without its trailing blanks. Returns "" when neither is an
// executable regular file.
QString resolveProgram(const QString &folder, const QString &relativePath);

} // namespace toolbox
