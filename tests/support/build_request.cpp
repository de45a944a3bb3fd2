#include "support/build_request.h"

namespace marltest {

marl::BlitRequest Normalised(const RopRequest& r) {
    return marl::NormaliseRequest(r.Rop, r.BrushPattern ? 1 : 0, r.PatternColor,
                                  r.SourcePlaneStride, r.DestPlaneStride, r.PatternWidth,
                                  r.PatternPhase, r.RowWidth, r.SourceBits, r.ClearBitColor,
                                  r.SetBitColor, r.BitPhase);
}

void BuildFor(marl::BlitRoutine& routine, const RopRequest& request, uint16_t* result) {
    uint16_t ignored = 0;
    routine.Build(request.Rop, request.BrushPattern ? 1 : 0, request.PatternColor,
                  request.SourcePlaneStride, request.DestPlaneStride, request.PatternWidth,
                  request.PatternPhase, request.RowWidth, request.SourceBits, request.ClearBitColor,
                  request.SetBitColor, request.BitPhase, result ? result : &ignored);
}

} // namespace marltest
