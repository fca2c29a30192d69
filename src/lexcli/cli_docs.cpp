#include "lexcli/cli_docs.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <sstream>

namespace lex::cli {
namespace {

// The usage line with "[...]" left out and "(a | b)" turned into its first alternative.
std::string firstChoice(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '[' && c != '(') {
            out += c;
            continue;
        }
        const char close = c == '[' ? ']' : ')';
        int depth = 1;
        size_t end = i + 1;
        size_t bar = std::string_view::npos;
        for (; end < text.size() && depth > 0; ++end) {
            if (text[end] == '[' || text[end] == '(')
                ++depth;
            else if (text[end] == ']' || text[end] == ')')
                --depth;
            else if (text[end] == '|' && depth == 1 && bar == std::string_view::npos &&
                     close == ')')
                bar = end;
        }
        // `end` is one past the closing bracket.
        if (c == '(') {
            const size_t stop = bar != std::string_view::npos ? bar : end - 1;
            out += firstChoice(text.substr(i + 1, stop - i - 1));
        }
        i = end - 1;
    }
    return out;
}

bool isPlaceholder(std::string_view token) {
    return !token.empty() &&
           std::ranges::all_of(
               token, [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }) &&
           token[0] >= 'A' && token[0] <= 'Z';
}

// A sample value of a placeholder, by the option it follows (`option`, maybe empty).
std::string sampleValue(std::string_view token, std::string_view option) {
    static const std::map<std::string_view, std::string_view> byOption{
        {"--db", "freqtune.mdb"},   {"--words", "词表.txt"},      {"--table", "替换表.txt"},
        {"-o", "结果.txt"},         {"--input", "fc.txt"},        {"--user", "用户词.txt"},
        {"--waste", "废词.txt"},    {"--private", "私有词.txt"},  {"--log", "log.txt"},
        {"--list", "待审词条.txt"}, {"--review", "待审词条.txt"}, {"--report", "报告.txt"},
        {"--word-list", "词表.txt"}};
    static const std::map<std::string_view, std::string_view> byName{{"IN", "词库.txt"},
                                                                     {"OUT", "结果.txt"},
                                                                     {"A", "词库一.txt"},
                                                                     {"B", "词库二.txt"},
                                                                     {"SOURCE", "源词库.txt"},
                                                                     {"ARTICLE", "文章.txt"},
                                                                     {"REF", "参照词库.txt"},
                                                                     {"LEXICON", "词库.txt"},
                                                                     {"BASE", "词库.txt"},
                                                                     {"CORPUS", "语料/"},
                                                                     {"PATH", "语料/"},
                                                                     {"PARTIAL", "部分计数.txt"},
                                                                     {"TEXTFILE", "补充词条.txt"},
                                                                     {"FORMAT", "rime"},
                                                                     {"N", "4"},
                                                                     {"MIN", "2"},
                                                                     {"MAX", "4"},
                                                                     {"L1", "2"},
                                                                     {"L2", "4"},
                                                                     {"DIR", "文件夹/"},
                                                                     {"C", "-"},
                                                                     {"SIZE", "512M"},
                                                                     {"FMT", "rime"}};
    if (token == "FILE") {
        const auto found = byOption.find(option);
        return std::string(found != byOption.end() ? found->second : "文件.txt");
    }
    const auto found = byName.find(token);
    if (found != byName.end())
        return std::string(found->second);
    std::string lower(token);
    for (char &c : lower)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return lower + ".txt";
}

std::vector<std::string> words(std::string_view text) {
    std::vector<std::string> out;
    std::istringstream in{std::string(text)};
    for (std::string w; in >> w;)
        out.push_back(w);
    return out;
}

bool isOptionName(std::string_view w) {
    if (w.size() < 2 || w[0] != '-' || w == "--")
        return false;
    const size_t start = w[1] == '-' ? 2 : 1;
    if (start >= w.size() || !std::isalpha(static_cast<unsigned char>(w[start])))
        return false;
    return std::ranges::all_of(
               w.substr(start),
               [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '-'; }) &&
           (start == 2 || w.size() == 2);
}

// Roff text: backslashes and hyphens escaped, a leading dot or quote made harmless.
std::string roff(std::string_view text) {
    std::string out;
    bool lineStart = true;
    for (char c : text) {
        if (lineStart && (c == '.' || c == '\''))
            out += "\\&";
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
        lineStart = c == '\n';
    }
    return out;
}

// A preformatted block: the help texts are laid out in columns already.
void block(std::ostream &os, std::string_view text) {
    os << ".PP\n.nf\n" << roff(text);
    if (!text.empty() && text.back() != '\n')
        os << "\n";
    os << ".fi\n";
}

std::string joined(const std::vector<std::string> &items) {
    std::string out;
    for (const auto &item : items)
        out += (out.empty() ? "" : " ") + item;
    return out;
}

std::string shellWord(std::string_view word) {
    std::string out = "'";
    for (char c : word)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

} // namespace

std::string exampleFromUsage(std::string_view usage) {
    std::string out;
    std::string option;
    for (std::string word : words(firstChoice(usage))) {
        if (const size_t bar = word.find('|'); bar != std::string::npos)
            word.resize(bar);
        if (word.ends_with("..."))
            word.resize(word.size() - 3);
        if (isPlaceholder(word))
            word = sampleValue(word, option);
        option = isOptionName(word) ? word : std::string();
        out += (out.empty() ? "" : " ") + word;
    }
    return out;
}

std::vector<std::string> optionsOf(const Operation &op) {
    std::vector<std::string> out;
    std::string text = operationUsage(op) + " " + op.help;
    for (char &c : text)
        if (c == '[' || c == ']' || c == '(' || c == ')' || c == '|' || c == ',')
            c = ' ';
    for (const std::string &w : words(text))
        if (isOptionName(w) && std::ranges::find(out, w) == out.end())
            out.push_back(w);
    for (const char *common : {"--output-encoding", "--input-encoding", "--help"})
        if (std::ranges::find(out, common) == out.end())
            out.push_back(common);
    return out;
}

std::vector<std::string> valuesOf(const Operation &op, std::string_view option) {
    const std::vector<std::string> ws = words(operationUsage(op));
    for (size_t i = 0; i + 1 < ws.size(); ++i) {
        std::string name = ws[i];
        std::erase_if(name, [](char c) { return c == '[' || c == '('; });
        if (name != option)
            continue;
        std::string value = ws[i + 1];
        std::erase_if(value, [](char c) { return c == ']' || c == ')'; });
        if (value.find('|') == std::string::npos || isPlaceholder(value.substr(0, 1)))
            return {};
        std::vector<std::string> values;
        std::istringstream in(value);
        for (std::string v; std::getline(in, v, '|');)
            values.push_back(v);
        return values;
    }
    return {};
}

std::string manPage(std::span<const ToolEntry> tools, const DocInfo &info) {
    std::ostringstream os;
    os << ".\\\" Generated from lexcli's table by lexcli_docs; do not edit.\n"
       << ".TH LEXCLI 1 \"" << info.date << "\" \"quillo-lexicon-tools " << info.version
       << "\" \"Quillo lexicon tools\"\n"
       << ".SH NAME\nlexcli \\- command-line front end of the Quillo lexicon tools\n"
       << ".SH SYNOPSIS\n.B lexcli\n[\\fB\\-\\-data\\-dir\\fR \\fIDIR\\fR] \\fITOOL\\fR "
          "\\fIOPERATION\\fR [\\fIOPTIONS\\fR] \\fIINPUT\\fR... [\\fB\\-o\\fR \\fIOUTPUT\\fR]\n"
          ".br\n.B lexcli\n\\fITOOL\\fR [\\fIOPERATION\\fR] \\fB\\-\\-help\\fR\n"
          ".br\n.B lexcli \\-\\-version\n"
       << ".SH DESCRIPTION\n"
          "Every operation of the Quillo lexicon tools' windows can be run without a window. "
          "\\fBlexcli\\fR calls the same engine code as the windows: the files it writes are "
          "byte for byte the files the window writes for the same inputs and options, and it "
          "prints the text of the window's completion message as its report.\n"
          ".PP\n"
          "Lexicons may be code page 936 (GBK), UTF\\-16LE with its mark, or UTF\\-8; an "
          "operation whose first lexicon is UTF\\-8 writes UTF\\-8. Lexicons of Rime, fcitx5, "
          "ibus\\-libpinyin and the text exports of Sogou, QQ and Baidu are read in their own "
          "format and written back in it (\\fBlexcli lexconv formats\\fR lists them).\n"
       << ".SH OPTIONS\n"
          ".TP\n\\fB\\-\\-data\\-dir\\fR \\fIDIR\\fR\n"
          "Read the tools' data files from DIR and write the files a tool keeps beside itself "
          "there. By default they are read from the tool's installed folder, found relative to "
          "the \\fBlexcli\\fR executable, and written to "
          "\\fI$XDG_DATA_HOME/quillo\\-lexicon\\-tools/TOOL/\\fR when that folder is not "
          "writable.\n"
          ".TP\n\\fB\\-\\-help\\fR, \\fB\\-h\\fR\nPrint the usage of lexcli, a tool or an "
          "operation.\n"
          ".TP\n\\fB\\-\\-version\\fR, \\fB\\-V\\fR\nPrint the version.\n"
          ".PP\nAn option takes its value as the next argument or after \"=\" "
          "(\\fB\\-\\-db=freqtune.mdb\\fR); \\fB\\-\\-\\fR ends the options, so that a file "
          "whose name begins with \"\\-\" can follow it. \"\\-\" as a file is standard input, "
          "\\fB\\-o \\-\\fR standard output. Format names are taken in any case.\n";
    for (const ToolEntry &tool : tools) {
        const ToolCli &cli = tool.commands();
        // Unfilled: groff breaks no line of Chinese text without spaces.
        os << ".SH \"TOOL " << tool.name << "\"\n.nf\n" << roff(cli.summary) << "\n.fi\n";
        for (const Operation &op : cli.operations) {
            os << ".SS \"" << tool.name << " " << op.name << "\"\n";
            block(os, operationHelp(op));
            os << ".PP\nExample:\n.PP\n.RS\n.nf\n"
               << roff(exampleFromUsage(op.usage)) << "\n.fi\n.RE\n";
        }
    }
    os << ".SH \"INPUT METHOD USERS\"\n"
          ".SS Rime\n"
          "Convert a lexicon into a Rime dictionary (or check one), copy it into the Rime user "
          "folder \\- \\fI~/.local/share/fcitx5/rime/\\fR for fcitx5\\-rime, "
          "\\fI~/.config/ibus/rime/\\fR for ibus\\-rime \\- name it in the schema's "
          "\\fBtranslator/dictionary\\fR (or in the \\fBimport_tables\\fR of the dictionary "
          "the schema names), and redeploy:\n"
          ".PP\n.RS\n.nf\n"
          "lexcli lexconv convert 词库.txt \\-o mine.dict.yaml \\-\\-to rime\n"
          "cp mine.dict.yaml ~/.local/share/fcitx5/rime/\n"
          "rime_deployer \\-\\-build ~/.local/share/fcitx5/rime /usr/share/rime\\-data\n"
          ".fi\n.RE\n"
          ".PP\nThe dictionary is called \\fBmine\\fR, after the file. The schema names it in "
          "its custom file, e.g. \\fIluna_pinyin_simp.custom.yaml\\fR in the user folder:\n"
          ".PP\n.RS\n.nf\npatch:\n  translator/dictionary: mine\n.fi\n.RE\n"
          ".PP\nInstead of \\fBrime_deployer\\fR, Deploy (重新部署) in the input method's "
          "menu does the same.\n"
          ".SS fcitx5\n"
          "Convert into the libime text format, compile it with \\fBlibime_pinyindict\\fR "
          "(package libime\\-bin) and put the result into "
          "\\fI~/.local/share/fcitx5/pinyin/dictionaries/\\fR; restart fcitx5:\n"
          ".PP\n.RS\n.nf\n"
          "lexcli lexconv convert 词库.txt \\-o mine.txt \\-\\-to fcitx5\n"
          "libime_pinyindict mine.txt mine.dict\n"
          "cp mine.dict ~/.local/share/fcitx5/pinyin/dictionaries/\n"
          ".fi\n.RE\n"
          ".SS \"Re\\-ranking by articles\"\n"
          "Import a dictionary into a frequency database, count the articles of the folder "
          "\"未阅文章\" in the data folder, and export the dictionary with the counted "
          "weights:\n"
          ".PP\n.RS\n.nf\n"
          "lexcli freqtune import mine.dict.yaml\n"
          "lexcli freqtune count \\-\\-batch\n"
          "lexcli freqtune export \\-o ranked.dict.yaml \\-\\-format rime\n"
          ".fi\n.RE\n"
       << ".SH \"EXIT STATUS\"\n"
          "0 done; 1 the tool's failure (its own message on standard error); 2 a usage error; "
          "128 + the signal's number when SIGINT, SIGTERM or SIGHUP ended the run, the old "
          "output left untouched.\n"
       << ".SH ENVIRONMENT\n"
          ".TP\n.B XDG_DATA_HOME\nWhere a tool whose folder is not writable keeps its files "
          "(default \\fI~/.local/share\\fR).\n"
          ".TP\n.B TMPDIR\nThe default of \\fB\\-\\-temp\\-dir\\fR.\n"
       << ".SH \"SEE ALSO\"\n"
          ".BR quillo\\-toolbox (1),\n.BR quillo\\-corpus (1)\n";
    return os.str();
}

std::string bashCompletion(std::span<const ToolEntry> tools, const DocInfo &info) {
    std::vector<std::string> toolNames;
    for (const ToolEntry &tool : tools)
        toolNames.push_back(tool.name);
    std::ostringstream os;
    os << "# bash completion of lexcli; generated from lexcli's table by lexcli_docs.\n"
       << "_lexcli() {\n"
          "    local cur=${COMP_WORDS[COMP_CWORD]} prev= i ops= opts=\n"
          "    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}\n"
          "    local -a rest=()\n"
          "    local files_only=\n"
          "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
          "        case ${COMP_WORDS[i]} in\n"
          "        --data-dir) ((i++)) ;;\n"
          "        --data-dir=*) ;;\n"
          "        --) files_only=1 ;;\n"
          "        *) rest+=(\"${COMP_WORDS[i]}\") ;;\n"
          "        esac\n"
          "    done\n"
          "    if [[ -z $files_only ]]; then\n"
          "        case $prev in\n"
          "        --data-dir | --temp-dir)\n"
          "            compopt -o filenames 2>/dev/null\n"
          "            mapfile -t COMPREPLY < <(compgen -d -- \"$cur\")\n"
          "            return ;;\n"
          "        --output-encoding | --input-encoding)\n"
          "            COMPREPLY=($(compgen -W 'gbk utf-8 utf-16le' -- \"$cur\"))\n"
          "            return ;;\n"
          "        --to | --format)\n"
          "            COMPREPLY=($(compgen -W "
       << shellWord(joined(info.formats))
       << " -- \"$cur\"))\n"
          "            return ;;\n"
          "        --from)\n"
          "            COMPREPLY=($(compgen -W "
       << shellWord("auto " + joined(info.formats))
       << " -- \"$cur\"))\n"
          "            return ;;\n"
          "        esac\n"
          "    fi\n"
          "    if ((${#rest[@]} == 0)); then\n"
          "        COMPREPLY=($(compgen -W "
       << shellWord(joined(toolNames) + " --help --version --data-dir")
       << " -- \"$cur\"))\n"
          "        return\n"
          "    fi\n"
          "    case ${rest[0]} in\n";
    for (const ToolEntry &tool : tools) {
        std::vector<std::string> ops;
        for (const Operation &op : tool.commands().operations)
            ops.push_back(op.name);
        os << "    " << tool.name << ") ops=" << shellWord(joined(ops)) << " ;;\n";
    }
    os << "    *) return ;;\n"
          "    esac\n"
          "    if ((${#rest[@]} == 1)); then\n"
          "        COMPREPLY=($(compgen -W \"$ops --help\" -- \"$cur\"))\n"
          "        return\n"
          "    fi\n"
          "    case \"${rest[0]} ${rest[1]}\" in\n";
    for (const ToolEntry &tool : tools) {
        for (const Operation &op : tool.commands().operations) {
            os << "    " << shellWord(std::string(tool.name) + " " + op.name) << ")\n";
            const std::vector<std::string> options = optionsOf(op);
            for (const std::string &option : options) {
                const std::vector<std::string> values = valuesOf(op, option);
                if (!values.empty() && option != "--to" && option != "--from")
                    os << "        if [[ -z $files_only && $prev == " << option
                       << " ]]; then\n            COMPREPLY=($(compgen -W "
                       << shellWord(joined(values)) << " -- \"$cur\"))\n            return\n"
                       << "        fi\n";
            }
            os << "        opts=" << shellWord(joined(options)) << " ;;\n";
        }
    }
    os << "    *) return ;;\n"
          "    esac\n"
          "    if [[ -z $files_only && $cur == -* ]]; then\n"
          "        COMPREPLY=($(compgen -W \"$opts --\" -- \"$cur\"))\n"
          "        return\n"
          "    fi\n"
          "    compopt -o filenames 2>/dev/null\n"
          "    mapfile -t COMPREPLY < <(compgen -f -- \"$cur\")\n"
          "}\n"
          "complete -F _lexcli lexcli\n";
    return os.str();
}

} // namespace lex::cli
