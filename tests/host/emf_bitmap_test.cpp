#if defined(MARL_HOST_TESTS)
// Bitmaps of metafile records decoded against pixels written here at every depth and in both
// row orders, malformed ones refused with their reason, and resampling onto the picture
// (stretched, mirrored, turned) against a plain nearest-pixel reading.
#include "host/emf_blits.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

namespace {

using namespace marlhost;

// A record holding only a bitmap: 8 bytes of record header, the bitmap info, the bits.
struct DibRecord {
    std::vector<char> Bytes;
    DibLocation Where;
};

uint32_t Rgb(uint32_t x, uint32_t y) {
    return (x * 37 + y * 11) % 251 << 16 | (x * 5) % 256 << 8 | (y * 29) % 256;
}

DibRecord MakeDib(uint32_t bits, int32_t width, int32_t height, bool bitfields565 = false) {
    uint32_t w = static_cast<uint32_t>(width), h = static_cast<uint32_t>(std::abs(height));
    uint32_t stride = (w * bits + 31) / 32 * 4;
    uint32_t colours = bits <= 8 ? 1u << bits : 0;
    uint32_t masks = bitfields565 ? 12 : 0;
    DibRecord r;
    r.Where.OffBmi = 8;
    r.Where.CbBmi = 40 + 4 * colours + masks;
    r.Where.OffBits = r.Where.OffBmi + r.Where.CbBmi;
    r.Where.CbBits = stride * h;
    r.Bytes.assign(r.Where.OffBits + r.Where.CbBits, 0);
    auto put32 = [&](size_t at, uint32_t v) { std::memcpy(r.Bytes.data() + at, &v, 4); };
    put32(8, 40);
    put32(12, static_cast<uint32_t>(width));
    put32(16, static_cast<uint32_t>(height));
    uint16_t planes = 1, count = static_cast<uint16_t>(bits);
    std::memcpy(r.Bytes.data() + 20, &planes, 2);
    std::memcpy(r.Bytes.data() + 22, &count, 2);
    put32(24, bitfields565 ? 3 : 0);
    for (uint32_t i = 0; i < colours; ++i) // entry i: blue i, green 255 - i, red 3 i
        put32(48 + 4 * i, (i & 0xFF) | (255 - i % 256) << 8 | (3 * i % 256) << 16);
    if (bitfields565) {
        put32(48, 0xF800);
        put32(52, 0x07E0);
        put32(56, 0x001F);
    }
    for (uint32_t y = 0; y < h; ++y) {
        uint32_t fileRow = height > 0 ? h - 1 - y : y; // bottom-up unless the height is negative
        auto* row = reinterpret_cast<uint8_t*>(r.Bytes.data() + r.Where.OffBits + stride * fileRow);
        for (uint32_t x = 0; x < w; ++x) {
            uint32_t c = Rgb(x, y);
            uint32_t index = (x + 3 * y) % (colours ? colours : 1);
            switch (bits) {
            case 1: row[x / 8] |= uint8_t(index << (7 - x % 8)); break;
            case 4: row[x / 2] |= uint8_t(index << (x % 2 ? 0 : 4)); break;
            case 8: row[x] = uint8_t(index); break;
            case 16: {
                uint16_t v =
                    bitfields565
                        ? uint16_t((c >> 19 & 31) << 11 | (c >> 10 & 63) << 5 | (c >> 3 & 31))
                        : uint16_t((c >> 19 & 31) << 10 | (c >> 11 & 31) << 5 | (c >> 3 & 31));
                std::memcpy(row + 2 * x, &v, 2);
                break;
            }
            case 24:
                row[3 * x] = uint8_t(c);
                row[3 * x + 1] = uint8_t(c >> 8);
                row[3 * x + 2] = uint8_t(c >> 16);
                break;
            case 32: std::memcpy(row + 4 * x, &c, 4); break;
            }
        }
    }
    return r;
}

// The colour the bitmap written above has at (x, y), as the decoder should give it.
std::array<uint8_t, 3> Expected(uint32_t bits, uint32_t x, uint32_t y, bool bitfields565) {
    uint32_t c = Rgb(x, y);
    if (bits <= 8) {
        uint32_t index = (x + 3 * y) % (1u << bits);
        return {uint8_t(3 * index % 256), uint8_t(255 - index % 256), uint8_t(index)};
    }
    if (bits == 16) {
        // Five or six bits widened to eight by v * 255 / max.
        auto widen = [](uint32_t v, uint32_t top) { return uint8_t(v * 255 / top); };
        if (bitfields565)
            return {widen(c >> 19 & 31, 31), widen(c >> 10 & 63, 63), widen(c >> 3 & 31, 31)};
        return {widen(c >> 19 & 31, 31), widen(c >> 11 & 31, 31), widen(c >> 3 & 31, 31)};
    }
    return {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)};
}

struct DepthCase {
    uint32_t Bits;
    int32_t Height; // negative: rows top down
    bool Bitfields;
};

class EmfDibDepths : public testing::TestWithParam<DepthCase> {};

TEST_P(EmfDibDepths, DecodesEveryPixel) {
    const DepthCase& c = GetParam();
    DibRecord r = MakeDib(c.Bits, 13, c.Height, c.Bitfields);
    Dib dib;
    std::string why;
    ASSERT_EQ(DecodeDib(r.Bytes.data(), uint32_t(r.Bytes.size()), r.Where, dib, why),
              DibResult::Decoded)
        << why;
    ASSERT_EQ(dib.Width, 13u);
    ASSERT_EQ(dib.Height, uint32_t(std::abs(c.Height)));
    for (uint32_t y = 0; y < dib.Height; ++y)
        for (uint32_t x = 0; x < dib.Width; ++x) {
            std::array<uint8_t, 3> e = Expected(c.Bits, x, y, c.Bitfields);
            const uint8_t* p = dib.Pixel(x, y);
            ASSERT_EQ(p[0], e[0]) << x << "," << y;
            ASSERT_EQ(p[1], e[1]) << x << "," << y;
            ASSERT_EQ(p[2], e[2]) << x << "," << y;
        }
    EXPECT_EQ(dib.Mono, c.Bits == 1);
}

INSTANTIATE_TEST_SUITE_P(Depths, EmfDibDepths,
                         testing::Values(DepthCase{1, 7, false}, DepthCase{1, -7, false},
                                         DepthCase{4, 7, false}, DepthCase{8, -5, false},
                                         DepthCase{8, 5, false}, DepthCase{16, 6, false},
                                         DepthCase{16, -6, true}, DepthCase{24, 9, false},
                                         DepthCase{24, -9, false}, DepthCase{32, 4, false}),
                         [](const testing::TestParamInfo<DepthCase>& info) {
                             return "Bits" + std::to_string(info.param.Bits) +
                                    (info.param.Height < 0 ? "TopDown" : "BottomUp") +
                                    (info.param.Bitfields ? "Masks" : "");
                         });

TEST(EmfDib, MalformedAndUnsupportedBitmapsAreTold) {
    struct Case {
        const char* Name;
        void (*Damage)(DibRecord&);
        DibResult Result;
        const char* Reason;
    };
    std::vector<Case> cases = {
        {"bits past the record", [](DibRecord& r) { r.Where.CbBits += 4; }, DibResult::Malformed,
         "outside the record"},
        {"too few bits", [](DibRecord& r) { r.Where.CbBits -= 4; }, DibResult::Malformed, "needs"},
        {"zero width", [](DibRecord& r) { std::memset(r.Bytes.data() + 12, 0, 4); },
         DibResult::Malformed, "header is malformed"},
        {"header larger than its info", [](DibRecord& r) { r.Bytes[8] = 120; },
         DibResult::Malformed, "header is malformed"},
        {"run-length", [](DibRecord& r) { r.Bytes[24] = 1; }, DibResult::Unsupported, "compressed"},
        {"two bits a pixel", [](DibRecord& r) { r.Bytes[22] = 2; }, DibResult::Unsupported,
         "bits per pixel"},
    };
    for (const Case& c : cases) {
        DibRecord r = MakeDib(24, 8, 8);
        c.Damage(r);
        Dib dib;
        std::string why;
        EXPECT_EQ(DecodeDib(r.Bytes.data(), uint32_t(r.Bytes.size()), r.Where, dib, why), c.Result)
            << c.Name;
        EXPECT_NE(why.find(c.Reason), std::string::npos) << c.Name << ": " << why;
    }
}

TEST(EmfDib, MonochromeBitmapBecomesAOneBitPattern) {
    DibRecord r = MakeDib(1, 10, 3);
    Dib dib;
    std::string why;
    ASSERT_EQ(DecodeDib(r.Bytes.data(), uint32_t(r.Bytes.size()), r.Where, dib, why),
              DibResult::Decoded);
    Image image = DibToImage(dib);
    ASSERT_EQ(image.BitsPerPixel, 1u);
    ASSERT_EQ(image.Palette.size(), 2u);
    for (uint32_t y = 0; y < 3; ++y)
        for (uint32_t x = 0; x < 10; ++x)
            EXPECT_EQ(image.Index(x, y), (x + 3 * y) % 2) << x << "," << y;
}

// Resampling against a plain reading: each picture pixel centre mapped back by hand.
TEST(EmfDib, SamplingFollowsThePlacement) {
    DibRecord r = MakeDib(24, 6, 4);
    Dib dib;
    std::string why;
    ASSERT_EQ(DecodeDib(r.Bytes.data(), uint32_t(r.Bytes.size()), r.Where, dib, why),
              DibResult::Decoded);
    struct Case {
        const char* Name;
        RectF Source;
        Placement Where;
    };
    std::vector<Case> cases = {
        {"doubled", {0, 0, 6, 4}, {{10, 20}, {22, 20}, {10, 28}}},
        {"mirrored", {0, 0, 6, 4}, {{22, 20}, {10, 20}, {22, 28}}},
        {"part flipped", {1, 1, 4, 2}, {{10, 28}, {18, 28}, {10, 20}}},
        {"quarter turn", {0, 0, 6, 4}, {{20, 10}, {20, 22}, {12, 10}}},
    };
    for (const Case& c : cases) {
        Affine map;
        ASSERT_TRUE(PictureToSource(c.Source, c.Where, map)) << c.Name;
        LibrarySource out = SamplePart(dib, map, 5, 5, 30, 35);
        // The placement's inverse by hand: solve picture = O + u (X - O) + v (Y - O).
        PointF ax{c.Where.XEnd.X - c.Where.Origin.X, c.Where.XEnd.Y - c.Where.Origin.Y};
        PointF ay{c.Where.YEnd.X - c.Where.Origin.X, c.Where.YEnd.Y - c.Where.Origin.Y};
        double det = ax.X * ay.Y - ax.Y * ay.X;
        for (int32_t py = 5; py < 35; ++py)
            for (int32_t px = 5; px < 30; ++px) {
                double dx = px + 0.5 - c.Where.Origin.X, dy = py + 0.5 - c.Where.Origin.Y;
                double u = (dx * ay.Y - dy * ay.X) / det, v = (ax.X * dy - ax.Y * dx) / det;
                double sx = std::floor(c.Source.X + u * c.Source.Width);
                double sy = std::floor(c.Source.Y + v * c.Source.Height);
                std::array<uint8_t, 3> e{0xFF, 0xFF, 0xFF};
                if (sx >= 0 && sy >= 0 && sx < 6 && sy < 4) {
                    const uint8_t* p = dib.Pixel(uint32_t(sx), uint32_t(sy));
                    e = {p[0], p[1], p[2]};
                }
                const uint8_t* row = out.Row(uint32_t(py - 5));
                size_t i = size_t(px - 5);
                ASSERT_EQ(row[i], e[0]) << c.Name << " " << px << "," << py;
                ASSERT_EQ(row[out.WidthBytes + i], e[1]) << c.Name << " " << px << "," << py;
                ASSERT_EQ(row[2 * out.WidthBytes + i], e[2]) << c.Name << " " << px << "," << py;
            }
    }
    Affine map;
    EXPECT_FALSE(PictureToSource({0, 0, 6, 4}, {{0, 0}, {5, 5}, {10, 10}}, map)); // no area
}

} // namespace
#endif
