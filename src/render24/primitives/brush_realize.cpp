// RPRealizeBrush: size query, realization of solid, hatched and pattern brushes, release.
//
// A brush whose pattern cannot be made for lack of memory, or whose pattern bitmap is
// missing, unreadable or too large, is refused (result 0). The record is then left as a brush
// without pattern that holds no memory, so releasing it anyway is harmless. A hatched brush
// whose hatch style or device factors have no hatch image, and a pattern brush whose pattern
// has no pixels (width or height 0, or a device factor of 0), are realized without a pattern
// and paint their own Color.
#include "render24/primitives/brush_realize.h"

#include "core/core_services.h"
#include "platform/platform.h"
#include "render24/primitives/hatch_patterns.h"
#include "render24/primitives/pattern_expand.h"

#include <cstdint>
#include <cstring>
#include <limits>

namespace marl {
namespace {

constexpr uint32_t kRefused = 0;
constexpr uint32_t kReleased = 0;
// Device pixels of the 8 x 8 brush pattern that hatch images are drawn for.
constexpr int32_t kHatchCells = 8;

bool Readable(const void* pointer, uint64_t bytes) {
    if (bytes > std::numeric_limits<int32_t>::max()) return false;
    return !IsBadReadPtr(pointer, static_cast<UINT_PTR>(bytes));
}

// A pattern block of `size` bytes from the driver, or null. A block reported as given but
// not stored counts as refused.
void* AllocatePattern(HostAllocator& allocator, uint32_t size, uint32_t line) {
    void* block = nullptr;
    if (allocator.AllocBlock(size, kRenderAllocFlags, &block, kRenderSourceFile, line) < 0)
        return nullptr;
    return block;
}

uint32_t PatternBytes(int32_t width, int32_t height) {
    return static_cast<uint32_t>(width) * static_cast<uint32_t>(height) * 3;
}

// The logical brush read once; an unreadable one stands for a solid brush of colour 0.
LogicalBrush ReadLogicalBrush(const void* in) {
    LogicalBrush brush{};
    if (Readable(in, kLogicalBrushSize)) std::memcpy(&brush, in, sizeof brush);
    return brush;
}

// The brush's colour: the low 32 bits of Color, which in the 64-bit edition is as wide as a
// pointer so that it can carry a pattern header's address instead.
uint32_t ColorOf(const LogicalBrush& brush) { return static_cast<uint32_t>(brush.Color); }

void FillRecord(RealizedBrush& out, const LogicalBrush& brush, uint32_t origin,
                uint32_t backColor) {
    out.Style = brush.Style;
    out.Color = ColorOf(brush);
    out.Hatch = brush.Hatch;
    out.BackColor = backColor;
    out.OriginX = static_cast<int16_t>(origin & 0xFFFF);
    out.OriginY = static_cast<int16_t>(origin >> 16);
    out.Width = 0;
    out.Height = 0;
    out.Bits = nullptr;
    out.MonoSource = nullptr;
}

void AttachPattern(RealizedBrush& out, int32_t width, int32_t height, uint8_t* bits) {
    out.Width = static_cast<int16_t>(width);
    out.Height = static_cast<int16_t>(height);
    out.Bits = bits;
}

uint32_t RealizeHatch(RealizedBrush& out, HostAllocator* allocator, int32_t xFactor,
                      int32_t yFactor) {
    const int32_t width = xFactor * kHatchCells;
    const int32_t height = yFactor * kHatchCells;
    const uint8_t* table = SelectHatchPattern(out.Hatch, height, width);
    if (table == nullptr) return kRealizedBrushSize;
    if (allocator == nullptr) return kRefused;
    auto* bits = static_cast<uint8_t*>(
        AllocatePattern(*allocator, PatternBytes(width, height), kHatchPatternLine));
    if (bits == nullptr) return kRefused;
    ExpandHatch(height, width, table, out, bits);
    AttachPattern(out, width, height, bits);
    return kRealizedBrushSize;
}

// Bytes one row of one plane needs for the header's width.
uint32_t PlaneRowBytes(const BitmapHeader& header) {
    return (uint32_t{header.Width} * header.BitsPixel + 7) / 8;
}

// The pattern bitmap can be expanded: its enlarged size fits the brush record, its rows are
// as wide as its width needs, and every byte of its image can be read.
bool PatternUsable(const BitmapHeader& header, int32_t xFactor, int32_t yFactor) {
    if (!PatternSizeFits(header.Width, header.Height, xFactor, yFactor)) return false;
    if (header.WidthBytes < PlaneRowBytes(header)) return false;
    const uint64_t image = uint64_t{header.Planes} * header.WidthBytes * header.Height;
    return header.Bits != nullptr && Readable(header.Bits, image);
}

// Colours come as three plane samples: bytes 0, 1 and 2 of the colour value.
uint8_t Sample(uint32_t color, uint32_t plane) {
    return static_cast<uint8_t>(color >> (8 * plane));
}

void ExpandPatternBitmap(const BitmapHeader& header, uint8_t* bits, int32_t xFactor,
                         int32_t yFactor, uint32_t foreColor, uint32_t backColor) {
    const int32_t width = header.Width;
    const int32_t height = header.Height;
    const int32_t widthBytes = header.WidthBytes;
    const bool eightBit = header.BitsPixel == 8;
    if (eightBit && header.Planes == 3 && widthBytes == width) {
        ExpandColorPattern(header.Bits, bits, width, height, xFactor, yFactor);
    } else if (eightBit && header.Planes == 3) {
        ExpandPaddedColorPattern(header.Bits, bits, width, height, widthBytes, xFactor, yFactor);
    } else if (eightBit) {
        ExpandGreyPattern(header.Bits, bits, width, height, widthBytes, xFactor, yFactor);
    } else if (header.Planes == 3) {
        ExpandPlanarMonoPattern(header.Bits, bits, width, height, widthBytes, xFactor, yFactor);
    } else {
        ExpandMonoPattern(header.Bits, bits, width, height, widthBytes, xFactor, yFactor,
                          Sample(foreColor, 0), Sample(foreColor, 1), Sample(foreColor, 2),
                          Sample(backColor, 0), Sample(backColor, 1), Sample(backColor, 2));
    }
}

// The pattern bitmap of a brush, held for the length of one realization: a handle it had to
// lock is unlocked again however the realization ends.
class HeldPatternBitmap {
public:
    explicit HeldPatternBitmap(const LogicalBrush& brush) : Handle(brush.Hatch) {
        Header = LockPatternBitmap(&brush, &Locked);
    }
    ~HeldPatternBitmap() {
        if (Locked) GlobalUnlock(HandleFromValue(Handle));
    }
    HeldPatternBitmap(const HeldPatternBitmap&) = delete;
    HeldPatternBitmap& operator=(const HeldPatternBitmap&) = delete;

    const BitmapHeader* Found() const { return Header; }

private:
    uint32_t Handle;
    uint16_t Locked = 0;
    const BitmapHeader* Header = nullptr;
};

// A pattern of no pixels (a bitmap of width or height 0, or a device factor of 0) expands to
// nothing: the brush is realized without a pattern and paints its Color, and nothing is
// allocated or read.
bool PatternIsEmpty(const BitmapHeader& header, int32_t xFactor, int32_t yFactor) {
    return header.Width == 0 || header.Height == 0 || xFactor == 0 || yFactor == 0;
}

uint32_t RealizePattern(RealizedBrush& out, const LogicalBrush& brush, HostAllocator* allocator,
                        int32_t xFactor, int32_t yFactor, uint32_t backColor) {
    HeldPatternBitmap held(brush);
    if (held.Found() == nullptr) return kRefused;
    const BitmapHeader header = *held.Found();
    if (PatternIsEmpty(header, xFactor, yFactor)) return kRealizedBrushSize;
    if (allocator == nullptr || !PatternUsable(header, xFactor, yFactor)) return kRefused;
    const int32_t width = header.Width * xFactor;
    const int32_t height = header.Height * yFactor;
    auto* bits = static_cast<uint8_t*>(
        AllocatePattern(*allocator, PatternBytes(width, height), kPatternBrushLine));
    if (bits == nullptr) return kRefused;
    if (header.Planes == 1 && header.BitsPixel == 1) {
        MonoPattern* mono = MakeMonoPattern(*allocator, header, ColorOf(brush), backColor);
        if (mono == nullptr) {
            allocator->FreeBlock(bits);
            return kRefused;
        }
        out.MonoSource = mono;
    }
    ExpandPatternBitmap(header, bits, xFactor, yFactor, ColorOf(brush), backColor);
    AttachPattern(out, width, height, bits);
    return kRealizedBrushSize;
}

uint32_t Realize(RenderDevice* device, const LogicalBrush& brush, RealizedBrush& out,
                 uint32_t origin, uint32_t xFactor, uint32_t yFactor, uint32_t backColor) {
    FillRecord(out, brush, origin, backColor);
    HostAllocator* allocator = device->Allocator;
    const auto horizontal = static_cast<int32_t>(xFactor & 0xFF);
    const auto vertical = static_cast<int32_t>(yFactor & 0xFF);
    switch (brush.Style) {
    case kHatchedStyle: return RealizeHatch(out, allocator, horizontal, vertical);
    case kPatternStyle:
        return RealizePattern(out, brush, allocator, horizontal, vertical, backColor);
    default: return kRealizedBrushSize;
    }
}

// Gives a brush's pattern memory back. Width and Height go to 0 with Bits, so that a
// released record describes a brush without pattern rather than a pattern at address 0.
uint32_t Release(RenderDevice* device, void* in) {
    if (!Readable(in, kRealizedBrushSize) || !Readable(device, kDeviceRecordSize)) return kReleased;
    auto* brush = static_cast<RealizedBrush*>(in);
    if (brush->Width <= 0 && brush->Height <= 0) return kReleased;
    HostAllocator* allocator = device->Allocator;
    if (allocator == nullptr) return kReleased;
    if (uint8_t* bits = brush->Bits) allocator->FreeBlock(bits);
    brush->Bits = nullptr;
    brush->Width = 0;
    brush->Height = 0;
    if (MonoPattern* mono = brush->MonoSource) allocator->FreeBlock(mono);
    brush->MonoSource = nullptr;
    return kReleased;
}

} // namespace

bool IsAcceptedPatternFormat(const BitmapHeader& header) {
    const bool depth = header.BitsPixel == 1 || header.BitsPixel == 8;
    const bool planes = header.Planes == 1 || header.Planes == 3;
    return depth && planes;
}

const BitmapHeader* LockPatternBitmap(const LogicalBrush* in, uint16_t* locked) {
    *locked = 0;
    const auto* direct = reinterpret_cast<const BitmapHeader*>(static_cast<uintptr_t>(in->Color));
    if (Readable(direct, kBitmapHeaderSize) && IsAcceptedPatternFormat(*direct)) return direct;
    if (in->Hatch == 0) return nullptr;
    // Only a lock that was granted is recorded: unlocking a handle this call did not lock
    // would take away a lock its owner holds.
    const auto* held = static_cast<const BitmapHeader*>(GlobalLock(HandleFromValue(in->Hatch)));
    if (held == nullptr) return nullptr;
    *locked = 1;
    if (Readable(held, kBitmapHeaderSize) && IsAcceptedPatternFormat(*held)) return held;
    return nullptr;
}

MonoPattern* MakeMonoPattern(HostAllocator& allocator, const BitmapHeader& header,
                             uint32_t foreColor, uint32_t backColor) {
    const uint32_t rows = uint32_t{header.Height} * header.WidthBytes;
    auto* mono = static_cast<MonoPattern*>(
        AllocatePattern(allocator, kMonoPatternHeaderSize + rows, kMonoSourceLine));
    if (mono == nullptr) return nullptr;
    mono->ForeColor = foreColor;
    mono->BackColor = backColor;
    mono->Width = header.Width;
    mono->Height = header.Height;
    mono->WidthBytes = header.WidthBytes;
    CSCopyMemory(header.Bits, MonoPatternRows(mono), rows);
    return mono;
}

} // namespace marl

uint32_t RPRealizeBrush(RenderDevice* device, void* in, RealizedBrush* out, uint32_t origin,
                        uint32_t xFactor, uint32_t yFactor, uint32_t /*spare*/,
                        uint32_t backColor) {
    using namespace marl;
    if (out == nullptr) return in == nullptr ? kRealizedBrushSize : Release(device, in);
    if (in == nullptr) return kRefused;
    const LogicalBrush brush = ReadLogicalBrush(in);
    if (!Readable(device, kDeviceRecordSize) || !Readable(out, kRealizedBrushSize)) return kRefused;
    return Realize(device, brush, *out, origin, xFactor, yFactor, backColor);
}
