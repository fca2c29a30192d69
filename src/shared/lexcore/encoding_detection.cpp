#include "shared/lexcore/encoding_detection.h"

#include "shared/lexcore/cp936.h"
#include "shared/lexcore/file_io.h"
#include "shared/lexcore/utf8.h"

#include <atomic>
#include <cstring>
#include <thread>

namespace lex {
namespace fs = std::filesystem;

namespace {

// How the lines of `bytes` that are not plain ASCII read: as valid UTF-8, or not.
struct LineKinds {
    int64_t utf8 = 0, invalid = 0;
};

LineKinds classifyLines(std::string_view bytes) {
    LineKinds kinds;
    for (size_t at = 0; at < bytes.size();) {
        size_t end = bytes.find('\n', at);
        if (end == std::string_view::npos)
            end = bytes.size();
        const std::string_view line = bytes.substr(at, end - at);
        at = end + 1;
        Utf8Validator v;
        if (!v.feed(line) || !v.complete())
            ++kinds.invalid;
        else if (v.sawMultibyte())
            ++kinds.utf8;
    }
    return kinds;
}

// A file that is not all valid UTF-8 is UTF-8 all the same when, of its first lines that are
// not plain ASCII, at least two thirds are valid UTF-8: text in code page 936 reads as valid
// UTF-8 only now and then (a line of a few Chinese characters rarely does), while UTF-8 text
// with a bad byte here and there reads so nearly everywhere.
constexpr size_t kSample = size_t(4) << 20;

bool mostlyUtf8(std::string_view text) {
    if (text.size() >= kSample) // whole lines only
        text = text.substr(0, text.substr(0, kSample).rfind('\n') + 1);
    const LineKinds kinds = classifyLines(text);
    return kinds.utf8 >= 2 * kinds.invalid && kinds.utf8 > 0;
}

bool mostlyUtf8(const Fd &f) {
    std::string sample(kSample, '\0');
    size_t have = 0;
    while (have < kSample) {
        const ssize_t n = ::pread(f.fd, sample.data() + have, kSample - have, off_t(have));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        have += size_t(n);
    }
    return mostlyUtf8(std::string_view(sample.data(), have));
}

// detectEncoding() with or without the UTF-16 mark.
LexiconEncoding detectFileEncoding(const fs::path &path, bool utf16) {
    size_t size = 0;
    Fd f = openForReading(path, size);
    // A code page 936 file is told by its first non-ASCII characters, so the first chunk is
    // small; a UTF-8 one is validated to the end in bigger ones.
    std::vector<char> buf(std::min<size_t>(size + 4, 64 << 10));
    size_t have = 0;
    while (have < 3) {
        const size_t n = readChunk(f, path, buf.data() + have, buf.size() - have);
        if (n == 0)
            break;
        have += n;
    }
    const std::string_view start(buf.data(), have);
    if (utf16 && startsWithMark(start, "\xFF\xFE"))
        return LexiconEncoding::Utf16Le;
    if (startsWithMark(start, "\xEF\xBB\xBF"))
        return LexiconEncoding::Utf8;
    // Bytes that are no UTF-8: code page 936, unless the file is UTF-8 with a few bad bytes.
    const auto invalid = [&f] {
        return mostlyUtf8(f) ? LexiconEncoding::Utf8 : LexiconEncoding::Ansi936;
    };
    Utf8Validator utf8;
    if (!utf8.feed(start))
        return invalid();
    // The rest in two halves at once when it is big: UTF-8 can be checked from any byte that
    // begins a character, so the second half starts at the first such byte after the middle.
    constexpr size_t kChunk = size_t(1) << 20;
    const size_t mid = size > have + 8 * kChunk ? have + (size - have) / 2 : size;
    std::atomic<bool> secondOk{true}, secondMultibyte{false};
    std::thread second;
    size_t split = mid;
    if (mid < size) {
        char probe[4];
        const ssize_t got = ::pread(f.fd, probe, sizeof probe, off_t(mid));
        for (ssize_t i = 0; i < got && (uint8_t(probe[i]) & 0xC0) == 0x80; ++i)
            ++split;
        second = std::thread([&, split] {
            Utf8Validator tail;
            LargeBlock<char> chunk(kChunk);
            bool ok = true;
            for (off_t at = off_t(split); ok && secondOk.load(std::memory_order_relaxed);) {
                const ssize_t n = ::pread(f.fd, chunk.get(), chunk.size(), at);
                if (n <= 0)
                    break;
                at += n;
                ok = tail.feed(std::string_view(chunk.get(), size_t(n)));
            }
            secondOk = ok && secondOk && tail.complete();
            secondMultibyte = tail.sawMultibyte();
        });
    }
    struct Join {
        std::thread &t;
        std::atomic<bool> &ok;
        ~Join() {
            if (t.joinable()) {
                ok = false; // a failure of the first half ends the second early
                t.join();
            }
        }
    } join{second, secondOk};
    LargeBlock<char> big(std::min<size_t>(std::max(size, have) + 4, kChunk));
    for (size_t at = have; at < split;) {
        const size_t n = readChunk(f, path, big.get(), std::min(big.size(), split - at));
        if (n == 0)
            break;
        at += n;
        if (!utf8.feed(std::string_view(big.get(), n)))
            return invalid();
    }
    bool multibyte = utf8.sawMultibyte();
    if (second.joinable()) {
        second.join();
        if (!secondOk)
            return invalid();
        multibyte = multibyte || secondMultibyte;
    }
    if (!utf8.complete())
        return invalid();
    return multibyte ? LexiconEncoding::Utf8 : LexiconEncoding::Ansi936;
}

} // namespace

LexiconEncoding detectEncoding(const fs::path &path) {
    return detectFileEncoding(path, true);
}

LexiconEncoding detectUtf8(const fs::path &path) {
    return detectFileEncoding(path, false);
}

LexiconEncoding detectEncoding(std::string_view bytes, bool utf16) {
    if (utf16 && startsWithMark(bytes, "\xFF\xFE"))
        return LexiconEncoding::Utf16Le;
    if (startsWithMark(bytes, "\xEF\xBB\xBF") || looksUtf8(bytes))
        return LexiconEncoding::Utf8;
    return LexiconEncoding::Ansi936;
}

std::u16string decodeText(std::string_view bytes, bool utf16) {
    std::u16string text;
    switch (detectEncoding(bytes, utf16)) {
    case LexiconEncoding::Utf16Le:
        bytes.remove_prefix(2);
        text.resize((bytes.size() + 1) / 2);
        std::memcpy(text.data(), bytes.data(), bytes.size() & ~size_t(1));
        if (bytes.size() & 1)
            text.back() = 0xFFFD;
        break;
    case LexiconEncoding::Utf8:
        if (startsWithMark(bytes, "\xEF\xBB\xBF"))
            bytes.remove_prefix(3);
        decodeUtf8(bytes, text);
        break;
    case LexiconEncoding::Ansi936:
        decode936(bytes, text);
        break;
    }
    return text;
}

InvalidUtf8Lines findInvalidUtf8(const fs::path &path, bool readAsUtf8) {
    InvalidUtf8Lines found;
    size_t size = 0;
    Fd f = openForReading(path, size);
    LargeBlock<char> chunk(std::min<size_t>(size + 4, size_t(1) << 20));
    // Nearly every file is valid throughout: one quick look says so, line by line only if not.
    // A file that is not read as UTF-8 (UTF-16, code page 936) has no such lines either.
    {
        Utf8Validator whole;
        bool first = true, marked = false;
        for (size_t n; (n = readChunk(f, path, chunk.get(), chunk.size())) > 0; first = false) {
            std::string_view bytes(chunk.get(), n);
            if (first && startsWithMark(bytes, "\xFF\xFE"))
                return found;
            if (first && startsWithMark(bytes, "\xEF\xBB\xBF")) {
                bytes.remove_prefix(3);
                marked = true;
            }
            if (!whole.feed(bytes))
                break;
        }
        if (whole.complete() || (!marked && !readAsUtf8 && !mostlyUtf8(f)))
            return found;
        if (::lseek(f.fd, 0, SEEK_SET) != 0)
            return found;
    }
    std::string carry; // the start of a line that goes on in the next chunk
    int64_t line = 0;
    bool start = true;
    const auto check = [&](std::string_view text) {
        ++line;
        Utf8Validator v;
        if (v.feed(text) && v.complete())
            return;
        if (found.lines++ == 0) {
            found.firstLine = line;
            std::u16string decoded;
            decodeUtf8(text.substr(0, text.size() - (text.ends_with('\r') ? 1 : 0)), decoded);
            found.firstText = toUtf8(decoded);
        }
    };
    for (;;) {
        const size_t n = readChunk(f, path, chunk.get(), chunk.size());
        if (n == 0)
            break;
        std::string_view bytes(chunk.get(), n);
        if (start) {
            // The mark may be cut by the chunk only in a file of one or two bytes.
            if (startsWithMark(bytes, "\xEF\xBB\xBF"))
                bytes.remove_prefix(3);
            start = false;
        }
        for (size_t lf; (lf = bytes.find('\n')) != std::string_view::npos;
             bytes.remove_prefix(lf + 1)) {
            if (carry.empty()) {
                check(bytes.substr(0, lf));
            } else {
                carry.append(bytes.substr(0, lf));
                check(carry);
                carry.clear();
            }
        }
        carry.append(bytes);
    }
    if (!carry.empty())
        check(carry);
    return found;
}

} // namespace lex
