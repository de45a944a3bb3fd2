// The rows of one routine run, in guarded memory, with the destination the reference
// evaluator expects; and the call that compiles a request.
//
// Every row ends flush against an unreadable page, so a routine that reads or writes past
// the end of a row faults at once. The destination's bytes between planes, and a margin
// before plane 0, are compared too, so a write past the end of plane 0 or 1, or before a
// plane, shows as a difference. Rows the request's code does not read are null.
#pragma once

#include "render24/blit/blit_routine.h"
#include "support/guarded_memory.h"
#include "support/reference_rop.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace marltest {

// A sample that is 0 or 255 a quarter of the time each, else uniform: the extremes are
// where min, max and complement go wrong.
uint8_t BiasedSample(std::mt19937& random);
uint32_t BiasedColour(std::mt19937& random);

// Guarded memory reused by many fixtures: three areas (source, destination, pattern), each
// ending at an unreadable page. Rows are placed at the ends of the areas.
class RowArena {
  public:
    explicit RowArena(size_t bytesPerArea);

    GuardedBuffer Source, Destination, Pattern;
};

class RowFixture {
  public:
    // request describes the rows as the routine must see them (widths, strides, phases);
    // samples are drawn from random. The rows live in arena, which must be large enough.
    RowFixture(const RopRequest& request, std::mt19937& random, RowArena& arena);

    const uint8_t* Source() const { return SourceRow; }
    uint8_t* Destination() { return DestinationRow; }
    const uint8_t* Pattern() const { return PatternRow; }

    // Runs a prepared routine over the rows.
    void Run(marl::BlitRoutine& routine);
    // The destination bytes (all planes, the bytes between them and the margin before them)
    // against the reference.
    ::testing::AssertionResult MatchesReference() const;

  private:
    RopRequest Request;
    uint8_t* SourceRow = nullptr;
    uint8_t* DestinationRow = nullptr;
    uint8_t* PatternRow = nullptr;
    uint8_t* Checked = nullptr; // the margin before the destination row, then the row
    std::vector<uint8_t> Expected;
};

// CompileRop with the request's values.
marl::BlitRoutine Compile(const RopRequest& request);

// Compiles, runs once over fresh rows and compares.
::testing::AssertionResult CompiledRunMatches(const RopRequest& request, std::mt19937& random,
                                              RowArena& arena);

} // namespace marltest
