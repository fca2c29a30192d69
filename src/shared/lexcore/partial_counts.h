#pragma once
// Partial counts: what one worker of a distributed count writes and the merge reads back, the
// counts of one part of a corpus, sorted so that any number of them merge in one pass.
//
// Format (UTF-8, LF after every line):
//   quillo-partial-counts 1 KIND        KIND: the operation that wrote it ("bigseg", "freqtune")
//   NAME<TAB>VALUE                      header fields of that operation, any number
//   words<TAB>N
//   WORD<TAB>COUNT                      N lines, the words strictly ascending by their bytes
//                                       (code point order), every count 1 or more
//   end
// The last line tells a complete file from one cut short; outputs are replaced atomically all
// the same.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lex {

class AtomicOutput;

class PartialWriter {
public:
    PartialWriter(const std::filesystem::path &path, std::string_view kind);
    ~PartialWriter();
    PartialWriter(const PartialWriter &) = delete;
    PartialWriter &operator=(const PartialWriter &) = delete;

    // Header fields; `value` holds no TAB and no line break.
    void field(std::string_view name, std::string_view value);
    // Then the number of words, and the words in ascending order.
    void words(int64_t n);
    void word(std::u16string_view word, int64_t count);
    // Ends the file and puts it in place; throws LexError when fewer or more words came than
    // announced.
    void close();

private:
    void flushIfFull();

    std::filesystem::path m_path;
    std::unique_ptr<AtomicOutput> m_out;
    std::string m_buffer;
    int64_t m_announced = -1;
    int64_t m_written = 0;
};

class PartialReader {
public:
    // Reads the header; throws LexError ("不是部分计数文件：") for any other file.
    explicit PartialReader(const std::filesystem::path &path);
    ~PartialReader();
    PartialReader(const PartialReader &) = delete;
    PartialReader &operator=(const PartialReader &) = delete;

    const std::filesystem::path &path() const { return m_path; }
    const std::string &kind() const { return m_kind; }
    std::optional<std::string> field(std::string_view name) const;
    // A field that must be there (LexError naming the file otherwise).
    std::string required(std::string_view name) const;
    int64_t wordCount() const { return m_words; }

    // Moves to the next word; false after the last one (the file's end is checked then).
    // Throws LexError on a damaged file: a line out of order, a count that is no number, a
    // missing end.
    bool next();
    std::string_view word() const { return m_word; }
    int64_t count() const { return m_count; }

private:
    bool readLine(std::string_view &line);
    [[noreturn]] void damaged(const std::string &why) const;

    std::filesystem::path m_path;
    int m_fd = -1;
    std::string m_buf;
    size_t m_pos = 0, m_end = 0;
    bool m_eof = false;
    int64_t m_line = 0;
    std::string m_kind;
    std::vector<std::pair<std::string, std::string>> m_fields;
    int64_t m_words = 0;
    int64_t m_read = 0;
    std::string m_word;
    int64_t m_count = 0;
};

// Merges sorted partial counts: `emit(word, count)` once per word of any of them, in ascending
// order, with the sum of its counts.
template <class Emit>
void mergeSorted(std::vector<std::unique_ptr<PartialReader>> &inputs, Emit emit);

} // namespace lex

#include <algorithm>

namespace lex {

template <class Emit>
void mergeSorted(std::vector<std::unique_ptr<PartialReader>> &inputs, Emit emit) {
    // A few inputs at a time as a rule (a tree of merges does the rest): a linear pick of the
    // least word is as fast as a heap for them.
    std::vector<PartialReader *> live;
    for (auto &in : inputs)
        if (in->next())
            live.push_back(in.get());
    std::string word;
    while (!live.empty()) {
        std::string_view least = live.front()->word();
        for (PartialReader *in : live)
            least = std::min(least, in->word());
        word.assign(least);
        int64_t sum = 0;
        for (size_t i = 0; i < live.size();) {
            if (live[i]->word() == word) {
                sum += live[i]->count();
                if (!live[i]->next()) {
                    live.erase(live.begin() + long(i));
                    continue;
                }
            }
            ++i;
        }
        emit(std::string_view(word), sum);
    }
}

} // namespace lex
