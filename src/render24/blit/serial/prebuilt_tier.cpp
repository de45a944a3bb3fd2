#include "render24/blit/serial/prebuilt_tier.h"

#include "render24/blit/serial/templates.h"

namespace marl {
namespace {

uintptr_t AddressValue(const uint8_t* address) { return reinterpret_cast<uintptr_t>(address); }

} // namespace

// The routines count down after each pixel, so a row of no pixels would run through the whole
// address space: it gets the routine that returns at once.
bool PrebuiltTier::Serves(const BlitRequest& request) const {
    return request.RowWidth == 0 || InTemplateCatalogue(request.Rop);
}

bool PrebuiltTier::Prepare(BlitRoutine& routine, const BlitRequest& request, const TransferRows&) {
    routine.Entry = 0;
    if (!TemplateArea().Usable()) return false;
    if (request.RowWidth == 0) {
        routine.Entry = AddressValue(ReturnAtOnceRoutine());
        return true;
    }
    const TemplateVariant variant =
        ChooseVariant(request.Rop, request.PatternRows, request.SourceBits == 1);
    const BlitTemplate* prebuilt = FindTemplate(request.Rop, variant);
    if (!PatchTemplate(*prebuilt, request)) return false;
    routine.Entry = AddressValue(prebuilt->Entry);
    return true;
}

CodeArea& PrebuiltTier::Area() { return TemplateArea(); }

} // namespace marl
