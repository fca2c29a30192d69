// lexcli_docs: writes the man page and the bash completion of lexcli from its table.
//   lexcli_docs MAN_PAGE COMPLETION VERSION DATE
#include "lexcli/cli_docs.h"

#include "shared/formats/lexicon_format.h"

#include <fstream>
#include <iostream>

int main(int argc, char **argv) {
    if (argc != 5) {
        std::cerr << "用法: lexcli_docs MAN_PAGE COMPLETION VERSION DATE\n";
        return 2;
    }
    lex::cli::DocInfo info{argv[3], argv[4], {}};
    for (const auto &format : lex::formats::allFormats())
        info.formats.push_back(format.name);
    const auto tools = lex::cli::toolTable();
    std::ofstream man(argv[1], std::ios::binary);
    man << lex::cli::manPage(tools, info);
    std::ofstream completion(argv[2], std::ios::binary);
    completion << lex::cli::bashCompletion(tools, info);
    man.close();
    completion.close();
    if (!man || !completion) {
        std::cerr << "lexcli_docs: 无法写出 " << argv[1] << " 或 " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
