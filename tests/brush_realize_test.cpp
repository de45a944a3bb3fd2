#include "render24/primitives/brush_realize.h"

#include "core/core_services.h"
#include "platform/platform.h"
#include "support/counting_allocator.h"
#include "support/edition.h"
#include "support/guarded_memory.h"
#include "support/library.h"
#include "support/pattern_reference.h"
#include "support/test_band.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using marltest::GuardedBuffer;
using marltest::ReferencePattern;
using marltest::Rgb;

constexpr const char* kFile = "r:\\platf\\src\\render24\\render24";
constexpr uint32_t kBack = 0x00A0B0C0;

// A plain copy of a realized brush, so fields can be compared without binding references to
// packed members.
struct BrushFields {
    uint16_t Style;
    uint32_t Color;
    uint16_t Hatch;
    uint32_t BackColor;
    int16_t OriginX, OriginY, Width, Height;
    uint8_t* Bits;
    MonoPattern* MonoSource;
};

BrushFields Fields(const RealizedBrush& b) {
    return {b.Style,   b.Color, b.Hatch,  b.BackColor, b.OriginX,
            b.OriginY, b.Width, b.Height, b.Bits,      b.MonoSource};
}

// An address whose first byte cannot be read.
const void* Unreadable() {
    static GuardedBuffer buffer(16);
    return buffer.end();
}

using marltest::AddressField;
using marltest::kRealizedBrushBytes;

RealizedBrush Filled(uint8_t value) {
    RealizedBrush brush;
    std::memset(&brush, value, sizeof brush);
    return brush;
}

std::vector<uint8_t> Bytes(const void* from, size_t count) {
    const auto* bytes = static_cast<const uint8_t*>(from);
    return {bytes, bytes + count};
}

std::vector<uint8_t> PatternOf(const RealizedBrush& brush) {
    const BrushFields f = Fields(brush);
    if (f.Bits == nullptr) return {};
    return Bytes(f.Bits, size_t{3} * f.Width * f.Height);
}

bool Bit(const uint8_t* row, int32_t x) { return (row[x / 8] & (0x80 >> (x % 8))) != 0; }

// A pattern bitmap in guarded memory: its image ends flush against an unreadable page.
class PatternBitmap {
public:
    PatternBitmap(uint16_t width, uint16_t height, uint8_t planes, uint8_t bitsPixel,
                  uint16_t widthBytes, uint32_t seed = 7)
        : Memory(size_t{planes} * widthBytes * height) {
        std::mt19937 random(seed);
        for (size_t i = 0; i < Memory.size(); ++i)
            Memory.data()[i] = static_cast<uint8_t>(random());
        MarlDescribeBitmap(Header, width, height, planes, bitsPixel, Memory.data());
        Header.WidthBytes = widthBytes;
        Header.WidthPlanes = uint32_t{widthBytes} * height;
    }

    LogicalBrush Brush() { return {3, AddressField(&Header), 0}; }
    const uint8_t* Image() const { return Memory.data(); }
    size_t ImageBytes() const { return Memory.size(); }

    // The device pattern the bitmap must expand to, from the header's own layout.
    std::vector<uint8_t> Expected(int32_t xFactor, int32_t yFactor, uint32_t fore,
                                  uint32_t back) const {
        const int32_t widthBytes = Header.WidthBytes;
        const int32_t planes = Header.Planes;
        const bool oneBit = Header.BitsPixel == 1;
        return ReferencePattern(
            Header.Width, Header.Height, xFactor, yFactor, [&](int32_t r, int32_t x) -> Rgb {
                const uint8_t* row = Memory.data() + r * planes * widthBytes;
                if (oneBit && planes == 1) return marltest::ColorRgb(Bit(row, x) ? fore : back);
                Rgb samples{};
                for (int32_t p = 0; p < 3; ++p) {
                    const uint8_t* plane = row + (planes == 3 ? p : 0) * widthBytes;
                    samples[p] = oneBit ? (Bit(plane, x) ? 255 : 0) : plane[x];
                }
                return samples;
            });
    }

    BitmapHeader Header{};

private:
    GuardedBuffer Memory;
};

class BrushRealization : public testing::Test {
protected:
    BrushRealization() { Device.Allocator = &Alloc; }

    // Through the exported table, as a driver calls it; `spare` carries junk on purpose.
    uint32_t Realize(const void* in, RealizedBrush* out, uint32_t xFactor = 1, uint32_t yFactor = 1,
                     uint32_t origin = 0, uint32_t back = kBack) {
        return marltest::Table().RealizeBrush(&Device, const_cast<void*>(in), out, origin, xFactor,
                                              yFactor, 0xDEADBEEF, back);
    }
    uint32_t Release(void* brush) {
        return marltest::Table().RealizeBrush(&Device, brush, nullptr, 0, 0, 0, 0, 0);
    }

    marltest::CountingAllocator Alloc;
    RenderDevice Device{};
};

TEST_F(BrushRealization, SizeQueryAnswersRecordSizeAndTouchesNothing) {
    const auto query = marltest::Table().RealizeBrush;
    EXPECT_EQ(query(nullptr, nullptr, nullptr, 1, 2, 3, 4, 5), kRealizedBrushBytes);
    EXPECT_EQ(query(static_cast<RenderDevice*>(const_cast<void*>(Unreadable())), nullptr, nullptr,
                    0, 0, 0, 0, 0),
              kRealizedBrushBytes);
    EXPECT_EQ(query(&Device, nullptr, nullptr, 0, 0, 0, 0, 0), kRealizedBrushBytes);
    EXPECT_EQ(RPRealizeBrush(&Device, nullptr, nullptr, 0, 0, 0, 0, 0), kRealizedBrushBytes);
    EXPECT_TRUE(Alloc.Calls().empty());
    EXPECT_EQ(Alloc.Frees(), 0u);
}

TEST_F(BrushRealization, StylesWithoutPatternCopyFieldsAndAllocateNothing) {
    for (uint16_t style : {0, 1, 4, 5, 7, 0xFFFF}) {
        SCOPED_TRACE(style);
        const LogicalBrush brush{style, 0x00C0FFEE, 3};
        RealizedBrush out = Filled(0xA5);
        EXPECT_EQ(Realize(&brush, &out, 2, 2, 0x00050003, 0x00123456), kRealizedBrushBytes);
        const BrushFields f = Fields(out);
        EXPECT_EQ(f.Style, style);
        EXPECT_EQ(f.Color, 0x00C0FFEEu);
        EXPECT_EQ(f.Hatch, 3);
        EXPECT_EQ(f.BackColor, 0x00123456u);
        EXPECT_EQ(f.OriginX, 3);
        EXPECT_EQ(f.OriginY, 5);
        EXPECT_EQ(f.Width, 0);
        EXPECT_EQ(f.Height, 0);
        EXPECT_EQ(f.Bits, nullptr);
        EXPECT_EQ(f.MonoSource, nullptr);
    }
    EXPECT_TRUE(Alloc.Calls().empty());
}

TEST_F(BrushRealization, OriginSplitsIntoSignedHalves) {
    const struct {
        uint32_t Origin;
        int16_t X, Y;
    } cases[] = {{0x00050003, 3, 5}, {0xFFFEFFFD, -3, -2}, {0x80007FFF, 32767, -32768}};
    const LogicalBrush brush{0, 0, 0};
    for (const auto& c : cases) {
        RealizedBrush out = Filled(0);
        ASSERT_EQ(Realize(&brush, &out, 1, 1, c.Origin), kRealizedBrushBytes);
        EXPECT_EQ(Fields(out).OriginX, c.X) << std::hex << c.Origin;
        EXPECT_EQ(Fields(out).OriginY, c.Y) << std::hex << c.Origin;
    }
}

TEST_F(BrushRealization, HatchTwoAtFactorsTwoAndOneSteppingTwoColumnsPerRow) {
    const uint32_t color = 0x00112233;
    const LogicalBrush brush{2, color, 2};
    RealizedBrush out = Filled(0);
    Alloc.SucceedWith(7); // any non-negative answer is success
    // Only the low 8 bits of the factor slots count.
    ASSERT_EQ(Realize(&brush, &out, 0xFF02, 0x7701), kRealizedBrushBytes);
    const BrushFields f = Fields(out);
    ASSERT_EQ(f.Width, 16);
    ASSERT_EQ(f.Height, 8);
    EXPECT_EQ(f.MonoSource, nullptr);
    const Rgb fore = marltest::ColorRgb(color), back = marltest::ColorRgb(kBack);
    for (int r = 0; r < 8; ++r)
        for (int p = 0; p < 3; ++p)
            for (int x = 0; x < 16; ++x)
                ASSERT_EQ(f.Bits[r * 48 + p * 16 + x],
                          (x == 2 * r || x == 2 * r + 1) ? fore[p] : back[p])
                    << "row " << r << " plane " << p << " column " << x;
    const auto calls = Alloc.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].Size, 16u * 8u * 3u);
    EXPECT_EQ(calls[0].Flags, 1u);
    EXPECT_EQ(calls[0].File, kFile);
    EXPECT_EQ(calls[0].Line, 821u);
    EXPECT_EQ(Release(&out), 0u);
}

TEST_F(BrushRealization, EveryHatchAtEverySupportedFactorPairFollowsTheRule) {
    const int32_t pairs[][2] = {{1, 1}, {1, 2}, {2, 2}, {2, 4}, {4, 4}}; // (yFactor, xFactor)
    const uint32_t color = 0x00FF7F01;
    for (uint16_t hatch = 0; hatch < 6; ++hatch)
        for (const auto& pair : pairs) {
            const int32_t rows = 8 * pair[0], columns = 8 * pair[1];
            SCOPED_TRACE(testing::Message() << "hatch " << hatch << " " << rows << "x" << columns);
            const LogicalBrush brush{2, color, hatch};
            RealizedBrush out = Filled(0);
            ASSERT_EQ(Realize(&brush, &out, pair[1], pair[0]), kRealizedBrushBytes);
            EXPECT_EQ(Fields(out).Width, columns);
            EXPECT_EQ(Fields(out).Height, rows);
            const auto expected = ReferencePattern(columns, rows, 1, 1, [&](int32_t r, int32_t x) {
                return marltest::ColorRgb(
                    marltest::HatchRuleBit(hatch, r, x, rows, columns) ? color : kBack);
            });
            EXPECT_EQ(PatternOf(out), expected);
            EXPECT_EQ(Release(&out), 0u);
        }
    EXPECT_EQ(Alloc.Live(), 0u);
}

TEST_F(BrushRealization, HatchWithoutImageIsRealizedInItsColour) {
    const struct {
        uint16_t Hatch;
        uint32_t XFactor, YFactor;
    } cases[] = {{6, 1, 1}, {0xFFFF, 2, 2}, {2, 1, 2},    {2, 3, 3},
                 {2, 0, 0}, {0, 8, 8},      {1, 0x100, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Hatch << " factors " << c.XFactor << "," << c.YFactor);
        const LogicalBrush brush{2, 0x00445566, c.Hatch};
        RealizedBrush out = Filled(0xA5);
        EXPECT_EQ(Realize(&brush, &out, c.XFactor, c.YFactor), kRealizedBrushBytes);
        const BrushFields f = Fields(out);
        EXPECT_EQ(f.Color, 0x00445566u);
        EXPECT_EQ(f.Width, 0);
        EXPECT_EQ(f.Height, 0);
        EXPECT_EQ(f.Bits, nullptr);
        EXPECT_EQ(f.MonoSource, nullptr);
    }
    EXPECT_TRUE(Alloc.Calls().empty());
}

TEST_F(BrushRealization, OneBitEightByEightAtTwoAndTwoKeepsItsMonoSource) {
    PatternBitmap bitmap(8, 8, 1, 1, 2);
    const LogicalBrush brush = bitmap.Brush();
    RealizedBrush out = Filled(0);
    ASSERT_EQ(Realize(&brush, &out, 2, 2), kRealizedBrushBytes);
    const BrushFields f = Fields(out);
    EXPECT_EQ(f.Width, 16);
    EXPECT_EQ(f.Height, 16);
    EXPECT_EQ(PatternOf(out), bitmap.Expected(2, 2, brush.Color, kBack));
    ASSERT_NE(f.MonoSource, nullptr);
    const MonoPattern* mono = f.MonoSource;
    const uint32_t fore = mono->ForeColor, back = mono->BackColor;
    const uint16_t width = mono->Width, height = mono->Height, widthBytes = mono->WidthBytes;
    // The low 32 bits of the logical Color field, here the header's address.
    EXPECT_EQ(fore, static_cast<uint32_t>(AddressField(&bitmap.Header)));
    EXPECT_EQ(back, kBack);
    EXPECT_EQ(width, 8);
    EXPECT_EQ(height, 8);
    EXPECT_EQ(widthBytes, 2);
    EXPECT_EQ(Bytes(marl::MonoPatternRows(mono), 16), Bytes(bitmap.Image(), 16));
    const auto calls = Alloc.Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].Size, 16u * 16u * 3u);
    EXPECT_EQ(calls[0].Line, 860u);
    EXPECT_EQ(calls[1].Size, 14u + 8u * 2u);
    EXPECT_EQ(calls[1].Line, 891u);
    for (const auto& call : calls) {
        EXPECT_EQ(call.Flags, 1u);
        EXPECT_EQ(call.File, kFile);
    }
    EXPECT_EQ(Release(&out), 0u);
    EXPECT_EQ(Alloc.Live(), 0u);
}

struct FormatCase {
    const char* Name;
    uint16_t Width, Height;
    uint8_t Planes, BitsPixel;
    uint16_t WidthBytes;
};

class PatternFormats : public BrushRealization, public testing::WithParamInterface<FormatCase> {};

// Every accepted pattern bitmap format expands by its own layout at several factor pairs,
// and release gives all of it back.
TEST_P(PatternFormats, ExpandByTheirLayoutAtEveryFactorPair) {
    const FormatCase& c = GetParam();
    PatternBitmap bitmap(c.Width, c.Height, c.Planes, c.BitsPixel, c.WidthBytes);
    const LogicalBrush brush = bitmap.Brush();
    const int32_t factors[][2] = {{1, 1}, {2, 3}, {4, 1}, {1, 5}};
    for (const auto& factor : factors) {
        SCOPED_TRACE(testing::Message() << "factors " << factor[0] << "," << factor[1]);
        RealizedBrush out = Filled(0);
        ASSERT_EQ(Realize(&brush, &out, factor[0], factor[1]), kRealizedBrushBytes);
        EXPECT_EQ(Fields(out).Width, c.Width * factor[0]);
        EXPECT_EQ(Fields(out).Height, c.Height * factor[1]);
        EXPECT_EQ(PatternOf(out), bitmap.Expected(factor[0], factor[1], brush.Color, kBack));
        EXPECT_EQ(Fields(out).MonoSource != nullptr, c.Planes == 1 && c.BitsPixel == 1);
        EXPECT_EQ(Release(&out), 0u);
        EXPECT_EQ(Alloc.Live(), 0u);
    }
    EXPECT_EQ(Alloc.BadFrees(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Accepted, PatternFormats,
                         testing::Values(FormatCase{"Colour", 8, 8, 3, 8, 8},
                                         FormatCase{"PaddedColour", 6, 4, 3, 8, 8},
                                         FormatCase{"Grey", 5, 3, 1, 8, 8},
                                         FormatCase{"ThreeOneBitPlanes", 12, 5, 3, 1, 2},
                                         FormatCase{"OneBit", 13, 3, 1, 1, 4}),
                         [](const testing::TestParamInfo<FormatCase>& info) {
                             return std::string(info.param.Name);
                         });

TEST_F(BrushRealization, ColourPatternAtFactorsOneIsCopiedUnchanged) {
    PatternBitmap bitmap(8, 6, 3, 8, 8);
    const LogicalBrush brush = bitmap.Brush();
    RealizedBrush out = Filled(0);
    ASSERT_EQ(Realize(&brush, &out, 1, 1), kRealizedBrushBytes);
    EXPECT_EQ(PatternOf(out), Bytes(bitmap.Image(), bitmap.ImageBytes()));
    ASSERT_EQ(Alloc.Calls().size(), 1u);
    EXPECT_EQ(Alloc.Calls()[0].Line, 860u);
    EXPECT_EQ(Alloc.Calls()[0].Size, 8u * 6u * 3u);
    EXPECT_EQ(Release(&out), 0u);
}

// In the 64-bit edition a pattern header passed by address may lie above 4 GiB: the whole of
// Color is its address, the realized colour keeps its low 32 bits, and those bits alone name
// no header.
TEST_F(BrushRealization, PatternHeaderAboveFourGiBIsFoundByItsWholeAddress) {
    marltest::HighPage high;
    if (high.data() == nullptr) GTEST_SKIP() << "no page above 4 GiB (the 32-bit edition)";
    PatternBitmap bitmap(8, 6, 3, 8, 8);
    auto* header = reinterpret_cast<BitmapHeader*>(high.data());
    std::memcpy(header, &bitmap.Header, sizeof *header);
    const LogicalBrush brush{3, AddressField(header), 0};
    RealizedBrush out = Filled(0);
    ASSERT_EQ(Realize(&brush, &out, 1, 1), kRealizedBrushBytes);
    EXPECT_EQ(PatternOf(out), Bytes(bitmap.Image(), bitmap.ImageBytes()));
    EXPECT_EQ(Fields(out).Color, static_cast<uint32_t>(brush.Color));
    EXPECT_EQ(Release(&out), 0u);

    const LogicalBrush cut{3, brush.Color & 0xFFFFFFFFu, 0};
    if (marltest::Readable(reinterpret_cast<const void*>(static_cast<uintptr_t>(cut.Color))))
        GTEST_SKIP() << "the low 32 bits of the address name readable memory";
    EXPECT_EQ(Realize(&cut, &out, 1, 1), 0u);
    EXPECT_EQ(Fields(out).Bits, nullptr);
}

// A handle-held bitmap as a driver passes it: header and bits in one global block, the
// handle in Hatch. The driver keeps two locks of its own, so that a lock the library failed
// to give back, and one it gave back without having taken it, both change the count.
class HandlePattern : public BrushRealization {
protected:
    void SetUp() override {
        Handle = GlobalAlloc(GMEM_MOVEABLE, 32 + 8 * 8 * 3);
        ASSERT_NE(Handle, nullptr);
        // Win32 moveable handles are 32-bit values (Wine's look like 0x00780004): the 16-bit
        // Hatch field cannot carry them, and a Win32 driver passes the header by address.
        if (HandleValue(Handle) > 0xFFFF) GTEST_SKIP() << "handle does not fit 16 bits";
        auto* base = static_cast<uint8_t*>(GlobalLock(Handle));
        ASSERT_NE(base, nullptr);
        ASSERT_EQ(GlobalLock(Handle), base);
        Header = reinterpret_cast<BitmapHeader*>(base);
        MarlDescribeBitmap(*Header, 8, 8, 3, 8, base + 32);
        for (int i = 0; i < 8 * 8 * 3; ++i)
            base[32 + i] = static_cast<uint8_t>(i * 5 + 3);
    }
    void TearDown() override {
        while (GlobalUnlock(Handle)) {
        }
        GlobalFree(Handle);
    }
    // True when exactly the driver's two locks are held; they are held again afterwards.
    bool OnlyDriverLocksHeld() {
        const bool first = GlobalUnlock(Handle) != 0;
        const bool second = GlobalUnlock(Handle) == 0;
        GlobalLock(Handle);
        GlobalLock(Handle);
        return first && second;
    }
    uint16_t HandleField() const { return static_cast<uint16_t>(HandleValue(Handle)); }

    HGLOBAL Handle = nullptr;
    BitmapHeader* Header = nullptr;
};

TEST_F(HandlePattern, IsLockedForTheRealizationAndUnlockedBeforeReturn) {
    BitmapHeader notAccepted{};
    notAccepted.Planes = 2;
    notAccepted.BitsPixel = 8;
    // The Color field holds no usable header: first unreadable, then a readable header of a
    // format that is not accepted; both times the handle is used.
    for (MarlHandleField color : {AddressField(Unreadable()), AddressField(&notAccepted)}) {
        const LogicalBrush brush{3, color, HandleField()};
        RealizedBrush out = Filled(0);
        ASSERT_EQ(Realize(&brush, &out, 1, 1), kRealizedBrushBytes);
        EXPECT_EQ(PatternOf(out), Bytes(Header->Bits, 8 * 8 * 3));
        EXPECT_TRUE(OnlyDriverLocksHeld());
        EXPECT_EQ(Release(&out), 0u);
    }
    EXPECT_EQ(Alloc.Live(), 0u);
}

TEST_F(HandlePattern, RefusalsUnlockToo) {
    const LogicalBrush brush{3, AddressField(Unreadable()), HandleField()};
    const std::function<void()> spoil[] = {
        [&] { Header->Planes = 4; },
        [&] { Header->Bits = nullptr; },
        [&] { Header->Bits = static_cast<uint8_t*>(const_cast<void*>(Unreadable())); },
    };
    for (const auto& change : spoil) {
        const BitmapHeader saved = *Header;
        change();
        RealizedBrush out = Filled(0);
        EXPECT_EQ(Realize(&brush, &out, 1, 1), 0u);
        EXPECT_EQ(Fields(out).Bits, nullptr);
        EXPECT_TRUE(OnlyDriverLocksHeld());
        *Header = saved;
    }
    EXPECT_TRUE(Alloc.Calls().empty());
}

TEST_F(HandlePattern, FailedLockTakesNoLockAway) {
    CSInjectFault(CSFaultGlobalLock, 0);
    const LogicalBrush brush{3, AddressField(Unreadable()), HandleField()};
    RealizedBrush out = Filled(0);
    EXPECT_EQ(Realize(&brush, &out, 1, 1), 0u);
    CSInjectFault(CSFaultGlobalLock, -1);
    EXPECT_TRUE(OnlyDriverLocksHeld());
}

TEST_F(BrushRealization, PatternBrushWithoutAnyHeaderIsRefused) {
    HGLOBAL freed = GlobalAlloc(GMEM_MOVEABLE, 64);
    GlobalFree(freed);
    for (uint16_t hatch : {uint16_t{0}, static_cast<uint16_t>(HandleValue(freed))}) {
        const LogicalBrush brush{3, AddressField(Unreadable()), hatch};
        RealizedBrush out = Filled(0xA5);
        EXPECT_EQ(Realize(&brush, &out, 1, 1), 0u);
        const BrushFields f = Fields(out);
        EXPECT_EQ(f.Width, 0);
        EXPECT_EQ(f.Bits, nullptr);
        EXPECT_EQ(f.MonoSource, nullptr);
    }
    EXPECT_TRUE(Alloc.Calls().empty());
}

TEST_F(BrushRealization, UnusablePatternBitmapsAreRefusedBeforeAllocating) {
    const struct {
        const char* What;
        std::function<void(BitmapHeader&)> Spoil;
        uint32_t XFactor, YFactor;
    } cases[] = {
        {"bits null", [](BitmapHeader& h) { h.Bits = nullptr; }, 1, 1},
        {"bits unreadable",
         [](BitmapHeader& h) { h.Bits = static_cast<uint8_t*>(const_cast<void*>(Unreadable())); },
         1, 1},
        {"image longer than its bits", [](BitmapHeader& h) { h.Height = 9; }, 1, 1},
        {"rows narrower than the width", [](BitmapHeader& h) { h.Width = 9; }, 1, 1},
        {"row bytes over 16 bits",
         [](BitmapHeader& h) {
             h.Width = 5462;
             h.WidthBytes = 5462;
         },
         2, 1},
        {"height over 16 bits", [](BitmapHeader& h) { h.Height = 16384; }, 1, 2},
        {"two planes", [](BitmapHeader& h) { h.Planes = 2; }, 1, 1},
        {"four bits", [](BitmapHeader& h) { h.BitsPixel = 4; }, 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        PatternBitmap bitmap(8, 8, 3, 8, 8);
        c.Spoil(bitmap.Header);
        const LogicalBrush brush = bitmap.Brush();
        RealizedBrush out = Filled(0xA5);
        EXPECT_EQ(Realize(&brush, &out, c.XFactor, c.YFactor), 0u);
        const BrushFields f = Fields(out);
        EXPECT_EQ(f.Width, 0);
        EXPECT_EQ(f.Height, 0);
        EXPECT_EQ(f.Bits, nullptr);
        EXPECT_EQ(f.MonoSource, nullptr);
    }
    EXPECT_TRUE(Alloc.Calls().empty());
}

// A pattern of no pixels (width or height 0, or a device factor of 0 in the low 8 bits of
// its slot) is realized without a pattern, in every accepted format, whether or not the
// device has an allocator and whether or not the bitmap has bits: nothing is allocated or
// read, and a fill with the brush paints its Color.
TEST_F(BrushRealization, EmptyPatternsAreRealizedWithoutAPattern) {
    const struct {
        const char* What;
        uint16_t Width, Height;
        uint32_t XFactor, YFactor;
    } cases[] = {
        {"width 0", 0, 8, 1, 1},
        {"height 0", 8, 0, 2, 2},
        {"horizontal factor 0", 8, 8, 0, 1},
        {"vertical factor 0", 8, 8, 3, 0},
        {"factor 0 in the low bits", 8, 8, 0x100, 1},
    };
    const uint8_t formats[][2] = {{1, 1}, {3, 1}, {3, 8}, {1, 8}}; // planes, bits
    marltest::TestBand band(6, 2, 0x77);
    for (const auto& c : cases) {
        for (const auto& format : formats) {
            for (bool withAllocator : {true, false}) {
                for (bool withBits : {true, false}) {
                    SCOPED_TRACE(testing::Message()
                                 << c.What << ", " << int(format[0]) << " planes of "
                                 << int(format[1]) << " bits, allocator " << withAllocator
                                 << ", bits " << withBits);
                    PatternBitmap bitmap(8, 8, format[0], format[1], 8);
                    bitmap.Header.Width = c.Width;
                    bitmap.Header.Height = c.Height;
                    if (!withBits) bitmap.Header.Bits = nullptr;
                    Device.Allocator = withAllocator ? &Alloc : nullptr;
                    const LogicalBrush brush = bitmap.Brush();
                    RealizedBrush out = Filled(0xA5);
                    EXPECT_EQ(Realize(&brush, &out, c.XFactor, c.YFactor), kRealizedBrushBytes);
                    const BrushFields f = Fields(out);
                    EXPECT_EQ(f.Style, 3);
                    EXPECT_EQ(f.Width, 0);
                    EXPECT_EQ(f.Height, 0);
                    EXPECT_EQ(f.Bits, nullptr);
                    EXPECT_EQ(f.MonoSource, nullptr);
                    EXPECT_TRUE(Alloc.Calls().empty());
                    // Color holds the pattern's address here: its low three bytes are painted.
                    ScanSpan span{1, 2, 5, {}};
                    ASSERT_EQ(marltest::Table().FillScanRows(band.Device(), 0, 1, &span, &out, 0, 0,
                                                             0xF0),
                              0u);
                    for (uint32_t k = 0; k < 3; ++k)
                        EXPECT_EQ(band.At(3, 1, k), static_cast<uint8_t>(f.Color >> (8 * k)));
                    EXPECT_EQ(Release(&out), 0u);
                    EXPECT_EQ(Alloc.Frees(), 0u);
                }
            }
        }
    }
    Device.Allocator = &Alloc;
}

TEST_F(BrushRealization, UnreadableLogicalBrushIsRealizedAsSolidColourZero) {
    GuardedBuffer shortBrush(4, 0x33); // half a logical brush before the unreadable page
    for (const void* in : {Unreadable(), static_cast<const void*>(shortBrush.data())}) {
        RealizedBrush out = Filled(0xA5);
        EXPECT_EQ(Realize(in, &out, 2, 2, 0x00010002, 0x00778899), kRealizedBrushBytes);
        const BrushFields f = Fields(out);
        EXPECT_EQ(f.Style, 0);
        EXPECT_EQ(f.Color, 0u);
        EXPECT_EQ(f.Hatch, 0);
        EXPECT_EQ(f.BackColor, 0x00778899u);
        EXPECT_EQ(f.OriginX, 2);
        EXPECT_EQ(f.OriginY, 1);
        EXPECT_EQ(f.Width, 0);
        EXPECT_EQ(f.Bits, nullptr);
        EXPECT_EQ(f.MonoSource, nullptr);
    }
    EXPECT_TRUE(Alloc.Calls().empty());
}

TEST_F(BrushRealization, UnreadableDeviceOrOutOrMissingBrushIsRefusedWithoutWriting) {
    const auto realize = marltest::Table().RealizeBrush;
    const LogicalBrush brush{2, 0x00112233, 2};
    GuardedBuffer shortDevice(700); // its last 65 bytes would lie in the unreadable page
    HostAllocator* allocator = &Alloc;
    std::memcpy(shortDevice.data() + offsetof(RenderDevice, Allocator), &allocator,
                sizeof allocator);
    auto* deviceShort = reinterpret_cast<RenderDevice*>(shortDevice.data());
    auto* deviceBad = static_cast<RenderDevice*>(const_cast<void*>(Unreadable()));
    auto* lb = const_cast<LogicalBrush*>(&brush);

    const RealizedBrush pristine = Filled(0xA5);
    RealizedBrush out = pristine;
    EXPECT_EQ(realize(deviceBad, lb, &out, 0, 1, 1, 0, 0), 0u);
    EXPECT_EQ(realize(deviceShort, lb, &out, 0, 1, 1, 0, 0), 0u);
    EXPECT_EQ(realize(&Device, nullptr, &out, 0, 1, 1, 0, 0), 0u);
    EXPECT_EQ(Bytes(&out, sizeof out), Bytes(&pristine, sizeof pristine));

    GuardedBuffer shortOut(20, 0x5C); // 8 bytes short of a realized brush
    auto* outShort = reinterpret_cast<RealizedBrush*>(shortOut.data());
    auto* outBad = static_cast<RealizedBrush*>(const_cast<void*>(Unreadable()));
    EXPECT_EQ(realize(&Device, lb, outShort, 0, 1, 1, 0, 0), 0u);
    EXPECT_EQ(realize(&Device, lb, outBad, 0, 1, 1, 0, 0), 0u);
    EXPECT_EQ(Bytes(shortOut.data(), 20), std::vector<uint8_t>(20, 0x5C));
    EXPECT_TRUE(Alloc.Calls().empty());
}

TEST_F(BrushRealization, ReleaseReturnsTheAllocatorToItsEarlierLiveCount) {
    void* unrelated = nullptr;
    ASSERT_GE(Alloc.AllocBlock(10, 0, &unrelated, "driver", 1), 0);
    const size_t before = Alloc.Live();
    PatternBitmap mono(8, 8, 1, 1, 2), colour(4, 4, 3, 8, 4);
    const LogicalBrush brushes[] = {{2, 0x10, 5}, mono.Brush(), colour.Brush(), {0, 1, 0}};
    RealizedBrush out[4];
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(Realize(&brushes[i], &out[i], 2, 2), kRealizedBrushBytes) << i;
    EXPECT_EQ(Alloc.Live(), before + 4);
    for (RealizedBrush& brush : out) {
        EXPECT_EQ(Release(&brush), 0u);
        const BrushFields f = Fields(brush);
        EXPECT_EQ(f.Bits, nullptr);
        EXPECT_EQ(f.MonoSource, nullptr);
        EXPECT_EQ(f.Width, 0);
        EXPECT_EQ(f.Height, 0);
    }
    EXPECT_EQ(Alloc.Live(), before);
    const uint32_t frees = Alloc.Frees();
    for (RealizedBrush& brush : out)
        EXPECT_EQ(Release(&brush), 0u); // a second release
    EXPECT_EQ(Alloc.Frees(), frees);
    EXPECT_EQ(Alloc.BadFrees(), 0u);
    Alloc.FreeBlock(unrelated);
}

TEST_F(BrushRealization, ReleaseLeavesPatternlessAndUnreadableBrushesAlone) {
    RealizedBrush patternless = Filled(0);
    patternless.Bits = reinterpret_cast<uint8_t*>(0x1234); // never to be handed on
    EXPECT_EQ(Release(&patternless), 0u);
    EXPECT_EQ(Fields(patternless).Bits, reinterpret_cast<uint8_t*>(0x1234));

    RealizedBrush withoutBlocks = Filled(0);
    withoutBlocks.Width = 8;
    withoutBlocks.Height = 8;
    EXPECT_EQ(Release(&withoutBlocks), 0u); // null Bits and MonoSource: nothing to free

    EXPECT_EQ(Release(const_cast<void*>(Unreadable())), 0u);
    const LogicalBrush hatch{2, 0x10, 1};
    RealizedBrush out;
    ASSERT_EQ(Realize(&hatch, &out), kRealizedBrushBytes);
    const auto realize = marltest::Table().RealizeBrush;
    auto* deviceBad = static_cast<RenderDevice*>(const_cast<void*>(Unreadable()));
    EXPECT_EQ(realize(deviceBad, &out, nullptr, 0, 0, 0, 0, 0), 0u);
    EXPECT_NE(Fields(out).Bits, nullptr);
    EXPECT_EQ(Alloc.Frees(), 0u);
    EXPECT_EQ(Release(&out), 0u);
    EXPECT_EQ(Alloc.Live(), 0u);
    EXPECT_EQ(Alloc.BadFrees(), 0u);
}

struct FailureCase {
    const char* Name;
    uint32_t Line;
    uint8_t Planes, BitsPixel; // 0: a hatched brush
};

class AllocationFailure : public BrushRealization,
                          public testing::WithParamInterface<FailureCase> {};

// A refused block refuses the brush and leaves it holding nothing; whatever was already
// taken goes back.
TEST_P(AllocationFailure, RefusesTheBrushAndLeaksNothing) {
    const FailureCase& c = GetParam();
    PatternBitmap bitmap(8, 8, c.Planes ? c.Planes : 1, c.BitsPixel ? c.BitsPixel : 1, 8);
    const LogicalBrush brush = c.Planes ? bitmap.Brush() : LogicalBrush{2, 0x00ABCDEF, 4};
    Alloc.FailLine(c.Line);
    RealizedBrush out = Filled(0xA5);
    EXPECT_EQ(Realize(&brush, &out, 2, 2), 0u);
    const BrushFields f = Fields(out);
    EXPECT_EQ(f.Width, 0);
    EXPECT_EQ(f.Height, 0);
    EXPECT_EQ(f.Bits, nullptr);
    EXPECT_EQ(f.MonoSource, nullptr);
    EXPECT_EQ(Alloc.Live(), 0u);
    EXPECT_EQ(Alloc.BadFrees(), 0u);
    ASSERT_FALSE(Alloc.Calls().empty());
    EXPECT_EQ(Alloc.Calls().back().Line, c.Line);
    EXPECT_EQ(Release(&out), 0u);
    EXPECT_EQ(Alloc.BadFrees(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    EachCallSite, AllocationFailure,
    testing::Values(FailureCase{"HatchPattern", 821, 0, 0}, FailureCase{"ColourPattern", 860, 3, 8},
                    FailureCase{"MonoPattern", 860, 1, 1}, FailureCase{"MonoSource", 891, 1, 1}),
    [](const testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.Name); });

} // namespace
