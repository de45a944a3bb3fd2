#include "support/hex_bytes.h"

#include <sstream>

namespace marltest {

std::vector<uint8_t> Hex(const std::string& text) {
    std::istringstream in(text);
    std::vector<uint8_t> bytes;
    unsigned value;
    while (in >> std::hex >> value)
        bytes.push_back(static_cast<uint8_t>(value));
    return bytes;
}

std::string HexText(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (size_t i = 0; i < bytes.size(); ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
        text += (i % 16 == 15) ? '\n' : ' ';
    }
    return text;
}

} // namespace marltest
