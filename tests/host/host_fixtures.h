// Helpers for the host's tests: scratch directories, BMP files written byte by byte, pages
// parsed from text, and runs of the marlrend-host executable.
#pragma once

#include "host/image.h"
#include "host/page_model.h"

#include <cstdint>
#include <string>
#include <vector>

namespace marlhosttest {

// A directory under /tmp removed with everything in it when the object ends.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    const std::string& Path() const { return Root; }
    std::string File(const std::string& name) const { return Root + "/" + name; }

private:
    std::string Root;
};

void WriteFile(const std::string& path, const std::string& text);
void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
bool FileExists(const std::string& path);

// A picture to encode: for 1, 4 and 8 bits Values are palette indices, for 24 bits colours
// 0xRRGGBB; row-major, top row first.
struct TestPicture {
    uint32_t Bits = 24;
    uint32_t Width = 0;
    uint32_t Height = 0;
    std::vector<uint32_t> Values;
    std::vector<marlhost::PaletteEntry> Palette;
    bool TopDown = false;
};

// A BMP file of the picture, written independently of the host's reader.
std::vector<uint8_t> EncodeBmp(const TestPicture& picture);
// A picture with every pixel derived from its position (and a full palette).
TestPicture PatternedPicture(uint32_t bits, uint32_t width, uint32_t height);

// Parses page text with images and fonts relative to directory.
marlhost::Page ParseTestPage(const std::string& text, const std::string& directory);

struct CommandResult {
    int Exit = -1;
    std::string Output; // stdout and stderr together
};
// Runs marlrend-host with the arguments (each quoted for the shell); shell is put before the
// command as it is (a `ulimit`, a `timeout`).
CommandResult RunHost(const std::vector<std::string>& arguments, const std::string& shell = "");

} // namespace marlhosttest
