// A driver's side in miniature: a three-plane 8-bit band in guarded memory, its header and
// surface, a device record and a counting allocator.
#pragma once

#include "marlrend/marlrend.h"
#include "support/counting_allocator.h"
#include "support/guarded_memory.h"

#include <cstdint>
#include <memory>

namespace marltest {

class TestBand {
public:
    // widthBytes 0 takes the usual rounding to 4; a band whose width is a multiple of 4 ends
    // flush against the guard page.
    TestBand(uint16_t width, uint16_t height, uint8_t fill = 0, uint16_t widthBytes = 0);

    RenderDevice* Device() { return &DeviceRecord; }
    BitmapHeader* Header() { return &HeaderRecord; }
    PlaneBitmap* Surface() { return &SurfaceRecord; }
    CountingAllocator& Allocator() { return Alloc; }

    uint16_t Width() const { return HeaderRecord.Width; }
    uint16_t Height() const { return HeaderRecord.Height; }
    uint8_t& At(uint32_t x, uint32_t y, uint32_t plane);
    uint8_t* Row(uint32_t y, uint32_t plane);
    // All the band's bytes (every row, every plane, padding included).
    uint8_t* Bytes() { return Memory->data(); }
    size_t ByteCount() const { return Memory->size(); }

private:
    std::unique_ptr<GuardedBuffer> Memory;
    BitmapHeader HeaderRecord{};
    PlaneBitmap SurfaceRecord{};
    RenderDevice DeviceRecord{};
    CountingAllocator Alloc;
};

} // namespace marltest
