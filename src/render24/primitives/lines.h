// Run-slice lines: the walk of a RunSliceLine over the destination.
#pragma once

#include "marlrend/records.h"
#include "render24/primitives/row_cursor.h"

#include <cstdint>

namespace marl {

// The line drawn into surface (may be null); listener, when given, hears every row move.
// What RPDrawLine does after taking the device's Surface. Always answers 0.
uint32_t DrawLine(PlaneBitmap* surface, const RunSliceLine* line, uint32_t code, uint32_t colour,
                  RowMoveListener* listener);

} // namespace marl
