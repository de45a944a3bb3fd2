// The page the vector routines are written into: module data of its own, so that making it
// executable touches nothing else. RestoreCodeAreas sets it back with the other two areas.
#include "platform/platform.h"
#include "render24/blit/code_area.h"

namespace marl {
namespace {

alignas(4096) uint8_t VectorCode[kVectorCodeSize];

} // namespace

CodeArea& VectorCodeArea() {
    static CodeArea area{VectorCode, kVectorCodeSize, PAGE_READWRITE, false};
    return area;
}

} // namespace marl
