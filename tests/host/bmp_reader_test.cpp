#if defined(MARL_HOST_TESTS)
// BMP files of every depth read back pixel for pixel, malformed files refused with a reason,
// and the conversion into the library's source forms.
#include "host/bmp_reader.h"
#include "host/host_error.h"
#include "host/host_fixtures.h"
#include "host/library_source.h"

#include <gtest/gtest.h>

namespace {

using marlhost::DecodeBmp;
using marlhost::HostError;
using marlhost::Image;
using marlhosttest::EncodeBmp;
using marlhosttest::PatternedPicture;
using marlhosttest::TestPicture;

struct Shape {
    uint32_t Bits;
    uint32_t Width;
    uint32_t Height;
    bool TopDown;
};

class BmpDepths : public ::testing::TestWithParam<Shape> {};

TEST_P(BmpDepths, EveryPixelReadsBack) {
    Shape shape = GetParam();
    TestPicture picture = PatternedPicture(shape.Bits, shape.Width, shape.Height);
    picture.TopDown = shape.TopDown;
    Image image = DecodeBmp(EncodeBmp(picture), "test.bmp");
    ASSERT_EQ(image.Width, shape.Width);
    ASSERT_EQ(image.Height, shape.Height);
    ASSERT_EQ(image.BitsPerPixel, shape.Bits);
    ASSERT_EQ(image.Palette.size(), picture.Palette.size());
    for (uint32_t y = 0; y < shape.Height; ++y)
        for (uint32_t x = 0; x < shape.Width; ++x) {
            uint32_t value = picture.Values[size_t{y} * shape.Width + x];
            marlhost::PaletteEntry colour = image.Colour(x, y);
            uint32_t got = uint32_t{colour.Red} << 16 | uint32_t{colour.Green} << 8 | colour.Blue;
            if (shape.Bits == 24) {
                ASSERT_EQ(got, value) << x << "," << y;
            } else {
                ASSERT_EQ(image.Index(x, y), value) << x << "," << y;
                const auto& entry = picture.Palette[value];
                ASSERT_EQ(got, uint32_t{entry.Red} << 16 | uint32_t{entry.Green} << 8 | entry.Blue);
            }
        }
}

INSTANTIATE_TEST_SUITE_P(AllDepths, BmpDepths,
                         ::testing::Values(Shape{1, 13, 5, false}, Shape{1, 32, 3, true},
                                           Shape{4, 7, 6, false}, Shape{4, 16, 2, true},
                                           Shape{8, 9, 4, false}, Shape{8, 4, 4, true},
                                           Shape{24, 5, 3, false}, Shape{24, 8, 7, true}));

void ExpectRefused(const std::vector<uint8_t>& file, const std::string& reason) {
    try {
        DecodeBmp(file, "bad.bmp");
        ADD_FAILURE() << "accepted a file that should be refused for: " << reason;
    } catch (const HostError& error) {
        EXPECT_EQ(error.Exit(), marlhost::ExitCode::BadPage);
        EXPECT_NE(std::string(error.what()).find(reason), std::string::npos) << error.what();
        EXPECT_NE(std::string(error.what()).find("bad.bmp"), std::string::npos) << error.what();
    }
}

TEST(BmpReader, MalformedFilesAreRefusedWithTheirReason) {
    std::vector<uint8_t> good = EncodeBmp(PatternedPicture(8, 6, 4));
    ExpectRefused({}, "does not begin with \"BM\"");
    std::vector<uint8_t> file = good;
    file[0] = 'P';
    ExpectRefused(file, "does not begin with \"BM\"");
    file = good;
    file.resize(file.size() - 3);
    ExpectRefused(file, "ends inside its pixel data");
    ExpectRefused(std::vector<uint8_t>(good.begin(), good.begin() + 20), "ends inside its header");
    file = good;
    file[30] = 1; // run-length compression
    ExpectRefused(file, "compressed");
    file = good;
    file[28] = 16;
    ExpectRefused(file, "16 bits per pixel");
    file = good;
    file[18] = file[19] = file[20] = file[21] = 0; // width 0
    ExpectRefused(file, "size 0 x 4");
    file = good;
    file[46] = 0; // 512 palette entries
    file[47] = 2;
    ExpectRefused(file, "palette of 512 entries");
    file = good;
    file[14] = 64;
    ExpectRefused(file, "information header of 64 bytes");
    file = good;
    file[10] = 20; // pixel data inside the header
    file[11] = 0;
    ExpectRefused(file, "pixel data begins inside the headers");
}

TEST(BmpReader, MissingFileNamesThePath) {
    try {
        marlhost::ReadBmp("/nonexistent/picture.bmp");
        ADD_FAILURE() << "a missing file was read";
    } catch (const HostError& error) {
        EXPECT_NE(std::string(error.what()).find("/nonexistent/picture.bmp: cannot open"),
                  std::string::npos)
            << error.what();
    }
}

TEST(LibrarySource, TwentyFourBitsBecomeRedGreenBluePlanes) {
    TestPicture picture = PatternedPicture(24, 6, 3);
    Image image = DecodeBmp(EncodeBmp(picture), "rgb.bmp");
    marlhost::LibrarySource source = marlhost::ToLibrarySource(image);
    ASSERT_EQ(source.Planes, 3);
    ASSERT_EQ(source.BitsPixel, 8);
    ASSERT_EQ(source.WidthBytes, 8);
    for (uint32_t y = 0; y < 3; ++y)
        for (uint32_t x = 0; x < 6; ++x) {
            uint32_t rgb = picture.Values[y * 6 + x];
            const uint8_t* row = source.Row(y);
            EXPECT_EQ(row[x], (rgb >> 16) & 0xFF);
            EXPECT_EQ(row[8 + x], (rgb >> 8) & 0xFF);
            EXPECT_EQ(row[16 + x], rgb & 0xFF);
        }
}

TEST(LibrarySource, PalettesAreInTheLibrarysOrder) {
    for (uint32_t bits : {1u, 4u, 8u}) {
        Image image = DecodeBmp(EncodeBmp(PatternedPicture(bits, 5, 2)), "p.bmp");
        marlhost::LibrarySource source = marlhost::ToLibrarySource(image);
        ASSERT_EQ(source.Planes, 1);
        ASSERT_EQ(source.BitsPixel, bits);
        ASSERT_EQ(source.Palette.size(), size_t{3} << bits);
        for (uint32_t i = 0; i < (1u << bits); ++i) {
            EXPECT_EQ(source.Palette[3 * i + 2], image.Palette[i].Red) << "plane 0 is red";
            EXPECT_EQ(source.Palette[3 * i + 1], image.Palette[i].Green);
            EXPECT_EQ(source.Palette[3 * i], image.Palette[i].Blue);
        }
    }
}

// The value of pixel x of a 1- or 4-bit row.
uint32_t Packed(const uint8_t* row, uint32_t bits, uint32_t x) {
    return bits == 1 ? (row[x / 8] >> (7 - x % 8)) & 1 : (row[x / 2] >> (x % 2 ? 0 : 4)) & 15;
}

TEST(SourceWindow, CutsInsideAByteAreCopiedOthersPointIntoTheSource) {
    for (uint32_t bits : {1u, 4u, 8u, 24u}) {
        Image image = DecodeBmp(EncodeBmp(PatternedPicture(bits, 37, 9)), "w.bmp");
        marlhost::LibrarySource source = marlhost::ToLibrarySource(image);
        for (uint32_t column : {0u, 1u, 3u, 8u, 13u}) {
            marlhost::SourceWindow window(source, column, 2, 20, 5, 0);
            BitmapHeader* header = window.Header();
            ASSERT_EQ(header->Width, 20);
            ASSERT_EQ(header->Height, 5);
            bool aligned = column * (bits == 24 ? 8 : bits) % 8 == 0;
            EXPECT_EQ(window.Copied(), !aligned) << bits << " bits, column " << column;
            for (uint32_t y = 0; y < 5; ++y) {
                const uint8_t* row = header->Bits + size_t{y} * header->Planes * header->WidthBytes;
                for (uint32_t x = 0; x < 20; ++x) {
                    if (bits == 24) {
                        EXPECT_EQ(row[x], image.Colour(column + x, 2 + y).Red);
                        EXPECT_EQ(row[2 * header->WidthBytes + x],
                                  image.Colour(column + x, 2 + y).Blue);
                    } else if (bits == 8) {
                        EXPECT_EQ(row[x], image.Index(column + x, 2 + y));
                    } else {
                        EXPECT_EQ(Packed(row, bits, x), image.Index(column + x, 2 + y))
                            << bits << " bits, column " << column << ", pixel " << x;
                    }
                }
            }
        }
    }
}

TEST(SourceWindow, ConvertedMonoSourcesMoveTheBitPositionInstead) {
    Image image = DecodeBmp(EncodeBmp(PatternedPicture(1, 40, 3)), "m.bmp");
    marlhost::LibrarySource source = marlhost::ToLibrarySource(image);
    for (uint32_t phase : {0u, 3u, 7u})
        for (uint32_t column : {0u, 5u, 11u, 16u}) {
            marlhost::SourceWindow window(source, column, 1, 20, 2, 8 | phase);
            EXPECT_FALSE(window.Copied());
            uint32_t expand = window.MonoExpand();
            ASSERT_NE(expand, 0u);
            const uint8_t* first = window.Header()->Bits;
            for (uint32_t x = 0; x < 20; ++x) {
                uint32_t bit = (expand & 7) + x;
                uint32_t got = (first[bit / 8] >> (7 - bit % 8)) & 1;
                uint32_t want = phase + column + x < 40 ? image.Index(phase + column + x, 1) : 0;
                EXPECT_EQ(got, want) << "phase " << phase << ", column " << column;
            }
        }
}

} // namespace
#endif
