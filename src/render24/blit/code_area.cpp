#include "render24/blit/code_area.h"

#include "platform/platform.h"
#include "render24/blit/blit_routine.h"

#include <initializer_list>

extern "C" {
// templates.S: the prebuilt routines, page-aligned, and the end of their bytes.
extern uint8_t MarlTemplateBlock[];
extern uint8_t MarlTemplateBlockEnd[];
}

namespace marl {
namespace {

// One page of its own: aligned to a page and as large as one.
alignas(4096) uint8_t CodeBuffer[4096];

} // namespace

CodeArea& CodeBufferArea() {
    static CodeArea area{CodeBuffer, kCodeBufferSize, PAGE_READWRITE, false};
    return area;
}

CodeArea& TemplateArea() {
    static CodeArea area{MarlTemplateBlock,
                         static_cast<uint32_t>(MarlTemplateBlockEnd - MarlTemplateBlock),
                         PAGE_READWRITE, false};
    return area;
}

void MakeExecutable(CodeArea& area) {
    DWORD previous = 0;
    if (VirtualProtect(area.Base, area.Size, PAGE_EXECUTE_READWRITE, &previous)) {
        // A second change within one transfer must not record our own setting as the one
        // to go back to.
        if (!area.Executable) area.SavedProtection = static_cast<uint32_t>(previous);
        area.Executable = true;
    }
}

uint32_t RestoreCodeAreas() {
    uint32_t result = 1;
    for (CodeArea* area : {&CodeBufferArea(), &TemplateArea(), &VectorCodeArea()}) {
        if (!area->Executable) continue;
        DWORD previous = 0;
        // An area that could not be set back stays marked, so that the next transfer keeps
        // its saved protection (instead of saving the executable one) and tries again.
        if (VirtualProtect(area->Base, area->Size, area->SavedProtection, &previous)) {
            area->Executable = false;
        } else {
            result = 0;
        }
    }
    return result;
}

uint32_t BlitRoutine::RestoreProtection() { return RestoreCodeAreas(); }

} // namespace marl
