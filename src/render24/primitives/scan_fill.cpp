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

// A narrow pattern would cut a span into rows too short for the vector loop, and a span
// would spend more time finding its pieces than combining them. So a pattern narrower than
// kLeastDirectWidth is laid out per pattern row, in each plane, as a row of whole periods:
// from any start column c (c < width) at least Length() samples follow, Length() a whole
// number of periods. A span is combined with that row from c on, Length() samples at a time.
// The row is made as long as the spans that use it need (up to the periods that reach
// kLeastTile) and kept for the following spans of the same pattern row, so short spans share
// it and do not pay for a longer row than they paint.
constexpr uint32_t kLeastDirectWidth = 64;
constexpr uint32_t kLeastTile = 1024;

class RepeatedPatternRow {
public:
    // The samples are written before they are read; zeroing them would cost every call.
    RepeatedPatternRow() {}

    // Makes the row from `row` (three plane runs of `width` samples) long enough for a span
    // of `count` samples, unless the row already made from it is.
    void Use(const uint8_t* row, uint32_t width, uint32_t count) {
        // A row of at least kLeastTile samples is as long as rows get; shorter rows are
        // whole periods, so any count up to their length fits.
        if (row == Source && width == Width && (count <= Span || Span >= kLeastTile)) return;
        const uint32_t most = (kLeastTile + width - 1) / width * width;
        const uint32_t wanted = count < most ? (count + width - 1) / width * width : most;
        for (uint32_t k = 0; k < 3; ++k) {
            std::memcpy(Samples[k], row + k * width, width);
            RepeatFirstPeriod(Samples[k], width, width + wanted);
        }
        Source = row;
        Width = width;
        Span = wanted;
    }
    const uint8_t* From(uint32_t plane, uint32_t c) const { return Samples[plane] + c; }
    uint32_t Length() const { return Span; }

private:
    const uint8_t* Source = nullptr;
    uint32_t Width = 0;
    uint32_t Span = 0;
    // width - 1 start columns plus the longest span, below kLeastTile + width.
    uint8_t Samples[3][2 * kLeastDirectWidth + kLeastTile];
};

// count samples from `from` on to destination (apart from it); a short span in 16-byte moves,
// inline where the build's baseline has SSE2 (x86-64), else through the SSE2 loop.
void CopySamples(uint8_t* destination, const uint8_t* from, uint32_t count) {
#if defined(__SSE2__)
    if (count >= kLeastVectorRow && count <= 2 * kLeastVectorRow) {
        std::memcpy(destination, from, kLeastVectorRow);
        const uint32_t last = count - kLeastVectorRow;
        std::memcpy(destination + last, from + last, kLeastVectorRow);
        return;
    }
#else
    if (count >= kLeastVectorRow && count <= 2 * kLeastVectorRow && VectorRowsAvailable()) {
        CopyRowSse2(destination, count, from);
        return;
    }
#endif
    std::memcpy(destination, from, count);
}

// The span combined with a repeated pattern row from its start column on.
template <typename Op>
void CombineRepeated(uint8_t* destination, uint32_t count, const uint8_t* from, uint32_t span) {
    if (count <= span) {
        // A short span (the usual case: the row is made as long as its spans) in one piece,
        // outside the loop: through the loop alone, short spans took a tenth longer.
        if constexpr (Op::kCode == kContoneP) {
            CopySamples(destination, from, count);
        } else {
            CombinePatternRow<Op>(destination, count, from);
        }
        return;
    }
    for (uint32_t done = 0; done < count; done += span) {
        const uint32_t piece = span < count - done ? span : count - done;
        if constexpr (Op::kCode == kContoneP) {
            CopySamples(destination + done, from, piece);
        } else {
            CombinePatternRow<Op>(destination + done, piece, from);
        }
    }
}

// The tiles of the sixteen-sample plans: for each plane, the pattern from column c on, 80
// samples (for the codes that ignore D, their results). Every step reads the first 16 (32 or
// 64 in the wider loops); the last, overlapping step reads from its offset within a period.
// The period divides 16, so the first 16 samples are read with a mask and copied on.
// A band's spans each need the tiles of their pattern row, and the rows of a pattern come
// round again and again: the tiles of up to kKeptTileRows pattern rows are kept for the rest
// of the call, each under its row and column.
constexpr uint32_t kTileSamples = 80;
constexpr uint32_t kKeptTileRows = 8;

class PatternTiles {
public:
    // The samples are written before they are read; only the keys are cleared.
    PatternTiles() {
        for (Entry& entry : Entries)
            entry.Row = nullptr;
    }

    // The three planes' tiles of the pattern row at row (three plane runs of width samples)
    // from column c, kept under index (the row's index within the pattern).
    template <typename Op>
    const uint8_t* Use(uint32_t index, const uint8_t* row, uint32_t width, uint32_t c) {
        Entry& entry = Entries[index % kKeptTileRows];
        if (entry.Row != row || entry.Column != c) {
            const uint32_t mask = width - 1;
            for (uint32_t k = 0; k < 3; ++k) {
                uint8_t* tile = entry.Samples + k * kTileSamples;
                const uint8_t* run = row + k * width;
                for (uint32_t i = 0; i < 16; ++i) {
                    const uint8_t sample = run[(c + i) & mask];
                    tile[i] = Op::kIgnoresDest ? Op::Apply(0, sample) : sample;
                }
                for (uint32_t copy = 16; copy < kTileSamples; copy += 16)
                    std::memcpy(tile + copy, tile, 16);
            }
            entry.Row = row;
            entry.Column = c;
        }
        return entry.Samples;
    }

private:
    struct Entry {
        const uint8_t* Row;
        uint32_t Column;
        uint8_t Samples[3 * kTileSamples];
    };
    Entry Entries[kKeptTileRows];
};

// How a span takes its pattern, decided once for its three planes. A constant result is a
// memset. Patterns at least kLeastDirectWidth wide are combined between their wraps. A long
// span whose result depends on P alone is its first period repeated; one that reads D under a
// period dividing 16 reads the same 16 samples at every step. Every other span of a narrow
// pattern is combined with the repeated row.
enum class PatternPlan {
    Constant,
    BetweenWraps,
    FirstPeriodRepeated,
    SixteenSamples,
    SixteenResults,
    Repeated
};

template <typename Op> PatternPlan PlanPattern(uint32_t width, uint32_t count) {
    if constexpr (Op::kCode == kContoneBlack || Op::kCode == kContoneWhite) {
        return PatternPlan::Constant;
    } else if constexpr (Op::kIgnoresDest) {
        // A period dividing 16 is a memset of a 16-byte value.
        if (count >= kLeastDirectWidth && width < kLeastDirectWidth && 16 % width == 0 &&
            VectorRowsAvailable())
            return PatternPlan::SixteenResults;
        if (width >= kLeastDirectWidth || count > kLeastTile)
            return PatternPlan::FirstPeriodRepeated;
        return PatternPlan::Repeated;
    } else {
        if (width >= kLeastDirectWidth) return PatternPlan::BetweenWraps;
        if (count >= kLeastDirectWidth && 16 % width == 0 && VectorRowsAvailable())
            return PatternPlan::SixteenSamples;
        return PatternPlan::Repeated;
    }
}

// One plane of a span: count samples from destination on, whose first pixel takes pattern
// column c of the plane's run; `tile` is the plane's tile under the sixteen-sample plans, else
// null. The repeated plan is PaintSpan's own.
template <typename Op>
void CombinePattern(PatternPlan plan, uint8_t* destination, uint32_t count, const uint8_t* run,
                    uint32_t width, uint32_t c, const uint8_t* tile) {
    switch (plan) {
    case PatternPlan::Constant: std::memset(destination, Op::Apply(0, 0), count); return;
    case PatternPlan::BetweenWraps:
        CombinePatternPieces<Op>(destination, count, run, width, c);
        return;
    case PatternPlan::FirstPeriodRepeated: {
        const uint32_t period = width < count ? width : count;
        CombinePatternPieces<Op>(destination, period, run, width, c);
        RepeatFirstPeriod(destination, period, count);
        return;
    }
    case PatternPlan::SixteenSamples:
    case PatternPlan::SixteenResults: {
        // These plans take rows of 64 samples or more, so the widest loops that run here do.
        if constexpr (Op::kIgnoresDest) {
            StoreRowRepeatingVector(destination, count, tile, width);
        } else {
            CombineRowRepeatingVector<Op::kCode>(destination, count, tile, width);
        }
        return;
    }
    case PatternPlan::Repeated: return; // PaintSpan's own
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
    uint32_t PatternRowIndex = 0;
    PatternColumns FirstColumns;
    RepeatedPatternRow Repeated;
    PatternTiles Tiles;
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
        walk.PatternRowIndex = static_cast<uint32_t>(row);
    }
}

// Pixels left .. left + count - 1 of the current row, all inside it, with the loops of one
// code.
template <typename Op> void PaintSpan(SpanWalk& walk, uint32_t left, uint32_t count) {
    const PaintSource& paint = walk.Paint;
    if (!paint.Pattern) {
        for (uint32_t k = 0; k < 3; ++k)
            CombineSolidRow<Op>(walk.Cursor.Plane(k) + left, count, paint.Colour[k]);
        return;
    }
    const uint32_t width = static_cast<uint32_t>(paint.Width);
    const uint32_t c = walk.FirstColumns.Of(static_cast<int32_t>(left));
    const PatternPlan plan = PlanPattern<Op>(width, count);
    if (plan == PatternPlan::Repeated) {
        // The plan of short spans under a narrow pattern, taken straight.
        RepeatedPatternRow& repeated = walk.Repeated;
        repeated.Use(walk.PatternRow, width, count);
        const uint32_t length = repeated.Length();
        for (uint32_t k = 0; k < 3; ++k)
            CombineRepeated<Op>(walk.Cursor.Plane(k) + left, count, repeated.From(k, c), length);
        return;
    }
    const bool tiled = plan == PatternPlan::SixteenSamples || plan == PatternPlan::SixteenResults;
    const uint8_t* tiles =
        tiled ? walk.Tiles.Use<Op>(walk.PatternRowIndex, walk.PatternRow, width, c) : nullptr;
    for (uint32_t k = 0; k < 3; ++k) {
        CombinePattern<Op>(plan, walk.Cursor.Plane(k) + left, count, walk.PatternRow + k * width,
                           width, c, tiled ? tiles + k * kTileSamples : nullptr);
    }
}

// Every span: its row is always reached (also for an empty span), then the part of it that
// lies inside the bitmap is painted by paint(walk, left, count).
template <typename Paint>
void FillSpans(SpanWalk& walk, const ScanSpan* spans, uint32_t count, Paint paint) {
    const auto columns = static_cast<int32_t>(walk.Columns);
    for (uint32_t i = 0; i < count; ++i) {
        int32_t y = spans[i].Y, left = spans[i].Left, right = spans[i].Right;
        MoveToRow(walk, y);
        if (right <= left || !walk.Cursor.OnRow()) continue;
        if (left < 0) left = 0;
        if (right > columns) right = columns;
        if (right <= left) continue;
        paint(walk, static_cast<uint32_t>(left), static_cast<uint32_t>(right - left));
    }
}

} // namespace

// Spans on rows outside the bitmap are skipped (their row is still selected, which leaves the
// cursor cleared) and spans reaching past either edge are clipped to it.
uint32_t FillScanRows(PlaneBitmap* surface, uint32_t count, const ScanSpan* spans,
                      const RealizedBrush* brush, uint32_t code, RowMoveListener* listener) {
    count &= 0xFFFF;
    if (count == 0 || spans == nullptr || !HasPixels(surface)) return 0;
    const BitmapHeader& header = *surface->Header;
    const PaintSource paint = ChoosePaint(brush);
    SpanWalk walk{RowCursor(*surface, listener),
                  DrawableColumns(header),
                  header.Height,
                  paint,
                  kNoRowYet,
                  nullptr,
                  0,
                  PatternColumns(paint.Width, paint.OriginX),
                  {},
                  {}};
    // The code is looked at once for the whole list; 0xAA and the codes that are not handled
    // still move the cursor span by span.
    PatternDestKind kind = DispatchPatternDest(code, [&](auto op) {
        FillSpans(walk, spans, count, [](SpanWalk& at, uint32_t left, uint32_t pixels) {
            PaintSpan<decltype(op)>(at, left, pixels);
        });
    });
    if (kind != PatternDestKind::Writes)
        FillSpans(walk, spans, count, [](SpanWalk&, uint32_t, uint32_t) {});
    return 0;
}

} // namespace marl

uint32_t RPFillScanRows(RenderDevice* device, uint32_t, uint32_t count, const ScanSpan* spans,
                        RealizedBrush* brush, uint32_t, uint32_t, uint32_t code) {
    return marl::FillScanRows(device ? device->Surface : nullptr, count, spans, brush, code,
                              nullptr);
}
