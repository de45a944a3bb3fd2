// The pieces of a block transfer as a test builds them: source bitmaps, palettes and brushes
// in guarded memory (any read past them faults), the request itself, and the call of
// RPBitBlt with it.
#pragma once

#include "marlrend/marlrend.h"
#include "support/guarded_memory.h"
#include "support/test_band.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace marltest {

// Random bytes, a third of them 0 or 255, from a fixed seed.
void FillRandom(uint8_t* bytes, size_t count, uint32_t seed);

// A source bitmap whose pixel data ends flush against an unreadable page.
class SourceImage {
  public:
    // widthBytes 0 takes the usual rounding to 4.
    SourceImage(uint16_t width, uint16_t height, uint8_t planes, uint8_t bitsPixel, uint32_t seed,
                uint16_t widthBytes = 0);
    BitmapHeader* Header() { return &Record; }
    uint8_t* Row(uint32_t y) { return Record.Bits + size_t{y} * Record.Planes * Record.WidthBytes; }

  private:
    std::unique_ptr<GuardedBuffer> Memory;
    BitmapHeader Record{};
};

// A palette of `entries` 3-byte entries ending flush against an unreadable page.
class PaletteImage {
  public:
    PaletteImage(uint32_t entries, uint32_t seed);
    const uint8_t* Data() const { return Memory->data(); }
    uint8_t* Data() { return Memory->data(); }
    uint32_t Entries() const { return Count; }

  private:
    std::unique_ptr<GuardedBuffer> Memory;
    uint32_t Count;
};

// A realized brush with an expanded pattern of its own (no 1-bit source).
class PatternBrush {
  public:
    PatternBrush(int16_t width, int16_t height, int16_t originX, int16_t originY, uint32_t seed);
    RealizedBrush* Record() { return &Brush; }
    uint8_t* Bits() { return Memory->data(); }

  private:
    std::unique_ptr<GuardedBuffer> Memory;
    RealizedBrush Brush{};
};

RealizedBrush SolidBrush(uint32_t colour, uint16_t style = 0);

// What RPBitBlt is given, besides the device and destination of a band.
struct BlitScene {
    uint16_t X = 0;
    uint16_t Y = 0;
    uint16_t Width = 0;
    uint16_t Height = 0;
    BitmapHeader* Source = nullptr;
    uint8_t Rop = 0xCC;
    RealizedBrush* Brush = nullptr;
    DrawColors Colors{};
    const uint8_t* Palette = nullptr;
    uint32_t PaletteEntries = 0; // entries the palette really has
    uint16_t MonoExpand = 0;
};

DrawColors PhysicalColours(uint32_t text, uint32_t back);

// RPBitBlt through the function given (the exported table's entry, or the static one).
uint32_t CallBitBlt(RPBitBltFn bitBlt, TestBand& band, BlitScene& scene);

// All bytes of a band, for comparing whole bands.
std::vector<uint8_t> BandBytes(TestBand& band);

} // namespace marltest
