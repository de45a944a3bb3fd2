#if defined(MARL_HOST_TESTS)
// The marlrend-host executable: every kind of bad input answered with its message and exit
// code and no picture; good pages written whole, with a progress line for long pages.
#include "host/host_fixtures.h"
#include "host/page_compare.h"
#include "host/page_reader.h"
#include "host/reference_table.h"

#include <dirent.h>
#include <gtest/gtest.h>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb/stb_image.h>

namespace {

using namespace marlhosttest;

constexpr const char* kGoodHead = R"("width": 40, "height": 30, "bandHeight": 8)";

struct BadInput {
    const char* Name;
    std::string Page;               // page text written to page.json
    std::vector<std::string> Extra; // more arguments
    int Exit;
    const char* Message;
};

std::string PageWith(const std::string& operations, const std::string& more = "") {
    return std::string("{") + kGoodHead + more + ", \"operations\": [" + operations + "]}";
}

std::vector<BadInput> BadInputs() {
    return {
        {"MalformedJson",
         "{\"width\": 40,\n  \"height\": ,\n}",
         {},
         3,
         "page.json:2:13: malformed JSON"},
        {"NotAnObject", "[1, 2]", {}, 3, "page: expected an object"},
        {"UnknownOperation",
         PageWith(R"({"op": "circle", "at": [1, 1]})"),
         {},
         3,
         "operations[0].op: unknown operation \"circle\""},
        {"UnknownField",
         PageWith(R"({"op": "pixel", "at": [1, 1], "colour": "#FFFFFF"})"),
         {},
         3,
         "unknown field \"colour\""},
        {"UnknownPageField",
         "{\"width\": 4, \"height\": 4, \"bandheight\": 2, \"operations\": []}",
         {},
         3,
         "page: unknown field \"bandheight\""},
        {"MissingField",
         PageWith(R"({"op": "line", "from": [1, 1], "color": "#FFFFFF"})"),
         {},
         3,
         "operations[0] (line): the field \"to\" is missing"},
        {"MissingImage",
         PageWith(R"({"op": "blit", "at": [0, 0], "source": "nope.bmp",
                                      "code": "SRCCOPY"})"),
         {},
         3,
         "operations[0] (blit).source: "},
        {"MalformedImage",
         PageWith(R"({"op": "blit", "at": [0, 0], "source": "bad.bmp",
                                        "code": "SRCCOPY"})"),
         {},
         3,
         "not a usable BMP file"},
        {"MalformedFont",
         PageWith(R"({"op": "text", "at": [0, 0], "text": "a",
                                       "font": "bad.psf"})"),
         {},
         3,
         "not a usable PSF font"},
        {"UnknownFont",
         PageWith(R"({"op": "text", "at": [0, 0], "text": "a", "font": "nofont"})"),
         {},
         3,
         "no built-in font \"nofont\""},
        {"CodeOutOfRangeHex",
         PageWith(R"({"op": "blit", "rect": [0, 0, 4, 4], "code": "0x1FF"})"),
         {},
         3,
         "code 0x1FF is out of range"},
        {"CodeOutOfRangeNumber",
         PageWith(R"({"op": "blit", "rect": [0, 0, 4, 4], "code": 256})"),
         {},
         3,
         "256 is out of range (0 to 255)"},
        {"UnknownCodeName",
         PageWith(R"({"op": "blit", "rect": [0, 0, 4, 4], "code": "SRCMAGIC"})"),
         {},
         3,
         "unknown code \"SRCMAGIC\""},
        {"SourceCodeOnPixel",
         PageWith(R"({"op": "pixel", "at": [1, 1], "color": "#FFFFFF",
                                           "code": "SRCCOPY"})"),
         {},
         3,
         "code 0xCC reads the source"},
        {"SourceCodeWithoutSource",
         PageWith(R"({"op": "blit", "rect": [0, 0, 4, 4],
                                                 "code": "SRCAND"})"),
         {},
         3,
         "give a \"source\""},
        {"CoordinateOutOfRange",
         PageWith(R"({"op": "pixel", "at": [40000, 1], "color": "#000000"})"),
         {},
         3,
         "40000 is out of range"},
        {"BadColour",
         PageWith(R"({"op": "pixel", "at": [1, 1], "color": "red"})"),
         {},
         3,
         "expected a colour \"#RRGGBB\""},
        {"UnknownBrush",
         PageWith(R"({"op": "fill", "rect": [0, 0, 4, 4], "brush": "nib"})"),
         {},
         3,
         "no brush \"nib\""},
        {"HatchFactor",
         PageWith("", R"(, "brushes": {"h": {"style": "hatched", "hatch": 1,
                                                          "factor": [3, 3]}})"),
         {},
         3,
         "hatched brushes come at the factors"},
        {"OutsideThePageStrict",
         PageWith(R"({"op": "line", "from": [-5, 2], "to": [10, 2],
                                              "color": "#000000"})"),
         {"--strict"},
         3,
         "operations[0] (line) reaches outside the page"},
        {"MissingPage", "", {"--page-is-missing"}, 2, "unknown option --page-is-missing"},
        {"BadBandHeight", PageWith(""), {"--band-height", "0"}, 2, "--band-height takes"},
        {"LibraryMissing",
         PageWith(""),
         {"--library", "/nonexistent/libmarlrend.so"},
         4,
         "cannot load the library"},
    };
}

class HostBadInput : public ::testing::TestWithParam<BadInput> {};

TEST_P(HostBadInput, AnswersWithItsMessageAndExitCodeAndWritesNoPicture) {
    const BadInput& input = GetParam();
    ScratchDirectory directory;
    WriteFile(directory.File("page.json"), input.Page);
    WriteFile(directory.File("bad.bmp"), std::string("BM this is no picture at all"));
    WriteFile(directory.File("bad.psf"), std::string("\x36\x04\x00\x10 too short"));
    std::vector<std::string> arguments = {directory.File("page.json"), "-o",
                                          directory.File("out.png"), "--library",
                                          MARLHOST_REFERENCE_LIBRARY};
    arguments.insert(arguments.end(), input.Extra.begin(), input.Extra.end());
    CommandResult result = RunHost(arguments);
    EXPECT_EQ(result.Exit, input.Exit) << result.Output;
    EXPECT_NE(result.Output.find(input.Message), std::string::npos)
        << "expected \"" << input.Message << "\" in:\n"
        << result.Output;
    EXPECT_FALSE(FileExists(directory.File("out.png")));
}

INSTANTIATE_TEST_SUITE_P(Classes, HostBadInput, ::testing::ValuesIn(BadInputs()),
                         [](const auto& info) { return std::string(info.param.Name); });

marlhost::PageImage ReadPng(const std::string& path) {
    int width = 0, height = 0, channels = 0;
    unsigned char* pixels = stbi_load(path.c_str(), &width, &height, &channels, 3);
    marlhost::PageImage image;
    if (!pixels) return image;
    image.Width = width;
    image.Height = height;
    image.Rgb.assign(pixels, pixels + size_t(width) * size_t(height) * 3);
    stbi_image_free(pixels);
    return image;
}

const char* kColourfulPage = R"({"width": 40, "height": 30, "bandHeight": 4,
  "background": "#102030",
  "operations": [
    {"op": "fill", "rect": [0, 0, 20, 30], "color": "#FF0000"},
    {"op": "fill", "rect": [20, 0, 20, 15], "color": "#00FF00"},
    {"op": "line", "from": [-10, 29], "to": [39, 0], "color": "#0000FF"},
    {"op": "blit", "rect": [30, 20, 5, 5], "code": "PATCOPY", "color": "#FFFF00"}
  ]})";

TEST(HostProgram, PictureHoldsTheRenderedSamplesAsRedGreenBlue) {
    ScratchDirectory directory;
    WriteFile(directory.File("page.json"), std::string(kColourfulPage));
    CommandResult result = RunHost({directory.File("page.json"), "-o", directory.File("out.png"),
                                    "--library", MARLHOST_REFERENCE_LIBRARY});
    ASSERT_EQ(result.Exit, 0) << result.Output;
    marlhost::PageImage written = ReadPng(directory.File("out.png"));
    marlhost::Page page = ParseTestPage(kColourfulPage, directory.Path());
    EXPECT_TRUE(SamePicture(RenderThrough(ReferenceTable(), page, 0), written));
    const uint8_t* red = written.Pixel(1, 1);
    EXPECT_EQ(red[0], 255);
    EXPECT_EQ(red[1], 0);
    EXPECT_EQ(red[2], 0);
    EXPECT_NE(result.Output.find("band"), std::string::npos) << "8 bands show progress";
}

TEST(HostProgram, ClippedOperationsAreDrawnWithoutStrict) {
    ScratchDirectory directory;
    WriteFile(directory.File("page.json"), std::string(kColourfulPage));
    CommandResult result = RunHost({directory.File("page.json"), "-o", directory.File("out.png"),
                                    "--library", MARLHOST_REFERENCE_LIBRARY, "--quiet"});
    EXPECT_EQ(result.Exit, 0) << result.Output;
    EXPECT_TRUE(FileExists(directory.File("out.png")));
    EXPECT_EQ(result.Output, "") << "--quiet and no --strict: nothing to say";
}

TEST(HostProgram, UnwritableOutputFailsAndLeavesNothingBehind) {
    ScratchDirectory directory;
    WriteFile(directory.File("page.json"), std::string(kColourfulPage));
    std::string blocked = directory.File("blocked");
    WriteFile(blocked, std::string("a file, not a directory"));
    CommandResult result = RunHost({directory.File("page.json"), "-o", blocked + "/out.png",
                                    "--library", MARLHOST_REFERENCE_LIBRARY});
    EXPECT_EQ(result.Exit, 5) << result.Output;
    EXPECT_NE(result.Output.find("cannot create a file beside it"), std::string::npos)
        << result.Output;
    int entries = 0;
    if (DIR* dir = opendir(directory.Path().c_str())) {
        while (dirent* entry = readdir(dir))
            entries += entry->d_name[0] == '.' ? 0 : 1;
        closedir(dir);
    }
    EXPECT_EQ(entries, 2) << "only page.json and blocked";
}

TEST(HostProgram, AnExistingPictureIsReplacedWhole) {
    ScratchDirectory directory;
    WriteFile(directory.File("page.json"), std::string(kColourfulPage));
    WriteFile(directory.File("out.png"), std::string("an old picture"));
    CommandResult result = RunHost({directory.File("page.json"), "-o", directory.File("out.png"),
                                    "--library", MARLHOST_REFERENCE_LIBRARY, "--quiet"});
    ASSERT_EQ(result.Exit, 0) << result.Output;
    EXPECT_EQ(ReadPng(directory.File("out.png")).Width, 40);
}

} // namespace
#endif
