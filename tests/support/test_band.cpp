#include "support/test_band.h"

namespace marltest {

TestBand::TestBand(uint16_t width, uint16_t height, uint8_t fill, uint16_t widthBytes) {
    uint16_t stride = widthBytes ? widthBytes : MarlPlaneWidthBytes(width, 8);
    Memory = std::make_unique<GuardedBuffer>(size_t{3} * stride * height, fill);
    MarlDescribeBitmap(HeaderRecord, width, height, 3, 8, Memory->data());
    HeaderRecord.WidthBytes = stride;
    HeaderRecord.WidthPlanes = uint32_t{stride} * height;
    MarlAttachSurface(SurfaceRecord, &HeaderRecord);
    DeviceRecord.Allocator = &Alloc;
    DeviceRecord.Surface = &SurfaceRecord;
}

uint8_t* TestBand::Row(uint32_t y, uint32_t plane) {
    return Memory->data() + (size_t{3} * y + plane) * HeaderRecord.WidthBytes;
}

uint8_t& TestBand::At(uint32_t x, uint32_t y, uint32_t plane) { return Row(y, plane)[x]; }

} // namespace marltest
