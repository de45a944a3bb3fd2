// The destination's row cursor as the drawing primitives move it: SelectRow or NextRow, each
// followed by taking the three plane addresses of the row it reached (RowPlane 0, 1 and 2,
// computed inline from the row's start), so plane addresses change only when the row does.
#pragma once

#include "common/bitmap.h"
#include "marlrend/records.h"

#include <cstdint>

namespace marl {

// Hears every row move a primitive makes on its destination. The primitives' internal forms
// take one (or none); the exported entry points pass none. It shows which rows were reached
// with NextRow and that the cursor moves only on a row change.
class RowMoveListener {
public:
    virtual void Selected(uint32_t y, int32_t result) = 0;
    virtual void Advanced(int32_t result) = 0;

protected:
    ~RowMoveListener() = default;
};

// The columns of a row a primitive may write: the header's Width, but never more than one
// plane row holds, so a header claiming more pixels than bytes cannot send a write into the
// next plane or past the band.
inline uint32_t DrawableColumns(const BitmapHeader& header) {
    return header.Width < header.WidthBytes ? header.Width : header.WidthBytes;
}

class RowCursor {
public:
    RowCursor(PlaneBitmap& bitmap, RowMoveListener* listener);

    // SelectRow(y) (low 16 bits, unsigned) and the new row's plane addresses.
    int32_t Select(uint32_t y) {
        const int32_t result = SelectRow(Bitmap, y);
        FetchPlanes();
        if (Listener) Listener->Selected(y & 0xFFFF, result);
        return result;
    }
    // NextRow and the new row's plane addresses. Inline: a diagonal line calls it for every
    // pixel.
    int32_t Next() {
        const int32_t result = NextRow(Bitmap);
        FetchPlanes();
        if (Listener) Listener->Advanced(result);
        return result;
    }

    // Rows the cursor can go down with NextRow's common case, where no listener hears each
    // move: a walk may then keep the row address itself (Row, Stride), stepping it a stride a
    // row, and hand the rows it went down to Advanced once.
    uint32_t RowsAheadUnheard() const {
        return Listener == nullptr && ThreePlanes ? NextRowsInline(Bitmap) : 0;
    }
    uint8_t* Row() const { return Planes[0]; }
    uint32_t Stride() const { return static_cast<uint32_t>(Bitmap.Header->Planes) * PlaneBytes; }
    uint32_t PlaneStride() const { return PlaneBytes; }
    void Advanced(uint32_t rows) {
        AdvanceRowsInline(Bitmap, rows);
        FetchPlanes();
    }

    // True when the current row has all three planes: only then may a sample be written.
    bool OnRow() const { return Planes[0] && Planes[1] && Planes[2]; }
    uint8_t* Plane(uint32_t k) const { return Planes[k]; }

private:
    // The planes of the row the bitmap's cursor is on, worked out here rather than asked of
    // RowPlane three times: a diagonal line moves a row with every pixel, and its plane
    // addresses are the new row's start plus one and two plane rows.
    void FetchPlanes() {
        uint8_t* row = Bitmap.RowBits;
        if (!ThreePlanes || row == nullptr) {
            Planes[0] = Planes[1] = Planes[2] = nullptr;
            return;
        }
        Planes[0] = row;
        Planes[1] = row + PlaneBytes;
        Planes[2] = row + 2 * PlaneBytes;
    }

    PlaneBitmap& Bitmap;
    RowMoveListener* Listener;
    // What RowPlane checks, fixed for the life of the cursor (one primitive call): a header
    // with bits and at least three planes, and the bytes of one plane row.
    bool ThreePlanes = false;
    uint32_t PlaneBytes = 0;
    uint8_t* Planes[3] = {nullptr, nullptr, nullptr};
};

} // namespace marl
