// Build and Prepare: the row routine of one transfer. The sixteen catalogue codes get their
// prebuilt routine patched with the request's values; every other code goes to the
// generator. Called under the transfer lock, like everything that touches the code areas.
#include "render24/blit/blit_request.h"
#include "render24/blit/blit_routine.h"
#include "render24/blit/code_area.h"
#include "render24/blit/serial/rop_compiler.h"
#include "render24/blit/serial/templates.h"

namespace marl {
namespace {

uint32_t AddressValue(const uint8_t* address) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(address));
}

bool PrepareReturnAtOnce(BlitRoutine& routine) {
    if (!TemplateArea().Usable()) return false;
    routine.Entry = AddressValue(ReturnAtOnceRoutine());
    return true;
}

bool PreparePrebuilt(BlitRoutine& routine, const BlitRequest& request) {
    if (!TemplateArea().Usable()) return false;
    const TemplateVariant variant =
        ChooseVariant(request.Rop, request.PatternRows, request.SourceBits == 1);
    const BlitTemplate* prebuilt = FindTemplate(request.Rop, variant);
    if (!PatchTemplate(*prebuilt, request)) return false;
    routine.Entry = AddressValue(prebuilt->Entry);
    return true;
}

// The routine of a request: the generated ones written into the code buffer, or kept in the
// routine cache (keep).
bool PrepareRoutine(BlitRoutine& routine, const BlitRequest& asked, bool keep) {
    const BlitRequest request = asked.PatternOrSolid();
    routine.Entry = 0;
    // The routines count down after each pixel, so a row of no pixels would run through the
    // whole address space: it gets a routine that returns at once, whatever the code.
    if (request.RowWidth == 0) return PrepareReturnAtOnce(routine);
    if (InTemplateCatalogue(request.Rop)) return PreparePrebuilt(routine, request);
    if (keep) return CompileKeptRop(routine, request);
    return CompileRop(routine, request);
}

} // namespace

BlitRoutine* BlitRoutine::Build(uint32_t rop, uint32_t brushPattern, uint32_t patternColor,
                                uint32_t sourcePlaneStride, uint32_t destPlaneStride,
                                uint32_t patternWidth, uint32_t patternPhase, uint32_t rowWidth,
                                uint32_t sourceBits, uint32_t clearBitColor, uint32_t setBitColor,
                                uint32_t bitPhase, uint16_t* result) {
    const BlitRequest request = NormaliseRequest(
        rop, brushPattern, patternColor, sourcePlaneStride, destPlaneStride, patternWidth,
        patternPhase, rowWidth, sourceBits, clearBitColor, setBitColor, bitPhase);
    const bool ready = PrepareRoutine(*this, request, false);
    if (result) *result = ready ? 0 : 1;
    return this;
}

bool BlitRoutine::Prepare(const BlitRequest& request) {
    return PrepareRoutine(*this, request, true);
}

} // namespace marl
