#include "render24/primitives/contone_rop.h"

namespace marl {

PatternDestKind ClassifyPatternDest(uint32_t code) {
    return DispatchPatternDest(code, [](auto) {});
}

} // namespace marl
