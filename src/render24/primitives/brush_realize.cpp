#include "marlrend/marlrend.h"

uint32_t RPRealizeBrush(RenderDevice*, void*, RealizedBrush*, uint32_t, uint32_t, uint32_t,
                        uint32_t, uint32_t) {
    return 0;
}
