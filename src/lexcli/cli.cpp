#include "lexcli/cli.h"

#include "lexcli/input_staging.h"

#include "shared/formats/annotator.h"
#include "shared/formats/conversion.h"
#include "shared/formats/foreign_lexicon.h"
#include "shared/formats/lexicon_format.h"

#include "shared/lexcore/cp936.h"
#include "shared/lexcore/encoding_detection.h"
#include "shared/lexcore/file_io.h"
#include "shared/lexcore/interrupt.h"
#include "shared/lexcore/lex_error.h"
#include "shared/lexcore/size_limits.h"
#include "shared/lexcore/text_format.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <filesystem>
#include <ostream>
#include <sys/stat.h>
#include <unistd.h>

namespace lex::cli {
namespace fs = std::filesystem;

// --to FORMAT: the operation writes its output, in the format it always writes, into a folder
// of the run's own under the output's file name; report() converts that into -o.
struct OutputConversion {
    formats::Format to;
    fs::path output; // the -o given
    fs::path folder; // removed when the run ends, however it ends
    fs::path staged; // what the operation writes

    OutputConversion(formats::Format target, fs::path out) : to(target), output(std::move(out)) {}
    ~OutputConversion() {
        std::error_code ec;
        if (!folder.empty())
            fs::remove_all(folder, ec);
    }
    OutputConversion(const OutputConversion &) = delete;
    OutputConversion &operator=(const OutputConversion &) = delete;

    void stage(const fs::path &temporary) {
        std::string pattern = (temporary / "lexcli-to-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw LexError("无法在 " + temporary.string() + " 建立临时文件夹：" +
                               std::strerror(errno),
                           temporary);
        folder = pattern;
        // The name stays: a Rime dictionary's name follows it.
        std::string name = output.filename().string();
        if (output == "-" || output == "/dev/stdout" || name.empty() || name == "." || name == "..")
            name = "output.txt";
        staged = folder / name;
    }

    // Converts the operation's output into -o; `report` with the conversion's lines.
    std::string convert(const std::string &report, const Context &ctx) {
        formats::ConvertOptions options;
        options.to = to;
        // What the operation wrote: its first lexicon's format, another program's or its own;
        // never told by the output's name.
        options.from = formats::foreignFormat(ctx.pump.context().firstInput())
                           .value_or(formats::Format::Quillo);
        options.dedup = false; // every entry the operation wrote, as it wrote them
        formats::Annotator annotator(ctx.dataDir(), ctx.pump);
        const formats::ConvertResult r =
            formats::convertLexicon(staged, output, options, annotator, ctx.pump);
        if (!r.inputFound)
            return report;
        if (r.rejected > 0 && !r.rejects.empty()) {
            ctx.err << "注意：" << r.rejected << " 行未能转换，原因写在 " << r.rejects.string()
                    << "\n";
            ctx.err.flush();
        }
        // The lines go before the elapsed time, the report's last line, and the blank lines
        // before it.
        std::string text = report;
        size_t at = text.rfind("\r\n");
        at = at == std::string::npos ? 0 : at;
        while (at >= 2 && text.compare(at - 2, 2, "\r\n") == 0)
            at -= 2;
        std::string added = std::string("\r\n转换为 ") + formats::formatInfo(to).name + "：" +
                            std::to_string(r.converted) + " 条";
        // The conversion's other lines that say something: not its source format, the entries
        // again, a count of none or its elapsed time.
        const std::string lines = formats::convertReport(r, "");
        for (size_t at = 0; at < lines.size();) {
            size_t end = lines.find("\r\n", at);
            if (end == std::string::npos)
                end = lines.size();
            const std::string line = lines.substr(at, end - at);
            at = end + 2;
            if (line.starts_with("源格式：") || line.starts_with("转换词条：") ||
                line.starts_with("耗费时间：") || line.ends_with("：0"))
                continue;
            added += "\r\n" + line;
        }
        return at == 0 ? added.substr(2) + "\r\n" + text : text.insert(at, added);
    }
};

namespace {

// --to FORMAT of an operation that takes it, with -o: `conversion` made; a message on a usage
// error. Without -o the option is left to the operation, which asks for it.
std::optional<std::string> conversionOption(ArgParser &parser,
                                            const std::optional<LexiconEncoding> &forced,
                                            std::optional<OutputConversion> &conversion) {
    auto to = parser.option("--to");
    if (!to)
        return std::nullopt;
    formats::Format target;
    if (auto message = targetFormat(*to, forced, target))
        return message;
    auto output = parser.option("-o");
    if (!output)
        return std::nullopt;
    conversion.emplace(target, *output);
    return std::nullopt;
}

} // namespace

std::string formatList() {
    std::string names;
    for (const formats::FormatInfo &f : formats::allFormats())
        names += std::string(names.empty() ? "" : "、") + f.name;
    return names;
}

std::optional<std::string> targetFormat(const std::string &name,
                                        const std::optional<LexiconEncoding> &forced,
                                        formats::Format &target) {
    const auto format = formats::formatByName(name);
    if (!format || !formats::formatInfo(*format).writable)
        return "--to 只能是可写的格式：" + formatList() + "（rime-userdb 只读）";
    target = *format;
    if (const auto &own = formats::formatInfo(*format).output;
        own && forced && *forced != own->encoding)
        return std::string("--output-encoding 不适用于 ") + formats::formatInfo(*format).name +
               "：这种格式总是 " +
               (own->encoding == LexiconEncoding::Utf8      ? "UTF-8"
                : own->encoding == LexiconEncoding::Utf16Le ? "UTF-16LE"
                                                            : "GBK");
    return std::nullopt;
}

namespace {

// Throws Interrupted once a signal arrived; progress goes to a terminal on standard error.
class CliPump : public EventPump {
public:
    CliPump() : EventPump(1024), m_tty(::isatty(2) == 1) {}
    ~CliPump() override {
        if (m_shown)
            std::fputs("\r\033[K", stderr);
    }

protected:
    bool poll() override {
        checkInterrupt();
        if (m_tty && progressTotal() > 0) {
            // Five times a second at most, however often a loop polls.
            const auto now = std::chrono::steady_clock::now();
            if (now - m_printed < std::chrono::milliseconds(200))
                return false;
            m_printed = now;
            // A run through temporary files names its phase: 读取, 分区 k/n, 合并.
            if (phase().empty())
                std::fprintf(stderr, "\r%lld / %lld", (long long)progressDone(),
                             (long long)progressTotal());
            else
                std::fprintf(stderr, "\r\033[K%s %lld / %lld", phase().c_str(),
                             (long long)progressDone(), (long long)progressTotal());
            m_shown = true;
        }
        return false;
    }

private:
    bool m_tty;
    bool m_shown = false;
    std::chrono::steady_clock::time_point m_printed{};
};

// The folder of the suite's programs: lexcli's own (links resolved), where the tool folders
// stand beside it; or, for a copy of lexcli in the bin folder of an installed tree, that tree's
// programs folder.
std::filesystem::path suiteFolder(const char *argv0, std::span<const ToolEntry> tools) {
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        self = std::filesystem::absolute(argv0, ec);
    const std::filesystem::path own = self.parent_path();
    const std::filesystem::path installed = own / LEX_BIN_TO_PKGLIBDIR;
    auto holdsTools = [&tools](const std::filesystem::path &dir) {
        std::error_code ec;
        return std::ranges::any_of(tools, [&](const ToolEntry &t) {
            return std::filesystem::is_directory(dir / reinterpret_cast<const char *>(t.folder),
                                                 ec);
        });
    };
    if (!holdsTools(own) && holdsTools(installed))
        return installed.lexically_normal();
    return own;
}

constexpr const char *kPackageName = LEX_PACKAGE_NAME;
constexpr const char *kVersion = LEX_VERSION;

constexpr const char *kMainUsage = "lexcli [--data-dir DIR] TOOL OPERATION [OPTIONS] INPUT... "
                                   "[-o OUTPUT]";

void printMainUsage(std::ostream &os, std::span<const ToolEntry> tools) {
    os << "用法: " << kMainUsage << "\n"
       << "      lexcli TOOL --help | lexcli TOOL OPERATION --help\n\n工具:\n";
    for (const ToolEntry &t : tools) {
        const std::string name = t.name;
        os << "  " << name << std::string(name.size() < 12 ? 12 - name.size() : 1, ' ')
           << t.commands().summary << "\n";
    }
    os << "\n退出状态: 0 完成，1 失败，2 用法错误；被 SIGINT、SIGTERM 或 SIGHUP 中断时为\n"
          "          128 + 信号，原输出保持不变。输出一旦就位，运行即告完成：此后收到的\n"
          "          中断信号不再中断，退出状态为 0。\n";
}

void printToolUsage(std::ostream &os, const ToolCli &tool) {
    const char *lead = "用法: ";
    for (const Operation &op : tool.operations) {
        os << lead << op.usage << "\n";
        lead = "      ";
    }
    os << "\n";
    for (const Operation &op : tool.operations) {
        const std::string name = op.name;
        os << "  " << name << std::string(name.size() < 12 ? 12 - name.size() : 1, ' ')
           << op.summary << "\n";
    }
}

// The options every operation takes.
constexpr const char *kCommonHelp =
    "  --output-encoding gbk|utf-8|utf-16le\n"
    "               词库输出的编码（默认：第一个输入词库是 UTF-8 时为 UTF-8，行尾同输入；\n"
    "               否则为 GBK（代码页 936）加 CR LF）\n";

// The usage line with the size options the operation takes.
std::string usageLine(const Operation &op) {
    std::string line = op.usage;
    if (op.sizes & kCapacityOption)
        line += (op.sizes & kMemoryOption) ? " [--capacity N | --memory SIZE]" : " [--capacity N]";
    else if (op.sizes & kMemoryOption)
        line += " [--memory SIZE]";
    if (op.sizes & kTempDirOption)
        line += " [--temp-dir DIR]";
    if (op.sizes & kFormatOption)
        line += " [--to FORMAT]";
    return line;
}

// The size options, for the operations that take them.
std::string sizeHelp(unsigned sizes) {
    std::string help;
    if (sizes & kCapacityOption)
        help += "  --capacity N   词条表同窗口一样只有 N 个位置（N = 2000000 即窗口的容量），\n"
                "                 超出时报“词条太多”，不写任何文件；给出它时全部在内存中处理。\n"
                "                 默认不限容量：结果与窗口在容量以内时的结果逐字节相同\n";
    if (sizes & kMemoryOption)
        help += "  --memory SIZE  内存上限，如 512M、2G（默认物理内存的四分之一，至少 256M）；\n"
                "                 词库放不进时分批处理，结果不变\n";
    if ((sizes & kMemoryOption) && !(sizes & kCapacityOption))
        help +=
            "                 （这个操作不用词条表，窗口里也没有容量限制，所以没有 --capacity）\n";
    if (sizes & kFormatOption)
        help +=
            "  --to FORMAT    结果再转换成 FORMAT 格式写到 -o（格式名同 lexconv formats，规则同\n"
            "                 lexconv convert --no-dedup：结果的每个词条都转换）；不给出时\n"
            "                 Rime、fcitx5 等其它程序的词库按原格式写出，其余同窗口\n";
    if (sizes & kTempDirOption)
        help += "  --temp-dir DIR 分批处理的临时文件放在 DIR（默认 $TMPDIR，否则 /tmp）；\n"
                "                 临时文件没有名字，运行结束、失败或中断时都由系统收回\n";
    return help;
}

// Reads the size options of `op` into `limits`; a message on a usage error.
std::optional<std::string> sizeOptions(const Operation &op, ArgParser &parser, SizeLimits &limits) {
    limits.capacity = SizeLimits::kUnlimited;
    limits.memory = 0;
    if (op.sizes & kCapacityOption) {
        if (auto text = parser.option("--capacity")) {
            const auto n = parseSize(*text);
            if (!n || *n > uint64_t(INT32_MAX) ||
                text->find_first_not_of("0123456789") != std::string::npos)
                return "--capacity 需要一个正整数（不超过 2147483647）";
            limits.capacity = int64_t(*n);
        }
    }
    if (op.sizes & kMemoryOption) {
        std::optional<uint64_t> memory;
        if (auto text = parser.option("--memory")) {
            memory = parseSize(*text);
            if (!memory)
                return "--memory 需要一个大小，如 512M 或 2G";
        }
        // The window's structure holds everything in memory, as the window does.
        if (limits.capacity != SizeLimits::kUnlimited && memory)
            return "--capacity 与 --memory 不能同时给出";
        if (limits.capacity == SizeLimits::kUnlimited)
            limits.memory = memory ? *memory : defaultMemory();
    }
    if (op.sizes & kTempDirOption) {
        if (auto dir = parser.option("--temp-dir")) {
            std::error_code ec;
            if (!std::filesystem::is_directory(*dir, ec))
                return "--temp-dir 不是文件夹：" + *dir;
            limits.tempDir = *dir;
        }
    }
    return std::nullopt;
}

bool isHelp(const std::string &arg) {
    return arg == "--help" || arg == "-h";
}

int runOperation(Context &ctx, const Operation &op, std::vector<std::string> args) {
    for (const auto &a : args) {
        if (a == "--")
            break;
        if (isHelp(a)) {
            ctx.out << operationHelp(op);
            return kExitDone;
        }
    }
    ctx.operation = &op;
    ArgParser parser(std::move(args));
    // Every operation takes --output-encoding; its lexicon outputs otherwise follow the first
    // lexicon input (Context::positionals names it).
    std::optional<LexiconEncoding> forced;
    if (auto name = parser.option("--output-encoding")) {
        forced = parseEncodingName(*name);
        if (!forced)
            return ctx.usage("--output-encoding 只能是 gbk、utf-8 或 utf-16le");
    }
    // And --input-encoding: its inputs are read in that encoding, whatever their bytes suggest.
    std::optional<LexiconEncoding> inputEncoding;
    if (auto name = parser.option("--input-encoding")) {
        inputEncoding = parseEncodingName(*name);
        if (!inputEncoding)
            return ctx.usage("--input-encoding 只能是 gbk、utf-8 或 utf-16le");
    }
    SizeLimits limits;
    if (auto message = sizeOptions(op, parser, limits))
        return ctx.usage(*message);
    std::optional<OutputConversion> conversion;
    if (op.sizes & kFormatOption) {
        if (auto message = conversionOption(parser, forced, conversion))
            return ctx.usage(*message);
    }
    if (!parser.ok())
        return ctx.usage(parser.error());
    RunContext run(forced, limits);
    // Notices of the shared layers (a file written in an unexpected way) go to standard error.
    run.setNoticeSink([&err = ctx.err](const std::string &text) { err << text << "\n"; });
    ctx.pump.setContext(std::move(run));
    InputStaging staging(inputEncoding, ctx.pump.context().temporaryFolder());
    ctx.staging = &staging;
    struct Unstage {
        Context &ctx;
        ~Unstage() {
            ctx.staging = nullptr;
            ctx.conversion = nullptr;
        }
    } unstage{ctx};
    if (conversion) {
        // The operation writes into a folder of its own; report() converts that into -o.
        try {
            conversion->stage(ctx.pump.context().temporaryFolder());
        } catch (const std::exception &e) {
            return ctx.fail(failureText(e));
        }
        parser.give("-o", conversion->staged.string());
        ctx.conversion = &*conversion;
    }
    auto interrupted = [&](int signal) {
        ctx.err << "中断！\n";
        ctx.err.flush();
        return kExitSignalBase + signal;
    };
    // Interrupts abort this run until its first output is in place (commitRename).
    releaseHeldInterrupts();
    int status;
    try {
        status = op.run(ctx, parser);
    } catch (const Interrupted &i) {
        return interrupted(i.signal());
    } catch (const std::exception &e) {
        status = ctx.fail(failureText(e));
    }
    // An interrupt that came where nothing checked for it still ends the run as interrupted,
    // unless it came once the output was in place: then the run is done.
    if (int signal = pendingInterrupt())
        return interrupted(signal);
    if (status == kExitDone && heldInterrupt() != 0) {
        ctx.err << "注意：收到中断信号时输出已经就位，运行照常完成。\n";
        ctx.err.flush();
    }
    return status;
}

} // namespace

std::string operationHelp(const Operation &op) {
    return "用法: " + usageLine(op) + "\n\n  " + op.summary + "\n" + op.help + sizeHelp(op.sizes) +
           kCommonHelp;
}

std::string operationUsage(const Operation &op) {
    return usageLine(op);
}

int Context::report(const std::string &reportText) const {
    checkInterrupt();
    std::string text = staging ? staging->named(reportText) : reportText;
    if (conversion)
        text = conversion->convert(text, *this);
    // An output on standard output leaves it to the output alone.
    std::ostream &out = pump.context().standardOutputTaken() ? err : this->out;
    if (const int64_t lost = pump.context().lostLines()) {
        // Characters code page 936 cannot hold: counted in the report, the first line named.
        const LossyLines &lossy = pump.context().lossy();
        const DroppedLines &dropped = pump.context().dropped();
        text = withLossyLine(text, lost);
        if (lossy.lines)
            err << "注意：" << lossy.file.string() << " 第 " << lossy.firstLine
                << " 行有 GBK 无法表示的字符，已写成“?”：" << toUtf8(lossy.firstText) << "\n";
        if (dropped.lines)
            err << "注意：" << dropped.lines
                << " 行读入的词有 GBK 无法表示的字符，GBK 的输出里没有它们："
                << toUtf8(dropped.firstText) << "\n";
        err << "      共 " << lost << " 行；用 --output-encoding utf-8 可以保留这些字符。\n";
        err.flush();
    }
    if (staging) {
        // Inputs read as UTF-8 whose bytes are not all UTF-8: the lines that hold such bytes
        // are counted, and the first is named.
        int64_t invalid = 0;
        for (const InputStaging::Input &input : staging->inputs()) {
            std::error_code ec;
            if (!fs::is_regular_file(input.path, ec))
                continue;
            const InvalidUtf8Lines bad = findInvalidUtf8(input.path);
            if (bad.lines == 0)
                continue;
            if (invalid == 0)
                err << "注意：" << input.arg << " 第 " << bad.firstLine
                    << " 行有无效的 UTF-8 字节，读成了“\uFFFD”：" << bad.firstText << "\n";
            invalid += bad.lines;
        }
        if (invalid > 0) {
            err.flush();
            text = withReportLine(text, "无效的 UTF-8 字节：" + std::to_string(invalid) + " 行");
        }
    }
    std::string lines;
    lines.reserve(text.size() + 1);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        lines += text[i];
    }
    out << lines << "\n";
    out.flush();
    if (!out)
        return fail("无法输出报告。");
    return kExitDone;
}

int Context::fail(const std::string &message) const {
    err << (staging ? staging->named(message) : message) << "\n";
    err.flush();
    return kExitFailure;
}

int Context::failOpen(const std::string &message, std::initializer_list<std::string> inputs) const {
    // Why, as the readers themselves say it.
    for (const std::string &input : inputs) {
        try {
            size_t size = 0;
            openForReading(input, size);
        } catch (const LexError &e) {
            return fail(message + e.what());
        }
    }
    return fail(message);
}

int Context::usage(const std::string &message) const {
    if (!message.empty())
        err << "lexcli: " << message << "\n";
    if (operation)
        err << "用法: " << usageLine(*operation) << "\n";
    return kExitUsage;
}

int Context::handOver(const char *toolName, const char *operationName,
                      std::vector<std::string> args) {
    for (const ToolEntry &t : tools) {
        if (std::string_view(t.name) != toolName)
            continue;
        for (const Operation &o : t.commands().operations) {
            if (std::string_view(o.name) != operationName)
                continue;
            ArgParser parser(std::move(args));
            return o.run(*this, parser);
        }
    }
    return usage(std::string("未知操作 ") + toolName + " " + operationName);
}

std::vector<std::string> Context::positionals(ArgParser &args, size_t min, size_t max) {
    std::vector<std::string> rest = args.rest(min, max);
    if (!rest.empty())
        pump.context().setFirstInput(rest.front());
    return rest;
}

std::vector<std::string> Context::inputs(ArgParser &args, size_t min, size_t max) {
    std::vector<std::string> rest = args.rest(min, max);
    if (!args.ok() || !staging) {
        if (!rest.empty())
            pump.context().setFirstInput(rest.front());
        return rest;
    }
    for (size_t i = 0; i < rest.size(); ++i)
        rest[i] = staging->stage(rest[i], pump.context(), i == 0);
    return rest;
}

std::optional<std::string> Context::inputOption(ArgParser &args, const std::string &name) {
    auto value = args.option(name);
    if (value && staging)
        *value = staging->stage(*value, pump.context(), false);
    return value;
}

ArgParser::ArgParser(std::vector<std::string> args) {
    auto end = std::find(args.begin(), args.end(), "--");
    for (auto it = args.begin(); it != end; ++it) {
        // "--name=value" is "--name value"; "--name=" an empty value.
        const size_t eq = it->find('=');
        if (it->starts_with("--") && eq != std::string::npos && eq > 2) {
            m_args.push_back(it->substr(0, eq));
            m_args.push_back(it->substr(eq + 1));
        } else {
            m_args.push_back(std::move(*it));
        }
    }
    if (end != args.end())
        m_after.assign(std::make_move_iterator(end + 1), std::make_move_iterator(args.end()));
}

bool ArgParser::flag(const std::string &name) {
    bool found = false;
    for (size_t i = 0; i < m_args.size();) {
        if (m_args[i] == name) {
            if (found)
                setError(name + " 只能给出一次");
            found = true;
            m_args.erase(m_args.begin() + long(i));
        } else {
            ++i;
        }
    }
    return found;
}

std::optional<std::string> ArgParser::option(const std::string &name) {
    auto values = option(name, 1);
    if (!values)
        return std::nullopt;
    return values->front();
}

std::optional<std::vector<std::string>> ArgParser::option(const std::string &name, int values) {
    std::optional<std::vector<std::string>> got;
    for (size_t i = 0; i < m_args.size();) {
        if (m_args[i] != name) {
            ++i;
            continue;
        }
        if (got)
            setError(name + " 只能给出一次");
        if (i + size_t(values) >= m_args.size()) {
            setError(name + " 需要 " + std::to_string(values) + " 个值");
            m_args.erase(m_args.begin() + long(i), m_args.end());
            return std::nullopt;
        }
        std::vector<std::string> v(m_args.begin() + long(i) + 1,
                                   m_args.begin() + long(i) + 1 + values);
        for (const auto &value : v)
            if (value.empty())
                setError(name + " 的值不能为空");
        m_args.erase(m_args.begin() + long(i), m_args.begin() + long(i) + 1 + values);
        if (!got)
            got = std::move(v);
    }
    return got;
}

void ArgParser::give(const std::string &name, const std::string &value) {
    m_args.push_back(name);
    m_args.push_back(value);
}

std::optional<std::string> ArgParser::shortOption(const std::string &name) {
    std::optional<std::string> attached;
    for (size_t i = 0; i < m_args.size();) {
        if (m_args[i].size() > name.size() && m_args[i].starts_with(name)) {
            if (attached)
                setError(name + " 只能给出一次");
            attached = m_args[i].substr(name.size());
            m_args.erase(m_args.begin() + long(i));
        } else {
            ++i;
        }
    }
    auto spaced = option(name);
    if (attached && spaced)
        setError(name + " 只能给出一次");
    return attached ? attached : spaced;
}

std::vector<std::string> ArgParser::rest(size_t min, size_t max) {
    for (const auto &a : m_args)
        if (a.size() > 1 && a[0] == '-')
            setError("未知选项 " + a);
    m_args.insert(m_args.end(), m_after.begin(), m_after.end());
    m_after.clear();
    if (m_args.size() < min)
        setError("缺少输入文件");
    else if (m_args.size() > max)
        setError("输入文件太多");
    return m_args;
}

int run(const std::vector<std::string> &argsIn, std::span<const ToolEntry> tools,
        const std::filesystem::path &exeDir, std::ostream &out, std::ostream &err) {
    std::vector<std::string> args = argsIn;
    std::optional<std::filesystem::path> dataDir;
    for (size_t i = 0; i < args.size() && args[i] != "--"; ++i) {
        if (args[i].starts_with("--data-dir=")) {
            args.insert(args.begin() + long(i) + 1, args[i].substr(std::strlen("--data-dir=")));
            args[i].resize(std::strlen("--data-dir"));
        }
        if (args[i] != "--data-dir")
            continue;
        if (i + 1 >= args.size() || args[i + 1].empty()) {
            err << "lexcli: --data-dir 需要一个目录\n用法: " << kMainUsage << "\n";
            return kExitUsage;
        }
        if (dataDir) {
            err << "lexcli: --data-dir 只能给出一次\n用法: " << kMainUsage << "\n";
            return kExitUsage;
        }
        dataDir = args[i + 1];
        args.erase(args.begin() + long(i), args.begin() + long(i) + 2);
        --i;
    }
    if (args.empty() || isHelp(args[0])) {
        printMainUsage(args.empty() ? err : out, tools);
        return args.empty() ? kExitUsage : kExitDone;
    }
    if (args[0] == "--version" || args[0] == "-V") {
        out << "lexcli (" << kPackageName << ") " << kVersion << "\n";
        return kExitDone;
    }
    const ToolEntry *tool = nullptr;
    for (const ToolEntry &t : tools)
        if (args[0] == t.name)
            tool = &t;
    if (!tool) {
        err << "lexcli: 未知工具 " << args[0] << "\n";
        printMainUsage(err, tools);
        return kExitUsage;
    }
    const ToolCli &commands = tool->commands();
    if (args.size() < 2 || isHelp(args[1])) {
        printToolUsage(args.size() < 2 ? err : out, commands);
        return args.size() < 2 ? kExitUsage : kExitDone;
    }
    const Operation *op = nullptr;
    for (const Operation &o : commands.operations)
        if (args[1] == o.name)
            op = &o;
    long first = 2;
    if (!op && commands.defaultOperation)
        for (const Operation &o : commands.operations)
            if (std::string_view(o.name) == commands.defaultOperation) {
                op = &o;
                first = 1;
            }
    if (!op) {
        err << "lexcli: 未知操作 " << tool->name << " " << args[1] << "\n";
        printToolUsage(err, commands);
        return kExitUsage;
    }

    const std::filesystem::path folder =
        exeDir / std::filesystem::path(reinterpret_cast<const char *>(tool->folder));
    CliPump pump;
    Context ctx{dataDir ? ToolFolder::single(*dataDir) : ToolFolder(folder, tool->name), out, err,
                pump};
    ctx.tools = tools;
    return runOperation(ctx, *op, std::vector<std::string>(args.begin() + first, args.end()));
}

int run(int argc, char **argv, std::ostream &out, std::ostream &err) {
    setPendingInterrupt(0);
    installInterruptHandlers();
    return run(std::vector<std::string>(argv + 1, argv + argc), toolTable(),
               suiteFolder(argv[0], toolTable()), out, err);
}

} // namespace lex::cli
