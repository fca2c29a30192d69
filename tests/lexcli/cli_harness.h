#pragma once
// Runs lexcli in-process, as its main would, with the build's tool table; captures both
// streams and the exit status.

#include <filesystem>
#include <string>
#include <vector>

namespace lex::test {

struct CliRun {
    int status;
    std::string out, err;
};

// `args` without the program name.
CliRun runLexcli(const std::vector<std::string> &args);

} // namespace lex::test
