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

bool TierChain::Prepare(const BlitRequest& asked, const TransferRows& rows) {
    Discard();
    const BlitRequest request = asked.PatternOrSolid();
    VectorRows = ByteSerialRows = 0;
    Walked = false;
    if (Vector.Serves(request)) {
        // Rows that all go to the vector routine need no byte-serial one.
        Walking = Vector.PrepareWalk(VectorRoutine, request, rows, Walk);
        if (Walking) return true;
        // A vector tier that cannot prepare its routine leaves every row to the byte-serial one.
        VectorReady = Vector.Prepare(VectorRoutine, request, rows);
    }
    return PrepareByteSerial(ByteSerial, request, SerialKeeping::Keep);
}

bool TierChain::RunAllRows() {
    if (!Walking) return false;
    VectorRows += static_cast<uint32_t>(Walk.Rows);
    Walked = true;
    vec::RowWalk walk = Walk; // the routine advances the record it walks
    VectorRoutine.Run(nullptr, nullptr, &walk);
    return true;
}

void TierChain::Run(const void* sourceRow, void* destinationRow, const void* patternRow) {
    const void* vectorPattern = patternRow;
    if (VectorReady && Vector.Takes(sourceRow, destinationRow, vectorPattern)) {
        ++VectorRows;
        VectorRoutine.Run(sourceRow, destinationRow, vectorPattern);
        return;
    }
    ++ByteSerialRows;
    ByteSerial.Run(sourceRow, destinationRow, patternRow);
}

void TierChain::Discard() {
    ByteSerial = BlitRoutine{};
    VectorRoutine = BlitRoutine{};
    VectorReady = false;
    Walking = false;
}

} // namespace marl
