// The plane bitmap: construction, the row cursor (segmented addressing included), release,
// clearing and the half turn.
#include "common/bitmap.h"
#include "core/core_services.h"
#include "platform/platform.h"
#include "support/counting_allocator.h"
#include "support/edition.h"
#include "support/guarded_memory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <vector>

namespace {

using marltest::CountingAllocator;
using marltest::GuardedBuffer;
using RowRule = std::function<uint8_t*(uint32_t)>;

// A copy of a field of a packed record: gtest compares through references, which must not
// bind to a packed member.
template <typename T> T Field(T value) { return value; }

uint32_t Stride(const BitmapHeader& header) { return uint32_t{header.Planes} * header.WidthBytes; }

// The unsegmented rule, written out independently of the bitmap code.
RowRule PlainRows(const BitmapHeader& header) {
    return [&header](uint32_t y) { return header.Bits + size_t{y} * Stride(header); };
}

void ExpectOnRow(const PlaneBitmap& bitmap, uint32_t y, const RowRule& row, uint32_t height) {
    EXPECT_EQ(Field(bitmap.RowIndex), y);
    EXPECT_EQ(Field(bitmap.RowBits), row(y)) << "row " << y;
    EXPECT_EQ(Field(bitmap.PrevRowBits), y > 0 ? row(y - 1) : nullptr) << "row " << y;
    EXPECT_EQ(Field(bitmap.NextRowBits), y + 1 < height ? row(y + 1) : nullptr) << "row " << y;
}

void ExpectCleared(const PlaneBitmap& bitmap) {
    EXPECT_EQ(Field(bitmap.RowIndex), 0);
    EXPECT_EQ(Field(bitmap.RowBits), nullptr);
    EXPECT_EQ(Field(bitmap.PrevRowBits), nullptr);
    EXPECT_EQ(Field(bitmap.NextRowBits), nullptr);
}

// True when the next GlobalAlloc fails as injected, i.e. nothing has called GlobalAlloc since
// the fault was armed. Leaves the fault switched off.
bool GlobalAllocUntouched() {
    HGLOBAL probe = GlobalAlloc(34, 1);
    CSInjectFault(CSFaultGlobalAlloc, -1);
    if (probe == nullptr) return true;
    GlobalFree(probe);
    return false;
}

PlaneBitmap Garbage() {
    PlaneBitmap bitmap;
    std::memset(&bitmap, 0xCD, sizeof bitmap);
    return bitmap;
}

struct CreateCase {
    uint32_t Width, Height, Planes, BitsPixel;
    uint16_t WidthBytes;
};

TEST(PlaneBitmapCreate, SizesHeaderAndFill) {
    const CreateCase cases[] = {
        {10, 5, 3, 8, 12},
        {1, 3, 1, 8, 4},
        {17, 2, 1, 1, 4},
        {12, 6, 1, 1, 4},
        {33, 2, 3, 1, 8},
        {640, 16, 3, 8, 640},
        {9, 1, 3, 8, 12},
        {0, 4, 3, 8, 0},
        {65532, 1, 1, 8, 65532},
        {65529, 2, 1, 8, 65532},
        {0x1000A, 0x20003, 0x103, 0x108, 12},
    };
    for (const CreateCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Width << "x" << c.Height << " planes " << c.Planes
                                        << " bits " << c.BitsPixel);
        CountingAllocator allocator;
        PlaneBitmap bitmap = Garbage();
        int32_t result = 12345;
        marl::Create(bitmap, &allocator, c.Width, c.Height, c.Planes, c.BitsPixel, 0, &result, 0x5D,
                     1);
        ASSERT_EQ(result, 0);
        ASSERT_NE(Field(bitmap.Header), nullptr);
        const BitmapHeader& header = *bitmap.Header;
        uint16_t height = static_cast<uint16_t>(c.Height);
        EXPECT_EQ(Field(header.Type), 0);
        EXPECT_EQ(Field(header.Width), static_cast<uint16_t>(c.Width));
        EXPECT_EQ(Field(header.Height), height);
        EXPECT_EQ(Field(header.Planes), static_cast<uint8_t>(c.Planes));
        EXPECT_EQ(Field(header.BitsPixel), static_cast<uint8_t>(c.BitsPixel));
        EXPECT_EQ(Field(header.WidthBytes), c.WidthBytes);
        EXPECT_EQ(Field(header.WidthPlanes), uint32_t{c.WidthBytes} * height);
        EXPECT_EQ(Field(header.DeviceRef), nullptr);
        EXPECT_EQ(Field(header.SegmentIndex), 0);
        EXPECT_EQ(Field(header.ScanSegment), 0);
        EXPECT_EQ(Field(header.FillBytes), 0);
        EXPECT_EQ(Field(header.Reserved[0]), 0);
        EXPECT_EQ(Field(header.Reserved[1]), 0);
        EXPECT_EQ(Field(bitmap.OwnsBits), 1u);
        EXPECT_EQ(Field(bitmap.Segmented), 0u);
        EXPECT_EQ(Field(bitmap.Allocator), &allocator);
        EXPECT_NE(Field(bitmap.BitsHandle), 0u);
#if !defined(_WIN32) // POSIX handles are 16-bit slot numbers, kernel32's are wider
        EXPECT_LE(Field(bitmap.BitsHandle), 0xFFFFu);
#endif

        size_t bytes = size_t{header.Planes} * header.WidthPlanes;
        ASSERT_TRUE(bytes == 0 || header.Bits != nullptr);
        for (size_t i = 0; i < bytes; ++i)
            ASSERT_EQ(header.Bits[i], 0x5D) << "byte " << i;
        if (height > 0) ExpectOnRow(bitmap, 0, PlainRows(header), height);

        std::vector<marltest::AllocCall> calls = allocator.Calls();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].Size, marltest::kBitmapHeaderBytes);
        EXPECT_EQ(calls[0].Flags, 0u);
        EXPECT_EQ(calls[0].File, "r:\\platf\\src\\common\\bitmap");
        EXPECT_EQ(calls[0].Line, 250u);

        HGLOBAL handle = HandleFromValue(bitmap.BitsHandle);
        marl::Free(bitmap);
        EXPECT_EQ(allocator.Live(), 0u);
        EXPECT_EQ(allocator.BadFrees(), 0u);
        EXPECT_EQ(GlobalLock(handle), nullptr) << "the bits were given back";
    }
}

TEST(PlaneBitmapCreate, DeviceFormRecordsTheDeviceAndTakesItsAllocator) {
    CountingAllocator allocator;
    RenderDevice device{};
    device.Allocator = &allocator;
    PlaneBitmap bitmap = Garbage();
    int32_t result = 12345;
    allocator.SucceedWith(7);
    marl::Create(bitmap, &device, 5, 3, 3, 8, 0, &result, 0, 0);
    EXPECT_EQ(result, 7) << "AllocBlock's own non-negative result";
    ASSERT_NE(Field(bitmap.Header), nullptr);
    EXPECT_EQ(Field(bitmap.Header->DeviceRef), &device);
    EXPECT_EQ(Field(bitmap.Allocator), &allocator);
    EXPECT_EQ(Field(bitmap.OwnsBits), 0u);

    // Not owned: Free leaves header and bits to the caller.
    BitmapHeader* header = bitmap.Header;
    HGLOBAL handle = HandleFromValue(bitmap.BitsHandle);
    marl::Free(bitmap);
    EXPECT_EQ(allocator.Live(), 1u);
    EXPECT_NE(GlobalLock(handle), nullptr);
    GlobalUnlock(handle);
    GlobalUnlock(handle);
    GlobalFree(handle);
    allocator.FreeBlock(header);
}

TEST(PlaneBitmapCreate, RefusesSizesThatDoNotFitTheirFields) {
    const CreateCase cases[] = {
        {65533, 1, 1, 8, 0},   {65535, 1, 1, 8, 0},     {0x8000, 1, 1, 16, 0},
        {65535, 9, 3, 255, 0}, {65532, 65535, 2, 8, 0}, {0x3FFF, 65535, 5, 32, 0},
    };
    for (const CreateCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Width << "x" << c.Height << " planes " << c.Planes
                                        << " bits " << c.BitsPixel);
        CountingAllocator allocator;
        PlaneBitmap bitmap = Garbage();
        int32_t result = 12345;
        CSInjectFault(CSFaultGlobalAlloc, 0);
        marl::Create(bitmap, &allocator, c.Width, c.Height, c.Planes, c.BitsPixel, 0, &result, 0,
                     1);
        EXPECT_TRUE(GlobalAllocUntouched());
        EXPECT_EQ(result, -3);
        EXPECT_TRUE(allocator.Calls().empty());
        EXPECT_EQ(Field(bitmap.Header), nullptr);
        EXPECT_EQ(Field(bitmap.BitsHandle), 0u);
        ExpectCleared(bitmap);
        marl::Free(bitmap);
        EXPECT_EQ(allocator.Frees(), 0u);
    }
}

TEST(PlaneBitmapCreate, NonZeroReservedChangesNothing) {
    CountingAllocator allocator;
    RenderDevice device{};
    device.Allocator = &allocator;
    for (uint32_t reserved : {1u, 0x80000000u, 0xFFFFFFFFu}) {
        for (bool deviceForm : {false, true}) {
            PlaneBitmap bitmap = Garbage();
            PlaneBitmap before = bitmap;
            int32_t result = 12345;
            CSInjectFault(CSFaultGlobalAlloc, 0);
            if (deviceForm) {
                marl::Create(bitmap, &device, 4, 4, 3, 8, reserved, &result, 0, 1);
            } else {
                marl::Create(bitmap, &allocator, 4, 4, 3, 8, reserved, &result, 0, 1);
            }
            EXPECT_TRUE(GlobalAllocUntouched());
            EXPECT_EQ(result, -5);
            EXPECT_EQ(std::memcmp(&bitmap, &before, sizeof bitmap), 0) << reserved;
        }
    }
    EXPECT_TRUE(allocator.Calls().empty());
}

TEST(PlaneBitmapCreate, HeaderRefusalPassesTheAllocatorsCodeThrough) {
    for (int32_t code : {-1, -2, -7, INT32_MIN}) {
        CountingAllocator allocator;
        allocator.FailAfter(0, code);
        PlaneBitmap bitmap = Garbage();
        int32_t result = 12345;
        CSInjectFault(CSFaultGlobalAlloc, 0);
        marl::Create(bitmap, &allocator, 8, 8, 3, 8, 0, &result, 0, 1);
        EXPECT_TRUE(GlobalAllocUntouched()) << "no bits asked for without a header";
        EXPECT_EQ(result, code);
        EXPECT_EQ(Field(bitmap.Header), nullptr);
        ExpectCleared(bitmap);
        EXPECT_EQ(allocator.Live(), 0u);
        marl::Free(bitmap);
        EXPECT_EQ(allocator.Frees(), 0u);
    }
}

TEST(PlaneBitmapCreate, BitsRefusedHandsTheHeaderBack) {
    CountingAllocator allocator;
    PlaneBitmap bitmap = Garbage();
    int32_t result = 12345;
    CSInjectFault(CSFaultGlobalAlloc, 0);
    marl::Create(bitmap, &allocator, 8, 8, 3, 8, 0, &result, 0, 1);
    EXPECT_EQ(result, -3);
    EXPECT_EQ(Field(bitmap.Header), nullptr);
    ExpectCleared(bitmap);
    EXPECT_EQ(allocator.Live(), 0u);
    EXPECT_EQ(allocator.Frees(), 1u);
    EXPECT_EQ(allocator.BadFrees(), 0u);
}

TEST(PlaneBitmapCreate, LockRefusedKeepsHeaderAndHandleForFree) {
    for (uint32_t owns : {1u, 0u}) {
        CountingAllocator allocator;
        PlaneBitmap bitmap = Garbage();
        int32_t result = 12345;
        CSInjectFault(CSFaultGlobalLock, 0);
        marl::Create(bitmap, &allocator, 8, 8, 3, 8, 0, &result, 0, owns);
        EXPECT_EQ(result, -3);
        ASSERT_NE(Field(bitmap.Header), nullptr);
        EXPECT_EQ(Field(bitmap.Header->Bits), nullptr);
        ASSERT_NE(Field(bitmap.BitsHandle), 0u);
        ExpectCleared(bitmap);
        BitmapHeader* header = bitmap.Header;
        HGLOBAL handle = HandleFromValue(bitmap.BitsHandle);
        marl::Free(bitmap);
        if (owns) {
            EXPECT_EQ(allocator.Live(), 0u);
            EXPECT_EQ(GlobalLock(handle), nullptr) << "the handle was given back";
        } else {
            EXPECT_EQ(allocator.Live(), 1u);
            EXPECT_EQ(GlobalFree(handle), nullptr) << "the handle is still the caller's";
            allocator.FreeBlock(header);
        }
    }
}

TEST(PlaneBitmapCreate, WithoutAllocatorOrDevice) {
    PlaneBitmap bitmap = Garbage();
    int32_t result = 12345;
    marl::Create(bitmap, static_cast<HostAllocator*>(nullptr), 4, 4, 3, 8, 0, &result, 0, 1);
    EXPECT_EQ(result, -3);
    EXPECT_EQ(Field(bitmap.Header), nullptr);
    result = 12345;
    marl::Create(bitmap, static_cast<RenderDevice*>(nullptr), 4, 4, 3, 8, 0, &result, 0, 1);
    EXPECT_EQ(result, -3);
    EXPECT_EQ(Field(bitmap.Header), nullptr);
}

// A bitmap made by Create with owns set, released at the end of the test.
class OwnedBitmap {
public:
    OwnedBitmap(uint32_t width, uint32_t height, uint32_t planes = 3, uint32_t bitsPixel = 8) {
        int32_t result = -1;
        marl::Create(Bitmap, &Allocator, width, height, planes, bitsPixel, 0, &result, 0, 1);
        if (result != 0) std::abort();
    }
    ~OwnedBitmap() { marl::Free(Bitmap); }
    OwnedBitmap(const OwnedBitmap&) = delete;
    OwnedBitmap& operator=(const OwnedBitmap&) = delete;

    CountingAllocator Allocator;
    PlaneBitmap Bitmap{};
};

struct SelectCase {
    uint32_t Y;
    int32_t Result;
    uint32_t Row; // the row selected when Result is 0
};

TEST(PlaneBitmapCursor, SelectRowAtTheEdgesAndPastTheEnd) {
    OwnedBitmap owned(10, 4);
    PlaneBitmap& bitmap = owned.Bitmap;
    RowRule rows = PlainRows(*bitmap.Header);
    const SelectCase cases[] = {
        {0, 0, 0},       {1, 0, 1},       {3, 0, 3},          {4, 1000, 0}, {0xFFFF, 1000, 0},
        {0x10000, 0, 0}, {0x10003, 0, 3}, {0x10004, 1000, 0}, {2, 0, 2},
    };
    for (const SelectCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "SelectRow " << c.Y);
        EXPECT_EQ(marl::SelectRow(bitmap, c.Y), c.Result);
        if (c.Result == 0) {
            ExpectOnRow(bitmap, c.Row, rows, 4);
        } else {
            ExpectCleared(bitmap);
        }
    }
}

TEST(PlaneBitmapCursor, NextRowWalksToTheEndAndStaysCleared) {
    for (uint32_t height : {1u, 2u, 5u}) {
        OwnedBitmap owned(7, height);
        PlaneBitmap& bitmap = owned.Bitmap;
        RowRule rows = PlainRows(*bitmap.Header);
        ASSERT_EQ(marl::SelectRow(bitmap, 0), 0);
        ExpectOnRow(bitmap, 0, rows, height);
        for (uint32_t y = 1; y < height; ++y) {
            ASSERT_EQ(marl::NextRow(bitmap), 0);
            ExpectOnRow(bitmap, y, rows, height);
        }
        EXPECT_EQ(marl::NextRow(bitmap), 1000) << "from the last row";
        ExpectCleared(bitmap);
        EXPECT_EQ(marl::NextRow(bitmap), 1000) << "on a cleared cursor";
        ExpectCleared(bitmap);
        EXPECT_EQ(marl::RowPlane(bitmap, 0), nullptr);
        ASSERT_EQ(marl::SelectRow(bitmap, height - 1), 0) << "SelectRow leaves the cleared state";
        ExpectOnRow(bitmap, height - 1, rows, height);
    }
}

// AdvanceRowsInline(n) leaves the cursor record exactly as n NextRow calls do, for every
// start row and every n that NextRowsInline allows; NextRowsInline counts the calls that stay
// in the common case (the next one ends on the last row, or clears the cursor).
TEST(PlaneBitmapCursor, AdvancingRowsAtOnceEqualsNextRowCalls) {
    for (uint32_t height : {1u, 2u, 3u, 6u}) {
        OwnedBitmap owned(5, height);
        PlaneBitmap& bitmap = owned.Bitmap;
        RowRule rows = PlainRows(*bitmap.Header);
        for (uint32_t start = 0; start < height; ++start) {
            ASSERT_EQ(marl::SelectRow(bitmap, start), 0);
            const uint32_t inlineRows = marl::NextRowsInline(bitmap);
            EXPECT_EQ(inlineRows, start + 2 < height ? height - 2 - start : 0u) << start;
            for (uint32_t n = 0; n <= inlineRows; ++n) {
                ASSERT_EQ(marl::SelectRow(bitmap, start), 0);
                marl::AdvanceRowsInline(bitmap, n);
                const PlaneBitmap atOnce = bitmap;
                ASSERT_EQ(marl::SelectRow(bitmap, start), 0);
                for (uint32_t i = 0; i < n; ++i)
                    ASSERT_EQ(marl::NextRow(bitmap), 0);
                EXPECT_EQ(std::memcmp(&atOnce, &bitmap, sizeof bitmap), 0)
                    << "height " << height << " start " << start << " n " << n;
                ExpectOnRow(atOnce, start + n, rows, height);
            }
        }
    }
}

TEST(PlaneBitmapCursor, PlaneAddressesOfTheRowAndItsNeighbours) {
    OwnedBitmap owned(10, 3);
    PlaneBitmap& bitmap = owned.Bitmap;
    const uint32_t widthBytes = bitmap.Header->WidthBytes;
    ASSERT_EQ(marl::SelectRow(bitmap, 1), 0);
    for (uint32_t k = 0; k < 3; ++k) {
        EXPECT_EQ(marl::RowPlane(bitmap, k), bitmap.RowBits + k * widthBytes);
        EXPECT_EQ(marl::PrevRowPlane(bitmap, k), bitmap.PrevRowBits + k * widthBytes);
        EXPECT_EQ(marl::NextRowPlane(bitmap, k), bitmap.NextRowBits + k * widthBytes);
    }
    EXPECT_EQ(marl::RowPlane(bitmap, 3), nullptr);
    EXPECT_EQ(marl::PrevRowPlane(bitmap, 3), nullptr);
    EXPECT_EQ(marl::NextRowPlane(bitmap, 3), nullptr);
    EXPECT_EQ(marl::RowPlane(bitmap, 0x10002), bitmap.RowBits + 2 * widthBytes) << "16 bits";
    ASSERT_EQ(marl::SelectRow(bitmap, 0), 0);
    EXPECT_EQ(marl::PrevRowPlane(bitmap, 0), nullptr);
    ASSERT_EQ(marl::SelectRow(bitmap, 2), 0);
    EXPECT_EQ(marl::NextRowPlane(bitmap, 0), nullptr);
    EXPECT_NE(marl::PrevRowPlane(bitmap, 0), nullptr);
}

TEST(PlaneBitmapCursor, WithoutHeaderOrBits) {
    PlaneBitmap none{};
    none.OwnsBits = 1;
    EXPECT_EQ(marl::SelectRow(none, 0), -4);
    EXPECT_EQ(marl::NextRow(none), -4);
    EXPECT_EQ(marl::RowPlane(none, 0), nullptr);
    EXPECT_EQ(marl::PrevRowPlane(none, 0), nullptr);
    EXPECT_EQ(marl::NextRowPlane(none, 0), nullptr);
    EXPECT_EQ(marl::Clear(none, 1), -4);
    EXPECT_EQ(marl::Rotate180(none, 1), 0);
    marl::ClearPixel(none, 0, 0);
    marl::Free(none);

    BitmapHeader header{};
    MarlDescribeBitmap(header, 16, 4, 3, 8, nullptr);
    PlaneBitmap noBits{};
    noBits.Header = &header;
    EXPECT_EQ(marl::SelectRow(noBits, 2), 0);
    EXPECT_EQ(marl::RowPlane(noBits, 0), nullptr);
    EXPECT_EQ(marl::NextRowPlane(noBits, 0), nullptr);
    EXPECT_EQ(marl::Clear(noBits, 1), -4);
    EXPECT_EQ(marl::Rotate180(noBits, 4), 0);
    marl::ClearPixel(noBits, 1, 1);
}

// 64 KiB-aligned memory for bitmaps addressed in segments.
class SegmentMemory {
public:
    explicit SegmentMemory(uint32_t segments)
        : Size((segments + 1) * 65536u), Mapping(new uint8_t[Size]) {
        std::memset(Mapping.get(), 0x11, Size);
        Base = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(Mapping.get()) + 0xFFFF) &
                                          ~uintptr_t{0xFFFF});
    }

    uint8_t* Base = nullptr;

private:
    size_t Size;
    std::unique_ptr<uint8_t[]> Mapping;
};

struct SegmentCase {
    uint16_t ScanSegment, SegmentIndex, Height, WidthBytes;
    uint8_t Planes;
};

TEST(PlaneBitmapCursor, SegmentedRowAddressing) {
    const SegmentCase cases[] = {
        {5, 1, 13, 4000, 3},
        {5, 2, 10, 4000, 3},
        {1, 1, 4, 65000, 1},
        {7, 3, 20, 9000, 1},
    };
    for (const SegmentCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "ScanSegment " << c.ScanSegment << " SegmentIndex "
                                        << c.SegmentIndex << " Height " << c.Height);
        uint32_t segments = (c.Height + c.ScanSegment - 1) / c.ScanSegment;
        SegmentMemory memory((segments - 1) * c.SegmentIndex + 1);
        BitmapHeader header{};
        MarlDescribeBitmap(header, c.WidthBytes, c.Height, c.Planes, 8, memory.Base);
        header.WidthBytes = c.WidthBytes;
        header.ScanSegment = c.ScanSegment;
        header.SegmentIndex = c.SegmentIndex;
        header.FillBytes = static_cast<uint16_t>(65536 - c.ScanSegment * Stride(header));
        PlaneBitmap bitmap{};
        bitmap.Header = &header;
        bitmap.Segmented = 1;
        RowRule rows = [&](uint32_t y) {
            return memory.Base + size_t{y / c.ScanSegment} * c.SegmentIndex * 65536 +
                   size_t{y % c.ScanSegment} * Stride(header);
        };
        for (uint32_t y = 0; y < c.Height; ++y) {
            ASSERT_EQ(marl::SelectRow(bitmap, y), 0);
            ExpectOnRow(bitmap, y, rows, c.Height);
        }
        ASSERT_EQ(marl::SelectRow(bitmap, 0), 0);
        for (uint32_t y = 1; y < c.Height; ++y) {
            ASSERT_EQ(marl::NextRow(bitmap), 0);
            ExpectOnRow(bitmap, y, rows, c.Height);
            // Every plane of every row is inside the memory: its first and last byte take a
            // mark that is read back below.
            for (uint32_t k = 0; k < c.Planes; ++k) {
                uint8_t* plane = marl::RowPlane(bitmap, k);
                ASSERT_NE(plane, nullptr);
                plane[0] = static_cast<uint8_t>(y * 3 + k);
                plane[c.WidthBytes - 1] = static_cast<uint8_t>(y * 3 + k + 1);
            }
        }
        EXPECT_EQ(marl::NextRow(bitmap), 1000);
        ExpectCleared(bitmap);
        for (uint32_t y = 1; y < c.Height; ++y) {
            for (uint32_t k = 0; k < c.Planes; ++k) {
                const uint8_t* plane = rows(y) + k * c.WidthBytes;
                ASSERT_EQ(plane[0], static_cast<uint8_t>(y * 3 + k));
                ASSERT_EQ(plane[c.WidthBytes - 1], static_cast<uint8_t>(y * 3 + k + 1));
            }
        }

        // Clear covers whole segments (fill bytes included) and the rows of the last one;
        // memory between segments that lie apart is not the bitmap's.
        EXPECT_EQ(marl::Clear(bitmap, 0x3C), 0);
        uint32_t whole = c.Height / c.ScanSegment;
        for (uint32_t segment = 0; segment < whole; ++segment) {
            const uint8_t* start = memory.Base + size_t{segment} * c.SegmentIndex * 65536;
            EXPECT_EQ(start[0], 0x3C) << "segment " << segment;
            EXPECT_EQ(start[65535], 0x3C) << "segment " << segment;
            if (c.SegmentIndex > 1) {
                EXPECT_EQ(start[65536], 0x11) << "after segment " << segment;
            }
        }
        uint32_t rest = c.Height % c.ScanSegment;
        if (rest != 0) {
            const uint8_t* last = rows(whole * c.ScanSegment);
            EXPECT_EQ(last[0], 0x3C);
            EXPECT_EQ(last[rest * Stride(header) - 1], 0x3C);
            EXPECT_EQ(last[rest * Stride(header)], 0x11);
        }
    }
}

struct AttachCase {
    uint16_t ScanSegment, Height, SegmentIndex, FillBytes;
    uint16_t ScanSegmentAfter;
};

TEST(PlaneBitmapAttach, NormalisesTheHeaderAndAddressesWithoutSegments) {
    const AttachCase cases[] = {
        {100, 300, 7, 9, 300}, {0, 300, 7, 9, 0}, {300, 300, 1, 0, 300},
        {500, 300, 2, 4, 300}, {1, 2, 1, 1, 2},
    };
    for (const AttachCase& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "ScanSegment " << c.ScanSegment << " Height " << c.Height);
        std::vector<uint8_t> bits(size_t{4} * c.Height);
        BitmapHeader header{};
        MarlDescribeBitmap(header, 4, c.Height, 1, 8, bits.data());
        header.ScanSegment = c.ScanSegment;
        header.SegmentIndex = c.SegmentIndex;
        header.FillBytes = c.FillBytes;
        PlaneBitmap bitmap = Garbage();
        int32_t result = 12345;
        marl::Attach(bitmap, &header, &result);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(Field(bitmap.Header), &header);
        EXPECT_EQ(Field(header.ScanSegment), c.ScanSegmentAfter);
        EXPECT_EQ(Field(header.SegmentIndex), 0);
        EXPECT_EQ(Field(header.FillBytes), 0);
        EXPECT_EQ(Field(bitmap.Segmented), 0u);
        EXPECT_EQ(Field(bitmap.OwnsBits), 0u);
        EXPECT_EQ(Field(bitmap.BitsHandle), 0u);
        EXPECT_EQ(Field(bitmap.Allocator), nullptr);
        ExpectOnRow(bitmap, 0, PlainRows(header), c.Height);
        ASSERT_EQ(marl::SelectRow(bitmap, c.Height - 1), 0);
        ExpectOnRow(bitmap, c.Height - 1, PlainRows(header), c.Height);
    }
}

TEST(PlaneBitmapAttach, NoHeaderAndEmptyBitmap) {
    PlaneBitmap bitmap = Garbage();
    int32_t result = 12345;
    marl::Attach(bitmap, nullptr, &result);
    EXPECT_EQ(result, -4);
    EXPECT_EQ(Field(bitmap.Header), nullptr);
    EXPECT_EQ(Field(bitmap.OwnsBits), 0u);
    ExpectCleared(bitmap);

    BitmapHeader empty{};
    result = 12345;
    marl::Attach(bitmap, &empty, &result);
    EXPECT_EQ(result, 0) << "SelectRow's answer is not passed on";
    ExpectCleared(bitmap);
}

TEST(PlaneBitmapFree, AfterAttachReleasesNothing) {
    OwnedBitmap owner(6, 3);
    PlaneBitmap attached{};
    int32_t result = -1;
    marl::Attach(attached, owner.Bitmap.Header, &result);
    ASSERT_EQ(result, 0);
    uint32_t frees = owner.Allocator.Frees();
    marl::Free(attached);
    EXPECT_EQ(owner.Allocator.Live(), 1u);
    EXPECT_EQ(owner.Allocator.Frees(), frees);
    HGLOBAL handle = HandleFromValue(owner.Bitmap.BitsHandle);
    EXPECT_NE(GlobalLock(handle), nullptr) << "the bits are still there";
    GlobalUnlock(handle);
}

// Pixel (x, y) of plane k, for 1-bit and 8-bit planes.
uint32_t PixelAt(const BitmapHeader& header, const uint8_t* bits, uint32_t x, uint32_t y,
                 uint32_t k) {
    const uint8_t* plane = bits + size_t{y} * Stride(header) + size_t{k} * header.WidthBytes;
    if (header.BitsPixel == 8) return plane[x];
    return (plane[x / 8] >> (7 - x % 8)) & 1u;
}

// An attached bitmap whose bits end flush against an unreadable page.
struct GuardedBitmap {
    GuardedBitmap(uint16_t width, uint16_t height, uint8_t planes, uint8_t bitsPixel) {
        MarlDescribeBitmap(Header, width, height, planes, bitsPixel, nullptr);
        Memory = std::make_unique<GuardedBuffer>(size_t{planes} * Header.WidthPlanes);
        Header.Bits = Memory->data();
        int32_t result = -1;
        marl::Attach(Bitmap, &Header, &result);
    }
    std::vector<uint8_t> Bytes() const { return {Memory->data(), Memory->data() + Memory->size()}; }
    void Randomise(uint32_t seed) {
        std::mt19937 random(seed);
        for (size_t i = 0; i < Memory->size(); ++i)
            Memory->data()[i] = random() & 0xFF;
    }

    BitmapHeader Header{};
    PlaneBitmap Bitmap{};
    std::unique_ptr<GuardedBuffer> Memory;
};

// What one half turn of the first n rows must leave, checked against the bytes before it.
void ExpectTurned(const BitmapHeader& header, const std::vector<uint8_t>& before,
                  const uint8_t* after, uint32_t n) {
    const uint32_t width = header.Width;
    const uint32_t rowBytes = header.BitsPixel == 8 ? width : (width + 7) / 8;
    for (uint32_t y = 0; y < header.Height; ++y) {
        for (uint32_t k = 0; k < header.Planes; ++k) {
            size_t start = size_t{y} * Stride(header) + size_t{k} * header.WidthBytes;
            for (uint32_t b = 0; b < header.WidthBytes; ++b) {
                bool turned = y < n && b < rowBytes;
                if (!turned) {
                    ASSERT_EQ(after[start + b], before[start + b])
                        << "untouched byte " << b << " of row " << y << " plane " << k;
                }
            }
            if (y >= n) continue;
            for (uint32_t x = 0; x < width; ++x) {
                ASSERT_EQ(PixelAt(header, after, x, y, k),
                          PixelAt(header, before.data(), width - 1 - x, n - 1 - y, k))
                    << "pixel " << x << " of row " << y << " plane " << k;
            }
            // Bits past the last pixel of a 1-bit row come in as ones.
            for (uint32_t x = width; header.BitsPixel == 1 && x < rowBytes * 8; ++x) {
                ASSERT_EQ((after[start + x / 8] >> (7 - x % 8)) & 1, 1) << "padding bit " << x;
            }
        }
    }
}

struct RotateCase {
    uint16_t Width, Height;
    uint8_t Planes, BitsPixel;
    uint32_t Rows;
};

TEST(PlaneBitmapRotate180, TwiceRestoresAndOnceTurnsEachPixel) {
    const RotateCase cases[] = {
        {10, 6, 3, 8, 6}, {10, 7, 3, 8, 7}, {10, 7, 3, 8, 4}, {11, 7, 3, 8, 5}, {10, 7, 3, 8, 100},
        {1, 1, 1, 8, 1},  {12, 6, 1, 1, 6}, {12, 7, 3, 1, 7}, {12, 7, 1, 1, 3}, {12, 5, 1, 1, 1000},
        {17, 5, 1, 1, 5}, {20, 3, 1, 1, 3}, {20, 4, 1, 1, 4}, {8, 4, 1, 1, 4},  {16, 3, 1, 1, 3},
        {1, 3, 1, 1, 3},  {45, 9, 3, 1, 9}, {12, 6, 1, 1, 0},
    };
    uint32_t seed = 1;
    for (const RotateCase& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "width " << c.Width << " height " << c.Height << " planes " << int{c.Planes}
                     << " bits " << int{c.BitsPixel} << " n " << c.Rows);
        GuardedBitmap image(c.Width, c.Height, c.Planes, c.BitsPixel);
        image.Randomise(seed++);
        std::vector<uint8_t> original = image.Bytes();
        uint32_t n = std::min<uint32_t>(c.Rows, c.Height);

        EXPECT_EQ(marl::Rotate180(image.Bitmap, c.Rows), 0);
        ExpectTurned(image.Header, original, image.Memory->data(), n);
        std::vector<uint8_t> once = image.Bytes();
        EXPECT_EQ(marl::Rotate180(image.Bitmap, c.Rows), 0);
        ExpectTurned(image.Header, once, image.Memory->data(), n);
        if (c.BitsPixel == 8) {
            EXPECT_EQ(image.Bytes(), original);
        }
        for (uint32_t y = 0; y < c.Height; ++y) {
            for (uint32_t k = 0; k < c.Planes; ++k) {
                for (uint32_t x = 0; x < c.Width; ++x) {
                    ASSERT_EQ(PixelAt(image.Header, image.Memory->data(), x, y, k),
                              PixelAt(image.Header, original.data(), x, y, k));
                }
            }
        }
    }
}

TEST(PlaneBitmapRotate180, WidthTwelveMovesTheTwelveBitsToTheOtherEnd) {
    GuardedBitmap image(12, 2, 1, 1);
    // Row 0: pixels 0..11 = 1100 0000 0001, row 1: 1010 1010 1111.
    const uint8_t rows[2][4] = {{0xC0, 0x10, 0, 0}, {0xAA, 0xF0, 0, 0}};
    std::memcpy(image.Memory->data(), rows, sizeof rows);
    marl::Rotate180(image.Bitmap, 2);
    const uint8_t* bits = image.Memory->data();
    // New row 0 is old row 1 backwards: 1111 0101 0101; new row 1: 1000 0000 0011.
    EXPECT_EQ(bits[0], 0xF5);
    EXPECT_EQ(bits[1] & 0xF0, 0x50);
    EXPECT_EQ(bits[4], 0x80);
    EXPECT_EQ(bits[5] & 0xF0, 0x30);
}

TEST(PlaneBitmapRotate180, LeavesOtherFormatsAlone) {
    for (uint8_t bitsPixel : {4, 2, 24}) {
        GuardedBitmap image(6, 4, 1, bitsPixel);
        image.Randomise(bitsPixel);
        std::vector<uint8_t> before = image.Bytes();
        EXPECT_EQ(marl::Rotate180(image.Bitmap, 4), 0);
        EXPECT_EQ(image.Bytes(), before) << int{bitsPixel};
    }
    // A header whose rows are narrower than its width claims.
    GuardedBitmap narrow(64, 3, 1, 8);
    narrow.Header.WidthBytes = 16;
    narrow.Randomise(9);
    std::vector<uint8_t> before = narrow.Bytes();
    EXPECT_EQ(marl::Rotate180(narrow.Bitmap, 3), 0);
    EXPECT_EQ(narrow.Bytes(), before);
}

struct ClearPixelCase {
    uint8_t Planes, BitsPixel;
    uint32_t X, Y;
    bool Changes;
};

TEST(PlaneBitmapClearPixel, ClearsThePixelInEveryPlaneOfTheKnownFormats) {
    const ClearPixelCase cases[] = {
        {1, 1, 0, 0, true},   {1, 1, 13, 2, true},  {3, 1, 9, 1, true},   {3, 1, 19, 3, true},
        {1, 8, 0, 0, true},   {1, 8, 19, 3, true},  {3, 8, 7, 2, true},   {3, 8, 0x10005, 1, true},
        {3, 8, 20, 0, false}, {3, 8, 0, 4, false},  {3, 1, 20, 1, false}, {2, 8, 3, 1, false},
        {3, 4, 3, 1, false},  {1, 24, 3, 1, false},
    };
    for (const ClearPixelCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "planes " << int{c.Planes} << " bits "
                                        << int{c.BitsPixel} << " at " << c.X << "," << c.Y);
        GuardedBitmap image(20, 4, c.Planes, c.BitsPixel);
        std::memset(image.Memory->data(), 0xFF, image.Memory->size());
        std::vector<uint8_t> expected = image.Bytes();
        uint32_t x = c.X & 0xFFFF;
        for (uint32_t k = 0; c.Changes && k < c.Planes; ++k) {
            size_t row = size_t{c.Y} * Stride(image.Header) + size_t{k} * image.Header.WidthBytes;
            if (c.BitsPixel == 8) {
                expected[row + x] = 0;
            } else {
                expected[row + x / 8] &= static_cast<uint8_t>(~(0x80u >> (x % 8)));
            }
        }
        marl::ClearPixel(image.Bitmap, c.X, c.Y);
        EXPECT_EQ(image.Bytes(), expected);
    }
}

TEST(PlaneBitmapClear, SetsEveryByteOfThePixelData) {
    for (uint8_t value : {0x00, 0x7E, 0xFF}) {
        GuardedBitmap image(13, 5, 3, 8);
        image.Randomise(value);
        EXPECT_EQ(marl::Clear(image.Bitmap, 0x100u | value), 0);
        for (uint8_t byte : image.Bytes())
            ASSERT_EQ(byte, value);
    }
}

} // namespace
