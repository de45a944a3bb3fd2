// Windows: every committed region's protection, as VirtualQuery reports it.
#if defined(_WIN32)
#include "support/writable_code.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>

namespace marltest {
namespace {

bool WritableAndExecutable(DWORD protect) {
    return (protect & (PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY)) != 0;
}

} // namespace

std::vector<std::string> WritableExecutablePages() {
    std::vector<std::string> found;
    MEMORY_BASIC_INFORMATION region{};
    uintptr_t at = 0;
    while (VirtualQuery(reinterpret_cast<void*>(at), &region, sizeof region) == sizeof region) {
        if (region.State == MEM_COMMIT && WritableAndExecutable(region.Protect)) {
            char line[64];
            std::snprintf(line, sizeof line, "%08lx-%08lx protection %02lx",
                          static_cast<unsigned long>(at),
                          static_cast<unsigned long>(at + region.RegionSize),
                          static_cast<unsigned long>(region.Protect));
            found.push_back(line);
        }
        uintptr_t next = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
        if (next <= at) break;
        at = next;
    }
    return found;
}

} // namespace marltest
#endif
