#include "host/host_memory.h"

#include <cstdlib>

namespace marlhost {

HostMemory::~HostMemory() {
    for (auto& [block, info] : Live)
        std::free(block);
}

void HostMemory::FreeBlock(void* block) {
    auto found = Live.find(block);
    if (found == Live.end()) {
        ++ForeignFreeCount;
        return;
    }
    std::free(block);
    Live.erase(found);
}

int32_t HostMemory::AllocBlock(uint32_t size, uint32_t, void** block, const char* file,
                               uint32_t line) {
    if (block == nullptr) return -1;
    void* memory = std::malloc(size == 0 ? 1 : size);
    if (memory == nullptr) return -1;
    Live.emplace(memory, Block{size, file ? file : "", line});
    ++AllocationCount;
    *block = memory;
    return 0;
}

std::vector<std::string> HostMemory::DescribeLive() const {
    std::vector<std::string> lines;
    for (const auto& [block, info] : Live)
        lines.push_back(std::to_string(info.Size) + " bytes from " + info.File + " line " +
                        std::to_string(info.Line));
    return lines;
}

} // namespace marlhost
