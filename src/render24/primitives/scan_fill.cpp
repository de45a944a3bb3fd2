// RPFillScanRows: spans of one row each, painted with no brush (sample 0), a solid colour or
// a pattern tiled from the brush origin. A pattern sample depends only on the pixel's
// position, so clipping a span does not shift the pattern.
#include "render24/primitives/scan_fill.h"

#include "common/bitmap.h"
#include "marlrend/marlrend.h"
#include "render24/primitives/contone_rop.h"
#include "render24/primitives/contone_rows.h"

#include <cstring>

namespace marl {
namespace {

// No span names this row, so the first span always positions the cursor with SelectRow.
constexpr int32_t kNoRowYet = -10000;
// A row above the bitmap is handed to SelectRow as row 65535, which no bitmap has (Height
// is 16 bits), so the cursor is cleared as for any row outside.
constexpr uint32_t kRowNoBitmapHas = 0xFFFF;

// Where P comes from, decided once per call.
struct PaintSource {
    bool Pattern = false;
    uint8_t Colour[3] = {0, 0, 0};
    const uint8_t* Bits = nullptr;
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t OriginX = 0;
    int32_t OriginY = 0;
};

// No brush paints 0; a brush without a usable pattern paints its Color. A pattern needs a
// positive width and height and bits: a null Bits (realization got no memory) or a negative
// size would make every pattern read go astray, so such a brush is painted solid as well.
PaintSource ChoosePaint(const RealizedBrush* brush) {
    PaintSource paint;
    if (brush == nullptr) return paint;
    uint32_t colour = brush->Color;
    for (uint32_t k = 0; k < 3; ++k)
        paint.Colour[k] = static_cast<uint8_t>(colour >> (8 * k));
    paint.Width = brush->Width;
    paint.Height = brush->Height;
    paint.Bits = brush->Bits;
    paint.Pattern = paint.Width > 0 && paint.Height > 0 && paint.Bits != nullptr;
    paint.OriginX = brush->OriginX;
    paint.OriginY = brush->OriginY;
    return paint;
}

// value mod size, taken into 0 .. size - 1 also for a negative value.
int32_t Wrap(int32_t value, int32_t size) {
    int32_t rest = value % size;
    return rest < 0 ? rest + size : rest;
}

// One plane of a span against one plane run of the pattern row, starting at column c and
// wrapping at width; the pixels between two wraps form one straight row.
template <typename Op>
void CombinePatternPieces(uint8_t* destination, uint32_t count, const uint8_t* run, uint32_t width,
                          uint32_t c) {
    while (count > 0) {
        uint32_t piece = width - c < count ? width - c : count;
        CombinePatternRow<Op>(destination, piece, run + c);
        destination += piece;
        count -= piece;
        c = 0;
    }
}

// bytes[0 .. period) is written; the rest up to count becomes copies of it, the copied length
// doubling each time (always a whole number of periods).
void RepeatFirstPeriod(uint8_t* bytes, uint32_t period, uint32_t count) {
    for (uint32_t done = period; done < count; done *= 2) {
        uint32_t piece = done < count - done ? done : count - done;
        std::memcpy(bytes + done, bytes, piece);
    }
}

// A narrow pattern would cut a span into rows too short for the vector loop, so for the codes
// that read D it is first laid out from column c on over a tile of whole periods (at least
// kLeastTile samples), and the span is combined with the tile, tile by tile; a period that
// divides 16 needs only the 16 samples every step reads. Called for spans of at least
// kLeastVectorRow samples, when the processor has SSE2.
constexpr uint32_t kLeastDirectWidth = 64;
constexpr uint32_t kLeastTile = 1024;

template <typename Op>
void CombinePatternTiled(uint8_t* destination, uint32_t count, const uint8_t* run, uint32_t width,
                         uint32_t c) {
    if (16 % width == 0) {
        // The same 16 samples serve every step.
        uint8_t sixteen[32];
        for (uint32_t i = 0, column = c; i < sizeof sixteen; ++i) {
            sixteen[i] = run[column];
            if (++column == width) column = 0;
        }
        CombineRowRepeatingSse2<Op::kCode>(destination, count, sixteen, width);
        return;
    }
    uint8_t tile[kLeastTile + kLeastDirectWidth];
    uint32_t periods = (kLeastTile + width - 1) / width * width;
    uint32_t length = periods < count ? periods : count;
    // The first period from column c, then copies of it.
    uint32_t period = width < length ? width : length;
    uint32_t head = width - c < period ? width - c : period;
    std::memcpy(tile, run + c, head);
    std::memcpy(tile + head, run, period - head);
    RepeatFirstPeriod(tile, period, length);
    for (uint32_t done = 0; done < count; done += length) {
        uint32_t piece = length < count - done ? length : count - done;
        CombinePatternRow<Op>(destination + done, piece, tile);
    }
}

// A constant result is a memset. When the result depends on P alone, the span is its first
// pattern period repeated: that period is written, the rest copied from it.
template <typename Op>
void CombinePattern(uint8_t* destination, uint32_t count, const uint8_t* run, uint32_t width,
                    uint32_t c) {
    if constexpr (Op::kCode == kContoneBlack || Op::kCode == kContoneWhite) {
        std::memset(destination, Op::Apply(0, 0), count);
    } else if constexpr (Op::kIgnoresDest) {
        uint32_t period = width < count ? width : count;
        CombinePatternPieces<Op>(destination, period, run, width, c);
        RepeatFirstPeriod(destination, period, count);
    } else if (width < kLeastDirectWidth && count >= kLeastVectorRow && VectorRowsAvailable()) {
        CombinePatternTiled<Op>(destination, count, run, width, c);
    } else {
        CombinePatternPieces<Op>(destination, count, run, width, c);
    }
}

// The walk over the spans: the current row, its pattern row and the cursor.
struct SpanWalk {
    RowCursor Cursor;
    uint32_t Columns;
    uint32_t Height;
    PaintSource Paint;
    int32_t RememberedRow = kNoRowYet;
    const uint8_t* PatternRow = nullptr;
};

bool RowInside(int32_t y, uint32_t height) { return y >= 0 && static_cast<uint32_t>(y) < height; }

// Repositions the cursor for a span on row y: NextRow when y is the row below the current
// one, SelectRow otherwise, and nothing when y is the current row.
void MoveToRow(SpanWalk& walk, int32_t y) {
    if (y == walk.RememberedRow) return;
    if (y == walk.RememberedRow + 1 && RowInside(walk.RememberedRow, walk.Height)) {
        walk.Cursor.Next();
    } else {
        walk.Cursor.Select(y < 0 ? kRowNoBitmapHas : static_cast<uint32_t>(y));
    }
    walk.RememberedRow = y;
    const PaintSource& paint = walk.Paint;
    if (paint.Pattern) {
        size_t row = static_cast<size_t>(Wrap(y - paint.OriginY, paint.Height));
        walk.PatternRow = paint.Bits + row * 3 * static_cast<size_t>(paint.Width);
    }
}

// Pixels left .. left + count - 1 of the current row, all inside it. The code is looked at
// once for the span; each writing code has its own loops.
void PaintSpan(SpanWalk& walk, uint32_t left, uint32_t count, uint32_t code) {
    const PaintSource& paint = walk.Paint;
    DispatchPatternDest(code, [&](auto op) {
        using Op = decltype(op);
        if (!paint.Pattern) {
            for (uint32_t k = 0; k < 3; ++k)
                CombineSolidRow<Op>(walk.Cursor.Plane(k) + left, count, paint.Colour[k]);
            return;
        }
        uint32_t width = static_cast<uint32_t>(paint.Width);
        uint32_t c =
            static_cast<uint32_t>(Wrap(static_cast<int32_t>(left) - paint.OriginX, paint.Width));
        for (uint32_t k = 0; k < 3; ++k) {
            CombinePattern<Op>(walk.Cursor.Plane(k) + left, count, walk.PatternRow + k * width,
                               width, c);
        }
    });
}

// One span: its row is always reached (also for an empty span), then the part of it that
// lies inside the bitmap is painted.
void FillSpan(SpanWalk& walk, const ScanSpan& span, uint32_t code) {
    int32_t y = span.Y, left = span.Left, right = span.Right;
    MoveToRow(walk, y);
    if (right <= left || !walk.Cursor.OnRow()) return;
    if (left < 0) left = 0;
    if (right > static_cast<int32_t>(walk.Columns)) right = static_cast<int32_t>(walk.Columns);
    if (right <= left) return;
    PaintSpan(walk, static_cast<uint32_t>(left), static_cast<uint32_t>(right - left), code);
}

} // namespace

// Spans on rows outside the bitmap are skipped (their row is still selected, which leaves the
// cursor cleared) and spans reaching past either edge are clipped to it.
uint32_t FillScanRows(PlaneBitmap* surface, uint32_t count, const ScanSpan* spans,
                      const RealizedBrush* brush, uint32_t code, RowMoveListener* listener) {
    count &= 0xFFFF;
    if (count == 0 || spans == nullptr || !HasPixels(surface)) return 0;
    const BitmapHeader& header = *surface->Header;
    SpanWalk walk{RowCursor(*surface, listener), DrawableColumns(header), header.Height,
                  ChoosePaint(brush)};
    for (uint32_t i = 0; i < count; ++i)
        FillSpan(walk, spans[i], code);
    return 0;
}

} // namespace marl

uint32_t RPFillScanRows(RenderDevice* device, uint32_t, uint32_t count, const ScanSpan* spans,
                        RealizedBrush* brush, uint32_t, uint32_t, uint32_t code) {
    return marl::FillScanRows(device ? device->Surface : nullptr, count, spans, brush, code,
                              nullptr);
}
