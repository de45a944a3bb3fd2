#include "fuzzing/fuzz_allocator.h"

#include <cstdlib>

namespace marlfuzz {

FuzzAllocator::~FuzzAllocator() {
    for (auto& [block, size] : Blocks)
        std::free(const_cast<void*>(block));
}

void FuzzAllocator::FreeBlock(void* block) {
    std::lock_guard<std::mutex> guard(Lock);
    auto found = Blocks.find(block);
    if (found == Blocks.end()) {
        ++BadFreeCount;
        return;
    }
    Blocks.erase(found);
    std::free(block);
}

int32_t FuzzAllocator::AllocBlock(uint32_t size, uint32_t, void** block, const char*, uint32_t) {
    std::lock_guard<std::mutex> guard(Lock);
    const uint32_t call = Calls++;
    if ((call < 32 && (FailMask >> call & 1) != 0) || size > MaxBlock) {
        ++RefusedCount;
        return -1;
    }
    void* memory = std::malloc(size == 0 ? 1 : size);
    if (memory == nullptr) return -1;
    Blocks[memory] = size;
    *block = memory;
    return 0;
}

size_t FuzzAllocator::Live() const {
    std::lock_guard<std::mutex> guard(Lock);
    return Blocks.size();
}

uint32_t FuzzAllocator::BadFrees() const {
    std::lock_guard<std::mutex> guard(Lock);
    return BadFreeCount;
}

uint32_t FuzzAllocator::Refused() const {
    std::lock_guard<std::mutex> guard(Lock);
    return RefusedCount;
}

size_t FuzzAllocator::SizeOf(const void* block) const {
    std::lock_guard<std::mutex> guard(Lock);
    auto found = Blocks.find(block);
    return found == Blocks.end() ? 0 : found->second;
}

} // namespace marlfuzz
