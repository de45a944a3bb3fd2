// RPBitBlt against the whole-transfer reference: every ROP3 code, every kind of source, with
// no brush, a solid brush and a pattern brush, on a rectangle inside the band and on one cut
// at the right and bottom edges.
#include "support/blit_harness.h"

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
        setup.Image = std::make_unique<SourceImage>(rect.SourceWidth, rect.SourceHeight, planes,
                                                    bits, seed);
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
    const char* names[] = {"NoSource", "Planes24",      "Raw1Bit",    "Mono1BitPhase0",
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
    for (uint32_t i = 0; i < 256; ++i) codes[i] = i;
    return codes;
}

// Prebuilt, generated, stack-form and source-free codes: enough to exercise the driver's
// preparation when the rows are drawn by the row reference.
std::vector<uint32_t> DriverCodes() {
    return {0x00, 0x01, 0x0F, 0x17, 0x33, 0x5A, 0x66, 0x68, 0x88, 0xAA, 0xB8, 0xCC, 0xE2, 0xF0,
            0xFF};
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

INSTANTIATE_TEST_SUITE_P(
    Sources, BitBltDifferential,
    testing::Values(SourceKind::None, SourceKind::Planes24, SourceKind::Raw1, SourceKind::Mono0,
                    SourceKind::Mono3, SourceKind::Index8Palette, SourceKind::Index8Grey,
                    SourceKind::Index4),
    [](const testing::TestParamInfo<SourceKind>& info) { return KindName(info.param); });

} // namespace
} // namespace marltest
