// The rows of one block-transfer request, for running a row routine against the reference:
// destination, source and pattern rows each in guarded memory, ending flush against an
// unreadable page, filled with random samples biased towards 0 and 255.
#pragma once

#include "render24/blit/blit_routine.h"
#include "support/guarded_memory.h"
#include "support/reference_rop.h"

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

namespace marltest {

// A random sample: 0 or 255 half of the time, any value otherwise.
uint8_t RandomSample(std::mt19937& random);

class BlitRows {
  public:
    // Rows for the request: a destination of three planes DestPlaneStride apart; a source only
    // when the code reads S (one bit per pixel after BitPhase bits for SourceBits 1, three
    // plane runs SourcePlaneStride apart otherwise); a pattern row of three runs only when
    // BrushPattern is set and the code reads P.
    BlitRows(const RopRequest& request, std::mt19937& random);

    uint8_t* Destination() { return DestinationBuffer->data(); }
    const uint8_t* Source() const { return SourceBuffer ? SourceBuffer->data() : nullptr; }
    const uint8_t* Pattern() const { return PatternBuffer ? PatternBuffer->data() : nullptr; }
    uint8_t* MutableSource() { return SourceBuffer ? SourceBuffer->data() : nullptr; }
    uint8_t* MutablePattern() { return PatternBuffer ? PatternBuffer->data() : nullptr; }

    // The destination bytes now, and what the reference leaves in them from the bytes the
    // rows hold now (plane gaps included: they must not change).
    std::vector<uint8_t> DestinationBytes() const;
    std::vector<uint8_t> ReferenceResult() const;

    // Runs a prepared routine over the rows.
    void Run(marl::BlitRoutine& routine);

  private:
    RopRequest Request;
    std::unique_ptr<GuardedBuffer> DestinationBuffer, SourceBuffer, PatternBuffer;
};

// Build with the request's values in the order of the call, 16-bit values in 32-bit slots.
void BuildFor(marl::BlitRoutine& routine, const RopRequest& request, uint16_t* result = nullptr);

} // namespace marltest
