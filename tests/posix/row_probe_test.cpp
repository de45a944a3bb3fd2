// How a block transfer probes the rows of its source and its band (RowEndsReadable), against a
// map of which pages were made unreadable: rows that can be read whole always pass, a row
// whose first or last byte cannot be read never does, and rows close enough to be probed page
// by page pass exactly when every page of them can be read.
#include "render24/blit/transfer_source.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

constexpr size_t kPages = 48;

size_t Page() { return static_cast<size_t>(sysconf(_SC_PAGESIZE)); }

// kPages pages, some of them made unreadable.
class Holes {
public:
    Holes() {
        void* mapping = mmap(nullptr, kPages * Page(), PROT_READ | PROT_WRITE,
                             MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapping == MAP_FAILED) std::abort();
        Base = static_cast<uint8_t*>(mapping);
        Readable.assign(kPages, true);
    }
    ~Holes() { munmap(Base, kPages * Page()); }
    Holes(const Holes&) = delete;
    Holes& operator=(const Holes&) = delete;

    void Set(size_t page, bool readable) {
        mprotect(Base + page * Page(), Page(), readable ? PROT_READ | PROT_WRITE : PROT_NONE);
        Readable[page] = readable;
    }
    bool ByteReadable(uint64_t offset) const { return Readable[offset / Page()]; }
    bool BytesReadable(uint64_t from, uint64_t count) const {
        for (uint64_t page = from / Page(); page <= (from + count - 1) / Page(); ++page)
            if (!Readable[page]) return false;
        return true;
    }
    const uint8_t* At(uint64_t offset) const { return Base + offset; }

private:
    uint8_t* Base = nullptr;
    std::vector<bool> Readable;
};

TEST(RowEndsReadable, AgreesWithThePageMap) {
    Holes holes;
    std::mt19937 random(20261208);
    const uint64_t total = kPages * Page();
    int whole = 0, broken = 0, paged = 0;
    for (int trial = 0; trial < 4000; ++trial) {
        if (trial % 50 == 0) {
            for (size_t page = 0; page < kPages; ++page)
                holes.Set(page, random() % 6 != 0);
        }
        // Rows from a few bytes to several pages long, packed or spaced, few or many.
        uint64_t rowBytes = 1 + random() % (random() % 2 ? 64 : 3 * Page());
        uint64_t stride = rowBytes + (random() % 3 == 0 ? random() % 2 * Page() : 0);
        uint32_t rows = 1 + random() % 24;
        uint64_t span = stride * (rows - 1) + rowBytes;
        if (span >= total) continue;
        uint64_t start = random() % (total - span);

        bool allReadable = true, endUnreadable = false;
        for (uint32_t row = 0; row < rows; ++row) {
            uint64_t first = start + row * stride;
            allReadable = allReadable && holes.BytesReadable(first, rowBytes);
            endUnreadable = endUnreadable || !holes.ByteReadable(first) ||
                            !holes.ByteReadable(first + rowBytes - 1);
        }
        bool answer = marl::RowEndsReadable(holes.At(start), stride, rowBytes, rows);
        if (allReadable) {
            EXPECT_TRUE(answer) << start << " " << stride << " " << rowBytes << " " << rows;
            ++whole;
        }
        if (endUnreadable) {
            EXPECT_FALSE(answer) << start << " " << stride << " " << rowBytes << " " << rows;
            ++broken;
        }
        if (span / 4096 + 1 <= 2 * uint64_t{rows}) {
            EXPECT_EQ(answer, holes.BytesReadable(start, span))
                << start << " " << stride << " " << rowBytes << " " << rows;
            ++paged;
        }
    }
    // The trials reach every kind of answer.
    EXPECT_GT(whole, 200);
    EXPECT_GT(broken, 200);
    EXPECT_GT(paged, 200);
}

TEST(RowEndsReadable, RowsThatCannotBeRows) {
    static const uint8_t bytes[64] = {};
    EXPECT_TRUE(marl::RowEndsReadable(bytes, 8, 8, 0)) << "no rows";
    EXPECT_TRUE(marl::RowEndsReadable(nullptr, 8, 8, 0)) << "no rows, no memory";
    EXPECT_TRUE(marl::RowEndsReadable(bytes, 8, 0, 4)) << "empty rows";
    EXPECT_FALSE(marl::RowEndsReadable(nullptr, 8, 8, 1));
    EXPECT_FALSE(marl::RowEndsReadable(bytes, 4, 8, 2)) << "rows overlapping the next";
    EXPECT_TRUE(marl::RowEndsReadable(bytes, 8, 8, 8));
    EXPECT_FALSE(marl::RowEndsReadable(reinterpret_cast<const uint8_t*>(uintptr_t{0xFFFFF000u}),
                                       0x10000, 0x10000, 2))
        << "past the end of the address space";
}

} // namespace
