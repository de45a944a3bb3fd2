// Device-independent bitmaps carried by metafile records: decoded into rows of colour, and
// the part of one that a stretched transfer puts on the picture resampled in the host (the
// library does not stretch) into the three-plane form the block transfer reads.
#pragma once

#include "host/image.h"
#include "host/library_source.h"

#include <cstdint>
#include <string>
#include <vector>

namespace marlhost {

// A decoded bitmap, rows top down, three samples per pixel (red, green, blue).
struct Dib {
    uint32_t Width = 0;
    uint32_t Height = 0;
    std::vector<uint8_t> Rgb;
    bool Mono = false;            // a two-colour bitmap
    PaletteEntry MonoColours[2]; // its colours for bits 0 and 1

    const uint8_t* Pixel(uint32_t x, uint32_t y) const {
        return Rgb.data() + (size_t{y} * Width + x) * 3;
    }
};

// Where a record keeps its bitmap: offsets and sizes from the start of the record.
struct DibLocation {
    uint32_t OffBmi = 0, CbBmi = 0, OffBits = 0, CbBits = 0;
    uint32_t Usage = 0; // 0: RGB colours; 1: palette indices
};

enum class DibResult { Decoded, Unsupported, Malformed };

// Decodes the bitmap; otherwise the reason: a bitmap in a form the host does not decode
// (run-length, JPEG or PNG compression, unusual depths) or a malformed one.
DibResult DecodeDib(const char* record, uint32_t recordSize, const DibLocation& where, Dib& out,
                    std::string& why);

// The bitmap as a picture of its own for a pattern brush: two-colour bitmaps stay 1-bit with
// their two colours, others become 24-bit.
Image DibToImage(const Dib& dib);

// A rectangle with real coordinates; width or height may be negative (mirrored).
struct RectF {
    double X = 0, Y = 0, Width = 0, Height = 0;
};

// The picture pixels [left, right) x [top, bottom) of the transfer that stretches the
// bitmap's part source onto the picture rectangle dest, each taking the bitmap pixel under its
// centre; pixels whose centre falls outside the bitmap are white.
LibrarySource StretchPart(const Dib& dib, const RectF& source, const RectF& dest, int32_t left,
                          int32_t top, int32_t right, int32_t bottom);

} // namespace marlhost
