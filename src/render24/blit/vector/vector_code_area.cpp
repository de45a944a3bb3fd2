// The buffer CompileVectorRop writes: a code area of its own, beside the routine cache's.
#include "render24/blit/code_area.h"

namespace marl {

CodeArea& VectorCodeArea() {
    static CodeArea area = MapCodeArea(kVectorCodeSize);
    return area;
}

} // namespace marl
