// RPBitBlt against the whole-transfer reference: every ROP3 code, every kind of source, with
// no brush, a solid brush and a pattern brush, on a rectangle inside the band and on one cut
// at the right and bottom edges.
#include "support/blit_harness.h"
#include "support/edition.h"
#include "support/library.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace marltest {
namespace {

enum class SourceKind { None, Planes24, Raw1, Mono0, Mono3, Index8Palette, Index8Grey, Index4 };

struct Rectangle {
    uint16_t X, Y, Width, Height;
    uint16_t SourceWidth, SourceHeight;
};

// Inside: columns 3..12 with a source (x + min(12 - 1, 9)), rows 2..6. Cut: from (17, 7)
// the request reaches past the band's 24 x 12.
constexpr Rectangle kInside{3, 2, 9, 4, 12, 6};
constexpr Rectangle kCut{17, 7, 12, 8, 14, 9};
constexpr uint16_t kBandWidth = 24, kBandHeight = 12;

struct SourceSetup {
    std::unique_ptr<SourceImage> Image;
    std::unique_ptr<PaletteImage> Palette;
    uint16_t MonoExpand = 0;
};

SourceSetup MakeSource(SourceKind kind, const Rectangle& rect, uint32_t seed) {
    SourceSetup setup;
    auto image = [&](uint8_t planes, uint8_t bits) {
        setup.Image =
            std::make_unique<SourceImage>(rect.SourceWidth, rect.SourceHeight, planes, bits, seed);
    };
    switch (kind) {
    case SourceKind::None: break;
    case SourceKind::Planes24: image(3, 8); break;
    case SourceKind::Raw1: image(1, 1); break;
    case SourceKind::Mono0:
        image(1, 1);
        setup.MonoExpand = 8; // non-zero, bit phase 0
        break;
    case SourceKind::Mono3:
        image(1, 1);
        setup.MonoExpand = 3;
        break;
    case SourceKind::Index8Palette:
        image(1, 8);
        setup.Palette = std::make_unique<PaletteImage>(256, seed + 1);
        break;
    case SourceKind::Index8Grey: image(1, 8); break;
    case SourceKind::Index4:
        image(1, 4);
        setup.Palette = std::make_unique<PaletteImage>(16, seed + 1);
        break;
    }
    return setup;
}

std::string KindName(SourceKind kind) {
    const char* names[] = {"NoSource",       "Planes24",      "Raw1Bit",    "Mono1BitPhase0",
                           "Mono1BitPhase3", "Index8Palette", "Index8Grey", "Index4Palette"};
    return names[static_cast<int>(kind)];
}

// Runs every code over the three brushes and both rectangles; answers the first few
// disagreements.
std::vector<std::string> RunAllCodes(const BlitUnderTest& blit, SourceKind kind,
                                     const std::vector<uint32_t>& codes) {
    TestBand band(kBandWidth, kBandHeight);
    RealizedBrush solid = SolidBrush(0x0055AA33);
    PatternBrush pattern(5, 3, 3, 5, 77);
    RealizedBrush* brushes[] = {nullptr, &solid, pattern.Record()};
    const char* brushNames[] = {"no brush", "solid brush", "pattern brush"};
    std::vector<std::string> failures;
    for (const Rectangle& rect : {kInside, kCut}) {
        SourceSetup source = MakeSource(kind, rect, 1000 + rect.X);
        for (uint32_t rop : codes) {
            for (int b = 0; b < 3; ++b) {
                BlitScene scene;
                scene.X = rect.X;
                scene.Y = rect.Y;
                scene.Width = rect.Width;
                scene.Height = rect.Height;
                scene.Source = source.Image ? source.Image->Header() : nullptr;
                scene.Rop = static_cast<uint8_t>(rop);
                scene.Brush = brushes[b];
                scene.Colors = PhysicalColours(0x0010E0A0, 0x00F02040);
                if (source.Palette) {
                    scene.Palette = source.Palette->Data();
                    scene.PaletteEntries = source.Palette->Entries();
                }
                scene.MonoExpand = source.MonoExpand;
                std::string difference =
                    CompareWithReference(blit, band, scene, rop * 7 + b + rect.X);
                if (difference.empty()) continue;
                std::ostringstream out;
                out << "rop 0x" << std::hex << rop << std::dec << ", " << brushNames[b]
                    << (rect.X == kInside.X ? ", inside: " : ", cut: ") << difference;
                failures.push_back(out.str());
                if (failures.size() >= 8) return failures;
            }
        }
    }
    return failures;
}

std::vector<uint32_t> AllCodes() {
    std::vector<uint32_t> codes(256);
    for (uint32_t i = 0; i < 256; ++i)
        codes[i] = i;
    return codes;
}

// Prebuilt, generated, stack-form and source-free codes: enough to exercise the driver's
// preparation when the rows are drawn by the row reference.
std::vector<uint32_t> DriverCodes() {
    return {0x00, 0x01, 0x0F, 0x17, 0x33, 0x5A, 0x66, 0x68,
            0x88, 0xAA, 0xB8, 0xCC, 0xE2, 0xF0, 0xFF};
}

class BitBltDifferential : public testing::TestWithParam<SourceKind> {};

TEST_P(BitBltDifferential, EveryCodeThroughTheTableMatchesTheReference) {
    for (const std::string& failure : RunAllCodes(ThroughTable(), GetParam(), AllCodes()))
        ADD_FAILURE() << failure;
}

TEST_P(BitBltDifferential, DriverPreparationMatchesTheReference) {
    for (const std::string& failure : RunAllCodes(ThroughRecorder(), GetParam(), DriverCodes()))
        ADD_FAILURE() << failure;
}

// A 1-bit pattern brush realized through the table, drawn with new colours, the same again,
// and the other ones: the pattern follows the colours of every transfer (that it is expanded
// only when they change is the driver tests' concern).
TEST(BitBltBrushes, RealizedOneBitBrushFollowsTheTransferColours) {
    TestBand band(40, 12);
    SourceImage bitmap(8, 8, 1, 1, 21); // the brush's pattern bitmap
    LogicalBrush logical{3, marltest::AddressField(bitmap.Header()), 0};
    RealizedBrush brush{};
    const uint32_t realizedBack = 0x00808080;
    ASSERT_EQ(
        Table().RealizeBrush(band.Device(), &logical, &brush, 0x00020003, 2, 1, 0, realizedBack),
        marltest::kRealizedBrushBytes);
    ASSERT_EQ(int32_t{brush.Width}, 16);
    ASSERT_EQ(int32_t{brush.Height}, 8);
    // The expected band for colours (text, back): set bits of the pattern take text.
    auto expected = [&](uint32_t text, uint32_t back) {
        std::vector<uint8_t> bytes = BandBytes(band);
        for (uint32_t y = 1; y < 10; ++y)
            for (uint32_t x = 4; x < 34; ++x) {
                uint32_t px = (x - 3 + 16) % 16 / 2, py = (y - 2 + 8) % 8;
                bool set = (bitmap.Row(py)[0] >> (7 - px)) & 1;
                for (uint32_t k = 0; k < 3; ++k)
                    bytes[(3 * y + k) * band.Header()->WidthBytes + x] =
                        uint8_t((set ? text : back) >> (8 * k));
            }
        return bytes;
    };
    auto transfer = [&](uint32_t text, uint32_t back) {
        BlitScene scene;
        scene.X = 4;
        scene.Y = 1;
        scene.Width = 30;
        scene.Height = 9;
        scene.Rop = 0xF0;
        scene.Brush = &brush;
        scene.Colors = PhysicalColours(text, back);
        std::vector<uint8_t> wanted = expected(text, back);
        EXPECT_EQ(CallBitBlt(Table().BitBlt, band, scene), 0u);
        EXPECT_EQ(BandBytes(band), wanted) << std::hex << text << " " << back;
    };
    transfer(0x00112233, 0x00DDEEFF);
    EXPECT_EQ(uint32_t{brush.MonoSource->ForeColor}, 0x00112233u);
    transfer(0x00112233, 0x00DDEEFF);
    transfer(0x00445566, realizedBack);
    EXPECT_EQ(uint32_t{brush.MonoSource->ForeColor}, 0x00445566u);
    EXPECT_EQ(uint32_t{brush.MonoSource->BackColor}, realizedBack);
    EXPECT_EQ(Table().RealizeBrush(band.Device(), &brush, nullptr, 0, 0, 0, 0, 0), 0u);
    EXPECT_EQ(band.Allocator().Live(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Sources, BitBltDifferential,
                         testing::Values(SourceKind::None, SourceKind::Planes24, SourceKind::Raw1,
                                         SourceKind::Mono0, SourceKind::Mono3,
                                         SourceKind::Index8Palette, SourceKind::Index8Grey,
                                         SourceKind::Index4),
                         [](const testing::TestParamInfo<SourceKind>& info) {
                             return KindName(info.param);
                         });

} // namespace
} // namespace marltest
