#pragma once
// The files of a corpus, for the word counts that read more text than fits in memory.
//
// A corpus is given as files, folders and "-" (standard input). A folder stands for every
// regular file below it: its entries in the byte order of their names, a subfolder's files at
// the subfolder's place (symlinked folders are not followed, so a loop cannot make a corpus
// endless). Files whose names end in ".gz", ".xz" or ".zst" are read decompressed, through zlib,
// liblzma and libzstd; several concatenated streams in one file read as one, as gzip -d, xz -d
// and zstd -d read them.
//
// CorpusReader hands out a file's bytes a buffer at a time, never the whole file, and says how
// far into the file (in bytes on disk) it has read, for progress.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace lex {

enum class Compression { None, Gzip, Xz, Zstd };

struct CorpusFile {
    std::filesystem::path path; // empty: standard input
    uint64_t size = 0;          // bytes on disk (0 for standard input: unknown)
    Compression compression = Compression::None;

    bool isStdin() const { return path.empty(); }
    // The path, or "标准输入", for messages.
    std::string name() const;
};

// The compression a file name says.
Compression compressionOf(const std::filesystem::path &path);

// The files of the corpus `args`, in order. A named path that is missing or neither a regular
// file nor a folder is refused with a LexError naming it, before anything is read; so is "-"
// given twice. Inside folders, what is not a regular file (FIFOs, devices, sockets) is passed
// over.
std::vector<CorpusFile> listCorpus(const std::vector<std::string> &args);

// The cores this process may run on (the default number of threads of a count).
int availableCores();

class CorpusReader {
public:
    explicit CorpusReader(const CorpusFile &file);
    ~CorpusReader();
    CorpusReader(const CorpusReader &) = delete;
    CorpusReader &operator=(const CorpusReader &) = delete;

    // Up to `n` bytes of the (decompressed) text into `buf`; 0 at its end. Throws LexError when
    // the file cannot be read, and "压缩文件已损坏：" with the file's name when its compressed
    // data is damaged or cut short.
    size_t read(char *buf, size_t n);
    // Reads until `n` bytes are there or the text ends; returns how many.
    size_t readFull(char *buf, size_t n);
    // Bytes of the file itself read so far.
    uint64_t consumed() const;

    struct Decoder;

private:
    std::unique_ptr<Decoder> m_decoder;
};

} // namespace lex
