#pragma once
// One pass over a lexicon: each line of the input through a step that writes the output.

#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/line_reader.h"
#include "shared/lexcore/line_writer.h"

#include <cstdint>
#include <filesystem>
#include <string_view>

namespace lex::phonetag {

// Hands every line of `input` and the writer of `output` to step(line, writer), with progress and
// one yield per line; returns the lines read. The writer replaces the output only at the end, so
// an output equal to the input is safe and a failed pass leaves the old file. `decoded`, if given,
// gets the input's encoding before the first step.
template <class Step>
int64_t passLines(const std::filesystem::path &input, const std::filesystem::path &output,
                  EventPump &pump, Step step, LexiconEncoding *decoded = nullptr) {
    LineReader reader(input);
    if (decoded)
        *decoded = reader.encoding();
    LineWriter writer(output, pump.context());
    int64_t lines = 0;
    while (!reader.atEnd()) {
        step(reader.readLineView(), writer);
        ++lines;
        reportProgress(pump, reader);
        pump.yield();
    }
    reader.close();
    writer.close();
    return lines;
}

} // namespace lex::phonetag
