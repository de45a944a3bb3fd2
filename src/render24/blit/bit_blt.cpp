#include "marlrend/marlrend.h"

uint32_t RPBitBlt(RenderDevice*, BitmapHeader*, uint32_t, uint32_t, uint32_t, uint32_t,
                  BitmapHeader*, uint32_t, RealizedBrush*, const DrawColors*, uint32_t,
                  const uint8_t*, uint32_t) {
    return 1;
}
