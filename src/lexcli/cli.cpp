#include "cli.h"

#include <csignal>
#include <cstdio>
#include <iostream>
#include <map>
#include <unistd.h>

namespace lex::cli {
namespace {

struct Tool {
    std::string folder;
    std::string summary;
    ToolMain main;
};

std::map<std::string, Tool> &registry() {
    static std::map<std::string, Tool> tools;
    return tools;
}

volatile std::sig_atomic_t g_interrupted = 0;

void onInterrupt(int) {
    g_interrupted = 1;
    std::signal(SIGINT, SIG_DFL); // a second Ctrl-C ends the program at once
}

// Ctrl-C becomes the stop request; progress goes to a terminal on standard error.
class CliPump : public EventPump {
public:
    CliPump() : EventPump(4096), m_tty(::isatty(2) == 1) {}
    ~CliPump() override {
        if (m_shown)
            std::fputs("\r\033[K", stderr);
    }

protected:
    bool poll() override {
        if (m_tty && progressTotal() > 0 && ++m_polls % 64 == 0) {
            std::fprintf(stderr, "\r%lld / %lld", (long long)progressDone(),
                         (long long)progressTotal());
            m_shown = true;
        }
        return g_interrupted != 0;
    }

private:
    bool m_tty;
    bool m_shown = false;
    long m_polls = 0;
};

std::string exeFolder(const char *argv0) {
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        self = std::filesystem::absolute(argv0, ec);
    return self.parent_path().string();
}

void printUsage(std::ostream &os) {
    os << "用法: lexcli [--data-dir DIR] TOOL OPERATION [OPTIONS] INPUT... [-o OUTPUT]\n"
          "      lexcli TOOL --help | lexcli TOOL OPERATION --help\n\n工具:\n";
    for (const auto &[name, tool] : registry())
        os << "  " << name << std::string(name.size() < 12 ? 12 - name.size() : 1, ' ')
           << tool.summary << "\n";
}

} // namespace

ToolRegistration::ToolRegistration(const char *name, const char *folder, const char *summary,
                                   ToolMain main) {
    registry()[name] = Tool{folder, summary, main};
}

std::filesystem::path Context::dataDir() const {
    if (dataDirGiven)
        return *dataDirGiven;
    return exeDir / toolFolder;
}

int Context::report(const std::string &text) const {
    std::string lines;
    lines.reserve(text.size() + 1);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        lines += text[i];
    }
    out << lines << "\n";
    out.flush();
    return kSuccess;
}

int Context::fail(const std::string &message) const {
    err << message << "\n";
    err.flush();
    return kFailure;
}

int Context::usage(const std::string &message, const std::string &usageLine) const {
    if (!message.empty())
        err << "lexcli: " << message << "\n";
    err << "用法: " << usageLine << "\n";
    return kUsage;
}

bool ArgParser::flag(const std::string &name) {
    for (size_t i = 0; i < m_args.size(); ++i) {
        if (m_args[i] == name) {
            m_args.erase(m_args.begin() + long(i));
            return true;
        }
    }
    return false;
}

std::optional<std::string> ArgParser::option(const std::string &name) {
    auto values = option(name, 1);
    if (!values)
        return std::nullopt;
    return values->front();
}

std::optional<std::vector<std::string>> ArgParser::option(const std::string &name, int values) {
    for (size_t i = 0; i < m_args.size(); ++i) {
        if (m_args[i] != name)
            continue;
        if (i + size_t(values) >= m_args.size()) {
            m_error = name + " 需要 " + std::to_string(values) + " 个参数";
            m_args.erase(m_args.begin() + long(i), m_args.end());
            return std::nullopt;
        }
        std::vector<std::string> got(m_args.begin() + long(i) + 1,
                                     m_args.begin() + long(i) + 1 + values);
        m_args.erase(m_args.begin() + long(i), m_args.begin() + long(i) + 1 + values);
        return got;
    }
    return std::nullopt;
}

std::vector<std::string> ArgParser::rest() {
    for (const auto &a : m_args) {
        if (a.size() > 1 && a[0] == '-' && m_error.empty())
            m_error = "未知选项 " + a;
    }
    return m_args;
}

bool ArgParser::wantsHelp() const {
    for (const auto &a : m_args)
        if (a == "--help" || a == "-h")
            return true;
    return false;
}

int run(int argc, char **argv, std::ostream &out, std::ostream &err) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::optional<std::filesystem::path> dataDir;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--data-dir") {
            if (i + 1 >= args.size()) {
                err << "lexcli: --data-dir 需要一个目录\n";
                return kUsage;
            }
            dataDir = args[i + 1];
            args.erase(args.begin() + long(i), args.begin() + long(i) + 2);
            --i;
        }
    }
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        printUsage(args.empty() ? err : out);
        return args.empty() ? kUsage : kSuccess;
    }
    auto it = registry().find(args[0]);
    if (it == registry().end()) {
        err << "lexcli: 未知工具 " << args[0] << "\n";
        printUsage(err);
        return kUsage;
    }
    g_interrupted = 0;
    std::signal(SIGINT, onInterrupt);
    CliPump pump;
    Context ctx{exeFolder(argv[0]), dataDir, it->second.folder, out, err, pump};
    args.erase(args.begin());
    return it->second.main(ctx, std::move(args));
}

} // namespace lex::cli
