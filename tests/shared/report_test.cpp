#include "shared/lexcore/report.h"

#include <gtest/gtest.h>

namespace {

TEST(ElapsedText, TwoDigitsEachAndMidnight) {
    EXPECT_EQ(lex::elapsedText(100, 100), "00:00:00");
    EXPECT_EQ(lex::elapsedText(0, 3 * 3600 + 4 * 60 + 5), "03:04:05");
    // Started before midnight, ended after: a day is added instead of a negative time.
    EXPECT_EQ(lex::elapsedText(23 * 3600 + 59 * 60 + 50, 10), "00:00:20");
}

TEST(CompletionText, CountLinesThenElapsedTime) {
    lex::CompletionText t;
    t.count("原始词库词条：", 3).count("增加词条：", 0).line("");
    EXPECT_EQ(t.text("00:00:01"), "原始词库词条：3\r\n增加词条：0\r\n\r\n耗费时间：00:00:01");
    EXPECT_EQ(lex::stoppedText("00:00:02"), "耗费时间：00:00:02");
}

} // namespace
