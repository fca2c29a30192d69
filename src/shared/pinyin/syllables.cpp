#include "shared/pinyin/syllables.h"

#include <algorithm>
#include <array>
#include <functional>

namespace lex::pinyin {
namespace {

// Sorted, for a binary search.
constexpr std::array kSyllables = {
    "a",     "ai",     "an",    "ang",   "ao",    "ba",    "bai",    "ban",   "bang",   "bao",
    "bei",   "ben",    "beng",  "bi",    "bian",  "biang", "biao",   "bie",   "bin",    "bing",
    "bo",    "bu",     "ca",    "cai",   "can",   "cang",  "cao",    "ce",    "cei",    "cen",
    "ceng",  "cha",    "chai",  "chan",  "chang", "chao",  "che",    "chen",  "cheng",  "chi",
    "chong", "chou",   "chu",   "chua",  "chuai", "chuan", "chuang", "chui",  "chun",   "chuo",
    "ci",    "cong",   "cou",   "cu",    "cuan",  "cui",   "cun",    "cuo",   "da",     "dai",
    "dan",   "dang",   "dao",   "de",    "dei",   "den",   "deng",   "di",    "dia",    "dian",
    "diao",  "die",    "din",   "ding",  "diu",   "dong",  "dou",    "du",    "duan",   "dui",
    "dun",   "duo",    "e",     "eh",    "ei",    "en",    "eng",    "er",    "fa",     "fan",
    "fang",  "fei",    "fen",   "feng",  "fiao",  "fo",    "fong",   "fou",   "fu",     "ga",
    "gai",   "gan",    "gang",  "gao",   "ge",    "gei",   "gen",    "geng",  "gong",   "gou",
    "gu",    "gua",    "guai",  "guan",  "guang", "gui",   "gun",    "guo",   "ha",     "hai",
    "han",   "hang",   "hao",   "he",    "hei",   "hen",   "heng",   "hm",    "hng",    "hong",
    "hou",   "hu",     "hua",   "huai",  "huan",  "huang", "hui",    "hun",   "huo",    "ji",
    "jia",   "jian",   "jiang", "jiao",  "jie",   "jin",   "jing",   "jiong", "jiu",    "ju",
    "juan",  "jue",    "jun",   "ka",    "kai",   "kan",   "kang",   "kao",   "ke",     "kei",
    "ken",   "keng",   "kong",  "kou",   "ku",    "kua",   "kuai",   "kuan",  "kuang",  "kui",
    "kun",   "kuo",    "la",    "lai",   "lan",   "lang",  "lao",    "le",    "lei",    "leng",
    "li",    "lia",    "lian",  "liang", "liao",  "lie",   "lin",    "ling",  "liu",    "lo",
    "long",  "lou",    "lu",    "luan",  "lue",   "lun",   "luo",    "lv",    "lvan",   "m",
    "ma",    "mai",    "man",   "mang",  "mao",   "me",    "mei",    "men",   "meng",   "mi",
    "mian",  "miao",   "mie",   "min",   "ming",  "miu",   "mo",     "mou",   "mu",     "n",
    "na",    "nai",    "nan",   "nang",  "nao",   "ne",    "nei",    "nen",   "neng",   "ng",
    "ni",    "nia",    "nian",  "niang", "niao",  "nie",   "nin",    "ning",  "niu",    "nong",
    "nou",   "nu",     "nuan",  "nue",   "nun",   "nuo",   "nv",     "o",     "ou",     "pa",
    "pai",   "pan",    "pang",  "pao",   "pei",   "pen",   "peng",   "pi",    "pia",    "pian",
    "piao",  "pie",    "pin",   "ping",  "po",    "pou",   "pu",     "qi",    "qia",    "qian",
    "qiang", "qiao",   "qie",   "qin",   "qing",  "qiong", "qiu",    "qu",    "quan",   "que",
    "qun",   "r",      "ran",   "rang",  "rao",   "re",    "ren",    "reng",  "ri",     "rong",
    "rou",   "ru",     "rua",   "ruan",  "rui",   "run",   "ruo",    "sa",    "sai",    "san",
    "sang",  "sao",    "se",    "sei",   "sen",   "seng",  "sha",    "shai",  "shan",   "shang",
    "shao",  "she",    "shei",  "shen",  "sheng", "shi",   "shou",   "shu",   "shua",   "shuai",
    "shuan", "shuang", "shui",  "shun",  "shuo",  "si",    "song",   "sou",   "su",     "suan",
    "sui",   "sun",    "suo",   "ta",    "tai",   "tan",   "tang",   "tao",   "te",     "tei",
    "teng",  "ti",     "tian",  "tiao",  "tie",   "ting",  "tong",   "tou",   "tu",     "tuan",
    "tui",   "tun",    "tuo",   "wa",    "wai",   "wan",   "wang",   "wei",   "wen",    "weng",
    "wo",    "wong",   "wu",    "xi",    "xia",   "xian",  "xiang",  "xiao",  "xie",    "xin",
    "xing",  "xiong",  "xiu",   "xu",    "xuan",  "xue",   "xun",    "ya",    "yai",    "yan",
    "yang",  "yao",    "ye",    "yi",    "yin",   "ying",  "yo",     "yong",  "you",    "yu",
    "yuan",  "yue",    "yun",   "za",    "zai",   "zan",   "zang",   "zao",   "ze",     "zei",
    "zen",   "zeng",   "zha",   "zhai",  "zhan",  "zhang", "zhao",   "zhe",   "zhei",   "zhen",
    "zheng", "zhi",    "zhong", "zhou",  "zhu",   "zhua",  "zhuai",  "zhuan", "zhuang", "zhui",
    "zhun",  "zhuo",   "zi",    "zong",  "zou",   "zu",    "zuan",   "zui",   "zun",    "zuo",
};

// A letter of a code in the suite form: tone marks dropped, upper case lowered, ü as v; 0 for
// a character that ends a syllable, -1 for one that has no place in a code.
int codeLetter(char16_t c) {
    if (c >= u'a' && c <= u'z')
        return c;
    if (c >= u'A' && c <= u'Z')
        return c - u'A' + u'a';
    switch (c) {
    case u' ':
    case u'\'':
    case u'\u2019':
    case u'-':
    case u'1':
    case u'2':
    case u'3':
    case u'4':
    case u'5':
        return 0;
    case u'ā':
    case u'á':
    case u'ǎ':
    case u'à':
    case u'Ā':
    case u'Á':
    case u'Ǎ':
    case u'À':
        return 'a';
    case u'ē':
    case u'é':
    case u'ě':
    case u'è':
    case u'Ē':
    case u'É':
    case u'Ě':
    case u'È':
    case u'ê':
    case u'Ê':
    case u'ế':
    case u'ề':
        return 'e';
    case u'ī':
    case u'í':
    case u'ǐ':
    case u'ì':
    case u'Ī':
    case u'Í':
    case u'Ǐ':
    case u'Ì':
        return 'i';
    case u'ō':
    case u'ó':
    case u'ǒ':
    case u'ò':
    case u'Ō':
    case u'Ó':
    case u'Ǒ':
    case u'Ò':
        return 'o';
    case u'ū':
    case u'ú':
    case u'ǔ':
    case u'ù':
    case u'Ū':
    case u'Ú':
    case u'Ǔ':
    case u'Ù':
        return 'u';
    case u'ü':
    case u'ǖ':
    case u'ǘ':
    case u'ǚ':
    case u'ǜ':
    case u'Ü':
    case u'Ǖ':
    case u'Ǘ':
    case u'Ǚ':
    case u'Ǜ':
        return 'v';
    case u'ḿ':
    case u'Ḿ':
        return 'm';
    case u'ń':
    case u'ň':
    case u'ǹ':
    case u'Ń':
    case u'Ň':
    case u'Ǹ':
        return 'n';
    default:
        return -1;
    }
}

// The suite form of a run of letters that is one syllable: j q x y take u for ü, and üe after
// l and n is written ue.
std::string canonical(std::string s) {
    if (!s.empty() && (s[0] == 'j' || s[0] == 'q' || s[0] == 'x' || s[0] == 'y'))
        std::replace(s.begin(), s.end(), 'v', 'u');
    if (s == "lve" || s == "nve")
        s[1] = 'u';
    return s;
}

// The runs of letters between separators, in the suite's letters; nullopt when the code holds a
// character that has no place in pinyin.
std::optional<std::vector<std::string>> pieces(std::u16string_view code) {
    std::vector<std::string> out;
    std::string cur;
    for (size_t i = 0; i < code.size(); ++i) {
        const char16_t c = code[i];
        if (c >= 0x300 && c <= 0x36F) { // a combining mark: the diaeresis makes u a ü
            if (c == 0x308 && !cur.empty() && cur.back() == 'u')
                cur.back() = 'v';
            continue;
        }
        if (c == u':' && !cur.empty() && cur.back() == 'u') { // u: for ü
            cur.back() = 'v';
            continue;
        }
        const int l = codeLetter(c);
        if (l < 0)
            return std::nullopt;
        if (l == 0) {
            if (!cur.empty())
                out.push_back(std::move(cur));
            cur.clear();
        } else {
            cur += char(l);
        }
    }
    if (!cur.empty())
        out.push_back(std::move(cur));
    return out;
}

// Every split of `piece` into syllables, longest first syllables first, at most `limit`.
void splitsOf(const std::string &piece, size_t at, Syllables &cur, std::vector<Syllables> &out,
              size_t limit) {
    if (out.size() >= limit)
        return;
    if (at == piece.size()) {
        out.push_back(cur);
        return;
    }
    for (size_t len = std::min<size_t>(6, piece.size() - at); len >= 1; --len) {
        const std::string s = canonical(piece.substr(at, len));
        if (!isSyllable(s))
            continue;
        cur.push_back(s);
        splitsOf(piece, at + len, cur, out, limit);
        cur.pop_back();
    }
}

} // namespace

namespace {

// A syllable of up to six letters as five bits a letter: a sorted table of these is searched
// without touching a string.
uint32_t packed(std::string_view s) {
    if (s.empty() || s.size() > 6)
        return 0;
    uint32_t v = 0;
    for (char c : s) {
        if (c < 'a' || c > 'z')
            return 0;
        v = v << 5 | uint32_t(c - 'a' + 1);
    }
    return v;
}

// The syllables as an open-addressing set of their packed forms: a look-up is a multiply and a
// probe or two.
struct SyllableSet {
    static constexpr size_t kSlots = 2048;
    std::array<uint32_t, kSlots> slots{};
    static size_t slot(uint32_t key) { return (key * 2654435761u) >> 21; }
    SyllableSet() {
        for (const char *s : kSyllables) {
            size_t i = slot(packed(s));
            while (slots[i] != 0)
                i = (i + 1) & (kSlots - 1);
            slots[i] = packed(s);
        }
    }
    bool contains(uint32_t key) const {
        for (size_t i = slot(key);; i = (i + 1) & (kSlots - 1)) {
            if (slots[i] == key)
                return true;
            if (slots[i] == 0)
                return false;
        }
    }
};

const SyllableSet &syllableSet() {
    static const SyllableSet set;
    return set;
}

// canonical() on letters in place.
void canonicalInPlace(char *s, size_t len) {
    if (s[0] == 'j' || s[0] == 'q' || s[0] == 'x' || s[0] == 'y')
        std::replace(s, s + len, 'v', 'u');
    if (len == 3 && (s[0] == 'l' || s[0] == 'n') && s[1] == 'v' && s[2] == 'e')
        s[1] = 'u';
}

} // namespace

bool isSyllable(std::string_view syllable) {
    const uint32_t key = packed(syllable);
    return key != 0 && syllableSet().contains(key);
}

bool libimeKnows(std::string_view syllable) {
    static const std::vector<uint32_t> unknown = [] {
        std::vector<uint32_t> t;
        for (const char *s :
             {"cei", "din", "eh", "fong", "hm", "hng", "lvan", "pia", "sei", "wong", "yai"})
            t.push_back(packed(s));
        return t;
    }();
    // Most syllables are told apart by their length and first letter alone.
    if (syllable.size() < 2 || syllable.size() > 4 ||
        std::string_view("cdefhlpswy").find(syllable[0]) == std::string_view::npos)
        return true;
    return std::find(unknown.begin(), unknown.end(), packed(syllable)) == unknown.end();
}

SplitResult splitSeparated(std::u16string_view code, Syllables &out) {
    out.clear();
    char cur[8];
    size_t len = 0;
    bool separated = false, tooLong = false;
    auto end = [&]() {
        if (len == 0)
            return true;
        if (tooLong)
            return false;
        canonicalInPlace(cur, len);
        if (!isSyllable(std::string_view(cur, len)))
            return false;
        out.emplace_back(cur, len);
        len = 0;
        return true;
    };
    for (size_t i = 0; i < code.size(); ++i) {
        const char16_t c = code[i];
        int l;
        if (c >= 0x300 && c <= 0x36F) { // a combining mark: the diaeresis makes u a ü
            if (c == 0x308 && len > 0 && cur[len - 1] == 'u')
                cur[len - 1] = 'v';
            continue;
        }
        if (c == u':' && len > 0 && cur[len - 1] == 'u') {
            cur[len - 1] = 'v';
            continue;
        }
        if ((l = codeLetter(c)) < 0)
            return SplitResult::NotPinyin;
        if (l == 0) {
            if (len > 0 && i + 1 < code.size())
                separated = true;
            if (!end())
                return SplitResult::NotPinyin;
            continue;
        }
        if (len < sizeof cur)
            cur[len++] = char(l);
        else
            tooLong = true;
    }
    if (!separated) {
        out.clear();
        return SplitResult::OneRun;
    }
    return end() ? SplitResult::Done : SplitResult::NotPinyin;
}

std::optional<std::string> singleSyllable(std::u16string_view run) {
    thread_local Syllables one;
    switch (splitSeparated(run, one)) {
    case SplitResult::Done:
        if (one.size() == 1)
            return one[0];
        return std::nullopt;
    case SplitResult::NotPinyin:
        return std::nullopt;
    case SplitResult::OneRun:
        break;
    }
    const auto runs = pieces(run);
    if (!runs || runs->size() != 1)
        return std::nullopt;
    std::string s = canonical(runs->front());
    if (!isSyllable(s))
        return std::nullopt;
    return s;
}

std::vector<Syllables> splitCode(std::u16string_view code, size_t count, size_t limit,
                                 bool joined) {
    std::vector<Syllables> result;
    const auto runs = pieces(code);
    if (!runs || runs->empty() || count == 0)
        return result;
    // A code with separators has one syllable between each two; only a code without any is
    // split into syllables (custom phrases, fixed-top codes).
    if (runs->size() > 1 || !joined) {
        if (runs->size() != count)
            return result;
        Syllables one;
        for (const std::string &run : *runs) {
            std::string s = canonical(run);
            if (!isSyllable(s))
                return result;
            one.push_back(std::move(s));
        }
        result.push_back(std::move(one));
        return result;
    }
    std::vector<std::vector<Syllables>> options;
    for (const std::string &run : *runs) {
        std::vector<Syllables> splits;
        Syllables cur;
        splitsOf(run, 0, cur, splits, 64);
        if (splits.empty())
            return result;
        options.push_back(std::move(splits));
    }
    Syllables cur;
    std::function<void(size_t)> combine = [&](size_t run) {
        if (result.size() >= limit || cur.size() > count)
            return;
        if (run == options.size()) {
            if (cur.size() == count)
                result.push_back(cur);
            return;
        }
        for (const Syllables &s : options[run]) {
            cur.insert(cur.end(), s.begin(), s.end());
            combine(run + 1);
            cur.resize(cur.size() - s.size());
        }
    };
    combine(0);
    // The interjections m, n, ng, hm, hng and r split many codes wrongly (xian as xia n): readings
    // with fewer of them come first.
    auto rare = [](const Syllables &s) {
        return std::count_if(s.begin(), s.end(), [](const std::string &x) {
            return x == "m" || x == "n" || x == "ng" || x == "hm" || x == "hng" || x == "r";
        });
    };
    std::stable_sort(result.begin(), result.end(),
                     [&](const Syllables &a, const Syllables &b) { return rare(a) < rare(b); });
    return result;
}

Syllables splitCodeAnyCount(std::u16string_view code) {
    const auto runs = pieces(code);
    Syllables out;
    if (!runs)
        return out;
    if (runs->size() > 1) {
        for (const std::string &run : *runs) {
            std::string s = canonical(run);
            if (!isSyllable(s))
                return {};
            out.push_back(std::move(s));
        }
        return out;
    }
    for (const std::string &run : *runs) {
        std::vector<Syllables> splits;
        Syllables cur;
        splitsOf(run, 0, cur, splits, 1);
        if (splits.empty())
            return {};
        out.insert(out.end(), splits[0].begin(), splits[0].end());
    }
    return out;
}

std::string spell(std::string_view syllable, UeSpelling ue) {
    std::string s(syllable);
    if (ue == UeSpelling::Ve && (s == "lue" || s == "nue"))
        s[1] = 'v';
    return s;
}

std::string joinSyllables(const Syllables &syllables, std::string_view separator, UeSpelling ue,
                          bool leading, bool trailing) {
    std::string out;
    if (leading)
        out += separator;
    for (size_t i = 0; i < syllables.size(); ++i) {
        if (i > 0)
            out += separator;
        out += spell(syllables[i], ue);
    }
    if (trailing)
        out += separator;
    return out;
}

} // namespace lex::pinyin
