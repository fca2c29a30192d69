#pragma once
// A tool folder for the freqtune tests (the built template, the database made from it, the
// article folders), the table's rows, and a pump that is interrupted like lexcli's.

#include "freqtune/frequency_database.h"

#include "test_support.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace lex::test {

// The template the data build makes (the tests' environment names it).
inline std::filesystem::path builtTemplate() {
    const char *path = std::getenv("FREQTUNE_TEMPLATE");
    return path ? std::filesystem::path(path) : std::filesystem::path();
}

struct Row {
    int64_t seqNo;
    std::u16string entryLine, wordText;
    int64_t freq, wordLen;
    bool operator==(const Row &) const = default;
};

// Every row, in SeqNo order.
inline std::vector<Row> tableRows(freqtune::FrequencyDatabase &db) {
    std::vector<Row> rows;
    freqtune::Statement st(db.handle(), "SELECT * FROM WordLib ORDER BY 1", db.path());
    while (st.step())
        rows.push_back({st.integer(0), st.text16(1), st.text16(2), st.integer(3), st.integer(4)});
    return rows;
}

inline std::vector<int64_t> freqs(freqtune::FrequencyDatabase &db) {
    std::vector<int64_t> out;
    for (const Row &r : tableRows(db))
        out.push_back(r.freq);
    return out;
}

// Throws at the n-th call of yield(), as lexcli's pump does on Ctrl-C.
struct InterruptingPump : EventPump {
    explicit InterruptingPump(int at) : EventPump(1), m_at(at) {}
    bool poll() override {
        if (++m_calls == m_at)
            throw std::runtime_error("中断！");
        return false;
    }
    int m_at, m_calls = 0;
};

class ToolDir {
public:
    ToolDir() {
        std::filesystem::copy_file(builtTemplate(), dir / freqtune::kTemplateFile);
        files = freqtune::ToolFiles::in(ToolFolder::single(dir.path()));
        db.open(files.database, files.templateFile);
        freqtune::createArticleFolders(files);
    }

    void import(std::initializer_list<std::u16string_view> lines) {
        writeLexicon(dir / "lexicon.txt", lines);
        NullPump pump;
        freqtune::importLexicon(db, dir / "lexicon.txt", files.templateFile, pump);
    }
    // Sets Freq of the rows, in SeqNo order.
    void setFreqs(std::initializer_list<int> values) {
        std::string sql = "BEGIN;";
        int seq = 0;
        for (int v : values)
            sql += "UPDATE WordLib SET Freq = " + std::to_string(v) +
                   " WHERE SeqNo = " + std::to_string(++seq) + ";";
        db.exec((sql + "COMMIT;").c_str());
    }
    // An article (code page 936) in the unread folder or in `folder`.
    std::filesystem::path article(const std::string &name, std::u16string_view text,
                                  const std::filesystem::path &folder = {}) const {
        const auto path = (folder.empty() ? files.unread : folder) / name;
        writeBytes(path, gbk(text));
        return path;
    }
    static std::vector<std::string> names(const std::filesystem::path &folder) {
        std::vector<std::string> out;
        for (const auto &e : std::filesystem::directory_iterator(folder))
            out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }

    TempDir dir;
    freqtune::ToolFiles files;
    freqtune::FrequencyDatabase db;
};

} // namespace lex::test
