#include "render24/blit/source_conversion.h"

#include "platform/platform.h"

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

void ConvertMonoRow(const uint8_t* bits, uint32_t bitPhase, const MonoColours& colours,
                    const ConversionRow& row) {
    uint32_t position = bitPhase & 7;
    for (uint32_t i = 0; i < row.Pixels; ++i) {
        PutPixel(row, i, (*bits & kBitMasks[position]) ? colours.Back : colours.Text);
        if (++position == 8) {
            position = 0;
            ++bits;
        }
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
