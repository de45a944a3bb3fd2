#include "render24/blit/serial/generated_tier.h"

#include "render24/blit/routine_cache.h"
#include "render24/blit/serial/rop_compiler.h"

namespace marl {

bool GeneratedTier::Serves(const BlitRequest&) const { return true; }

bool GeneratedTier::Prepare(BlitRoutine& routine, const BlitRequest& request, const TransferRows&) {
    routine.Entry = 0;
    return Keep ? CompileKeptRop(routine, request) : CompileRop(routine, request);
}

CodeArea& GeneratedTier::Area() { return Keep ? GeneratedRoutines().Area() : CodeBufferArea(); }

} // namespace marl
