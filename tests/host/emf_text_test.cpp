#if defined(MARL_HOST_TESTS)
// Metafile text: glyphs of every size stay whole when they become one-bit sources.
#include "host/emf_text.h"

#include <gtest/gtest.h>

namespace {

// The longest run of ink down any column of a glyph.
int TallestStroke(const marlhost::Glyph& glyph) {
    if (!glyph.Bits) return 0;
    const marlhost::LibrarySource& bits = *glyph.Bits;
    int tallest = 0;
    for (uint32_t x = 0; x < bits.Width; ++x) {
        int run = 0;
        for (uint32_t y = 0; y < bits.Height; ++y) {
            bool ink = (bits.Row(y)[x / 8] & (0x80u >> (x % 8))) != 0;
            run = ink ? run + 1 : 0;
            tallest = std::max(tallest, run);
        }
    }
    return tallest;
}

class EmfTextSizes : public testing::TestWithParam<double> {};

// The stem of an 'l' and of an 'H' is one unbroken stroke about as tall as the letter, even
// at sizes where the stroke covers less than half of each pixel it crosses.
TEST_P(EmfTextSizes, StemsStayUnbroken) {
    marlhost::TextEngine engine;
    int face = engine.Face({"Arial", 400, false});
    marlhost::TextGeometry geometry;
    geometry.EmLogical = GetParam();
    for (uint32_t code : {uint32_t{'l'}, uint32_t{'H'}}) {
        marlhost::Glyph glyph = engine.Render(face, geometry, code, false);
        ASSERT_TRUE(glyph.Bits) << "em " << GetParam() << ", '" << char(code) << "'";
        EXPECT_GE(TallestStroke(glyph), int(GetParam() * 0.5))
            << "em " << GetParam() << ", '" << char(code) << "'";
    }
}

INSTANTIATE_TEST_SUITE_P(SmallAndLarge, EmfTextSizes, testing::Values(6.0, 8.0, 10.0, 14.0, 40.0));

} // namespace

#endif
