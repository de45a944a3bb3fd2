#include "host/colours.h"

namespace marlhost {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<uint8_t> HexByte(std::string_view two) {
    int high = HexDigit(two[0]);
    int low = HexDigit(two[1]);
    if (high < 0 || low < 0) return std::nullopt;
    return static_cast<uint8_t>(high * 16 + low);
}

} // namespace

std::optional<uint32_t> ParseColour(std::string_view text) {
    if (text.size() != 7 || text[0] != '#') return std::nullopt;
    auto red = HexByte(text.substr(1, 2));
    auto green = HexByte(text.substr(3, 2));
    auto blue = HexByte(text.substr(5, 2));
    if (!red || !green || !blue) return std::nullopt;
    return LibraryColour(*red, *green, *blue);
}

} // namespace marlhost
