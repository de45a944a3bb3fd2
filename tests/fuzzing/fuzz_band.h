// A driver's band for a fuzz case: pixel data, header, surface and device record each flush
// against an unreadable page, so that a read or write past any of them faults at once. A few
// bytes before the pixel data are a canary, and every byte no primitive may write (padding
// past the drawable columns, planes past the third) is compared with its value before the
// call.
#pragma once

#include "fuzzing/fuzz_allocator.h"
#include "fuzzing/fuzz_input.h"
#include "marlrend/marlrend.h"
#include "support/guarded_memory.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace marlfuzz {

// A packed driver record placed at the very end of readable memory.
template <typename Record> class GuardedRecord {
    static_assert(alignof(Record) == 1, "only packed records may sit at any address");

public:
    GuardedRecord() : Memory(sizeof(Record)) { *get() = Record{}; }
    Record* get() { return reinterpret_cast<Record*>(Memory.data()); }
    const Record* get() const { return reinterpret_cast<const Record*>(Memory.data()); }
    const Record& operator*() const { return *get(); }
    Record* operator->() { return get(); }
    Record& operator*() { return *get(); }

private:
    marltest::GuardedBuffer Memory;
};

struct BandShape {
    uint16_t Width = 0;
    uint16_t Height = 0;
    uint16_t WidthBytes = 0;
    uint8_t Planes = 3;
    uint8_t BitsPixel = 8;
};

// Mostly ordinary bands (three 8-bit planes, rows rounded to 4 bytes), now and then odd
// ones: rows narrower than Width, extra planes, another depth. Sizes stay small so that a
// case runs in microseconds.
BandShape ReadBandShape(FuzzInput& input);

class FuzzBand {
public:
    FuzzBand(const BandShape& shape, uint32_t seed);

    RenderDevice* Device() { return DeviceRecord.get(); }
    BitmapHeader* Header() { return HeaderRecord.get(); }
    PlaneBitmap* Surface() { return SurfaceRecord.get(); }
    FuzzAllocator& Allocator() { return Alloc; }

    uint8_t* Bits() { return Pixels; }
    size_t ByteCount() const { return Bytes; }
    // Offset of sample (x, y) of plane k.
    size_t Offset(uint32_t x, uint32_t y, uint32_t k) const;
    // Columns a primitive may write: Width, but no more than a plane row holds; none unless
    // the band has the three planes every primitive draws into.
    uint32_t DrawableColumns() const;

    // The bytes as they are now become the ones later checks compare with.
    void Snapshot();
    const std::vector<uint8_t>& Before() const { return Saved; }
    // Canary intact and every byte outside the drawable columns of planes 0 to 2 unchanged.
    std::string CheckUndrawableUntouched() const;

private:
    static constexpr size_t kCanaryBytes = 64;
    static constexpr uint8_t kCanary = 0xC3;

    BandShape Shape;
    size_t Bytes;
    std::unique_ptr<marltest::GuardedBuffer> Memory;
    uint8_t* Pixels;
    std::vector<uint8_t> Saved;
    GuardedRecord<BitmapHeader> HeaderRecord;
    GuardedRecord<PlaneBitmap> SurfaceRecord;
    GuardedRecord<RenderDevice> DeviceRecord;
    FuzzAllocator Alloc;
};

} // namespace marlfuzz
