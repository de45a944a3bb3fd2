#include "render24/primitives/hatch_patterns.h"

#include "support/pattern_reference.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

struct Size {
    int32_t Rows;
    int32_t Columns;
};
constexpr Size kSizes[] = {{8, 8}, {8, 16}, {16, 16}, {16, 32}, {32, 32}};
// Where each hatch style's 248 bytes start: styles are stored as 0, 1, 4, 2, 3, 5.
constexpr uint32_t kStyleOffset[6] = {0 * 248, 1 * 248, 3 * 248, 4 * 248, 2 * 248, 5 * 248};
constexpr uint32_t kSizeOffset[5] = {0, 8, 24, 56, 120};

bool ImageBit(const uint8_t* image, int32_t columns, int32_t row, int32_t column) {
    return (image[row * (columns / 8) + column / 8] & (0x80 >> (column % 8))) != 0;
}

TEST(HatchPatterns, EveryStoredImageFollowsTheLineRule) {
    ASSERT_EQ(marl::HatchPatterns.size(), 6u * 248u);
    for (uint32_t hatch = 0; hatch < 6; ++hatch) {
        for (int size = 0; size < 5; ++size) {
            const auto [rows, columns] = kSizes[size];
            SCOPED_TRACE(testing::Message()
                         << "hatch " << hatch << " size " << rows << "x" << columns);
            const uint8_t* stored =
                marl::HatchPatterns.data() + kStyleOffset[hatch] + kSizeOffset[size];
            EXPECT_EQ(marl::SelectHatchPattern(hatch, rows, columns), stored);
            int mismatches = 0;
            for (int32_t r = 0; r < rows; ++r)
                for (int32_t x = 0; x < columns; ++x)
                    mismatches += ImageBit(stored, columns, r, x) !=
                                  marltest::HatchRuleBit(hatch, r, x, rows, columns);
            EXPECT_EQ(mismatches, 0);
        }
    }
}

TEST(HatchPatterns, EightByEightImagesAreTheListedBytes) {
    const std::vector<std::vector<uint8_t>> listed = {
        {0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
        {0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80},
        {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01},
        {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80},
        {0xFF, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80},
        {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81},
    };
    for (uint32_t hatch = 0; hatch < 6; ++hatch) {
        const uint8_t* image = marl::SelectHatchPattern(hatch, 8, 8);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(std::vector<uint8_t>(image, image + 8), listed[hatch]) << "hatch " << hatch;
    }
}

TEST(HatchPatterns, UnknownStylesAndSizesHaveNoImage) {
    const struct {
        uint32_t Hatch;
        int32_t Rows;
        int32_t Columns;
    } missing[] = {{6, 8, 8},   {0xFFFF, 8, 8}, {0, 16, 8},  {2, 8, 24}, {5, 32, 64},
                   {1, 24, 24}, {3, 0, 0},      {4, -8, -8}, {2, 64, 64}};
    for (const auto& ask : missing)
        EXPECT_EQ(marl::SelectHatchPattern(ask.Hatch, ask.Rows, ask.Columns), nullptr)
            << ask.Hatch << " " << ask.Rows << "x" << ask.Columns;
}

} // namespace
