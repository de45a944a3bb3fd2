// The destination's row cursor as the drawing primitives move it: SelectRow or NextRow, each
// followed by fetching the three plane addresses of the row it reached, so plane addresses
// change only when the row does.
#pragma once

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
    RowCursor(PlaneBitmap& bitmap, RowMoveListener* listener)
        : Bitmap(bitmap), Listener(listener) {}

    // SelectRow(y) (low 16 bits, unsigned) and the new row's plane addresses.
    int32_t Select(uint32_t y);
    // NextRow and the new row's plane addresses.
    int32_t Next();

    // True when the current row has all three planes: only then may a sample be written.
    bool OnRow() const { return Planes[0] && Planes[1] && Planes[2]; }
    uint8_t* Plane(uint32_t k) const { return Planes[k]; }

private:
    void FetchPlanes();

    PlaneBitmap& Bitmap;
    RowMoveListener* Listener;
    uint8_t* Planes[3] = {nullptr, nullptr, nullptr};
};

} // namespace marl
