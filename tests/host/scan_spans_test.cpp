#if defined(MARL_HOST_TESTS)
// Polygon and rectangle spans against a brute-force test of every pixel centre.
#include "host/scan_spans.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

using marlhost::FillArea;
using marlhost::FillRule;
using marlhost::Interval;
using marlhost::Vertex;

// Winding number of the outline around the centre of pixel (x, y), in doubled coordinates so
// the centre (2x + 1, 2y + 1) and the vertices are all whole numbers: exact.
int WindingAt(const std::vector<Vertex>& points, int32_t x, int32_t y) {
    int64_t px = 2 * int64_t{x} + 1, py = 2 * int64_t{y} + 1;
    int winding = 0;
    for (size_t i = 0; i < points.size(); ++i) {
        int64_t ax = 2 * int64_t{points[i].X}, ay = 2 * int64_t{points[i].Y};
        const Vertex& next = points[(i + 1) % points.size()];
        int64_t bx = 2 * int64_t{next.X}, by = 2 * int64_t{next.Y};
        int64_t side = (bx - ax) * (py - ay) - (px - ax) * (by - ay);
        // A centre on an edge counts as left of it (inside for a left edge).
        if (ay <= py && by > py && side <= 0) ++winding;
        if (by <= py && ay > py && side >= 0) --winding;
    }
    return winding;
}

bool Covered(const std::vector<Vertex>& points, FillRule rule, int32_t x, int32_t y) {
    int winding = WindingAt(points, x, y);
    return rule == FillRule::EvenOdd ? (winding & 1) != 0 : winding != 0;
}

std::vector<std::vector<bool>> Rasterise(const FillArea& area, int32_t width, int32_t height) {
    std::vector<std::vector<bool>> grid(size_t(height), std::vector<bool>(size_t(width), false));
    std::vector<Interval> intervals;
    for (int32_t y = 0; y < height; ++y) {
        area.RowIntervals(y, intervals);
        int32_t previous = INT32_MIN;
        for (const Interval& interval : intervals) {
            EXPECT_LT(interval.Left, interval.Right);
            EXPECT_GT(interval.Left, previous) << "intervals must be separate, left to right";
            previous = interval.Right;
            for (int32_t x = std::max(interval.Left, 0); x < std::min(interval.Right, width); ++x)
                grid[size_t(y)][size_t(x)] = true;
        }
    }
    return grid;
}

void ExpectMatchesBruteForce(const std::vector<Vertex>& points, FillRule rule, int32_t width,
                             int32_t height) {
    auto grid = Rasterise(FillArea::Polygon(points, rule), width, height);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            ASSERT_EQ(grid[size_t(y)][size_t(x)], Covered(points, rule, x, y))
                << "pixel (" << x << "," << y << ") rule "
                << (rule == FillRule::EvenOdd ? "even-odd" : "winding");
}

const std::vector<Vertex> kStar = {{50, 2}, {79, 90}, {4, 35}, {96, 35}, {21, 90}};

TEST(PolygonSpans, StarEvenOddLeavesTheMiddleOpenWindingFillsIt) {
    ExpectMatchesBruteForce(kStar, FillRule::EvenOdd, 100, 100);
    ExpectMatchesBruteForce(kStar, FillRule::Winding, 100, 100);
    auto evenOdd = Rasterise(FillArea::Polygon(kStar, FillRule::EvenOdd), 100, 100);
    auto winding = Rasterise(FillArea::Polygon(kStar, FillRule::Winding), 100, 100);
    EXPECT_FALSE(evenOdd[50][50]);
    EXPECT_TRUE(winding[50][50]);
    EXPECT_TRUE(evenOdd[10][50]) << "a point of the star is covered by both";
    EXPECT_TRUE(winding[10][50]);
}

TEST(PolygonSpans, RandomPolygonsMatchBruteForce) {
    uint32_t seed = 12345;
    auto next = [&](int32_t range) {
        seed = seed * 1103515245u + 12345u;
        return static_cast<int32_t>((seed >> 8) % uint32_t(range));
    };
    for (int polygon = 0; polygon < 40; ++polygon) {
        std::vector<Vertex> points(size_t(3 + next(8)));
        for (Vertex& point : points)
            point = {next(70) - 5, next(50) - 5};
        ExpectMatchesBruteForce(points, FillRule::EvenOdd, 64, 44);
        ExpectMatchesBruteForce(points, FillRule::Winding, 64, 44);
    }
}

TEST(PolygonSpans, RectangleEqualsThePolygonOfItsCorners) {
    auto rect = Rasterise(FillArea::Rectangle(3, 4, 10, 7), 20, 20);
    auto polygon = Rasterise(
        FillArea::Polygon({{3, 4}, {13, 4}, {13, 11}, {3, 11}}, FillRule::EvenOdd), 20, 20);
    EXPECT_EQ(rect, polygon);
    int covered = 0;
    for (auto& row : rect)
        covered += int(std::count(row.begin(), row.end(), true));
    EXPECT_EQ(covered, 70);
    EXPECT_TRUE(rect[4][3]);
    EXPECT_FALSE(rect[11][3]);
    EXPECT_FALSE(rect[4][13]);
}

TEST(PolygonSpans, PolygonsSharingAnEdgeNeverShareAPixel) {
    std::vector<Vertex> left = {{0, 0}, {17, 3}, {9, 30}, {0, 30}};
    std::vector<Vertex> right = {{17, 3}, {40, 0}, {40, 30}, {9, 30}};
    auto a = Rasterise(FillArea::Polygon(left, FillRule::EvenOdd), 40, 30);
    auto b = Rasterise(FillArea::Polygon(right, FillRule::EvenOdd), 40, 30);
    for (int32_t y = 3; y < 30; ++y)
        for (int32_t x = 0; x < 40; ++x)
            EXPECT_NE(a[size_t(y)][size_t(x)], b[size_t(y)][size_t(x)]) << x << "," << y;
}

TEST(PolygonSpans, BandSpansTogetherAreThePageClippedToItsWidth) {
    FillArea area =
        FillArea::Polygon({{-20, -5}, {130, 20}, {60, 95}, {10, 40}}, FillRule::Winding);
    auto page = Rasterise(area, 100, 80);
    for (int32_t bandHeight : {1, 7, 64, 80}) {
        std::vector<std::vector<bool>> bands(80, std::vector<bool>(100, false));
        for (int32_t top = 0; top < 80; top += bandHeight) {
            int32_t rows = std::min(bandHeight, 80 - top);
            std::vector<ScanSpan> spans;
            area.AppendBandSpans(top, rows, 100, spans);
            int32_t previousRow = -1;
            for (const ScanSpan& span : spans) {
                ASSERT_GE(span.Y, 0);
                ASSERT_LT(span.Y, rows);
                ASSERT_GE(span.Y, previousRow) << "spans come row by row";
                previousRow = span.Y;
                ASSERT_GE(span.Left, 0);
                ASSERT_LE(span.Right, 100);
                ASSERT_LT(span.Left, span.Right);
                for (int32_t x = span.Left; x < span.Right; ++x)
                    bands[size_t(top + span.Y)][size_t(x)] = true;
            }
        }
        EXPECT_EQ(bands, page) << "bands of " << bandHeight;
    }
}

} // namespace
#endif
