#include "render24/blit/tier_chain.h"

#include "render24/blit/serial/generated_tier.h"
#include "render24/blit/serial/prebuilt_tier.h"

namespace marl {

bool PrepareByteSerial(BlitRoutine& routine, const BlitRequest& request, SerialKeeping keeping) {
    static PrebuiltTier prebuilt;
    static GeneratedTier kept(true), written(false);
    RoutineTier* const tiers[] = {&prebuilt, keeping == SerialKeeping::Keep ? &kept : &written};
    routine.Entry = 0;
    for (RoutineTier* tier : tiers) {
        if (tier->Serves(request)) return tier->Prepare(routine, request, TransferRows{});
    }
    return false;
}

} // namespace marl
