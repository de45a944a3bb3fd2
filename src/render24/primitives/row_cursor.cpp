#include "render24/primitives/row_cursor.h"

#include "common/bitmap.h"

namespace marl {

RowCursor::RowCursor(PlaneBitmap& bitmap, RowMoveListener* listener)
    : Bitmap(bitmap), Listener(listener) {
    const BitmapHeader* header = bitmap.Header;
    ThreePlanes = header != nullptr && header->Bits != nullptr && header->Planes >= 3;
    PlaneBytes = header != nullptr ? header->WidthBytes : 0;
}

} // namespace marl
