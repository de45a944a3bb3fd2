#if defined(MARL_HOST_TESTS)
#include "host/host_fixtures.h"

#include "host/page_reader.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace marlhosttest {

ScratchDirectory::ScratchDirectory() {
    char name[] = "/tmp/marlhost-test-XXXXXX";
    if (!mkdtemp(name)) throw std::runtime_error("mkdtemp failed");
    Root = name;
}

ScratchDirectory::~ScratchDirectory() {
    std::string command = "rm -rf '" + Root + "'";
    if (std::system(command.c_str()) != 0) std::perror("rm");
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(const std::string& path) {
    struct stat status;
    return stat(path.c_str(), &status) == 0;
}

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

std::vector<uint8_t> EncodeRow(const TestPicture& picture, uint32_t y, uint32_t stride) {
    std::vector<uint8_t> row(stride, 0);
    for (uint32_t x = 0; x < picture.Width; ++x) {
        uint32_t value = picture.Values[size_t{y} * picture.Width + x];
        switch (picture.Bits) {
        case 1: row[x / 8] |= static_cast<uint8_t>((value & 1) << (7 - x % 8)); break;
        case 4: row[x / 2] |= static_cast<uint8_t>((value & 15) << (x % 2 ? 0 : 4)); break;
        case 8: row[x] = static_cast<uint8_t>(value); break;
        default:
            row[3 * x] = static_cast<uint8_t>(value);
            row[3 * x + 1] = static_cast<uint8_t>(value >> 8);
            row[3 * x + 2] = static_cast<uint8_t>(value >> 16);
        }
    }
    return row;
}

} // namespace

std::vector<uint8_t> EncodeBmp(const TestPicture& picture) {
    uint32_t stride = (picture.Width * picture.Bits + 31) / 32 * 4;
    uint32_t paletteBytes = static_cast<uint32_t>(picture.Palette.size()) * 4;
    uint32_t offset = 14 + 40 + paletteBytes;
    std::vector<uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    Put32(out, offset + stride * picture.Height);
    Put32(out, 0);
    Put32(out, offset);
    Put32(out, 40);
    Put32(out, picture.Width);
    Put32(out, picture.TopDown ? static_cast<uint32_t>(-static_cast<int32_t>(picture.Height))
                               : picture.Height);
    Put16(out, 1);
    Put16(out, picture.Bits);
    Put32(out, 0);
    Put32(out, stride * picture.Height);
    Put32(out, 2835);
    Put32(out, 2835);
    Put32(out, static_cast<uint32_t>(picture.Palette.size()));
    Put32(out, 0);
    for (const marlhost::PaletteEntry& entry : picture.Palette) {
        out.push_back(entry.Blue);
        out.push_back(entry.Green);
        out.push_back(entry.Red);
        out.push_back(0);
    }
    for (uint32_t i = 0; i < picture.Height; ++i) {
        uint32_t y = picture.TopDown ? i : picture.Height - 1 - i;
        std::vector<uint8_t> row = EncodeRow(picture, y, stride);
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

TestPicture PatternedPicture(uint32_t bits, uint32_t width, uint32_t height) {
    TestPicture picture;
    picture.Bits = bits;
    picture.Width = width;
    picture.Height = height;
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            uint32_t v = x * 7 + y * 13 + (x * y) % 5;
            picture.Values.push_back(bits == 24 ? ((v * 37) & 0xFF) | ((v * 11) & 0xFF) << 8 |
                                                      ((255 - v) & 0xFF) << 16
                                                : v % (1u << bits));
        }
    if (bits != 24)
        for (uint32_t i = 0; i < (1u << bits); ++i)
            picture.Palette.push_back({static_cast<uint8_t>(i * 40 + 3),
                                       static_cast<uint8_t>(255 - i * 17),
                                       static_cast<uint8_t>(i * 91)});
    return picture;
}

marlhost::Page ParseTestPage(const std::string& text, const std::string& directory) {
    return marlhost::ParsePage(text, "test.json", directory, {MARLHOST_FONT_DIRECTORY});
}

CommandResult RunHost(const std::vector<std::string>& arguments, const std::string& shell) {
    std::string command = shell + " '" MARLHOST_EXECUTABLE "'";
    for (const std::string& argument : arguments)
        command += " '" + argument + "'";
    command += " 2>&1";
    CommandResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.Output.append(buffer, got);
    int status = pclose(pipe);
    result.Exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

} // namespace marlhosttest
#endif
