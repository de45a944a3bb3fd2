// Plane bitmap operations.
#include "common/bitmap.h"

#include "core/core_services.h"
#include "platform/platform.h"

#include <array>
#include <utility>

namespace marl {
namespace {

// GlobalAlloc flags for the bits: moveable, zero-initialised.
constexpr UINT kBitsAllocFlags = 34;
constexpr uint32_t kSegmentBytes = 65536;

uint32_t RowStride(const BitmapHeader& header) {
    return static_cast<uint32_t>(header.Planes) * header.WidthBytes;
}

void StoreResult(int32_t* result, int32_t code) {
    if (result != nullptr) *result = code;
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

// Addresses as pointer-wide words: 32 bits in the 32-bit edition, where they wrap as the
// driver's own 32-bit arithmetic does, and 64 bits in the 64-bit edition.
uintptr_t AddressValue(const uint8_t* address) { return reinterpret_cast<uintptr_t>(address); }

uint8_t* AddressOf(uintptr_t value) { return reinterpret_cast<uint8_t*>(value); }

bool IsSegmented(const PlaneBitmap& bitmap) {
    return bitmap.Segmented != 0 && bitmap.Header->ScanSegment != 0;
}

// Address of row y by the segmented rule: segment number in the upper 16 bits (scaled by
// SegmentIndex), offset within the segment in the lower 16 bits.
uint8_t* SegmentedRow(const BitmapHeader& header, uint32_t y) {
    uintptr_t upper =
        (y / header.ScanSegment) * header.SegmentIndex + (AddressValue(header.Bits) >> 16);
    uintptr_t lower = ((y % header.ScanSegment) * RowStride(header)) & 0xFFFF;
    return AddressOf((upper << 16) | lower);
}

// First address of the segment after the one that holds row.
uint8_t* NextSegment(const BitmapHeader& header, const uint8_t* row) {
    return AddressOf(((AddressValue(row) >> 16) + header.SegmentIndex) << 16);
}

// Row addresses are computed as address words rather than by pointer arithmetic: a header
// without bits, or one the driver filled inconsistently, then gives a wrong address (which
// RowPlane refuses or the driver answers for), never undefined behaviour. The offset is a
// full address word, so that in the 64-bit edition rows past 4 GiB are where they are.
uint8_t* RowAddress(const PlaneBitmap& bitmap, uint32_t y) {
    const BitmapHeader& header = *bitmap.Header;
    if (IsSegmented(bitmap)) return SegmentedRow(header, y);
    return AddressOf(AddressValue(header.Bits) + uintptr_t{RowStride(header)} * y);
}

uint8_t* PlaneOf(const PlaneBitmap& bitmap, uint8_t* row, uint32_t plane) {
    const BitmapHeader* header = bitmap.Header;
    if (header == nullptr || header->Bits == nullptr || row == nullptr) return nullptr;
    if (plane >= header->Planes) return nullptr;
    return AddressOf(AddressValue(row) + plane * header->WidthBytes);
}

constexpr std::array<uint8_t, 256> MakeBitReversal() {
    std::array<uint8_t, 256> table{};
    for (uint32_t v = 0; v < 256; ++v) {
        uint32_t reversed = 0;
        for (uint32_t bit = 0; bit < 8; ++bit)
            reversed |= ((v >> bit) & 1u) << (7 - bit);
        table[v] = static_cast<uint8_t>(reversed);
    }
    return table;
}

// Entry v is v with its eight bits in reverse order.
constexpr std::array<uint8_t, 256> kBitReversal = MakeBitReversal();

// Plane rows i and n-1-i of an 8-bit bitmap exchanged and each reversed; on the middle row of
// an odd n, p and q lie in the same row and half the pairs reverse it onto itself.
void RotateByteRows(uint8_t* rowI, uint8_t* rowJ, uint32_t bytes, bool middle) {
    uint32_t pairs = middle ? (bytes + 1) / 2 : bytes;
    uint8_t* p = rowI;
    uint8_t* q = rowJ + bytes - 1;
    for (uint32_t m = 0; m < pairs; ++m)
        std::swap(*p++, *q--);
}

// The same for 1-bit rows. The last byte of a row holds only Width mod 8 pixels (s), so each
// new byte is put together from two neighbouring bytes of the other row before its bits are
// reversed; pixels that fall outside the row come in as 1 bits. The byte before q is read
// before it is rewritten on the next pair; on the middle row, where p has already rewritten
// the bytes left of it, the old value of the byte before q is the carry.
void RotateBitRows(uint8_t* rowI, uint8_t* rowJ, uint32_t bytes, uint32_t width, bool middle) {
    uint32_t s = width % 8;
    uint32_t t = (8 - s) % 8;
    auto gather = [s, t](uint8_t byte, uint8_t before) {
        if (t == 0) return kBitReversal[byte];
        return kBitReversal[static_cast<uint8_t>((byte >> t) | (before << s))];
    };
    uint32_t pairs = middle ? (bytes + 1) / 2 : bytes;
    uint8_t carry = 255;
    uint8_t* p = rowI;
    uint8_t* q = rowJ + bytes - 1;
    for (uint32_t m = 0; m < pairs; ++m, ++p, --q) {
        uint8_t g = *p;
        uint8_t before = 255;
        if (q != rowJ) before = (middle && q - 1 < p) ? carry : *(q - 1);
        *p = gather(*q, before);
        if (q != p) *q = gather(g, carry);
        carry = g;
    }
}

// Rotate180 touches b bytes of every plane row: only formats whose rows hold them.
bool RotatableFormat(const BitmapHeader& header, uint32_t bytes) {
    return (header.BitsPixel == 8 || header.BitsPixel == 1) && bytes <= header.WidthBytes;
}

// Bytes of one plane row: bitsPixel x width bits rounded up to whole bytes, then to a multiple
// of 4. Computed in 64 bits so that a size too large for its field can be recognised.
uint64_t PlaneRowBytes(uint32_t width, uint32_t bitsPixel) {
    uint64_t bytes = (uint64_t{bitsPixel} * width + 7) / 8;
    return (bytes + 3) & ~uint64_t{3};
}

void FillHeader(BitmapHeader& header, RenderDevice* device, uint32_t width, uint32_t height,
                uint32_t planes, uint32_t bitsPixel, uint32_t widthBytes) {
    header = BitmapHeader{}; // Type, Bits, segment fields and reserved words 0: unsegmented
    header.Width = static_cast<uint16_t>(width);
    header.Height = static_cast<uint16_t>(height);
    header.Planes = static_cast<uint8_t>(planes);
    header.BitsPixel = static_cast<uint8_t>(bitsPixel);
    header.WidthBytes = static_cast<uint16_t>(widthBytes);
    header.WidthPlanes = widthBytes * height;
    header.DeviceRef = device;
}

void CreateWith(PlaneBitmap& bitmap, HostAllocator* allocator, RenderDevice* device, uint32_t width,
                uint32_t height, uint32_t planes, uint32_t bitsPixel, uint32_t reserved,
                int32_t* result, uint32_t fill, uint32_t owns) {
    if (reserved != 0) {
        StoreResult(result, kReservedNotZero);
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

    // A WidthBytes that does not fit its 16-bit field, or bits whose size does not fit 32
    // bits, would make a block of the wrong size: refuse them before anything is allocated.
    uint64_t widthBytes = PlaneRowBytes(width, bitsPixel);
    uint64_t bitsSize = widthBytes * height * planes;
    if (widthBytes > 0xFFFF || bitsSize > 0xFFFFFFFFull || allocator == nullptr) {
        DropHeader(bitmap);
        StoreResult(result, kBitsRefused);
        return;
    }

    void* block = nullptr;
    int32_t allocated = allocator->AllocBlock(sizeof(BitmapHeader), 0, &block, kBitmapSourceFile,
                                              kBitmapHeaderLine);
    if (allocated < 0 || block == nullptr) {
        // A success without a block leaves nothing to write the header into.
        DropHeader(bitmap);
        StoreResult(result, allocated < 0 ? allocated : kNoHeader);
        return;
    }
    auto* header = static_cast<BitmapHeader*>(block);
    FillHeader(*header, device, width, height, planes, bitsPixel,
               static_cast<uint32_t>(widthBytes));
    bitmap.Header = header;

    HGLOBAL handle = GlobalAlloc(kBitsAllocFlags, static_cast<SIZE_T>(bitsSize));
    if (handle == nullptr) {
        allocator->FreeBlock(header);
        DropHeader(bitmap);
        StoreResult(result, kBitsRefused);
        return;
    }
    bitmap.BitsHandle = HandleValue(handle);
    header->Bits = static_cast<uint8_t*>(GlobalLock(handle));
    if (header->Bits == nullptr) {
        // Header and handle stay recorded: Free gives them back when the bitmap owns them.
        ClearCursor(bitmap);
        StoreResult(result, kBitsRefused);
        return;
    }
    Clear(bitmap, fill);
    SelectRow(bitmap, 0);
    StoreResult(result, allocated);
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
        StoreResult(result, kNoHeader);
        return;
    }
    // An attached bitmap is always addressed without segments: its rows are where the
    // unsegmented rule puts them.
    header->SegmentIndex = 0;
    header->FillBytes = 0;
    if (header->ScanSegment != 0) header->ScanSegment = header->Height;
    bitmap.Segmented = (header->ScanSegment != 0 && header->Height > header->ScanSegment) ? 1 : 0;
    SelectRow(bitmap, 0);
    StoreResult(result, kBitmapDone);
}

void Create(PlaneBitmap& bitmap, HostAllocator* allocator, uint32_t width, uint32_t height,
            uint32_t planes, uint32_t bitsPixel, uint32_t reserved, int32_t* result, uint32_t fill,
            uint32_t owns) {
    CreateWith(bitmap, allocator, nullptr, width, height, planes, bitsPixel, reserved, result, fill,
               owns);
}

void Create(PlaneBitmap& bitmap, RenderDevice* device, uint32_t width, uint32_t height,
            uint32_t planes, uint32_t bitsPixel, uint32_t reserved, int32_t* result, uint32_t fill,
            uint32_t owns) {
    if (reserved != 0) {
        StoreResult(result, kReservedNotZero);
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

int32_t NextRowAnyCase(PlaneBitmap& bitmap) {
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
    } else if (IsSegmented(bitmap) && (next + 1) % header.ScanSegment == 0) {
        bitmap.NextRowBits = NextSegment(header, bitmap.RowBits);
    } else {
        bitmap.NextRowBits = AddressOf(AddressValue(bitmap.RowBits) + RowStride(header));
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

namespace {

// A segmented bitmap is cleared segment by segment, fill bytes included, then the rows of
// its last, partial segment. With SegmentIndex 1 the segments follow each other and this is
// one run of (Height / ScanSegment) x 65536 + (Height mod ScanSegment) x stride bytes; with a
// larger step the memory between segments is not the bitmap's and stays untouched.
void ClearSegments(const BitmapHeader& header, uint32_t value) {
    uint32_t whole = header.Height / header.ScanSegment;
    for (uint32_t segment = 0; segment < whole; ++segment) {
        CSSetMemory(SegmentedRow(header, segment * header.ScanSegment), kSegmentBytes, value);
    }
    uint32_t rest = header.Height % header.ScanSegment;
    if (rest != 0) {
        CSSetMemory(SegmentedRow(header, whole * header.ScanSegment), rest * RowStride(header),
                    value);
    }
}

} // namespace

int32_t Clear(PlaneBitmap& bitmap, uint32_t value) {
    if (!HasPixels(&bitmap)) return kNoHeader;
    const BitmapHeader& header = *bitmap.Header;
    if (IsSegmented(bitmap)) {
        ClearSegments(header, value);
    } else {
        CSSetMemory(header.Bits, header.Planes * header.WidthPlanes, value);
    }
    return kBitmapDone;
}

int32_t Rotate180(PlaneBitmap& bitmap, uint32_t rows) {
    if (!HasPixels(&bitmap)) return kBitmapDone;
    const BitmapHeader& header = *bitmap.Header;
    uint32_t n = rows & 0xFFFF;
    if (n > header.Height) n = header.Height; // only the bitmap's own rows take part
    bool eightBit = header.BitsPixel == 8;
    uint32_t bytes = eightBit ? header.Width : (header.Width + 7u) / 8;
    if (n == 0 || bytes == 0 || !RotatableFormat(header, bytes)) return kBitmapDone;
    uint32_t last = n / 2 - (n % 2 == 0 ? 1 : 0);
    for (uint32_t i = 0; i <= last; ++i) {
        uint32_t j = n - 1 - i;
        for (uint32_t k = 0; k < header.Planes; ++k) {
            uint8_t* p = AddressOf(AddressValue(RowAddress(bitmap, i)) + k * header.WidthBytes);
            uint8_t* q = AddressOf(AddressValue(RowAddress(bitmap, j)) + k * header.WidthBytes);
            if (eightBit) {
                RotateByteRows(p, q, bytes, i == j);
            } else {
                RotateBitRows(p, q, bytes, header.Width, i == j);
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
    uint32_t byte = oneBit ? x / 8 : x;
    if (byte >= header.WidthBytes) return; // a header whose rows do not hold Width pixels
    SelectRow(bitmap, y);
    for (uint32_t k = 0; k < header.Planes; ++k) {
        uint8_t* plane = RowPlane(bitmap, k);
        if (plane == nullptr) return;
        if (oneBit) {
            plane[byte] &= static_cast<uint8_t>(~(0x80u >> (x % 8)));
        } else {
            plane[byte] = 0;
        }
    }
}

} // namespace marl
