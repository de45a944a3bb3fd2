#include "render24/blit/transfer_source.h"

#include "platform/platform.h"

namespace marl {
namespace {

ConversionMode ModeFor(uint16_t depth, uint16_t monoExpand) {
    switch (depth) {
    case 1: return monoExpand != 0 ? ConversionMode::Mono : ConversionMode::None;
    case 4: return ConversionMode::Index4;
    case 8: return ConversionMode::Index8;
    default: return ConversionMode::None;
    }
}

bool PlaneSource(const BitmapHeader& header) { return header.Planes == 3 && header.BitsPixel == 8; }

// The page size of x86: it only decides how rows are probed, never whether they are readable.
constexpr uint64_t kProbePageBytes = 4096;

} // namespace

SourceLayout DescribeSource(const BitmapHeader& header, uint16_t monoExpand) {
    SourceLayout layout;
    layout.Depth = static_cast<uint16_t>(header.Planes * header.BitsPixel);
    layout.Mode = ModeFor(layout.Depth, monoExpand);
    uint32_t rowBytes = header.WidthBytes;
    switch (layout.Depth) {
    case 1:
        layout.Readable = true;
        layout.RowPixels = 8 * rowBytes;
        if (layout.Mode == ConversionMode::Mono) {
            uint32_t phase = monoExpand & 7;
            layout.RowPixels = layout.RowPixels > phase ? layout.RowPixels - phase : 0;
        }
        break;
    case 4:
        layout.Readable = true;
        layout.RowPixels = 2 * rowBytes;
        break;
    case 8:
        layout.Readable = true;
        layout.RowPixels = rowBytes;
        break;
    default:
        layout.Readable = PlaneSource(header);
        if (layout.Readable) layout.RowPixels = rowBytes;
        break;
    }
    return layout;
}

bool RowEndsReadable(const uint8_t* first, uint64_t stride, uint64_t rowBytes, uint32_t rows) {
    if (rows == 0 || rowBytes == 0) return true;
    if (first == nullptr || rowBytes > stride) return false;
    uint64_t span = stride * (rows - 1) + rowBytes;
    uintptr_t start = reinterpret_cast<uintptr_t>(first);
    if (span > UINTPTR_MAX - start + 1) return false; // runs past the end of the address space
    if (span / kProbePageBytes + 1 <= 2 * uint64_t{rows})
        return IsBadReadPtr(first, static_cast<UINT_PTR>(span)) == 0;
    auto at = [start](uint64_t offset) { return reinterpret_cast<const void*>(start + offset); };
    if (stride == rowBytes) {
        // Rows back to back: the last byte of a row and the first of the next are one probe.
        if (IsBadReadPtr(first, 1)) return false;
        for (uint32_t row = 1; row < rows; ++row)
            if (IsBadReadPtr(at(row * stride - 1), 2)) return false;
        return IsBadReadPtr(at(span - 1), 1) == 0;
    }
    for (uint32_t row = 0; row < rows; ++row)
        if (IsBadReadPtr(at(row * stride), 1) || IsBadReadPtr(at(row * stride + rowBytes - 1), 1))
            return false;
    return true;
}

bool SourceRowsReadable(const BitmapHeader& header, uint32_t rows) {
    if (header.Bits == nullptr) return false;
    uint64_t rowBytes = uint64_t{header.Planes} * header.WidthBytes;
    return RowEndsReadable(header.Bits, rowBytes, rowBytes, rows);
}

} // namespace marl
