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
    Utf8Validator utf8;
    if (!utf8.feed(start))
        return LexiconEncoding::Ansi936;
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
            return LexiconEncoding::Ansi936;
    }
    bool multibyte = utf8.sawMultibyte();
    if (second.joinable()) {
        second.join();
        if (!secondOk)
            return LexiconEncoding::Ansi936;
        multibyte = multibyte || secondMultibyte;
    }
    return utf8.complete() && multibyte ? LexiconEncoding::Utf8 : LexiconEncoding::Ansi936;
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

} // namespace lex
