#include "host/bmp_reader.h"

#include "host/host_error.h"
#include "host/regular_file.h"

#include <cstring>

namespace marlhost {

namespace {

// Largest width or height accepted: every coordinate the library takes is 16 bits, signed.
constexpr int64_t kLargestSide = 32767;
constexpr uint32_t kFileHeaderSize = 14;

class Reader {
public:
    Reader(const std::vector<uint8_t>& file, const std::string& name) : File(file), Name(name) {}

    uint32_t U16(size_t offset) const {
        Need(offset, 2, "header");
        return uint32_t{File[offset]} | uint32_t{File[offset + 1]} << 8;
    }
    uint32_t U32(size_t offset) const {
        Need(offset, 4, "header");
        return U16(offset) | U16(offset + 2) << 16;
    }
    int32_t S32(size_t offset) const { return static_cast<int32_t>(U32(offset)); }
    void Need(size_t offset, size_t count, const char* what) const {
        if (offset > File.size() || count > File.size() - offset)
            throw Fail(std::string("file ends inside its ") + what);
    }
    HostError Fail(const std::string& what) const {
        return PageError(Name + ": not a usable BMP file: " + what);
    }
    const uint8_t* At(size_t offset) const { return File.data() + offset; }

private:
    const std::vector<uint8_t>& File;
    const std::string& Name;
};

struct InfoHeader {
    uint32_t Size;
    int32_t Width;
    int32_t Height;
    uint32_t Planes;
    uint32_t BitCount;
    uint32_t Compression;
    uint32_t ColoursUsed;
};

InfoHeader ReadInfoHeader(const Reader& reader) {
    InfoHeader info{};
    info.Size = reader.U32(kFileHeaderSize);
    if (info.Size != 40 && info.Size != 52 && info.Size != 56 && info.Size != 108 &&
        info.Size != 124)
        throw reader.Fail("unsupported information header of " + std::to_string(info.Size) +
                          " bytes");
    info.Width = reader.S32(kFileHeaderSize + 4);
    info.Height = reader.S32(kFileHeaderSize + 8);
    info.Planes = reader.U16(kFileHeaderSize + 12);
    info.BitCount = reader.U16(kFileHeaderSize + 14);
    info.Compression = reader.U32(kFileHeaderSize + 16);
    info.ColoursUsed = reader.U32(kFileHeaderSize + 32);
    return info;
}

void CheckInfoHeader(const Reader& reader, const InfoHeader& info) {
    if (info.Planes != 1) throw reader.Fail("plane count " + std::to_string(info.Planes));
    if (info.BitCount != 1 && info.BitCount != 4 && info.BitCount != 8 && info.BitCount != 24)
        throw reader.Fail(std::to_string(info.BitCount) +
                          " bits per pixel (1, 4, 8 and 24 are read)");
    if (info.Compression != 0)
        throw reader.Fail("compressed pixel data (method " + std::to_string(info.Compression) +
                          "); only uncompressed files are read");
    int64_t height = info.Height < 0 ? -int64_t{info.Height} : int64_t{info.Height};
    if (info.Width <= 0 || height == 0 || info.Width > kLargestSide || height > kLargestSide)
        throw reader.Fail("size " + std::to_string(info.Width) + " x " +
                          std::to_string(info.Height) + " (each side 1 to 32767)");
}

std::vector<PaletteEntry> ReadPalette(const Reader& reader, const InfoHeader& info,
                                      uint32_t pixelOffset) {
    if (info.BitCount == 24) return {};
    uint32_t largest = 1u << info.BitCount;
    uint32_t count = info.ColoursUsed == 0 ? largest : info.ColoursUsed;
    if (count > largest)
        throw reader.Fail("palette of " + std::to_string(count) + " entries for " +
                          std::to_string(info.BitCount) + "-bit pixels");
    size_t start = kFileHeaderSize + info.Size;
    reader.Need(start, size_t{count} * 4, "palette");
    if (start + size_t{count} * 4 > pixelOffset)
        throw reader.Fail("palette overlaps the pixel data");
    std::vector<PaletteEntry> palette(count);
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* entry = reader.At(start + size_t{i} * 4);
        palette[i] = PaletteEntry{entry[2], entry[1], entry[0]};
    }
    return palette;
}

} // namespace

Image DecodeBmp(const std::vector<uint8_t>& file, const std::string& name) {
    Reader reader(file, name);
    if (file.size() < 2 || file[0] != 'B' || file[1] != 'M')
        throw reader.Fail("it does not begin with \"BM\"");
    uint32_t pixelOffset = reader.U32(10);
    InfoHeader info = ReadInfoHeader(reader);
    CheckInfoHeader(reader, info);
    if (pixelOffset < kFileHeaderSize + info.Size)
        throw reader.Fail("pixel data begins inside the headers");

    Image image;
    image.Width = static_cast<uint32_t>(info.Width);
    image.Height = static_cast<uint32_t>(info.Height < 0 ? -info.Height : info.Height);
    image.BitsPerPixel = info.BitCount;
    image.Stride = (image.Width * image.BitsPerPixel + 31) / 32 * 4;
    image.Palette = ReadPalette(reader, info, pixelOffset);

    size_t bytes = size_t{image.Stride} * image.Height;
    reader.Need(pixelOffset, bytes, "pixel data");
    image.Pixels.resize(bytes);
    bool bottomUp = info.Height > 0;
    for (uint32_t y = 0; y < image.Height; ++y) {
        uint32_t fileRow = bottomUp ? image.Height - 1 - y : y;
        std::memcpy(image.Pixels.data() + size_t{y} * image.Stride,
                    reader.At(pixelOffset + size_t{fileRow} * image.Stride), image.Stride);
    }
    return image;
}

Image ReadBmp(const std::string& path) {
    return DecodeBmp(ReadRegularFile(path, kLargestPictureFile, "a BMP picture"), path);
}

} // namespace marlhost
