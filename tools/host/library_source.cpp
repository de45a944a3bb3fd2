#include "host/library_source.h"

#include <algorithm>
#include <cstring>

namespace marlhost {

namespace {

uint16_t RoundedRowBytes(uint32_t bits) { return static_cast<uint16_t>((bits + 31) / 32 * 4); }

void PalettePart(const Image& image, uint32_t entries, std::vector<uint8_t>& palette) {
    palette.assign(size_t{entries} * 3, 0);
    for (uint32_t i = 0; i < entries && i < image.Palette.size(); ++i) {
        palette[3 * i] = image.Palette[i].Blue;
        palette[3 * i + 1] = image.Palette[i].Green;
        palette[3 * i + 2] = image.Palette[i].Red;
    }
}

void ThreePlanes(const Image& image, LibrarySource& source) {
    source.Planes = 3;
    source.BitsPixel = 8;
    source.WidthBytes = RoundedRowBytes(8 * image.Width);
    source.Bits.assign(size_t{3} * source.WidthBytes * image.Height, 0);
    for (uint32_t y = 0; y < image.Height; ++y) {
        uint8_t* row = source.Bits.data() + size_t{3} * source.WidthBytes * y;
        for (uint32_t x = 0; x < image.Width; ++x) {
            PaletteEntry colour = image.Colour(x, y);
            row[x] = colour.Red;
            row[source.WidthBytes + x] = colour.Green;
            row[2 * source.WidthBytes + x] = colour.Blue;
        }
    }
}

void OnePlane(const Image& image, LibrarySource& source) {
    source.Planes = 1;
    source.BitsPixel = static_cast<uint8_t>(image.BitsPerPixel);
    uint32_t spare = image.BitsPerPixel == 1 ? 8 : 0;
    source.WidthBytes = RoundedRowBytes(image.BitsPerPixel * image.Width + spare);
    source.Bits.assign(size_t{source.WidthBytes} * image.Height, 0);
    size_t used = (size_t{image.BitsPerPixel} * image.Width + 7) / 8;
    for (uint32_t y = 0; y < image.Height; ++y)
        std::memcpy(source.Bits.data() + size_t{source.WidthBytes} * y, image.Row(y), used);
    PalettePart(image, 1u << image.BitsPerPixel, source.Palette);
}

uint32_t PixelValue(const uint8_t* row, uint32_t bitsPixel, uint32_t x) {
    if (bitsPixel == 1) return (row[x / 8] >> (7 - x % 8)) & 1u;
    return (row[x / 2] >> (x % 2 == 0 ? 4 : 0)) & 0x0Fu;
}

void StorePixel(uint8_t* row, uint32_t bitsPixel, uint32_t x, uint32_t value) {
    if (bitsPixel == 1)
        row[x / 8] |= static_cast<uint8_t>(value << (7 - x % 8));
    else
        row[x / 2] |= static_cast<uint8_t>(value << (x % 2 == 0 ? 4 : 0));
}

} // namespace

LibrarySource ToLibrarySource(const Image& image) {
    LibrarySource source;
    source.Width = static_cast<uint16_t>(image.Width);
    source.Height = static_cast<uint16_t>(image.Height);
    if (image.BitsPerPixel == 24)
        ThreePlanes(image, source);
    else
        OnePlane(image, source);
    return source;
}

LibrarySource MonoSource(uint16_t width, uint16_t height, const std::vector<uint8_t>& rows,
                         uint32_t rowBytes) {
    LibrarySource source;
    source.Width = width;
    source.Height = height;
    source.Planes = 1;
    source.BitsPixel = 1;
    source.WidthBytes = RoundedRowBytes(uint32_t{width} + 8);
    source.Bits.assign(size_t{source.WidthBytes} * height, 0);
    size_t used = std::min<size_t>(rowBytes, (size_t{width} + 7) / 8);
    for (uint32_t y = 0; y < height; ++y)
        std::memcpy(source.Bits.data() + size_t{source.WidthBytes} * y,
                    rows.data() + size_t{rowBytes} * y, used);
    return source;
}

SourceWindow::SourceWindow(const LibrarySource& source, uint32_t column, uint32_t row,
                           uint16_t width, uint16_t height, uint32_t monoExpand) {
    Record.Width = width;
    Record.Height = height;
    Record.Planes = source.Planes;
    Record.BitsPixel = source.BitsPixel;
    Record.WidthBytes = source.WidthBytes;
    Record.WidthPlanes = uint32_t{source.WidthBytes} * height;
    const uint8_t* first = source.Row(row);
    uint32_t bitsPixel = source.BitsPixel;
    if (source.Depth() == 1 && monoExpand != 0) {
        // The library converts these rows itself, starting at a bit position of their first
        // byte: move the first byte and the position instead of the bits.
        uint32_t bit = (monoExpand & 7u) + column;
        Record.Bits = const_cast<uint8_t*>(first) + bit / 8;
        Expand = 8u | (bit % 8);
        return;
    }
    uint32_t firstBit = column * bitsPixel;
    if (firstBit % 8 == 0) {
        Record.Bits = const_cast<uint8_t*>(first) + firstBit / 8;
        return;
    }
    CopyPart(source, column, row);
}

void SourceWindow::CopyPart(const LibrarySource& source, uint32_t column, uint32_t row) {
    uint32_t bitsPixel = source.BitsPixel;
    Record.WidthBytes = RoundedRowBytes(bitsPixel * Record.Width + 8);
    Record.WidthPlanes = uint32_t{Record.WidthBytes} * Record.Height;
    Copy.assign(size_t{Record.WidthBytes} * Record.Height, 0);
    for (uint32_t y = 0; y < Record.Height; ++y) {
        const uint8_t* from = source.Row(row + y);
        uint8_t* to = Copy.data() + size_t{Record.WidthBytes} * y;
        for (uint32_t x = 0; x < Record.Width; ++x)
            StorePixel(to, bitsPixel, x, PixelValue(from, bitsPixel, column + x));
    }
    Record.Bits = Copy.data();
}

} // namespace marlhost
