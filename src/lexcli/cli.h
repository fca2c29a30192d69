#pragma once
// The frame of lexcli: the tool table, argument parsing, reports, exit statuses, interrupts.
// Each tool's commands live in <tool>_cli.cpp, in one shape: a usage line per operation, one
// function per operation, and the tool's entry `const ToolCli &<tool>Cli()` that the generated
// table (cli_table.cpp, from the build's tool table) lists.

#include "shared/formats/lexicon_format.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/text_format.h"
#include "shared/lexcore/tool_folder.h"

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace lex::cli {

// Exit statuses: done, the tool's failure (also out of memory, a report that could not be
// written), a usage error; an interrupt by signal S exits with 128 + S.
constexpr int kExitDone = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitSignalBase = 128;

class ArgParser;
class InputStaging;
struct OutputConversion;
struct ToolEntry;
struct Operation;

struct Context {
    ToolFolder folder; // the tool's data: --data-dir, else its installed program folder
    std::ostream &out;
    std::ostream &err;
    EventPump &pump;
    const Operation *operation = nullptr;   // the running operation
    std::span<const ToolEntry> tools;       // the table the operation was found in
    InputStaging *staging = nullptr;        // the running operation's staged inputs
    OutputConversion *conversion = nullptr; // --to: the output report() converts first

    // A shipped data file, and a file the tool writes beside itself (see ToolFolder).
    std::filesystem::path dataFile(const std::string &name) const { return folder.shipped(name); }
    const std::filesystem::path &dataDir() const { return folder.programDir(); }
    std::filesystem::path writableFile(const std::string &name) const {
        return folder.writable(name);
    }

    // The completion report, CR LF turned into LF; returns kExitDone, or kExitFailure when
    // standard output cannot take it. Lines that a code page 936 output could not hold add a
    // count line before the elapsed time, and a notice naming the first of them.
    int report(const std::string &text) const;
    // The tool's own failure text on standard error; returns kExitFailure.
    int fail(const std::string &message) const;
    // `message` (the window's text for an input it could not open) and why: the first of
    // `inputs` that is missing, a folder, no regular file or unreadable, named.
    int failOpen(const std::string &message, std::initializer_list<std::string> inputs) const;
    // A usage error with the running operation's usage line; returns kExitUsage.
    int usage(const std::string &message) const;
    // The operation's positionals (ArgParser::rest): the first one is its first lexicon input,
    // whose encoding its lexicon outputs follow (run_context.h). An operation whose first
    // lexicon input is an option names it itself (pump.context().setFirstInput).
    std::vector<std::string> positionals(ArgParser &args, size_t min = 0, size_t max = size_t(-1));
    // The positionals as inputs the engines read by path: "-" (standard input) and other streams
    // are read into temporary files first, and with --input-encoding every input is
    // (input_staging.h). The first one is the first lexicon input, as for positionals().
    std::vector<std::string> inputs(ArgParser &args, size_t min = 0, size_t max = size_t(-1));
    // An option that names an input file, staged as inputs() stages them.
    std::optional<std::string> inputOption(ArgParser &args, const std::string &name);
    // Runs `operation` of another tool on `args`, in this context (its data dir, its usage
    // line): an operation whose input turns out to be another tool's files hands it over, so that
    // no tool's commands reach into another tool's engine. kExitUsage when the table lacks it.
    int handOver(const char *tool, const char *operation, std::vector<std::string> args);
};

// The size options an operation takes (a mask): --capacity N for one that works through the
// entry set, --memory SIZE for one that can run in bounded memory, --temp-dir DIR for one that
// then goes through temporary files.
enum SizeOption : unsigned {
    kNoSizeOptions = 0,
    kCapacityOption = 1,
    kMemoryOption = 2,
    kTempDirOption = 4,
    kAllSizeOptions = 7,
    // Not a size: --to FORMAT, the lexicon output converted into another program's format.
    kFormatOption = 8,
};

struct Operation {
    const char *name;  // "generate"
    const char *usage; // "lexcli pintop generate IN -o OUT [--separator C] ..."
    const char *summary;
    int (*run)(Context &ctx, ArgParser &args);
    const char *help = ""; // the options in detail, for "OPERATION --help"
    unsigned sizes = kNoSizeOptions;
};

struct ToolCli {
    const char *summary;
    std::vector<Operation> operations;
    // The operation run when the word after the tool names none ("lexcli lexcheck FILE").
    const char *defaultOperation = nullptr;
};

// A row of the generated table: the tool, its install folder and its commands.
struct ToolEntry {
    const char *name;
    const char8_t *folder;
    const ToolCli &(*commands)();
};
std::span<const ToolEntry> toolTable();

// Options and positionals of one operation: "--name value", "--name=value", "--name v1 v2",
// "--flag", "-o P". An option given twice, or without its value, or with an empty value, is a
// usage error. After "--" every argument is a positional, even one that begins with "-".
class ArgParser {
public:
    explicit ArgParser(std::vector<std::string> args);

    bool flag(const std::string &name);
    std::optional<std::string> option(const std::string &name);
    std::optional<std::vector<std::string>> option(const std::string &name, int values);
    // A short option whose value may also follow without a blank ("-j 2" or "-j2").
    std::optional<std::string> shortOption(const std::string &name);
    // Puts option `name` with `value` back, for the operation to take.
    void give(const std::string &name, const std::string &value);
    // The positionals that are left; an option not asked for is an error. Between `min` and
    // `max` of them are expected.
    std::vector<std::string> rest(size_t min = 0, size_t max = size_t(-1));
    const std::string &error() const { return m_error; }
    bool ok() const { return m_error.empty(); }

private:
    void setError(std::string message) {
        if (m_error.empty())
            m_error = std::move(message);
    }

    std::vector<std::string> m_args;  // options and positionals before "--"
    std::vector<std::string> m_after; // positionals after it
    std::string m_error;
};

// The formats' names, as the usage messages list them.
std::string formatList();
// The format --to names, writable and able to hold a forced output encoding: `target` set, or
// the usage message.
std::optional<std::string> targetFormat(const std::string &name,
                                        const std::optional<LexiconEncoding> &forced,
                                        formats::Format &target);

// What "lexcli TOOL OPERATION --help" prints, and its usage line with the size options.
std::string operationHelp(const Operation &op);
std::string operationUsage(const Operation &op);

// Runs lexcli; `argv` as main receives it.
int run(int argc, char **argv, std::ostream &out, std::ostream &err);
// As run(), the tool table given (tests).
int run(const std::vector<std::string> &args, std::span<const ToolEntry> tools,
        const std::filesystem::path &exeDir, std::ostream &out, std::ostream &err);

} // namespace lex::cli
