// The reference meaning of the sixteen pattern/destination codes of the pixel, line and span
// primitives, written out once more as plain formulas on ints, independently of the library.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace marltest {

// The new destination sample for code, or nothing when the code writes no sample (0xAA and
// every code outside the sixteen).
std::optional<uint8_t> ReferenceContone(uint8_t code, uint8_t d, uint8_t p);

// The sixteen codes, 0xAA included.
const std::vector<uint8_t>& ReferencePatternDestCodes();

// Random codes for differential runs: mostly the sixteen, now and then another one.
uint8_t PickCode(uint32_t random);

} // namespace marltest
