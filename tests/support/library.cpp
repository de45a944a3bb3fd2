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

const CapabilityTable& Table() {
    static CapabilityTable table = [] {
        using GetCapabilities = CapabilityTable* (*)(CapabilityTable*);
        auto get = reinterpret_cast<GetCapabilities>(dlsym(LibraryHandle(), "RPGetCapabilities"));
        if (!get) std::abort();
        CapabilityTable filled{};
        get(&filled);
        return filled;
    }();
    return table;
}

} // namespace marltest
