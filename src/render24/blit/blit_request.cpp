#include "render24/blit/blit_request.h"

namespace marl {
namespace {

uint16_t Low16(uint32_t value) { return static_cast<uint16_t>(value & 0xFFFF); }
constexpr uint32_t kColourBytes = 0x00FFFFFF;

} // namespace

BlitRequest NormaliseRequest(uint32_t rop, uint32_t brushPattern, uint32_t patternColor,
                             uint32_t sourcePlaneStride, uint32_t destPlaneStride,
                             uint32_t patternWidth, uint32_t patternPhase, uint32_t rowWidth,
                             uint32_t sourceBits, uint32_t clearBitColor, uint32_t setBitColor,
                             uint32_t bitPhase) {
    BlitRequest request;
    request.Rop = static_cast<uint8_t>(rop);
    request.PatternRows = Low16(brushPattern) != 0;
    request.PatternColor = patternColor & kColourBytes;
    request.SourceBits = Low16(sourceBits);
    request.DestPlaneStride = Low16(destPlaneStride);
    request.RowWidth = Low16(rowWidth);
    request.PatternWidth = Low16(patternWidth);
    // A phase at or past the width is taken modulo the width, which keeps the pattern
    // pointer inside its plane run.
    if (request.PatternRows && request.PatternWidth != 0)
        request.PatternPhase = static_cast<uint16_t>(Low16(patternPhase) % request.PatternWidth);
    // Only a source of three plane runs steps from run to run; a source of any other depth
    // but 1 holds one sample per pixel for all three planes.
    if (request.SourceBits == 24) request.SourcePlaneStride = Low16(sourcePlaneStride);
    if (request.SourceBits == 1) {
        request.ClearBitColor = clearBitColor & kColourBytes;
        request.SetBitColor = setBitColor & kColourBytes;
        request.BitPhase = static_cast<uint8_t>(bitPhase & 7);
    }
    return request;
}

BlitRequest BlitRequest::PatternOrSolid() const {
    BlitRequest solid = *this;
    if (PatternRows && PatternWidth == 0) solid.PatternRows = false;
    return solid;
}

} // namespace marl
