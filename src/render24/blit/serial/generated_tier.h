// The generated tier: the ROP3 code generator (rop_compiler.h) for every request. A
// transfer's routines are kept by request in the routine cache; Build's are written into the
// code buffer, where the next one writes over them.
#pragma once

#include "render24/blit/routine_tier.h"

namespace marl {

class GeneratedTier final : public RoutineTier {
public:
    explicit GeneratedTier(bool keep) : Keep(keep) {}

    bool Serves(const BlitRequest& request) const override;
    bool Prepare(BlitRoutine& routine, const BlitRequest& request,
                 const TransferRows& rows) override;
    CodeArea& Area() override;

private:
    bool Keep;
};

} // namespace marl
