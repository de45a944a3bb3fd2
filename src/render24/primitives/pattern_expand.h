// Stand-in until the pattern expansion lands from its own branch.
#pragma once

#include <cstdint>

namespace marl {

void ExpandMonoPattern(const uint8_t* source, uint8_t* destination, int32_t width,
                       int32_t height, int32_t widthBytes, int32_t xFactor, int32_t yFactor,
                       uint8_t fore0, uint8_t fore1, uint8_t fore2, uint8_t back0,
                       uint8_t back1, uint8_t back2);

} // namespace marl
