// The library as a printer driver reaches it: libmarlrend.so loaded with dlopen, its table
// filled once by RPGetCapabilities, every call made through that table. The benchmark never
// links the library, so no figure can come from a call a driver could not make.
#pragma once

#include "marlrend/marlrend.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace marlbench {

// The table of the library named by MARLREND_LIBRARY, or of the one beside this build.
const CapabilityTable& Entries();

// The driver's memory service: plain malloc and free.
class MallocAllocator final : public HostAllocator {
public:
    void FreeBlock(void* block) override { std::free(block); }
    int32_t AllocBlock(uint32_t size, uint32_t, void** block, const char*, uint32_t) override {
        *block = std::malloc(size == 0 ? 1 : size);
        return *block ? 0 : -1;
    }
};

// A bitmap of the driver's own (band, source or glyph) with random samples.
struct DriverBitmap {
    DriverBitmap(uint16_t width, uint16_t height, uint8_t planes, uint8_t bitsPixel, uint32_t seed);
    uint8_t* Row(uint32_t y, uint32_t plane) {
        return Bits.data() + (size_t{y} * Header.Planes + plane) * Header.WidthBytes;
    }
    std::vector<uint8_t> Bits;
    BitmapHeader Header{};
};

// A band the driver renders into: its bitmap, the surface over it and the device record.
struct DriverBand {
    DriverBand(uint16_t width, uint16_t height, uint32_t seed);
    DriverBitmap Bitmap;
    PlaneBitmap Surface{};
    RenderDevice Device{};
    MallocAllocator Allocator;
};

// A brush realized through the table and released again when it goes.
class DriverBrush {
public:
    // style 0: solid colour; style 2: hatched (hatch 0..5) at device factors 1 and 1.
    DriverBrush(DriverBand& band, uint16_t style, uint32_t colour, uint16_t hatch);
    ~DriverBrush();
    DriverBrush(const DriverBrush&) = delete;
    DriverBrush& operator=(const DriverBrush&) = delete;
    RealizedBrush* Get() { return &Brush; }
    bool Realized() const { return Answer == sizeof(RealizedBrush); }

private:
    RenderDevice* Device;
    RealizedBrush Brush{};
    uint32_t Answer = 0;
};

} // namespace marlbench
