#include "cli_harness.h"

#include "lexcli/cli.h"

#include <sstream>

namespace lex::test {

CliRun runLexcli(const std::vector<std::string> &args) {
    std::ostringstream out, err;
    const int status =
        cli::run(args, cli::toolTable(), std::filesystem::temp_directory_path(), out, err);
    return {status, out.str(), err.str()};
}

} // namespace lex::test
