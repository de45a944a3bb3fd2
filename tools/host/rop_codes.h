// Raster-operation codes as a page names them: a ternary code by its usual name or in hex.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace marlhost {

// SRCCOPY, PATCOPY, ... or "0xNN"; nothing for an unknown name or a value above 0xFF.
std::optional<uint8_t> ParseRopName(std::string_view text);

// True for the sixteen codes that combine only the pattern and the destination: the only
// codes the pixel, line and span primitives handle.
bool IsPatternDestCode(uint8_t code);

// True when the code's result depends on the source.
constexpr bool ReadsSource(uint8_t code) { return ((code >> 2) & 0x33) != (code & 0x33); }
// True when the code's result depends on the pattern.
constexpr bool ReadsPattern(uint8_t code) { return ((code >> 4) & 0x0F) != (code & 0x0F); }

// "0x8E" for messages and labels.
std::string HexCode(uint8_t code);

// The names ParseRopName knows, for messages.
std::string KnownRopNames();

} // namespace marlhost
