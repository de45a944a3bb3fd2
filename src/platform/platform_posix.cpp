// POSIX implementation of the kernel services: page protection with Windows semantics and
// handle-based global memory (the read probe is in read_probe_posix.cpp).
#include "platform/platform.h"

#include "core/core_services.h"

#include <dlfcn.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

namespace {

uintptr_t PageSize() {
    static const uintptr_t size = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    return size;
}

int PosixProtection(DWORD protect) {
    switch (protect) {
    case PAGE_NOACCESS: return PROT_NONE;
    case PAGE_READONLY: return PROT_READ;
    case PAGE_READWRITE:
    case PAGE_WRITECOPY: return PROT_READ | PROT_WRITE;
    case PAGE_EXECUTE: return PROT_EXEC;
    case PAGE_EXECUTE_READ: return PROT_READ | PROT_EXEC;
    case PAGE_EXECUTE_READWRITE:
    case PAGE_EXECUTE_WRITECOPY: return PROT_READ | PROT_WRITE | PROT_EXEC;
    default: return -1;
    }
}

DWORD WindowsProtection(bool read, bool write, bool exec) {
    if (exec) return write ? PAGE_EXECUTE_READWRITE : (read ? PAGE_EXECUTE_READ : PAGE_EXECUTE);
    if (write) return PAGE_READWRITE;
    return read ? PAGE_READONLY : PAGE_NOACCESS;
}

// Linux has no call that reports a page's protection other than /proc/self/maps, and reading
// it costs tens of microseconds, which every block transfer would pay twice. Protections set
// here are therefore remembered per page, but only for pages inside a loaded module image (the
// code areas are module data): such a mapping stays as it is while the module is loaded, and
// only this layer changes its protection. Pages of heap or mmap memory may be unmapped and
// mapped anew behind our back, so they are looked up every time.
std::mutex ProtectionLock;
std::map<uintptr_t, DWORD> KnownProtection;

bool InModuleImage(uintptr_t page) {
    Dl_info info{};
    return dladdr(reinterpret_cast<void*>(page), &info) != 0 && info.dli_fbase != nullptr;
}

bool LookUpProtection(uintptr_t page, DWORD* protect) {
    FILE* maps = std::fopen("/proc/self/maps", "r");
    if (!maps) return false;
    char line[512];
    bool found = false;
    bool atLineStart = true;
    while (std::fgets(line, sizeof line, maps)) {
        // A line longer than the buffer arrives in pieces; only its first piece is parsed.
        bool lineStart = atLineStart;
        atLineStart = std::strchr(line, '\n') != nullptr;
        if (!lineStart) continue;
        unsigned long long from = 0, to = 0;
        char perms[8] = {};
        if (std::sscanf(line, "%llx-%llx %7s", &from, &to, perms) != 3) continue;
        if (page >= from && page < to) {
            *protect = WindowsProtection(perms[0] == 'r', perms[1] == 'w', perms[2] == 'x');
            found = true;
            break;
        }
    }
    std::fclose(maps);
    return found;
}

bool PreviousProtection(uintptr_t page, bool remembered, DWORD* protect) {
    if (remembered) {
        auto known = KnownProtection.find(page);
        if (known != KnownProtection.end()) {
            *protect = known->second;
            return true;
        }
    }
    return LookUpProtection(page, protect);
}

void RememberProtection(uintptr_t first, uintptr_t end, DWORD protect) {
    for (uintptr_t page = first; page < end; page += PageSize())
        KnownProtection[page] = protect;
}

void ForgetProtection(uintptr_t first, uintptr_t end) {
    KnownProtection.erase(KnownProtection.lower_bound(first), KnownProtection.lower_bound(end));
}

struct GlobalBlock {
    void* Memory = nullptr;
    SIZE_T Size = 0;
    uint32_t Locks = 0;
    bool Live = false;
};

// Handles are slot numbers 1..65535 so that they fit the 16-bit fields that carry them.
// Freed slots are reused last-in-last-out to make a stale handle unlikely to be live again.
constexpr uint32_t kMaxHandles = 65535;
std::mutex GlobalLockMutex;
std::vector<GlobalBlock> GlobalBlocks(1);
std::vector<uint32_t> FreeSlots;
size_t FreeSlotHead = 0;
uint32_t LiveBlockCount = 0;

GlobalBlock* FindBlock(HGLOBAL handle) {
    uintptr_t slot = reinterpret_cast<uintptr_t>(handle);
    if (slot == 0 || slot >= GlobalBlocks.size()) return nullptr;
    GlobalBlock& block = GlobalBlocks[slot];
    return block.Live ? &block : nullptr;
}

} // namespace

BOOL VirtualProtect(LPVOID address, SIZE_T size, DWORD newProtect, PDWORD oldProtect) {
    int prot = PosixProtection(newProtect);
    if (address == nullptr || size == 0 || oldProtect == nullptr || prot < 0) return 0;
    uintptr_t start = reinterpret_cast<uintptr_t>(address);
    if (start + size < start) return 0;
    uintptr_t first = start & ~(PageSize() - 1);
    uintptr_t end = (start + size + PageSize() - 1) & ~(PageSize() - 1);
    if (end <= first) return 0; // the range runs to the top of the address space
    // Asked before taking our lock: dladdr takes the loader's lock.
    bool remembered = InModuleImage(first) && InModuleImage(end - 1);
    std::lock_guard<std::mutex> guard(ProtectionLock);
    DWORD previous = 0;
    if (!PreviousProtection(first, remembered, &previous)) return 0;
    if (mprotect(reinterpret_cast<void*>(first), end - first, prot) != 0) {
        // Part of the range may have changed before the call failed: look it up next time.
        ForgetProtection(first, end);
        return 0;
    }
    if (remembered) RememberProtection(first, end, newProtect);
    *oldProtect = previous;
    return 1;
}

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
    (void)flags; // memory is always moveable (a handle) and zero-initialised here
    if (CSFaultTriggered(CSFaultGlobalAlloc)) return nullptr;
    void* memory = std::calloc(bytes == 0 ? 1 : bytes, 1);
    if (!memory) return nullptr;
    std::lock_guard<std::mutex> guard(GlobalLockMutex);
    uint32_t slot;
    if (FreeSlotHead < FreeSlots.size()) {
        slot = FreeSlots[FreeSlotHead++];
        if (FreeSlotHead > 1024 && FreeSlotHead * 2 > FreeSlots.size()) {
            FreeSlots.erase(FreeSlots.begin(), FreeSlots.begin() + FreeSlotHead);
            FreeSlotHead = 0;
        }
    } else if (GlobalBlocks.size() <= kMaxHandles) {
        slot = static_cast<uint32_t>(GlobalBlocks.size());
        GlobalBlocks.emplace_back();
    } else {
        std::free(memory);
        return nullptr;
    }
    GlobalBlocks[slot] = GlobalBlock{memory, bytes, 0, true};
    ++LiveBlockCount;
    return reinterpret_cast<HGLOBAL>(static_cast<uintptr_t>(slot));
}

LPVOID GlobalLock(HGLOBAL handle) {
    if (CSFaultTriggered(CSFaultGlobalLock)) return nullptr;
    std::lock_guard<std::mutex> guard(GlobalLockMutex);
    GlobalBlock* block = FindBlock(handle);
    if (!block) return nullptr;
    ++block->Locks;
    return block->Memory;
}

BOOL GlobalUnlock(HGLOBAL handle) {
    std::lock_guard<std::mutex> guard(GlobalLockMutex);
    GlobalBlock* block = FindBlock(handle);
    if (!block || block->Locks == 0) return 0;
    --block->Locks;
    return block->Locks != 0;
}

HGLOBAL GlobalFree(HGLOBAL handle) {
    std::lock_guard<std::mutex> guard(GlobalLockMutex);
    GlobalBlock* block = FindBlock(handle);
    if (!block) return handle;
    std::free(block->Memory);
    *block = GlobalBlock{};
    --LiveBlockCount;
    FreeSlots.push_back(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(handle)));
    return nullptr;
}

uint32_t GlobalLiveBlocks() {
    std::lock_guard<std::mutex> guard(GlobalLockMutex);
    return LiveBlockCount;
}
