// encode936: the last step of the data build. Turns UTF-8 text into code page 936 with CR LF
// exactly as the tools' own LineWriter encodes it, and refuses any character without a
// round-trip mapping instead of writing "?" into a shipped data file.
//
//   encode936 IN OUT        UTF-8 lines (LF or CR LF) in, code page 936 lines (CR LF) out
//   encode936 --charset OUT every double-byte character of code page 936 as "HHHH<TAB>ch"
//                           lines (UTF-8), so that scripts select characters by the same table
#include "shared/lexcore/atomic_output.h"
#include "shared/lexcore/cp936.h"
#include "shared/lexcore/lex_error.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace {

int fail(const std::string &message) {
    std::fprintf(stderr, "encode936: %s\n", message.c_str());
    return 1;
}

std::string readFile(const char *path, bool &ok) {
    std::ifstream in(path, std::ios::binary);
    ok = bool(in);
    return ok ? std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>())
              : std::string();
}

// Leaves an identical file untouched, so that the build (which re-checks outputs' times)
// does not redo the later steps when only encode936 itself was relinked.
void writeIfChanged(const char *path, const std::string &bytes) {
    bool exists = false;
    if (readFile(path, exists) == bytes && exists)
        return;
    lex::writeFileAtomically(path, bytes);
}

int writeCharset(const char *outPath) {
    std::string out;
    for (char32_t c = 0x80; c <= 0xFFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF)
            continue;
        const auto ch = char16_t(c);
        if (!lex::isDoubleByte(ch))
            continue;
        char hex[8];
        std::snprintf(hex, sizeof hex, "%04X\t", unsigned(lex::doubleByteCode(ch)));
        out += hex;
        out += lex::toUtf8(std::u16string(1, ch));
        out += '\n';
    }
    writeIfChanged(outPath, out);
    return 0;
}

int encodeFile(const char *inPath, const char *outPath) {
    bool ok = false;
    const std::string bytes = readFile(inPath, ok);
    if (!ok)
        return fail(std::string("cannot read ") + inPath);
    const std::u16string text = lex::fromUtf8(bytes);

    std::u16string converted;
    converted.reserve(text.size() + text.size() / 8);
    size_t lineNo = 1;
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t ch = text[i];
        if (ch == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            continue;
        if (ch == u'\n') {
            converted += u"\r\n";
            ++lineNo;
            continue;
        }
        if (ch == u'\r' || (lex::ansiCode(ch) == 63 && ch != u'?')) {
            std::ostringstream msg;
            msg << inPath << ":" << lineNo << ": U+" << std::hex << std::uppercase << unsigned(ch)
                << " has no code page 936 mapping";
            return fail(msg.str());
        }
        converted += ch;
    }
    if (!converted.empty() && !converted.ends_with(u"\r\n"))
        converted += u"\r\n";
    writeIfChanged(outPath, lex::encode936(converted));
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    try {
        if (argc == 3 && std::string(argv[1]) == "--charset")
            return writeCharset(argv[2]);
        if (argc == 3)
            return encodeFile(argv[1], argv[2]);
        return fail("usage: encode936 IN OUT | encode936 --charset OUT");
    } catch (const lex::LexError &e) {
        return fail(e.message());
    }
}
