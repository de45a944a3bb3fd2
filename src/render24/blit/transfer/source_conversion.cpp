#include "render24/blit/transfer/source_conversion.h"

#include "platform/platform.h"

#include <array>
#include <cstring>

namespace marl {
namespace {

// Entry p selects bit position p of a 1-bit source byte, position 0 the most significant.
constexpr uint8_t kBitMasks[8] = {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01};

bool EntriesReadable(const uint8_t* palette, uint32_t entries) {
    return IsBadReadPtr(palette, 3 * entries) == 0;
}

void PutPixel(const ConversionRow& row, uint32_t i, uint32_t colour) {
    row.Bytes[i] = PlaneSample(colour, 0);
    row.Bytes[row.Pixels + i] = PlaneSample(colour, 1);
    row.Bytes[2 * row.Pixels + i] = PlaneSample(colour, 2);
}

void PutIndex(const ConversionRow& row, uint32_t i, uint32_t index, const SourcePalette& palette) {
    if (index < palette.Count) {
        PutPixel(row, i, PaletteColour(palette.Entries, index));
    } else {
        PutPixel(row, i, index * 0x010101u);
    }
}

} // namespace

SourcePalette ReadablePalette(const uint8_t* palette, uint32_t wanted) {
    if (palette == nullptr || wanted == 0) return {};
    if (EntriesReadable(palette, wanted)) return {palette, wanted};
    // Readability only shrinks as the range grows: find the longest readable prefix.
    uint32_t readable = 0, unreadable = wanted;
    while (unreadable - readable > 1) {
        uint32_t middle = readable + (unreadable - readable) / 2;
        if (EntriesReadable(palette, middle)) {
            readable = middle;
        } else {
            unreadable = middle;
        }
    }
    if (readable == 0) return {};
    return {palette, readable};
}

namespace {

// For each byte of eight pixels (the first in the most significant bit), 0xFF in the bytes
// of the pixels whose bit is set, the first pixel in the lowest byte.
constexpr std::array<uint64_t, 256> MakeBitSpread() {
    std::array<uint64_t, 256> spread{};
    for (uint32_t bits = 0; bits < 256; ++bits) {
        for (uint32_t pixel = 0; pixel < 8; ++pixel) {
            if (bits & (0x80u >> pixel)) spread[bits] |= uint64_t{0xFF} << (8 * pixel);
        }
    }
    return spread;
}
constexpr std::array<uint64_t, 256> kBitSpread = MakeBitSpread();

// The eight bits from bit position phase of bits[0] on (phase 1 to 7 takes the high bits of
// bits[1] too, which hold pixels of the same eight).
uint32_t EightBits(const uint8_t* bits, uint32_t phase) {
    if (phase == 0) return bits[0];
    return ((uint32_t{bits[0]} << phase) | (bits[1] >> (8 - phase))) & 0xFF;
}

// One plane: eight samples at a time, each the plane's text sample with the text-to-back
// difference where the bit is set; the pixels past the last whole eight one by one. Reads
// only the bytes that hold the row's bits.
void ConvertMonoPlane(const uint8_t* bits, uint32_t phase, uint8_t text, uint8_t back, uint8_t* out,
                      uint32_t pixels) {
    const uint64_t text8 = text * 0x0101010101010101ull;
    const uint64_t flip8 = static_cast<uint8_t>(text ^ back) * 0x0101010101010101ull;
    uint32_t i = 0;
    for (; i + 8 <= pixels; i += 8) {
        const uint64_t samples = text8 ^ (flip8 & kBitSpread[EightBits(bits + i / 8, phase)]);
        std::memcpy(out + i, &samples, sizeof samples);
    }
    for (; i < pixels; ++i) {
        const uint32_t bit = phase + i;
        out[i] = (bits[bit / 8] & kBitMasks[bit % 8]) ? back : text;
    }
}

} // namespace

void ConvertMonoRow(const uint8_t* bits, uint32_t bitPhase, const MonoColours& colours,
                    const ConversionRow& row) {
    for (uint32_t plane = 0; plane < 3; ++plane) {
        ConvertMonoPlane(bits, bitPhase & 7, PlaneSample(colours.Text, plane),
                         PlaneSample(colours.Back, plane), row.Bytes + plane * row.Pixels,
                         row.Pixels);
    }
}

void ConvertIndex8Row(const uint8_t* indices, const SourcePalette& palette,
                      const ConversionRow& row) {
    for (uint32_t i = 0; i < row.Pixels; ++i)
        PutIndex(row, i, indices[i], palette);
}

void ConvertIndex4Row(const uint8_t* nibbles, const SourcePalette& palette,
                      const ConversionRow& row) {
    for (uint32_t i = 0; i < row.Pixels; ++i) {
        uint8_t pair = nibbles[i / 2];
        PutIndex(row, i, (i % 2 == 0) ? pair >> 4 : pair & 0x0F, palette);
    }
}

void ConvertSourceRow(ConversionMode mode, const uint8_t* sourceRow, uint32_t bitPhase,
                      const MonoColours& colours, const SourcePalette& palette,
                      const ConversionRow& row) {
    switch (mode) {
    case ConversionMode::Mono: ConvertMonoRow(sourceRow, bitPhase, colours, row); break;
    case ConversionMode::Index4: ConvertIndex4Row(sourceRow, palette, row); break;
    case ConversionMode::Index8: ConvertIndex8Row(sourceRow, palette, row); break;
    case ConversionMode::None: break;
    }
}

} // namespace marl
