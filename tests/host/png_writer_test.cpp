#if defined(MARL_HOST_TESTS)
// The PNG writer: every sample comes back through an independent decoder, at any width (odd
// rows, one-pixel pages) and for flat and noisy pictures alike.
#include "host/host_error.h"
#include "host/host_fixtures.h"
#include "host/png_writer.h"

#include <gtest/gtest.h>

#include <random>

#include <png.h>
#include <stb/stb_image.h>

namespace {

using marlhost::PageImage;

PageImage Picture(int32_t width, int32_t height, bool noisy, uint32_t seed) {
    PageImage picture;
    picture.Width = width;
    picture.Height = height;
    picture.Rgb.resize(size_t(width) * size_t(height) * 3);
    std::mt19937 random(seed);
    for (size_t i = 0; i < picture.Rgb.size(); ++i)
        picture.Rgb[i] = noisy ? uint8_t(random()) : uint8_t((i / 3 / 97) * 40 + i % 3);
    return picture;
}

TEST(PngWriter, EverySampleDecodesBack) {
    struct Shape {
        int32_t Width, Height;
        bool Noisy;
    } shapes[] = {{1, 1, false},  {1, 1, true},    {3, 2, true},   {97, 13, false},
                  {97, 13, true}, {640, 7, false}, {1, 300, true}, {255, 64, true}};
    uint32_t seed = 1;
    for (const Shape& shape : shapes) {
        PageImage picture = Picture(shape.Width, shape.Height, shape.Noisy, seed++);
        std::vector<uint8_t> png = marlhost::EncodePng(picture, "picture.png");
        int width = 0, height = 0, channels = 0;
        unsigned char* pixels =
            stbi_load_from_memory(png.data(), int(png.size()), &width, &height, &channels, 3);
        ASSERT_NE(pixels, nullptr) << shape.Width << " x " << shape.Height;
        EXPECT_EQ(width, shape.Width);
        EXPECT_EQ(height, shape.Height);
        EXPECT_EQ(channels, 3);
        EXPECT_TRUE(std::equal(picture.Rgb.begin(), picture.Rgb.end(), pixels))
            << shape.Width << " x " << shape.Height << (shape.Noisy ? " noisy" : " flat");
        stbi_image_free(pixels);
    }
}

// libpng checks every chunk's CRC and the zlib stream's Adler-32 as it reads.
std::vector<uint8_t> DecodeWithLibpng(const std::vector<uint8_t>& png) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return {};
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> samples(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, samples.data(), 0, nullptr)) return {};
    return samples;
}

TEST(PngWriter, PartsCompressedApartJoinIntoOneStream) {
    // 1100 rows: up to four parts of at least 256 rows; the first row of each part is
    // filtered against the last row of the part before.
    for (bool noisy : {false, true})
        for (int parts : {1, 2, 3, 4, 8}) {
            PageImage picture = Picture(61, 1100, noisy, 40 + uint32_t(parts));
            std::vector<uint8_t> png = marlhost::EncodePng(picture, "parts.png", parts);
            int width = 0, height = 0, channels = 0;
            unsigned char* pixels =
                stbi_load_from_memory(png.data(), int(png.size()), &width, &height, &channels, 3);
            ASSERT_NE(pixels, nullptr) << parts << " parts";
            EXPECT_EQ(height, 1100);
            EXPECT_TRUE(std::equal(picture.Rgb.begin(), picture.Rgb.end(), pixels))
                << parts << " parts, " << (noisy ? "noisy" : "flat");
            stbi_image_free(pixels);
            EXPECT_EQ(DecodeWithLibpng(png), picture.Rgb) << parts << " parts";
        }
}

TEST(PngWriter, FlatPagesCompressWell) {
    // A white A4 page at 100 dpi: 2.6 MB of samples.
    PageImage page;
    page.Width = 827;
    page.Height = 1169;
    page.Rgb.assign(size_t(page.Width) * size_t(page.Height) * 3, 255);
    EXPECT_LT(marlhost::EncodePng(page, "white.png").size(), 20000u);
}

TEST(PngWriter, APictureWithoutPixelsIsAnOutputError) {
    PageImage empty;
    try {
        marlhost::EncodePng(empty, "empty.png");
        FAIL() << "encoded a picture without pixels";
    } catch (const marlhost::HostError& error) {
        EXPECT_EQ(error.Exit(), marlhost::ExitCode::Output);
        EXPECT_NE(std::string(error.what()).find("empty.png: "), std::string::npos);
    }
}

} // namespace
#endif
