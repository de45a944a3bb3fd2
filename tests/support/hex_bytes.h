// Machine code written as text in tests: "8B 7D 0C" and back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace marltest {

// Parses whitespace-separated hex bytes.
std::vector<uint8_t> Hex(const std::string& text);
// Bytes as "8B 7D 0C ...", sixteen to a line, so that a failed comparison shows where.
std::string HexText(const std::vector<uint8_t>& bytes);

} // namespace marltest
