// GuardedBuffer on Win32: one reservation, its inner pages committed read-write and the pages
// at both ends left PAGE_NOACCESS.
#include "support/guarded_memory.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstring>
#include <stdexcept>

namespace marltest {

namespace {

size_t PageSize() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
}

} // namespace

GuardedBuffer::GuardedBuffer(size_t size, uint8_t fill) : Size(size) {
    size_t page = PageSize();
    size_t body = (size + page - 1) / page * page;
    if (body == 0) body = page;
    MappingSize = body + 2 * page;
    void* mapping = VirtualAlloc(nullptr, MappingSize, MEM_RESERVE | MEM_COMMIT, PAGE_NOACCESS);
    if (mapping == nullptr) throw std::runtime_error("VirtualAlloc failed");
    Mapping = static_cast<uint8_t*>(mapping);
    DWORD previous = 0;
    if (!VirtualProtect(Mapping + page, body, PAGE_READWRITE, &previous))
        throw std::runtime_error("VirtualProtect failed");
    Data = Mapping + page + body - size;
    std::memset(Mapping + page, fill, body);
}

GuardedBuffer::~GuardedBuffer() {
    if (Mapping) VirtualFree(Mapping, 0, MEM_RELEASE);
}

// Asked for at a few places from 16 GiB up: VirtualAlloc takes an address it is given when
// that range is free. Win64 hands out low addresses first, so without a place asked for the
// page would lie below 4 GiB.
HighPage::HighPage() {
    if (sizeof(void*) < 8) return;
    for (uint64_t gib = 16; gib <= 1024 && Data == nullptr; gib *= 4) {
        void* place = reinterpret_cast<void*>(static_cast<uintptr_t>(gib << 30));
        Data = static_cast<uint8_t*>(
            VirtualAlloc(place, PageSize(), MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    }
}

HighPage::~HighPage() {
    if (Data) VirtualFree(Data, 0, MEM_RELEASE);
}

// The page's state as the kernel reports it: committed, and neither no-access nor guard.
bool Readable(const void* address) {
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(address, &info, sizeof info) != sizeof info) return false;
    if (info.State != MEM_COMMIT) return false;
    if (info.Protect & (PAGE_NOACCESS | PAGE_GUARD)) return false;
    return (info.Protect & (PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                            PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY)) != 0;
}

} // namespace marltest
