#include "host/png_writer.h"

#include "host/host_error.h"
#include "host/output_file.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>
#include <thread>

namespace marlhost {

namespace {

// Level 1 finds the long runs of a page at the least cost; higher levels cost several times
// the drawing of the page for a few per cent of size.
constexpr int kCompressionLevel = 1;
constexpr int kLargestParts = 8;
constexpr int32_t kFewestRowsPerPart = 256;
constexpr uint8_t kFilterUp = 2;

// One band of rows compressed on its own: raw deflate blocks that end on a byte boundary
// (a sync flush) unless the part is the last, so that the parts join into one stream.
struct Part {
    int32_t FirstRow = 0;
    int32_t EndRow = 0;
    bool Last = false;
    std::vector<uint8_t> Deflated;
    uLong Adler = 1; // of the filtered bytes of the part
    uLong FilteredBytes = 0;
    bool Failed = false;
};

// The "up" filter of one row: each byte minus the byte above it, modulo 256. Four bytes at a
// time, each lane subtracted without a borrow into the next (the build targets processors
// without SSE2, so the compiler does not vectorise the plain loop); a row equal to the one
// above, common on pages, is only compared.
void FilterUp(const uint8_t* row, const uint8_t* above, uint8_t* out, size_t bytes) {
    if (std::memcmp(row, above, bytes) == 0) {
        std::memset(out, 0, bytes);
        return;
    }
    size_t i = 0;
    for (; i + 4 <= bytes; i += 4) {
        uint32_t a, b;
        std::memcpy(&a, row + i, 4);
        std::memcpy(&b, above + i, 4);
        uint32_t difference = ((a | 0x80808080u) - (b & 0x7F7F7F7Fu)) ^ ((a ^ ~b) & 0x80808080u);
        std::memcpy(out + i, &difference, 4);
    }
    for (; i < bytes; ++i)
        out[i] = static_cast<uint8_t>(row[i] - above[i]);
}

// Feeds the stream's input through deflate until it is taken, growing the output as needed.
bool Deflate(z_stream& stream, std::vector<uint8_t>& out, int flush) {
    for (;;) {
        if (out.size() - stream.total_out < 4096) out.resize(out.size() * 2 + 65536);
        stream.next_out = out.data() + stream.total_out;
        stream.avail_out = static_cast<uInt>(out.size() - stream.total_out);
        int result = deflate(&stream, flush);
        if (result == Z_STREAM_END) return true;
        if (result != Z_OK && result != Z_BUF_ERROR) return false;
        if (stream.avail_in == 0 && stream.avail_out != 0) return true;
    }
}

void CompressPart(const PageImage& image, Part& part) {
    const size_t stride = size_t(static_cast<uint32_t>(image.Width)) * 3;
    z_stream stream{};
    if (deflateInit2(&stream, kCompressionLevel, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        part.Failed = true;
        return;
    }
    try {
        std::vector<uint8_t> filtered(stride + 1);
        part.Deflated.resize(stride + 65536);
        bool good = true;
        for (int32_t y = part.FirstRow; y < part.EndRow && good; ++y) {
            const uint8_t* row = image.Rgb.data() + size_t(y) * stride;
            filtered[0] = kFilterUp;
            if (y == 0)
                std::memcpy(filtered.data() + 1, row, stride);
            else
                FilterUp(row, row - stride, filtered.data() + 1, stride);
            part.Adler = adler32(part.Adler, filtered.data(), static_cast<uInt>(stride + 1));
            stream.next_in = filtered.data();
            stream.avail_in = static_cast<uInt>(stride + 1);
            good = Deflate(stream, part.Deflated, Z_NO_FLUSH);
        }
        good = good && Deflate(stream, part.Deflated, part.Last ? Z_FINISH : Z_SYNC_FLUSH);
        part.Deflated.resize(stream.total_out);
        part.FilteredBytes = static_cast<uLong>((stride + 1) * size_t(part.EndRow - part.FirstRow));
        part.Failed = !good;
    } catch (const std::bad_alloc&) {
        part.Failed = true;
    }
    deflateEnd(&stream);
}

std::vector<Part> CompressParts(const PageImage& image, int parts) {
    if (parts <= 0)
        parts = std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, kLargestParts);
    parts = std::clamp(std::min(parts, image.Height / kFewestRowsPerPart), 1, kLargestParts);
    std::vector<Part> list(static_cast<size_t>(parts));
    for (int i = 0; i < parts; ++i) {
        list[i].FirstRow = static_cast<int32_t>(int64_t{image.Height} * i / parts);
        list[i].EndRow = static_cast<int32_t>(int64_t{image.Height} * (i + 1) / parts);
        list[i].Last = i == parts - 1;
    }
    std::vector<std::thread> threads;
    for (size_t i = 1; i < list.size(); ++i) {
        try {
            threads.emplace_back(CompressPart, std::cref(image), std::ref(list[i]));
        } catch (const std::system_error&) {
            CompressPart(image, list[i]); // no thread to be had: this one does the part
        }
    }
    CompressPart(image, list[0]);
    for (std::thread& thread : threads)
        thread.join();
    return list;
}

struct Framing {
    std::vector<uint8_t>* Bytes = nullptr;
    char Error[200] = {};
};

// libpng reports errors by longjmp; no C++ exception may cross its frames, so the callbacks
// turn everything into png_error and the writer below keeps only trivial objects alive
// across setjmp.
void StoreError(png_structp png, png_const_charp message) {
    auto* framing = static_cast<Framing*>(png_get_error_ptr(png));
    std::snprintf(framing->Error, sizeof framing->Error, "%s", message);
    png_longjmp(png, 1);
}

void IgnoreWarning(png_structp, png_const_charp) {}

void AppendBytes(png_structp png, png_bytep data, png_size_t size) {
    auto* framing = static_cast<Framing*>(png_get_io_ptr(png));
    bool stored = true;
    try {
        framing->Bytes->insert(framing->Bytes->end(), data, data + size);
    } catch (const std::bad_alloc&) {
        stored = false;
    }
    if (!stored) png_error(png, "out of memory");
}

void Flush(png_structp) {}

// libpng writes the signature, the header and every chunk with its checksum; the image data
// is the parts' zlib stream, one IDAT chunk a part (the chunks' data form one stream).
bool Frame(const PageImage& image, const std::vector<Part>& parts, Framing& framing) {
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &framing, StoreError, IgnoreWarning);
    if (!png) {
        std::snprintf(framing.Error, sizeof framing.Error, "out of memory");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        if (!info) std::snprintf(framing.Error, sizeof framing.Error, "out of memory");
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    png_set_write_fn(png, &framing, AppendBytes, Flush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.Width),
                 static_cast<png_uint_32>(image.Height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (const Part& part : parts)
        png_write_chunk(png, reinterpret_cast<png_const_bytep>("IDAT"), part.Deflated.data(),
                        part.Deflated.size());
    png_write_chunk(png, reinterpret_cast<png_const_bytep>("IEND"), nullptr, 0);
    png_destroy_write_struct(&png, &info);
    return true;
}

// Turns the parts' raw deflate data into one zlib stream: the header before the first part,
// the checksum of all filtered bytes after the last.
void JoinIntoZlibStream(std::vector<Part>& parts) {
    static constexpr uint8_t kHeader[2] = {0x78, 0x01}; // 32 KB window, fastest compression
    uLong adler = 1;
    for (const Part& part : parts)
        adler = adler32_combine(adler, part.Adler, static_cast<z_off_t>(part.FilteredBytes));
    parts.front().Deflated.insert(parts.front().Deflated.begin(), kHeader, kHeader + 2);
    for (int shift = 24; shift >= 0; shift -= 8)
        parts.back().Deflated.push_back(static_cast<uint8_t>(adler >> shift));
}

HostError EncodingError(const std::string& path, const std::string& what) {
    return HostError(ExitCode::Output, path + ": the picture could not be encoded: " + what);
}

} // namespace

std::vector<uint8_t> EncodePng(const PageImage& image, const std::string& path, int parts) {
    if (image.Width < 1 || image.Height < 1 ||
        image.Rgb.size() !=
            size_t{static_cast<uint32_t>(image.Width)} * static_cast<uint32_t>(image.Height) * 3)
        throw EncodingError(path, "no pixels");
    std::vector<Part> compressed = CompressParts(image, parts);
    for (const Part& part : compressed)
        if (part.Failed) throw EncodingError(path, "out of memory");
    JoinIntoZlibStream(compressed);
    std::vector<uint8_t> bytes;
    Framing framing;
    framing.Bytes = &bytes;
    if (!Frame(image, compressed, framing)) throw EncodingError(path, framing.Error);
    return bytes;
}

void WritePng(const PageImage& image, const std::string& path) {
    WriteWholeFile(path, EncodePng(image, path));
}

} // namespace marlhost
