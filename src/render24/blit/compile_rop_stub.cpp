// Stand-in for the generator until it is merged: a routine that returns at once, in the code
// buffer. Weak, so the generator's own definition replaces it as soon as it is linked in.
#include "render24/blit/blit_routine.h"
#include "render24/blit/code_area.h"

#include <cstring>

__attribute__((weak)) uint16_t marl::BlitRoutine::CompileRop(uint32_t, uint32_t, uint32_t, uint32_t,
                                                             uint32_t, uint32_t, uint32_t, uint32_t,
                                                             uint32_t, uint32_t, uint32_t,
                                                             uint32_t) {
    static const uint8_t epilogue[] = {0x5F, 0x5E, 0x5B, 0xC9, 0xC2, 0x0C, 0x00};
    CodeArea& buffer = CodeBufferArea();
    std::memcpy(buffer.Base, epilogue, sizeof epilogue);
    MakeExecutable(buffer);
    Entry = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(buffer.Base));
    return 1;
}
