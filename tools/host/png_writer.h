// Writing the page picture as PNG, whole or not at all.
#pragma once

#include "host/band_renderer.h"

#include <cstdint>
#include <string>
#include <vector>

namespace marlhost {

// The picture as a PNG file (8-bit RGB), encoded for speed: zlib at a low level, rows filtered
// with the "up" filter, which costs one subtraction a byte and suits pages of flat areas. Throws
// an output error naming path when encoding fails.
std::vector<uint8_t> EncodePng(const PageImage& image, const std::string& path);

// Encodes the picture and writes it with WriteWholeFile: on any failure the temporary file is
// removed, an output error thrown, and path left as it was.
void WritePng(const PageImage& image, const std::string& path);

} // namespace marlhost
