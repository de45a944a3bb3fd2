// RPPixel through the exported table: planes from colour bytes 0 to 2, the 16-bit x, the
// result per code, the cursor left on row y, and pixels outside the band left alone.
#include "common/bitmap.h"
#include "support/library.h"
#include "support/reference_contone.h"
#include "support/test_band.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

using marltest::TestBand;

uint32_t Pixel(TestBand& band, uint32_t x, uint32_t y, uint32_t colour, uint32_t code) {
    return marltest::Table().Pixel(band.Device(), 0xDEADBEEF, x, y, colour, code);
}

void SetPixel(TestBand& band, uint32_t x, uint32_t y, uint8_t p0, uint8_t p1, uint8_t p2) {
    band.At(x, y, 0) = p0;
    band.At(x, y, 1) = p1;
    band.At(x, y, 2) = p2;
}

std::vector<uint8_t> Snapshot(TestBand& band) {
    return std::vector<uint8_t>(band.Bytes(), band.Bytes() + band.ByteCount());
}

// Every code on a random pixel: the three planes follow the reference with colour bytes 0, 1,
// 2, byte 3 has no effect, the result is 0 for the sixteen and 1 otherwise, nothing else in
// the band changes, and the cursor is left on row y in every case.
TEST(Pixel, EveryCodeAgainstTheReference) {
    TestBand band(13, 9);
    std::mt19937 random(7);
    std::generate(band.Bytes(), band.Bytes() + band.ByteCount(), [&] { return random(); });
    for (uint32_t code = 0; code < 256; ++code) {
        uint32_t x = random() % 13, y = random() % 9;
        uint32_t colour = random();
        std::vector<uint8_t> before = Snapshot(band);
        const auto& sixteen = marltest::ReferencePatternDestCodes();
        bool handled = std::find(sixteen.begin(), sixteen.end(), code) != sixteen.end();
        ASSERT_EQ(Pixel(band, x, y, colour, code), handled ? 0u : 1u) << code;
        std::vector<uint8_t> expected = before;
        for (uint32_t k = 0; k < 3; ++k) {
            size_t at = static_cast<size_t>(band.Row(y, k) + x - band.Bytes());
            auto result = marltest::ReferenceContone(static_cast<uint8_t>(code), before[at],
                                                     static_cast<uint8_t>(colour >> (8 * k)));
            if (result) expected[at] = *result;
        }
        ASSERT_EQ(Snapshot(band), expected) << "code " << code;
        EXPECT_EQ(band.Surface()->RowIndex, y);
        EXPECT_EQ(band.Surface()->RowBits, band.Row(y, 0));
    }
}

TEST(Pixel, ColourBytesGoToPlanesAndByteThreeIsIgnored) {
    for (uint32_t byte3 : {0x00u, 0xFFu, 0x80u}) {
        TestBand band(8, 4, 0x77);
        EXPECT_EQ(Pixel(band, 2, 3, (byte3 << 24) | 0x332211, 0xF0), 0u);
        EXPECT_EQ(band.At(2, 3, 0), 0x11);
        EXPECT_EQ(band.At(2, 3, 1), 0x22);
        EXPECT_EQ(band.At(2, 3, 2), 0x33);
        EXPECT_EQ(band.At(1, 3, 0), 0x77);
        EXPECT_EQ(band.At(3, 3, 2), 0x77);
    }
}

struct WorkedPixel {
    uint32_t Code;
    uint8_t Result[3];
};

TEST(Pixel, WorkedValues) {
    const WorkedPixel cases[] = {
        {0x5A, {190, 0, 30}},    {0xA5, {65, 255, 225}}, {0x00, {0, 0, 0}},
        {0xFF, {255, 255, 255}}, {0xAA, {10, 20, 30}},
    };
    for (const WorkedPixel& c : cases) {
        TestBand band(8, 4);
        SetPixel(band, 4, 1, 10, 20, 30);
        EXPECT_EQ(Pixel(band, 4, 1, 0x000014C8, c.Code), 0u);
        for (uint32_t k = 0; k < 3; ++k)
            EXPECT_EQ(band.At(4, 1, k), c.Result[k]) << c.Code;
    }
}

TEST(Pixel, OnlyLowBitsOfCoordinatesAndCodeCount) {
    TestBand band(8, 6);
    EXPECT_EQ(Pixel(band, 65541, 2, 0x010203, 0x1F0), 0u); // x 65541 is column 5, code 0xF0
    EXPECT_EQ(band.At(5, 2, 0), 0x03);
    EXPECT_EQ(Pixel(band, 1, 0x30004, 0x0A0B0C, 0xF0), 0u); // y low half 4
    EXPECT_EQ(band.At(1, 4, 2), 0x0A);
    EXPECT_EQ(band.Surface()->RowIndex, 4);
    EXPECT_EQ(Pixel(band, 0, 0, 0, 0x101), 1u); // code 0x01
}

TEST(Pixel, UnhandledCodeWritesNothingAndLeavesCursorOnRow) {
    TestBand band(8, 6, 0x42);
    marl::SelectRow(*band.Surface(), 0);
    std::vector<uint8_t> before = Snapshot(band);
    for (uint32_t code : {0x01u, 0x02u, 0x03u, 0x04u, 0xCCu, 0x66u}) {
        EXPECT_EQ(Pixel(band, 3, 5, 0xFFFFFF, code), 1u);
        EXPECT_EQ(band.Surface()->RowIndex, 5);
    }
    EXPECT_EQ(Snapshot(band), before);
}

// Pixels outside the bitmap: in a band without padding (x = Width would be the next plane's
// first sample) flush against unreadable pages, in a band with padding bytes, and in one
// whose header claims more pixels (70) than a plane row has bytes (64).
TEST(Pixel, OutsideTheBitmapNothingIsWritten) {
    struct Case {
        uint16_t Width, Height, WidthBytes;
    };
    for (Case shape : {Case{64, 64, 0}, Case{10, 5, 12}, Case{70, 64, 64}}) {
        TestBand band(shape.Width, shape.Height, 0x42, shape.WidthBytes);
        std::vector<uint8_t> before = Snapshot(band);
        const uint32_t w = shape.Width, h = shape.Height;
        const uint32_t points[][2] = {{w, 0},      {w, h - 1}, {0, h},     {w - 1, h},
                                      {65535, 0},  {0, 65535}, {w + 7, 2}, {0xFFFFFFFF, 1},
                                      {1, 0xFFFF}, {w, h},     {64, 1},    {69, 4}};
        for (const auto& point : points) {
            EXPECT_EQ(Pixel(band, point[0], point[1], 0x123456, 0xF0), 0u);
            EXPECT_EQ(Pixel(band, point[0], point[1], 0x123456, 0x55), 0u);
            EXPECT_EQ(Pixel(band, point[0], point[1], 0x123456, 0xCC), 1u);
        }
        EXPECT_EQ(Snapshot(band), before);
    }
}

TEST(Pixel, DestinationWithoutPixelsGivesTheNormalResult) {
    TestBand band(8, 4, 0x42);
    std::vector<uint8_t> before = Snapshot(band);
    PlaneBitmap noHeader{};
    BitmapHeader noBits = *band.Header();
    noBits.Bits = nullptr;
    PlaneBitmap withoutBits{};
    withoutBits.Header = &noBits;
    RenderDevice devices[3]{}; // no surface, no header, no bits
    devices[1].Surface = &noHeader;
    devices[2].Surface = &withoutBits;
    const auto& table = marltest::Table();
    EXPECT_EQ(table.Pixel(nullptr, 0, 1, 1, 0, 0xF0), 0u);
    EXPECT_EQ(table.Pixel(nullptr, 0, 1, 1, 0, 0x01), 1u);
    for (RenderDevice& device : devices) {
        EXPECT_EQ(table.Pixel(&device, 0, 1, 1, 0, 0xF0), 0u);
        EXPECT_EQ(table.Pixel(&device, 0, 1, 1, 0, 0xAA), 0u);
        EXPECT_EQ(table.Pixel(&device, 0, 1, 1, 0, 0xCC), 1u);
    }
    EXPECT_EQ(Snapshot(band), before);
}

} // namespace
