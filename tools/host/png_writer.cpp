#include "host/png_writer.h"

#include "host/host_error.h"
#include "host/output_file.h"

#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>

namespace marlhost {

namespace {

// The fastest zlib level that still finds the long runs of a page; higher levels cost several
// times the drawing of the page for a few per cent of size.
constexpr int kCompressionLevel = 1;

struct Encoding {
    std::vector<uint8_t>* Bytes = nullptr;
    char Error[200] = {};
};

// libpng reports errors by longjmp; no C++ exception may cross its frames, so the callbacks
// turn everything into png_error and the encoder below keeps only trivial objects alive
// across setjmp.
void StoreError(png_structp png, png_const_charp message) {
    auto* encoding = static_cast<Encoding*>(png_get_error_ptr(png));
    std::snprintf(encoding->Error, sizeof encoding->Error, "%s", message);
    png_longjmp(png, 1);
}

void IgnoreWarning(png_structp, png_const_charp) {}

void AppendBytes(png_structp png, png_bytep data, png_size_t size) {
    auto* encoding = static_cast<Encoding*>(png_get_io_ptr(png));
    bool stored = true;
    try {
        encoding->Bytes->insert(encoding->Bytes->end(), data, data + size);
    } catch (const std::bad_alloc&) {
        stored = false;
    }
    if (!stored) png_error(png, "out of memory");
}

void Flush(png_structp) {}

// True when the whole picture was encoded; otherwise encoding.Error says why.
bool Encode(const PageImage& image, Encoding& encoding) {
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &encoding, StoreError, IgnoreWarning);
    if (!png) {
        std::snprintf(encoding.Error, sizeof encoding.Error, "out of memory");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        if (!info) std::snprintf(encoding.Error, sizeof encoding.Error, "out of memory");
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    png_set_write_fn(png, &encoding, AppendBytes, Flush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.Width),
                 static_cast<png_uint_32>(image.Height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, kCompressionLevel);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    png_write_info(png, info);
    const size_t stride = size_t{static_cast<uint32_t>(image.Width)} * 3;
    for (int32_t y = 0; y < image.Height; ++y)
        png_write_row(png, image.Rgb.data() + size_t{static_cast<uint32_t>(y)} * stride);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

std::vector<uint8_t> EncodePng(const PageImage& image, const std::string& path) {
    if (image.Width < 1 || image.Height < 1 ||
        image.Rgb.size() !=
            size_t{static_cast<uint32_t>(image.Width)} * static_cast<uint32_t>(image.Height) * 3)
        throw HostError(ExitCode::Output, path + ": the picture could not be encoded: no pixels");
    std::vector<uint8_t> bytes;
    // A page compresses to a small part of its samples; this spares most regrowth.
    bytes.reserve(image.Rgb.size() / 8 + 1024);
    Encoding encoding;
    encoding.Bytes = &bytes;
    if (!Encode(image, encoding))
        throw HostError(ExitCode::Output,
                        path + ": the picture could not be encoded: " + encoding.Error);
    return bytes;
}

void WritePng(const PageImage& image, const std::string& path) {
    WriteWholeFile(path, EncodePng(image, path));
}

} // namespace marlhost
