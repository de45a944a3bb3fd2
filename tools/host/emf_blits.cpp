#include "host/emf_blits.h"

#include <uemf.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace marlhost {

namespace {

constexpr uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3;

uint32_t ReadU32(const char* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

int LowestBit(uint32_t mask) {
    int shift = 0;
    while (shift < 32 && ((mask >> shift) & 1u) == 0)
        ++shift;
    return shift;
}

uint8_t MaskedSample(uint32_t value, uint32_t mask) {
    if (mask == 0) return 0;
    int shift = LowestBit(mask);
    uint32_t top = mask >> shift;
    return static_cast<uint8_t>(((value & mask) >> shift) * 255u / top);
}

} // namespace

DibResult DecodeDib(const char* record, uint32_t recordSize, const DibLocation& where, Dib& out,
                    std::string& why) {
    if (where.CbBmi < sizeof(U_BITMAPINFOHEADER) || where.OffBmi > recordSize ||
        where.CbBmi > recordSize - where.OffBmi || where.OffBits > recordSize ||
        where.CbBits > recordSize - where.OffBits) {
        why = "its bitmap lies outside the record";
        return DibResult::Malformed;
    }
    U_BITMAPINFOHEADER h;
    std::memcpy(&h, record + where.OffBmi, sizeof h);
    if (h.biSize < sizeof h || h.biSize > where.CbBmi || h.biWidth <= 0 || h.biHeight == 0 ||
        h.biHeight == INT32_MIN) {
        why = "its bitmap header is malformed";
        return DibResult::Malformed;
    }
    if (h.biCompression == kBiRle8 || h.biCompression == kBiRle4 ||
        (h.biCompression != kBiRgb && h.biCompression != kBiBitfields)) {
        why = "its bitmap is compressed (" + std::to_string(h.biCompression) + ")";
        return DibResult::Unsupported;
    }
    uint32_t bits = h.biBitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
        why = "its bitmap has " + std::to_string(bits) + " bits per pixel";
        return DibResult::Unsupported;
    }
    uint32_t width = static_cast<uint32_t>(h.biWidth);
    uint32_t height = static_cast<uint32_t>(std::abs(h.biHeight));
    uint64_t stride = (uint64_t{width} * bits + 31) / 32 * 4;
    if (stride * height > where.CbBits) {
        why = "its bitmap needs " + std::to_string(stride * height) + " bytes and has " +
              std::to_string(where.CbBits);
        return DibResult::Malformed;
    }
    // The colour table follows the header inside the bitmap info.
    std::vector<PaletteEntry> palette;
    uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
    if (bits == 32) {
        masks[0] = 0xFF0000;
        masks[1] = 0xFF00;
        masks[2] = 0xFF;
    }
    const char* table = record + where.OffBmi + h.biSize;
    uint32_t tableBytes = where.CbBmi - h.biSize;
    if (bits <= 8) {
        uint32_t colours = h.biClrUsed != 0 ? std::min<uint32_t>(h.biClrUsed, 1u << bits)
                                            : 1u << bits;
        uint32_t entry = where.Usage == 1 ? 2 : 4;
        for (uint32_t i = 0; i < colours && (i + 1) * entry <= tableBytes; ++i) {
            PaletteEntry e;
            if (where.Usage == 1) {
                // Indices into a logical palette the host does not keep: read them as grey.
                uint16_t index;
                std::memcpy(&index, table + i * 2, 2);
                e.Red = e.Green = e.Blue = static_cast<uint8_t>(index);
            } else {
                e.Blue = static_cast<uint8_t>(table[4 * i]);
                e.Green = static_cast<uint8_t>(table[4 * i + 1]);
                e.Red = static_cast<uint8_t>(table[4 * i + 2]);
            }
            palette.push_back(e);
        }
    } else if (h.biCompression == kBiBitfields) {
        if (tableBytes < 12 && h.biSize < 52) {
            why = "its bitmap's colour masks are missing";
            return DibResult::Malformed;
        }
        const char* m = h.biSize >= 52 ? record + where.OffBmi + 40 : table;
        for (int i = 0; i < 3; ++i)
            masks[i] = ReadU32(m + 4 * i);
    }
    out = Dib{};
    out.Width = width;
    out.Height = height;
    out.Rgb.assign(size_t{width} * height * 3, 0);
    const auto* pixels = reinterpret_cast<const uint8_t*>(record + where.OffBits);
    bool bottomUp = h.biHeight > 0;
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = pixels + stride * (bottomUp ? height - 1 - y : y);
        uint8_t* to = out.Rgb.data() + size_t{y} * width * 3;
        for (uint32_t x = 0; x < width; ++x, to += 3) {
            if (bits <= 8) {
                uint32_t index = bits == 8   ? row[x]
                                 : bits == 4 ? (row[x / 2] >> (x % 2 ? 0 : 4)) & 15u
                                             : (row[x / 8] >> (7 - x % 8)) & 1u;
                PaletteEntry e = index < palette.size() ? palette[index] : PaletteEntry{};
                to[0] = e.Red;
                to[1] = e.Green;
                to[2] = e.Blue;
            } else if (bits == 24) {
                to[0] = row[3 * x + 2];
                to[1] = row[3 * x + 1];
                to[2] = row[3 * x];
            } else {
                uint32_t value = bits == 16 ? uint32_t{row[2 * x]} | uint32_t{row[2 * x + 1]} << 8
                                            : ReadU32(reinterpret_cast<const char*>(row + 4 * x));
                to[0] = MaskedSample(value, masks[0]);
                to[1] = MaskedSample(value, masks[1]);
                to[2] = MaskedSample(value, masks[2]);
            }
        }
    }
    if (bits == 1) {
        out.Mono = true;
        for (uint32_t i = 0; i < 2; ++i)
            out.MonoColours[i] = i < palette.size() ? palette[i] : PaletteEntry{};
    }
    return DibResult::Decoded;
}

Image DibToImage(const Dib& dib) {
    Image image;
    image.Width = dib.Width;
    image.Height = dib.Height;
    if (dib.Mono) {
        image.BitsPerPixel = 1;
        image.Stride = (dib.Width + 7) / 8;
        image.Pixels.assign(size_t{image.Stride} * dib.Height, 0);
        image.Palette = {dib.MonoColours[0], dib.MonoColours[1]};
        const PaletteEntry& one = dib.MonoColours[1];
        for (uint32_t y = 0; y < dib.Height; ++y)
            for (uint32_t x = 0; x < dib.Width; ++x) {
                const uint8_t* p = dib.Pixel(x, y);
                bool set = p[0] == one.Red && p[1] == one.Green && p[2] == one.Blue;
                if (set) image.Pixels[size_t{y} * image.Stride + x / 8] |= uint8_t(0x80 >> (x % 8));
            }
        return image;
    }
    image.BitsPerPixel = 24;
    image.Stride = dib.Width * 3;
    image.Pixels.resize(dib.Rgb.size());
    for (size_t i = 0; i < dib.Rgb.size(); i += 3) {
        image.Pixels[i] = dib.Rgb[i + 2];
        image.Pixels[i + 1] = dib.Rgb[i + 1];
        image.Pixels[i + 2] = dib.Rgb[i];
    }
    return image;
}

LibrarySource StretchPart(const Dib& dib, const RectF& source, const RectF& dest, int32_t left,
                          int32_t top, int32_t right, int32_t bottom) {
    LibrarySource out;
    uint32_t width = static_cast<uint32_t>(std::max(right - left, 0));
    uint32_t height = static_cast<uint32_t>(std::max(bottom - top, 0));
    out.Width = static_cast<uint16_t>(width);
    out.Height = static_cast<uint16_t>(height);
    out.Planes = 3;
    out.BitsPixel = 8;
    out.WidthBytes = static_cast<uint16_t>((width * 8 + 31) / 32 * 4);
    out.Bits.assign(size_t{3} * out.WidthBytes * height, 0xFF);
    if (dest.Width == 0 || dest.Height == 0) return out;
    // Each picture column's source column, computed once.
    std::vector<int64_t> columns(width);
    for (uint32_t i = 0; i < width; ++i) {
        double t = (left + i + 0.5 - dest.X) / dest.Width;
        columns[i] = static_cast<int64_t>(std::floor(source.X + t * source.Width));
    }
    for (uint32_t j = 0; j < height; ++j) {
        double t = (top + j + 0.5 - dest.Y) / dest.Height;
        int64_t sy = static_cast<int64_t>(std::floor(source.Y + t * source.Height));
        if (sy < 0 || sy >= int64_t{dib.Height}) continue;
        uint8_t* row = out.Bits.data() + size_t{3} * out.WidthBytes * j;
        for (uint32_t i = 0; i < width; ++i) {
            int64_t sx = columns[i];
            if (sx < 0 || sx >= int64_t{dib.Width}) continue;
            const uint8_t* p = dib.Pixel(static_cast<uint32_t>(sx), static_cast<uint32_t>(sy));
            row[i] = p[0];
            row[out.WidthBytes + i] = p[1];
            row[2 * size_t{out.WidthBytes} + i] = p[2];
        }
    }
    return out;
}

} // namespace marlhost
