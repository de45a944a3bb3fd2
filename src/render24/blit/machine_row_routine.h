// The row routine of the library: a BlitRoutine prepared by BlitRoutine::Prepare (a patched
// prebuilt routine or a kept generated one) and run through Run.
#pragma once

#include "render24/blit/blit_routine.h"
#include "render24/blit/row_routine.h"

namespace marl {

class MachineRowRoutine final : public RowRoutine {
public:
    MachineRowRoutine() = default;
    MachineRowRoutine(const MachineRowRoutine&) = delete;
    MachineRowRoutine& operator=(const MachineRowRoutine&) = delete;
    ~MachineRowRoutine() { Discard(); }

    bool Prepare(const BlitRequest& request, const TransferRows& rows) override;
    void Run(const void* sourceRow, void* destinationRow, const void* patternRow) override;
    void Discard() override;

private:
    BlitRoutine Routine;
};

} // namespace marl
