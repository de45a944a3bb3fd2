// What went wrong on the library's side while a page was drawn: refused calls, blocks left
// live at the end of the page, frees of blocks the host never handed out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace marlhost {

class RenderReport {
public:
    // A call the library answered with a failure although the request was valid.
    void Refused(const std::string& message);
    void Leaked(std::vector<std::string> blocks) { LeakedBlocks = std::move(blocks); }
    void ForeignFrees(uint32_t count) { ForeignFreeCount = count; }

    bool Clean() const {
        return RefusedCount == 0 && LeakedBlocks.empty() && ForeignFreeCount == 0;
    }
    uint32_t RefusedCalls() const { return RefusedCount; }
    // The report as lines for stderr: the first distinct refusals with how often each came,
    // the count of all, the leaks.
    std::vector<std::string> Lines() const;

private:
    static constexpr size_t kShownRefusals = 8;
    struct Refusal {
        std::string Message;
        uint32_t Count;
    };
    uint32_t RefusedCount = 0;
    std::vector<Refusal> FirstRefusals; // the first distinct messages, each with its count
    std::vector<std::string> LeakedBlocks;
    uint32_t ForeignFreeCount = 0;
};

} // namespace marlhost
