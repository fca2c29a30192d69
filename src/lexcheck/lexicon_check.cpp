#include "lexcheck/lexicon_check.h"

#include "shared/formats/format_detection.h"
#include "shared/lexcore/cp936.h"
#include "shared/lexcore/file_io.h"
#include "shared/lexcore/lex_error.h"
#include "shared/lexcore/line_reader.h"
#include "shared/lexcore/line_stream.h"
#include "shared/lexcore/line_writer.h"
#include "shared/lexcore/run_context.h"
#include "shared/pinyin/syllables.h"

#include <unicode/uchar.h>
#include <unicode/uscript.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <unordered_map>

namespace lex::lexcheck {

namespace fs = std::filesystem;
using namespace formats;
using namespace pinyin;

namespace {

constexpr CheckInfo kChecks[kCheckCount] = {
    {Check::InvalidSyllable, "invalid-syllable", Severity::Error, "无效音节"},
    {Check::CountMismatch, "count-mismatch", Severity::Error, "音节数与字数不符"},
    {Check::UnknownReading, "unknown-reading", Severity::Error, "字无此音"},
    {Check::Unparsable, "unparsable", Severity::Error, "无法解析的行"},
    {Check::WeightConflict, "weight-conflict", Severity::Error, "重复词条权重不同"},
    {Check::UeSpelling, "ue-spelling", Severity::Error, "lüe/nüe 写法混用或不被接受"},
    {Check::ReviewReading, "review-reading", Severity::Warning, "与通常读音不同"},
    {Check::Duplicate, "duplicate", Severity::Warning, "重复词条"},
    {Check::Charset, "charset", Severity::Warning, "字符集之外的字"},
    {Check::Traditional, "traditional", Severity::Warning, "简体词库中的繁体字"},
    {Check::PrivateUse, "private-use", Severity::Warning, "私用区或未分配的码位"},
    {Check::WeightZero, "weight-zero", Severity::Warning, "权重 0 与缺权重混用"},
    {Check::MixedScript, "mixed-script", Severity::Info, "汉字与字母混排的词"},
    {Check::LongWord, "long-word", Severity::Info, "过长的词"},
};

std::string utf8(std::u16string_view s) {
    return toUtf8(s);
}

std::u16string u16(std::string_view s) {
    return std::u16string(s.begin(), s.end()); // ASCII only
}

bool isHigh(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

// The code points of a word.
template <typename F> void forEachCodePoint(std::u16string_view w, F f) {
    for (size_t i = 0; i < w.size(); ++i) {
        char32_t cp = w[i];
        if (isHigh(w[i]) && i + 1 < w.size() && w[i + 1] >= 0xDC00 && w[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((char32_t(w[i]) - 0xD800) << 10) + (w[i + 1] - 0xDC00);
            f(cp, w.substr(i, 2));
            ++i;
        } else {
            f(cp, w.substr(i, 1));
        }
    }
}

std::string hexCode(char32_t cp) {
    char buf[16];
    const int n = std::snprintf(buf, sizeof buf, "U+%04X", unsigned(cp));
    return std::string(buf, size_t(n));
}

std::string weightString(double w) {
    return utf8(weightText(w));
}

// Characters of a word, one text per character (a surrogate pair is one).
void charactersOf(std::u16string_view word, std::vector<std::u16string_view> &out) {
    out.clear();
    forEachCodePoint(word, [&](char32_t, std::u16string_view unit) { out.push_back(unit); });
}

// The characters of a word that take a syllable: punctuation inside a name (安娜·卡列尼娜)
// takes none.
void syllableCharacters(const std::vector<std::u16string_view> &all,
                        std::vector<std::u16string_view> &out) {
    out.clear();
    for (std::u16string_view c : all)
        if (!(c.size() == 1 && u_ispunct(UChar32(c[0]))))
            out.push_back(c);
}

bool isSeparator(char16_t c) {
    return c == u' ' || c == u'\'' || c == u'\u2019' || c == u'-' || c == u'\t';
}

bool isToneMark(char16_t c) {
    return c >= 0x80 && c != u'ü' && c != u'Ü';
}

// Formats whose codes may carry tone digits (ibus-libpinyin; terra_pinyin's Rime tables).
bool allowsToneDigits(Format f) {
    return f == Format::Libpinyin || f == Format::Rime;
}

// Formats whose codes may run syllables together as typed.
bool allowsJoined(Format f) {
    return f == Format::FixedTop || f == Format::RimeCustom || f == Format::Libpinyin;
}

enum class Ue { None, U, V, Umlaut };

const char16_t *ueLetters(Ue ue) {
    switch (ue) {
    case Ue::U:
        return u"ue";
    case Ue::V:
        return u"ve";
    case Ue::Umlaut:
        return u"üe";
    case Ue::None:
        break;
    }
    return u"";
}

// One code examined: its syllables in the suite's form, the faults of its spelling, and the
// code with the safe fixes (the same length: every fix replaces one unit by one).
struct CodeVerdict {
    std::u16string fixed;
    Syllables syllables;               // empty unless the code reads as one syllable per character
    std::vector<std::string> spelling; // messages of invalid-syllable
    bool spellingFixable = true;       // every spelling fault is one the fixes repair
    std::string countMessage;          // count-mismatch
    Ue ue = Ue::None;                  // how lüe / nüe was written
    std::u16string key;                // the fixed syllables, for telling duplicates
};

class CodeExaminer {
public:
    CodeExaminer(Format format) : m_format(format), m_target(formatInfo(format).ue) {}

    // `code` of a word of `chars` characters; `perCharacter`: the standard lexicon's letters
    // after one character (one syllable, never split).
    void examine(std::u16string_view code, size_t chars, bool perCharacter, CodeVerdict &v) const;

private:
    Format m_format;
    UeSpelling m_target;
};

void CodeExaminer::examine(std::u16string_view code, size_t chars, bool perCharacter,
                           CodeVerdict &v) const {
    v.fixed.assign(code);
    bool fullWidth = false, upper = false, digits = false;
    for (char16_t &c : v.fixed) {
        if (c >= 0xFF01 && c <= 0xFF5E) {
            c = char16_t(c - 0xFEE0);
            fullWidth = true;
        }
        if (c >= u'A' && c <= u'Z') {
            c = char16_t(c + 32);
            upper = true;
        } else if (c == u'Ü') {
            c = u'ü';
            upper = true;
        }
    }
    const std::string shown = utf8(code);
    if (fullWidth)
        v.spelling.push_back("编码“" + shown + "”含全角字母");
    if (upper)
        v.spelling.push_back("编码“" + shown + "”含大写字母");

    // The runs of letters, a tone digit ending one.
    struct Run {
        size_t begin, end;
    };
    std::vector<Run> runs;
    size_t start = 0;
    bool toneMarks = false, bad = false;
    auto close = [&](size_t at) {
        if (at > start)
            runs.push_back({start, at});
        start = at + 1;
    };
    for (size_t i = 0; i < v.fixed.size(); ++i) {
        const char16_t c = v.fixed[i];
        if (isSeparator(c) && !perCharacter) {
            close(i);
        } else if (c >= u'1' && c <= u'5' && i > start) {
            digits = true;
            close(i);
        } else if (c >= u'0' && c <= u'9') {
            bad = true;
        } else if (c >= 0x300 && c <= 0x36F) {
            toneMarks = toneMarks || c != 0x308;
        } else if (c == u':' || (c >= u'a' && c <= u'z') || c == u'ü') {
        } else if (isToneMark(c)) {
            toneMarks = true;
        } else {
            bad = true;
        }
    }
    close(v.fixed.size());
    if (digits && !allowsToneDigits(m_format))
        v.spelling.push_back("编码“" + shown + "”含数字，此格式的编码不带声调数字");
    if (toneMarks)
        v.spelling.push_back("编码“" + shown + "”带声调符号");
    if (digits && !allowsToneDigits(m_format))
        v.spellingFixable = false;
    if (toneMarks)
        v.spellingFixable = false;
    if (bad || runs.empty()) {
        v.spelling.push_back("编码“" + shown + "”含有拼音之外的字符");
        v.spellingFixable = false;
        return;
    }

    auto text = [&](const Run &r) {
        return std::u16string_view(v.fixed).substr(r.begin, r.end - r.begin);
    };
    Syllables syllables;
    if (runs.size() == 1 && chars > 1 && !perCharacter) {
        const std::u16string_view run = text(runs[0]);
        if (allowsJoined(m_format)) {
            const auto splits = splitCode(run, chars, 1, true);
            if (!splits.empty()) {
                syllables = splits.front();
            } else if (const Syllables any = splitCodeAnyCount(run); !any.empty()) {
                v.countMessage = std::to_string(chars) + " 个字，编码“" + shown + "”是 " +
                                 std::to_string(any.size()) + " 个音节";
                return;
            } else {
                v.spelling.push_back("编码“" + shown + "”不能分成普通话音节");
                v.spellingFixable = false;
                return;
            }
        } else if (!singleSyllable(run)) {
            const bool joined = splitCode(run, chars, 1, true).size() == 1;
            v.spelling.push_back("编码“" + shown + "”" +
                                 (joined ? "的音节之间缺少分隔符" : "不是普通话音节"));
            v.spellingFixable = false;
            return;
        }
    }
    if (syllables.empty()) {
        for (const Run &r : runs) {
            const std::optional<std::string> one = singleSyllable(text(r));
            if (!one) {
                v.spelling.push_back(
                    "“" + utf8(std::u16string_view(code).substr(r.begin, r.end - r.begin)) +
                    "”不是普通话音节");
                v.spellingFixable = false;
                continue;
            }
            syllables.push_back(*one);
        }
        if (syllables.size() != runs.size())
            return;
        if (syllables.size() != chars) {
            v.countMessage = std::to_string(chars) + " 个字，编码“" + shown + "”是 " +
                             std::to_string(syllables.size()) + " 个音节";
            return;
        }
    }
    // How üe after l and n is written, and that spelling made the target's.
    for (const Run &r : runs) {
        std::u16string_view t = text(r);
        if (t.size() != 3 || (t[0] != u'l' && t[0] != u'n') || t[2] != u'e')
            continue;
        const Ue ue = t[1] == u'v'   ? Ue::V
                      : t[1] == u'u' ? Ue::U
                      : t[1] == u'ü' ? Ue::Umlaut
                                     : Ue::None;
        if (ue == Ue::None)
            continue;
        if (v.ue == Ue::None)
            v.ue = ue;
        v.fixed[r.begin + 1] = m_target == UeSpelling::Ve ? u'v' : u'u';
    }
    v.syllables = std::move(syllables);
    // The key keeps tone digits (yi1 and yi4 are two codes), any separator counting as one.
    for (size_t i = 0; i < v.fixed.size(); ++i) {
        const char16_t c = v.fixed[i];
        if (!isSeparator(c))
            v.key.push_back(c);
        else if (!v.key.empty() && v.key.back() != u' ')
            v.key.push_back(u' ');
    }
    if (!v.key.empty() && v.key.back() == u' ')
        v.key.pop_back();
}

// A weight after the last TAB of a standard lexicon line, as its reader takes it.
std::optional<double> trailingWeight(std::u16string_view line, size_t &body) {
    body = line.size();
    const size_t tab = line.rfind(u'\t');
    if (tab == std::u16string_view::npos)
        return std::nullopt;
    std::string ascii;
    for (char16_t c : line.substr(tab + 1)) {
        if (c == u' ')
            continue;
        if (c >= 0x80)
            return std::nullopt;
        ascii.push_back(char(c));
    }
    double v = 0;
    const char *from = ascii.data() + (!ascii.empty() && ascii[0] == '+');
    const auto [end, ec] = std::from_chars(from, ascii.data() + ascii.size(), v);
    if (ascii.empty() || ec != std::errc() || end != ascii.data() + ascii.size())
        return std::nullopt;
    body = tab;
    return v;
}

// An open-addressing table of 64-bit hashes, each with a 32-bit value: a million entries are
// looked up once each, and node-based maps spend that time allocating and missing the cache.
class HashSlots {
public:
    static constexpr uint32_t kFree = UINT32_MAX;
    void reserve(size_t n) {
        size_t cells = 64;
        while (cells < n * 2)
            cells *= 2;
        if (cells > m_hashes.size())
            rehash(cells);
    }
    // The slot of `h` where `match(value)` holds, or the free slot where it would go.
    template <typename Match> size_t find(uint64_t h, Match match) const {
        const size_t mask = m_hashes.size() - 1;
        for (size_t i = size_t(h) & mask;; i = (i + 1) & mask)
            if (m_values[i] == kFree || (m_hashes[i] == h && match(m_values[i])))
                return i;
    }
    uint32_t value(size_t slot) const { return m_values[slot]; }
    // Fills a free slot that find() gave; the table may grow after it.
    void fill(size_t slot, uint64_t h, uint32_t value) {
        m_hashes[slot] = h;
        m_values[slot] = value;
        if (++m_count * 2 > m_hashes.size())
            rehash(m_hashes.size() * 2);
    }

private:
    void rehash(size_t cells) {
        std::vector<uint64_t> hashes(cells);
        std::vector<uint32_t> values(cells, kFree);
        hashes.swap(m_hashes);
        values.swap(m_values);
        for (size_t i = 0; i < hashes.size(); ++i) {
            if (values[i] == kFree)
                continue;
            size_t j = size_t(hashes[i]) & (cells - 1);
            while (m_values[j] != kFree)
                j = (j + 1) & (cells - 1);
            m_hashes[j] = hashes[i];
            m_values[j] = values[i];
        }
    }
    std::vector<uint64_t> m_hashes = std::vector<uint64_t>(64);
    std::vector<uint32_t> m_values = std::vector<uint32_t>(64, kFree);
    size_t m_count = 0;
};

// A hash of m_readingsSeen stands for its text: a clash (about 1 in 10^7 among a million
// words) only keeps one warning back.
bool any(uint32_t) {
    return true;
}

bool inGb2312(char16_t c) {
    const auto code = uint16_t(ansiCode(c));
    if (code <= 0xFF)
        return false;
    const unsigned lead = code >> 8, trail = code & 0xFF;
    // Symbols in rows A1–A9, hanzi in B0–F7; rows AA–AF and the user areas are not GB2312's.
    return ((lead >= 0xA1 && lead <= 0xA9) || (lead >= 0xB0 && lead <= 0xF7)) && trail >= 0xA1 &&
           trail <= 0xFE;
}

} // namespace

std::span<const CheckInfo> allChecks() {
    return kChecks;
}

const CheckInfo &checkInfo(Check check) {
    return kChecks[size_t(check)];
}

std::optional<Check> checkById(std::string_view id) {
    for (const CheckInfo &c : kChecks)
        if (id == c.id)
            return c.check;
    return std::nullopt;
}

const char *severityName(Severity severity) {
    switch (severity) {
    case Severity::Error:
        return "error";
    case Severity::Warning:
        return "warning";
    case Severity::Info:
        break;
    }
    return "info";
}

void CharReadings::add(char16_t ch, std::u16string_view reading) {
    if (reading.empty())
        return;
    auto &list = m_readings[ch];
    if (std::find(list.begin(), list.end(), reading) == list.end())
        list.emplace_back(reading);
}

std::span<const std::u16string> CharReadings::of(char16_t ch) const {
    return m_readings[ch];
}

bool CharReadings::has(char16_t ch, std::u16string_view reading) const {
    const auto &list = m_readings[ch];
    return std::find(list.begin(), list.end(), reading) != list.end();
}

bool CharReadings::has(char16_t ch, std::string_view reading) const {
    for (const std::u16string &r : m_readings[ch])
        if (std::equal(r.begin(), r.end(), reading.begin(), reading.end(), [](char16_t a, char b) {
                return a == char16_t(static_cast<unsigned char>(b));
            }))
            return true;
    return false;
}

CheckData loadCheckData(const fs::path &folder, EventPump &pump) {
    const AnnotationFiles files = AnnotationFiles::in(folder);
    for (const fs::path &p : {folder / kReadingsFile, folder / kTraditionalFile, files.dictionary,
                              files.wordTable, files.polyphones, files.ranks})
        if (!fileExists(p))
            throw LexError("找不到数据文件：" + pathText(p), p);
    CheckData data;
    data.annotation = loadAnnotationData(files, {Need::Yes, Need::Yes, Need::Yes}, pump);
    // "dz.lxd", "dz.txt" and "dy.txt" all hold a character, then one of its readings.
    for (const fs::path &p : {folder / kReadingsFile, files.dictionary, files.polyphones}) {
        LineReader reader(p);
        while (!reader.atEnd()) {
            const std::u16string_view line = reader.readLineView();
            if (line.size() >= 2)
                data.readings.add(line[0], line.substr(1));
        }
    }
    LineReader traditional(folder / kTraditionalFile);
    while (!traditional.atEnd()) {
        const std::u16string_view line = traditional.readLineView();
        if (line.size() == 2)
            data.simplified[line[0]] = line[1];
    }
    return data;
}

int64_t CheckResult::count(Severity severity) const {
    int64_t n = 0;
    for (const CheckInfo &c : kChecks)
        if (c.severity == severity)
            n += counts[size_t(c.check)];
    return n;
}

int64_t CheckResult::unfixedErrors() const {
    return std::count_if(findings.begin(), findings.end(), [](const Finding &f) {
        return checkInfo(f.check).severity == Severity::Error && !f.fixable;
    });
}

// One file's pass: the line checks, and what the fixes of the file need.
class LexiconCheck::FileRun {
public:
    FileRun(LexiconCheck &owner, fs::path path, size_t file, Format format)
        : m_owner(owner), m_path(std::move(path)), m_file(file), m_format(format), m_reader(format),
          m_examiner(format) {}

    void run();
    FixResult fix(const fs::path &output);

private:
    struct Group {
        int64_t first, kept;
        std::optional<double> weight;      // the kept line's
        std::optional<double> firstWeight; // the first line's
        size_t keyBegin, keyLength;        // in m_keys
    };
    // The group of m_key, made when it is new (`fresh`).
    uint32_t groupOf(int64_t n, std::optional<double> weight, bool &fresh);
    uint64_t seenHash(std::u16string_view word, const Syllables &syllables);

    bool on(Check c) const { return m_owner.m_options.checks[size_t(c)]; }
    void add(int64_t line, Check check, std::u16string_view word, std::string message,
             bool fixable = false);
    void checkLine(std::u16string_view text, int64_t n);
    void checkCodes(std::u16string_view text, int64_t n, std::u16string_view word,
                    std::u16string_view rawCode, const std::vector<std::u16string_view> &chars,
                    bool weightIsZero);
    void checkWord(int64_t n, std::u16string_view word, size_t chars);
    void checkDuplicate(int64_t n, std::u16string_view word, std::optional<double> weight);
    void checkReadings(int64_t n, std::u16string_view word,
                       const std::vector<std::u16string_view> &chars, const Syllables &syllables,
                       bool weightIsZero);

    LexiconCheck &m_owner;
    fs::path m_path;
    size_t m_file;
    Format m_format;
    FormatReader m_reader;
    CodeExaminer m_examiner;

    // Per line, the verdicts of its codes and the key of its entry.
    std::vector<CodeVerdict> m_verdicts;
    std::u16string m_key;
    std::vector<std::u16string_view> m_chars, m_syllableChars; // of the line's word
    std::u16string m_fixedLine;
    bool m_lineFixed = false;
    bool m_percent = false; // the line's weight is a share ("0%")
    std::string m_fixNote;

    Ue m_ue = Ue::None;
    int64_t m_ueLine = 0;
    int64_t m_zero = 0, m_zeroLine = 0, m_missing = 0, m_missingLine = 0;
    // Entries by word and code: the keys in one buffer, groups found by the key's hash.
    std::u16string m_keys;
    std::vector<Group> m_groupList;
    HashSlots m_groupIndex;
    std::unordered_map<int64_t, std::pair<std::u16string, std::string>> m_fixes;
    std::unordered_map<int64_t, uint32_t> m_dropped; // line, its group

    // Words read otherwise than usual, and every word's readings met (word, unit separator,
    // syllables).
    struct Unusual {
        int64_t line;
        std::u16string word;
        Syllables syllables; // the usual ones
        std::string message;
    };
    std::vector<Unusual> m_unusual;
    // Words with traditional characters: findings only in a lexicon of simplified ones.
    std::vector<Unusual> m_traditional;
    int64_t m_entries = 0;
    HashSlots m_readingsSeen; // hashes of word, unit separator, syllables
    std::u16string m_seenKey;

    WordReview m_review;
    std::u16string m_reviewLine;
    ReviewScratch m_reviewWork;
};

void LexiconCheck::FileRun::add(int64_t line, Check check, std::u16string_view word,
                                std::string message, bool fixable) {
    CheckResult &r = m_owner.m_result;
    ++r.counts[size_t(check)];
    r.findings.push_back(
        Finding{m_file, line, check, fixable, std::u16string(word), std::move(message)});
}

void LexiconCheck::FileRun::run() {
    LineStream in(m_path);
    // About one entry per 24 bytes: the tables by entry are sized once.
    const size_t entries = size_t(in.size() / 24);
    m_groupIndex.reserve(entries);
    m_groupList.reserve(entries);
    m_keys.reserve(entries * 8);
    if (on(Check::ReviewReading))
        m_readingsSeen.reserve(entries);
    std::u16string_view line;
    EventPump &pump = m_owner.m_pump;
    const size_t firstFinding = m_owner.m_result.findings.size();
    while (in.next(line)) {
        const int64_t n = in.lineNumber();
        ++m_owner.m_result.lines;
        checkLine(line, n);
        if ((n & 4095) == 0)
            pump.setProgress(int64_t(in.bytesRead()), int64_t(in.size()));
        if (pump.yield()) {
            m_owner.m_result.stopped = true;
            break;
        }
    }
    for (const Unusual &u : m_unusual)
        if (m_readingsSeen.value(m_readingsSeen.find(seenHash(u.word, u.syllables), any)) ==
            HashSlots::kFree)
            add(u.line, Check::ReviewReading, u.word, u.message);
    // A lexicon where more than one entry in ten holds traditional characters is a lexicon of
    // traditional characters (luna_pinyin): they are no fault there.
    if (int64_t(m_traditional.size()) * 10 <= m_entries)
        for (const Unusual &u : m_traditional)
            add(u.line, Check::Traditional, u.word, u.message);
    if (on(Check::WeightZero) && m_zero > 0 && m_missing > 0)
        add(m_zeroLine, Check::WeightZero, {},
            "权重为 0 的词条（" + std::to_string(m_zero) + " 条）与未写权重的词条（" +
                std::to_string(m_missing) + " 条，首见第 " + std::to_string(m_missingLine) +
                " 行）混用，两者都排在最后，可能漏写了权重");
    auto &findings = m_owner.m_result.findings;
    std::stable_sort(findings.begin() + ptrdiff_t(firstFinding), findings.end(),
                     [](const Finding &a, const Finding &b) { return a.line < b.line; });
}

void LexiconCheck::FileRun::checkLine(std::u16string_view text, int64_t n) {
    ParsedLine &p = m_reader.parse(text);
    if (p.kind == LineKind::Skip || p.kind == LineKind::Deleted)
        return;
    m_lineFixed = false;
    m_percent = false;
    m_fixNote.clear();
    std::u16string_view word;
    std::optional<double> weight;
    std::u16string quilloWord;
    if (m_format == Format::Quillo) {
        // The standard lexicon's letters stand after each character: read them here, so that a
        // line the reader refuses for its pinyin is checked like any other.
        size_t body = 0;
        weight = trailingWeight(text, body);
        const std::u16string_view b = text.substr(0, body);
        if (b.empty() || b[0] < 0x80) {
            if (!b.empty() && (b[0] == u';' || b[0] == u'#'))
                return;
            if (on(Check::Unparsable))
                add(n, Check::Unparsable, {}, "无法解析：不是词条（行首不是汉字）");
            return;
        }
        for (size_t i = 0; i < b.size(); ++i)
            if (b[i] >= 0x80)
                quilloWord.push_back(b[i]);
        word = quilloWord;
    } else if (p.kind == LineKind::Reject) {
        if (on(Check::Unparsable))
            add(n, Check::Unparsable, {}, std::string("无法解析：") + (p.reason ? p.reason : ""));
        return;
    } else {
        word = p.entry.word;
        weight = p.entry.weight;
        // Rime's "N%" is a share of the preset weight: "0%" marks a reading kept out of use on
        // purpose (the rare readings the shipped data leaves out too), not a missing weight.
        m_percent = !p.entry.weightText.empty() && p.entry.weightText.back() == u'%';
    }
    ++m_owner.m_result.entries;
    ++m_entries;
    charactersOf(word, m_chars);
    const std::vector<std::u16string_view> &chars = m_chars;
    checkWord(n, word, chars.size());
    m_key.assign(word);
    m_key.push_back(u'\x1f');
    checkCodes(text, n, word, m_format == Format::Quillo ? u"" : p.entry.rawCode,
               (syllableCharacters(chars, m_syllableChars), m_syllableChars),
               weight && *weight == 0);

    if (formatInfo(m_format).weight == WeightKind::Count) {
        if (!weight) {
            if (m_missing++ == 0)
                m_missingLine = n;
        } else if (*weight == 0 && !m_percent) {
            if (m_zero++ == 0)
                m_zeroLine = n;
        }
    }
    const CheckOptions &o = m_owner.m_options;
    if (o.prepareFix || on(Check::Duplicate) || on(Check::WeightConflict))
        checkDuplicate(n, word, weight);
    if (m_lineFixed && o.prepareFix)
        m_fixes.emplace(n, std::make_pair(m_fixedLine, m_fixNote));
}

void LexiconCheck::FileRun::checkWord(int64_t n, std::u16string_view word, size_t chars) {
    const CheckOptions &o = m_owner.m_options;
    if (on(Check::LongWord) && chars > o.longWord)
        add(n, Check::LongWord, word,
            "「" + utf8(word) + "」有 " + std::to_string(chars) + " 个字，超过 " +
                std::to_string(o.longWord) + " 个");
    bool han = false, latin = false;
    std::string outside, odd, traditional;
    forEachCodePoint(word, [&](char32_t cp, std::u16string_view unit) {
        UErrorCode status = U_ZERO_ERROR;
        if (uscript_getScript(UChar32(cp), &status) == USCRIPT_HAN)
            han = true;
        else if ((cp < 0x80 && std::isalnum(int(cp))) || (cp >= 0xFF10 && cp <= 0xFF5A))
            latin = true;
        const int8_t type = u_charType(UChar32(cp));
        if (type == U_PRIVATE_USE_CHAR || type == U_UNASSIGNED || type == U_SURROGATE)
            odd += (odd.empty() ? "" : "、") + hexCode(cp) +
                   (type == U_PRIVATE_USE_CHAR ? "（私用区）" : "（未分配）");
        if (unit.size() == 1 && m_owner.m_data.simplified[unit[0]])
            traditional += (traditional.empty() ? "" : "、") + utf8(unit) + "（简体作“" +
                           utf8(std::u16string_view(&m_owner.m_data.simplified[unit[0]], 1)) +
                           "”）";
        if (o.charset == Charset::Any || cp < 0x80)
            return;
        bool in = false;
        if (unit.size() == 1) {
            if (o.charset == Charset::Gb2312)
                in = inGb2312(unit[0]);
            else if (o.charset == Charset::Gbk)
                in = isDoubleByte(unit[0]);
            else
                in = m_owner.m_charsetFile[unit[0]];
        }
        if (!in)
            outside +=
                (outside.empty() ? "" : "、") +
                (type == U_PRIVATE_USE_CHAR || type == U_UNASSIGNED ? hexCode(cp) : utf8(unit));
    });
    if (on(Check::MixedScript) && han && latin)
        add(n, Check::MixedScript, word, "「" + utf8(word) + "」汉字与字母或数字混排");
    // A character table lists every character it lets users type (pinyin_simp holds 2,701
    // traditional ones): only words are judged.
    if (on(Check::Traditional) && !traditional.empty() && chars > 1)
        m_traditional.push_back(
            {n, std::u16string(word), {}, "「" + utf8(word) + "」含繁体字 " + traditional});
    if (on(Check::PrivateUse) && !odd.empty())
        add(n, Check::PrivateUse, word, "「" + utf8(word) + "」含 " + odd);
    if (on(Check::Charset) && !outside.empty()) {
        const char *name = o.charset == Charset::Gb2312 ? "GB2312"
                           : o.charset == Charset::Gbk  ? "GBK"
                                                        : "所给字符表";
        add(n, Check::Charset, word, "「" + outside + "」不在 " + name + " 之内");
    }
}

void LexiconCheck::FileRun::checkCodes(std::u16string_view text, int64_t n,
                                       std::u16string_view word, std::u16string_view rawCode,
                                       const std::vector<std::u16string_view> &chars,
                                       bool weightIsZero) {
    // The spans of the line that hold codes, each for `chars` characters: in the standard
    // lexicon the letters after each character, elsewhere the code field.
    struct Span {
        size_t begin, end, chars;
    };
    std::vector<Span> spans;
    bool located = true;
    if (m_format == Format::Quillo) {
        size_t body = 0;
        trailingWeight(text, body);
        size_t withLetters = 0;
        for (size_t i = 0; i < body;) {
            const size_t j = i + (isHigh(text[i]) && i + 1 < body ? 2 : 1);
            size_t k = j;
            while (k < body && text[k] < 0x80)
                ++k;
            size_t b = j, e = k;
            while (b < e && (text[b] == u' ' || text[b] == u'\t'))
                ++b;
            while (e > b && (text[e - 1] == u' ' || text[e - 1] == u'\t'))
                --e;
            withLetters += e > b;
            spans.push_back({b, e, 1});
            i = k;
        }
        if (withLetters == 0)
            return;
        if (withLetters < chars.size() && on(Check::CountMismatch))
            add(n, Check::CountMismatch, word,
                "「" + utf8(word) + "」有 " + std::to_string(chars.size()) + " 个字，只有 " +
                    std::to_string(withLetters) + " 个字注了拼音");
    } else {
        if (rawCode.empty())
            return;
        const size_t at = text.find(rawCode);
        located = at != std::u16string_view::npos;
        spans.push_back({located ? at : 0, located ? at + rawCode.size() : 0, chars.size()});
    }
    // ASCII and its full-width forms in a word (T恤, 卡拉OK, 美國５１區) have no syllable a code
    // could give: the word is noted as mixed script, its code taken as it is.
    const bool ascii = std::any_of(word.begin(), word.end(), [](char16_t c) {
        return c < 0x80 || (c >= 0xFF01 && c <= 0xFF5E);
    });

    Syllables syllables;
    std::vector<std::string> spelling;
    bool fixable = true;
    std::string count;
    Ue ue = Ue::None;
    m_fixedLine.assign(text);
    for (const Span &s : spans) {
        const std::u16string_view code = located ? text.substr(s.begin, s.end - s.begin) : rawCode;
        if (!m_key.empty() && m_key.back() != u'\x1f')
            m_key.push_back(u' ');
        if (code.empty()) {
            syllables.emplace_back();
            continue;
        }
        if (ascii) {
            m_key.append(code);
            continue;
        }
        CodeVerdict v;
        m_examiner.examine(code, s.chars, m_format == Format::Quillo, v);
        spelling.insert(spelling.end(), v.spelling.begin(), v.spelling.end());
        fixable = fixable && v.spellingFixable;
        if (!v.countMessage.empty() && count.empty())
            count = v.countMessage;
        if (ue == Ue::None)
            ue = v.ue;
        if (v.syllables.size() == s.chars)
            syllables.insert(syllables.end(), v.syllables.begin(), v.syllables.end());
        else
            syllables.resize(syllables.size() + s.chars);
        m_key.append(v.key.empty() ? std::u16string_view(v.fixed) : std::u16string_view(v.key));
        if (located)
            m_fixedLine.replace(s.begin, s.end - s.begin, v.fixed);
    }
    if (ascii)
        return;
    if (on(Check::InvalidSyllable) && !spelling.empty()) {
        std::string message = "「" + utf8(word) + "」";
        for (size_t i = 0; i < spelling.size(); ++i)
            message += (i ? "；" : "") + spelling[i];
        add(n, Check::InvalidSyllable, word, message, fixable && located);
    }
    if (on(Check::CountMismatch) && !count.empty())
        add(n, Check::CountMismatch, word, "「" + utf8(word) + "」有 " + count);
    if (ue != Ue::None) {
        const std::string written = utf8(ueLetters(ue));
        if (m_ue == Ue::None) {
            m_ue = ue;
            m_ueLine = n;
        }
        if (on(Check::UeSpelling)) {
            if (ue != m_ue)
                add(n, Check::UeSpelling, word,
                    "「" + utf8(word) + "」的 üe 写作“" + written + "”，第 " +
                        std::to_string(m_ueLine) + " 行写作“" + utf8(ueLetters(m_ue)) +
                        "”：同一词库中混用",
                    located);
            else if (m_format == Format::Fcitx5 && ue != Ue::V)
                add(n, Check::UeSpelling, word,
                    "「" + utf8(word) + "」的 üe 写作“" + written +
                        "”：fcitx5（libime）不接受，整个词库都会载入失败；应写作“ve”",
                    located);
        }
    }
    if (located && m_fixedLine != text) {
        m_lineFixed = true;
        m_fixNote = "改写编码";
    }
    if (spelling.empty() && count.empty())
        checkReadings(n, word, chars, syllables, weightIsZero);
}

void LexiconCheck::FileRun::checkReadings(int64_t n, std::u16string_view word,
                                          const std::vector<std::u16string_view> &chars,
                                          const Syllables &syllables, bool weightIsZero) {
    if (syllables.size() != chars.size())
        return;
    const CharReadings &readings = m_owner.m_data.readings;
    std::string unknown;
    bool complete = true;
    for (size_t i = 0; i < chars.size(); ++i) {
        if (syllables[i].empty()) {
            complete = false;
            continue;
        }
        if (chars[i].size() != 1)
            continue;
        const char16_t ch = chars[i][0];
        const std::span<const std::u16string> known = readings.of(ch);
        if (known.empty() || readings.has(ch, syllables[i]))
            continue;
        std::string list;
        for (const std::u16string &r : known)
            list += (list.empty() ? "" : "、") + utf8(r);
        unknown += (unknown.empty() ? "" : "；") + std::string("「") + utf8(chars[i]) +
                   "」没有读音“" + syllables[i] + "”（已知读音：" + list + "）";
    }
    if (on(Check::ReviewReading) && chars.size() > 1) {
        const uint64_t h = seenHash(word, syllables);
        const size_t slot = m_readingsSeen.find(h, any);
        if (m_readingsSeen.value(slot) == HashSlots::kFree)
            m_readingsSeen.fill(slot, h, 0);
    }
    if (!unknown.empty()) {
        if (on(Check::UnknownReading) && !(m_percent && weightIsZero))
            add(n, Check::UnknownReading, word, unknown);
        return;
    }
    // A single character's entries list its readings one by one: no word decides among them.
    if (!complete || chars.size() < 2 || !on(Check::ReviewReading))
        return;
    const AnnotationData &a = m_owner.m_data.annotation;
    reviewWord(word, *a.dictionary, *a.wordTable, *a.review, m_review, m_reviewLine, m_reviewWork);
    if (m_review.readings.size() != chars.size())
        return;
    bool differs = false;
    for (size_t i = 0; i < chars.size() && !differs; ++i)
        differs = !m_review.accepts(i, u16(syllables[i]));
    if (!differs)
        return;
    std::string given, usual;
    Syllables usualSyllables;
    for (size_t i = 0; i < chars.size(); ++i) {
        given += (i ? " " : "") + syllables[i];
        usualSyllables.push_back(m_review.readings[i].empty() ? syllables[i]
                                                              : utf8(m_review.readings[i]));
        usual += (i ? " " : "") + usualSyllables.back();
    }
    // Decided at the end of the file: a word the file also lists with the usual reading is a
    // variant on purpose (pinyin_simp's 那种 nei zhong beside na zhong).
    m_unusual.push_back({n, std::u16string(word), std::move(usualSyllables),
                         "「" + utf8(word) + "」注音为 " + given + "，通常读 " + usual});
}

void LexiconCheck::FileRun::checkDuplicate(int64_t n, std::u16string_view word,
                                           std::optional<double> weight) {
    bool fresh = false;
    const uint32_t group = groupOf(n, weight, fresh);
    if (fresh)
        return;
    Group &g = m_groupList[group];
    const std::optional<double> first = g.firstWeight;
    auto shown = [](const std::optional<double> &w) { return w ? weightString(*w) : "无"; };
    if (first == weight) {
        if (on(Check::Duplicate))
            add(n, Check::Duplicate, word,
                "「" + utf8(word) + "」与第 " + std::to_string(g.first) + " 行重复", true);
    } else if (on(Check::WeightConflict)) {
        add(n, Check::WeightConflict, word,
            "「" + utf8(word) + "」与第 " + std::to_string(g.first) +
                " 行的词与编码相同，权重不同（" + shown(first) + " 与 " + shown(weight) + "）",
            true);
    }
    const bool better = weight && (!g.weight || *weight > *g.weight);
    const int64_t dropped = better ? g.kept : n;
    if (better) {
        g.kept = n;
        g.weight = weight;
    }
    if (m_owner.m_options.prepareFix)
        m_dropped[dropped] = group;
}

uint32_t LexiconCheck::FileRun::groupOf(int64_t n, std::optional<double> weight, bool &fresh) {
    const uint64_t h = std::hash<std::u16string_view>()(m_key);
    const size_t slot = m_groupIndex.find(h, [&](uint32_t g) {
        const Group &group = m_groupList[g];
        return std::u16string_view(m_keys).substr(group.keyBegin, group.keyLength) == m_key;
    });
    if (m_groupIndex.value(slot) != HashSlots::kFree)
        return m_groupIndex.value(slot);
    const auto group = uint32_t(m_groupList.size());
    m_groupList.push_back({n, n, weight, weight, m_keys.size(), m_key.size()});
    m_keys += m_key;
    m_groupIndex.fill(slot, h, group);
    fresh = true;
    return group;
}

uint64_t LexiconCheck::FileRun::seenHash(std::u16string_view word, const Syllables &syllables) {
    m_seenKey.assign(word);
    for (const std::string &syl : syllables) {
        m_seenKey.push_back(u'\x1f');
        m_seenKey.append(syl.begin(), syl.end());
    }
    return std::hash<std::u16string_view>()(m_seenKey);
}

FixResult LexiconCheck::FileRun::fix(const fs::path &output) {
    FixResult result;
    LineStream in(m_path);
    LineWriter writer(output, detectTextFormat(m_path), &m_owner.m_pump.context());
    std::u16string_view line;
    while (in.next(line)) {
        const int64_t n = in.lineNumber();
        if (auto d = m_dropped.find(n); d != m_dropped.end()) {
            result.changes.push_back(
                {n,
                 std::u16string(line),
                 {},
                 "删除重复词条，保留第 " + std::to_string(m_groupList[d->second].kept) + " 行"});
        } else if (auto f = m_fixes.find(n); f != m_fixes.end()) {
            writer.writeLine(f->second.first);
            ++result.written;
            result.changes.push_back({n, std::u16string(line), f->second.first, f->second.second});
        } else {
            writer.writeLine(line);
            ++result.written;
        }
        m_owner.m_pump.yield();
    }
    writer.close();
    std::sort(result.changes.begin(), result.changes.end(),
              [](const FixChange &a, const FixChange &b) { return a.line < b.line; });
    return result;
}

LexiconCheck::LexiconCheck(CheckOptions options, const CheckData &data, EventPump &pump)
    : m_options(std::move(options)), m_data(data), m_pump(pump) {
    if (m_options.charset == Charset::File) {
        if (!fileExists(m_options.charsetFile))
            throw LexError("文件不存在：" + pathText(m_options.charsetFile), m_options.charsetFile);
        LineReader reader(m_options.charsetFile);
        while (!reader.atEnd())
            for (char16_t c : reader.readLineView())
                m_charsetFile.set(c);
    }
    if (m_options.charset == Charset::Any)
        m_options.checks.reset(size_t(Check::Charset));
}

LexiconCheck::~LexiconCheck() = default;

void LexiconCheck::checkFile(const fs::path &path, const std::string &shownName) {
    if (!fileExists(path))
        throw LexError("文件不存在：" + pathText(path), path);
    const std::optional<Format> format = m_options.from ? m_options.from : detectFormat(path);
    if (!format)
        throw LexError("无法识别词库格式：" + pathText(path) + "（可用 --from 指定）", path);
    m_result.files.push_back(shownName);
    m_last = std::make_unique<FileRun>(*this, path, m_result.files.size() - 1, *format);
    m_last->run();
}

std::u16string lineAt(const fs::path &path, int64_t line) {
    LineStream in(path);
    std::u16string_view text;
    while (in.next(text))
        if (in.lineNumber() == line)
            return std::u16string(text);
    return {};
}

CheckResult LexiconCheck::takeResult() {
    return std::move(m_result);
}

FixResult LexiconCheck::fixLastFile(const fs::path &output) {
    if (!m_last || !m_options.prepareFix)
        return {};
    return m_last->fix(output);
}

} // namespace lex::lexcheck
