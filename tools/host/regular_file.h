// Reading an input file whole, safely: only a regular file is read, never a directory, a FIFO
// or a device, and never more than a bound that fits the file's format. Every input the host
// reads (pages, pictures, fonts, metafiles) comes through here.
//
// For a new reader: call ReadRegularFile(path, bound, "an EMF file") with a bound that no
// sound file of the format exceeds; every failure is a HostError with the exit code for a bad
// page and a message that starts with the path, so the caller can pass it on as it is.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace marlhost {

// Bounds of the formats the host reads (bytes).
constexpr uint64_t kLargestPageFile = 16ull << 20;     // JSON pages (parsed, they take ~15x)
constexpr uint64_t kLargestPictureFile = 256ull << 20; // BMP pictures
constexpr uint64_t kLargestFontFile = 16ull << 20;     // PSF console fonts

// The whole file at path. The file is opened without blocking (a FIFO with no writer does not
// hang) and must be a regular file of at most `largest` bytes; `what` names the format in the
// message ("a page", "a BMP picture"). Files whose size the system does not know in advance
// (under /proc) are read up to the bound too.
std::vector<uint8_t> ReadRegularFile(const std::string& path, uint64_t largest, const char* what);

} // namespace marlhost
