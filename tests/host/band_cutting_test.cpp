#if defined(MARL_HOST_TESTS)
// A page drawn in bands of 1, 7 and 64 rows gives the same picture as in one band: the host
// cuts lines, spans, transfers, sources and brush origins at band edges without a seam.
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

marlhost::Page ReadTestPage(const std::string& path) {
    return marlhost::ReadPage(path, {MARLHOST_FONT_DIRECTORY});
}

void ExpectSameInEveryBandHeight(const CapabilityTable& table, const marlhost::Page& page) {
    marlhost::PageImage whole = RenderThrough(table, page, page.Height);
    for (int32_t bandHeight : {1, 7, 64})
        EXPECT_TRUE(SamePicture(whole, RenderThrough(table, page, bandHeight)))
            << "bands of " << bandHeight << " against one band";
}

TEST(BandCutting, ReferencePictureIsTheSameInEveryBandHeight) {
    ScratchDirectory directory;
    LivePrimitives all;
    all.Pixel = all.Line = all.Fill = all.Brush = all.Blit = true;
    marlhost::Page page = ReadTestPage(WriteBandTestPage(directory, all));
    ASSERT_GT(page.Operations.size(), 25u);
    ExpectSameInEveryBandHeight(ReferenceTable(), page);
}

TEST(BandCutting, LibraryPictureIsTheSameInEveryBandHeight) {
    LivePrimitives live = ProbeLibrary(marltest::Table());
    if (!live.Any()) GTEST_SKIP() << "no primitive of the library draws yet";
    ScratchDirectory directory;
    marlhost::Page page = ReadTestPage(WriteBandTestPage(directory, live));
    if (!live.All())
        std::printf("the band test page without what needs %s\n", live.Missing().c_str());
    ExpectSameInEveryBandHeight(marltest::Table(), page);
}

} // namespace
#endif
