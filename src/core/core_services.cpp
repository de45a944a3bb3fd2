// Copy, fill and the fault-injection switches of the core library.
#include "core/core_services.h"

#include <atomic>
#include <cstring>

namespace {
std::atomic<int32_t> FaultCountdown[CSFaultCount] = {-1, -1, -1, -1};
}

void CSCopyMemory(const void* source, void* destination, uint32_t count) {
    if (count != 0) std::memcpy(destination, source, count);
}

void CSSetMemory(void* destination, uint32_t count, uint32_t value) {
    if (count != 0) std::memset(destination, static_cast<int>(value & 0xFF), count);
}

void CSInjectFault(uint32_t fault, int32_t countdown) {
    if (fault < CSFaultCount) FaultCountdown[fault].store(countdown < 0 ? -1 : countdown);
}

bool CSFaultTriggered(uint32_t fault) {
    if (fault >= CSFaultCount) return false;
    std::atomic<int32_t>& counter = FaultCountdown[fault];
    int32_t value = counter.load(std::memory_order_relaxed);
    while (value >= 0) {
        if (counter.compare_exchange_weak(value, value - 1)) return value == 0;
    }
    return false;
}
