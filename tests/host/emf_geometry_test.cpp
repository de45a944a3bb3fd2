#if defined(MARL_HOST_TESTS)
// The metafile player's geometry against values worked out by hand and brute force: the
// mapping from logical units to the picture, clipping regions, pen outlines and dashes.
#include "host/emf_clip.h"
#include "host/emf_outline.h"
#include "host/gdi_state.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

namespace {

using namespace marlhost;

PlaybackGeometry LetterDevice() {
    // A 1000 x 800 pixel reference device of 250 x 200 mm (4 pixels per mm), a frame of
    // 100 x 50 mm from (10 mm, 20 mm), played into a picture of 500 x 250 pixels.
    PlaybackGeometry g;
    g.DeviceWidth = 1000;
    g.DeviceHeight = 800;
    g.DeviceMillimetresX = 250;
    g.DeviceMillimetresY = 200;
    g.FrameLeft = 1000;
    g.FrameTop = 2000;
    g.FrameRight = 11000;
    g.FrameBottom = 7000;
    g.PictureWidth = 500;
    g.PictureHeight = 250;
    return g;
}

TEST(EmfMapping, FrameCornersLandOnPictureCorners) {
    PlaybackGeometry g = LetterDevice();
    Affine a = g.DeviceToPicture();
    // The frame's corners in device pixels: (40, 80) and (440, 280).
    PointF top = a.Apply({40, 80}), bottom = a.Apply({440, 280});
    EXPECT_NEAR(top.X, 0, 1e-9);
    EXPECT_NEAR(top.Y, 0, 1e-9);
    EXPECT_NEAR(bottom.X, 500, 1e-9);
    EXPECT_NEAR(bottom.Y, 250, 1e-9);
}

TEST(EmfMapping, PictureExtentRoundsMillimetresAtDpi) {
    EXPECT_EQ(PictureExtent(21000, 300), 2480); // 210 mm at 300 dpi: 2480.3
    EXPECT_EQ(PictureExtent(29700, 300), 3508); // 297 mm: 3507.87
    EXPECT_EQ(PictureExtent(1, 100), 1);        // never below one pixel
    EXPECT_EQ(PictureExtent(2540, 100), 100);
}

struct MappingCase {
    const char* Name;
    uint32_t Mode;
    SizeF WindowExt, ViewportExt;
    PointF WindowOrg, ViewportOrg;
    PointF Logical, Device;
};

class EmfMappingModes : public testing::TestWithParam<MappingCase> {};

TEST_P(EmfMappingModes, LogicalPointReachesDevice) {
    PlaybackGeometry g = LetterDevice();
    const MappingCase& c = GetParam();
    CoordinateMapping m(g);
    m.SetMapMode(c.Mode);
    m.SetWindowExt(c.WindowExt);
    m.SetViewportExt(c.ViewportExt);
    m.SetWindowOrg(c.WindowOrg);
    m.SetViewportOrg(c.ViewportOrg);
    PointF d = m.LogicalToDevice().Apply(c.Logical);
    EXPECT_NEAR(d.X, c.Device.X, 1e-9);
    EXPECT_NEAR(d.Y, c.Device.Y, 1e-9);
}

// The device has 4 pixels per mm both ways.
INSTANTIATE_TEST_SUITE_P(
    HandWorked, EmfMappingModes,
    testing::Values(
        // MM_TEXT ignores the extents: only the origins move points.
        MappingCase{"Text", MM_TEXT_, {7, 7}, {3, 3}, {10, 20}, {100, 200}, {15, 25}, {105, 205}},
        // 0.1 mm units, y up: 100 units right and 50 up are 40 pixels right, 20 up.
        MappingCase{
            "LoMetric", MM_LOMETRIC_, {1, 1}, {1, 1}, {0, 0}, {0, 400}, {100, 50}, {40, 380}},
        MappingCase{
            "HiMetric", MM_HIMETRIC_, {1, 1}, {1, 1}, {0, 0}, {0, 0}, {1000, -250}, {40, 10}},
        // 1/1440 inch: 1440 twips are 25.4 mm, 101.6 pixels.
        MappingCase{"Twips", MM_TWIPS_, {1, 1}, {1, 1}, {0, 0}, {0, 0}, {1440, 0}, {101.6, 0}},
        // Anisotropic: window 200 x 100 onto viewport 400 x -300.
        MappingCase{"Anisotropic",
                    MM_ANISOTROPIC_,
                    {200, 100},
                    {400, -300},
                    {100, 50},
                    {10, 20},
                    {150, 60},
                    {110, -10}},
        // Isotropic takes the smaller scale (2 rather than 3) on both axes, signs kept.
        MappingCase{"Isotropic",
                    MM_ISOTROPIC_,
                    {200, 100},
                    {400, -300},
                    {0, 0},
                    {0, 0},
                    {10, 10},
                    {20, -20}}),
    [](const testing::TestParamInfo<MappingCase>& info) { return info.param.Name; });

TEST(EmfMapping, WorldTransformComesBeforeTheWindow) {
    PlaybackGeometry g = LetterDevice();
    CoordinateMapping m(g);
    m.SetMapMode(MM_ANISOTROPIC_);
    m.SetWindowExt({1, 1});
    m.SetViewportExt({2, 2});
    // Rotate a quarter turn (x to y), then move by (5, 0) in page space.
    m.SetWorld({0, 1, -1, 0, 5, 0});
    PointF d = m.LogicalToDevice().Apply({10, 0});
    EXPECT_NEAR(d.X, 10, 1e-9); // (5, 10) in page space, doubled
    EXPECT_NEAR(d.Y, 20, 1e-9);
    m.ModifyWorld({2, 0, 0, 2, 0, 0}, 2); // scale first, then the world transform
    d = m.LogicalToDevice().Apply({10, 0});
    EXPECT_NEAR(d.X, 10, 1e-9);
    EXPECT_NEAR(d.Y, 40, 1e-9);
    m.ModifyWorld({}, 1);
    d = m.LogicalToDevice().Apply({10, 0});
    EXPECT_NEAR(d.X, 20, 1e-9);
    EXPECT_NEAR(d.Y, 0, 1e-9);
}

// ---------------------------------------------------------------- regions

using PixelSet = std::set<std::pair<int32_t, int32_t>>;

PixelSet Pixels(const Region& r) {
    PixelSet set;
    for (int32_t y = r.TopRow(); y < r.BottomRow(); ++y)
        for (const Interval& i : r.Row(y))
            for (int32_t x = i.Left; x < i.Right; ++x)
                set.insert({x, y});
    return set;
}

PixelSet RectPixels(int32_t l, int32_t t, int32_t r, int32_t b) {
    PixelSet set;
    for (int32_t y = t; y < b; ++y)
        for (int32_t x = l; x < r; ++x)
            set.insert({x, y});
    return set;
}

TEST(EmfRegion, CombinationsMatchPixelSets) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int32_t> coordinate(-5, 25);
    for (int round = 0; round < 300; ++round) {
        Region a, b;
        PixelSet pa, pb;
        for (int k = 0; k < 3; ++k) {
            int32_t l = coordinate(random), t = coordinate(random);
            int32_t r = l + coordinate(random) % 12, bt = t + coordinate(random) % 12;
            Region rect = Region::Rect(l, t, r, bt);
            PixelSet rp = RectPixels(l, t, r, bt);
            if (k % 2 == 0) {
                a = a.Combine(rect, RegionOp::Or);
                pa.insert(rp.begin(), rp.end());
            } else {
                b = b.Combine(rect, RegionOp::Or);
                pb.insert(rp.begin(), rp.end());
            }
        }
        for (RegionOp op : {RegionOp::And, RegionOp::Or, RegionOp::Diff, RegionOp::Xor}) {
            PixelSet expected;
            for (const auto& p : pa)
                if ((op == RegionOp::Or) || (op == RegionOp::And && pb.count(p)) ||
                    ((op == RegionOp::Diff || op == RegionOp::Xor) && !pb.count(p)))
                    expected.insert(p);
            if (op == RegionOp::Or || op == RegionOp::Xor)
                for (const auto& p : pb)
                    if (op == RegionOp::Or || !pa.count(p)) expected.insert(p);
            Region c = a.Combine(b, op);
            ASSERT_EQ(Pixels(c), expected) << "round " << round << " op " << int(op);
            for (const auto& p : expected)
                ASSERT_TRUE(c.Contains(p.first, p.second));
            EXPECT_EQ(c.PixelCount(), expected.size());
        }
    }
}

TEST(EmfRegion, IntervalsStaySeparateAndSorted) {
    std::vector<Interval> a{{0, 4}, {6, 9}}, b{{4, 6}, {20, 22}};
    std::vector<Interval> u = CombineIntervals(a, b, RegionOp::Or);
    ASSERT_EQ(u.size(), 2u); // touching intervals merge
    EXPECT_EQ(u[0].Left, 0);
    EXPECT_EQ(u[0].Right, 9);
    EXPECT_EQ(u[1].Left, 20);
    std::vector<Interval> d = CombineIntervals(a, {{2, 7}}, RegionOp::Diff);
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d[0].Right, 2);
    EXPECT_EQ(d[1].Left, 7);
    EXPECT_EQ(d[1].Right, 9);
}

TEST(EmfRegion, AreaCutByRegionAndOffset) {
    // A triangle's pixels under a clip rectangle, moved by (3, -2).
    FillArea triangle = FillArea::Polygon({{0, 0}, {20, 0}, {0, 20}}, FillRule::EvenOdd);
    Region area = Region::FromArea(triangle, 0, 20);
    Region cut = area.Combine(Region::Rect(5, 5, 100, 100), RegionOp::And).Offset(3, -2);
    for (int32_t y = -5; y < 25; ++y)
        for (int32_t x = -5; x < 30; ++x) {
            int32_t ox = x - 3, oy = y + 2;
            bool inTriangle = (ox + 0.5) + (oy + 0.5) < 20 && ox >= 0 && oy >= 0;
            EXPECT_EQ(cut.Contains(x, y), inTriangle && ox >= 5 && oy >= 5) << x << "," << y;
        }
}

// ---------------------------------------------------------------- outlines

Region OutlineRegion(const Polyline& points, bool closed, const PenShape& pen) {
    std::vector<Polyline> polygons;
    StrokeOutline(points, closed, pen, polygons);
    std::vector<std::vector<Vertex>> rounded;
    for (const Polyline& p : polygons)
        rounded.push_back(RoundPoints(p, true));
    FillArea area = AreaOfPolygons(rounded, FillRule::Winding);
    return Region::FromArea(area, area.TopRow(), area.BottomRow());
}

TEST(EmfOutline, FlatCappedLineCoversItsRowsAndColumns) {
    // A 5 pixel wide line from pixel 10 to pixel 30 along row 20 covers rows 18..22 and
    // columns 10..29 with flat caps; square caps reach 2.5 pixels further on each side,
    // columns 8..32.
    PenShape pen;
    pen.Width = 5;
    pen.Cap = PenCap::Flat;
    EXPECT_EQ(Pixels(OutlineRegion({{10, 20}, {30, 20}}, false, pen)), RectPixels(10, 18, 30, 23));
    pen.Cap = PenCap::Square;
    EXPECT_EQ(Pixels(OutlineRegion({{10, 20}, {30, 20}}, false, pen)), RectPixels(8, 18, 33, 23));
}

TEST(EmfOutline, RoundCapsAndJoinsAreDiscs) {
    // A single point with a round 9 pixel pen: the pixels whose centres lie within the disc
    // of radius 4.5 around the pixel centre, give or take the polygon's flattening.
    PenShape pen;
    pen.Width = 9;
    Region dot = OutlineRegion({{50, 50}}, false, pen);
    for (int32_t y = 40; y < 61; ++y)
        for (int32_t x = 40; x < 61; ++x) {
            double distance = std::hypot(x - 50, y - 50);
            if (distance < 4.0) {
                EXPECT_TRUE(dot.Contains(x, y)) << x << "," << y;
            }
            if (distance > 5.0) {
                EXPECT_FALSE(dot.Contains(x, y)) << x << "," << y;
            }
        }
}

TEST(EmfOutline, MiterJoinReachesTheCornerAndBevelCutsIt) {
    // A right-angle corner at (40, 40) with a 10 pixel pen: the miter fills the outer corner
    // square up to (45, 45), the bevel leaves its far pixel empty.
    Polyline corner{{10, 40}, {40, 40}, {40, 10}};
    PenShape pen;
    pen.Width = 10;
    pen.Cap = PenCap::Flat;
    pen.Join = PenJoin::Miter;
    Region miter = OutlineRegion(corner, false, pen);
    EXPECT_TRUE(miter.Contains(44, 44));
    EXPECT_FALSE(miter.Contains(46, 46));
    pen.Join = PenJoin::Bevel;
    Region bevel = OutlineRegion(corner, false, pen);
    EXPECT_FALSE(bevel.Contains(44, 44));
    EXPECT_TRUE(bevel.Contains(41, 42)); // (42, 42) has its centre on the bevel's edge
    // Inside the corner both cover the same pixels.
    EXPECT_EQ(miter.Contains(36, 36), bevel.Contains(36, 36));
}

TEST(EmfOutline, ClosedOutlineLeavesTheInsideEmpty) {
    PenShape pen;
    pen.Width = 4;
    pen.Join = PenJoin::Miter;
    Region frame = OutlineRegion({{10, 10}, {50, 10}, {50, 50}, {10, 50}}, true, pen);
    EXPECT_FALSE(frame.Contains(30, 30));
    EXPECT_TRUE(frame.Contains(30, 10));
    EXPECT_TRUE(frame.Contains(8, 8)); // mitered corner
    EXPECT_EQ(Pixels(frame).size(), 44u * 44 - 36u * 36);
}

TEST(EmfOutline, DashPiecesFollowThePattern) {
    // 30 pixels of dash 6, gap 4: dashes at 0..6, 10..16, 20..26.
    std::vector<Polyline> pieces = DashPieces({{0, 0}, {30, 0}}, false, {6, 4});
    ASSERT_EQ(pieces.size(), 3u);
    for (size_t i = 0; i < pieces.size(); ++i) {
        EXPECT_NEAR(pieces[i].front().X, 10.0 * i, 1e-9);
        EXPECT_NEAR(pieces[i].back().X, 10.0 * i + 6, 1e-9);
    }
    // The pattern runs on round a corner.
    pieces = DashPieces({{0, 0}, {4, 0}, {4, 10}}, false, {6, 4});
    ASSERT_GE(pieces.size(), 2u);
    EXPECT_NEAR(pieces[0].back().X, 4, 1e-9);
    EXPECT_NEAR(pieces[0].back().Y, 2, 1e-9);
    EXPECT_NEAR(pieces[1].front().Y, 6, 1e-9);
}

TEST(EmfOutline, BezierStaysCloseToTheCurve) {
    PointF p0{0, 0}, p1{0, 100}, p2{100, 100}, p3{100, 0};
    Polyline flat{p0};
    AppendBezier(p0, p1, p2, p3, 0.25, flat);
    EXPECT_GT(flat.size(), 8u);
    EXPECT_NEAR(flat.back().X, 100, 1e-9);
    // Every point lies on the curve: check against the closest of many samples.
    for (const PointF& p : flat) {
        double best = 1e9;
        for (int i = 0; i <= 2000; ++i) {
            double t = i / 2000.0, u = 1 - t;
            double x = 3 * u * t * t * 100 + t * t * t * 100;
            double y = 3 * u * u * t * 100 + 3 * u * t * t * 100;
            best = std::min(best, std::hypot(p.X - x, p.Y - y));
        }
        EXPECT_LT(best, 0.1);
    }
}

} // namespace
#endif
