#include "host/png_writer.h"

#include "host/host_error.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>

namespace marlhost {

namespace {

void AppendBytes(void* context, void* data, int size) {
    auto* bytes = static_cast<std::vector<uint8_t>*>(context);
    auto* first = static_cast<const uint8_t*>(data);
    bytes->insert(bytes->end(), first, first + size);
}

HostError OutputError(const std::string& path, const std::string& what) {
    return HostError(ExitCode::Output, path + ": " + what);
}

// The mode a newly created file would get: the temporary file starts private.
mode_t PictureMode() {
    mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

void WriteAll(int descriptor, const std::vector<uint8_t>& bytes, const std::string& path) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t written = write(descriptor, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0)
            throw OutputError(path, std::string("cannot write: ") + std::strerror(errno));
        done += static_cast<size_t>(written);
    }
    if (fsync(descriptor) != 0)
        throw OutputError(path, std::string("cannot write: ") + std::strerror(errno));
}

} // namespace

void WritePng(const PageImage& image, const std::string& path) {
    std::vector<uint8_t> png;
    int encoded = stbi_write_png_to_func(AppendBytes, &png, image.Width, image.Height, 3,
                                         image.Rgb.data(), image.Width * 3);
    if (encoded == 0 || png.empty()) throw OutputError(path, "the picture could not be encoded");

    std::string temporary = path + ".XXXXXX";
    std::vector<char> name(temporary.begin(), temporary.end());
    name.push_back('\0');
    int descriptor = mkstemp(name.data());
    if (descriptor < 0)
        throw OutputError(path,
                          std::string("cannot create a file beside it: ") + std::strerror(errno));
    try {
        WriteAll(descriptor, png, path);
        if (fchmod(descriptor, PictureMode()) != 0 || close(descriptor) != 0) {
            descriptor = -1;
            throw OutputError(path, std::string("cannot write: ") + std::strerror(errno));
        }
        descriptor = -1;
        if (std::rename(name.data(), path.c_str()) != 0)
            throw OutputError(path, std::string("cannot rename the finished picture into place: ") +
                                        std::strerror(errno));
    } catch (...) {
        if (descriptor >= 0) close(descriptor);
        unlink(name.data());
        throw;
    }
}

} // namespace marlhost
