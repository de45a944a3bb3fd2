#if defined(MARL_HOST_TESTS)
#include "host/reference_table.h"

#include "host/slice_walker.h"
#include "platform/platform.h"
#include "render24/blit/serial/rop_names.h"
#include "support/edition.h"

#include <algorithm>
#include <cstring>

namespace marlhosttest {

namespace {

constexpr const char* kRenderFile = "r:\\platf\\src\\render24\\render24";

bool IsPatternDest(uint8_t code) { return ((code >> 2) & 0x33) == (code & 0x33); }

// Evaluates a code's name on one plane's samples; xorBits picks the bitwise exclusive or of
// block transfers instead of the distance of the pixel, line and span primitives.
uint8_t Evaluate(uint8_t code, uint8_t p, uint8_t s, uint8_t d, bool xorBits) {
    bool complement = code >= 0x80;
    const char* name = marl::RopNameTable[complement ? 255 - code : code];
    uint8_t stack[16];
    int top = 0;
    for (const char* c = name; *c; ++c) {
        switch (*c) {
        case 'P': stack[top++] = p; break;
        case 'S': stack[top++] = s; break;
        case 'D': stack[top++] = d; break;
        case '0': stack[top++] = 0; break;
        case 'n': stack[top - 1] = static_cast<uint8_t>(255 - stack[top - 1]); break;
        default: {
            uint8_t b = stack[--top], a = stack[--top];
            if (*c == 'a')
                stack[top++] = std::min(a, b);
            else if (*c == 'o')
                stack[top++] = std::max(a, b);
            else
                stack[top++] = xorBits ? static_cast<uint8_t>(a ^ b)
                                       : static_cast<uint8_t>(a > b ? a - b : b - a);
        }
        }
    }
    return complement ? static_cast<uint8_t>(255 - stack[0]) : stack[0];
}

uint8_t Sample(uint32_t colour, unsigned plane) {
    return static_cast<uint8_t>(colour >> (8 * plane));
}

struct Destination {
    BitmapHeader* Header;
    bool Contains(int32_t x, int32_t y) const {
        return Header && Header->Bits && x >= 0 && y >= 0 && x < Header->Width &&
               y < Header->Height;
    }
    uint8_t& At(int32_t x, int32_t y, unsigned plane) const {
        return Header->Bits[(size_t{3} * y + plane) * Header->WidthBytes + x];
    }
};

Destination SurfaceOf(RenderDevice* device) { return {device->Surface->Header}; }

void Combine(const Destination& dst, int32_t x, int32_t y, uint8_t code, uint8_t p0, uint8_t p1,
             uint8_t p2) {
    if (!dst.Contains(x, y) || code == 0xAA) return;
    uint8_t p[3] = {p0, p1, p2};
    for (unsigned k = 0; k < 3; ++k)
        dst.At(x, y, k) = Evaluate(code, p[k], 0, dst.At(x, y, k), false);
}

int32_t Mod(int32_t a, int32_t b) {
    int32_t r = a % b;
    return r < 0 ? r + b : r;
}

uint32_t Pixel(RenderDevice* device, uint32_t, uint32_t x, uint32_t y, uint32_t colour,
               uint32_t code) {
    auto rop = static_cast<uint8_t>(code);
    if (!IsPatternDest(rop)) return 1;
    Combine(SurfaceOf(device), static_cast<uint16_t>(x), static_cast<uint16_t>(y), rop,
            Sample(colour, 0), Sample(colour, 1), Sample(colour, 2));
    return 0;
}

uint32_t DrawLine(RenderDevice* device, uint32_t, const RunSliceLine* line, uint32_t, uint32_t,
                  uint32_t code, uint32_t colour) {
    auto rop = static_cast<uint8_t>(code);
    Destination dst = SurfaceOf(device);
    if (!IsPatternDest(rop) || !dst.Contains(line->StartX, line->StartY)) return 0;
    WalkRunSlices(*line, dst.Header->Width, dst.Header->Height, [&](int32_t x, int32_t y) {
        Combine(dst, x, y, rop, Sample(colour, 0), Sample(colour, 1), Sample(colour, 2));
    });
    return 0;
}

uint8_t PatternSample(const RealizedBrush& brush, int32_t x, int32_t y, unsigned plane) {
    int32_t row = Mod(y - brush.OriginY, brush.Height);
    int32_t column = Mod(x - brush.OriginX, brush.Width);
    return brush.Bits[size_t{3} * brush.Width * row + plane * brush.Width + column];
}

uint32_t FillScanRows(RenderDevice* device, uint32_t, uint32_t count, const ScanSpan* spans,
                      RealizedBrush* brush, uint32_t, uint32_t, uint32_t code) {
    auto rop = static_cast<uint8_t>(code);
    Destination dst = SurfaceOf(device);
    bool pattern = brush && brush->Width > 0 && brush->Height > 0 && brush->Bits;
    uint32_t solid = 0;
    if (brush) solid = brush->Color;
    for (uint32_t i = 0; i < (count & 0xFFFF); ++i)
        for (int32_t x = spans[i].Left; x < spans[i].Right; ++x) {
            int32_t y = spans[i].Y;
            if (pattern)
                Combine(dst, x, y, rop, PatternSample(*brush, x, y, 0),
                        PatternSample(*brush, x, y, 1), PatternSample(*brush, x, y, 2));
            else
                Combine(dst, x, y, rop, Sample(solid, 0), Sample(solid, 1), Sample(solid, 2));
        }
    return 0;
}

bool HatchBit(uint32_t hatch, int32_t rows, int32_t columns, int32_t r, int32_t x) {
    int32_t k = columns / rows;
    bool horizontal = r == 0, vertical = x == 0;
    bool down = x >= r * k && x <= r * k + k - 1;
    bool up = x >= columns - 1 - (r * k + k - 1) && x <= columns - 1 - r * k;
    switch (hatch) {
    case 0: return horizontal;
    case 1: return vertical;
    case 2: return down;
    case 3: return up;
    case 4: return horizontal || vertical;
    default: return down || up;
    }
}

void* Allocate(RenderDevice* device, uint32_t size, uint32_t line) {
    void* block = nullptr;
    return device->Allocator->AllocBlock(size, 1, &block, kRenderFile, line) >= 0 ? block : nullptr;
}

void Put(uint8_t* bits, int32_t width, int32_t x, int32_t y, uint32_t colour) {
    for (unsigned k = 0; k < 3; ++k)
        bits[size_t{3} * width * y + k * width + x] = Sample(colour, k);
}

void ExpandMono(const uint8_t* rows, uint32_t widthBytes, int32_t width, int32_t height, int32_t xf,
                int32_t yf, uint32_t fore, uint32_t back, uint8_t* bits) {
    for (int32_t y = 0; y < height * yf; ++y)
        for (int32_t x = 0; x < width * xf; ++x) {
            int32_t sx = x / xf, sy = y / yf;
            bool set = (rows[size_t{widthBytes} * sy + sx / 8] >> (7 - sx % 8)) & 1;
            Put(bits, width * xf, x, y, set ? fore : back);
        }
}

const BitmapHeader* PatternHeader(const LogicalBrush& logical) {
    auto accepted = [](const BitmapHeader* h) {
        return (h->BitsPixel == 1 && (h->Planes == 1 || h->Planes == 3)) ||
               (h->BitsPixel == 8 && (h->Planes == 1 || h->Planes == 3));
    };
    auto* direct = reinterpret_cast<const BitmapHeader*>(static_cast<uintptr_t>(logical.Color));
    if (!IsBadReadPtr(direct, 32) && accepted(direct)) return direct;
    if (logical.Hatch == 0) return nullptr;
    auto* locked = static_cast<const BitmapHeader*>(GlobalLock(HandleFromValue(logical.Hatch)));
    if (locked) GlobalUnlock(HandleFromValue(logical.Hatch));
    return locked && accepted(locked) ? locked : nullptr;
}

void RealizePattern(RenderDevice* device, const LogicalBrush& logical, RealizedBrush& out,
                    int32_t xf, int32_t yf) {
    const BitmapHeader* header = PatternHeader(logical);
    if (!header) return;
    out.Width = static_cast<int16_t>(header->Width * xf);
    out.Height = static_cast<int16_t>(header->Height * yf);
    out.Bits = static_cast<uint8_t*>(Allocate(device, uint32_t(out.Width) * out.Height * 3, 860));
    if (header->Planes == 3 && header->BitsPixel == 8) {
        int32_t w = header->Width;
        for (int32_t y = 0; y < out.Height; ++y)
            for (int32_t x = 0; x < out.Width; ++x)
                for (unsigned k = 0; k < 3; ++k)
                    out.Bits[size_t{3} * out.Width * y + k * out.Width + x] =
                        header->Bits[size_t{3} * w * (y / yf) + k * w + x / xf];
    } else if (header->Planes == 1 && header->BitsPixel == 1) {
        uint32_t n = uint32_t{header->Height} * header->WidthBytes;
        auto* mono = static_cast<MonoPattern*>(Allocate(device, n + 14, 891));
        mono->ForeColor = logical.Color;
        mono->BackColor = out.BackColor;
        mono->Width = header->Width;
        mono->Height = header->Height;
        mono->WidthBytes = header->WidthBytes;
        std::memcpy(reinterpret_cast<uint8_t*>(mono) + 14, header->Bits, n);
        out.MonoSource = mono;
        ExpandMono(header->Bits, header->WidthBytes, header->Width, header->Height, xf, yf,
                   logical.Color, out.BackColor, out.Bits);
    }
}

uint32_t RealizeBrush(RenderDevice* device, void* in, RealizedBrush* out, uint32_t origin,
                      uint32_t xFactor, uint32_t yFactor, uint32_t, uint32_t backColor) {
    if (!out) {
        if (!in) return marltest::kRealizedBrushBytes;
        auto* brush = static_cast<RealizedBrush*>(in);
        if (brush->Width > 0 || brush->Height > 0) {
            device->Allocator->FreeBlock(brush->Bits);
            brush->Bits = nullptr;
            if (brush->MonoSource) device->Allocator->FreeBlock(brush->MonoSource);
            brush->MonoSource = nullptr;
        }
        return 0;
    }
    if (!in) return 0;
    LogicalBrush logical;
    std::memcpy(&logical, in, sizeof logical);
    *out = RealizedBrush{};
    out->Style = logical.Style;
    out->Color = static_cast<uint32_t>(logical.Color);
    out->Hatch = logical.Hatch;
    out->BackColor = backColor;
    out->OriginX = static_cast<int16_t>(origin & 0xFFFF);
    out->OriginY = static_cast<int16_t>(origin >> 16);
    int32_t xf = static_cast<uint8_t>(xFactor), yf = static_cast<uint8_t>(yFactor);
    if (logical.Style == 2) {
        out->Width = static_cast<int16_t>(8 * xf);
        out->Height = static_cast<int16_t>(8 * yf);
        out->Bits =
            static_cast<uint8_t*>(Allocate(device, uint32_t(out->Width) * out->Height * 3, 821));
        for (int32_t r = 0; r < out->Height; ++r)
            for (int32_t x = 0; x < out->Width; ++x)
                Put(out->Bits, out->Width, x, r,
                    HatchBit(logical.Hatch, out->Height, out->Width, r, x) ? logical.Color
                                                                           : backColor);
    } else if (logical.Style == 3) {
        RealizePattern(device, logical, *out, xf, yf);
    }
    return marltest::kRealizedBrushBytes;
}

// What one block transfer reads for S at pixel i of a source row.
struct SourceReader {
    const BitmapHeader* Header = nullptr;
    uint32_t Depth = 0;
    bool Mono = false;
    uint32_t Phase = 0;
    const uint8_t* Palette = nullptr;
    uint32_t Text = 0, Back = 0;

    uint32_t Colour(uint32_t row, uint32_t i) const {
        const uint8_t* bits = Header->Bits + size_t{row} * Header->Planes * Header->WidthBytes;
        if (Depth == 24)
            return uint32_t{bits[i]} | uint32_t{bits[Header->WidthBytes + i]} << 8 |
                   uint32_t{bits[2 * Header->WidthBytes + i]} << 16;
        if (Depth == 1) {
            uint32_t bit = (Mono ? Phase : 0) + i;
            return ((bits[bit / 8] >> (7 - bit % 8)) & 1) ? Back : Text;
        }
        uint32_t index = Depth == 8 ? bits[i] : (bits[i / 2] >> (i % 2 == 0 ? 4 : 0)) & 15;
        if (!Palette) return index | index << 8 | index << 16;
        return uint32_t{Palette[3 * index + 2]} | uint32_t{Palette[3 * index + 1]} << 8 |
               uint32_t{Palette[3 * index]} << 16;
    }
};

uint32_t BitBlt(RenderDevice*, BitmapHeader* destination, uint32_t x16, uint32_t y16,
                uint32_t width16, uint32_t height16, BitmapHeader* source, uint32_t rop32,
                RealizedBrush* brush, const DrawColors* colors, uint32_t, const uint8_t* palette,
                uint32_t monoExpand) {
    int32_t x = static_cast<uint16_t>(x16), y = static_cast<uint16_t>(y16);
    int32_t width = static_cast<uint16_t>(width16), height = static_cast<uint16_t>(height16);
    auto rop = static_cast<uint8_t>(rop32);
    SourceReader reader;
    reader.Text = colors->TextColor;
    reader.Back = colors->BackColor;
    if ((reader.Text | reader.Back) & 0xFE000000u) {
        reader.Text = colors->LogicalTextColor;
        reader.Back = colors->LogicalBackColor;
    }
    if (rop == 0xCC) brush = nullptr;
    int32_t sourceWidth = width, sourceHeight = height;
    if (source) {
        reader.Header = source;
        reader.Depth = uint32_t{source->Planes} * source->BitsPixel;
        sourceWidth = source->Width;
        sourceHeight = source->Height;
        if (reader.Depth == 1 && palette) {
            reader.Text = uint32_t{palette[0]} << 16 | uint32_t{palette[1]} << 8 | palette[2];
            reader.Back = uint32_t{palette[3]} << 16 | uint32_t{palette[4]} << 8 | palette[5];
        }
        reader.Mono = reader.Depth == 1 && (monoExpand & 0xFFFF) != 0;
        reader.Phase = monoExpand & 7;
        reader.Palette = palette;
    }
    int32_t w = destination->Width, h = destination->Height;
    if (w < x || h < y) return 0;
    int32_t right = std::min(std::max(x + std::min(sourceWidth - 1, width), 0), w - 1);
    int32_t bottom = std::min(std::max(y + std::min(sourceHeight - 1, height), 0), h - 1);
    if (right < x || bottom < y) return 0;

    bool pattern = brush && brush->Width > 0 && brush->Height > 0;
    uint32_t solid = colors->TextColor;
    if (solid & 0xFE000000u) solid = colors->LogicalTextColor;
    if (brush) solid = brush->Color;
    if (pattern && brush->MonoSource &&
        (brush->MonoSource->ForeColor != reader.Text ||
         brush->MonoSource->BackColor != reader.Back)) {
        MonoPattern* mono = brush->MonoSource;
        ExpandMono(reinterpret_cast<const uint8_t*>(mono) + 14, mono->WidthBytes, mono->Width,
                   mono->Height, brush->Width / mono->Width, brush->Height / mono->Height,
                   reader.Text, reader.Back, brush->Bits);
        mono->ForeColor = reader.Text;
        mono->BackColor = reader.Back;
    }
    Destination dst{destination};
    for (int32_t r = y; r <= bottom; ++r)
        for (int32_t c = x; c <= right; ++c) {
            uint32_t s =
                source ? reader.Colour(static_cast<uint32_t>(r - y), static_cast<uint32_t>(c - x))
                       : 0;
            for (unsigned k = 0; k < 3; ++k) {
                uint8_t p = pattern ? PatternSample(*brush, c, r, k) : Sample(solid, k);
                dst.At(c, r, k) = Evaluate(rop, p, Sample(s, k), dst.At(c, r, k), true);
            }
        }
    return 0;
}

uint32_t StretchDIBits(...) { return 1; }

} // namespace

const CapabilityTable& ReferenceTable() {
    static const CapabilityTable table = [] {
        CapabilityTable filled{};
        filled.RealizeBrush = &RealizeBrush;
        filled.Pixel = &Pixel;
        filled.DrawLine = &DrawLine;
        filled.FillScanRows = &FillScanRows;
        filled.BitBlt = &BitBlt;
        filled.StretchDIBits = &StretchDIBits;
        return filled;
    }();
    return table;
}

} // namespace marlhosttest
#endif
