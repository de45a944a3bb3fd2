// Stand-in until the pattern expansion lands from its own branch.
#include "render24/primitives/pattern_expand.h"

#include <cstring>

namespace marl {

void ExpandMonoPattern(const uint8_t* source, uint8_t* destination, int32_t width,
                       int32_t height, int32_t widthBytes, int32_t xFactor, int32_t yFactor,
                       uint8_t fore0, uint8_t fore1, uint8_t fore2, uint8_t back0,
                       uint8_t back1, uint8_t back2) {
    if (height <= 0 || width <= 0 || xFactor <= 0 || yFactor <= 0) return;
    int32_t run = width * xFactor, rowBytes = run * 3;
    for (int32_t i = 0; i < height; ++i) {
        uint8_t* group = destination + i * yFactor * rowBytes;
        const uint8_t* bits = source + i * widthBytes;
        for (int32_t x = 0; x < width; ++x) {
            bool set = (bits[x / 8] >> (7 - x % 8)) & 1;
            for (int32_t k = 0; k < xFactor; ++k) {
                group[x * xFactor + k] = set ? fore0 : back0;
                group[run + x * xFactor + k] = set ? fore1 : back1;
                group[2 * run + x * xFactor + k] = set ? fore2 : back2;
            }
        }
        for (int32_t r = 1; r < yFactor; ++r) std::memcpy(group + r * rowBytes, group, rowBytes);
    }
}

} // namespace marl
