#include "render24/blit/machine_row_routine.h"

namespace marl {

bool MachineRowRoutine::Prepare(const BlitRequest& request, const TransferRows&) {
    Discard();
    return Routine.Prepare(request);
}

void MachineRowRoutine::Run(const void* sourceRow, void* destinationRow, const void* patternRow) {
    Routine.Run(sourceRow, destinationRow, patternRow);
}

void MachineRowRoutine::Discard() { Routine = BlitRoutine{}; }

} // namespace marl
