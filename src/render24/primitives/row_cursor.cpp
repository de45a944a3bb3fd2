#include "render24/primitives/row_cursor.h"

#include "common/bitmap.h"

namespace marl {

int32_t RowCursor::Select(uint32_t y) {
    int32_t result = SelectRow(Bitmap, y);
    FetchPlanes();
    if (Listener) Listener->Selected(y & 0xFFFF, result);
    return result;
}

int32_t RowCursor::Next() {
    int32_t result = NextRow(Bitmap);
    FetchPlanes();
    if (Listener) Listener->Advanced(result);
    return result;
}

void RowCursor::FetchPlanes() {
    for (uint32_t k = 0; k < 3; ++k)
        Planes[k] = RowPlane(Bitmap, k);
}

} // namespace marl
