// A page as the host draws it: its size, bands and background, the brushes it realizes
// once, and its drawing operations in page coordinates, checked and ready to draw.
#pragma once

#include "host/image.h"
#include "host/library_source.h"
#include "host/scan_spans.h"

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace marlhost {

struct PagePoint {
    int32_t X = 0;
    int32_t Y = 0;
};

struct PageRect {
    int32_t X = 0;
    int32_t Y = 0;
    int32_t Width = 0;
    int32_t Height = 0;
};

// Logical brush styles (the values the library's logical brush carries).
enum class BrushStyle : uint16_t { Solid = 0, Hatched = 2, Pattern = 3 };

struct BrushSpec {
    std::string Name;
    BrushStyle Style = BrushStyle::Solid;
    uint32_t Color = 0;            // solid colour; hatch lines; set bits of a 1-bit pattern
    uint32_t BackColor = 0xFFFFFF; // between hatch lines; clear bits of a 1-bit pattern
    uint16_t Hatch = 0;            // 0 .. 5
    uint8_t XFactor = 1;           // device pixels per pattern pixel
    uint8_t YFactor = 1;           // device rows per pattern row
    PagePoint Origin;              // page position of the pattern's first pixel
    std::shared_ptr<const Image> Pattern;
};

// An index into Page::Brushes, or kNoBrush.
inline constexpr int kNoBrush = -1;

struct PixelOp {
    PagePoint At;
    uint32_t Color = 0;
    uint8_t Code = 0xF0;
};

struct LineOp {
    PagePoint From;
    PagePoint To;
    uint32_t Color = 0;
    uint8_t Code = 0xF0;
    // Only the pixels First .. Last of the walk from From to To (Last < 0: to the end), for
    // lines cut by a clipping region or a dash pattern.
    int64_t First = 0;
    int64_t Last = -1;
};

struct FillOp {
    FillArea Area;
    int Brush = kNoBrush;
    uint8_t Code = 0xF0;
};

struct BlitOp {
    PageRect Area; // already limited to the source's size
    uint8_t Code = 0xCC;
    std::shared_ptr<const LibrarySource> Source;
    PagePoint SourceAt; // the source pixel drawn at the top left of Area
    int Brush = kNoBrush;
    uint32_t TextColor = 0x000000;
    uint32_t BackColor = 0xFFFFFF;
    uint32_t MonoExpand = 0;
    bool PassPalette = true;
};

struct Operation {
    std::string Where; // "operations[12] (line)", for messages
    std::variant<PixelOp, LineOp, FillOp, BlitOp> Draw;
};

struct Page {
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t Resolution = 300;
    int32_t BandHeight = 64;
    uint32_t Background = 0xFFFFFF;
    std::vector<BrushSpec> Brushes;
    std::vector<Operation> Operations;
    // One message per operation that reaches outside the page and is clipped to it.
    std::vector<std::string> Clipped;
};

} // namespace marlhost
