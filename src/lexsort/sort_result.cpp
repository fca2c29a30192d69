#include "lexsort/sort_result.h"

#include "shared/lexcore/report.h"

namespace lex::lexsort {

std::string reportText(int64_t count, std::string_view elapsed) {
    return CompletionText().count("处理词条：", count).text(elapsed);
}

} // namespace lex::lexsort
