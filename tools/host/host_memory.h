// The driver's memory service as the host provides it: blocks from the C heap, every live
// block counted with the call site the library named, so that a block still live at the end
// of a page is a leak the host can report.
#pragma once

#include "marlrend/host_allocator.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace marlhost {

class HostMemory final : public HostAllocator {
public:
    HostMemory() = default;
    HostMemory(const HostMemory&) = delete;
    HostMemory& operator=(const HostMemory&) = delete;
    ~HostMemory();

    void FreeBlock(void* block) override;
    int32_t AllocBlock(uint32_t size, uint32_t flags, void** block, const char* file,
                       uint32_t line) override;

    size_t LiveBlocks() const { return Live.size(); }
    uint32_t Allocations() const { return AllocationCount; }
    // FreeBlock calls with a pointer that is not a live block.
    uint32_t ForeignFrees() const { return ForeignFreeCount; }
    // One line per live block: size and the call site that asked for it.
    std::vector<std::string> DescribeLive() const;

private:
    struct Block {
        uint32_t Size;
        std::string File;
        uint32_t Line;
    };
    std::map<void*, Block> Live;
    uint32_t AllocationCount = 0;
    uint32_t ForeignFreeCount = 0;
};

} // namespace marlhost
