// The library loaded with dlopen, as a driver on this platform loads it.
#include "support/library.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

namespace marltest {

void* LibraryHandle() {
    static void* handle = [] {
        void* loaded = dlopen(MARLREND_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        if (!loaded) {
            std::fprintf(stderr, "cannot load %s: %s\n", MARLREND_LIBRARY_PATH, dlerror());
            std::abort();
        }
        return loaded;
    }();
    return handle;
}

void* Symbol(const char* name) { return dlsym(LibraryHandle(), name); }

} // namespace marltest
