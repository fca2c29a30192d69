#pragma once
// The frame of lexcli: tool registration, argument parsing, reports, exit codes, Ctrl-C.
// Each tool's commands live in <tool>_cli.cpp and register themselves with LEX_CLI_TOOL.

#include "lexcore/event_pump.h"

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace lex::cli {

constexpr int kSuccess = 0;
constexpr int kFailure = 1;
constexpr int kUsage = 2;

struct Context {
    std::filesystem::path exeDir;                      // the folder holding lexcli
    std::optional<std::filesystem::path> dataDirGiven; // --data-dir
    std::filesystem::path toolFolder;                  // the running tool's installed folder
    std::ostream &out;
    std::ostream &err;
    EventPump &pump;

    // Where the running tool's data files are read and its own files written.
    std::filesystem::path dataDir() const;
    std::filesystem::path dataFile(const std::string &name) const { return dataDir() / name; }

    // The completion report, CR LF turned into LF; returns kSuccess.
    int report(const std::string &text) const;
    // The tool's own failure text on standard error; returns kFailure.
    int fail(const std::string &message) const;
    // A usage error; returns kUsage.
    int usage(const std::string &message, const std::string &usageLine) const;
};

using ToolMain = int (*)(Context &ctx, std::vector<std::string> args);

struct ToolRegistration {
    ToolRegistration(const char *name, const char *folder, const char *summary, ToolMain main);
};

#define LEX_CLI_TOOL(name, folder, summary, fn)                                                   \
    static const ::lex::cli::ToolRegistration lexCliRegistration_##name(#name, folder, summary, fn)

// Options and positionals of one operation: "--name value", "--name v1 v2", "--flag", "-o P".
class ArgParser {
public:
    explicit ArgParser(std::vector<std::string> args) : m_args(std::move(args)) {}

    bool flag(const std::string &name);
    std::optional<std::string> option(const std::string &name);
    std::optional<std::vector<std::string>> option(const std::string &name, int values);
    // Whatever is left; options not asked for are reported as an error.
    std::vector<std::string> rest();
    bool wantsHelp() const;
    const std::string &error() const { return m_error; }
    bool ok() const { return m_error.empty(); }

private:
    std::vector<std::string> m_args;
    std::string m_error;
};

// Runs lexcli; `argv` as main receives it.
int run(int argc, char **argv, std::ostream &out, std::ostream &err);

} // namespace lex::cli
