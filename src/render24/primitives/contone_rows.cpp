#include "render24/primitives/contone_rows.h"

#include "render24/blit/vector/cpu_features.h"

namespace marl {

bool VectorRowsAvailable() { return vec::CpuHasSse2(); }

} // namespace marl
