#if defined(MARL_HOST_TESTS)
// Reading pages: sizes, codes, brushes, transfers and text as the host prepares them.
#include "host/host_error.h"
#include "host/host_fixtures.h"
#include "host/psf_font.h"
#include "host/rop_codes.h"

#include <gtest/gtest.h>

namespace {

using namespace marlhosttest;
using marlhost::BlitOp;

marlhost::Page Parse(const std::string& text, const ScratchDirectory& directory) {
    return ParseTestPage(text, directory.Path());
}

TEST(PageReader, PaperSizesFollowTheResolution) {
    ScratchDirectory directory;
    struct Case {
        const char* Paper;
        int Dpi, Width, Height;
    } cases[] = {{"A4", 300, 2480, 3508},
                 {"A4", 600, 4961, 7016},
                 {"Letter", 300, 2550, 3300},
                 {"A5", 72, 420, 595}};
    for (const Case& c : cases) {
        marlhost::Page page =
            Parse(std::string("{\"paper\": \"") + c.Paper +
                      "\", \"resolution\": " + std::to_string(c.Dpi) + ", \"operations\": []}",
                  directory);
        EXPECT_EQ(page.Width, c.Width) << c.Paper << " at " << c.Dpi;
        EXPECT_EQ(page.Height, c.Height) << c.Paper << " at " << c.Dpi;
        EXPECT_EQ(page.BandHeight, 64);
        EXPECT_EQ(page.Background, 0xFFFFFFu);
    }
}

TEST(PageReader, CodesByNameAndInHex) {
    const std::pair<const char*, uint8_t> names[] = {
        {"SRCCOPY", 0xCC},    {"SRCPAINT", 0xEE},   {"SRCAND", 0x88},      {"SRCINVERT", 0x66},
        {"SRCERASE", 0x44},   {"NOTSRCCOPY", 0x33}, {"NOTSRCERASE", 0x11}, {"MERGECOPY", 0xC0},
        {"MERGEPAINT", 0xBB}, {"PATCOPY", 0xF0},    {"PATPAINT", 0xFB},    {"PATINVERT", 0x5A},
        {"DSTINVERT", 0x55},  {"BLACKNESS", 0x00},  {"WHITENESS", 0xFF},   {"0x8e", 0x8E},
        {"0X0", 0x00},        {"0xB8", 0xB8}};
    for (const auto& [name, code] : names)
        EXPECT_EQ(marlhost::ParseRopName(name), code) << name;
    EXPECT_FALSE(marlhost::ParseRopName("0x100"));
    EXPECT_FALSE(marlhost::ParseRopName("srccopy"));
    EXPECT_FALSE(marlhost::ParseRopName("0x"));
    int patternDest = 0;
    for (int code = 0; code < 256; ++code) {
        bool pd = marlhost::IsPatternDestCode(uint8_t(code));
        patternDest += pd ? 1 : 0;
        EXPECT_EQ(pd, !marlhost::ReadsSource(uint8_t(code))) << code;
    }
    EXPECT_EQ(patternDest, 16);
}

TEST(PageReader, TransfersAreLimitedToTheirSource) {
    ScratchDirectory directory;
    WriteFile(directory.File("s.bmp"), EncodeBmp(PatternedPicture(8, 10, 6)));
    marlhost::Page page = Parse(R"({"width": 50, "height": 50, "operations": [
        {"op": "blit", "at": [3, 4], "source": "s.bmp", "code": "SRCCOPY"},
        {"op": "blit", "rect": [0, 0, 40, 3], "source": "s.bmp", "code": "SRCCOPY"},
        {"op": "blit", "rect": [0, 0, 40, 3], "code": "PATCOPY"}]})",
                                directory);
    ASSERT_EQ(page.Operations.size(), 3u);
    EXPECT_EQ(std::get<BlitOp>(page.Operations[2].Draw).Area.Width, 40);
    const auto& at = std::get<BlitOp>(page.Operations[0].Draw);
    EXPECT_EQ(at.Area.X, 3);
    EXPECT_EQ(at.Area.Width, 10);
    EXPECT_EQ(at.Area.Height, 6);
    const auto& rect = std::get<BlitOp>(page.Operations[1].Draw);
    EXPECT_EQ(rect.Area.Width, 10);
    EXPECT_EQ(rect.Area.Height, 3);
    EXPECT_EQ(page.Operations[0].Where, "operations[0] (blit)");
}

TEST(PageReader, MonoExpandNeedsAOneBitSource) {
    ScratchDirectory directory;
    WriteFile(directory.File("m.bmp"), EncodeBmp(PatternedPicture(1, 10, 6)));
    marlhost::Page page = Parse(R"({"width": 50, "height": 50, "operations": [
        {"op": "blit", "at": [0, 0], "source": "m.bmp", "code": "SRCCOPY", "monoExpand": true},
        {"op": "blit", "at": [0, 0], "source": "m.bmp", "code": "SRCCOPY", "monoExpand": 3}]})",
                                directory);
    EXPECT_EQ(std::get<BlitOp>(page.Operations[0].Draw).MonoExpand, 8u);
    EXPECT_EQ(std::get<BlitOp>(page.Operations[1].Draw).MonoExpand, 3u);
    EXPECT_THROW(Parse(R"({"width": 50, "height": 50, "operations": [
        {"op": "blit", "rect": [0, 0, 4, 4], "code": "PATCOPY", "monoExpand": 0}]})",
                       directory),
                 marlhost::HostError);
}

TEST(PageReader, OneBitPatternBrushesTakeTheirPaletteColoursByDefault) {
    ScratchDirectory directory;
    TestPicture picture = PatternedPicture(1, 8, 8);
    picture.Palette = {{10, 20, 30}, {200, 100, 50}};
    WriteFile(directory.File("p.bmp"), EncodeBmp(picture));
    marlhost::Page page = Parse(R"({"width": 50, "height": 50,
        "brushes": {"p": {"style": "pattern", "image": "p.bmp", "origin": [3, -2]},
                    "q": {"style": "pattern", "image": "p.bmp", "color": "#FF0000"}},
        "operations": [{"op": "blit", "rect": [0, 0, 8, 8], "code": "PATCOPY", "brush": "p"}]})",
                                directory);
    ASSERT_EQ(page.Brushes.size(), 2u);
    const marlhost::BrushSpec& p = page.Brushes[0].Name == "p" ? page.Brushes[0] : page.Brushes[1];
    const marlhost::BrushSpec& q = page.Brushes[0].Name == "p" ? page.Brushes[1] : page.Brushes[0];
    EXPECT_EQ(p.Color, 0x3264C8u) << "set bits: palette entry 1, red in byte 0";
    EXPECT_EQ(p.BackColor, 0x1E140Au);
    EXPECT_EQ(p.Origin.Y, -2);
    EXPECT_EQ(q.Color, 0x0000FFu);
    const auto& blit = std::get<BlitOp>(page.Operations[0].Draw);
    EXPECT_EQ(blit.TextColor, p.Color) << "the transfer keeps the pattern's colours";
    EXPECT_EQ(blit.BackColor, p.BackColor);
}

TEST(PageReader, TextBecomesOneGlyphTransferPerCharacter) {
    ScratchDirectory directory;
    marlhost::Page page = Parse(R"({"width": 200, "height": 100, "operations": [
        {"op": "text", "at": [190, 5], "text": "Ab\ncé", "scale": 2},
        {"op": "text", "at": [0, 50], "text": "Z", "font": "Lat15-TerminusBold32x16"}]})",
                                directory);
    ASSERT_EQ(page.Operations.size(), 5u);
    const auto& a = std::get<BlitOp>(page.Operations[0].Draw);
    const auto& b = std::get<BlitOp>(page.Operations[1].Draw);
    const auto& c = std::get<BlitOp>(page.Operations[2].Draw);
    const auto& e = std::get<BlitOp>(page.Operations[3].Draw);
    const auto& z = std::get<BlitOp>(page.Operations[4].Draw);
    EXPECT_EQ(a.Area.X, 190);
    EXPECT_EQ(b.Area.X, 206) << "an 8-pixel glyph at scale 2 advances 16";
    EXPECT_EQ(c.Area.X, 190);
    EXPECT_EQ(c.Area.Y, 37) << "a 16-row font at scale 2 puts the next line 32 lower";
    EXPECT_EQ(a.Area.Width, 16);
    EXPECT_EQ(a.Area.Height, 32);
    EXPECT_EQ(a.Code, 0xE2);
    EXPECT_EQ(a.Source->Depth(), 1u);
    EXPECT_NE(c.Source, e.Source) << "é has its own glyph";
    EXPECT_EQ(z.Area.Width, 16);
    EXPECT_EQ(z.Area.Height, 32);
    EXPECT_EQ(page.Clipped.size(), 1u) << "the first text runs off the right edge";
}

TEST(PsfFonts, BothVersionsReadWithTheirUnicodeTables) {
    for (const char* name : {"Lat15-Terminus16", "Lat15-TerminusBold32x16"}) {
        marlhost::PsfFont font =
            marlhost::PsfFont::Read(std::string(MARLHOST_FONT_DIRECTORY) + "/" + name + ".psf");
        uint32_t a = font.GlyphFor(U'A');
        uint32_t inked = 0;
        for (uint32_t i = 0; i < font.Height() * font.RowBytes(); ++i)
            inked += __builtin_popcount(font.Glyph(a)[i]);
        EXPECT_GT(inked, 10u) << name;
        EXPECT_NE(font.GlyphFor(U'é'), font.GlyphFor(U'e')) << name;
        EXPECT_EQ(font.GlyphFor(U'\U0001F600'), font.GlyphFor(U'?')) << name;
    }
}

TEST(PsfFonts, TruncatedFontsAreRefused) {
    std::vector<uint8_t> psf1 = {0x36, 0x04, 0x00, 0x10};
    psf1.resize(4 + 255 * 16);
    EXPECT_THROW(marlhost::PsfFont::Decode(psf1, "short.psf"), marlhost::HostError);
    psf1.resize(4 + 256 * 16);
    EXPECT_EQ(marlhost::PsfFont::Decode(psf1, "full.psf").GlyphCount(), 256u);
    std::vector<uint8_t> gz = {0x1F, 0x8B, 0x08, 0x00};
    EXPECT_THROW(marlhost::PsfFont::Decode(gz, "font.psf.gz"), marlhost::HostError);
}

TEST(PageReader, MessagesShowTheStartOfAValueEvenCutInsideACharacter) {
    ScratchDirectory directory;
    // 1 + 2 x 30 bytes: the 40-byte cut falls inside the 20th "é".
    std::string accents = "a";
    for (int i = 0; i < 30; ++i)
        accents += "\xC3\xA9";
    const std::string values[] = {"\"" + accents + "\"", "[\"" + accents + "\"]",
                                  "{\"" + accents + "\": 1}"};
    for (const std::string& value : values) {
        try {
            Parse("{\"width\": " + value + ", \"height\": 4, \"operations\": []}", directory);
            ADD_FAILURE() << "read " << value;
        } catch (const marlhost::HostError& error) {
            std::string message = error.what();
            EXPECT_NE(message.find("page.width: expected a whole number, got "), std::string::npos)
                << message;
            EXPECT_NE(message.find("aé"), std::string::npos) << message;
            EXPECT_NE(message.find("..."), std::string::npos) << message;
        }
    }
}

TEST(PageReader, NestingIsCountedOutsideStringsOnly) {
    ScratchDirectory directory;
    // Brackets inside strings, an escaped quote among them, are text, not nesting.
    std::string brackets(300, '[');
    marlhost::Page page = Parse(R"({"width": 40, "height": 20, "comment": ")" + brackets +
                                    R"(\"[{", "operations": [{"op": "text", "at": [0, 0],
                                   "text": ")" +
                                    brackets + R"("}]})",
                                directory);
    EXPECT_FALSE(page.Operations.empty());
    // 100 levels are allowed, the 101st is refused where it opens.
    auto nested = [](int levels) {
        return "{\"width\": 4, \"height\": 4, \"comment\": " + std::string(levels - 1, '[') +
               std::string(levels - 1, ']') + ", \"operations\": []}";
    };
    EXPECT_NO_THROW(Parse(nested(100), directory));
    try {
        Parse(nested(101), directory);
        FAIL() << "101 levels were read";
    } catch (const marlhost::HostError& error) {
        EXPECT_NE(std::string(error.what()).find(":1:137: values nested more than 100 levels"),
                  std::string::npos)
            << error.what();
    }
}

} // namespace
#endif
