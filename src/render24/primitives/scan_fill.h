// Span fills: lists of horizontal spans painted with a brush under a pattern/destination code.
#pragma once

#include "marlrend/records.h"
#include "render24/primitives/row_cursor.h"

#include <cstdint>

namespace marl {

// The spans painted into surface (may be null); listener, when given, hears every row move.
// What RPFillScanRows does after taking the device's Surface. Always answers 0.
uint32_t FillScanRows(PlaneBitmap* surface, uint32_t count, const ScanSpan* spans,
                      const RealizedBrush* brush, uint32_t code, RowMoveListener* listener);

} // namespace marl
