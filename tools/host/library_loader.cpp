#include "host/library_loader.h"

#include "host/host_error.h"

#include <dlfcn.h>

namespace marlhost {

LoadedLibrary::LoadedLibrary(const std::string& path) {
    Handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (Handle == nullptr)
        throw HostError(ExitCode::Library, "cannot load the library: " + std::string(dlerror()));
    using GetCapabilities = CapabilityTable* (*)(CapabilityTable*);
    auto get = reinterpret_cast<GetCapabilities>(dlsym(Handle, "RPGetCapabilities"));
    if (get == nullptr) {
        dlclose(Handle);
        throw HostError(ExitCode::Library, path + " has no RPGetCapabilities");
    }
    get(&Entries);
    if (Entries.RealizeBrush == nullptr || Entries.Pixel == nullptr ||
        Entries.DrawLine == nullptr || Entries.FillScanRows == nullptr ||
        Entries.BitBlt == nullptr || Entries.StretchDIBits == nullptr) {
        dlclose(Handle);
        throw HostError(ExitCode::Library, path + ": RPGetCapabilities left an entry empty");
    }
}

LoadedLibrary::~LoadedLibrary() { dlclose(Handle); }

} // namespace marlhost
