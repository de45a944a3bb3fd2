// The plane bitmap: a cursor on one row of a BitmapHeader and the addresses of that row's
// planes and of its neighbours. Every drawing primitive reaches pixels through it.
#pragma once

#include "marlrend/marlrend.h"

#include <cstdint>

namespace marl {

// Result codes of the bitmap operations.
inline constexpr int32_t kBitmapDone = 0;
inline constexpr int32_t kRowOutside = 1000;
inline constexpr int32_t kBitsRefused = -3;
inline constexpr int32_t kNoHeader = -4;
inline constexpr int32_t kReservedNotZero = -5;

inline constexpr const char* kBitmapSourceFile = "r:\\platf\\src\\common\\bitmap";
inline constexpr uint32_t kBitmapHeaderLine = 250;

// Binds to an existing header (normalising its segment fields) and selects row 0.
void Attach(PlaneBitmap& bitmap, BitmapHeader* header, int32_t* result);
// Makes a new bitmap whose header comes from allocator and whose bits come from global
// memory, all set to fill. owns decides whether Free gives them back.
void Create(PlaneBitmap& bitmap, HostAllocator* allocator, uint32_t width, uint32_t height,
            uint32_t planes, uint32_t bitsPixel, uint32_t reserved, int32_t* result, uint32_t fill,
            uint32_t owns);
// The same, taking the allocator from device and recording device in the header.
void Create(PlaneBitmap& bitmap, RenderDevice* device, uint32_t width, uint32_t height,
            uint32_t planes, uint32_t bitsPixel, uint32_t reserved, int32_t* result, uint32_t fill,
            uint32_t owns);
void Free(PlaneBitmap& bitmap);

int32_t SelectRow(PlaneBitmap& bitmap, uint32_t y);
// NextRow for every case; NextRow below answers the common one (an unsegmented bitmap whose
// cursor is on a row with two rows below it) without a call, since a line walking down a
// band advances a row with nearly every pixel.
int32_t NextRowAnyCase(PlaneBitmap& bitmap);
inline int32_t NextRow(PlaneBitmap& bitmap) {
    const BitmapHeader* header = bitmap.Header;
    uint8_t* row = bitmap.RowBits;
    if (header == nullptr || row == nullptr || bitmap.Segmented != 0) return NextRowAnyCase(bitmap);
    const uint32_t next = bitmap.RowIndex + 1u;
    if (next + 1 >= header->Height) return NextRowAnyCase(bitmap);
    uint8_t* below = bitmap.NextRowBits;
    const uint32_t stride = static_cast<uint32_t>(header->Planes) * header->WidthBytes;
    bitmap.RowIndex = static_cast<uint16_t>(next);
    bitmap.PrevRowBits = row;
    bitmap.RowBits = below;
    bitmap.NextRowBits = reinterpret_cast<uint8_t*>(reinterpret_cast<uintptr_t>(below) + stride);
    return 0;
}
// How many NextRow calls in a row, from the cursor's row, take NextRow's common case.
inline uint32_t NextRowsInline(const PlaneBitmap& bitmap) {
    const BitmapHeader* header = bitmap.Header;
    if (header == nullptr || bitmap.RowBits == nullptr || bitmap.Segmented != 0) return 0;
    const uint32_t row = bitmap.RowIndex;
    return row + 2u < header->Height ? header->Height - 2u - row : 0u;
}
// `count` NextRow calls of the common case at once (count at most NextRowsInline): the cursor
// ends where they would leave it. A walk that advances a row with every pixel keeps its row
// address itself and sets the cursor once.
inline void AdvanceRowsInline(PlaneBitmap& bitmap, uint32_t count) {
    if (count == 0) return;
    const BitmapHeader& header = *bitmap.Header;
    const uint32_t stride = static_cast<uint32_t>(header.Planes) * header.WidthBytes;
    // Address words, as in bitmap.cpp: pointer-wide, so a row lies where the rows before it
    // end in either edition.
    const uintptr_t row =
        reinterpret_cast<uintptr_t>(bitmap.NextRowBits) + uintptr_t{count - 1} * stride;
    if (count > 1)
        bitmap.PrevRowBits = reinterpret_cast<uint8_t*>(row - stride);
    else
        bitmap.PrevRowBits = bitmap.RowBits;
    bitmap.RowIndex = static_cast<uint16_t>(bitmap.RowIndex + count);
    bitmap.RowBits = reinterpret_cast<uint8_t*>(row);
    bitmap.NextRowBits = reinterpret_cast<uint8_t*>(row + stride);
}
uint8_t* RowPlane(const PlaneBitmap& bitmap, uint32_t plane);
uint8_t* PrevRowPlane(const PlaneBitmap& bitmap, uint32_t plane);
uint8_t* NextRowPlane(const PlaneBitmap& bitmap, uint32_t plane);

int32_t Clear(PlaneBitmap& bitmap, uint32_t value);
int32_t Rotate180(PlaneBitmap& bitmap, uint32_t rows);
void ClearPixel(PlaneBitmap& bitmap, uint32_t x, uint32_t y);

// True when the bitmap has a header with bits: the condition for any primitive to draw.
inline bool HasPixels(const PlaneBitmap* bitmap) {
    return bitmap != nullptr && bitmap->Header != nullptr && bitmap->Header->Bits != nullptr;
}

} // namespace marl
