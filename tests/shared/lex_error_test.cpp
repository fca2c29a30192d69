// The texts a failure shows: Chinese for the error numbers a user meets, and for the standard
// library's own errors, whose what() is English.

#include "shared/lexcore/lex_error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace {

bool hasLatinLetters(const std::string &s) {
    for (char c : s)
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
            return true;
    return false;
}

// Messages used to end in "Permission denied", "No space left on device", ...
TEST(SystemErrorText, CommonNumbersReadInChinese) {
    for (int err : {EACCES,  EPERM,        EROFS,  ENOSPC,    EDQUOT, ENOTDIR,   EISDIR, ENOENT,
                    EFBIG,   ENAMETOOLONG, EMFILE, ENFILE,    EIO,    ENOMEM,    EINVAL, ELOOP,
                    ETXTBSY, EBUSY,        EXDEV,  ENXIO,     ENODEV, EPIPE,     EEXIST, ENOTEMPTY,
                    EMLINK,  EAGAIN,       EINTR,  EOVERFLOW, ESTALE, ETIMEDOUT, ESPIPE}) {
        const std::string text = lex::systemErrorText(err);
        EXPECT_FALSE(text.empty()) << err;
        EXPECT_FALSE(hasLatinLetters(text)) << err << " " << text;
    }
    EXPECT_EQ(lex::systemErrorText(ENOSPC), "磁盘已满");
    EXPECT_EQ(lex::systemErrorText(EACCES), "权限不够");
    // A rare number keeps the system's text behind a Chinese lead and its number.
    EXPECT_EQ(lex::systemErrorText(ECHRNG).rfind("系统错误 ", 0), 0u);
}

TEST(FailureText, LibraryErrorsAreChineseWithTheirPaths) {
    const std::filesystem::filesystem_error fe("cannot copy", "/a/x.txt", "/b/y.txt",
                                               std::make_error_code(std::errc::permission_denied));
    EXPECT_EQ(lex::failureText(fe), "文件操作失败：/a/x.txt、/b/y.txt（权限不够）");
    const std::system_error se(std::make_error_code(std::errc::no_space_on_device), "write");
    EXPECT_EQ(lex::failureText(se), "系统错误：磁盘已满");
    EXPECT_EQ(lex::failureText(std::bad_alloc()), "内存不足，操作没有完成。");
    EXPECT_EQ(lex::failureText(lex::LexError("打开词库失败！")), "打开词库失败！");
}

} // namespace
