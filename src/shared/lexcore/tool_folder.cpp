#include "shared/lexcore/tool_folder.h"

#include "shared/lexcore/lex_error.h"

#include <cstdlib>
#include <unistd.h>

namespace lex {
namespace fs = std::filesystem;

ToolFolder::ToolFolder(fs::path programDir, std::string tool)
    : m_programDir(std::move(programDir)), m_tool(std::move(tool)) {}

ToolFolder ToolFolder::single(fs::path dir) {
    ToolFolder f(std::move(dir), std::string());
    f.m_single = true;
    return f;
}

bool ToolFolder::writesBesideProgram() const {
    // access() asks the kernel, so read-only mounts and foreign owners count too.
    return m_single || ::access(m_programDir.c_str(), W_OK | X_OK) == 0;
}

fs::path ToolFolder::userDir() const {
    fs::path base;
    if (const char *xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/')
        base = xdg;
    else if (const char *home = std::getenv("HOME"); home && *home)
        base = fs::path(home) / ".local/share";
    else
        base = fs::temp_directory_path();
    return base / "quillo-lexicon-tools" / m_tool;
}

fs::path ToolFolder::writableDir() const {
    if (writesBesideProgram())
        return m_programDir;
    fs::path dir = userDir();
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec)
        throw LexError(
            "无法创建文件夹：" + dir.string() + "（" + systemErrorText(ec.value()) + "）", dir);
    return dir;
}

fs::path ToolFolder::writable(const std::string &name) const {
    fs::path dir = writableDir();
    fs::path target = dir / name;
    if (dir == m_programDir)
        return target;
    std::error_code ec;
    const fs::path source = shipped(name);
    if (!fs::exists(target, ec) && fs::is_regular_file(source, ec)) {
        fs::copy_file(source, target, ec);
        if (ec)
            throw LexError("无法复制文件：" + source.string() + "（" + systemErrorText(ec.value()) +
                               "）",
                           target);
    }
    return target;
}

} // namespace lex
