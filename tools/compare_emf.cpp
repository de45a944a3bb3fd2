#include "compare_emf.h"

#include "host/bmp_reader.h"
#include "host/host_error.h"
#include "host/regular_file.h"

#include <png.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace marlcompare {

namespace {

using marlhost::ExitCode;
using marlhost::HostError;

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr int kGap = 8;
constexpr uint8_t kGround = 128;

HostError Unreadable(const std::string& path, const std::string& what) {
    return HostError(ExitCode::BadPage, path + ": " + what);
}

PageImage DecodePng(const std::vector<uint8_t>& file, const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, file.data(), file.size()))
        throw Unreadable(path, std::string("not a usable PNG file: ") + image.message);
    image.format = PNG_FORMAT_RGB;
    if (image.width > 32767 || image.height > 32767) {
        png_image_free(&image);
        throw Unreadable(path, "a picture larger than 32767 pixels a side");
    }
    PageImage picture;
    picture.Width = static_cast<int32_t>(image.width);
    picture.Height = static_cast<int32_t>(image.height);
    picture.Rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, picture.Rgb.data(), 0, nullptr))
        throw Unreadable(path, std::string("not a usable PNG file: ") + image.message);
    return picture;
}

PageImage FromBmp(const std::vector<uint8_t>& file, const std::string& path) {
    marlhost::Image image = marlhost::DecodeBmp(file, path);
    PageImage picture;
    picture.Width = static_cast<int32_t>(image.Width);
    picture.Height = static_cast<int32_t>(image.Height);
    picture.Rgb.resize(size_t{image.Width} * image.Height * 3);
    uint8_t* out = picture.Rgb.data();
    for (uint32_t y = 0; y < image.Height; ++y)
        for (uint32_t x = 0; x < image.Width; ++x) {
            marlhost::PaletteEntry colour = image.Colour(x, y);
            *out++ = colour.Red;
            *out++ = colour.Green;
            *out++ = colour.Blue;
        }
    return picture;
}

bool Close(const uint8_t* a, const uint8_t* b, int samples) {
    return std::abs(a[0] - b[0]) <= samples && std::abs(a[1] - b[1]) <= samples &&
           std::abs(a[2] - b[2]) <= samples;
}

// Whether the other picture has a close pixel near (x, y); the same place is tried first,
// where a match is most likely.
bool HasMatch(const uint8_t* pixel, const PageImage& other, int32_t x, int32_t y,
              Tolerance tolerance) {
    if (Close(pixel, other.Pixel(x, y), tolerance.Samples)) return true;
    const int32_t top = std::max(0, y - tolerance.Pixels);
    const int32_t bottom = std::min(other.Height - 1, y + tolerance.Pixels);
    const int32_t left = std::max(0, x - tolerance.Pixels);
    const int32_t right = std::min(other.Width - 1, x + tolerance.Pixels);
    for (int32_t v = top; v <= bottom; ++v)
        for (int32_t u = left; u <= right; ++u)
            if (Close(pixel, other.Pixel(u, v), tolerance.Samples)) return true;
    return false;
}

void Put(PageImage& picture, int32_t x, int32_t y, const uint8_t* rgb) {
    std::memcpy(picture.Rgb.data() + (size_t(y) * size_t(picture.Width) + size_t(x)) * 3, rgb, 3);
}

void Paste(PageImage& onto, const PageImage& picture, int32_t left) {
    for (int32_t y = 0; y < picture.Height; ++y)
        std::memcpy(onto.Rgb.data() + (size_t(y) * size_t(onto.Width) + size_t(left)) * 3,
                    picture.Pixel(0, y), size_t(picture.Width) * 3);
}

int32_t ShrinkFactor(const PageImage& ours, const PageImage& reference, int32_t largestSide) {
    int32_t side = std::max({ours.Width, ours.Height, reference.Width, reference.Height});
    return std::max(1, (side + largestSide - 1) / std::max(1, largestSide));
}

// Each block of factor x factor pixels becomes their average (blocks at the right and bottom
// edges may be smaller).
PageImage Shrunk(const PageImage& picture, int32_t factor) {
    if (factor == 1) return picture;
    PageImage small;
    small.Width = (picture.Width + factor - 1) / factor;
    small.Height = (picture.Height + factor - 1) / factor;
    small.Rgb.resize(size_t(small.Width) * size_t(small.Height) * 3);
    for (int32_t y = 0; y < small.Height; ++y)
        for (int32_t x = 0; x < small.Width; ++x) {
            uint32_t sums[3] = {}, count = 0;
            for (int32_t v = y * factor; v < std::min(picture.Height, (y + 1) * factor); ++v)
                for (int32_t u = x * factor; u < std::min(picture.Width, (x + 1) * factor); ++u) {
                    for (int k = 0; k < 3; ++k)
                        sums[k] += picture.Pixel(u, v)[k];
                    ++count;
                }
            uint8_t average[3];
            for (int k = 0; k < 3; ++k)
                average[k] = static_cast<uint8_t>(sums[k] / count);
            Put(small, x, y, average);
        }
    return small;
}

// Agreeing blocks are a pale copy of ours; a block with any pixel that misses takes the colour
// of its misses, so that a single pixel stays visible in a shrunk picture.
PageImage Difference(const PageImage& ours, const Agreement& agreement, int32_t factor) {
    static constexpr uint8_t kMissColours[4][3] = {
        {0, 0, 0}, {255, 0, 0}, {0, 0, 255}, {160, 0, 160}};
    PageImage difference = Shrunk(ours, factor);
    for (int32_t y = 0; y < difference.Height; ++y)
        for (int32_t x = 0; x < difference.Width; ++x) {
            uint8_t misses = agreement.SameSize ? 0 : 3;
            for (int32_t v = y * factor;
                 agreement.SameSize && v < std::min(ours.Height, (y + 1) * factor); ++v)
                for (int32_t u = x * factor; u < std::min(ours.Width, (x + 1) * factor); ++u)
                    misses |= agreement.Misses[size_t(v) * size_t(ours.Width) + size_t(u)];
            uint8_t pale[3];
            for (int k = 0; k < 3; ++k)
                pale[k] = static_cast<uint8_t>(255 - (255 - difference.Pixel(x, y)[k]) / 4);
            Put(difference, x, y, misses == 0 ? pale : kMissColours[misses]);
        }
    return difference;
}

} // namespace

PageImage ReadPicture(const std::string& path) {
    std::vector<uint8_t> file =
        marlhost::ReadRegularFile(path, marlhost::kLargestPictureFile, "a picture");
    if (file.size() >= sizeof kPngSignature &&
        std::memcmp(file.data(), kPngSignature, sizeof kPngSignature) == 0)
        return DecodePng(file, path);
    if (file.size() >= 2 && file[0] == 'B' && file[1] == 'M') return FromBmp(file, path);
    throw Unreadable(path, "neither a PNG nor a BMP file");
}

Agreement Agree(const PageImage& ours, const PageImage& reference, Tolerance tolerance) {
    Agreement agreement;
    agreement.Pixels = uint64_t(std::max(ours.Width, 0)) * uint64_t(std::max(ours.Height, 0));
    agreement.SameSize = ours.Width == reference.Width && ours.Height == reference.Height;
    if (!agreement.SameSize) return agreement;
    agreement.Misses.assign(agreement.Pixels, 0);
    uint8_t* miss = agreement.Misses.data();
    for (int32_t y = 0; y < ours.Height; ++y)
        for (int32_t x = 0; x < ours.Width; ++x, ++miss) {
            if (!HasMatch(ours.Pixel(x, y), reference, x, y, tolerance)) *miss |= 1;
            if (!HasMatch(reference.Pixel(x, y), ours, x, y, tolerance)) *miss |= 2;
            agreement.Agreeing += *miss == 0 ? 1 : 0;
        }
    return agreement;
}

PageImage SideBySide(const PageImage& ours, const PageImage& reference, const Agreement& agreement,
                     int32_t largestSide) {
    const int32_t factor = ShrinkFactor(ours, reference, largestSide);
    PageImage shrunkOurs = Shrunk(ours, factor);
    PageImage shrunkReference = Shrunk(reference, factor);
    PageImage difference = Difference(ours, agreement, factor);
    PageImage sheet;
    sheet.Width = shrunkOurs.Width + shrunkReference.Width + difference.Width + 2 * kGap;
    sheet.Height = std::max(shrunkOurs.Height, shrunkReference.Height);
    sheet.Rgb.assign(size_t(sheet.Width) * size_t(sheet.Height) * 3, kGround);
    Paste(sheet, shrunkOurs, 0);
    Paste(sheet, shrunkReference, shrunkOurs.Width + kGap);
    Paste(sheet, difference, shrunkOurs.Width + shrunkReference.Width + 2 * kGap);
    return sheet;
}

} // namespace marlcompare
