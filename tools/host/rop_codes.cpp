#include "host/rop_codes.h"

#include <array>
#include <cstdio>

namespace marlhost {

namespace {

struct NamedRop {
    const char* Name;
    uint8_t Code;
};

constexpr std::array<NamedRop, 15> kNamedRops{{
    {"SRCCOPY", 0xCC},
    {"SRCPAINT", 0xEE},
    {"SRCAND", 0x88},
    {"SRCINVERT", 0x66},
    {"SRCERASE", 0x44},
    {"NOTSRCCOPY", 0x33},
    {"NOTSRCERASE", 0x11},
    {"MERGECOPY", 0xC0},
    {"MERGEPAINT", 0xBB},
    {"PATCOPY", 0xF0},
    {"PATPAINT", 0xFB},
    {"PATINVERT", 0x5A},
    {"DSTINVERT", 0x55},
    {"BLACKNESS", 0x00},
    {"WHITENESS", 0xFF},
}};

constexpr std::array<uint8_t, 16> kPatternDestCodes{0x00, 0x05, 0x0A, 0x0F, 0x50, 0x55, 0x5A, 0x5F,
                                                    0xA0, 0xA5, 0xAA, 0xAF, 0xF0, 0xF5, 0xFA, 0xFF};

std::optional<uint8_t> ParseHex(std::string_view digits) {
    if (digits.empty() || digits.size() > 2) return std::nullopt;
    unsigned value = 0;
    for (char c : digits) {
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return std::nullopt;
        value = value * 16 + digit;
    }
    return static_cast<uint8_t>(value);
}

} // namespace

std::optional<uint8_t> ParseRopName(std::string_view text) {
    for (const NamedRop& rop : kNamedRops)
        if (text == rop.Name) return rop.Code;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        return ParseHex(text.substr(2));
    return std::nullopt;
}

bool IsPatternDestCode(uint8_t code) {
    for (uint8_t known : kPatternDestCodes)
        if (known == code) return true;
    return false;
}

std::string HexCode(uint8_t code) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", code);
    return text;
}

std::string KnownRopNames() {
    std::string names;
    for (const NamedRop& rop : kNamedRops) {
        if (!names.empty()) names += ", ";
        names += rop.Name;
    }
    return names;
}

} // namespace marlhost
