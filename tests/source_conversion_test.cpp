// One-bit source rows converted into three plane runs, against a pixel-by-pixel reference, with
// the bits ending flush against an unreadable page.
#include "render24/blit/transfer/source_conversion.h"
#include "support/guarded_memory.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

// Pixel i is bit (phase + i) counted from the most significant bit of the first byte.
std::vector<uint8_t> ReferenceMono(const uint8_t* bits, uint32_t phase, uint32_t text,
                                   uint32_t back, uint32_t pixels) {
    std::vector<uint8_t> planes(3 * pixels);
    for (uint32_t i = 0; i < pixels; ++i) {
        const uint32_t bit = phase + i;
        const bool set = (bits[bit / 8] >> (7 - bit % 8)) & 1;
        for (uint32_t plane = 0; plane < 3; ++plane)
            planes[plane * pixels + i] = static_cast<uint8_t>((set ? back : text) >> (8 * plane));
    }
    return planes;
}

TEST(SourceConversion, MonoRowsOfEveryWidthAndPhase) {
    std::mt19937 random(51);
    for (uint32_t pixels = 1; pixels <= 70; ++pixels) {
        for (uint32_t phase = 0; phase < 8; ++phase) {
            marltest::GuardedBuffer bits((phase + pixels + 7) / 8);
            for (size_t i = 0; i < bits.size(); ++i)
                bits.data()[i] = static_cast<uint8_t>(random());
            const uint32_t text = random() & 0xFFFFFF, back = random() & 0xFFFFFF;
            std::vector<uint8_t> converted(3 * pixels + 1, 0xEE);
            marl::ConvertMonoRow(bits.data(), phase, {text, back}, {converted.data(), pixels});
            EXPECT_EQ(converted.back(), 0xEE) << "written past the three runs";
            converted.pop_back();
            ASSERT_EQ(converted, ReferenceMono(bits.data(), phase, text, back, pixels))
                << pixels << " pixels, phase " << phase;
        }
    }
}

} // namespace
