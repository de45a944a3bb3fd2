#if defined(MARL_HOST_TESTS)
// What the host reports when a library misbehaves: refused calls, memory still live at the
// end of the page, frees of blocks it never had, writes outside the band.
#include "host/band_renderer.h"
#include "host/host_fixtures.h"
#include "host/reference_table.h"

#include <gtest/gtest.h>

namespace {

using namespace marlhosttest;

const char* kPage = R"({"width": 32, "height": 20, "bandHeight": 6,
  "brushes": {"h": {"style": "hatched", "hatch": 2}},
  "operations": [
    {"op": "fill", "rect": [0, 0, 32, 20], "brush": "h"},
    {"op": "pixel", "at": [3, 3], "color": "#FFFFFF"},
    {"op": "blit", "rect": [1, 1, 4, 4], "code": "PATCOPY", "brush": "h"}
  ]})";

std::string Render(const CapabilityTable& table, bool& clean) {
    ScratchDirectory directory;
    marlhost::Page page = ParseTestPage(kPage, directory.Path());
    marlhost::RenderReport report;
    marlhost::RenderPage(table, page, {}, report);
    clean = report.Clean();
    std::string lines;
    for (const std::string& line : report.Lines())
        lines += line + "\n";
    return lines;
}

TEST(RenderReport, AWellBehavedLibraryLeavesItClean) {
    bool clean = false;
    EXPECT_EQ(Render(ReferenceTable(), clean), "");
    EXPECT_TRUE(clean);
}

TEST(RenderReport, ABrushNeverGivenBackIsALeakWithItsCallSite) {
    CapabilityTable table = ReferenceTable();
    table.RealizeBrush = [](RenderDevice* device, void* in, RealizedBrush* out, uint32_t origin,
                            uint32_t x, uint32_t y, uint32_t spare, uint32_t back) -> uint32_t {
        if (out == nullptr) return 0; // the release forgets the pattern
        return ReferenceTable().RealizeBrush(device, in, out, origin, x, y, spare, back);
    };
    bool clean = true;
    std::string lines = Render(table, clean);
    EXPECT_FALSE(clean);
    EXPECT_NE(lines.find("1 block(s) still live"), std::string::npos) << lines;
    EXPECT_NE(lines.find("192 bytes from r:\\platf\\src\\render24\\render24 line 821"),
              std::string::npos)
        << lines;
}

TEST(RenderReport, RefusalsAreCountedPerCall) {
    CapabilityTable table = ReferenceTable();
    table.BitBlt = [](RenderDevice*, BitmapHeader*, uint32_t, uint32_t, uint32_t, uint32_t,
                      BitmapHeader*, uint32_t, RealizedBrush*, const DrawColors*, uint32_t,
                      const uint8_t*, uint32_t) -> uint32_t { return 1; };
    table.Pixel = [](RenderDevice*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) -> uint32_t {
        return 1;
    };
    bool clean = true;
    std::string lines = Render(table, clean);
    EXPECT_FALSE(clean);
    EXPECT_NE(lines.find("operations[1] (pixel): RPPixel answered 1 for code 0xF0"),
              std::string::npos)
        << lines;
    EXPECT_NE(lines.find("operations[2] (blit): RPBitBlt answered 1 for code 0xF0"),
              std::string::npos)
        << lines;
}

TEST(RenderReport, ARefusedBrushIsReportedAndItsOperationsSkipped) {
    CapabilityTable table = ReferenceTable();
    table.RealizeBrush = [](RenderDevice*, void*, RealizedBrush*, uint32_t, uint32_t, uint32_t,
                            uint32_t, uint32_t) -> uint32_t { return 0; };
    table.FillScanRows = [](RenderDevice*, uint32_t, uint32_t, const ScanSpan*, RealizedBrush*,
                            uint32_t, uint32_t, uint32_t) -> uint32_t {
        ADD_FAILURE() << "a fill with a refused brush was drawn";
        return 0;
    };
    bool clean = true;
    std::string lines = Render(table, clean);
    EXPECT_FALSE(clean);
    EXPECT_NE(lines.find("RPRealizeBrush answered 0 for brush \"h\""), std::string::npos) << lines;
}

TEST(RenderReport, ForeignFreesAndWritesOutsideTheBandAreReported) {
    CapabilityTable table = ReferenceTable();
    table.Pixel = [](RenderDevice* device, uint32_t, uint32_t, uint32_t, uint32_t,
                     uint32_t) -> uint32_t {
        BitmapHeader* header = device->Surface->Header;
        header->Bits[-1] = 0;
        header->Bits[size_t{3} * header->WidthBytes * header->Height] = 0;
        static uint8_t notABlock;
        device->Allocator->FreeBlock(&notABlock);
        return 0;
    };
    bool clean = true;
    std::string lines = Render(table, clean);
    EXPECT_FALSE(clean);
    EXPECT_NE(lines.find("the band starting at page row 0 was written outside its bitmap"),
              std::string::npos)
        << lines;
    EXPECT_NE(lines.find("1 FreeBlock call(s) with a block the host never handed out"),
              std::string::npos)
        << lines;
}

} // namespace
#endif
