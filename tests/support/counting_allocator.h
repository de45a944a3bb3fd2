// A HostAllocator for tests: counts live blocks, records every call, and can be told to fail.
#pragma once

#include "marlrend/marlrend.h"

#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace marltest {

struct AllocCall {
    uint32_t Size;
    uint32_t Flags;
    std::string File;
    uint32_t Line;
};

class CountingAllocator final : public HostAllocator {
public:
    ~CountingAllocator();

    void FreeBlock(void* block) override;
    int32_t AllocBlock(uint32_t size, uint32_t flags, void** block, const char* file,
                       uint32_t line) override;

    // The countdown-th next AllocBlock (0 = the next) answers `code` and stores nothing;
    // a negative countdown switches the fault off.
    void FailAfter(int32_t countdown, int32_t code = -1);
    // The next AllocBlock calls with this line fail (0 = any line).
    void FailLine(uint32_t line, int32_t code = -1);
    // Answer for successful allocations (any non-negative value counts as success).
    void SucceedWith(int32_t code) { SuccessCode = code; }

    size_t Live() const;
    std::vector<AllocCall> Calls() const;
    uint32_t Frees() const;
    // FreeBlock calls with a pointer that is not a live block (null included).
    uint32_t BadFrees() const;
    void ClearLog();

private:
    mutable std::mutex Lock;
    std::set<void*> Blocks;
    std::vector<AllocCall> Log;
    uint32_t FreeCount = 0;
    uint32_t BadFreeCount = 0;
    int32_t Countdown = -1;
    int32_t FailCode = -1;
    uint32_t FailingLine = 0;
    bool LineFault = false;
    int32_t LineCode = -1;
    int32_t SuccessCode = 0;
};

} // namespace marltest
