// RPDrawLine: the worked line pixel by pixel with its row moves, clamping at every edge, the
// run counts and codes that draw nothing, start points outside the band, and a differential
// run against a reference walk.
#include "render24/primitives/lines.h"
#include "support/library.h"
#include "support/reference_contone.h"
#include "support/row_move_log.h"
#include "support/test_band.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <utility>
#include <vector>

namespace {

using marltest::RowMove;
using marltest::RowMoveLog;
using marltest::TestBand;
using Point = std::pair<int, int>;

RunSliceLine MakeLine(int16_t x, int16_t y, int16_t runX, int16_t runY, uint16_t firstRun) {
    RunSliceLine line{};
    line.StartX = x;
    line.StartY = y;
    line.RunStepX = runX;
    line.RunStepY = runY;
    line.FirstRun = firstRun;
    return line;
}

RunSliceLine WorkedLine() {
    RunSliceLine line = MakeLine(0, 0, 1, 0, 2);
    line.SliceStepY = 1;
    line.MiddleRuns = 2;
    line.BaseRun = 3;
    line.ErrorTerm = 1;
    line.ErrorAdjustLong = -2;
    line.ErrorAdjustShort = 1;
    line.LastRun = 1;
    return line;
}

uint32_t DrawThroughTable(TestBand& band, const RunSliceLine& line, uint32_t code,
                          uint32_t colour) {
    return marltest::Table().DrawLine(band.Device(), 0x11111111, &line, 0x22222222, 0x33333333,
                                      code, colour);
}

std::vector<RowMove> DrawLogged(TestBand& band, const RunSliceLine& line, uint32_t code,
                                uint32_t colour) {
    RowMoveLog log;
    EXPECT_EQ(marl::DrawLine(band.Surface(), &line, code, colour, &log), 0u);
    return log.Moves;
}

std::vector<uint8_t> Snapshot(TestBand& band) {
    return std::vector<uint8_t>(band.Bytes(), band.Bytes() + band.ByteCount());
}

// The pixels of the band whose plane-0 sample differs from fill.
std::vector<Point> Touched(TestBand& band, uint8_t fill) {
    std::vector<Point> points;
    for (int y = 0; y < band.Height(); ++y)
        for (int x = 0; x < band.Width(); ++x)
            if (band.At(x, y, 0) != fill) points.push_back({x, y});
    return points;
}

const RowMove kNext = RowMove::Advance();
RowMove Select(uint32_t row) { return RowMove::Select(row); }

TEST(DrawLine, WorkedLinePixelByPixel) {
    TestBand band(12, 5);
    EXPECT_EQ(DrawThroughTable(band, WorkedLine(), 0xF0, 0x030201), 0u);
    std::vector<Point> expected = {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 1},
                                   {5, 1}, {6, 2}, {7, 2}, {8, 2}, {9, 3}};
    std::sort(expected.begin(), expected.end(), [](Point a, Point b) {
        return std::pair(a.second, a.first) < std::pair(b.second, b.first);
    });
    EXPECT_EQ(Touched(band, 0), expected);
    for (Point p : expected) {
        EXPECT_EQ(band.At(p.first, p.second, 1), 2);
        EXPECT_EQ(band.At(p.first, p.second, 2), 3);
    }
    EXPECT_EQ(band.Surface()->RowIndex, 3); // the cursor stays on the final row

    TestBand logged(12, 5);
    EXPECT_EQ(DrawLogged(logged, WorkedLine(), 0xF0, 0x030201),
              (std::vector<RowMove>{Select(0), kNext, kNext, kNext}));
}

TEST(DrawLine, WorkedColoursOnEveryPixel) {
    TestBand band(12, 5);
    for (uint32_t y = 0; y < 5; ++y)
        for (uint32_t x = 0; x < 12; ++x)
            for (uint32_t k = 0; k < 3; ++k)
                band.At(x, y, k) = static_cast<uint8_t>(10 * (k + 1));
    DrawThroughTable(band, WorkedLine(), 0x5A, 0x0014C8);
    int drawn = 0;
    for (uint32_t y = 0; y < 5; ++y) {
        for (uint32_t x = 0; x < 12; ++x) {
            if (band.At(x, y, 0) == 10) continue;
            ++drawn;
            EXPECT_EQ(band.At(x, y, 0), 190);
            EXPECT_EQ(band.At(x, y, 1), 0);
            EXPECT_EQ(band.At(x, y, 2), 30);
        }
    }
    EXPECT_EQ(drawn, 10);
}

TEST(DrawLine, HorizontalLine) {
    TestBand band(16, 9);
    DrawThroughTable(band, MakeLine(3, 7, 1, 0, 10), 0xFF, 0);
    std::vector<Point> expected;
    for (int x = 3; x <= 12; ++x)
        expected.push_back({x, 7});
    EXPECT_EQ(Touched(band, 0), expected);
}

// How often each pixel is visited, seen twice: under 0xF0 every visited pixel takes the
// colour, and under 0x55 (applied once per visit) a pixel is inverted when its count is odd.
void ExpectVisits(const RunSliceLine& line, const std::map<Point, int>& visits,
                  const std::vector<RowMove>& moves) {
    TestBand painted(8, 6), inverted(8, 6);
    DrawThroughTable(painted, line, 0xF0, 0x808080);
    DrawThroughTable(inverted, line, 0x55, 0);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 8; ++x) {
            auto found = visits.find({x, y});
            int count = found == visits.end() ? 0 : found->second;
            EXPECT_EQ(painted.At(x, y, 2), count ? 0x80 : 0) << x << "," << y;
            EXPECT_EQ(inverted.At(x, y, 1), count % 2 ? 255 : 0) << x << "," << y;
        }
    }
    TestBand logged(8, 6);
    EXPECT_EQ(DrawLogged(logged, line, 0xF0, 0), moves);
}

TEST(DrawLine, RunsPileUpOnEveryEdge) {
    // Right edge: the last column takes the remaining pixels.
    ExpectVisits(MakeLine(5, 2, 1, 0, 5), {{{5, 2}, 1}, {{6, 2}, 1}, {{7, 2}, 3}}, {Select(2)});
    // Left edge.
    ExpectVisits(MakeLine(2, 3, -1, 0, 5), {{{2, 3}, 1}, {{1, 3}, 1}, {{0, 3}, 3}}, {Select(3)});
    // Top edge: a step of -1 row is a SelectRow each time, and it stops at row 0.
    ExpectVisits(MakeLine(4, 2, 0, -1, 5), {{{4, 2}, 1}, {{4, 1}, 1}, {{4, 0}, 3}},
                 {Select(2), Select(1), Select(0), Select(0), Select(0), Select(0)});
    // Bottom edge: NextRow until the last row, then nothing moves.
    ExpectVisits(MakeLine(4, 3, 0, 1, 5), {{{4, 3}, 1}, {{4, 4}, 1}, {{4, 5}, 3}},
                 {Select(3), kNext, kNext});
    // Into a corner diagonally; a step of 2 rows is a SelectRow.
    ExpectVisits(MakeLine(5, 2, 1, 2, 4), {{{5, 2}, 1}, {{6, 4}, 1}, {{7, 5}, 2}},
                 {Select(2), Select(4), Select(5), Select(5), Select(5)});
}

TEST(DrawLine, SliceStepsAreLimitedToo) {
    RunSliceLine out = MakeLine(6, 4, 0, 0, 1);
    out.SliceStepX = 5;
    out.SliceStepY = 5;
    out.LastRun = 1;
    ExpectVisits(out, {{{6, 4}, 1}, {{7, 5}, 1}}, {Select(4), Select(5)});
    RunSliceLine back = MakeLine(1, 1, 0, 0, 1);
    back.SliceStepX = -3;
    back.SliceStepY = -3;
    back.MiddleRuns = 1;
    back.BaseRun = 1;
    back.LastRun = 1;
    ExpectVisits(back, {{{1, 1}, 1}, {{0, 0}, 2}}, {Select(1), Select(0), Select(0)});
}

struct RunShape {
    const char* Name;
    uint16_t FirstRun, MiddleRuns, LastRun;
    int16_t BaseRun;
    std::vector<Point> Pixels; // rows advance by the slice step (0, 1), x by the run step 1
    std::vector<RowMove> Moves;
};

TEST(DrawLine, RunCountsAndSliceSteps) {
    const RunShape shapes[] = {
        {"first run 0: no slice step before the first middle run",
         0,
         1,
         0,
         2,
         {{0, 0}, {1, 0}},
         {Select(0)}},
        {"last run 0: slice steps after the first and second middle run only",
         0,
         3,
         0,
         1,
         {{0, 0}, {1, 1}, {2, 2}},
         {Select(0), kNext, kNext}},
        {"a middle run of 0 combines one pixel", 0, 1, 0, 0, {{0, 0}}, {Select(0)}},
        {"a middle run of 1 combines one pixel", 0, 1, 0, 1, {{0, 0}}, {Select(0)}},
        {"a negative middle run combines one pixel", 0, 1, 0, -4, {{0, 0}}, {Select(0)}},
        {"a first run of 1", 1, 0, 0, 0, {{0, 0}}, {Select(0)}},
        {"a first run of 0x8000 is negative: one pixel", 0x8000, 0, 0, 0, {{0, 0}}, {Select(0)}},
        {"only a last run", 0, 0, 3, 0, {{0, 0}, {1, 0}, {2, 0}}, {Select(0)}},
        {"first and last run", 2, 0, 1, 0, {{0, 0}, {1, 0}, {2, 1}}, {Select(0), kNext}},
        {"nothing at all", 0, 0, 0, 0, {}, {Select(0)}},
    };
    for (const RunShape& shape : shapes) {
        RunSliceLine line = MakeLine(0, 0, 1, 0, shape.FirstRun);
        line.SliceStepY = 1;
        line.MiddleRuns = shape.MiddleRuns;
        line.LastRun = shape.LastRun;
        line.BaseRun = shape.BaseRun;
        line.ErrorTerm = -1; // every middle run short
        TestBand band(8, 6);
        EXPECT_EQ(DrawThroughTable(band, line, 0xF0, 0xFFFFFF), 0u);
        std::vector<Point> pixels = shape.Pixels;
        std::sort(pixels.begin(), pixels.end(), [](Point a, Point b) {
            return std::pair(a.second, a.first) < std::pair(b.second, b.first);
        });
        EXPECT_EQ(Touched(band, 0), pixels) << shape.Name;
        TestBand logged(8, 6);
        EXPECT_EQ(DrawLogged(logged, line, 0xF0, 0xFFFFFF), shape.Moves) << shape.Name;
    }
}

// Codes that write nothing still walk the line: the cursor ends on the final row.
TEST(DrawLine, CodesThatDrawNothing) {
    for (uint32_t code : {0xAAu, 0xCCu, 0x01u, 0x66u}) {
        TestBand band(12, 5, 0x42);
        std::vector<uint8_t> before = Snapshot(band);
        EXPECT_EQ(DrawThroughTable(band, WorkedLine(), code, 0xFFFFFF), 0u);
        EXPECT_EQ(Snapshot(band), before) << code;
        EXPECT_EQ(band.Surface()->RowIndex, 3);
        TestBand logged(12, 5);
        EXPECT_EQ(DrawLogged(logged, WorkedLine(), code, 0),
                  (std::vector<RowMove>{Select(0), kNext, kNext, kNext}));
    }
}

// A start point outside the bitmap is limited to it, like every later position, in a band
// with no padding that lies flush between unreadable pages.
TEST(DrawLine, StartOutsideTheBandIsLimitedToIt) {
    struct Start {
        int16_t X, Y;
        Point Limited;
    };
    const Start starts[] = {{64, 10, {63, 10}}, {-1, 10, {0, 10}},        {5, 64, {5, 63}},
                            {5, -1, {5, 0}},    {-30000, -30000, {0, 0}}, {32767, 32767, {63, 63}},
                            {100, -5, {63, 0}}};
    for (const Start& start : starts) {
        TestBand band(64, 64);
        RunSliceLine line = MakeLine(start.X, start.Y, 1, 1, 2);
        EXPECT_EQ(DrawThroughTable(band, line, 0xF0, 0x010101), 0u);
        std::vector<Point> touched = Touched(band, 0);
        ASSERT_FALSE(touched.empty());
        EXPECT_EQ(touched.front(), start.Limited) << start.X << "," << start.Y;
    }
}

TEST(DrawLine, DestinationsWithoutPixelsAndNullLine) {
    TestBand band(8, 4, 0x42);
    std::vector<uint8_t> before = Snapshot(band);
    BitmapHeader noBits = *band.Header();
    noBits.Bits = nullptr;
    BitmapHeader noWidth = *band.Header();
    noWidth.Width = 0;
    BitmapHeader onePlane = *band.Header();
    onePlane.Planes = 1;
    PlaneBitmap surfaces[4]{};
    surfaces[1].Header = &noBits;
    surfaces[2].Header = &noWidth;
    surfaces[3].Header = &onePlane;
    RenderDevice devices[5]{};
    for (int i = 0; i < 4; ++i)
        devices[i].Surface = &surfaces[i];
    const RunSliceLine line = WorkedLine();
    const auto& table = marltest::Table();
    EXPECT_EQ(table.DrawLine(nullptr, 0, &line, 0, 0, 0xF0, 0), 0u);
    for (RenderDevice& device : devices)
        EXPECT_EQ(table.DrawLine(&device, 0, &line, 0, 0, 0xF0, 0), 0u);
    EXPECT_EQ(table.DrawLine(band.Device(), 0, nullptr, 0, 0, 0xF0, 0), 0u);
    EXPECT_EQ(Snapshot(band), before);
}

// The reference walk: positions and row moves by the rules, written out plainly.
struct ReferenceWalk {
    int X, Y, MaxX, MaxY;
    std::vector<Point> Visits;
    std::vector<RowMove> Moves;

    static int Limit(int v, int max) { return std::clamp(v, 0, max); }

    void StepRow(int step) {
        if (step == 0) return;
        if (step == 1) {
            if (Y < MaxY) {
                ++Y;
                Moves.push_back(RowMove::Advance());
            }
            return;
        }
        Y = Limit(Y + step, MaxY);
        Moves.push_back(RowMove::Select(Y));
    }
    void Run(int count, const RunSliceLine& line) {
        Visits.push_back({X, Y});
        for (int i = 1; i < count; ++i) {
            StepRow(line.RunStepY);
            X = Limit(X + line.RunStepX, MaxX);
            Visits.push_back({X, Y});
        }
        StepRow(line.RunStepY);
        X = Limit(X + line.RunStepX, MaxX);
    }
    void Slice(const RunSliceLine& line) {
        StepRow(line.SliceStepY);
        X = Limit(X + line.SliceStepX, MaxX);
    }
};

ReferenceWalk WalkReference(const RunSliceLine& line, int width, int height) {
    ReferenceWalk walk{ReferenceWalk::Limit(line.StartX, width - 1),
                       ReferenceWalk::Limit(line.StartY, height - 1),
                       width - 1,
                       height - 1,
                       {},
                       {}};
    walk.Moves.push_back(RowMove::Select(walk.Y));
    int runs = (line.FirstRun != 0) + line.MiddleRuns + (line.LastRun != 0), done = 0;
    auto afterRun = [&] {
        if (++done < runs) walk.Slice(line);
    };
    if (line.FirstRun != 0) {
        walk.Run(static_cast<int16_t>(line.FirstRun), line);
        afterRun();
    }
    int decision = line.ErrorTerm;
    for (int i = 0; i < line.MiddleRuns; ++i) {
        bool isLong = decision > 0;
        decision += isLong ? line.ErrorAdjustLong : line.ErrorAdjustShort;
        walk.Run(line.BaseRun + (isLong ? 1 : 0), line);
        afterRun();
    }
    if (line.LastRun != 0) walk.Run(static_cast<int16_t>(line.LastRun), line);
    return walk;
}

// The band after the reference walk's visits, each combining the pixel once more.
std::vector<uint8_t> PaintReference(TestBand& band, const ReferenceWalk& walk, uint8_t code,
                                    uint32_t colour) {
    std::vector<uint8_t> bytes = Snapshot(band);
    for (Point p : walk.Visits) {
        for (uint32_t k = 0; k < 3; ++k) {
            size_t at = static_cast<size_t>(band.Row(p.second, k) + p.first - band.Bytes());
            auto result = marltest::ReferenceContone(code, bytes[at],
                                                     static_cast<uint8_t>(colour >> (8 * k)));
            if (result) bytes[at] = *result;
        }
    }
    return bytes;
}

RunSliceLine RandomLine(std::mt19937& random, int width, int height) {
    auto in = [&](int low, int high) {
        return static_cast<int16_t>(std::uniform_int_distribution<int>(low, high)(random));
    };
    auto count = [&] { return static_cast<uint16_t>(in(0, 9) == 0 ? in(-2, 0) : in(0, 7)); };
    RunSliceLine line{};
    line.StartX = in(-3, width + 2);
    line.StartY = in(-3, height + 2);
    line.RunStepX = in(-2, 2);
    line.RunStepY = in(-2, 2);
    line.SliceStepX = in(-2, 2);
    line.SliceStepY = in(-2, 2);
    line.ErrorTerm = in(-4, 4);
    line.ErrorAdjustLong = in(-4, 1);
    line.ErrorAdjustShort = in(-1, 4);
    line.FirstRun = count();
    line.LastRun = count();
    line.MiddleRuns = static_cast<uint16_t>(in(0, 5));
    line.BaseRun = in(-1, 6);
    return line;
}

TEST(DrawLine, RandomLinesMatchTheReferenceWalk) {
    std::mt19937 random(2024);
    const int width = 11, height = 7;
    for (int trial = 0; trial < 3000; ++trial) {
        RunSliceLine line = RandomLine(random, width, height);
        uint8_t code = marltest::PickCode(random());
        uint32_t colour = random();
        TestBand band(width, height);
        std::generate(band.Bytes(), band.Bytes() + band.ByteCount(), [&] { return random(); });
        ReferenceWalk walk = WalkReference(line, width, height);
        std::vector<uint8_t> expected = PaintReference(band, walk, code, colour);
        bool viaTable = trial % 4 == 0;
        if (viaTable) {
            ASSERT_EQ(DrawThroughTable(band, line, code, colour), 0u);
        } else {
            ASSERT_EQ(DrawLogged(band, line, code, colour), walk.Moves) << "trial " << trial;
        }
        ASSERT_EQ(Snapshot(band), expected) << "trial " << trial << " code " << int(code);
        ASSERT_EQ(band.Surface()->RowIndex, walk.Y) << "trial " << trial;
    }
}

// Runs along a row one column a step are combined as rows: long runs in both directions,
// runs that reach an edge and pile up on it (which a code reading D sees every time), runs of
// no or a negative count, for every code, against the reference walk.
TEST(DrawLine, LongRowRunsMatchTheReferenceWalk) {
    std::mt19937 random(600);
    const int width = 300, height = 4;
    auto in = [&](int low, int high) {
        return static_cast<int16_t>(std::uniform_int_distribution<int>(low, high)(random));
    };
    std::vector<uint8_t> codes = marltest::ReferencePatternDestCodes();
    codes.push_back(0xCC);
    for (int trial = 0; trial < 400; ++trial) {
        uint8_t code = codes[static_cast<size_t>(trial) % codes.size()];
        RunSliceLine line{};
        line.StartX = in(-5, width + 5);
        line.StartY = in(0, height - 1);
        line.RunStepX = in(0, 1) == 0 ? -1 : 1;
        line.SliceStepX = in(-40, 40);
        line.SliceStepY = in(0, 1);
        line.FirstRun = static_cast<uint16_t>(in(-3, 400));
        line.MiddleRuns = static_cast<uint16_t>(in(0, 3));
        line.BaseRun = in(-1, 200);
        line.ErrorTerm = in(-2, 2);
        line.ErrorAdjustLong = -1;
        line.ErrorAdjustShort = 1;
        line.LastRun = static_cast<uint16_t>(in(0, 350));
        uint32_t colour = random();
        TestBand band(width, height);
        std::generate(band.Bytes(), band.Bytes() + band.ByteCount(), [&] { return random(); });
        ReferenceWalk walk = WalkReference(line, width, height);
        std::vector<uint8_t> expected = PaintReference(band, walk, code, colour);
        ASSERT_EQ(DrawLogged(band, line, code, colour), walk.Moves) << "trial " << trial;
        ASSERT_EQ(Snapshot(band), expected) << "trial " << trial << " code " << int(code);
        ASSERT_EQ(band.Surface()->RowIndex, walk.Y) << "trial " << trial;
    }
}

// Diagonals in every direction, cut as a driver cuts them (runs of one pixel along the row
// with a slice step of one row) and as one run that steps a column and a row with each
// pixel, starting near every edge so that they pile up there, for every code and in a band
// whose rows are padded past the width (the plane addresses of each new row are the row's
// start plus whole padded plane rows).
TEST(DrawLine, DiagonalsMatchTheReferenceWalkInEveryDirection) {
    std::mt19937 random(45);
    const int width = 23, height = 17;
    std::vector<uint8_t> codes = marltest::ReferencePatternDestCodes();
    codes.push_back(0xCC);
    const int16_t starts[][2] = {{0, 0}, {22, 16}, {3, 14}, {20, 2}, {11, 8}, {-2, 30}};
    for (uint8_t code : codes) {
        for (int16_t stepX : {-1, 1}) {
            for (int16_t stepY : {-1, 1}) {
                for (const auto& start : starts) {
                    for (bool oneRun : {false, true}) {
                        RunSliceLine line{};
                        line.StartX = start[0];
                        line.StartY = start[1];
                        line.RunStepX = stepX;
                        if (oneRun) {
                            line.RunStepY = stepY;
                            line.FirstRun = 30;
                        } else {
                            line.SliceStepY = stepY;
                            line.FirstRun = 1;
                            line.MiddleRuns = 27;
                            line.BaseRun = 1;
                            line.ErrorTerm = -1;
                            line.LastRun = 1;
                        }
                        const uint32_t colour = random();
                        TestBand band(width, height, 0, 28);
                        std::generate(band.Bytes(), band.Bytes() + band.ByteCount(),
                                      [&] { return random(); });
                        ReferenceWalk walk = WalkReference(line, width, height);
                        std::vector<uint8_t> expected = PaintReference(band, walk, code, colour);
                        ASSERT_EQ(DrawLogged(band, line, code, colour), walk.Moves)
                            << "code " << int(code) << " steps " << stepX << "," << stepY;
                        ASSERT_EQ(Snapshot(band), expected)
                            << "code " << int(code) << " steps " << stepX << "," << stepY
                            << " start " << start[0] << "," << start[1] << " one run " << oneRun;
                        ASSERT_EQ(band.Surface()->RowIndex, walk.Y);
                    }
                }
            }
        }
    }
}

// A driver's call has no listener, so the rows below the cursor that NextRow reaches in its
// common case are walked with a local row address and the cursor is set once. Lines of every
// steepness and direction, near every edge and on bands of one to a few rows, drawn that way
// and pixel by pixel with a listener must leave the same band, the reference walk's, and the
// same cursor record.
TEST(DrawLine, UnheardWalksEndAsPixelByPixelWalks) {
    std::mt19937 random(64);
    auto in = [&](int low, int high) {
        return static_cast<int16_t>(std::uniform_int_distribution<int>(low, high)(random));
    };
    std::vector<uint8_t> codes = marltest::ReferencePatternDestCodes();
    for (int trial = 0; trial < 2000; ++trial) {
        const uint16_t width = static_cast<uint16_t>(in(1, 14));
        const uint16_t height = static_cast<uint16_t>(in(1, 12));
        const uint8_t code = codes[static_cast<size_t>(trial) % codes.size()];
        RunSliceLine line{};
        line.StartX = in(-2, width + 1);
        line.StartY = in(-2, height + 1);
        const bool oneRun = in(0, 1) == 0;
        line.RunStepX = in(-2, 2);
        line.RunStepY = oneRun ? in(0, 3) == 0 ? in(-1, 0) : 1 : 0;
        line.SliceStepX = in(-1, 1);
        line.SliceStepY = oneRun ? in(-1, 1) : in(0, 3) == 0 ? in(-1, 0) : 1;
        line.FirstRun = static_cast<uint16_t>(in(0, 20));
        line.MiddleRuns = static_cast<uint16_t>(in(0, 20));
        line.BaseRun = in(-1, 2);
        line.ErrorTerm = in(-3, 3);
        line.ErrorAdjustLong = in(-3, 0);
        line.ErrorAdjustShort = in(0, 3);
        line.LastRun = static_cast<uint16_t>(in(0, 2));
        const uint32_t colour = random();
        const uint16_t padded = static_cast<uint16_t>(width + in(0, 5));
        TestBand unheard(width, height, 0, padded), heard(width, height, 0, padded);
        std::generate(unheard.Bytes(), unheard.Bytes() + unheard.ByteCount(),
                      [&] { return random(); });
        std::copy(unheard.Bytes(), unheard.Bytes() + unheard.ByteCount(), heard.Bytes());
        const ReferenceWalk walk = WalkReference(line, width, height);
        const std::vector<uint8_t> expected = PaintReference(unheard, walk, code, colour);
        ASSERT_EQ(DrawThroughTable(unheard, line, code, colour), 0u);
        ASSERT_EQ(DrawLogged(heard, line, code, colour), walk.Moves) << "trial " << trial;
        ASSERT_EQ(Snapshot(unheard), expected) << "trial " << trial << " code " << int(code);
        ASSERT_EQ(Snapshot(heard), expected) << "trial " << trial;
        const PlaneBitmap& a = *unheard.Surface();
        const PlaneBitmap& b = *heard.Surface();
        auto offset = [](const uint8_t* at, TestBand& band) {
            return at == nullptr ? -1 : at - band.Bytes();
        };
        ASSERT_EQ(a.RowIndex, walk.Y) << "trial " << trial;
        ASSERT_EQ(b.RowIndex, walk.Y) << "trial " << trial;
        EXPECT_EQ(offset(a.PrevRowBits, unheard), offset(b.PrevRowBits, heard)) << trial;
        EXPECT_EQ(offset(a.RowBits, unheard), offset(b.RowBits, heard)) << trial;
        EXPECT_EQ(offset(a.NextRowBits, unheard), offset(b.NextRowBits, heard)) << trial;
    }
}

} // namespace
