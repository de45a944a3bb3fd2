// Source bitmaps in the forms the block transfer reads, and the part of one that a single
// transfer hands over.
//
// A 24-bit picture becomes three 8-bit planes (plane 0 red, 1 green, 2 blue); 8- and 4-bit
// pictures stay one plane of indices with a palette in the library's order (entry i is bytes
// 3i..3i+2, and byte 3i+2 is the plane-0 sample, so blue, green, red); a 1-bit picture stays
// one plane of bits with a palette of its two entries in the same order.
#pragma once

#include "host/image.h"

#include "marlrend/marlrend.h"

#include <cstdint>
#include <vector>

namespace marlhost {

struct LibrarySource {
    uint16_t Width = 0;
    uint16_t Height = 0;
    uint8_t Planes = 0;
    uint8_t BitsPixel = 0;
    uint16_t WidthBytes = 0;      // bytes in one row of one plane
    std::vector<uint8_t> Bits;    // Height rows of Planes x WidthBytes bytes
    std::vector<uint8_t> Palette; // library order; empty for three planes

    uint32_t Depth() const { return uint32_t{Planes} * BitsPixel; }
    const uint8_t* Row(uint32_t y) const { return Bits.data() + size_t{y} * Planes * WidthBytes; }
};

// Converts a decoded picture. Rows of 1-bit sources keep one spare byte past the last pixel,
// so that a conversion that starts a few bits into the row never reads the next row.
LibrarySource ToLibrarySource(const Image& image);

// A 1-bit source from rows of bits, most significant bit first (glyphs).
LibrarySource MonoSource(uint16_t width, uint16_t height, const std::vector<uint8_t>& rows,
                         uint32_t rowBytes);

// The part of a source that one transfer reads: a header over columns [Column, Column +
// Width) and rows [Row, Row + Height). Where the part cannot begin on a byte of the source (a
// 1-bit or 4-bit source cut inside a byte), it is copied; otherwise the header points into
// the source. A 1-bit source that the library converts (monoExpand non-zero) is never copied:
// the cut moves the first byte and the bit position that MonoExpand carries instead.
class SourceWindow {
public:
    SourceWindow(const LibrarySource& source, uint32_t column, uint32_t row, uint16_t width,
                 uint16_t height, uint32_t monoExpand);
    SourceWindow(const SourceWindow&) = delete;
    SourceWindow& operator=(const SourceWindow&) = delete;

    BitmapHeader* Header() { return &Record; }
    uint32_t MonoExpand() const { return Expand; }
    bool Copied() const { return !Copy.empty(); }

private:
    void CopyPart(const LibrarySource& source, uint32_t column, uint32_t row);

    BitmapHeader Record{};
    std::vector<uint8_t> Copy;
    uint32_t Expand = 0;
};

} // namespace marlhost
