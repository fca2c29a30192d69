#include "cli.h"

#include <exception>
#include <iostream>

int main(int argc, char **argv) {
    try {
        return lex::cli::run(argc, argv, std::cout, std::cerr);
    } catch (const std::exception &e) {
        std::cerr << e.what() << "\n";
        return lex::cli::kFailure;
    }
}
