// bench_pintop_roundtrip IN OUT: reads IN with LineReader and writes every line with
// LineWriter, the floor that pintop's generation is measured against.
#include "lexcore/lexicon_files.h"

#include <cstdio>
#include <exception>

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_pintop_roundtrip IN OUT\n");
        return 2;
    }
    try {
        lex::LineReader reader(argv[1]);
        lex::LineWriter writer(argv[2]);
        writer.reserve(reader.size() * 2);
        while (!reader.atEnd())
            writer.writeLine(reader.readLineView());
        reader.close();
        writer.close();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
