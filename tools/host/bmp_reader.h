// Reading Windows BMP files of 1, 4, 8 and 24 bits per pixel, uncompressed.
#pragma once

#include "host/image.h"

#include <cstdint>
#include <string>
#include <vector>

namespace marlhost {

// Decodes a BMP held in memory; `name` is used in messages. Throws a page error for anything
// that is not a well-formed, uncompressed BMP of 1, 4, 8 or 24 bits.
Image DecodeBmp(const std::vector<uint8_t>& file, const std::string& name);

// Reads and decodes the BMP at path.
Image ReadBmp(const std::string& path);

} // namespace marlhost
