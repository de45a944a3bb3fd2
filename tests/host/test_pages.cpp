#if defined(MARL_HOST_TESTS)
#include "host/test_pages.h"

#include "host/host_fixtures.h"

#include <vector>

namespace marlhosttest {

namespace {

struct PageOp {
    std::string Json;
    bool Pixel = false, Line = false, Fill = false, Brush = false, Blit = false;
    bool Usable(const LivePrimitives& live) const {
        return (!Pixel || live.Pixel) && (!Line || live.Line) && (!Fill || live.Fill) &&
               (!Brush || live.Brush) && (!Blit || live.Blit);
    }
};

PageOp PixelOp(std::string json) {
    PageOp op{std::move(json)};
    op.Pixel = true;
    return op;
}
PageOp LineOp(std::string json) {
    PageOp op{std::move(json)};
    op.Line = true;
    return op;
}
PageOp FillOp(std::string json, bool brush) {
    PageOp op{std::move(json)};
    op.Fill = true;
    op.Brush = brush;
    return op;
}
PageOp BlitOp(std::string json, bool brush) {
    PageOp op{std::move(json)};
    op.Blit = true;
    op.Brush = brush;
    return op;
}

void WritePictures(const ScratchDirectory& directory) {
    WriteFile(directory.File("rgb.bmp"), EncodeBmp(PatternedPicture(24, 23, 17)));
    WriteFile(directory.File("index8.bmp"), EncodeBmp(PatternedPicture(8, 19, 21)));
    WriteFile(directory.File("index4.bmp"), EncodeBmp(PatternedPicture(4, 17, 13)));
    WriteFile(directory.File("mono.bmp"), EncodeBmp(PatternedPicture(1, 29, 19)));
    TestPicture tile = PatternedPicture(24, 6, 5);
    WriteFile(directory.File("tile.bmp"), EncodeBmp(tile));
    TestPicture monoTile = PatternedPicture(1, 8, 8);
    WriteFile(directory.File("monotile.bmp"), EncodeBmp(monoTile));
}

std::string Assemble(const std::string& head, const std::string& brushes,
                     const std::vector<PageOp>& ops, const LivePrimitives& live) {
    std::string text = "{" + head + ",\n";
    if (live.Brush) text += "\"brushes\": {" + brushes + "},\n";
    text += "\"operations\": [\n";
    bool first = true;
    for (const PageOp& op : ops) {
        if (!op.Usable(live)) continue;
        text += (first ? "  " : ", ") + op.Json + "\n";
        first = false;
    }
    return text + "]}\n";
}

const char* kBrushes = R"(
  "hatch": {"style": "hatched", "hatch": 5, "factor": [2, 1], "color": "#C02010",
            "backColor": "#F0E0A0", "origin": [3, 5]},
  "cross": {"style": "hatched", "hatch": "cross", "factor": [4, 4], "color": "#102080"},
  "tile": {"style": "pattern", "image": "tile.bmp", "factor": [2, 3], "origin": [-7, 11]},
  "mono": {"style": "pattern", "image": "monotile.bmp", "color": "#00A000",
           "backColor": "#FFFF00", "origin": [1, 2]})";

} // namespace

std::string WriteBandTestPage(const ScratchDirectory& directory, const LivePrimitives& live) {
    WritePictures(directory);
    std::vector<PageOp> ops = {
        FillOp(R"({"op": "fill", "rect": [-5, -5, 60, 50], "brush": "hatch"})", true),
        FillOp(R"({"op": "fill", "rect": [50, 10, 80, 70], "brush": "tile"})", true),
        FillOp(R"({"op": "fill", "points": [[60,2],[89,88],[14,33],[106,33],[31,88]],
                   "rule": "winding", "brush": "cross", "code": "0xA0"})",
               true),
        FillOp(R"({"op": "fill", "points": [[60,2],[89,88],[14,33],[106,33],[31,88]],
                   "color": "#808080", "code": "0x5A"})",
               true),
        FillOp(R"({"op": "fill", "rect": [0, 60, 40, 30], "brush": "mono"})", true),
        FillOp(R"({"op": "fill", "rect": [100, 70, 30, 30], "code": "DSTINVERT"})", false),
        LineOp(R"({"op": "line", "from": [0, 0], "to": [119, 89], "color": "#FF00FF"})"),
        LineOp(R"({"op": "line", "from": [119, 3], "to": [2, 80], "color": "#00FFFF",
                   "code": "0x5A"})"),
        LineOp(R"({"op": "line", "from": [60, -40], "to": [70, 130], "color": "#FFFFFF"})"),
        LineOp(R"({"op": "line", "from": [-30, 45], "to": [150, 44], "color": "#000000",
                   "code": "0x55"})"),
        LineOp(R"({"op": "line", "from": [10, 89], "to": [10, 0], "color": "#FF8000"})"),
        PixelOp(R"({"op": "pixel", "at": [7, 7], "color": "#FF0000"})"),
        PixelOp(R"({"op": "pixel", "at": [119, 89], "color": "#00FF00", "code": "0xFA"})"),
        PixelOp(R"({"op": "pixel", "at": [64, 63], "color": "#123456", "code": "0x50"})"),
        BlitOp(R"({"op": "blit", "at": [-4, -3], "source": "rgb.bmp", "code": "SRCCOPY"})", false),
        BlitOp(R"({"op": "blit", "at": [100, 60], "source": "index8.bmp", "code": "SRCINVERT"})",
               false),
        BlitOp(R"({"op": "blit", "at": [-3, 40], "source": "index4.bmp", "code": "SRCCOPY"})",
               false),
        BlitOp(R"({"op": "blit", "at": [30, 30], "source": "mono.bmp", "code": "SRCCOPY"})", false),
        BlitOp(R"({"op": "blit", "at": [-5, 70], "source": "mono.bmp", "code": "0xB8",
                   "brush": "tile", "palette": false})",
               true),
        BlitOp(R"({"op": "blit", "at": [-3, 12], "source": "mono.bmp", "code": "SRCCOPY",
                   "monoExpand": 11, "textColor": "#0000FF", "backColor": "#FFC0C0",
                   "palette": false})",
               false),
        BlitOp(R"({"op": "blit", "rect": [70, 5, 40, 30], "code": "PATINVERT",
                   "brush": "mono"})",
               true),
        BlitOp(R"({"op": "blit", "rect": [80, 40, 60, 20], "source": "rgb.bmp",
                   "code": "0x8E", "brush": "hatch"})",
               true),
        BlitOp(R"({"op": "text", "at": [20, 76], "text": "Band", "code": "0xE2",
                   "brush": "cross"})",
               true),
        BlitOp(R"({"op": "text", "at": [-4, 20], "text": "Ab", "ink": "clear", "code": "0xB8",
                   "color": "#4040FF"})",
               true),
        BlitOp(R"({"op": "text", "at": [60, 50], "text": "x", "scale": 3, "code": "SRCCOPY",
                   "textColor": "#FFFFFF", "backColor": "#000000"})",
               false),
    };
    std::string text = Assemble(R"("width": 120, "height": 90, "bandHeight": 90,
                                   "background": "#406080")",
                                kBrushes, ops, live);
    std::string path = directory.File("band_test.json");
    WriteFile(path, text);
    return path;
}

std::string WriteGoldenPage(const ScratchDirectory& directory, const LivePrimitives& live) {
    WritePictures(directory);
    std::vector<PageOp> ops = {
        FillOp(R"({"op": "fill", "rect": [2, 2, 20, 10], "color": "#FF8000"})", true),
        FillOp(R"({"op": "fill", "rect": [10, 6, 20, 10], "color": "#808080", "code": "0x5A"})",
               true),
        FillOp(R"({"op": "fill", "points": [[20,20],[47,31],[25,31]], "brush": "hatch",
                   "rule": "winding"})",
               true),
        LineOp(R"({"op": "line", "from": [0, 31], "to": [47, 0], "color": "#00FF00"})"),
        LineOp(R"({"op": "line", "from": [5, 0], "to": [9, 31], "color": "#FFFFFF",
                   "code": "DSTINVERT"})"),
        BlitOp(R"({"op": "blit", "at": [30, 2], "source": "rgb.bmp", "code": "SRCCOPY"})", false),
        BlitOp(R"({"op": "blit", "rect": [0, 20, 16, 8], "code": "PATCOPY",
                   "brush": "cross"})",
               true),
        BlitOp(R"({"op": "blit", "rect": [14, 14, 12, 12], "source": "index8.bmp",
                   "code": "SRCINVERT"})",
               false),
        BlitOp(R"({"op": "blit", "rect": [34, 18, 14, 14], "source": "mono.bmp",
                   "code": "MERGECOPY", "brush": "tile"})",
               true),
        BlitOp(R"({"op": "text", "at": [1, 12], "text": "Go", "code": "0xE2",
                   "brush": "mono"})",
               true),
        PixelOp(R"({"op": "pixel", "at": [47, 31], "color": "#FF00FF"})"),
        PixelOp(R"({"op": "pixel", "at": [0, 0], "color": "#102030", "code": "0xFA"})"),
    };
    std::string text = Assemble(R"("width": 48, "height": 32, "bandHeight": 7,
                                   "background": "#204060")",
                                kBrushes, ops, live);
    std::string path = directory.File("golden.json");
    WriteFile(path, text);
    return path;
}

} // namespace marlhosttest
#endif
