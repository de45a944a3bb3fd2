#include "support/page_map.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdint>
#include <cstdio>

namespace marltest {

namespace {

std::string Letters(DWORD protect) {
    switch (protect & 0xFF) {
    case PAGE_READONLY: return "r--";
    case PAGE_READWRITE:
    case PAGE_WRITECOPY: return "rw-";
    case PAGE_EXECUTE: return "--x";
    case PAGE_EXECUTE_READ: return "r-x";
    case PAGE_EXECUTE_READWRITE:
    case PAGE_EXECUTE_WRITECOPY: return "rwx";
    default: return "---";
    }
}

} // namespace

std::string PagePermissions(const void* address) {
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(address, &info, sizeof info) != sizeof info) return "unmapped";
    if (info.State != MEM_COMMIT) return "unmapped";
    if (info.Protect & PAGE_GUARD) return "---";
    return Letters(info.Protect);
}

// Walks the whole address space region by region, as VirtualQuery reports it.
std::vector<std::string> WritableExecutableRanges() {
    std::vector<std::string> ranges;
    uintptr_t at = 0;
    MEMORY_BASIC_INFORMATION info;
    while (VirtualQuery(reinterpret_cast<const void*>(at), &info, sizeof info) == sizeof info) {
        const auto base = reinterpret_cast<uintptr_t>(info.BaseAddress);
        const uintptr_t end = base + info.RegionSize;
        if (info.State == MEM_COMMIT && !(info.Protect & PAGE_GUARD) &&
            Letters(info.Protect) == "rwx") {
            char line[128];
            // long is 32 bits on Win64 too: addresses are printed as long long.
            std::snprintf(
                line, sizeof line, "%08llx-%08llx rwx type %lx alloc base %08llx",
                static_cast<unsigned long long>(base), static_cast<unsigned long long>(end),
                static_cast<unsigned long>(info.Type),
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(info.AllocationBase)));
            ranges.push_back(line);
        }
        if (end <= at) break; // the top of the address space
        at = end;
    }
    return ranges;
}

} // namespace marltest
