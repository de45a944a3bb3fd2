#include "render24/blit/transfer/transfer_source.h"

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

bool SourceRowsReadable(const BitmapHeader& header, uint32_t rows) {
    if (header.Bits == nullptr) return false;
    uint64_t bytes = uint64_t{rows} * header.Planes * header.WidthBytes;
    if (bytes == 0) return true;
    if (bytes > 0xFFFFFFFFu) return false;
    return IsBadReadPtr(header.Bits, static_cast<UINT_PTR>(bytes)) == 0;
}

} // namespace marl
