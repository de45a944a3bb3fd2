#include "marlrend/marlrend.h"

uint32_t RPFillScanRows(RenderDevice*, uint32_t, uint32_t, const ScanSpan*, RealizedBrush*,
                        uint32_t, uint32_t, uint32_t) {
    return 0;
}
