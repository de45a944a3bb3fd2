#include "marlrend/marlrend.h"

uint32_t RPDrawLine(RenderDevice*, uint32_t, const RunSliceLine*, uint32_t, uint32_t, uint32_t,
                    uint32_t) {
    return 0;
}
