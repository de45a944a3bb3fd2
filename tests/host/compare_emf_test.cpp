#if defined(MARL_HOST_TESTS)
// The EMF comparison: agreement both ways within one pixel and 32 per sample, checked against a
// plain reading of that rule; pictures read back from PNG and BMP; the script's table.
#include "compare_emf.h"
#include "host/host_error.h"
#include "host/host_fixtures.h"
#include "host/png_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>

namespace {

using marlcompare::Agree;
using marlcompare::PageImage;
using namespace marlhosttest;

PageImage Flat(int32_t width, int32_t height, uint8_t grey) {
    PageImage picture;
    picture.Width = width;
    picture.Height = height;
    picture.Rgb.assign(size_t(width) * size_t(height) * 3, grey);
    return picture;
}

void Set(PageImage& picture, int32_t x, int32_t y, uint8_t r, uint8_t g, uint8_t b) {
    uint8_t* pixel = picture.Rgb.data() + (size_t(y) * size_t(picture.Width) + size_t(x)) * 3;
    pixel[0] = r;
    pixel[1] = g;
    pixel[2] = b;
}

// The rule as written: does any pixel of `other` within one pixel of (x, y) lie within 32 of
// `picture`'s pixel there in every sample?
bool MatchedIn(const PageImage& picture, const PageImage& other, int32_t x, int32_t y) {
    for (int32_t dy = -1; dy <= 1; ++dy)
        for (int32_t dx = -1; dx <= 1; ++dx) {
            int32_t u = x + dx, v = y + dy;
            if (u < 0 || v < 0 || u >= other.Width || v >= other.Height) continue;
            bool close = true;
            for (int k = 0; k < 3; ++k)
                close = close &&
                        std::abs(int(picture.Pixel(x, y)[k]) - int(other.Pixel(u, v)[k])) <= 32;
            if (close) return true;
        }
    return false;
}

uint64_t PlainAgreeing(const PageImage& a, const PageImage& b) {
    uint64_t agreeing = 0;
    for (int32_t y = 0; y < a.Height; ++y)
        for (int32_t x = 0; x < a.Width; ++x)
            agreeing += MatchedIn(a, b, x, y) && MatchedIn(b, a, x, y) ? 1 : 0;
    return agreeing;
}

struct AgreementCase {
    const char* Name;
    std::function<void(PageImage& ours, PageImage& reference)> Draw;
    uint64_t Disagreeing;
};

std::vector<AgreementCase> AgreementCases() {
    auto vertical = [](PageImage& picture, int32_t x) {
        for (int32_t y = 0; y < picture.Height; ++y)
            Set(picture, x, y, 0, 0, 0);
    };
    return {
        {"Identical", [](PageImage&, PageImage&) {}, 0},
        {"LineOnePixelOff",
         [=](PageImage& ours, PageImage& reference) {
             vertical(ours, 5);
             vertical(reference, 6);
         },
         0},
        {"LineTwoPixelsOff",
         [=](PageImage& ours, PageImage& reference) {
             vertical(ours, 5);
             vertical(reference, 7);
         },
         2 * 8},
        {"SampleOff32Agrees",
         [](PageImage& ours, PageImage& reference) {
             Set(ours, 3, 3, 100, 100, 100);
             Set(reference, 3, 3, 132, 68, 100);
         },
         0},
        // One sample 33 away is enough to lose the match.
        {"SampleOff33Disagrees",
         [](PageImage& ours, PageImage& reference) {
             Set(ours, 3, 3, 100, 100, 100);
             Set(reference, 3, 3, 100, 100, 133);
         },
         1},
        // A dot only one side drew: its own pixel has no match, the white around it has.
        {"DotOnlyInOurs", [](PageImage& ours, PageImage&) { Set(ours, 0, 0, 0, 0, 0); }, 1},
        {"DotOnlyInReference",
         [](PageImage&, PageImage& reference) { Set(reference, 9, 7, 0, 0, 0); }, 1},
    };
}

class Agreement : public ::testing::TestWithParam<AgreementCase> {};

TEST_P(Agreement, CountsThePixelsWithoutAMatchEitherWay) {
    PageImage ours = Flat(10, 8, 255), reference = Flat(10, 8, 255);
    GetParam().Draw(ours, reference);
    marlcompare::Agreement agreement = Agree(ours, reference);
    EXPECT_TRUE(agreement.SameSize);
    EXPECT_EQ(agreement.Pixels, 80u);
    EXPECT_EQ(agreement.Pixels - agreement.Agreeing, GetParam().Disagreeing);
    EXPECT_EQ(agreement.Agreeing, PlainAgreeing(ours, reference));
}

INSTANTIATE_TEST_SUITE_P(Cases, Agreement, ::testing::ValuesIn(AgreementCases()),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(AgreementRule, MatchesThePlainReadingOnRandomPictures) {
    std::mt19937 random(16);
    // Samples near 0, 255 and each other, so that the 32 boundary is often met exactly.
    const uint8_t levels[] = {0, 1, 31, 32, 33, 64, 127, 128, 200, 223, 224, 255};
    for (int round = 0; round < 200; ++round) {
        int32_t width = 1 + int32_t(random() % 9), height = 1 + int32_t(random() % 7);
        PageImage a = Flat(width, height, 0), b = Flat(width, height, 0);
        for (uint8_t& sample : a.Rgb)
            sample = levels[random() % std::size(levels)];
        for (size_t i = 0; i < b.Rgb.size(); ++i)
            b.Rgb[i] = random() % 2 ? a.Rgb[i] : levels[random() % std::size(levels)];
        marlcompare::Agreement agreement = Agree(a, b);
        ASSERT_EQ(agreement.Agreeing, PlainAgreeing(a, b)) << "round " << round;
        ASSERT_EQ(Agree(b, a).Agreeing, agreement.Agreeing) << "symmetric, round " << round;
    }
}

TEST(AgreementRule, PicturesOfDifferentSizesAgreeNowhere) {
    marlcompare::Agreement agreement = Agree(Flat(10, 8, 255), Flat(10, 9, 255));
    EXPECT_FALSE(agreement.SameSize);
    EXPECT_EQ(agreement.Agreeing, 0u);
    EXPECT_EQ(agreement.Share(), 0.0);
}

TEST(SideBySide, ShowsOursTheReferenceAndWhereTheyDiffer) {
    PageImage ours = Flat(4, 3, 255), reference = Flat(4, 3, 255);
    Set(ours, 0, 0, 0, 0, 0);      // only ours: red
    Set(reference, 3, 2, 0, 0, 0); // only the reference: blue
    Set(ours, 2, 0, 90, 90, 90);   // both drew it alike: pale
    Set(reference, 2, 0, 100, 100, 100);
    PageImage sheet = marlcompare::SideBySide(ours, reference, Agree(ours, reference));
    ASSERT_EQ(sheet.Width, 4 * 3 + 2 * 8);
    ASSERT_EQ(sheet.Height, 3);
    const int32_t diff = 4 + 8 + 4 + 8;
    EXPECT_EQ(sheet.Pixel(0, 0)[0], 0);      // ours as drawn
    EXPECT_EQ(sheet.Pixel(12 + 3, 2)[0], 0); // the reference as drawn
    EXPECT_EQ(sheet.Pixel(5, 1)[1], 128);    // the gap
    const uint8_t* red = sheet.Pixel(diff + 0, 0);
    const uint8_t* blue = sheet.Pixel(diff + 3, 2);
    const uint8_t* pale = sheet.Pixel(diff + 2, 0);
    EXPECT_EQ((std::vector<int>{red[0], red[1], red[2]}), (std::vector<int>{255, 0, 0}));
    EXPECT_EQ((std::vector<int>{blue[0], blue[1], blue[2]}), (std::vector<int>{0, 0, 255}));
    EXPECT_EQ(pale[0], 255 - (255 - 90) / 4);
}

TEST(SideBySide, LargePagesAreShrunkAndKeepEveryMissVisible) {
    PageImage ours = Flat(9, 7, 255), reference = Flat(9, 7, 255);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 3; ++x)
            Set(reference, x, y, 0, 0, 0); // a black block the size of one shrunk pixel
    Set(ours, 8, 6, 0, 0, 0);              // one pixel only ours drew, in an edge block
    // 9 pixels wide at most 3 a side: shrunk three times, to 3 x 3 (the last row of blocks
    // holds one row of pixels).
    PageImage sheet = marlcompare::SideBySide(ours, reference, Agree(ours, reference), 3);
    ASSERT_EQ(sheet.Width, 3 * 3 + 2 * 8);
    ASSERT_EQ(sheet.Height, 3);
    const int32_t referenceLeft = 3 + 8, diff = 3 + 8 + 3 + 8;
    EXPECT_EQ(sheet.Pixel(referenceLeft, 0)[0], 0) << "the block's average";
    EXPECT_EQ(sheet.Pixel(2, 2)[0], 170) << "the edge block of 3 x 1 pixels, one of them black";
    // Inside the block neither picture finds the other's colour nearby: both miss, purple.
    EXPECT_EQ(sheet.Pixel(diff + 0, 0)[0], 160);
    EXPECT_EQ(sheet.Pixel(diff + 0, 0)[1], 0);
    EXPECT_EQ(sheet.Pixel(diff + 2, 2)[0], 255) << "the single pixel only ours drew: red";
    EXPECT_EQ(sheet.Pixel(diff + 2, 2)[2], 0);
    EXPECT_EQ(sheet.Pixel(diff + 1, 1)[1], 255) << "agreeing white stays white";
}

TEST(ComparePictures, ReadsPngAndBmpAlike) {
    ScratchDirectory directory;
    TestPicture bmp = PatternedPicture(24, 7, 5);
    WriteFile(directory.File("a.bmp"), EncodeBmp(bmp));
    PageImage fromBmp = marlcompare::ReadPicture(directory.File("a.bmp"));
    ASSERT_EQ(fromBmp.Width, 7);
    ASSERT_EQ(fromBmp.Height, 5);
    for (uint32_t i = 0; i < bmp.Values.size(); ++i) {
        const uint8_t* pixel = fromBmp.Rgb.data() + i * 3;
        EXPECT_EQ(uint32_t(pixel[0]) << 16 | uint32_t(pixel[1]) << 8 | pixel[2], bmp.Values[i])
            << "pixel " << i;
    }
    marlhost::WritePng(fromBmp, directory.File("a.png"));
    PageImage fromPng = marlcompare::ReadPicture(directory.File("a.png"));
    EXPECT_EQ(fromPng.Width, 7);
    EXPECT_EQ(fromPng.Rgb, fromBmp.Rgb);
    WriteFile(directory.File("a.txt"), std::string("neither"));
    EXPECT_THROW(marlcompare::ReadPicture(directory.File("a.txt")), marlhost::HostError);
}

std::string RunScript(const std::string& arguments) {
    std::string command = "sh '" MARLHOST_TOOLS
                          "/compare_emf.sh' --compare '" MARLCOMPARE_EXECUTABLE "' " +
                          arguments + " 2>&1";
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            output.append(buffer, got);
        pclose(pipe);
    }
    return output;
}

TEST(CompareScript, TabulatesPairsWorstFirstWithTheMedian) {
    ScratchDirectory directory;
    // Three pages: alike, one pixel of 20 different, and of another size.
    PageImage white = Flat(5, 4, 255), dotted = Flat(5, 4, 255);
    Set(dotted, 2, 2, 0, 0, 0);
    marlhost::WritePng(white, directory.File("alike.ours.png"));
    marlhost::WritePng(white, directory.File("alike.reference.png"));
    marlhost::WritePng(dotted, directory.File("dotted.ours.png"));
    marlhost::WritePng(white, directory.File("dotted.reference.png"));
    marlhost::WritePng(white, directory.File("sized.ours.png"));
    marlhost::WritePng(Flat(5, 5, 255), directory.File("sized.reference.png"));
    std::string output = RunScript("--compare-only --out '" + directory.Path() + "'");
    size_t sized = output.find("sized "), dotted_ = output.find("dotted "),
           alike = output.find("alike ");
    ASSERT_NE(sized, std::string::npos) << output;
    ASSERT_NE(dotted_, std::string::npos) << output;
    ASSERT_NE(alike, std::string::npos) << output;
    EXPECT_LT(sized, dotted_) << output;
    EXPECT_LT(dotted_, alike) << output;
    EXPECT_NE(output.find("0.00        - reference 5x5"), std::string::npos) << output;
    EXPECT_NE(output.find("95.00"), std::string::npos) << output;
    EXPECT_NE(output.find("3 pages at 100 dpi: median agreement 95.00 %, 1 of 3 at 98 %"),
              std::string::npos)
        << output;
    EXPECT_TRUE(FileExists(directory.File("dotted.side.png")));
}

} // namespace
#endif
