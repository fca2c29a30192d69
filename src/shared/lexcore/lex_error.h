#pragma once
// The one exception family of the suite: a platform failure around a file (cannot open,
// cannot write, disk full, not text), carrying the path. Engines throw it; the forms' operation
// runner and lexcli catch it and show message().

#include <filesystem>
#include <stdexcept>
#include <string>

namespace lex {

class LexError : public std::runtime_error {
public:
    explicit LexError(const std::string &message, std::filesystem::path path = {})
        : std::runtime_error(message), m_path(std::move(path)) {}
    const std::filesystem::path &path() const { return m_path; }
    // The text shown to the user (UTF-8).
    std::string message() const { return what(); }

private:
    std::filesystem::path m_path;
};

// A short Chinese text for an error number (权限不够, 磁盘已满, ...); the system's own text for
// the rare ones.
std::string systemErrorText(int err);

// The text shown for any exception that ends an operation: LexError's message, 内存不足 for an
// allocation failure, otherwise the exception's own text.
std::string failureText(const std::exception &e);

} // namespace lex
