// Rejection and clipping of a block-transfer rectangle against the destination.
//
// The source's column 0 and row 0 line up with (x, y). The last column touched is
// x + min(source width - 1, width), and without a source the source extent is the request
// itself, so the transfer covers x .. x + width - 1; rows likewise. Both are then cut at the
// destination's last column and row.
#pragma once

#include <cstdint>

namespace marl {

struct ClipRequest {
    uint32_t DestWidth = 0;
    uint32_t DestHeight = 0;
    uint32_t X = 0;
    uint32_t Y = 0;
    uint32_t Width = 0;
    uint32_t Height = 0;
    uint32_t SourceWidth = 0; // the source extent: the request's own width without a source
    uint32_t SourceHeight = 0;
};

enum class ClipOutcome : uint8_t {
    Outside, // x or y beyond the destination: nothing to do
    Empty,   // no column or no row left: nothing to do
    Inside,
};

struct TransferClip {
    ClipOutcome Outcome = ClipOutcome::Empty;
    uint16_t Right = 0;  // last destination column
    uint16_t Bottom = 0; // last destination row
    uint32_t Pixels(uint32_t x) const { return uint32_t{Right} - x + 1; }
    uint32_t Rows(uint32_t y) const { return uint32_t{Bottom} - y + 1; }
};

TransferClip ClipTransfer(const ClipRequest& request);

// Cuts an inside clip so that a row reads no more than `rowPixels` source pixels.
void LimitToSourceRow(TransferClip& clip, uint32_t x, uint32_t rowPixels);

} // namespace marl
