#include "support/heap_faults.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace marltest {
namespace {

std::atomic<size_t> FailingSize{0};
std::atomic<size_t> Allocations{0};

void* Allocate(size_t size) {
    Allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size == 0 ? 1 : size);
}

void* AllocateOrThrow(size_t size) {
    void* memory = Allocate(size);
    if (memory == nullptr) throw std::bad_alloc();
    return memory;
}

void* AllocateNothrow(size_t size) {
    size_t failing = size;
    if (size != 0 && FailingSize.compare_exchange_strong(failing, 0)) return nullptr;
    return Allocate(size);
}

} // namespace

void FailNothrowNew(size_t size) { FailingSize = size; }

size_t HeapAllocations() { return Allocations.load(); }

} // namespace marltest

void* operator new(size_t size) { return marltest::AllocateOrThrow(size); }
void* operator new[](size_t size) { return marltest::AllocateOrThrow(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    return marltest::AllocateNothrow(size);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    return marltest::AllocateNothrow(size);
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
