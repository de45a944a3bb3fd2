// Compiled by the native x86-64 compiler (-m64) while the i386 suite is built: the public
// header's 64-bit offset assertions are evaluated, so a record that drifts in the 64-bit
// edition breaks the build of the suite although no 64-bit library is built yet.
#include "marlrend/marlrend.h"

#include <cstddef>

static_assert(sizeof(void*) == 8, "compile this check with -m64");
static_assert(MARLREND_POINTER_BITS == 64);

// Every pointer and handle field is as wide as a pointer in this edition...
static_assert(sizeof(BitmapHeader::Bits) == 8 && sizeof(BitmapHeader::DeviceRef) == 8);
static_assert(sizeof(PlaneBitmap::Header) == 8 && sizeof(PlaneBitmap::RowBits) == 8);
static_assert(sizeof(PlaneBitmap::BitsHandle) == 8 && sizeof(PlaneBitmap::Allocator) == 8);
static_assert(sizeof(RenderDevice::Allocator) == 8 && sizeof(RenderDevice::Surface) == 8);
static_assert(sizeof(LogicalBrush::Color) == 8);
static_assert(sizeof(RealizedBrush::Bits) == 8 && sizeof(RealizedBrush::MonoSource) == 8);
static_assert(sizeof(CapabilityTable::RealizeBrush) == 8);
static_assert(sizeof(CapabilityTable::StretchDIBits) == 8);

// ...while colours, counts and the hatch style keep their widths.
static_assert(sizeof(LogicalBrush::Hatch) == 2 && sizeof(RealizedBrush::Hatch) == 2);
static_assert(sizeof(RealizedBrush::Color) == 4 && sizeof(RealizedBrush::BackColor) == 4);
static_assert(sizeof(PlaneBitmap::OwnsBits) == 4 && sizeof(PlaneBitmap::Segmented) == 4);
static_assert(sizeof(BitmapHeader::WidthPlanes) == 4);

// The driver's blocks of the device record keep their sizes, so the record grows only by
// the two pointers.
static_assert(sizeof(RenderDevice) - 2 * sizeof(void*) == 765 - 2 * 4);

#ifdef MARL_LAYOUT64_EXPECT_BROKEN
// Built only by the test that shows this check is evaluated in 64-bit mode: the 32-bit offset
// of Surface must be refused here.
static_assert(offsetof(RenderDevice, Surface) == 564);
#endif
