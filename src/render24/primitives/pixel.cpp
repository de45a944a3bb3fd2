// RPPixel: one pixel of the destination combined with a colour under a pattern/destination
// code.
#include "common/bitmap.h"
#include "marlrend/marlrend.h"
#include "render24/primitives/contone_rop.h"
#include "render24/primitives/row_cursor.h"

namespace {

constexpr uint32_t kPixelHandled = 0;
constexpr uint32_t kPixelNotHandled = 1;

uint8_t ColourByte(uint32_t colour, uint32_t plane) {
    return static_cast<uint8_t>(colour >> (8 * plane));
}

} // namespace

// The row is selected before the code is looked at, so the cursor is left on row y whatever
// the code. A pixel outside the bitmap (x past the drawable columns, y past the last row, or
// a destination without header or bits) is not written, and the call answers what it would
// have answered inside: 0 for the sixteen codes, 1 for the others.
uint32_t RPPixel(RenderDevice* device, uint32_t, uint32_t x, uint32_t y, uint32_t colour,
                 uint32_t code) {
    PlaneBitmap* surface = device ? device->Surface : nullptr;
    if (!marl::HasPixels(surface)) {
        return marl::ClassifyPatternDest(code) == marl::PatternDestKind::NotHandled
                   ? kPixelNotHandled
                   : kPixelHandled;
    }
    marl::RowCursor cursor(*surface, nullptr);
    cursor.Select(y);
    x &= 0xFFFF;
    bool inside = cursor.OnRow() && x < marl::DrawableColumns(*surface->Header);

    marl::PatternDestKind kind = marl::DispatchPatternDest(code, [&](auto op) {
        if (!inside) return;
        for (uint32_t k = 0; k < 3; ++k) {
            uint8_t* sample = cursor.Plane(k) + x;
            *sample = op.Apply(*sample, ColourByte(colour, k));
        }
    });
    return kind == marl::PatternDestKind::NotHandled ? kPixelNotHandled : kPixelHandled;
}
