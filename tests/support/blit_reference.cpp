#include "support/blit_reference.h"

#include "support/reference_rop.h"

#include <algorithm>

namespace marltest {
namespace {

uint8_t Sample(uint32_t colour, uint32_t plane) { return uint8_t(colour >> (8 * plane)); }

bool Unmapped(uint32_t colour) { return (colour & 0xFE000000u) != 0; }

uint32_t PaletteEntry(const uint8_t* palette, uint32_t i) {
    return (uint32_t(palette[3 * i]) << 16) | (uint32_t(palette[3 * i + 1]) << 8) |
           palette[3 * i + 2];
}

struct Colours {
    uint32_t Text;
    uint32_t Back;
};

uint32_t Depth(const BitmapHeader& source) { return uint32_t(source.Planes) * source.BitsPixel; }

bool SourceReadable(const BitmapHeader& source) {
    uint32_t depth = Depth(source);
    return depth == 1 || depth == 4 || depth == 8 || (source.Planes == 3 && source.BitsPixel == 8);
}

bool ReadsSource(uint8_t rop) { return ReferenceName(rop).find('S') != std::string::npos; }

// The last index along one axis, -1 when nothing: x + min(extent - 1, requested), cut at the
// destination's last index; a zero extent covers nothing. With a source, a requested size of
// 0 still covers the first index (min(extent - 1, 0) is 0); without one the extent is the
// requested size itself.
int32_t LastIndex(int32_t start, int32_t extent, int32_t requested, int32_t limit) {
    if (extent == 0) return -1;
    int32_t last = std::min(start + std::min(extent - 1, requested), limit - 1);
    return last < start ? -1 : last;
}

// The colour of source pixel (i, j) of a 1-, 4- or 8-bit source, or its plane samples.
uint32_t IndexedColour(const BlitScene& scene, uint32_t index) {
    if (scene.Palette != nullptr && index < scene.PaletteEntries)
        return PaletteEntry(scene.Palette, index);
    return index * 0x010101u;
}

uint8_t SourceSample(const BlitScene& scene, const Colours& colours, uint32_t i, uint32_t j,
                     uint32_t plane) {
    const BitmapHeader& source = *scene.Source;
    const uint8_t* row = source.Bits + size_t(j) * source.Planes * source.WidthBytes;
    switch (Depth(source)) {
    case 1: {
        uint32_t bit = i + (scene.MonoExpand != 0 ? (scene.MonoExpand & 7) : 0);
        bool set = (row[bit / 8] >> (7 - bit % 8)) & 1;
        return Sample(set ? colours.Back : colours.Text, plane);
    }
    case 4: {
        uint8_t pair = row[i / 2];
        return Sample(IndexedColour(scene, i % 2 ? pair & 15 : pair >> 4), plane);
    }
    case 8: return Sample(IndexedColour(scene, row[i]), plane);
    default: return row[plane * source.WidthBytes + i];
    }
}

uint8_t PatternSample(const RealizedBrush& brush, int32_t column, int32_t row, uint32_t plane) {
    int32_t px = ((column - brush.OriginX) % brush.Width + brush.Width) % brush.Width;
    int32_t py = ((row - brush.OriginY) % brush.Height + brush.Height) % brush.Height;
    return brush.Bits[(py * 3 + int32_t(plane)) * brush.Width + px];
}

} // namespace

BandLayout LayoutOf(TestBand& band) {
    return {band.Width(), band.Height(), band.Header()->WidthBytes};
}

uint32_t ReferenceBitBlt(const BlitScene& scene, const BandLayout& layout,
                         std::vector<uint8_t>& band) {
    const DrawColors& colors = scene.Colors;
    Colours colours{colors.TextColor, colors.BackColor};
    if (Unmapped(colors.TextColor) || Unmapped(colors.BackColor))
        colours = {colors.LogicalTextColor, colors.LogicalBackColor};
    const RealizedBrush* brush = scene.Rop == 0xCC ? nullptr : scene.Brush;
    if (scene.Source != nullptr && Depth(*scene.Source) == 1 && scene.Palette != nullptr &&
        scene.PaletteEntries >= 2)
        colours = {PaletteEntry(scene.Palette, 0), PaletteEntry(scene.Palette, 1)};
    if (ReadsSource(scene.Rop) && (scene.Source == nullptr || !SourceReadable(*scene.Source)))
        return 1;

    if (scene.X > layout.Width || scene.Y > layout.Height) return 0;
    int32_t sourceWidth = scene.Source ? scene.Source->Width : scene.Width;
    int32_t sourceHeight = scene.Source ? scene.Source->Height : scene.Height;
    int32_t right = LastIndex(scene.X, sourceWidth, scene.Width, int32_t(layout.Width));
    int32_t bottom = LastIndex(scene.Y, sourceHeight, scene.Height, int32_t(layout.Height));
    if (right < 0 || bottom < 0) return 0;

    uint32_t pixels = uint32_t(right) - scene.X + 1;
    bool patterned = brush != nullptr && brush->Width > 0 && brush->Height > 0 && brush->Bits;
    uint32_t solid = brush != nullptr             ? brush->Color
                     : Unmapped(colors.TextColor) ? colors.LogicalTextColor
                                                  : colors.TextColor;
    RopRequest request;
    request.Rop = scene.Rop;
    request.BrushPattern = patterned;
    request.PatternColor = solid;
    request.SourceBits = 24;
    request.SourcePlaneStride = pixels;
    request.DestPlaneStride = layout.WidthBytes;
    request.PatternWidth = pixels;
    request.RowWidth = pixels;

    std::vector<uint8_t> source(3 * pixels), pattern(3 * pixels);
    for (int32_t r = scene.Y; r <= bottom; ++r) {
        for (uint32_t i = 0; i < pixels; ++i) {
            for (uint32_t k = 0; k < 3; ++k) {
                if (scene.Source && SourceReadable(*scene.Source))
                    source[k * pixels + i] = SourceSample(scene, colours, i, r - scene.Y, k);
                if (patterned) pattern[k * pixels + i] = PatternSample(*brush, scene.X + i, r, k);
            }
        }
        uint8_t* row = band.data() + size_t(r) * 3 * layout.WidthBytes + scene.X;
        ReferenceRow(request, source.data(), row, pattern.data());
    }
    return 0;
}

} // namespace marltest
