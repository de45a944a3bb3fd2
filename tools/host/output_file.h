// Writing a finished file whole or not at all.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace marlhost {

// Writes bytes to a temporary file beside path, flushes it to the disk and renames it onto
// path. Only a regular file (or nothing) at path is replaced: a directory, device or FIFO there
// is refused. On any failure, a full disk or a file size limit included, the temporary file is
// removed, path is left as it was and an output error is thrown.
void WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes);

} // namespace marlhost
