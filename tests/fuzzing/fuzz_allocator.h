// The driver's allocator as the fuzz cases play it: it counts live blocks and knows their
// sizes, refuses blocks beyond a driver-sized limit (so a huge but legal request costs no
// gigabytes), and fails the calls an input chooses.
#pragma once

#include "marlrend/host_allocator.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>

namespace marlfuzz {

class FuzzAllocator final : public HostAllocator {
public:
    static constexpr uint32_t kDefaultLimit = 16u << 20;

    ~FuzzAllocator();

    void FreeBlock(void* block) override;
    int32_t AllocBlock(uint32_t size, uint32_t flags, void** block, const char* file,
                       uint32_t line) override;

    // Call i (counted from 0 since construction) fails when bit i of mask is set.
    void FailCalls(uint32_t mask) { FailMask = mask; }
    void Limit(uint32_t bytes) { MaxBlock = bytes; }

    size_t Live() const;
    uint32_t BadFrees() const;
    uint32_t Refused() const;
    // The size a live block was given with; 0 for anything else.
    size_t SizeOf(const void* block) const;

private:
    mutable std::mutex Lock;
    std::map<const void*, size_t> Blocks;
    uint32_t Calls = 0;
    uint32_t FailMask = 0;
    uint32_t MaxBlock = kDefaultLimit;
    uint32_t BadFreeCount = 0;
    uint32_t RefusedCount = 0;
};

} // namespace marlfuzz
