// Build and Prepare: the byte-serial row routine of one request, from the first byte-serial
// tier that serves it (tier_chain.h).
#include "render24/blit/blit_request.h"
#include "render24/blit/blit_routine.h"
#include "render24/blit/tier_chain.h"

namespace marl {

BlitRoutine* BlitRoutine::Build(uint32_t rop, uint32_t brushPattern, uint32_t patternColor,
                                uint32_t sourcePlaneStride, uint32_t destPlaneStride,
                                uint32_t patternWidth, uint32_t patternPhase, uint32_t rowWidth,
                                uint32_t sourceBits, uint32_t clearBitColor, uint32_t setBitColor,
                                uint32_t bitPhase, uint16_t* result) {
    const BlitRequest request = NormaliseRequest(
        rop, brushPattern, patternColor, sourcePlaneStride, destPlaneStride, patternWidth,
        patternPhase, rowWidth, sourceBits, clearBitColor, setBitColor, bitPhase);
    const bool ready = PrepareByteSerial(*this, request.PatternOrSolid(), SerialKeeping::Write);
    if (result) *result = ready ? 0 : 1;
    return this;
}

bool BlitRoutine::Prepare(const BlitRequest& request) {
    return PrepareByteSerial(*this, request.PatternOrSolid(), SerialKeeping::Keep);
}

} // namespace marl
