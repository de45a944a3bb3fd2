#include "render24/blit/transfer/transfer_clip.h"

#include <algorithm>

namespace marl {
namespace {

// The last index touched along one axis, or -1 when nothing is: start + min(sourceExtent - 1,
// requested). A source extent of 0 touches nothing (without a source the extent is the
// requested size); with a source, a requested size of 0 still reaches the first index. The
// axis is never widened to cover its first index when the reach is negative.
int32_t LastIndex(int32_t start, int32_t sourceExtent, int32_t requested, int32_t limit) {
    int32_t reach = std::min(sourceExtent - 1, requested);
    if (reach < 0) return -1;
    int32_t last = std::max(start + reach, 0);
    last = std::min(last, limit - 1);
    return last < start ? -1 : last;
}

} // namespace

TransferClip ClipTransfer(const ClipRequest& request) {
    TransferClip clip;
    if (request.DestWidth < request.X || request.DestHeight < request.Y) {
        clip.Outcome = ClipOutcome::Outside;
        return clip;
    }
    int32_t right =
        LastIndex(static_cast<int32_t>(request.X), static_cast<int32_t>(request.SourceWidth),
                  static_cast<int32_t>(request.Width), static_cast<int32_t>(request.DestWidth));
    int32_t bottom =
        LastIndex(static_cast<int32_t>(request.Y), static_cast<int32_t>(request.SourceHeight),
                  static_cast<int32_t>(request.Height), static_cast<int32_t>(request.DestHeight));
    if (right < 0 || bottom < 0) return clip;
    clip.Outcome = ClipOutcome::Inside;
    clip.Right = static_cast<uint16_t>(right);
    clip.Bottom = static_cast<uint16_t>(bottom);
    return clip;
}

void LimitToSourceRow(TransferClip& clip, uint32_t x, uint32_t rowPixels) {
    if (clip.Outcome != ClipOutcome::Inside) return;
    if (rowPixels == 0) {
        clip.Outcome = ClipOutcome::Empty;
        return;
    }
    if (clip.Pixels(x) > rowPixels) clip.Right = static_cast<uint16_t>(x + rowPixels - 1);
}

} // namespace marl
