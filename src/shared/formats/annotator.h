#pragma once
// Pinyin for words that lack it, by the automatic annotation over the shipped readings
// ("dz.txt") and word table ("zn.lxd"): the same engine as the annotation window, loaded the
// first time a word needs it. The polyphonic characters' readings ("dy.txt", the most common
// first) give a word every reading it may have.

#include "shared/lexcore/event_pump.h"
#include "shared/pinyin/annotation_data.h"
#include "shared/pinyin/reading_review.h"
#include "shared/pinyin/syllables.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lex::formats {

using pinyin::Syllables;

class Annotator {
public:
    // The data files; they are read when the first word needs them.
    Annotator(std::filesystem::path dictionary, std::filesystem::path wordTable, EventPump &pump);
    // The data files of a folder.
    Annotator(const std::filesystem::path &folder, EventPump &pump);
    ~Annotator();

    // The syllables of `word` (one per character) with those of `known` kept ("" where a
    // character has none yet); nullopt when some character gets no reading. Throws LexError when
    // the data files are missing.
    std::optional<Syllables> annotate(std::u16string_view word, const Syllables &known);
    // Every reading of `word` that has none: the annotation's first, then each combination of the
    // polyphonic characters' other readings, at most `limit`; empty when the annotation finds
    // none. Without "dy.txt" beside "dz.txt" only the annotation's.
    std::vector<Syllables> readings(std::u16string_view word, size_t limit);

private:
    void load();
    std::optional<Syllables> annotateRun(std::u16string_view run, const Syllables &known);

    pinyin::AnnotationFiles m_files;
    EventPump &m_pump;
    pinyin::AnnotationData m_data;
    std::optional<pinyin::Polyphones> m_polyphones; // loaded with the rest, when there
    bool m_loaded = false;
    std::u16string m_line, m_out, m_scratch;
};

} // namespace lex::formats
