// An independent reading of a RunSliceLine: the positions the library's line walk visits,
// with its limits (x and y held inside the bitmap), step for step.
#pragma once

#include "marlrend/marlrend.h"

#include <cstdint>
#include <functional>

namespace marlhosttest {

void WalkRunSlices(const RunSliceLine& line, int32_t width, int32_t height,
                   const std::function<void(int32_t x, int32_t y)>& visit);

} // namespace marlhosttest
