#if defined(MARL_HOST_TESTS)
// The run-slice records the host makes for a line, read back by an independent walker with
// the library's line semantics, against a plain Bresenham walk.
#include "host/run_slices.h"
#include "host/slice_walker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

using marlhost::PixelPosition;
using marlhost::PixelWindow;
using marlhost::SliceLine;
using Pixels = std::vector<std::pair<int32_t, int32_t>>;

// The textbook integer Bresenham walk from one end point to the other: along the major axis,
// stepping the minor axis when the error term is positive.
Pixels Bresenham(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    Pixels pixels;
    int32_t dx = std::abs(x1 - x0), dy = std::abs(y1 - y0);
    int32_t sx = x1 < x0 ? -1 : 1, sy = y1 < y0 ? -1 : 1;
    int32_t x = x0, y = y0;
    if (dx >= dy) {
        int32_t error = 2 * dy - dx;
        for (int32_t i = 0; i <= dx; ++i, x += sx) {
            pixels.push_back({x, y});
            if (error > 0) {
                y += sy;
                error -= 2 * dx;
            }
            error += 2 * dy;
        }
    } else {
        int32_t error = 2 * dx - dy;
        for (int32_t i = 0; i <= dy; ++i, y += sy) {
            pixels.push_back({x, y});
            if (error > 0) {
                x += sx;
                error -= 2 * dy;
            }
            error += 2 * dx;
        }
    }
    return pixels;
}

// Walks records on a bitmap of width x height whose row 0 is page row origin.Y.
Pixels Walk(const std::vector<RunSliceLine>& records, int32_t width, int32_t height,
            PixelPosition origin) {
    Pixels pixels;
    for (const RunSliceLine& record : records)
        marlhosttest::WalkRunSlices(record, width, height, [&](int32_t x, int32_t y) {
            pixels.push_back({x + origin.X, y + origin.Y});
        });
    return pixels;
}

// The whole line drawn on a bitmap large enough for it, positions shifted in.
Pixels WalkWholeLine(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    constexpr int32_t kShift = 300;
    SliceLine line({x0 + kShift, y0 + kShift}, {x1 + kShift, y1 + kShift});
    std::vector<RunSliceLine> records;
    line.AppendRecords(0, line.PixelCount() - 1, {0, 0}, records);
    EXPECT_EQ(records.size(), 1u);
    return Walk(records, 2 * kShift, 2 * kShift, {-kShift, -kShift});
}

TEST(RunSlices, EveryOctantAndLengthMatchesBresenham) {
    // Slopes as fractions of the major length, each in all eight octants.
    const int32_t slopes[][2] = {{0, 1}, {1, 7}, {1, 3}, {2, 5},   {1, 2},
                                 {3, 5}, {2, 3}, {5, 6}, {19, 20}, {1, 1}};
    for (int32_t length = 1; length <= 200; ++length)
        for (const auto& slope : slopes) {
            int32_t minor = length * slope[0] / slope[1];
            for (int octant = 0; octant < 8; ++octant) {
                int32_t a = length, b = minor;
                if (octant & 4) std::swap(a, b);
                int32_t dx = (octant & 1) ? -a : a, dy = (octant & 2) ? -b : b;
                ASSERT_EQ(WalkWholeLine(3, -2, 3 + dx, -2 + dy), Bresenham(3, -2, 3 + dx, -2 + dy))
                    << "line (3,-2) to (" << 3 + dx << "," << -2 + dy << ")";
            }
        }
}

TEST(RunSlices, EverySmallLineMatchesBresenham) {
    for (int32_t dx = -30; dx <= 30; ++dx)
        for (int32_t dy = -30; dy <= 30; ++dy)
            ASSERT_EQ(WalkWholeLine(0, 0, dx, dy), Bresenham(0, 0, dx, dy))
                << "line to (" << dx << "," << dy << ")";
}

TEST(RunSlices, HorizontalVerticalAndPointAreSingleRuns) {
    struct Case {
        int32_t X0, Y0, X1, Y1;
        int16_t StepX, StepY;
        uint16_t Run;
    } cases[] = {{3, 7, 12, 7, 1, 0, 10}, {12, 7, 3, 7, -1, 0, 10}, {5, 2, 5, 9, 0, 1, 8},
                 {5, 9, 5, 2, 0, -1, 8},  {4, 4, 4, 4, 1, 0, 1},    {0, 0, 9, 9, 1, 0, 1}};
    for (const Case& c : cases) {
        SliceLine line({c.X0, c.Y0}, {c.X1, c.Y1});
        std::vector<RunSliceLine> records;
        line.AppendRecords(0, line.PixelCount() - 1, {0, 0}, records);
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].RunStepX, c.StepX);
        EXPECT_EQ(records[0].RunStepY, c.StepY);
        EXPECT_EQ(records[0].FirstRun, c.Run);
        EXPECT_EQ(records[0].StartX, c.X0);
        EXPECT_EQ(records[0].StartY, c.Y0);
    }
}

// Cuts a line into bands of the given height on a page and walks every band's records on a
// bitmap of the band's own size: the bands together must give the line's pixels inside the
// page, each once, and no band may get a pixel outside it.
void CheckBands(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t pageWidth,
                int32_t pageHeight, int32_t bandHeight) {
    SliceLine line({x0, y0}, {x1, y1});
    Pixels expected;
    for (auto pixel : Bresenham(x0, y0, x1, y1))
        if (pixel.first >= 0 && pixel.first < pageWidth && pixel.second >= 0 &&
            pixel.second < pageHeight)
            expected.push_back(pixel);
    Pixels got;
    for (int32_t top = 0; top < pageHeight; top += bandHeight) {
        int32_t rows = std::min(bandHeight, pageHeight - top);
        std::vector<RunSliceLine> records;
        PixelWindow window{0, top, pageWidth - 1, top + rows - 1};
        line.AppendWindow(window, {0, top}, records);
        Pixels band = Walk(records, pageWidth, rows, {0, top});
        for (auto pixel : band) {
            ASSERT_GE(pixel.second, top);
            ASSERT_LT(pixel.second, top + rows);
        }
        got.insert(got.end(), band.begin(), band.end());
    }
    std::sort(expected.begin(), expected.end());
    std::sort(got.begin(), got.end());
    ASSERT_EQ(got, expected) << "line (" << x0 << "," << y0 << ") to (" << x1 << "," << y1
                             << ") in bands of " << bandHeight;
}

TEST(RunSlices, BandCutsGiveEachPixelToItsBandOnce) {
    const int32_t ends[][4] = {{0, 0, 99, 79},  {99, 0, 0, 79},  {5, 70, 90, 3},   {50, 0, 52, 79},
                               {52, 79, 50, 0}, {0, 40, 99, 41}, {10, 10, 10, 60}, {0, 0, 99, 0},
                               {30, 5, 37, 66}, {99, 79, 0, 0},  {1, 78, 98, 1},   {0, 3, 99, 76}};
    for (int32_t bandHeight : {1, 2, 7, 64, 80})
        for (const auto& e : ends)
            CheckBands(e[0], e[1], e[2], e[3], 100, 80, bandHeight);
}

TEST(RunSlices, LinesReachingOutsideThePageAreCutToIt) {
    const int32_t ends[][4] = {{-50, -20, 150, 100},   {150, -30, -40, 90},    {-10, 40, 120, 41},
                               {40, -100, 45, 200},    {-5, -5, -1, -1},       {120, 10, 130, 70},
                               {-32768, 0, 32767, 79}, {60, -32768, 20, 32767}};
    for (int32_t bandHeight : {1, 7, 64})
        for (const auto& e : ends)
            CheckBands(e[0], e[1], e[2], e[3], 100, 80, bandHeight);
}

TEST(RunSlices, SteepLongLinesStillDrawTheirPixels) {
    // A minor length above 16383 makes error terms too large for 16 bits: the host then
    // hands each run over by itself.
    CheckBands(0, -30000, 20000, 30000, 32767, 40, 7);
    CheckBands(-30000, 0, 30000, 20000, 40, 200, 64);
    SliceLine line({0, -30000}, {20000, 30000});
    std::vector<RunSliceLine> records;
    line.AppendWindow({0, 0, 32766, 39}, {0, 0}, records);
    EXPECT_GT(records.size(), 1u);
}

TEST(RunSlices, WindowIndexesAreTheLinesPixelsInside) {
    SliceLine line({-10, -10}, {30, 10});
    int64_t first = 0, last = 0;
    ASSERT_TRUE(line.IndexRange({0, 0, 19, 19}, first, last));
    Pixels all = Bresenham(-10, -10, 30, 10);
    for (int64_t i = 0; i < line.PixelCount(); ++i) {
        bool inside = all[size_t(i)].first >= 0 && all[size_t(i)].first <= 19 &&
                      all[size_t(i)].second >= 0 && all[size_t(i)].second <= 19;
        EXPECT_EQ(inside, i >= first && i <= last) << "pixel " << i;
        auto at = line.PixelAt(i);
        EXPECT_EQ(std::make_pair(at.X, at.Y), all[size_t(i)]);
    }
    EXPECT_FALSE(line.IndexRange({40, 0, 50, 19}, first, last));
}

} // namespace
#endif
