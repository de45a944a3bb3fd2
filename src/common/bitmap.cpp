// Plane bitmap operations.
#include "common/bitmap.h"

#include "core/core_services.h"
#include "platform/platform.h"

#include <utility>
#include <vector>

namespace marl {
namespace {

uint32_t RowStride(const BitmapHeader& header) {
    return static_cast<uint32_t>(header.Planes) * header.WidthBytes;
}

void ClearCursor(PlaneBitmap& bitmap) {
    bitmap.PrevRowBits = nullptr;
    bitmap.RowBits = nullptr;
    bitmap.NextRowBits = nullptr;
    bitmap.RowIndex = 0;
}

void DropHeader(PlaneBitmap& bitmap) {
    bitmap.Header = nullptr;
    ClearCursor(bitmap);
}

// Address of row y by the segmented rule: segment number in the upper 16 bits (scaled by
// SegmentIndex), offset within the segment in the lower 16 bits.
uint8_t* SegmentedRow(const BitmapHeader& header, uint32_t y) {
    uint32_t bits = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(header.Bits));
    uint32_t upper = (y / header.ScanSegment) * header.SegmentIndex + (bits >> 16);
    uint32_t lower = ((y % header.ScanSegment) * RowStride(header)) & 0xFFFF;
    return reinterpret_cast<uint8_t*>(static_cast<uintptr_t>((upper << 16) | lower));
}

uint8_t* RowAddress(const PlaneBitmap& bitmap, uint32_t y) {
    const BitmapHeader& header = *bitmap.Header;
    if (bitmap.Segmented && header.ScanSegment != 0) return SegmentedRow(header, y);
    return header.Bits + RowStride(header) * y;
}

uint8_t* PlaneOf(const PlaneBitmap& bitmap, uint8_t* row, uint32_t plane) {
    const BitmapHeader* header = bitmap.Header;
    if (header == nullptr || header->Bits == nullptr || row == nullptr) return nullptr;
    if (plane >= header->Planes) return nullptr;
    return row + plane * header->WidthBytes;
}

// Rows i and n-1-i of an 8-bit plane exchanged and reversed; `pairs` byte pairs.
void ReverseBytes(uint8_t* p, uint8_t* q, uint32_t pairs) {
    for (uint32_t i = 0; i < pairs; ++i) std::swap(*p++, *q--);
}

bool BitAt(const uint8_t* row, uint32_t x) { return (row[x / 8] >> (7 - x % 8)) & 1; }

void SetBit(uint8_t* row, uint32_t x, bool value) {
    uint8_t mask = static_cast<uint8_t>(0x80u >> (x % 8));
    row[x / 8] = value ? (row[x / 8] | mask) : (row[x / 8] & ~mask);
}

// A 1-bit plane row of `width` pixels reversed onto another (or onto itself): pixel x of
// the result is pixel width-1-x of the original, so the meaningful bits stay at the start
// of the row however many pixels the last byte holds.
void ReverseBits(uint8_t* a, uint8_t* b, uint32_t width) {
    std::vector<bool> first(width), second(width);
    for (uint32_t x = 0; x < width; ++x) {
        first[x] = BitAt(a, x);
        second[x] = BitAt(b, x);
    }
    for (uint32_t x = 0; x < width; ++x) {
        SetBit(a, x, second[width - 1 - x]);
        SetBit(b, x, first[width - 1 - x]);
    }
}

void CreateWith(PlaneBitmap& bitmap, HostAllocator* allocator, RenderDevice* device,
                uint32_t width, uint32_t height, uint32_t planes, uint32_t bitsPixel,
                uint32_t reserved, int32_t* result, uint32_t fill, uint32_t owns) {
    if (reserved != 0) {
        *result = kReservedNotZero;
        return;
    }
    width &= 0xFFFF;
    height &= 0xFFFF;
    planes &= 0xFF;
    bitsPixel &= 0xFF;
    bitmap.OwnsBits = owns;
    bitmap.Allocator = allocator;
    bitmap.BitsHandle = 0;
    bitmap.Segmented = 0;

    // Sizes that do not fit their fields would make a wrong-sized block: refuse them before
    // anything is allocated.
    uint64_t widthBytes = (static_cast<uint64_t>(bitsPixel) * width + 7) / 8;
    widthBytes = (widthBytes + 3) & ~uint64_t{3};
    uint64_t bitsSize = widthBytes * height * planes;
    if (widthBytes > 0xFFFF || bitsSize > 0xFFFFFFFFull || allocator == nullptr) {
        DropHeader(bitmap);
        *result = kBitsRefused;
        return;
    }

    void* block = nullptr;
    int32_t allocated = allocator->AllocBlock(sizeof(BitmapHeader), 0, &block,
                                              kBitmapSourceFile, kBitmapHeaderLine);
    if (allocated < 0) {
        DropHeader(bitmap);
        *result = allocated;
        return;
    }
    auto* header = static_cast<BitmapHeader*>(block);
    *header = BitmapHeader{};
    header->Width = static_cast<uint16_t>(width);
    header->Height = static_cast<uint16_t>(height);
    header->Planes = static_cast<uint8_t>(planes);
    header->BitsPixel = static_cast<uint8_t>(bitsPixel);
    header->WidthBytes = static_cast<uint16_t>(widthBytes);
    header->WidthPlanes = static_cast<uint32_t>(widthBytes * height);
    header->DeviceRef = device;
    bitmap.Header = header;

    HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE | 0x20, static_cast<SIZE_T>(bitsSize));
    if (handle == nullptr) {
        allocator->FreeBlock(header);
        DropHeader(bitmap);
        *result = kBitsRefused;
        return;
    }
    bitmap.BitsHandle = HandleValue(handle);
    header->Bits = static_cast<uint8_t*>(GlobalLock(handle));
    if (header->Bits == nullptr) {
        ClearCursor(bitmap);
        *result = kBitsRefused;
        return;
    }
    Clear(bitmap, fill);
    SelectRow(bitmap, 0);
    *result = allocated;
}

} // namespace

void Attach(PlaneBitmap& bitmap, BitmapHeader* header, int32_t* result) {
    bitmap.OwnsBits = 0;
    bitmap.BitsHandle = 0;
    bitmap.Allocator = nullptr;
    bitmap.Header = header;
    if (header == nullptr) {
        ClearCursor(bitmap);
        bitmap.Segmented = 0;
        *result = kNoHeader;
        return;
    }
    header->SegmentIndex = 0;
    header->FillBytes = 0;
    if (header->ScanSegment != 0) header->ScanSegment = header->Height;
    bitmap.Segmented = (header->ScanSegment != 0 && header->Height > header->ScanSegment) ? 1 : 0;
    SelectRow(bitmap, 0);
    *result = kBitmapDone;
}

void Create(PlaneBitmap& bitmap, HostAllocator* allocator, uint32_t width, uint32_t height,
            uint32_t planes, uint32_t bitsPixel, uint32_t reserved, int32_t* result,
            uint32_t fill, uint32_t owns) {
    CreateWith(bitmap, allocator, nullptr, width, height, planes, bitsPixel, reserved, result,
               fill, owns);
}

void Create(PlaneBitmap& bitmap, RenderDevice* device, uint32_t width, uint32_t height,
            uint32_t planes, uint32_t bitsPixel, uint32_t reserved, int32_t* result,
            uint32_t fill, uint32_t owns) {
    if (reserved != 0) {
        *result = kReservedNotZero;
        return;
    }
    CreateWith(bitmap, device ? device->Allocator : nullptr, device, width, height, planes,
               bitsPixel, reserved, result, fill, owns);
}

void Free(PlaneBitmap& bitmap) {
    if (!bitmap.OwnsBits || bitmap.Header == nullptr) return;
    if (bitmap.BitsHandle != 0) {
        HGLOBAL handle = HandleFromValue(bitmap.BitsHandle);
        GlobalUnlock(handle);
        GlobalFree(handle);
    }
    if (bitmap.Allocator != nullptr) bitmap.Allocator->FreeBlock(bitmap.Header);
}

int32_t SelectRow(PlaneBitmap& bitmap, uint32_t y) {
    if (bitmap.Header == nullptr) return kNoHeader;
    y &= 0xFFFF;
    const BitmapHeader& header = *bitmap.Header;
    if (y >= header.Height) {
        ClearCursor(bitmap);
        return kRowOutside;
    }
    bitmap.RowIndex = static_cast<uint16_t>(y);
    bitmap.RowBits = RowAddress(bitmap, y);
    bitmap.PrevRowBits = y > 0 ? RowAddress(bitmap, y - 1) : nullptr;
    bitmap.NextRowBits = y + 1 < header.Height ? RowAddress(bitmap, y + 1) : nullptr;
    return kBitmapDone;
}

int32_t NextRow(PlaneBitmap& bitmap) {
    if (bitmap.Header == nullptr) return kNoHeader;
    const BitmapHeader& header = *bitmap.Header;
    // A cleared cursor has no row to advance from; stepping would invent an address.
    if (bitmap.RowBits == nullptr) {
        ClearCursor(bitmap);
        return kRowOutside;
    }
    uint32_t next = bitmap.RowIndex + 1u;
    if (next >= header.Height) {
        ClearCursor(bitmap);
        return kRowOutside;
    }
    bitmap.RowIndex = static_cast<uint16_t>(next);
    bitmap.PrevRowBits = bitmap.RowBits;
    bitmap.RowBits = bitmap.NextRowBits;
    if (next + 1 >= header.Height) {
        bitmap.NextRowBits = nullptr;
    } else if (bitmap.Segmented && header.ScanSegment != 0 && (next + 1) % header.ScanSegment == 0) {
        uint32_t row = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(bitmap.RowBits));
        uint32_t segment = ((row >> 16) + header.SegmentIndex) << 16;
        bitmap.NextRowBits = reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(segment));
    } else {
        bitmap.NextRowBits = bitmap.RowBits + RowStride(header);
    }
    return kBitmapDone;
}

uint8_t* RowPlane(const PlaneBitmap& bitmap, uint32_t plane) {
    return PlaneOf(bitmap, bitmap.RowBits, plane & 0xFFFF);
}

uint8_t* PrevRowPlane(const PlaneBitmap& bitmap, uint32_t plane) {
    return PlaneOf(bitmap, bitmap.PrevRowBits, plane & 0xFFFF);
}

uint8_t* NextRowPlane(const PlaneBitmap& bitmap, uint32_t plane) {
    return PlaneOf(bitmap, bitmap.NextRowBits, plane & 0xFFFF);
}

int32_t Clear(PlaneBitmap& bitmap, uint32_t value) {
    if (!HasPixels(&bitmap)) return kNoHeader;
    const BitmapHeader& header = *bitmap.Header;
    uint32_t count;
    if (bitmap.Segmented && header.ScanSegment != 0) {
        count = (header.Height / header.ScanSegment) * 65536u +
                (header.Height % header.ScanSegment) * RowStride(header);
    } else {
        count = header.Planes * header.WidthPlanes;
    }
    CSSetMemory(header.Bits, count, value);
    return kBitmapDone;
}

int32_t Rotate180(PlaneBitmap& bitmap, uint32_t rows) {
    if (!HasPixels(&bitmap)) return kBitmapDone;
    const BitmapHeader& header = *bitmap.Header;
    uint32_t n = rows & 0xFFFF;
    if (n > header.Height) n = header.Height; // only the bitmap's own rows take part
    if (n == 0) return kBitmapDone;
    bool eightBit = header.BitsPixel == 8;
    uint32_t bytes = eightBit ? header.Width : (header.Width + 7u) / 8;
    uint32_t last = n / 2 - (n % 2 == 0 ? 1 : 0);
    for (uint32_t i = 0; i <= last; ++i) {
        uint32_t j = n - 1 - i;
        for (uint32_t k = 0; k < header.Planes; ++k) {
            uint8_t* p = RowAddress(bitmap, i) + k * header.WidthBytes;
            uint8_t* q = RowAddress(bitmap, j) + k * header.WidthBytes;
            if (eightBit) {
                ReverseBytes(p, q + bytes - 1, i == j ? (bytes + 1) / 2 : bytes);
            } else if (i == j) {
                std::vector<uint8_t> copy(p, p + bytes);
                ReverseBits(p, copy.data(), header.Width);
            } else {
                ReverseBits(p, q, header.Width);
            }
        }
    }
    return kBitmapDone;
}

void ClearPixel(PlaneBitmap& bitmap, uint32_t x, uint32_t y) {
    if (!HasPixels(&bitmap)) return;
    const BitmapHeader& header = *bitmap.Header;
    x &= 0xFFFF;
    y &= 0xFFFF;
    if (x >= header.Width || y >= header.Height) return;
    bool oneBit = header.BitsPixel == 1, eightBit = header.BitsPixel == 8;
    if (!((header.Planes == 1 || header.Planes == 3) && (oneBit || eightBit))) return;
    SelectRow(bitmap, y);
    for (uint32_t k = 0; k < header.Planes; ++k) {
        uint8_t* plane = RowPlane(bitmap, k);
        if (oneBit) {
            plane[x / 8] &= static_cast<uint8_t>(~(0x80u >> (x % 8)));
        } else {
            plane[x] = 0;
        }
    }
}

} // namespace marl
