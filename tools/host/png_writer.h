// Writing the page picture as PNG, whole or not at all.
#pragma once

#include "host/band_renderer.h"

#include <cstdint>
#include <string>
#include <vector>

namespace marlhost {

// The picture as a PNG file (8-bit RGB), encoded for speed: rows filtered with "up" (one
// subtraction a byte; pages of flat areas become runs of zeros), zlib at level 1, and the rows
// cut into parts that are compressed at the same time, one thread each, and joined into one
// zlib stream. `parts` 0 takes one part per processor (at most 8), and never parts of fewer
// than 256 rows. Throws an output error naming path when encoding fails.
std::vector<uint8_t> EncodePng(const PageImage& image, const std::string& path, int parts = 0);

// Encodes the picture and writes it with WriteWholeFile: on any failure the temporary file is
// removed, an output error thrown, and path left as it was.
void WritePng(const PageImage& image, const std::string& path);

} // namespace marlhost
