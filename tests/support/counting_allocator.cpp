#include "support/counting_allocator.h"

#include <cstdlib>

namespace marltest {

CountingAllocator::~CountingAllocator() {
    for (void* block : Blocks) std::free(block);
}

void CountingAllocator::FreeBlock(void* block) {
    std::lock_guard<std::mutex> guard(Lock);
    ++FreeCount;
    auto found = Blocks.find(block);
    if (found == Blocks.end()) {
        ++BadFreeCount;
        return;
    }
    Blocks.erase(found);
    std::free(block);
}

int32_t CountingAllocator::AllocBlock(uint32_t size, uint32_t flags, void** block,
                                      const char* file, uint32_t line) {
    std::lock_guard<std::mutex> guard(Lock);
    Log.push_back({size, flags, file ? file : "", line});
    if (Countdown >= 0 && Countdown-- == 0) return FailCode;
    if (LineFault && (FailingLine == 0 || FailingLine == line)) return LineCode;
    void* memory = std::malloc(size == 0 ? 1 : size);
    if (!memory) return -1;
    Blocks.insert(memory);
    *block = memory;
    return SuccessCode;
}

void CountingAllocator::FailAfter(int32_t countdown, int32_t code) {
    std::lock_guard<std::mutex> guard(Lock);
    Countdown = countdown;
    FailCode = code;
}

void CountingAllocator::FailLine(uint32_t line, int32_t code) {
    std::lock_guard<std::mutex> guard(Lock);
    LineFault = true;
    FailingLine = line;
    LineCode = code;
}

size_t CountingAllocator::Live() const {
    std::lock_guard<std::mutex> guard(Lock);
    return Blocks.size();
}

std::vector<AllocCall> CountingAllocator::Calls() const {
    std::lock_guard<std::mutex> guard(Lock);
    return Log;
}

uint32_t CountingAllocator::Frees() const {
    std::lock_guard<std::mutex> guard(Lock);
    return FreeCount;
}

uint32_t CountingAllocator::BadFrees() const {
    std::lock_guard<std::mutex> guard(Lock);
    return BadFreeCount;
}

void CountingAllocator::ClearLog() {
    std::lock_guard<std::mutex> guard(Lock);
    Log.clear();
    FreeCount = 0;
    BadFreeCount = 0;
}

} // namespace marltest
