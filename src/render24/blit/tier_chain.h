// The chain of tiers a transfer asks in order: the vector tier, the prebuilt routines, the
// generator. The byte-serial tiers (prebuilt, generated) make the routine every row can take;
// the first of them that serves a request prepares it.
#pragma once

#include "render24/blit/blit_request.h"
#include "render24/blit/blit_routine.h"
#include "render24/blit/row_routine.h"
#include "render24/blit/vector/vector_tier.h"

namespace marl {

// Whether a generated routine is kept in the routine cache (a transfer's) or written into the
// code buffer (Build's).
enum class SerialKeeping : uint8_t { Keep, Write };

// The byte-serial routine of a request (already PatternOrSolid). False when the tier that
// serves it could not write or run its code area. Call under the transfer lock.
bool PrepareByteSerial(BlitRoutine& routine, const BlitRequest& request, SerialKeeping keeping);

// The row routine RPBitBlt runs. Prepare asks the vector tier, then the byte-serial tiers;
// every row goes to the vector routine where there is one and the vector tier takes the row,
// and to the byte-serial routine otherwise.
class TierChain final : public RowRoutine {
public:
    TierChain() = default;
    TierChain(const TierChain&) = delete;
    TierChain& operator=(const TierChain&) = delete;
    ~TierChain() { Discard(); }

    bool Prepare(const BlitRequest& request, const TransferRows& rows) override;
    void Run(const void* sourceRow, void* destinationRow, const void* patternRow) override;
    void Discard() override;
    bool RunAllRows() override;

    // Whether the current request has a vector routine, and how the rows went so far: how
    // many each routine drew, and whether the vector routine drew them all in one call.
    bool VectorPrepared() const { return VectorReady || Walking; }
    bool RowsWalked() const { return Walked; }
    uint32_t VectorRowCount() const { return VectorRows; }
    uint32_t ByteSerialRowCount() const { return ByteSerialRows; }

private:
    vec::VectorTier Vector;
    BlitRoutine VectorRoutine;
    BlitRoutine ByteSerial;
    bool VectorReady = false;
    bool Walking = false;
    bool Walked = false;
    vec::RowWalk Walk;
    uint32_t VectorRows = 0;
    uint32_t ByteSerialRows = 0;
};

} // namespace marl
