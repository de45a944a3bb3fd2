#if defined(MARL_HOST_TESTS)
// The golden page: the library's picture against the golden samples of the plain reference,
// sample for sample; and the reference itself checked at points worked out by hand.
#include "host/host_fixtures.h"
#include "host/library_probe.h"
#include "host/page_compare.h"
#include "host/page_reader.h"
#include "host/reference_table.h"
#include "host/test_pages.h"
#include "support/library.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

using namespace marlhosttest;

marlhost::Page GoldenPage(const ScratchDirectory& directory, const LivePrimitives& live) {
    return marlhost::ReadPage(WriteGoldenPage(directory, live), {MARLHOST_FONT_DIRECTORY});
}

LivePrimitives Everything() {
    LivePrimitives all;
    all.Pixel = all.Line = all.Fill = all.Brush = all.Blit = true;
    return all;
}

uint32_t RgbAt(const marlhost::PageImage& image, int32_t x, int32_t y) {
    const uint8_t* pixel = image.Pixel(x, y);
    return uint32_t{pixel[0]} << 16 | uint32_t{pixel[1]} << 8 | pixel[2];
}

TEST(GoldenPage, ReferenceSamplesAgreeWithHandWorkedPoints) {
    ScratchDirectory directory;
    marlhost::PageImage golden =
        RenderThrough(ReferenceTable(), GoldenPage(directory, Everything()), 0);
    EXPECT_EQ(RgbAt(golden, 0, 0), 0x204060u) << "0xFA keeps the larger sample per plane";
    EXPECT_EQ(RgbAt(golden, 47, 31), 0xFF00FFu);
    EXPECT_EQ(RgbAt(golden, 3, 3), 0xFF8000u);
    EXPECT_EQ(RgbAt(golden, 12, 8), 0x7F0080u) << "0x5A: distance of orange and grey";
    EXPECT_EQ(RgbAt(golden, 27, 12), 0x604020u) << "0x5A: distance of background and grey";
    TestPicture rgb = PatternedPicture(24, 23, 17);
    EXPECT_EQ(RgbAt(golden, 33, 3), rgb.Values[1 * 23 + 3]) << "SRCCOPY of a 24-bit source";
    // The cross hatch at factor 4 is a tile of 32 x 32 whose row 0 and column 0 carry its
    // colour and the rest the default white; its origin is the page's.
    EXPECT_EQ(RgbAt(golden, 0, 21), 0x102080u);
    EXPECT_EQ(RgbAt(golden, 4, 21), 0xFFFFFFu);
}

TEST(GoldenPage, LibraryMatchesTheGoldenSamples) {
    LivePrimitives live = ProbeLibrary(marltest::Table());
    if (!live.Any()) GTEST_SKIP() << "no primitive of the library draws yet";
    if (!live.All()) std::printf("the golden page without what needs %s\n", live.Missing().c_str());
    ScratchDirectory directory;
    marlhost::Page page = GoldenPage(directory, live);
    EXPECT_TRUE(SamePicture(RenderThrough(ReferenceTable(), page, 0),
                            RenderThrough(marltest::Table(), page, 0)));
}

} // namespace
#endif
