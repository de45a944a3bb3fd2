// A driver's first calls: the table, a stretched transfer it must do itself, one pixel drawn
// into its own band, and a hatched brush realized from its own allocator and released again.
// Answers 0 when every call behaved, and says what did not otherwise.
#include <marlrend/marlrend.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

class DriverAllocator final : public HostAllocator {
public:
    void MARLREND_THISCALL FreeBlock(void* block) override {
        ++Frees;
        std::free(block);
    }
    int32_t MARLREND_THISCALL AllocBlock(uint32_t size, uint32_t, void** block, const char*,
                                         uint32_t) override {
        *block = std::malloc(size);
        if (*block == nullptr) return -1;
        ++Allocs;
        return 0;
    }
    int Allocs = 0;
    int Frees = 0;
};

int failures = 0;

void Expect(bool ok, const char* what) {
    if (ok) return;
    std::printf("consumer: %s\n", what);
    ++failures;
}

} // namespace

int main() {
    CapabilityTable table;
    std::memset(&table, 0xA5, sizeof table);
    Expect(RPGetCapabilities(&table) == &table, "RPGetCapabilities answers its table");
    Expect(table.Zero == 0 && table.Pixel != nullptr && table.RealizeBrush != nullptr,
           "the table is filled");
    Expect(table.StretchDIBits() == 1 && RPStretchDIBits() == 1, "stretching is refused");
    MODULE();

    constexpr uint16_t kWidth = 4, kHeight = 2;
    uint8_t bits[3 * kWidth * kHeight] = {};
    BitmapHeader header;
    MarlDescribeBitmap(header, kWidth, kHeight, 3, 8, bits);
    PlaneBitmap surface;
    MarlAttachSurface(surface, &header);
    DriverAllocator allocator;
    RenderDevice device{};
    device.Surface = &surface;
    device.Allocator = &allocator;

    constexpr uint32_t kCopyColour = 0xF0;
    Expect(table.Pixel(&device, 0, 2, 1, 0x00332211, kCopyColour) == 0, "RPPixel answers 0");
    // A band row holds its three plane rows one after the other.
    const uint32_t plane0 = 3u * header.WidthBytes * 1 + 2;
    Expect(bits[plane0] == 0x11 && bits[plane0 + header.WidthBytes] == 0x22 &&
               bits[plane0 + 2u * header.WidthBytes] == 0x33,
           "the pixel is drawn plane by plane");

    LogicalBrush hatched{2, 0x00FFFFFF, 0};
    RealizedBrush brush{};
    Expect(table.RealizeBrush(&device, &hatched, &brush, 0, 1, 1, 0, 0) == sizeof brush,
           "a hatched brush is realized");
    Expect(allocator.Allocs == 1 && brush.Bits != nullptr, "its pattern is the driver's block");
    table.RealizeBrush(&device, &brush, nullptr, 0, 0, 0, 0, 0);
    Expect(allocator.Frees == 1 && brush.Bits == nullptr, "and it is given back on release");

    if (failures == 0) std::printf("consumer: all calls behaved\n");
    return failures == 0 ? 0 : 1;
}
