// Records exchanged between a printer driver and MARLREND.
//
// Every record that crosses the driver boundary is packed and keeps fixed byte offsets; the
// offsets are asserted below so that a compiler or a careless edit cannot move a field.
//
// One header serves both editions of the library. In the 32-bit edition (i386, Win32) every
// pointer and handle is 32 bits wide. In the 64-bit edition (x86-64 Linux, Win64) every
// pointer and handle is 64 bits wide; the records stay packed with their fields in the same
// order, so the offsets behind the first pointer move, and each edition asserts its own.
#pragma once

#include <cstddef>
#include <cstdint>

#if UINTPTR_MAX == 0xFFFFFFFFu
#define MARLREND_POINTER_BITS 32
#elif UINTPTR_MAX == 0xFFFFFFFFFFFFFFFFu
#define MARLREND_POINTER_BITS 64
#else
#error "MARLREND records hold 32-bit or 64-bit pointers"
#endif

// A value that holds a global-memory handle, or an address in place of one: as wide as a
// pointer in each edition.
#if MARLREND_POINTER_BITS == 32
using MarlHandleField = uint32_t;
#else
using MarlHandleField = uint64_t;
#endif
static_assert(sizeof(MarlHandleField) == sizeof(void*));

class HostAllocator;
struct PlaneBitmap;

#pragma pack(push, 1)

// The Windows physical (device-dependent) bitmap header.
struct BitmapHeader {
    int16_t Type;
    uint16_t Width;        // pixels
    uint16_t Height;       // rows
    uint16_t WidthBytes;   // bytes in one row of one plane
    uint8_t Planes;        // 3 for the 24-bit surface, 1 for 1-bit and 8-bit bitmaps
    uint8_t BitsPixel;     // bits per pixel in each plane
    uint8_t* Bits;         // first byte of the pixel data
    uint32_t WidthPlanes;  // WidthBytes x Height
    void* DeviceRef;       // the RenderDevice the bitmap was created for, or 0
    uint16_t SegmentIndex; // segmented bitmaps only
    uint16_t ScanSegment;  // segmented bitmaps only
    uint16_t FillBytes;    // segmented bitmaps only
    uint16_t Reserved[2];
};

// The surface object: a header plus a cursor on one row. A driver that makes its own band
// surface fills Header and zeroes the rest (see MarlAttachSurface below); every primitive
// positions the cursor itself.
struct PlaneBitmap {
    BitmapHeader* Header;
    uint8_t* PrevRowBits;
    uint8_t* RowBits;
    uint8_t* NextRowBits;
    uint16_t RowIndex;
    uint32_t OwnsBits;
    MarlHandleField BitsHandle;
    uint32_t Segmented;
    HostAllocator* Allocator;
};

// The driver's device record. Only Allocator and Surface are read by the library; the
// remaining bytes are the driver's. The driver's blocks keep their sizes in both editions, so
// in the 64-bit edition Allocator stays at 544 and Surface moves to 568 (544 + 8 + 16): both
// fall on 8-byte boundaries, and the record grows by 8 bytes to 773.
struct RenderDevice {
    uint8_t DriverData0[544];
    HostAllocator* Allocator;
    uint8_t DriverData1[16];
    PlaneBitmap* Surface;
    uint8_t DriverData2[197];
};

// A line already cut into run-length slices by the driver.
struct RunSliceLine {
    int16_t StartX;
    int16_t StartY;
    uint8_t DriverData[4];
    int16_t RunStepX;
    int16_t RunStepY;
    int16_t SliceStepX;
    int16_t SliceStepY;
    int16_t ErrorTerm;
    int16_t ErrorAdjustLong;
    int16_t ErrorAdjustShort;
    uint16_t FirstRun;
    uint16_t LastRun;
    uint16_t MiddleRuns;
    int16_t BaseRun;
};

// One horizontal span; spans lie 36 bytes apart.
struct ScanSpan {
    int16_t Y;
    int16_t Left;
    int16_t Right; // one past the last pixel
    uint8_t DriverData[30];
};

// The 16-bit Windows logical brush.
//
// A style-3 brush names its pattern's BitmapHeader by address in Color or by a global-memory
// handle in Hatch. Color is as wide as a pointer so that it can carry the address: 32 bits in
// the 32-bit edition, 64 bits in the 64-bit edition, where a colour sits in its low 32 bits.
// Hatch stays 16 bits in both. A 16-bit value can carry a handle only where handles are that
// small (the POSIX stand-ins of the 32-bit edition); Win32 handles are 32-bit and 64-bit
// handles wider still, so there a pattern brush passes its header by address in Color and
// leaves Hatch 0.
struct LogicalBrush {
    uint16_t Style;        // 2 hatched, 3 pattern; anything else has no pattern
    MarlHandleField Color; // colour; style 3: may hold the address of the pattern's BitmapHeader
    uint16_t Hatch;        // style 2: hatch style 0..5; style 3: global-memory handle of the header
};

// The 1-bit source of a pattern brush, kept so a transfer can expand it with other colours.
struct MonoPattern {
    uint32_t ForeColor;
    uint32_t BackColor;
    uint16_t Width;
    uint16_t Height;
    uint16_t WidthBytes;
    uint8_t Rows[1]; // Height x WidthBytes bytes follow
};

// Color is the brush's colour only, 32 bits in both editions: a realization keeps the low 32
// bits of LogicalBrush::Color, and the pattern's header is never read again after it.
struct RealizedBrush {
    uint16_t Style;
    uint32_t Color;
    uint16_t Hatch;
    uint32_t BackColor;
    int16_t OriginX;
    int16_t OriginY;
    int16_t Width;  // expanded pattern width in pixels; 0 without pattern
    int16_t Height; // expanded pattern height in rows; 0 without pattern
    uint8_t* Bits;  // Height rows of plane 0, 1, 2 runs of Width bytes
    MonoPattern* MonoSource;
};

// The drawing-mode record of the driver; four colours are read.
struct DrawColors {
    uint32_t DriverData0;
    uint32_t BackColor;
    uint32_t TextColor;
    uint8_t DriverData1[12];
    uint32_t LogicalBackColor;
    uint32_t LogicalTextColor;
};

using RPRealizeBrushFn = uint32_t (*)(RenderDevice* device, void* in, RealizedBrush* out,
                                      uint32_t origin, uint32_t xFactor, uint32_t yFactor,
                                      uint32_t spare, uint32_t backColor);
using RPPixelFn = uint32_t (*)(RenderDevice* device, uint32_t reserved, uint32_t x, uint32_t y,
                               uint32_t colour, uint32_t code);
using RPDrawLineFn = uint32_t (*)(RenderDevice* device, uint32_t reserved, const RunSliceLine* line,
                                  uint32_t reserved4, uint32_t reserved5, uint32_t code,
                                  uint32_t colour);
using RPFillScanRowsFn = uint32_t (*)(RenderDevice* device, uint32_t reserved, uint32_t count,
                                      const ScanSpan* spans, RealizedBrush* brush,
                                      uint32_t reserved6, uint32_t reserved7, uint32_t code);
using RPBitBltFn = uint32_t (*)(RenderDevice* device, BitmapHeader* destination, uint32_t x,
                                uint32_t y, uint32_t width, uint32_t height, BitmapHeader* source,
                                uint32_t rop, RealizedBrush* brush, const DrawColors* colors,
                                uint32_t reserved, const uint8_t* palette, uint32_t monoExpand);
using RPStretchDIBitsFn = uint32_t (*)(...);

// Filled by RPGetCapabilities: a zero byte, then six entry addresses back to back.
struct CapabilityTable {
    uint8_t Zero;
    RPRealizeBrushFn RealizeBrush;
    RPPixelFn Pixel;
    RPDrawLineFn DrawLine;
    RPFillScanRowsFn FillScanRows;
    RPBitBltFn BitBlt;
    RPStretchDIBitsFn StretchDIBits;
};

#pragma pack(pop)

// Records without pointers or handles have one layout in both editions.
static_assert(sizeof(RunSliceLine) == 30);
static_assert(offsetof(RunSliceLine, StartX) == 0);
static_assert(offsetof(RunSliceLine, StartY) == 2);
static_assert(offsetof(RunSliceLine, RunStepX) == 8);
static_assert(offsetof(RunSliceLine, RunStepY) == 10);
static_assert(offsetof(RunSliceLine, SliceStepX) == 12);
static_assert(offsetof(RunSliceLine, SliceStepY) == 14);
static_assert(offsetof(RunSliceLine, ErrorTerm) == 16);
static_assert(offsetof(RunSliceLine, ErrorAdjustLong) == 18);
static_assert(offsetof(RunSliceLine, ErrorAdjustShort) == 20);
static_assert(offsetof(RunSliceLine, FirstRun) == 22);
static_assert(offsetof(RunSliceLine, LastRun) == 24);
static_assert(offsetof(RunSliceLine, MiddleRuns) == 26);
static_assert(offsetof(RunSliceLine, BaseRun) == 28);

static_assert(sizeof(ScanSpan) == 36);
static_assert(offsetof(ScanSpan, Y) == 0);
static_assert(offsetof(ScanSpan, Left) == 2);
static_assert(offsetof(ScanSpan, Right) == 4);

static_assert(sizeof(MonoPattern) == 15);
static_assert(offsetof(MonoPattern, ForeColor) == 0);
static_assert(offsetof(MonoPattern, BackColor) == 4);
static_assert(offsetof(MonoPattern, Width) == 8);
static_assert(offsetof(MonoPattern, Height) == 10);
static_assert(offsetof(MonoPattern, WidthBytes) == 12);
static_assert(offsetof(MonoPattern, Rows) == 14);
inline constexpr uint32_t kMonoPatternHeaderSize = 14;

static_assert(sizeof(DrawColors) == 32);
static_assert(offsetof(DrawColors, BackColor) == 4);
static_assert(offsetof(DrawColors, TextColor) == 8);
static_assert(offsetof(DrawColors, LogicalBackColor) == 24);
static_assert(offsetof(DrawColors, LogicalTextColor) == 28);

#if MARLREND_POINTER_BITS == 32

static_assert(sizeof(BitmapHeader) == 32);
static_assert(offsetof(BitmapHeader, Type) == 0);
static_assert(offsetof(BitmapHeader, Width) == 2);
static_assert(offsetof(BitmapHeader, Height) == 4);
static_assert(offsetof(BitmapHeader, WidthBytes) == 6);
static_assert(offsetof(BitmapHeader, Planes) == 8);
static_assert(offsetof(BitmapHeader, BitsPixel) == 9);
static_assert(offsetof(BitmapHeader, Bits) == 10);
static_assert(offsetof(BitmapHeader, WidthPlanes) == 14);
static_assert(offsetof(BitmapHeader, DeviceRef) == 18);
static_assert(offsetof(BitmapHeader, SegmentIndex) == 22);
static_assert(offsetof(BitmapHeader, ScanSegment) == 24);
static_assert(offsetof(BitmapHeader, FillBytes) == 26);
static_assert(offsetof(BitmapHeader, Reserved) == 28);

static_assert(sizeof(PlaneBitmap) == 34);
static_assert(offsetof(PlaneBitmap, Header) == 0);
static_assert(offsetof(PlaneBitmap, PrevRowBits) == 4);
static_assert(offsetof(PlaneBitmap, RowBits) == 8);
static_assert(offsetof(PlaneBitmap, NextRowBits) == 12);
static_assert(offsetof(PlaneBitmap, RowIndex) == 16);
static_assert(offsetof(PlaneBitmap, OwnsBits) == 18);
static_assert(offsetof(PlaneBitmap, BitsHandle) == 22);
static_assert(offsetof(PlaneBitmap, Segmented) == 26);
static_assert(offsetof(PlaneBitmap, Allocator) == 30);

static_assert(sizeof(RenderDevice) == 765);
static_assert(offsetof(RenderDevice, Allocator) == 544);
static_assert(offsetof(RenderDevice, Surface) == 564);

static_assert(sizeof(LogicalBrush) == 8);
static_assert(offsetof(LogicalBrush, Style) == 0);
static_assert(offsetof(LogicalBrush, Color) == 2);
static_assert(offsetof(LogicalBrush, Hatch) == 6);

static_assert(sizeof(RealizedBrush) == 28);
static_assert(offsetof(RealizedBrush, Style) == 0);
static_assert(offsetof(RealizedBrush, Color) == 2);
static_assert(offsetof(RealizedBrush, Hatch) == 6);
static_assert(offsetof(RealizedBrush, BackColor) == 8);
static_assert(offsetof(RealizedBrush, OriginX) == 12);
static_assert(offsetof(RealizedBrush, OriginY) == 14);
static_assert(offsetof(RealizedBrush, Width) == 16);
static_assert(offsetof(RealizedBrush, Height) == 18);
static_assert(offsetof(RealizedBrush, Bits) == 20);
static_assert(offsetof(RealizedBrush, MonoSource) == 24);

static_assert(sizeof(CapabilityTable) == 25);
static_assert(offsetof(CapabilityTable, Zero) == 0);
static_assert(offsetof(CapabilityTable, RealizeBrush) == 1);
static_assert(offsetof(CapabilityTable, Pixel) == 5);
static_assert(offsetof(CapabilityTable, DrawLine) == 9);
static_assert(offsetof(CapabilityTable, FillScanRows) == 13);
static_assert(offsetof(CapabilityTable, BitBlt) == 17);
static_assert(offsetof(CapabilityTable, StretchDIBits) == 21);

#else

static_assert(sizeof(BitmapHeader) == 40);
static_assert(offsetof(BitmapHeader, Type) == 0);
static_assert(offsetof(BitmapHeader, Width) == 2);
static_assert(offsetof(BitmapHeader, Height) == 4);
static_assert(offsetof(BitmapHeader, WidthBytes) == 6);
static_assert(offsetof(BitmapHeader, Planes) == 8);
static_assert(offsetof(BitmapHeader, BitsPixel) == 9);
static_assert(offsetof(BitmapHeader, Bits) == 10);
static_assert(offsetof(BitmapHeader, WidthPlanes) == 18);
static_assert(offsetof(BitmapHeader, DeviceRef) == 22);
static_assert(offsetof(BitmapHeader, SegmentIndex) == 30);
static_assert(offsetof(BitmapHeader, ScanSegment) == 32);
static_assert(offsetof(BitmapHeader, FillBytes) == 34);
static_assert(offsetof(BitmapHeader, Reserved) == 36);

static_assert(sizeof(PlaneBitmap) == 58);
static_assert(offsetof(PlaneBitmap, Header) == 0);
static_assert(offsetof(PlaneBitmap, PrevRowBits) == 8);
static_assert(offsetof(PlaneBitmap, RowBits) == 16);
static_assert(offsetof(PlaneBitmap, NextRowBits) == 24);
static_assert(offsetof(PlaneBitmap, RowIndex) == 32);
static_assert(offsetof(PlaneBitmap, OwnsBits) == 34);
static_assert(offsetof(PlaneBitmap, BitsHandle) == 38);
static_assert(offsetof(PlaneBitmap, Segmented) == 46);
static_assert(offsetof(PlaneBitmap, Allocator) == 50);

static_assert(sizeof(RenderDevice) == 773);
static_assert(offsetof(RenderDevice, Allocator) == 544);
static_assert(offsetof(RenderDevice, Surface) == 568);

static_assert(sizeof(LogicalBrush) == 12);
static_assert(offsetof(LogicalBrush, Style) == 0);
static_assert(offsetof(LogicalBrush, Color) == 2);
static_assert(offsetof(LogicalBrush, Hatch) == 10);

static_assert(sizeof(RealizedBrush) == 36);
static_assert(offsetof(RealizedBrush, Style) == 0);
static_assert(offsetof(RealizedBrush, Color) == 2);
static_assert(offsetof(RealizedBrush, Hatch) == 6);
static_assert(offsetof(RealizedBrush, BackColor) == 8);
static_assert(offsetof(RealizedBrush, OriginX) == 12);
static_assert(offsetof(RealizedBrush, OriginY) == 14);
static_assert(offsetof(RealizedBrush, Width) == 16);
static_assert(offsetof(RealizedBrush, Height) == 18);
static_assert(offsetof(RealizedBrush, Bits) == 20);
static_assert(offsetof(RealizedBrush, MonoSource) == 28);

static_assert(sizeof(CapabilityTable) == 49);
static_assert(offsetof(CapabilityTable, Zero) == 0);
static_assert(offsetof(CapabilityTable, RealizeBrush) == 1);
static_assert(offsetof(CapabilityTable, Pixel) == 9);
static_assert(offsetof(CapabilityTable, DrawLine) == 17);
static_assert(offsetof(CapabilityTable, FillScanRows) == 25);
static_assert(offsetof(CapabilityTable, BitBlt) == 33);
static_assert(offsetof(CapabilityTable, StretchDIBits) == 41);

#endif
