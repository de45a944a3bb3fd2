// RPDrawLine: a line that the driver has already cut into runs (first run, middle runs
// chosen short or long by a decision value, last run), walked pixel by pixel over the
// destination. Every position is held inside the bitmap: a step past an edge stops on the
// edge, so the rest of a run piles up on the edge row or column.
#include "render24/primitives/lines.h"

#include "common/bitmap.h"
#include "marlrend/marlrend.h"
#include "render24/primitives/contone_rop.h"
#include "render24/primitives/contone_rows.h"

namespace marl {
namespace {

int32_t Limit(int32_t value, int32_t max) {
    if (value < 0) return 0;
    return value > max ? max : value;
}

// The position of the walk and the cursor on its row. Positions are kept in 32 bits: they
// always lie in 0..MaxX and 0..MaxY, and a sum of a position and a step cannot wrap.
struct LineWalk {
    RowCursor& Cursor;
    int32_t X;
    int32_t Y;
    int32_t MaxX;
    int32_t MaxY;
    uint8_t Colour[3];
};

// The row movement inside and between runs. A step of +1 uses NextRow (nothing moves on the
// last row); any other non-zero step is added, limited to the bitmap and reached with
// SelectRow. Plane addresses are fetched by the cursor with each move, and only then.
// Answers whether a row call was made, its result in `result`.
[[gnu::always_inline]] inline bool StepRow(RowCursor& cursor, int32_t& y, int32_t maxY,
                                           int32_t step, int32_t& result) {
    if (step == 0) return false;
    if (step == 1) {
        if (y >= maxY) return false;
        result = cursor.Next();
        ++y;
        return true;
    }
    y = Limit(y + step, maxY);
    result = cursor.Select(static_cast<uint32_t>(y));
    return true;
}

// One run of `count` pixels (count as signed 16 bits: the first pixel is always visited),
// followed by the closing step that leaves the position one step past the run. Combine is
// called with the column of each visited pixel. A row move that fails (no header, or no row
// to write) ends the run at once and leaves the walk's position as it was.
// A run that steps one row down with each pixel goes down the rows NextRow's common case
// reaches (and no listener hears) with combine.Down, which keeps the row address itself;
// only the rest of the run moves the cursor pixel by pixel.
template <typename Combine>
int32_t WalkRun(LineWalk& walk, int16_t count, const RunSliceLine& line, Combine combine) {
    int32_t x = walk.X, y = walk.Y;
    int32_t result = 0;
    auto step = [&]() {
        int32_t moved = 0;
        if (StepRow(walk.Cursor, y, walk.MaxY, line.RunStepY, moved)) {
            result = moved;
            if (moved != kBitmapDone) return false;
        }
        x = Limit(x + line.RunStepX, walk.MaxX);
        return true;
    };
    combine(x);
    int32_t i = 1;
    if constexpr (Combine::kDrawsDown) {
        if (line.RunStepY == 1 && count > 1) {
            const uint32_t ahead = walk.Cursor.RowsAheadUnheard();
            const uint32_t rest = static_cast<uint32_t>(count - 1);
            const uint32_t rows = rest < ahead ? rest : ahead;
            if (rows > 0) x = combine.Down(x, line.RunStepX, rows);
            y += static_cast<int32_t>(rows);
            i += static_cast<int32_t>(rows);
        }
    }
    for (; i < count; ++i) {
        if (!step()) return result;
        combine(x);
    }
    if (!step()) return result;
    walk.X = x;
    walk.Y = y;
    return result;
}

// The three samples of one pixel. A line steps to a new row with nearly every pixel, so each
// sample is usually a cache miss: all three are read before any is written, so that the
// misses overlap instead of waiting on each other's stores.
template <typename Op>
[[gnu::always_inline]] inline void CombineAt(uint8_t* p0, uint8_t* p1, uint8_t* p2, uint8_t c0,
                                             uint8_t c1, uint8_t c2) {
    uint8_t r0, r1, r2;
    if constexpr (Op::kIgnoresDest) {
        r0 = Op::Apply(0, c0);
        r1 = Op::Apply(0, c1);
        r2 = Op::Apply(0, c2);
    } else {
        r0 = Op::Apply(*p0, c0);
        r1 = Op::Apply(*p1, c1);
        r2 = Op::Apply(*p2, c2);
    }
    *p0 = r0;
    *p1 = r1;
    *p2 = r2;
}

template <typename Op>
[[gnu::always_inline]] inline void CombinePixel(const LineWalk& walk, int32_t x) {
    // Everything is read before the first store: a byte store may alias any field of the
    // walk, so reading after it would read the walk again.
    CombineAt<Op>(walk.Cursor.Plane(0) + x, walk.Cursor.Plane(1) + x, walk.Cursor.Plane(2) + x,
                  walk.Colour[0], walk.Colour[1], walk.Colour[2]);
}

// Pixels on the rows below the cursor's that it reaches with NextRow's common case and no
// listener: the row address goes down a stride a row in a local, where no byte store can
// reach it, and the cursor is moved once at the end to where the NextRow calls leave it.
// The colours and limits are locals too, so a store does not make the loop read them again.
struct RowsBelow {
    uint8_t* Row;
    uint32_t Stride;
    uint32_t Plane;
    int32_t MaxX;
    uint8_t Colour[3];

    explicit RowsBelow(const LineWalk& walk)
        : Row(walk.Cursor.Row()), Stride(walk.Cursor.Stride()), Plane(walk.Cursor.PlaneStride()),
          MaxX(walk.MaxX), Colour{walk.Colour[0], walk.Colour[1], walk.Colour[2]} {}

    template <typename Op> [[gnu::always_inline]] void Combine(int32_t x) const {
        uint8_t* at = Row + x;
        CombineAt<Op>(at, at + Plane, at + 2 * Plane, Colour[0], Colour[1], Colour[2]);
    }
};

template <typename Op> struct CombineOnRow {
    static constexpr bool kDrawsDown = true;
    const LineWalk& Walk;
    void operator()(int32_t x) const { CombinePixel<Op>(Walk, x); }
    // `rows` steps of a row down and stepX along it (limited), combining after each; answers
    // the column reached.
    int32_t Down(int32_t x, int32_t stepX, uint32_t rows) const {
        RowsBelow below(Walk);
        for (uint32_t r = 0; r < rows; ++r) {
            below.Row += below.Stride;
            x = Limit(x + stepX, below.MaxX);
            below.Combine<Op>(x);
        }
        Walk.Cursor.Advanced(rows);
        return x;
    }
};

struct CombineNothing {
    static constexpr bool kDrawsDown = false;
    void operator()(int32_t) const {}
};

// Where a run along its row one column a step leaves the walk: one step past its last visit,
// limited to the row.
void AdvanceAlongRow(LineWalk& walk, int16_t count, int32_t stepX) {
    const int32_t visits = count < 1 ? 1 : count;
    walk.X = Limit(stepX > 0 ? walk.X + visits : walk.X - visits, walk.MaxX);
}

// A run along its row, one column a step (RunStepY 0, RunStepX +1 or -1), visits each column
// from X towards the edge once; the visits left when it reaches the edge all fall on the edge
// pixel. Each plane's columns are combined as one row, then the edge pixel as many more times
// (which matters for the codes that read D). No row moves, so none can fail.
template <typename Op> void DrawRowRun(LineWalk& walk, int16_t count, int32_t stepX) {
    const uint32_t visits = count < 1 ? 1u : static_cast<uint32_t>(count);
    const int32_t x = walk.X;
    const uint32_t room = static_cast<uint32_t>(stepX > 0 ? walk.MaxX - x + 1 : x + 1);
    const uint32_t distinct = visits < room ? visits : room;
    const int32_t left = stepX > 0 ? x : x - static_cast<int32_t>(distinct) + 1;
    const int32_t edge = stepX > 0 ? walk.MaxX : 0;
    if (walk.Cursor.OnRow()) {
        for (uint32_t k = 0; k < 3; ++k) {
            uint8_t* row = walk.Cursor.Plane(k);
            CombineSolidRow<Op>(row + left, distinct, walk.Colour[k]);
            if constexpr (!Op::kIgnoresDest) {
                for (uint32_t i = distinct; i < visits; ++i)
                    row[edge] = Op::Apply(row[edge], walk.Colour[k]);
            }
        }
    }
    AdvanceAlongRow(walk, count, stepX);
}

// A run of a single pixel (count 0 or 1) along its row: the pixel at X is combined and the
// walk moves one column on. A 45-degree line cut into runs is one such run per pixel, each
// followed by a slice step of one row, so this skips the row loops' set-up.
template <typename Op>
[[gnu::always_inline]] inline void DrawRowPixel(LineWalk& walk, int32_t stepX) {
    const int32_t x = walk.X;
    const int32_t next = Limit(x + stepX, walk.MaxX);
    if (walk.Cursor.OnRow()) CombinePixel<Op>(walk, x);
    walk.X = next;
}

// How the runs of one line are drawn: along the row (RunStepY 0, RunStepX +1 or -1) or
// pixel by pixel, with the loops of one code. The code is looked at once for the whole line,
// so no run pays for a dispatch.
template <typename Op> struct RunDrawer {
    const RunSliceLine& Line;
    bool AlongRow;
    int32_t operator()(LineWalk& walk, int16_t count) const {
        if (AlongRow) {
            if (count <= 1) {
                DrawRowPixel<Op>(walk, Line.RunStepX);
            } else {
                DrawRowRun<Op>(walk, count, Line.RunStepX);
            }
            return 0;
        }
        return WalkRun(walk, count, Line, CombineOnRow<Op>{walk});
    }

    // The middle runs from `run` on while each is one pixel along the row followed by a
    // slice step of one row down (a line steeper than 45 degrees, or a diagonal, cut as a
    // driver cuts it), on rows reached with NextRow's common case: the pixel, its column
    // steps and the row step without a call. Answers the first run left to the general walk;
    // `decision` follows the runs drawn.
    uint32_t SinglePixelSlices(LineWalk& walk, uint32_t run, int16_t& decision) const {
        const RunSliceLine& line = Line;
        if (!AlongRow || line.SliceStepY != 1) return run;
        const uint32_t ahead = walk.Cursor.RowsAheadUnheard();
        if (ahead == 0) return run;
        // The runs followed by a slice step (all but the last middle run when no last run
        // follows), as far as the rows ahead go. Every value the loop reads is a local: a
        // byte store may alias the line record or the walk, which would be read again.
        const uint32_t middle = line.MiddleRuns;
        const uint32_t sliced = line.LastRun != 0 ? middle : middle - 1;
        const uint32_t end = sliced - run < ahead ? sliced : run + ahead;
        const int16_t baseRun = line.BaseRun, adjustLong = line.ErrorAdjustLong,
                      adjustShort = line.ErrorAdjustShort;
        const int32_t stepX = line.RunStepX, sliceStepX = line.SliceStepX;
        const uint32_t first = run;
        RowsBelow below(walk);
        int32_t x = walk.X;
        int16_t d = decision;
        for (; run < end; ++run) {
            const bool isLong = d > 0;
            if (static_cast<int16_t>(baseRun + (isLong ? 1 : 0)) > 1) break;
            d = static_cast<int16_t>(d + (isLong ? adjustLong : adjustShort));
            below.Combine<Op>(x);
            below.Row += below.Stride;
            x = Limit(Limit(x + stepX, below.MaxX) + sliceStepX, below.MaxX);
        }
        const uint32_t moved = run - first;
        decision = d;
        walk.X = x;
        walk.Y += static_cast<int32_t>(moved);
        walk.Cursor.Advanced(moved);
        return run;
    }
};

// Code 0xAA and the codes that are not handled still walk, so the cursor ends where the line
// does.
struct RunWalker {
    const RunSliceLine& Line;
    bool AlongRow;
    int32_t operator()(LineWalk& walk, int16_t count) const {
        if (AlongRow) {
            AdvanceAlongRow(walk, count, Line.RunStepX);
            return 0;
        }
        return WalkRun(walk, count, Line, CombineNothing{});
    }
    uint32_t SinglePixelSlices(LineWalk&, uint32_t run, int16_t&) const { return run; }
};

[[gnu::always_inline]] inline void SliceStep(LineWalk& walk, const RunSliceLine& line) {
    int32_t ignored = 0;
    StepRow(walk.Cursor, walk.Y, walk.MaxY, line.SliceStepY, ignored);
    walk.X = Limit(walk.X + line.SliceStepX, walk.MaxX);
}

template <typename DrawRun> void WalkRuns(LineWalk& walk, const RunSliceLine& line, DrawRun draw) {
    bool more = line.LastRun != 0 || line.MiddleRuns != 0;
    if (line.FirstRun != 0) {
        draw(walk, static_cast<int16_t>(line.FirstRun));
        if (more) SliceStep(walk, line);
    }
    int16_t decision = line.ErrorTerm;
    for (uint32_t i = 0; i < line.MiddleRuns; ++i) {
        i = draw.SinglePixelSlices(walk, i, decision);
        if (i >= line.MiddleRuns) break;
        int16_t count = line.BaseRun;
        if (decision > 0) {
            count = static_cast<int16_t>(count + 1);
            decision = static_cast<int16_t>(decision + line.ErrorAdjustLong);
        } else {
            decision = static_cast<int16_t>(decision + line.ErrorAdjustShort);
        }
        draw(walk, count);
        if (line.LastRun != 0 || i + 1 < line.MiddleRuns) SliceStep(walk, line);
    }
    if (line.LastRun != 0) draw(walk, static_cast<int16_t>(line.LastRun));
}

} // namespace

// A start point outside the bitmap is limited to it like every later position (the line
// starts on the nearest edge pixel), so no write can leave the band.
uint32_t DrawLine(PlaneBitmap* surface, const RunSliceLine* line, uint32_t code, uint32_t colour,
                  RowMoveListener* listener) {
    if (line == nullptr || !HasPixels(surface)) return 0;
    const BitmapHeader& header = *surface->Header;
    int32_t columns = static_cast<int32_t>(DrawableColumns(header));
    if (columns == 0 || header.Height == 0) return 0;

    RunSliceLine record = *line;
    RowCursor cursor(*surface, listener);
    LineWalk walk{cursor,
                  Limit(record.StartX, columns - 1),
                  Limit(record.StartY, header.Height - 1),
                  columns - 1,
                  header.Height - 1,
                  {static_cast<uint8_t>(colour), static_cast<uint8_t>(colour >> 8),
                   static_cast<uint8_t>(colour >> 16)}};
    cursor.Select(static_cast<uint32_t>(walk.Y));
    if (!cursor.OnRow()) return 0;
    const bool alongRow = record.RunStepY == 0 && (record.RunStepX == 1 || record.RunStepX == -1);
    PatternDestKind kind = DispatchPatternDest(code, [&](auto op) {
        WalkRuns(walk, record, RunDrawer<decltype(op)>{record, alongRow});
    });
    if (kind != PatternDestKind::Writes) WalkRuns(walk, record, RunWalker{record, alongRow});
    return 0;
}

} // namespace marl

uint32_t RPDrawLine(RenderDevice* device, uint32_t, const RunSliceLine* line, uint32_t, uint32_t,
                    uint32_t code, uint32_t colour) {
    return marl::DrawLine(device ? device->Surface : nullptr, line, code, colour, nullptr);
}
