#include "render24/blit/transfer/transfer_pattern.h"

#include "platform/platform.h"
#include "render24/primitives/brush_realize.h"
#include "render24/primitives/pattern_expand.h"

namespace marl {
namespace {

bool Readable(const void* pointer, uint64_t bytes) {
    return bytes <= 0xFFFFFFFFu && IsBadReadPtr(pointer, static_cast<UINT_PTR>(bytes)) == 0;
}

uint64_t PatternBytes(const RealizedBrush& brush) {
    return uint64_t(brush.Width) * uint64_t(brush.Height) * 3;
}

// The repeat counts of a re-expansion, when the kept 1-bit source can be expanded into the
// brush's pattern at all.
bool MonoFactors(const RealizedBrush& brush, const MonoPattern& mono, int32_t& xFactor,
                 int32_t& yFactor) {
    if (mono.Width == 0 || mono.Height == 0) return false;
    if (uint32_t{mono.WidthBytes} * 8 < mono.Width) return false;
    xFactor = brush.Width / mono.Width;
    yFactor = brush.Height / mono.Height;
    return xFactor > 0 && yFactor > 0;
}

} // namespace

const uint8_t* TransferPattern::Row(uint32_t r) const { return Bits + RowIndex(r) * Width * 3; }

uint32_t TransferPattern::RowIndex(uint32_t r) const {
    return PatternIndex(static_cast<int32_t>(r), OriginY, static_cast<int32_t>(Height));
}

uint32_t PatternIndex(int32_t position, int32_t origin, int32_t size) {
    int32_t index = (position - origin) % size;
    if (index < 0) index += size;
    return static_cast<uint32_t>(index);
}

bool HasPatternRows(const RealizedBrush& brush) {
    return brush.Width > 0 && brush.Height > 0 && brush.Bits != nullptr;
}

bool SelectPattern(const RealizedBrush* brush, uint32_t x, const DrawColors& colors,
                   TransferPattern& pattern) {
    pattern = TransferPattern{};
    if (brush == nullptr) {
        pattern.Color = SolidTextColour(colors);
        return true;
    }
    if (!HasPatternRows(*brush)) {
        // A hollow brush, or one whose pattern was never made: its colour, solid.
        pattern.Color = brush->Color;
        return true;
    }
    if (!Readable(brush->Bits, PatternBytes(*brush))) return false;
    // Build only asks whether the value is zero; a pattern is there, so it must not be.
    pattern.BrushPattern = brush->Style != 0 ? brush->Style : 1;
    pattern.Width = static_cast<uint32_t>(brush->Width);
    pattern.Height = static_cast<uint32_t>(brush->Height);
    pattern.Phase = PatternIndex(static_cast<int32_t>(x), brush->OriginX, brush->Width);
    pattern.OriginY = brush->OriginY;
    pattern.Bits = brush->Bits;
    return true;
}

bool RecolourMonoPattern(RealizedBrush& brush, const MonoColours& colours) {
    MonoPattern* mono = brush.MonoSource;
    if (mono == nullptr || !HasPatternRows(brush)) return false;
    if (!Readable(mono, kMonoPatternHeaderSize)) return false;
    if (mono->ForeColor == colours.Text && mono->BackColor == colours.Back) return false;
    int32_t xFactor = 0, yFactor = 0;
    if (!MonoFactors(brush, *mono, xFactor, yFactor)) return false;
    if (!Readable(mono, kMonoPatternHeaderSize + uint64_t{mono->Height} * mono->WidthBytes))
        return false;
    ExpandMonoPattern(MonoPatternRows(mono), brush.Bits, mono->Width, mono->Height,
                      mono->WidthBytes, xFactor, yFactor, PlaneSample(colours.Text, 0),
                      PlaneSample(colours.Text, 1), PlaneSample(colours.Text, 2),
                      PlaneSample(colours.Back, 0), PlaneSample(colours.Back, 1),
                      PlaneSample(colours.Back, 2));
    mono->ForeColor = colours.Text;
    mono->BackColor = colours.Back;
    return true;
}

} // namespace marl
