// Lines as the library draws them: cut into run-length slices.
//
// The pixels of a line from one end point to the other are those of the plain Bresenham walk
// along its major axis: pixel i (0 <= i <= major length) lies i steps along the major axis
// and RunOf(i) steps along the minor axis, where RunOf(i) = ceil((2 minor i - major) /
// (2 major)). All pixels with the same minor position form one run; runs other than the first
// and last are BaseRun or BaseRun + 1 pixels long, chosen by the error term of RunSliceLine.
//
// A line can be cut to any window: the pixels inside a window are consecutive pixels of the
// walk, and records for them (one, or one per run for very steep lines whose error terms would
// not fit in 16 bits) draw exactly those pixels and no others.
#pragma once

#include "marlrend/marlrend.h"

#include <cstdint>
#include <vector>

namespace marlhost {

struct PixelPosition {
    int32_t X;
    int32_t Y;
};

// A rectangle of pixels, both ends included.
struct PixelWindow {
    int32_t Left;
    int32_t Top;
    int32_t Right;
    int32_t Bottom;
};

class SliceLine {
public:
    SliceLine(PixelPosition from, PixelPosition to);

    int64_t PixelCount() const { return Major + 1; }
    PixelPosition PixelAt(int64_t index) const;

    // The first and last index of the pixels inside window; false when there are none.
    bool IndexRange(const PixelWindow& window, int64_t& first, int64_t& last) const;

    // Appends records that draw pixels first..last (indexes of the walk), with their
    // positions relative to origin.
    void AppendRecords(int64_t first, int64_t last, PixelPosition origin,
                       std::vector<RunSliceLine>& records) const;

    // Appends the records for the part of the line inside window, positions relative to
    // origin; answers false when no pixel of the line lies inside.
    bool AppendWindow(const PixelWindow& window, PixelPosition origin,
                      std::vector<RunSliceLine>& records) const;

private:
    int64_t RunOf(int64_t index) const;
    int64_t FirstOfRun(int64_t run) const;
    int64_t LastOfRun(int64_t run) const;
    // The error term for the middle run `run`: positive exactly when it is a long run.
    int64_t DecisionFor(int64_t run) const;
    bool IndexesOnMajor(int32_t low, int32_t high, int64_t& first, int64_t& last) const;
    bool IndexesOnMinor(int32_t low, int32_t high, int64_t& first, int64_t& last) const;
    RunSliceLine Record(int64_t first, PixelPosition origin) const;

    PixelPosition Start;
    bool XMajor;
    int64_t Major; // pixels along the major axis less one
    int64_t Minor; // steps along the minor axis
    int32_t MajorStep;
    int32_t MinorStep;
};

} // namespace marlhost
