// One tier of the block-transfer engine: a way of making a row routine. Each tier answers
// whether it serves a request, prepares its routine for one, and owns the code area its
// routines are written through and run from. A transfer asks the tiers in order (tier_chain.h);
// a tier is asked once per transfer, never per row.
#pragma once

#include "render24/blit/blit_request.h"
#include "render24/blit/blit_routine.h"
#include "render24/blit/code_area.h"
#include "render24/blit/row_routine.h"

namespace marl {

class RoutineTier {
public:
    // Whether the tier makes a routine for the request at all.
    virtual bool Serves(const BlitRequest& request) const = 0;
    // Points routine.Entry at the tier's routine for a request it serves. False when the
    // tier's code area cannot be written or run. Call under the transfer lock.
    virtual bool Prepare(BlitRoutine& routine, const BlitRequest& request,
                         const TransferRows& rows) = 0;
    // The code area the tier's routines live in (its writable and its executable view).
    virtual CodeArea& Area() = 0;

protected:
    ~RoutineTier() = default;
};

} // namespace marl
