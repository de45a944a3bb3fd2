#include "render24/blit/machine_row_routine.h"

#include <new>

namespace marl {

bool MachineRowRoutine::Prepare(const RoutineRequest& request) {
    Discard();
    Routine = new (std::nothrow) BlitRoutine;
    if (Routine == nullptr) return false;
    uint16_t result = 0;
    Routine->Build(request.Rop, request.BrushPattern, request.PatternColor,
                   request.SourcePlaneStride, request.DestPlaneStride, request.PatternWidth,
                   request.PatternPhase, request.RowWidth, request.SourceBits,
                   request.ClearBitColor, request.SetBitColor, request.BitPhase, &result);
    return true;
}

void MachineRowRoutine::Run(const void* sourceRow, void* destinationRow, const void* patternRow) {
    Routine->Run(sourceRow, destinationRow, patternRow);
}

void MachineRowRoutine::Discard() {
    if (Routine == nullptr) return;
    Routine->RestoreProtection();
    delete Routine;
    Routine = nullptr;
}

} // namespace marl
