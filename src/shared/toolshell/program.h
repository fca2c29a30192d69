#pragma once
// The running tool program: its folder and files, paths between Qt and the engines, modal
// forms, opening a file with its viewer and starting the caller program at exit.

#include "shared/lexcore/tool_folder.h"

#include <QString>

#include <filesystem>
#include <functional>
#include <string>

class QDialog;

namespace lex {

// The program's own folder, where its data files and read.me live. Tests may point it
// elsewhere.
QString toolDir();
void setToolDir(const QString &dir);
// A shipped file in the program's folder.
std::filesystem::path toolFile(const QString &name);
// Where the running program reads its data and writes its own files (see ToolFolder); the
// user folder is named after the application name.
ToolFolder toolFolder();

std::filesystem::path toPath(const QString &path);
QString fromPath(const std::filesystem::path &path);
inline QString qs(const std::string &utf8) {
    return QString::fromStdString(utf8);
}

// Runs a form modally. Tests install a runner that drives the form instead of blocking.
void runModal(QDialog &form);
void setModalRunner(std::function<void(QDialog &)> runner);

// Opens a file with the desktop's viewer for its type.
bool openWithViewer(const std::filesystem::path &path);

// Starts the program stored under QLCK_Tools / Exe / Path, if that file exists; returns
// whether one was started.
bool callerRestart();

} // namespace lex
