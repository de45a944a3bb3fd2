// Stand-in until Build lands from its own branch: every request gets a routine that only
// returns, so transfers run end to end without drawing.
#include "render24/blit/blit_routine.h"
#include "render24/blit/code_area.h"

#include <cstring>

namespace marl {

BlitRoutine* BlitRoutine::Build(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t,
                                uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t,
                                uint16_t* result) {
    static const uint8_t kEpilogue[] = {0x5F, 0x5E, 0x5B, 0xC9, 0xC2, 0x0C, 0x00};
    *result = 0;
    CodeArea& area = CodeBufferArea();
    std::memcpy(area.Base, kEpilogue, sizeof kEpilogue);
    MakeExecutable(area);
    Entry = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(area.Base));
    return this;
}

} // namespace marl
