// Core benchmarks, run by bench/core.sh:
//   bench_core roundtrip IN OUT [gbk|utf-8]   read IN with LineReader, write every line with
//                                 LineWriter (code page 936 with CR LF, or UTF-8 with LF)
//   bench_core stream IN OUT [gbk|utf-8]      the same through LineStream, which reads a few chunks
//   ahead bench_core dedup IN OUT       read, Contains + Add every line (standard key), write the
//   set bench_core setops IN          Contains + Add of every line; prints the seconds it took
//   bench_core memory IN          reads IN and holds all lines as strings; prints peak RSS / size

#include "shared/lexcore/entry_hash_set.h"
#include "shared/lexcore/line_reader.h"
#include "shared/lexcore/line_stream.h"
#include "shared/lexcore/line_writer.h"
#include "shared/lexcore/text_format.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: bench_core roundtrip|stream|dedup IN OUT | setops IN | memory IN\n");
    return 2;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 3)
        return usage();
    try {
        const std::string mode = argv[1];
        if (mode == "roundtrip" && (argc == 4 || argc == 5)) {
            lex::LineReader r(argv[2]);
            const bool utf8 = argc == 5 && std::strcmp(argv[4], "utf-8") == 0;
            lex::LineWriter w(argv[3], utf8 ? lex::TextFormat{lex::LexiconEncoding::Utf8, false}
                                            : lex::TextFormat::gbk());
            while (!r.atEnd())
                w.writeLine(r.readLineView());
            r.close();
            w.close();
        } else if (mode == "stream" && (argc == 4 || argc == 5)) {
            lex::LineStream r(argv[2]);
            const bool utf8 = argc == 5 && std::strcmp(argv[4], "utf-8") == 0;
            lex::LineWriter w(argv[3], utf8 ? lex::TextFormat{lex::LexiconEncoding::Utf8, false}
                                            : lex::TextFormat::gbk());
            std::u16string_view line;
            while (r.next(line))
                w.writeLine(line);
            w.close();
        } else if (mode == "dedup" && argc == 4) {
            lex::EntryHashSet set(lex::KeyVariant::Standard);
            lex::LineReader r(argv[2]);
            set.reserve(r.countLines(), r.size());
            while (!r.atEnd()) {
                set.prefetch(r.peekLineView(8));
                std::u16string_view line = r.readLineView();
                if (!set.Contains(line))
                    set.Add(line);
            }
            lex::LineWriter w(argv[3], lex::TextFormat::gbk());
            for (int32_t i = 0; i < set.insertedCount(); ++i) {
                auto e = set.entry(i);
                if (e.size() > 1)
                    w.writeLine(e);
            }
            r.close();
            w.close();
        } else if (mode == "setops") {
            lex::EntryHashSet set(lex::KeyVariant::SetOperations);
            lex::LineReader r(argv[2]);
            std::vector<std::u16string_view> lines;
            while (!r.atEnd())
                lines.push_back(r.readLineView());
            auto t0 = std::chrono::steady_clock::now();
            set.reserve(lines.size(), r.size());
            const bool pre = argc > 3;
            for (size_t i = 0; i < lines.size(); ++i) {
                if (pre && i + 8 < lines.size())
                    set.prefetch(lines[i + 8]);
                auto line = lines[i];
                if (!set.Contains(line))
                    set.Add(line);
            }
            auto t1 = std::chrono::steady_clock::now();
            std::printf("%.3f\n", std::chrono::duration<double>(t1 - t0).count());
        } else if (mode == "memory") {
            lex::LineReader r(argv[2]);
            std::vector<std::u16string_view> lines;
            while (!r.atEnd())
                lines.push_back(r.readLineView());
            struct rusage ru {};
            getrusage(RUSAGE_SELF, &ru);
            double size = double(std::filesystem::file_size(argv[2]));
            std::printf("%.2f\n", double(ru.ru_maxrss) * 1024.0 / size);
        } else {
            return usage();
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
