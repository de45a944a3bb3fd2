// The library as a driver reaches it: loaded by path, asked once for its entry table.
#pragma once

#include "marlrend/marlrend.h"

#include <string>

namespace marlhost {

class LoadedLibrary {
public:
    // Loads the shared library at path and fills the table through its RPGetCapabilities;
    // throws a library error when either fails or the table is incomplete.
    explicit LoadedLibrary(const std::string& path);
    ~LoadedLibrary();
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    const CapabilityTable& Table() const { return Entries; }

private:
    void* Handle = nullptr;
    CapabilityTable Entries{};
};

} // namespace marlhost
