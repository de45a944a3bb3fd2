#include "host/render_report.h"

namespace marlhost {

void RenderReport::Refused(const std::string& message) {
    ++RefusedCount;
    if (FirstRefusals.size() < kShownRefusals) FirstRefusals.push_back(message);
}

std::vector<std::string> RenderReport::Lines() const {
    std::vector<std::string> lines;
    for (const std::string& refusal : FirstRefusals)
        lines.push_back("library: " + refusal);
    if (RefusedCount > FirstRefusals.size())
        lines.push_back("library: ... " + std::to_string(RefusedCount) + " refused calls in all");
    if (!LeakedBlocks.empty()) {
        lines.push_back("library: " + std::to_string(LeakedBlocks.size()) +
                        " block(s) still live at the end of the page:");
        for (const std::string& block : LeakedBlocks)
            lines.push_back("  leaked " + block);
    }
    if (ForeignFreeCount != 0)
        lines.push_back("library: " + std::to_string(ForeignFreeCount) +
                        " FreeBlock call(s) with a block the host never handed out");
    return lines;
}

} // namespace marlhost
