#include "driver_library.h"

#include <dlfcn.h>

#include <cstdio>

namespace marlbench {

const CapabilityTable& Entries() {
    static const CapabilityTable table = [] {
        const char* path = std::getenv("MARLREND_LIBRARY");
        if (path == nullptr || *path == '\0') path = MARLREND_LIBRARY_PATH;
        void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            std::fprintf(stderr, "cannot load %s: %s\n", path, dlerror());
            std::exit(2);
        }
        using GetCapabilities = CapabilityTable* (*)(CapabilityTable*);
        auto get = reinterpret_cast<GetCapabilities>(dlsym(library, "RPGetCapabilities"));
        CapabilityTable filled{};
        if (get == nullptr || get(&filled) == nullptr || filled.BitBlt == nullptr) {
            std::fprintf(stderr, "%s exports no usable RPGetCapabilities\n", path);
            std::exit(2);
        }
        return filled;
    }();
    return table;
}

DriverBitmap::DriverBitmap(uint16_t width, uint16_t height, uint8_t planes, uint8_t bitsPixel,
                           uint32_t seed)
    : Bits(size_t{planes} * MarlPlaneWidthBytes(width, bitsPixel) * height) {
    // A small linear congruential generator: samples that no routine can guess, the same
    // in every run.
    uint32_t state = seed * 2654435761u + 1;
    for (uint8_t& sample : Bits) {
        state = state * 1664525u + 1013904223u;
        sample = static_cast<uint8_t>(state >> 24);
    }
    MarlDescribeBitmap(Header, width, height, planes, bitsPixel, Bits.data());
}

DriverBand::DriverBand(uint16_t width, uint16_t height, uint32_t seed)
    : Bitmap(width, height, 3, 8, seed) {
    MarlAttachSurface(Surface, &Bitmap.Header);
    Device.Allocator = &Allocator;
    Device.Surface = &Surface;
}

DriverBrush::DriverBrush(DriverBand& band, uint16_t style, uint32_t colour, uint16_t hatch)
    : Device(&band.Device) {
    LogicalBrush logical{style, colour, hatch};
    Answer = Entries().RealizeBrush(Device, &logical, &Brush, 0, 1, 1, 0, 0x00F0E0D0);
}

DriverBrush::~DriverBrush() {
    if (Realized()) Entries().RealizeBrush(Device, &Brush, nullptr, 0, 0, 0, 0, 0);
}

} // namespace marlbench
