// A source or band whose header claims rows longer than its memory, with readable memory
// again past a hole: the ends of every row can be read, the middle of a row cannot. The
// transfer must answer 1 without touching the hole (found by fuzzing RPBitBlt, where the
// memory after a guard page happened to belong to another buffer).
#include "support/blit_scene.h"
#include "support/counting_allocator.h"
#include "support/library.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

namespace {

using marltest::Table;

size_t Page() { return static_cast<size_t>(sysconf(_SC_PAGESIZE)); }

// kPages readable pages, the page `hole` of them made unreadable.
class HoledMemory {
public:
    static constexpr size_t kPages = 12;
    explicit HoledMemory(size_t hole, uint8_t fill) {
        void* mapping = mmap(nullptr, kPages * Page(), PROT_READ | PROT_WRITE,
                             MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapping == MAP_FAILED) std::abort();
        Base = static_cast<uint8_t*>(mapping);
        std::memset(Base, fill, kPages * Page());
        mprotect(Base + hole * Page(), Page(), PROT_NONE);
    }
    ~HoledMemory() { munmap(Base, kPages * Page()); }
    HoledMemory(const HoledMemory&) = delete;
    HoledMemory& operator=(const HoledMemory&) = delete;
    uint8_t* Bytes() { return Base; }
    bool Untouched(uint8_t fill, size_t hole) const {
        for (size_t i = 0; i < kPages * Page(); ++i)
            if (i / Page() != hole && Base[i] != fill) return false;
        return true;
    }

private:
    uint8_t* Base = nullptr;
};

// A band of three 8-bit planes over memory of the caller's, and the records that describe it.
struct Band {
    BitmapHeader Header{};
    PlaneBitmap Surface{};
    RenderDevice Device{};
    marltest::CountingAllocator Allocator;
    Band(uint8_t* bits, uint16_t width, uint16_t widthBytes, uint16_t height) {
        MarlDescribeBitmap(Header, width, height, 3, 8, bits);
        Header.WidthBytes = widthBytes;
        MarlAttachSurface(Surface, &Header);
        Device.Allocator = &Allocator;
        Device.Surface = &Surface;
    }
};

// Each row spans four and a half pages; its planes start 1.5 pages apart, so the samples of
// plane 1 of row 0 lie in page 1, the hole, while row 0's first and last byte (pages 0 and
// 4) and every byte of the other planes can be read.
constexpr uint16_t kWidthBytes = 6144;
constexpr size_t kHole = 1;

TEST(TransferHoles, SourceRowWithAHoleIsRefused) {
    HoledMemory band(HoledMemory::kPages - 1, 0x3C), source(kHole, 0x77);
    Band target(band.Bytes(), 64, 64, 8);
    BitmapHeader header{};
    MarlDescribeBitmap(header, 64, 2, 3, 8, source.Bytes());
    header.WidthBytes = kWidthBytes;
    DrawColors colours = marltest::PhysicalColours(0, 0xFFFFFF);
    uint32_t result = Table().BitBlt(&target.Device, &target.Header, 0, 0, 64, 2, &header, 0xCC,
                                     nullptr, &colours, 0, nullptr, 0) &
                      0xFFFF;
    EXPECT_EQ(result, 1u);
    EXPECT_TRUE(band.Untouched(0x3C, HoledMemory::kPages - 1));
    EXPECT_EQ(target.Allocator.Live(), 0u);
}

TEST(TransferHoles, BandRowWithAHoleIsRefused) {
    HoledMemory band(kHole, 0x3C);
    Band target(band.Bytes(), 64, kWidthBytes, 2);
    DrawColors colours = marltest::PhysicalColours(0, 0xFFFFFF);
    uint32_t result = Table().BitBlt(&target.Device, &target.Header, 0, 0, 64, 1, nullptr, 0xFF,
                                     nullptr, &colours, 0, nullptr, 0) &
                      0xFFFF;
    EXPECT_EQ(result, 1u);
    EXPECT_TRUE(band.Untouched(0x3C, kHole));
}

} // namespace
