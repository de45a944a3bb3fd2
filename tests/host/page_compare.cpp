#if defined(MARL_HOST_TESTS)
#include "host/page_compare.h"

#include <cstdio>

namespace marlhosttest {

marlhost::PageImage RenderThrough(const CapabilityTable& table, const marlhost::Page& page,
                                  int32_t bandHeight) {
    marlhost::RenderReport report;
    marlhost::RenderOptions options;
    options.BandHeight = bandHeight;
    marlhost::PageImage image = marlhost::RenderPage(table, page, options, report);
    std::string lines;
    for (const std::string& line : report.Lines())
        lines += line + "\n";
    EXPECT_TRUE(report.Clean()) << "in bands of " << bandHeight << ":\n" << lines;
    return image;
}

::testing::AssertionResult SamePicture(const marlhost::PageImage& expected,
                                       const marlhost::PageImage& actual) {
    if (expected.Width != actual.Width || expected.Height != actual.Height)
        return ::testing::AssertionFailure() << "sizes differ";
    size_t differing = 0;
    std::string first;
    for (int32_t y = 0; y < expected.Height; ++y)
        for (int32_t x = 0; x < expected.Width; ++x) {
            const uint8_t* a = expected.Pixel(x, y);
            const uint8_t* b = actual.Pixel(x, y);
            for (int k = 0; k < 3; ++k) {
                if (a[k] == b[k]) continue;
                if (++differing <= 8) {
                    char text[96];
                    std::snprintf(text, sizeof text, "  (%d,%d) plane %d: expected %u, got %u\n", x,
                                  y, k, a[k], b[k]);
                    first += text;
                }
            }
        }
    if (differing == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << differing << " samples differ, first:\n" << first;
}

} // namespace marlhosttest
#endif
