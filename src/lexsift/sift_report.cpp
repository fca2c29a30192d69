#include "lexsift/sift_report.h"

#include "shared/lexcore/report.h"

namespace lex::lexsift {

std::string siftReport(int64_t written, int startSecondsOfDay) {
    return "本次筛出词条：" + std::to_string(written) + "\r\n\r\n耗时：" +
           elapsedText(startSecondsOfDay);
}

} // namespace lex::lexsift
