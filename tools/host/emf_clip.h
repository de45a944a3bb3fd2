// Sets of picture pixels kept as sorted, separate intervals per row: the clipping region of
// a metafile's device context, and the areas cut by it.
//
// Regions combine row by row (intersection, union, difference, exclusive or), which is all
// that clip records need; every drawing primitive is cut to the current region in the host
// before it reaches the library.
#pragma once

#include "host/scan_spans.h"

#include <cstdint>
#include <vector>

namespace marlhost {

enum class RegionOp { And, Or, Diff, Xor, Copy };

class Region {
public:
    Region() = default;
    // Pixels [left, right) x [top, bottom); empty when either side is empty.
    static Region Rect(int32_t left, int32_t top, int32_t right, int32_t bottom);
    // The pixels of a fill area inside rows [top, bottom).
    static Region FromArea(const FillArea& area, int32_t top, int32_t bottom);

    bool Empty() const { return Rows.empty(); }
    int32_t TopRow() const { return Top; }
    int32_t BottomRow() const { return Top + static_cast<int32_t>(Rows.size()); }
    // The intervals of row y (empty outside the region's rows).
    const std::vector<Interval>& Row(int32_t y) const;
    bool Contains(int32_t x, int32_t y) const;
    uint64_t PixelCount() const;

    Region Combine(const Region& other, RegionOp op) const;
    Region Offset(int32_t dx, int32_t dy) const;

    // Whole rows kept, for making a span list of the region.
    const std::vector<std::vector<Interval>>& AllRows() const { return Rows; }

private:
    void Trim();

    int32_t Top = 0;
    std::vector<std::vector<Interval>> Rows; // Rows[i] is row Top + i
};

// The intervals of one row combined under op (both sorted and separate; so is the result).
std::vector<Interval> CombineIntervals(const std::vector<Interval>& a,
                                       const std::vector<Interval>& b, RegionOp op);

} // namespace marlhost
