#pragma once
// Annotation of a big lexicon on two threads. Lines are independent of each other, so they are
// handed out in batches that either thread works, and passed on in file order, so that what a
// caller writes, counts and yields is what one thread would have done, line for line.

#include "shared/lexcore/cp936.h"
#include "shared/lexcore/event_pump.h"
#include "shared/lexcore/line_stream.h"
#include "shared/lexcore/ordered_batches.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lex::phonetag {

// A batch of lines, copied from the stream, and what they became: per line a text, a note that
// may be empty, and two numbers; or only `texts`, which a work function that writes its batch
// whole fills itself.
struct LineBatch {
    std::u16string input; // the lines' text, one after the other
    std::vector<uint32_t> inputEnds;
    std::u16string texts, notes;
    std::vector<uint32_t> textEnds, noteEnds;
    std::vector<uint64_t> keys;
    std::vector<uint32_t> values;
    DroppedLines dropped; // lines of the batch that lost characters without a trace

    void clear() {
        input.clear();
        inputEnds.clear();
        texts.clear();
        notes.clear();
        textEnds.clear();
        noteEnds.clear();
        keys.clear();
        values.clear();
        dropped = {};
    }
    // With narrow words, `line` became `written`: notes the line when it lost characters that
    // code page 936 lacks and nothing in `written` stands for them.
    void noteDropped(std::u16string_view line, std::u16string_view written) {
        if (holdsBeyond936(line) && !holdsBeyond936(written)) {
            if (dropped.lines++ == 0)
                dropped.firstText.assign(line);
        }
    }
    // Called by the work function once per line, for every line of the batch.
    void add(std::u16string_view text, std::u16string_view note, uint64_t key, uint32_t value) {
        texts += text;
        textEnds.push_back(uint32_t(texts.size()));
        notes += note;
        noteEnds.push_back(uint32_t(notes.size()));
        keys.push_back(key);
        values.push_back(value);
    }
    size_t size() const { return inputEnds.size(); }
    std::u16string_view line(size_t i) const {
        const uint32_t from = i ? inputEnds[i - 1] : 0;
        return std::u16string_view(input).substr(from, inputEnds[i] - from);
    }
    std::u16string_view text(size_t i) const {
        const uint32_t from = i ? textEnds[i - 1] : 0;
        return std::u16string_view(texts).substr(from, textEnds[i] - from);
    }
    std::u16string_view note(size_t i) const {
        if (noteEnds.empty())
            return {};
        const uint32_t from = i ? noteEnds[i - 1] : 0;
        return std::u16string_view(notes).substr(from, noteEnds[i] - from);
    }
};

// Reads every line of `in` and calls work(line, state, batch) for each, on this thread (with
// states[0]) or the second one (states[1]); then, on this thread and in file order, emit(batch,
// i) for each line i of each batch. Returns the lines read. A few batches are in flight at a
// time: this thread reads them, both threads work whichever waits next, and this thread passes
// each on as soon as it and those before it are done. A batch holds a copy of its lines, so the
// lexicon streams through buffers used again and again rather than staying in memory: on a
// virtual machine fresh memory costs more than the copy. A batch's text stays within 2^32
// units, so a batch ends early at very long lines.
template <class State, class Work, class Emit>
int64_t passLineBatches(LineStream &in, EventPump &pump, State (&states)[2], Work work, Emit emit) {
    constexpr size_t kBatchLines = 4096;
    constexpr size_t kBatchUnits = size_t(1) << 24;
    LineBatch batch[4];
    int64_t lines = 0;
    runOrderedBatches(
        batch,
        [&](LineBatch &b) {
            b.clear();
            std::u16string_view line;
            bool more = true;
            while (b.inputEnds.size() < kBatchLines && b.input.size() < kBatchUnits &&
                   (more = in.next(line))) {
                b.input += line;
                b.inputEnds.push_back(uint32_t(b.input.size()));
            }
            return more;
        },
        [&](LineBatch &b, int thread) {
            for (size_t i = 0; i < b.size(); ++i)
                work(b.line(i), states[thread], b);
        },
        [&](const LineBatch &b) {
            for (size_t i = 0; i < b.size(); ++i)
                emit(b, i);
            lines += int64_t(b.size());
            pump.setProgress(int64_t(in.bytesRead()), int64_t(in.size()));
        });
    return lines;
}

} // namespace lex::phonetag
