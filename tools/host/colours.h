// Colours as the page gives them ("#RRGGBB") and as the library takes them.
//
// The library's colour holds the samples of planes 0, 1 and 2 in bytes 0, 1 and 2. The host
// gives plane 0 to red, plane 1 to green and plane 2 to blue, and the picture it writes
// takes its red, green and blue samples from planes 0, 1 and 2 in the same way.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace marlhost {

inline constexpr uint32_t LibraryColour(uint8_t red, uint8_t green, uint8_t blue) {
    return uint32_t{red} | uint32_t{green} << 8 | uint32_t{blue} << 16;
}

inline constexpr uint8_t PlaneSample(uint32_t colour, unsigned plane) {
    return static_cast<uint8_t>(colour >> (8 * plane));
}

// "#RRGGBB" (hex digits in either case) as a library colour; nothing for any other text.
std::optional<uint32_t> ParseColour(std::string_view text);

} // namespace marlhost
