// MARLREND.dll loaded with LoadLibrary and its exports found with GetProcAddress, as a Win32
// driver does.
#include "support/library.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace marltest {

void* LibraryHandle() {
    static void* handle = [] {
        HMODULE loaded = LoadLibraryA(MARLREND_LIBRARY_PATH);
        if (!loaded) {
            std::fprintf(stderr, "cannot load %s: error %lu\n", MARLREND_LIBRARY_PATH,
                         GetLastError());
            std::abort();
        }
        return static_cast<void*>(loaded);
    }();
    return handle;
}

void* Symbol(const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(LibraryHandle()), name));
}

} // namespace marltest
