// The prebuilt tier: the routines of templates.S, patched with a request's values, for the
// sixteen catalogue codes; and a routine that returns at once for a row of no pixels, whatever
// the code.
#pragma once

#include "render24/blit/routine_tier.h"

namespace marl {

class PrebuiltTier final : public RoutineTier {
public:
    bool Serves(const BlitRequest& request) const override;
    bool Prepare(BlitRoutine& routine, const BlitRequest& request,
                 const TransferRows& rows) override;
    CodeArea& Area() override;
};

} // namespace marl
