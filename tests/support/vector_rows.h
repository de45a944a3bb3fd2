// One row request laid out for a differential run of the vector routines: destination,
// source and pattern rows in guarded memory, each ending flush against an unreadable page,
// filled with random samples biased towards 0 and 255.
#pragma once

#include "render24/blit/blit_routine.h"
#include "render24/blit/vector/vector_compiler.h"
#include "support/build_request.h"
#include "support/guarded_memory.h"
#include "support/reference_rop.h"
#include "support/row_fixture.h" // BiasedSample

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace marltest {

std::string Describe(const RopRequest& request);

class VectorRows {
public:
    // destGap and sourceGap: bytes between one plane run and the next (strides N + gap),
    // which also moves the row start against 16-byte boundaries.
    VectorRows(const RopRequest& request, uint32_t destGap, uint32_t sourceGap,
               std::mt19937& random);

    // The request with the strides this layout uses.
    const RopRequest& Request() const { return Req; }

    uint8_t* Destination() { return Dest->data(); }
    const uint8_t* Source() const { return Src ? Src->data() : nullptr; }
    const uint8_t* BrushRow() const { return Brush ? Brush->data() : nullptr; }
    const uint8_t* PreparedRow() const { return Prepared ? Prepared->data() : nullptr; }

    // What the reference evaluator leaves in the whole destination buffer.
    std::vector<uint8_t> Expected();
    std::vector<uint8_t> DestinationBytes() const;
    void RestoreDestination(const std::vector<uint8_t>& bytes);

    // Runs a prepared routine over the row: the vector routines read the prepared pattern
    // row, the byte-serial ones the brush row.
    void RunVector(marl::BlitRoutine& routine);
    void RunByteSerial(marl::BlitRoutine& routine);

    // First difference between the destination buffer and expected, as text; empty if none.
    std::string Difference(const std::vector<uint8_t>& expected) const;

private:
    RopRequest Req;
    uint32_t DestRowBytes = 0;
    std::unique_ptr<GuardedBuffer> Dest, Src, Brush, Prepared;
};

// Builds the byte-serial routine (prebuilt or generated) for the rows' request, runs it on the
// rows, and answers the first difference from expected; the destination is put back after.
std::string ByteSerialAgainst(VectorRows& rows, const std::vector<uint8_t>& expected);

// The reference evaluator's result for the rows; then the byte-serial routine must give it
// and the vector routine too (compiled with vectorForm, and run). Answers the first
// difference of either (empty when all three agree).
std::string VectorAgainstReference(VectorRows& rows, uint8_t vectorForm = 0);

} // namespace marltest
