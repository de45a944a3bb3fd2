#include "fuzzing/fuzz_band.h"

#include <cstdio>
#include <random>

namespace marlfuzz {

BandShape ReadBandShape(FuzzInput& input) {
    BandShape shape;
    const uint8_t kind = input.Byte();
    shape.Width = static_cast<uint16_t>(input.Below(kind & 1 ? 300 : 40));
    shape.Height = static_cast<uint16_t>(input.Below(kind & 2 ? 64 : 12));
    shape.WidthBytes = MarlPlaneWidthBytes(shape.Width, 8);
    if (kind >= 0xE0) shape.WidthBytes = static_cast<uint16_t>(input.Below(shape.Width + 9u));
    if (kind >= 0xF0) shape.Planes = static_cast<uint8_t>(input.Below(6));
    if (kind >= 0xF8) shape.BitsPixel = input.Byte();
    return shape;
}

FuzzBand::FuzzBand(const BandShape& shape, uint32_t seed)
    : Shape(shape), Bytes(size_t{shape.Planes} * shape.WidthBytes * shape.Height) {
    Memory = std::make_unique<marltest::GuardedBuffer>(kCanaryBytes + Bytes, kCanary);
    Pixels = Memory->data() + kCanaryBytes;
    std::mt19937 random(seed);
    for (size_t i = 0; i < Bytes; ++i) {
        // Samples of 0 and 255 are where min, max and complement go wrong: a quarter each.
        uint32_t r = random();
        Pixels[i] = (r & 3) == 0 ? 0 : (r & 3) == 1 ? 255 : static_cast<uint8_t>(r >> 8);
    }
    BitmapHeader& header = *HeaderRecord;
    MarlDescribeBitmap(header, shape.Width, shape.Height, shape.Planes, shape.BitsPixel, Pixels);
    header.WidthBytes = shape.WidthBytes;
    header.WidthPlanes = uint32_t{shape.WidthBytes} * shape.Height;
    MarlAttachSurface(*SurfaceRecord, HeaderRecord.get());
    DeviceRecord->Allocator = &Alloc;
    DeviceRecord->Surface = SurfaceRecord.get();
    Snapshot();
}

size_t FuzzBand::Offset(uint32_t x, uint32_t y, uint32_t k) const {
    return (size_t{y} * Shape.Planes + k) * Shape.WidthBytes + x;
}

uint32_t FuzzBand::DrawableColumns() const {
    if (Shape.Planes < 3) return 0;
    return Shape.Width < Shape.WidthBytes ? Shape.Width : Shape.WidthBytes;
}

void FuzzBand::Snapshot() { Saved.assign(Pixels, Pixels + Bytes); }

std::string FuzzBand::CheckUndrawableUntouched() const {
    const uint8_t* canary = Memory->data();
    for (size_t i = 0; i < kCanaryBytes; ++i)
        if (canary[i] != kCanary) return "byte " + std::to_string(i) + " of the canary changed";
    const uint32_t columns = DrawableColumns();
    for (uint32_t y = 0; y < Shape.Height; ++y)
        for (uint32_t k = 0; k < Shape.Planes; ++k)
            for (uint32_t x = k < 3 ? columns : 0; x < Shape.WidthBytes; ++x) {
                size_t at = Offset(x, y, k);
                if (Pixels[at] != Saved[at]) {
                    char text[96];
                    std::snprintf(text, sizeof text,
                                  "undrawable byte changed: column %u row %u plane %u", x, y, k);
                    return text;
                }
            }
    return {};
}

} // namespace marlfuzz
