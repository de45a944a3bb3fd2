// Writing the page picture as PNG, whole or not at all.
#pragma once

#include "host/band_renderer.h"

#include <string>

namespace marlhost {

// Encodes the picture, writes it to a temporary file beside path and renames that onto
// path; on any failure the temporary file is removed and an output error thrown, and path is
// left as it was.
void WritePng(const PageImage& image, const std::string& path);

} // namespace marlhost
