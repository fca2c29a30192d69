#pragma once
// Where a tool finds the data files it ships with and where it keeps the files it writes
// ("log.txt", "fc.txt", "bc.ini", an edited "ciku.lxd", "freqtune.mdb", article folders).
//
// The shipped files live in the program's own folder. The tool writes there too when it can
// (the layout `make run` installs); a system-wide install is read-only, so the tool's files
// then go to $XDG_DATA_HOME/quillo-lexicon-tools/<tool>/ (default ~/.local/share/...), and a
// shipped file the tool edits is copied there on first use. One decision for the windows and
// for lexcli; lexcli's --data-dir names a folder that serves as both.

#include <filesystem>
#include <string>

namespace lex {

class ToolFolder {
public:
    ToolFolder() = default;
    // `programDir`: the program's folder; `tool`: the program's name (the user folder's name).
    ToolFolder(std::filesystem::path programDir, std::string tool);
    // One folder for everything, read and written (lexcli --data-dir, tests).
    static ToolFolder single(std::filesystem::path dir);

    // A file shipped with the tool, read only.
    std::filesystem::path shipped(const std::string &name) const { return m_programDir / name; }
    // The folder the tool writes into; created when missing (throws LexError when it cannot be).
    std::filesystem::path writableDir() const;
    // `name` in the writable folder. When that is the user folder and the file is not there
    // yet, the shipped file of that name (if any) is copied there first.
    std::filesystem::path writable(const std::string &name) const;

    const std::filesystem::path &programDir() const { return m_programDir; }
    // True when the tool writes beside itself.
    bool writesBesideProgram() const;

private:
    std::filesystem::path userDir() const;

    std::filesystem::path m_programDir;
    std::string m_tool;
    bool m_single = false;
};

} // namespace lex
