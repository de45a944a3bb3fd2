// Areas to fill (rectangles and polygons) turned into the horizontal spans the span fill
// takes.
//
// A pixel belongs to a polygon when its centre (x + 0.5, y + 0.5) lies inside: for the
// even-odd rule when a ray from it crosses the outline an odd number of times, for the winding
// rule when the outline winds around it at all. A centre exactly on a left edge is inside, on
// a right edge outside, so polygons that share an edge never both cover a pixel. A rectangle
// (x, y, w, h) covers columns x .. x + w - 1 of rows y .. y + h - 1, like the polygon of its
// four corners.
#pragma once

#include "marlrend/marlrend.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace marlhost {

enum class FillRule { EvenOdd, Winding };

struct Vertex {
    int32_t X;
    int32_t Y;
};

// Pixels [Left, Right) of one row.
struct Interval {
    int32_t Left;
    int32_t Right;
};

class FillArea {
public:
    static FillArea Rectangle(int32_t x, int32_t y, int32_t width, int32_t height);
    static FillArea Polygon(const std::vector<Vertex>& points, FillRule rule);
    // An area given row by row: rows[i] holds the intervals of row top + i, sorted and
    // separate (areas already cut to a clipping region).
    static FillArea Rows(int32_t top, std::vector<std::vector<Interval>> rows);

    // Rows the area may cover: [TopRow, BottomRow).
    int32_t TopRow() const { return Top; }
    int32_t BottomRow() const { return Bottom; }
    // Columns the area may cover: [LeftColumn, RightColumn).
    int32_t LeftColumn() const { return Left; }
    int32_t RightColumn() const { return Right; }

    // The covered pixels of page row y, left to right, separate and not touching.
    void RowIntervals(int32_t y, std::vector<Interval>& out) const;

    // Appends the spans of page rows [top, top + rows) clipped to columns [0, width), with
    // their rows counted from top.
    void AppendBandSpans(int32_t top, int32_t rows, int32_t width,
                         std::vector<ScanSpan>& spans) const;

private:
    struct Edge {
        int64_t X0, Y0, X1, Y1;
        int Direction; // +1 downwards, -1 upwards
    };
    struct Crossing {
        int64_t Column; // first pixel whose centre is right of (or on) the crossing
        int Direction;
    };

    bool IsRectangle = false;
    std::shared_ptr<const std::vector<std::vector<Interval>>> RowList;
    FillRule Rule = FillRule::EvenOdd;
    std::vector<Edge> Edges;
    int32_t Top = 0, Bottom = 0, Left = 0, Right = 0;
};

} // namespace marlhost
