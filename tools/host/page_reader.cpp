#include "host/page_reader.h"

#include "host/bmp_reader.h"
#include "host/colours.h"
#include "host/host_error.h"
#include "host/json_fields.h"
#include "host/regular_file.h"
#include "host/rop_codes.h"
#include "host/text_layout.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace marlhost {

namespace {

// Every position the library takes is a signed 16-bit value.
constexpr int64_t kLowest = -32768;
constexpr int64_t kHighest = 32767;
constexpr int64_t kLargestPagePixels = 100'000'000;
// A pattern row of width x factor x 3 bytes must stay below 32768 bytes.
constexpr int64_t kWidestPattern = 10922;

struct Paper {
    const char* Name;
    double WidthMm;
    double HeightMm;
};

constexpr Paper kPapers[] = {{"A3", 297, 420},
                             {"A4", 210, 297},
                             {"A5", 148, 210},
                             {"Letter", 215.9, 279.4},
                             {"Legal", 215.9, 355.6}};

const char* const kHatchNames[] = {"horizontal", "vertical", "fdiagonal",
                                   "bdiagonal",  "cross",    "diagcross"};

std::string JoinWhere(const std::string& where, const std::string& what) {
    return where + ": " + what;
}

PagePoint ReadPoint(const Json& value, const std::string& where) {
    if (!value.is_array() || value.size() != 2)
        throw PageError(where + ": expected a point [x, y]");
    return {ReadInt(value[0], where + "[0]", kLowest, kHighest),
            ReadInt(value[1], where + "[1]", kLowest, kHighest)};
}

PageRect ReadRect(const Json& value, const std::string& where) {
    if (!value.is_array() || value.size() != 4)
        throw PageError(where + ": expected a rectangle [x, y, width, height]");
    return {ReadInt(value[0], where + "[0]", kLowest, kHighest),
            ReadInt(value[1], where + "[1]", kLowest, kHighest),
            ReadInt(value[2], where + "[2]", 1, kHighest),
            ReadInt(value[3], where + "[3]", 1, kHighest)};
}

std::string ParseErrorDetail(const std::string& what) {
    // The library's message reads "[...] parse error at line L, column C: detail".
    size_t column = what.find("column ");
    size_t colon = column == std::string::npos ? column : what.find(": ", column);
    return colon == std::string::npos ? what : what.substr(colon + 2);
}

void LineAndColumn(const std::string& text, size_t byte, size_t& line, size_t& column) {
    line = 1;
    column = 1;
    for (size_t i = 0; i < text.size() && i + 1 < byte; ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
}

// Pages nest a few levels deep; a value nested deeper than this is refused before the JSON
// parser and every recursive walk over the value (messages, destruction) see it.
constexpr int kDeepestNesting = 100;

// The byte at which the text first nests deeper than kDeepestNesting, or npos.
size_t TooDeepAt(const std::string& text) {
    int depth = 0;
    bool inString = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kDeepestNesting) return i;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return std::string::npos;
}

class PageBuilder {
public:
    PageBuilder(std::string directory, const ReaderSettings& settings)
        : Directory(std::move(directory)), Fonts(Directory, settings.FontDirectory) {}

    Page Build(const Json& root);

private:
    void ReadSize(JsonObject& root);
    void ReadBrushes(const Json& brushes);
    BrushSpec ReadBrush(const std::string& name, const Json& value);
    void ReadHatched(JsonObject& object, BrushSpec& brush);
    void ReadPattern(JsonObject& object, BrushSpec& brush);
    void ReadFactors(JsonObject& object, BrushSpec& brush);
    void ReadOperation(const Json& value, size_t index);
    void ReadPixel(JsonObject& object);
    void ReadLine(JsonObject& object);
    void ReadFill(JsonObject& object);
    void ReadBlit(JsonObject& object);
    void ReadText(JsonObject& object);
    uint8_t PatternDestCode(JsonObject& object);
    int BrushOf(JsonObject& object);
    void ReadBlitColours(JsonObject& object, BlitOp& blit, bool keepPatternColours);
    std::shared_ptr<const Image> LoadImage(JsonObject& object, const char* key);
    void Add(const std::string& where, std::variant<PixelOp, LineOp, FillOp, BlitOp> draw);
    void NoteClipping(const std::string& where, int64_t left, int64_t top, int64_t right,
                      int64_t bottom);

    std::string Directory;
    FontBook Fonts;
    GlyphCache Glyphs;
    Page Result;
    std::map<std::string, int> BrushIndex;
    std::map<std::string, std::shared_ptr<const Image>> Images;
    std::map<const Image*, std::shared_ptr<const LibrarySource>> Sources;
};

Page PageBuilder::Build(const Json& root) {
    JsonObject page(root, "page");
    page.Expect({"width", "height", "paper", "resolution", "bandHeight", "background", "brushes",
                 "operations"});
    ReadSize(page);
    Result.Background = ColourField(page, "background", 0xFFFFFF);
    if (const Json* brushes = page.Find("brushes")) ReadBrushes(*brushes);
    const Json& operations = page.Get("operations");
    if (!operations.is_array()) throw PageError("operations: expected an array [...]");
    for (size_t i = 0; i < operations.size(); ++i)
        ReadOperation(operations[i], i);
    return std::move(Result);
}

void PageBuilder::ReadSize(JsonObject& root) {
    Result.Resolution = IntField(root, "resolution", 1, 2400, 300);
    if (const Json* paper = root.Find("paper")) {
        if (root.Has("width") || root.Has("height"))
            root.Fail("paper", "give either \"paper\" or \"width\" and \"height\"");
        std::string name = ReadString(*paper, FieldWhere(root, "paper"));
        const Paper* found = nullptr;
        for (const Paper& known : kPapers)
            if (name == known.Name) found = &known;
        if (!found)
            root.Fail("paper", "unknown paper \"" + name + "\" (A3, A4, A5, Letter, Legal)");
        Result.Width = static_cast<int32_t>(std::lround(found->WidthMm / 25.4 * Result.Resolution));
        Result.Height =
            static_cast<int32_t>(std::lround(found->HeightMm / 25.4 * Result.Resolution));
        if (Result.Width > kHighest || Result.Height > kHighest)
            root.Fail("resolution", "the page would be larger than 32767 pixels");
    } else {
        Result.Width = IntField(root, "width", 1, kHighest);
        Result.Height = IntField(root, "height", 1, kHighest);
    }
    if (int64_t{Result.Width} * Result.Height > kLargestPagePixels)
        throw PageError("page: " + std::to_string(Result.Width) + " x " +
                        std::to_string(Result.Height) + " pixels is more than the host draws (" +
                        std::to_string(kLargestPagePixels) + ")");
    Result.BandHeight = IntField(root, "bandHeight", 1, kHighest, 64);
}

void PageBuilder::ReadBrushes(const Json& brushes) {
    if (!brushes.is_object()) throw PageError("brushes: expected an object {\"name\": {...}}");
    for (auto item = brushes.begin(); item != brushes.end(); ++item) {
        if (item.key().empty() || item.key()[0] == '#')
            throw PageError("brushes: a brush name must not be empty or begin with '#'");
        BrushIndex[item.key()] = static_cast<int>(Result.Brushes.size());
        Result.Brushes.push_back(ReadBrush(item.key(), item.value()));
    }
}

BrushSpec PageBuilder::ReadBrush(const std::string& name, const Json& value) {
    JsonObject object(value, "brushes." + name);
    BrushSpec brush;
    brush.Name = name;
    std::string style = StringField(object, "style");
    if (const Json* origin = object.Find("origin"))
        brush.Origin = ReadPoint(*origin, FieldWhere(object, "origin"));
    if (style == "solid") {
        object.Expect({"style", "color", "origin"});
        brush.Style = BrushStyle::Solid;
        brush.Color = ReadColour(object.Get("color"), FieldWhere(object, "color"));
    } else if (style == "hatched") {
        ReadHatched(object, brush);
    } else if (style == "pattern") {
        ReadPattern(object, brush);
    } else {
        object.Fail("style", "unknown style \"" + style + "\" (solid, hatched, pattern)");
    }
    return brush;
}

void PageBuilder::ReadHatched(JsonObject& object, BrushSpec& brush) {
    object.Expect({"style", "hatch", "color", "backColor", "factor", "origin"});
    brush.Style = BrushStyle::Hatched;
    const Json& hatch = object.Get("hatch");
    if (hatch.is_string()) {
        std::string name = hatch.get<std::string>();
        auto found = std::find(std::begin(kHatchNames), std::end(kHatchNames), name);
        if (found == std::end(kHatchNames))
            object.Fail("hatch", "unknown hatch \"" + name +
                                     "\" (0-5 or horizontal, vertical, fdiagonal, bdiagonal, "
                                     "cross, diagcross)");
        brush.Hatch = static_cast<uint16_t>(found - std::begin(kHatchNames));
    } else {
        brush.Hatch = static_cast<uint16_t>(ReadInt(hatch, FieldWhere(object, "hatch"), 0, 5));
    }
    brush.Color = ColourField(object, "color", 0x000000);
    brush.BackColor = ColourField(object, "backColor", 0xFFFFFF);
    ReadFactors(object, brush);
    static constexpr int kPairs[][2] = {{1, 1}, {2, 1}, {2, 2}, {4, 2}, {4, 4}};
    for (const auto& pair : kPairs)
        if (brush.XFactor == pair[0] && brush.YFactor == pair[1]) return;
    object.Fail("factor", "hatched brushes come at the factors [1, 1], [2, 1], [2, 2], [4, 2] "
                          "and [4, 4] only");
}

void PageBuilder::ReadFactors(JsonObject& object, BrushSpec& brush) {
    const Json* factor = object.Find("factor");
    if (!factor) return;
    std::string where = FieldWhere(object, "factor");
    if (!factor->is_array() || factor->size() != 2)
        throw PageError(where + ": expected [x factor, y factor]");
    brush.XFactor = static_cast<uint8_t>(ReadInt((*factor)[0], where + "[0]", 1, 255));
    brush.YFactor = static_cast<uint8_t>(ReadInt((*factor)[1], where + "[1]", 1, 255));
}

void PageBuilder::ReadPattern(JsonObject& object, BrushSpec& brush) {
    object.Expect({"style", "image", "factor", "origin", "color", "backColor"});
    brush.Style = BrushStyle::Pattern;
    brush.Pattern = LoadImage(object, "image");
    ReadFactors(object, brush);
    const Image& image = *brush.Pattern;
    if (int64_t{image.Width} * brush.XFactor > kWidestPattern ||
        int64_t{image.Height} * brush.YFactor > kHighest)
        object.Fail("factor", "the enlarged pattern would be wider than 10922 or taller than "
                              "32767 pixels");
    if (image.BitsPerPixel == 1) {
        PaletteEntry set =
            image.Palette.size() > 1 ? image.Palette[1] : PaletteEntry{255, 255, 255};
        PaletteEntry clear = image.Palette.empty() ? PaletteEntry{} : image.Palette[0];
        brush.Color = ColourField(object, "color", LibraryColour(set.Red, set.Green, set.Blue));
        brush.BackColor =
            ColourField(object, "backColor", LibraryColour(clear.Red, clear.Green, clear.Blue));
    } else if (object.Has("color") || object.Has("backColor")) {
        object.Fail(object.Has("color") ? "color" : "backColor",
                    "colours apply to 1-bit pattern images only; this one has " +
                        std::to_string(image.BitsPerPixel) + " bits per pixel");
    }
}

std::shared_ptr<const Image> PageBuilder::LoadImage(JsonObject& object, const char* key) {
    std::string name = StringField(object, key);
    std::string path = !name.empty() && name[0] == '/' ? name : Directory + "/" + name;
    auto found = Images.find(path);
    if (found != Images.end()) return found->second;
    try {
        auto image = std::make_shared<const Image>(ReadBmp(path));
        Images.emplace(path, image);
        return image;
    } catch (const HostError& error) {
        throw PageError(JoinWhere(FieldWhere(object, key), error.what()));
    }
}

void PageBuilder::ReadOperation(const Json& value, size_t index) {
    std::string where = "operations[" + std::to_string(index) + "]";
    JsonObject object(value, where);
    std::string kind = StringField(object, "op");
    JsonObject named(value, where + " (" + kind + ")");
    if (kind == "pixel")
        ReadPixel(named);
    else if (kind == "line")
        ReadLine(named);
    else if (kind == "fill")
        ReadFill(named);
    else if (kind == "blit")
        ReadBlit(named);
    else if (kind == "text")
        ReadText(named);
    else
        object.Fail("op", "unknown operation \"" + kind + "\" (pixel, line, fill, blit, text)");
}

void PageBuilder::Add(const std::string& where,
                      std::variant<PixelOp, LineOp, FillOp, BlitOp> draw) {
    Result.Operations.push_back({where, std::move(draw)});
}

void PageBuilder::NoteClipping(const std::string& where, int64_t left, int64_t top, int64_t right,
                               int64_t bottom) {
    if (left >= 0 && top >= 0 && right <= Result.Width && bottom <= Result.Height) return;
    Result.Clipped.push_back(where + " reaches outside the page (" + std::to_string(Result.Width) +
                             " x " + std::to_string(Result.Height) + ") and is clipped");
}

uint8_t PageBuilder::PatternDestCode(JsonObject& object) {
    uint8_t code = CodeField(object, "code", 0xF0);
    if (!IsPatternDestCode(code))
        object.Fail("code", "code " + HexCode(code) +
                                " reads the source; pixels, lines and fills take only the "
                                "sixteen codes of pattern and destination (0x00, 0x05, 0x0A, "
                                "0x0F, 0x50, 0x55, 0x5A, 0x5F, 0xA0, 0xA5, 0xAA, 0xAF, 0xF0, "
                                "0xF5, 0xFA, 0xFF)");
    return code;
}

void PageBuilder::ReadPixel(JsonObject& object) {
    object.Expect({"op", "at", "color", "code"});
    PixelOp pixel;
    pixel.At = ReadPoint(object.Get("at"), FieldWhere(object, "at"));
    pixel.Color = ReadColour(object.Get("color"), FieldWhere(object, "color"));
    pixel.Code = PatternDestCode(object);
    NoteClipping(object.Where(), pixel.At.X, pixel.At.Y, int64_t{pixel.At.X} + 1,
                 int64_t{pixel.At.Y} + 1);
    Add(object.Where(), pixel);
}

void PageBuilder::ReadLine(JsonObject& object) {
    object.Expect({"op", "from", "to", "color", "code"});
    LineOp line;
    line.From = ReadPoint(object.Get("from"), FieldWhere(object, "from"));
    line.To = ReadPoint(object.Get("to"), FieldWhere(object, "to"));
    line.Color = ReadColour(object.Get("color"), FieldWhere(object, "color"));
    line.Code = PatternDestCode(object);
    NoteClipping(object.Where(), std::min(line.From.X, line.To.X), std::min(line.From.Y, line.To.Y),
                 int64_t{std::max(line.From.X, line.To.X)} + 1,
                 int64_t{std::max(line.From.Y, line.To.Y)} + 1);
    Add(object.Where(), line);
}

int PageBuilder::BrushOf(JsonObject& object) {
    if (object.Has("brush") && object.Has("color"))
        object.Fail("brush", "give either \"brush\" or \"color\", not both");
    if (const Json* name = object.Find("brush")) {
        std::string brush = ReadString(*name, FieldWhere(object, "brush"));
        auto found = BrushIndex.find(brush);
        if (found == BrushIndex.end() || brush[0] == '#')
            object.Fail("brush", "no brush \"" + brush + "\" in \"brushes\"");
        return found->second;
    }
    if (const Json* colour = object.Find("color")) {
        uint32_t solid = ReadColour(*colour, FieldWhere(object, "color"));
        std::string key = "#" + std::to_string(solid);
        auto found = BrushIndex.find(key);
        if (found != BrushIndex.end()) return found->second;
        BrushSpec brush;
        brush.Name = key;
        brush.Style = BrushStyle::Solid;
        brush.Color = solid;
        BrushIndex[key] = static_cast<int>(Result.Brushes.size());
        Result.Brushes.push_back(brush);
        return BrushIndex[key];
    }
    return kNoBrush;
}

void PageBuilder::ReadFill(JsonObject& object) {
    object.Expect({"op", "rect", "points", "rule", "brush", "color", "code"});
    FillOp fill;
    object.RequireOneOf({"rect", "points"});
    if (const Json* rect = object.Find("rect")) {
        PageRect box = ReadRect(*rect, FieldWhere(object, "rect"));
        fill.Area = FillArea::Rectangle(box.X, box.Y, box.Width, box.Height);
        if (object.Has("rule")) object.Fail("rule", "a rule applies to \"points\" only");
    } else {
        const Json& points = *object.Find("points");
        std::string where = FieldWhere(object, "points");
        if (!points.is_array() || points.size() < 3)
            throw PageError(where + ": expected at least three points [[x, y], ...]");
        std::vector<Vertex> vertices;
        for (size_t i = 0; i < points.size(); ++i) {
            PagePoint point = ReadPoint(points[i], where + "[" + std::to_string(i) + "]");
            vertices.push_back({point.X, point.Y});
        }
        FillRule rule = FillRule::EvenOdd;
        if (const Json* name = object.Find("rule")) {
            std::string text = ReadString(*name, FieldWhere(object, "rule"));
            if (text == "winding")
                rule = FillRule::Winding;
            else if (text != "evenodd")
                object.Fail("rule", "unknown rule \"" + text + "\" (evenodd, winding)");
        }
        fill.Area = FillArea::Polygon(vertices, rule);
    }
    fill.Brush = BrushOf(object);
    fill.Code = PatternDestCode(object);
    NoteClipping(object.Where(), fill.Area.LeftColumn(), fill.Area.TopRow(),
                 fill.Area.RightColumn(), fill.Area.BottomRow());
    Add(object.Where(), std::move(fill));
}

void PageBuilder::ReadBlitColours(JsonObject& object, BlitOp& blit, bool keepPatternColours) {
    uint32_t text = 0x000000, back = 0xFFFFFF;
    if (keepPatternColours && blit.Brush != kNoBrush) {
        // A 1-bit pattern brush is drawn in the transfer's two colours: keep its own by default.
        const BrushSpec& brush = Result.Brushes[static_cast<size_t>(blit.Brush)];
        if (brush.Style == BrushStyle::Pattern && brush.Pattern->BitsPerPixel == 1) {
            text = brush.Color;
            back = brush.BackColor;
        }
    }
    blit.TextColor = ColourField(object, "textColor", text);
    blit.BackColor = ColourField(object, "backColor", back);
}

void PageBuilder::ReadBlit(JsonObject& object) {
    object.Expect({"op", "rect", "at", "code", "source", "brush", "color", "textColor", "backColor",
                   "monoExpand", "palette"});
    BlitOp blit;
    object.RequireOneOf({"rect", "at"});
    blit.Code = ReadCode(object.Get("code"), FieldWhere(object, "code"));
    if (object.Has("source")) {
        auto image = LoadImage(object, "source");
        auto& source = Sources[image.get()];
        if (!source) source = std::make_shared<const LibrarySource>(ToLibrarySource(*image));
        blit.Source = source;
    }
    if (const Json* rect = object.Find("rect")) {
        blit.Area = ReadRect(*rect, FieldWhere(object, "rect"));
    } else {
        if (!blit.Source) object.Fail("at", "\"at\" needs a \"source\"; give a \"rect\" otherwise");
        PagePoint at = ReadPoint(*object.Find("at"), FieldWhere(object, "at"));
        blit.Area = {at.X, at.Y, blit.Source->Width, blit.Source->Height};
    }
    if (blit.Source) {
        blit.Area.Width = std::min<int32_t>(blit.Area.Width, blit.Source->Width);
        blit.Area.Height = std::min<int32_t>(blit.Area.Height, blit.Source->Height);
    } else if (ReadsSource(blit.Code)) {
        object.Fail("code", "code " + HexCode(blit.Code) + " reads the source: give a \"source\"");
    }
    blit.Brush = BrushOf(object);
    ReadBlitColours(object, blit, true);
    blit.PassPalette = BoolField(object, "palette", true);
    if (object.Has("monoExpand")) {
        if (!blit.Source || blit.Source->Depth() != 1)
            object.Fail("monoExpand", "monoExpand applies to 1-bit sources only");
        const Json* expand = object.Find("monoExpand");
        blit.MonoExpand = expand->is_boolean()
                              ? (expand->get<bool>() ? 8u : 0u)
                              : static_cast<uint32_t>(
                                    ReadInt(*expand, FieldWhere(object, "monoExpand"), 0, 65535));
    }
    NoteClipping(object.Where(), blit.Area.X, blit.Area.Y, int64_t{blit.Area.X} + blit.Area.Width,
                 int64_t{blit.Area.Y} + blit.Area.Height);
    Add(object.Where(), std::move(blit));
}

void PageBuilder::ReadText(JsonObject& object) {
    object.Expect({"op", "at", "text", "font", "scale", "ink", "code", "brush", "color",
                   "textColor", "backColor"});
    PagePoint at = ReadPoint(object.Get("at"), FieldWhere(object, "at"));
    std::string text = StringField(object, "text");
    std::string fontName = FontBook::DefaultFont();
    if (const Json* font = object.Find("font"))
        fontName = ReadString(*font, FieldWhere(object, "font"));
    const PsfFont* font = nullptr;
    try {
        font = &Fonts.Font(fontName, FieldWhere(object, "font"));
    } catch (const HostError& error) {
        std::string message = error.what();
        if (message.rfind(FieldWhere(object, "font"), 0) == 0) throw;
        throw PageError(JoinWhere(FieldWhere(object, "font"), message));
    }
    TextStyle style;
    style.Scale = static_cast<uint32_t>(IntField(object, "scale", 1, 16, 1));
    if (const Json* ink = object.Find("ink")) {
        std::string sense = ReadString(*ink, FieldWhere(object, "ink"));
        if (sense != "set" && sense != "clear")
            object.Fail("ink", "unknown ink \"" + sense + "\" (set, clear)");
        style.InkSet = sense == "set";
    }
    BlitOp glyph;
    glyph.Code = CodeField(object, "code", 0xE2);
    glyph.Brush = BrushOf(object);
    glyph.PassPalette = false;
    // The glyph's two colours make it a mask: they stay black and white unless given.
    ReadBlitColours(object, glyph, false);
    std::vector<GlyphCell> cells = LayOutText(*font, text, at, style, Glyphs, object.Where());
    int64_t left = at.X, top = at.Y, right = at.X, bottom = at.Y;
    for (const GlyphCell& cell : cells) {
        glyph.Source = cell.Glyph;
        glyph.Area = {cell.At.X, cell.At.Y, cell.Glyph->Width, cell.Glyph->Height};
        right = std::max<int64_t>(right, int64_t{cell.At.X} + cell.Glyph->Width);
        bottom = std::max<int64_t>(bottom, int64_t{cell.At.Y} + cell.Glyph->Height);
        Add(object.Where(), glyph);
    }
    NoteClipping(object.Where(), left, top, right, bottom);
}

} // namespace

Page ParsePage(const std::string& text, const std::string& name, const std::string& directory,
               const ReaderSettings& settings) {
    if (size_t deep = TooDeepAt(text); deep != std::string::npos) {
        size_t line, column;
        LineAndColumn(text, deep + 1, line, column);
        throw PageError(name + ":" + std::to_string(line) + ":" + std::to_string(column) +
                        ": values nested more than " + std::to_string(kDeepestNesting) +
                        " levels deep");
    }
    Json root;
    try {
        root = Json::parse(text);
    } catch (const Json::parse_error& error) {
        size_t line, column;
        LineAndColumn(text, error.byte, line, column);
        throw PageError(name + ":" + std::to_string(line) + ":" + std::to_string(column) +
                        ": malformed JSON: " + ParseErrorDetail(error.what()));
    } catch (const Json::exception& error) {
        // A number too large for any JSON value (1e999) is refused as out of range, not as
        // a parse error; it is just as much a page that cannot be read.
        throw PageError(name + ": malformed JSON: " + ParseErrorDetail(error.what()));
    }
    try {
        return PageBuilder(directory, settings).Build(root);
    } catch (const HostError& error) {
        throw HostError(error.Exit(), name + ": " + error.what());
    }
}

Page ReadPage(const std::string& path, const ReaderSettings& settings) {
    std::vector<uint8_t> bytes = ReadRegularFile(path, kLargestPageFile, "a page");
    size_t slash = path.rfind('/');
    std::string directory = slash == std::string::npos ? "." : path.substr(0, slash);
    if (directory.empty()) directory = "/";
    return ParsePage(std::string(bytes.begin(), bytes.end()), path, directory, settings);
}

} // namespace marlhost
