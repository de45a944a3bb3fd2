#include "host/render_report.h"

namespace marlhost {

void RenderReport::Refused(const std::string& message) {
    ++RefusedCount;
    for (Refusal& refusal : FirstRefusals)
        if (refusal.Message == message) {
            ++refusal.Count;
            return;
        }
    if (FirstRefusals.size() < kShownRefusals) FirstRefusals.push_back({message, 1});
}

std::vector<std::string> RenderReport::Lines() const {
    std::vector<std::string> lines;
    uint32_t shown = 0;
    for (const Refusal& refusal : FirstRefusals) {
        std::string times =
            refusal.Count > 1 ? " (" + std::to_string(refusal.Count) + " times)" : "";
        lines.push_back("library: " + refusal.Message + times);
        shown += refusal.Count;
    }
    if (RefusedCount > shown)
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
