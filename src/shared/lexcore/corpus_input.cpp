#include "shared/lexcore/corpus_input.h"

#include "shared/lexcore/interrupt.h"
#include "shared/lexcore/lex_error.h"

#include <lzma.h>
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace lex {
namespace fs = std::filesystem;

int availableCores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return CPU_COUNT(&set);
    const unsigned n = std::thread::hardware_concurrency();
    return n > 0 ? int(n) : 1;
}

std::string CorpusFile::name() const {
    return isStdin() ? std::string("标准输入") : path.string();
}

Compression compressionOf(const fs::path &path) {
    const std::string ext = path.extension().string();
    if (ext == ".gz")
        return Compression::Gzip;
    if (ext == ".xz")
        return Compression::Xz;
    if (ext == ".zst")
        return Compression::Zstd;
    return Compression::None;
}

namespace {

CorpusFile fileEntry(const fs::path &path, uint64_t size) {
    return {path, size, compressionOf(path)};
}

void addFolder(const fs::path &dir, std::vector<CorpusFile> &out) {
    std::vector<fs::directory_entry> entries;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        entries.push_back(*it);
    if (ec)
        throw LexError(
            "无法读取文件夹：" + dir.string() + "（" + systemErrorText(ec.value()) + "）", dir);
    std::sort(entries.begin(), entries.end(), [](const auto &a, const auto &b) {
        return a.path().filename().native() < b.path().filename().native();
    });
    for (const auto &e : entries) {
        std::error_code kind;
        if (e.is_symlink(kind) && e.is_directory(kind))
            continue;
        if (e.is_directory(kind)) {
            addFolder(e.path(), out);
        } else if (e.is_regular_file(kind)) {
            std::error_code size;
            const auto bytes = e.file_size(size);
            out.push_back(fileEntry(e.path(), size ? 0 : uint64_t(bytes)));
        }
    }
}

} // namespace

std::vector<CorpusFile> listCorpus(const std::vector<std::string> &args) {
    std::vector<CorpusFile> out;
    bool stdinSeen = false;
    for (const std::string &arg : args) {
        if (arg == "-") {
            if (stdinSeen)
                throw LexError("标准输入（-）只能给出一次");
            stdinSeen = true;
            out.push_back(CorpusFile{});
            continue;
        }
        const fs::path path = arg;
        std::error_code ec;
        const fs::file_status st = fs::status(path, ec);
        if (ec || !fs::exists(st))
            throw LexError("找不到文件：" + arg, path);
        if (fs::is_directory(st))
            addFolder(path, out);
        else if (fs::is_regular_file(st))
            out.push_back(fileEntry(path, uint64_t(fs::file_size(path, ec))));
        else
            throw LexError("不是普通文件：" + arg, path);
    }
    return out;
}

// The bytes of the file, raw or decompressed.
struct CorpusReader::Decoder {
    explicit Decoder(const CorpusFile &f) : file(f) {
        if (f.isStdin()) {
            fd = 0;
            return;
        }
        fd = ::open(f.path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (fd < 0) {
            const int err = errno;
            if (err == ENOENT)
                throw LexError("文件不存在：" + f.name(), f.path);
            throw LexError("无法打开文件：" + f.name() + "（" + systemErrorText(err) + "）",
                           f.path);
        }
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            throw LexError("不是普通文件：" + f.name(), f.path);
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    }
    virtual ~Decoder() {
        if (fd > 0)
            ::close(fd);
    }
    Decoder(const Decoder &) = delete;
    Decoder &operator=(const Decoder &) = delete;

    virtual size_t read(char *buf, size_t n) { return readRaw(buf, n); }

    // Bytes of the file itself.
    size_t readRaw(char *buf, size_t n) {
        for (;;) {
            const ssize_t got = ::read(fd, buf, n);
            if (got >= 0) {
                consumed += uint64_t(got);
                return size_t(got);
            }
            if (errno != EINTR)
                throw LexError("无法读取文件：" + file.name() + "（" + systemErrorText(errno) +
                                   "）",
                               file.path);
            checkInterrupt();
        }
    }

    [[noreturn]] void damaged(const std::string &why) const {
        throw LexError("压缩文件已损坏：" + file.name() + "（" + why + "）", file.path);
    }

    CorpusFile file;
    int fd = -1;
    uint64_t consumed = 0;
};

namespace {

constexpr size_t kInput = size_t(1) << 18;

// The input side of the decompressors: the file's bytes a buffer at a time.
struct CompressedInput {
    std::unique_ptr<char[]> data{new char[kInput]};
    bool eof = false;
    bool sawAny = false;
};

struct GzipDecoder : CorpusReader::Decoder {
    explicit GzipDecoder(const CorpusFile &f) : Decoder(f) {
        if (inflateInit2(&z, 15 + 32) != Z_OK) // a gzip or zlib header
            throw LexError("内存不足");
    }
    ~GzipDecoder() override { inflateEnd(&z); }

    size_t read(char *buf, size_t n) override {
        const auto room = uInt(std::min<size_t>(n, 1u << 30));
        z.next_out = reinterpret_cast<Bytef *>(buf);
        z.avail_out = room;
        while (z.avail_out == room) {
            if (z.avail_in == 0 && !in.eof)
                refill();
            if (ended) {
                // A further member may follow; only the end of the file ends the text.
                if (z.avail_in == 0)
                    break;
                inflateReset(&z);
                ended = false;
            }
            const int r = inflate(&z, Z_NO_FLUSH);
            if (r == Z_STREAM_END)
                ended = true;
            else if (r == Z_BUF_ERROR && z.avail_in == 0 && in.eof)
                damaged(in.sawAny ? "文件不完整" : "空文件");
            else if (r == Z_DATA_ERROR || r == Z_NEED_DICT)
                damaged("数据错误");
            else if (r == Z_MEM_ERROR)
                throw LexError("内存不足");
        }
        return size_t(room - z.avail_out);
    }

    void refill() {
        const size_t got = readRaw(in.data.get(), kInput);
        in.eof = got == 0;
        in.sawAny |= got > 0;
        z.next_in = reinterpret_cast<Bytef *>(in.data.get());
        z.avail_in = uInt(got);
    }

    z_stream z{};
    CompressedInput in;
    bool ended = false;
};

struct XzDecoder : CorpusReader::Decoder {
    explicit XzDecoder(const CorpusFile &f) : Decoder(f) {
        if (lzma_stream_decoder(&s, UINT64_MAX, LZMA_CONCATENATED) != LZMA_OK)
            throw LexError("内存不足");
    }
    ~XzDecoder() override { lzma_end(&s); }

    size_t read(char *buf, size_t n) override {
        s.next_out = reinterpret_cast<uint8_t *>(buf);
        s.avail_out = n;
        while (s.avail_out == n && !ended) {
            if (s.avail_in == 0 && !in.eof) {
                const size_t got = readRaw(in.data.get(), kInput);
                in.eof = got == 0;
                s.next_in = reinterpret_cast<const uint8_t *>(in.data.get());
                s.avail_in = got;
            }
            const lzma_ret r = lzma_code(&s, in.eof ? LZMA_FINISH : LZMA_RUN);
            switch (r) {
            case LZMA_OK:
                break;
            case LZMA_STREAM_END:
                ended = true;
                break;
            case LZMA_MEM_ERROR:
                throw LexError("内存不足");
            case LZMA_FORMAT_ERROR:
                damaged("不是 xz 文件");
            case LZMA_BUF_ERROR:
                damaged("文件不完整");
            default:
                damaged("数据错误");
            }
        }
        return n - s.avail_out;
    }

    lzma_stream s = LZMA_STREAM_INIT;
    CompressedInput in;
    bool ended = false;
};

struct ZstdDecoder : CorpusReader::Decoder {
    explicit ZstdDecoder(const CorpusFile &f) : Decoder(f), d(ZSTD_createDStream()) {
        if (!d)
            throw LexError("内存不足");
    }
    ~ZstdDecoder() override { ZSTD_freeDStream(d); }

    size_t read(char *buf, size_t n) override {
        ZSTD_outBuffer out{buf, n, 0};
        while (out.pos == 0) {
            if (zin.pos == zin.size && !in.eof) {
                const size_t got = readRaw(in.data.get(), kInput);
                in.eof = got == 0;
                in.sawAny |= got > 0;
                zin = {in.data.get(), got, 0};
            }
            const bool last = zin.pos == zin.size && in.eof;
            if (last && pending == 0 && in.sawAny)
                break; // every frame is complete
            // With no input left this only hands out what the decoder still holds.
            pending = ZSTD_decompressStream(d, &out, &zin);
            if (ZSTD_isError(pending))
                damaged("数据错误");
            if (last && out.pos == 0)
                damaged(in.sawAny ? "文件不完整" : "空文件");
        }
        return out.pos;
    }

    ZSTD_DStream *d;
    ZSTD_inBuffer zin{nullptr, 0, 0};
    CompressedInput in;
    size_t pending = 1; // ZSTD_decompressStream's hint: 0 once a frame is complete
};

} // namespace

CorpusReader::CorpusReader(const CorpusFile &file) {
    switch (file.compression) {
    case Compression::Gzip:
        m_decoder = std::make_unique<GzipDecoder>(file);
        break;
    case Compression::Xz:
        m_decoder = std::make_unique<XzDecoder>(file);
        break;
    case Compression::Zstd:
        m_decoder = std::make_unique<ZstdDecoder>(file);
        break;
    case Compression::None:
        m_decoder = std::make_unique<Decoder>(file);
        break;
    }
}

CorpusReader::~CorpusReader() = default;

size_t CorpusReader::read(char *buf, size_t n) {
    return n == 0 ? 0 : m_decoder->read(buf, n);
}

size_t CorpusReader::readFull(char *buf, size_t n) {
    size_t have = 0;
    while (have < n) {
        const size_t got = read(buf + have, n - have);
        if (got == 0)
            break;
        have += got;
    }
    return have;
}

uint64_t CorpusReader::consumed() const {
    return m_decoder->consumed;
}

} // namespace lex
