// Build and Prepare: the row routine of one transfer. The sixteen catalogue codes get their
// prebuilt routine patched with the request's values; every other code goes to the
// generator. Called under the transfer lock, like everything that touches the code areas.
#include "render24/blit/blit_routine.h"
#include "render24/blit/code_area.h"
#include "render24/blit/row_routine.h"
#include "render24/blit/serial/rop_compiler.h"
#include "render24/blit/serial/templates.h"

namespace marl {
namespace {

uint16_t Low16(uint32_t value) { return static_cast<uint16_t>(value & 0xFFFF); }
uint8_t ByteOf(uint32_t colour, uint32_t plane) {
    return static_cast<uint8_t>(colour >> (8 * plane));
}

// The pattern values a routine can use without leaving the pattern row. A pattern row of
// width 0 holds no sample: such a request is drawn with the solid PatternColor, as a brush
// without a pattern is. A phase at or past the width is taken modulo the width, which keeps
// the pattern pointer inside its plane run.
struct PatternChoice {
    uint32_t BrushPattern;
    uint16_t Phase;
};
PatternChoice ChoosePattern(uint32_t brushPattern, uint32_t patternWidth, uint32_t patternPhase) {
    uint16_t width = Low16(patternWidth);
    if (Low16(brushPattern) == 0 || width == 0) return {0, 0};
    return {brushPattern, static_cast<uint16_t>(Low16(patternPhase) % width)};
}

TemplateValues SplitValues(const PatternChoice& pattern, uint32_t patternColor,
                           uint32_t sourcePlaneStride, uint32_t destPlaneStride,
                           uint32_t patternWidth, uint32_t rowWidth, uint32_t sourceBits,
                           uint32_t clearBitColor, uint32_t setBitColor, uint32_t bitPhase) {
    TemplateValues values;
    values.RowWidth = Low16(rowWidth);
    values.DestPlaneStride = Low16(destPlaneStride);
    // Only a source of three plane runs steps from run to run; a source of any other depth
    // but 1 holds one sample per pixel for all three planes, as the generator reads it.
    values.SourcePlaneStride = Low16(sourceBits) == 24 ? Low16(sourcePlaneStride) : 0;
    values.PatternWidth = Low16(patternWidth);
    values.PatternPhase = pattern.Phase;
    values.BitPhase = static_cast<uint8_t>(bitPhase);
    bool solid = pattern.BrushPattern == 0, oneBit = Low16(sourceBits) == 1;
    for (uint32_t plane = 0; plane < 3; ++plane) {
        values.Color[plane] = solid ? ByteOf(patternColor, plane) : 0;
        values.ClearBit[plane] = oneBit ? ByteOf(clearBitColor, plane) : 0;
        values.SetBit[plane] = oneBit ? ByteOf(setBitColor, plane) : 0;
    }
    return values;
}

uint32_t AddressValue(const uint8_t* address) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(address));
}

bool PrepareReturnAtOnce(BlitRoutine& routine) {
    if (!TemplateArea().Usable()) return false;
    routine.Entry = AddressValue(ReturnAtOnceRoutine());
    return true;
}

bool PreparePrebuilt(BlitRoutine& routine, const RopRequestValues& request,
                     const PatternChoice& pattern) {
    if (!TemplateArea().Usable()) return false;
    TemplateValues values = SplitValues(pattern, request.PatternColor, request.SourcePlaneStride,
                                        request.DestPlaneStride, request.PatternWidth,
                                        request.RowWidth, request.SourceBits, request.ClearBitColor,
                                        request.SetBitColor, request.BitPhase);
    TemplateVariant variant =
        ChooseVariant(request.Rop, pattern.BrushPattern != 0, Low16(request.SourceBits) == 1);
    const BlitTemplate* prebuilt = FindTemplate(request.Rop, variant);
    if (!PatchTemplate(*prebuilt, values)) return false;
    routine.Entry = AddressValue(prebuilt->Entry);
    return true;
}

// The routine of a request: the generated ones written into the code buffer, or kept in the
// routine cache (keep).
bool PrepareRoutine(BlitRoutine& routine, RopRequestValues request, bool keep) {
    const PatternChoice pattern =
        ChoosePattern(request.BrushPattern, request.PatternWidth, request.PatternPhase);
    routine.Entry = 0;
    // The routines count down after each pixel, so a row of no pixels would run through the
    // whole address space: it gets a routine that returns at once, whatever the code.
    if (Low16(request.RowWidth) == 0) return PrepareReturnAtOnce(routine);
    if (InTemplateCatalogue(request.Rop)) return PreparePrebuilt(routine, request, pattern);
    request.BrushPattern = pattern.BrushPattern;
    request.PatternPhase = pattern.Phase;
    if (keep) return CompileKeptRop(routine, request);
    return routine.CompileRop(request.Rop, request.BrushPattern, request.PatternColor,
                              request.SourcePlaneStride, request.DestPlaneStride,
                              request.PatternWidth, request.PatternPhase, request.RowWidth,
                              request.SourceBits, request.ClearBitColor, request.SetBitColor,
                              request.BitPhase) != 0;
}

} // namespace

BlitRoutine* BlitRoutine::Build(uint32_t rop, uint32_t brushPattern, uint32_t patternColor,
                                uint32_t sourcePlaneStride, uint32_t destPlaneStride,
                                uint32_t patternWidth, uint32_t patternPhase, uint32_t rowWidth,
                                uint32_t sourceBits, uint32_t clearBitColor, uint32_t setBitColor,
                                uint32_t bitPhase, uint16_t* result) {
    const RopRequestValues request{
        rop,          brushPattern, patternColor, sourcePlaneStride, destPlaneStride, patternWidth,
        patternPhase, rowWidth,     sourceBits,   clearBitColor,     setBitColor,     bitPhase};
    const bool ready = PrepareRoutine(*this, request, false);
    if (result) *result = ready ? 0 : 1;
    return this;
}

bool BlitRoutine::Prepare(const RoutineRequest& r) {
    const RopRequestValues request{
        r.Rop,          r.BrushPattern, r.PatternColor, r.SourcePlaneStride, r.DestPlaneStride,
        r.PatternWidth, r.PatternPhase, r.RowWidth,     r.SourceBits,        r.ClearBitColor,
        r.SetBitColor,  r.BitPhase};
    return PrepareRoutine(*this, request, true);
}

} // namespace marl
