// Comparing the host's picture of a page with the reference player's: the share of pixels
// that agree, and a side-by-side picture (ours | reference | difference) to look at.
#pragma once

#include "host/band_renderer.h"

#include <cstdint>
#include <string>
#include <vector>

namespace marlcompare {

using marlhost::PageImage;

// A PNG (any colour type libpng reads) or a BMP of 1, 4, 8 or 24 bits, as 8-bit RGB. Throws a
// HostError naming path when the file is neither.
PageImage ReadPicture(const std::string& path);

// How far a sample may be from its match, and how far (in pixels, either way) the match may
// lie: a line drawn one pixel off, or an edge with other anti-aliasing, still agrees.
struct Tolerance {
    int Samples = 32;
    int Pixels = 1;
};

struct Agreement {
    bool SameSize = false;
    uint64_t Pixels = 0;   // pixels of ours
    uint64_t Agreeing = 0; // of them, those that agree both ways
    // Per pixel of ours (when the sizes match): bit 0 set when ours has no match in the
    // reference, bit 1 when the reference's pixel has no match in ours.
    std::vector<uint8_t> Misses;
    double Share() const { return Pixels == 0 ? 0.0 : double(Agreeing) / double(Pixels); }
};

// A pixel agrees when the other picture has a pixel within tolerance.Pixels of it whose every
// sample lies within tolerance.Samples of its own, checked from ours into the reference and from
// the reference into ours at the same place. Pictures of different sizes agree nowhere.
Agreement Agree(const PageImage& ours, const PageImage& reference, Tolerance tolerance = {});

// Ours, the reference and the difference beside each other, on a grey ground with a gap between
// them. The difference shows agreeing pixels as a pale copy of ours, pixels only ours drew in
// red, pixels only the reference drew in blue and pixels both miss in purple. Pictures larger
// than largestSide pixels a side are shrunk by a whole factor until they fit, each block the
// average of its pixels; in the difference a block shows any miss among its pixels.
PageImage SideBySide(const PageImage& ours, const PageImage& reference, const Agreement& agreement,
                     int32_t largestSide = 3000);

} // namespace marlcompare
