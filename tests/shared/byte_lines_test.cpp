// Lines held as code page 936 bytes: the scan hands out exactly the lines the reader gives, keyed
// as the entry set keys them and encoded back, or refuses the file as not plain; the table finds,
// keeps and orders lines as a map would, across its growth.

#include "shared/lexcore/byte_lines.h"
#include "shared/lexcore/cp936.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/line_reader.h"
#include "shared/lexcore/size_limits.h"
#include "shared/lexcore/text_format.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using lex::ByteLine;
using lex::KeyVariant;
using namespace std::string_literals;

std::vector<std::string> scan(const fs::path &path, KeyVariant variant, size_t chunk) {
    std::vector<std::string> out;
    lex::NullPump pump;
    lex::scanPlainGbk(
        path, variant, pump,
        [&](const ByteLine *lines, size_t n) {
            for (size_t i = 0; i < n; ++i) {
                EXPECT_EQ(lines[i].hash, lex::hashBytes(lines[i].data, lines[i].size));
                out.emplace_back(lines[i].view());
            }
        },
        chunk);
    return out;
}

// What the reader and the entry set's key make of the file, encoded back.
std::vector<std::string> model(const fs::path &path, KeyVariant variant) {
    std::vector<std::string> out;
    lex::LineReader reader(path, lex::LexiconEncoding::Ansi936);
    while (!reader.atEnd()) {
        std::u16string_view line = reader.readLineView();
        lex::EntryHashSet::EntryKey(variant, line);
        out.push_back(lex::encode936(line));
    }
    return out;
}

TEST(ByteLines, ScanGivesTheReadersLinesAsTheKeyLeavesThem) {
    lex::test::TempDir dir;
    const fs::path file = dir / "in.txt";
    const std::string longLine = lex::test::gbk(std::u16string(5000, u'中')) + "zhong";
    const std::string plain[] = {
        "",
        "\n",
        "\r\n\r\n",
        "\xD6\xD0\xB9\xFA\r\n\xC8\xCB\xC3\xF1\n\xD6\xD0\xB9\xFA",   // 中国 CR LF, LF, no end
        "\xD6\xD0zhong\xB9\xFAguo\r\n;\xD7\xA2\xCA\xCD\r\nabc\r\n", // annotated, comment, Latin
        "a\rb\r\n\xD6\xD0\r\r\n\xB9\xFA\xC8\xCB\r",                 // lone CRs stay text
        "\x80\xD6\xD0\r\n\xFF\xFF\r\n\xD6\xD0\x80\xB9\xFA\r\n\xD6\xD0\r\n", // euro, U+F8F5
        "x\xD6\xD0\xB9\xFA\r\n\xD6\xD0x\xB9\xFA\r\n\xA1\xA1\xA1\xA1\r\n",   // first not a pair
        longLine + "\r\n" + longLine + "\r\n\xD6\xD0" + longLine,
    };
    for (const std::string &bytes : plain) {
        lex::test::writeBytes(file, bytes);
        for (KeyVariant v :
             {KeyVariant::Standard, KeyVariant::SetOperations, KeyVariant::Annotation})
            for (size_t chunk : {size_t(1), size_t(7), size_t(4) << 20})
                EXPECT_EQ(scan(file, v, chunk), model(file, v))
                    << int(v) << " " << chunk << ": " << bytes.substr(0, 40);
    }

    // Bytes that decode to U+FFFD, and NUL, are no plain text, wherever they stand.
    const std::string notPlain[] = {
        "\xD6\xD0\r\n\xD6",
        "\xD6\r\n\xB9\xFA",
        "\xD6\x7F\xB9\xFA",
        "\xD6\xD0\x81\r\n",
        "ab\0cd"s,
        "\xD6\xD0\r\n\xB9\xFA\xFE\xFF",
        std::string(9000, 'a') + "\x81",
    };
    for (const std::string &bytes : notPlain) {
        lex::test::writeBytes(file, bytes);
        for (size_t chunk : {size_t(3), size_t(4) << 20})
            EXPECT_THROW(scan(file, KeyVariant::SetOperations, chunk), lex::NotPlainGbk) << bytes;
    }
    // Nothing but regular files, and a FIFO is not waited on.
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    for (const fs::path &p : {dir / "fifo", dir / "missing", dir.path()})
        EXPECT_THROW(scan(p, KeyVariant::SetOperations, 64), lex::NotPlainGbk) << p;

    // A run is plain only without a capacity and with code page 936 inputs; missing ones count
    // for nothing.
    lex::test::writeBytes(dir / "utf8.txt", "\xE4\xB8\xAD\xE5\x9B\xBD\n");
    lex::test::writeBytes(file, "\xD6\xD0\xB9\xFA\r\n");
    lex::SizeLimits unlimited;
    unlimited.capacity = lex::SizeLimits::kUnlimited;
    EXPECT_FALSE(lex::plainGbkRun(lex::RunContext(), {file})); // the windows' capacity
    const lex::RunContext run(std::nullopt, unlimited);
    EXPECT_TRUE(lex::plainGbkRun(run, {file, dir / "missing", fs::path()}));
    EXPECT_FALSE(lex::plainGbkRun(run, {file, dir / "utf8.txt"}));
    EXPECT_FALSE(lex::plainGbkRun(run, {file, dir / "fifo"}));
}

TEST(ByteLines, TableFindsKeepsAndOrdersAsAMap) {
    std::mt19937 rng(7);
    lex::ByteLineTable table; // from its smallest size, through many doublings
    std::map<std::string, std::pair<lex::ByteLineTable::Ref, uint8_t>> seen;
    std::vector<std::string> order;
    for (int i = 0; i < 60000; ++i) {
        std::string line(rng() % 12, 'a');
        for (char &c : line)
            c = char('a' + rng() % 3);
        const ByteLine b{line.data(), uint32_t(line.size()),
                         lex::hashBytes(line.data(), line.size())};
        const auto it = seen.find(line);
        ASSERT_EQ(table.find(b), it == seen.end() ? 0 : it->second.first) << line;
        bool added = false;
        const lex::ByteLineTable::Ref r = table.insert(b, added);
        ASSERT_EQ(added, it == seen.end());
        ASSERT_EQ(table.bytes(r), line);
        if (added) {
            seen[line] = {r, 0};
            order.push_back(line);
        }
        if (rng() % 5 == 0) {
            const uint8_t s = uint8_t(rng() % 4);
            table.setState(r, s);
            seen[line].second = s;
        }
    }
    ASSERT_EQ(table.size(), order.size());
    size_t k = 0;
    table.forEach([&](std::string_view line, uint8_t state) {
        ASSERT_LT(k, order.size());
        EXPECT_EQ(line, order[k]);
        EXPECT_EQ(state, seen[order[k]].second);
        ++k;
    });
    EXPECT_EQ(k, order.size());
    table.clear();
    EXPECT_EQ(table.size(), 0u);
    const ByteLine empty{"", 0, lex::hashBytes("", 0)};
    EXPECT_EQ(table.find(empty), 0u);
}

} // namespace
