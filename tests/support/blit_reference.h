// The reference meaning of a whole block transfer, in the plainest terms: the rectangle
// clipped, each source pixel turned into its three samples by the source's own rules, each
// pattern sample taken from the brush origin, and then each destination row combined by the
// row reference (ReferenceRow) from those samples.
//
// Brushes are taken as they are: the re-colouring of a 1-bit pattern brush is tested apart.
#pragma once

#include "support/blit_scene.h"

#include <cstdint>
#include <vector>

namespace marltest {

// Destination band as bytes: rows of three planes of widthBytes bytes, like TestBand.
struct BandLayout {
    uint32_t Width = 0;
    uint32_t Height = 0;
    uint32_t WidthBytes = 0;
};

// Applies the transfer to `band` and answers RPBitBlt's result.
uint32_t ReferenceBitBlt(const BlitScene& scene, const BandLayout& layout,
                         std::vector<uint8_t>& band);

BandLayout LayoutOf(TestBand& band);

} // namespace marltest
