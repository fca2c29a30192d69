#include "lexcli/cli.h"

#include <iostream>

int main(int argc, char **argv) {
    return lex::cli::run(argc, argv, std::cout, std::cerr);
}
