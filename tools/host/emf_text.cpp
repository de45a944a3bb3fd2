#include "host/emf_text.h"

#include "host/host_error.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <cmath>
#include <vector>

namespace marlhost {

namespace {

constexpr const char* kFallbackFamily = "DejaVu Sans";
// Glyphs larger than this (pixels either way) are not drawn: no picture needs them and
// a damaged font height must not make the host render huge bitmaps.
constexpr double kLargestEm = 4000;
// Coverage (of 255) from which a glyph pixel is ink.
constexpr uint8_t kInkCoverage = 128;
constexpr double kSmallEm = 12;
constexpr uint8_t kSmallInkCoverage = 90;

struct LoadedFace {
    std::string File;
    FT_Face Handle = nullptr;
};

// Quantized so that the same text on the same page meets the same cache entry.
int64_t Quantize(double v) { return std::llround(v * 4096); }

} // namespace

struct TextEngine::State {
    FT_Library Library = nullptr;
    std::vector<LoadedFace> Faces;
    std::map<std::tuple<std::string, int32_t, bool>, int> Chosen;
    std::map<std::tuple<int, int64_t, int64_t, int64_t, int64_t, int64_t, uint32_t, bool>, Glyph>
        Glyphs;

    int Open(const std::string& file, int index) {
        for (size_t i = 0; i < Faces.size(); ++i)
            if (Faces[i].File == file + "#" + std::to_string(index)) return static_cast<int>(i);
        FT_Face face = nullptr;
        if (FT_New_Face(Library, file.c_str(), index, &face) != 0) return -1;
        FT_Select_Charmap(face, FT_ENCODING_UNICODE);
        Faces.push_back({file + "#" + std::to_string(index), face});
        return static_cast<int>(Faces.size() - 1);
    }

    int Match(const std::string& family, int32_t weight, bool italic) {
        FcPattern* pattern = FcPatternCreate();
        if (!family.empty())
            FcPatternAddString(pattern, FC_FAMILY,
                               reinterpret_cast<const FcChar8*>(family.c_str()));
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(kFallbackFamily));
        FcPatternAddInteger(pattern, FC_WEIGHT, weight >= 600 ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
        FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
        FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(nullptr, pattern, &result);
        int face = -1;
        if (match != nullptr) {
            FcChar8* file = nullptr;
            int index = 0;
            FcPatternGetInteger(match, FC_INDEX, 0, &index);
            if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch)
                face = Open(reinterpret_cast<const char*>(file), index);
            FcPatternDestroy(match);
        }
        FcPatternDestroy(pattern);
        return face;
    }
};

TextEngine::TextEngine() : S(std::make_unique<State>()) {
    if (FT_Init_FreeType(&S->Library) != 0)
        throw HostError(ExitCode::Internal, "FreeType could not be started");
    if (!FcInit()) throw HostError(ExitCode::Internal, "fontconfig could not be started");
}

TextEngine::~TextEngine() {
    for (LoadedFace& face : S->Faces)
        FT_Done_Face(face.Handle);
    FT_Done_FreeType(S->Library);
}

int TextEngine::Face(const FontChoice& choice) {
    auto key = std::make_tuple(choice.Face, choice.Weight >= 600 ? 700 : 400, choice.Italic);
    auto found = S->Chosen.find(key);
    if (found != S->Chosen.end()) return found->second;
    int face = S->Match(choice.Face, choice.Weight, choice.Italic);
    if (face < 0) face = S->Match(kFallbackFamily, choice.Weight, choice.Italic);
    if (face < 0)
        throw PageError("no font for \"" + choice.Face + "\" and no fallback font (" +
                        kFallbackFamily + "; package fonts-dejavu-core)");
    S->Chosen.emplace(key, face);
    return face;
}

std::string TextEngine::FaceFile(int face) const { return S->Faces.at(size_t(face)).File; }

FontMetrics TextEngine::Metrics(int faceIndex, double em) {
    FT_Face face = S->Faces.at(size_t(faceIndex)).Handle;
    double units = face->units_per_EM > 0 ? face->units_per_EM : 2048;
    FontMetrics m;
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    double ascent = face->ascender, descent = -face->descender;
    if (os2 != nullptr && os2->usWinAscent + os2->usWinDescent > 0) {
        ascent = os2->usWinAscent;
        descent = os2->usWinDescent;
    }
    m.Ascent = ascent / units * em;
    m.Descent = descent / units * em;
    m.CellScale = ascent + descent > 0 ? units / (ascent + descent) : 1;
    m.AverageWidth =
        (os2 != nullptr && os2->xAvgCharWidth > 0 ? os2->xAvgCharWidth : units / 2) / units * em;
    m.UnderlinePosition = -face->underline_position / units * em;
    m.UnderlineThickness = std::max(1.0, double(face->underline_thickness)) / units * em;
    m.StrikeoutPosition =
        (os2 != nullptr && os2->yStrikeoutPosition > 0 ? os2->yStrikeoutPosition : units * 0.26) /
        units * em;
    if (os2 != nullptr && os2->yStrikeoutSize > 0)
        m.UnderlineThickness = std::max(m.UnderlineThickness, 0.0);
    return m;
}

Glyph TextEngine::Render(int faceIndex, const TextGeometry& geometry, uint32_t code, bool byIndex) {
    const Affine& a = geometry.TextToPicture;
    auto key = std::make_tuple(faceIndex, Quantize(geometry.EmLogical), Quantize(a.M11),
                               Quantize(a.M12), Quantize(a.M21), Quantize(a.M22), code, byIndex);
    auto found = S->Glyphs.find(key);
    if (found != S->Glyphs.end()) return found->second;

    Glyph glyph;
    FT_Face face = S->Faces.at(size_t(faceIndex)).Handle;
    // Picture pixels per logical unit; the em in pixels sets the hinting size, and whatever
    // else the transform holds (rotation, stretch, mirroring) goes to FreeType's matrix.
    double scale = a.LengthScale();
    double emPixels = geometry.EmLogical * scale;
    if (!(emPixels > 0.5) || emPixels > kLargestEm || !std::isfinite(emPixels)) {
        S->Glyphs.emplace(key, glyph);
        return glyph;
    }
    FT_Set_Char_Size(face, 0, static_cast<FT_F26Dot6>(std::lround(emPixels * 64)), 72, 72);
    // Text space is y down, FreeType's y up: the matrix is F (A / scale) F with F = diag(1, -1).
    FT_Matrix matrix;
    matrix.xx = static_cast<FT_Fixed>(std::lround(a.M11 / scale * 65536));
    matrix.xy = static_cast<FT_Fixed>(std::lround(-a.M21 / scale * 65536));
    matrix.yx = static_cast<FT_Fixed>(std::lround(-a.M12 / scale * 65536));
    matrix.yy = static_cast<FT_Fixed>(std::lround(a.M22 / scale * 65536));
    FT_Set_Transform(face, &matrix, nullptr);
    FT_UInt index = byIndex ? code : FT_Get_Char_Index(face, code);
    // Glyphs are rendered with grey coverage and a pixel is ink when at least half covered:
    // strokes keep their weight, as in the anti-aliased text GDI draws, rather than the
    // heavier shapes of one-bit hinting. Below kSmallEm pixels most strokes cover less than
    // half a pixel and would break up into dots, so small text takes its ink from a lower
    // coverage and stays legible.
    const uint8_t ink = emPixels < kSmallEm ? kSmallInkCoverage : kInkCoverage;
    if (FT_Load_Glyph(face, index, FT_LOAD_DEFAULT | FT_LOAD_TARGET_LIGHT) == 0 &&
        FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL) == 0) {
        FT_GlyphSlot slot = face->glyph;
        const FT_Bitmap& bitmap = slot->bitmap;
        glyph.Advance = {slot->advance.x / 64.0, -slot->advance.y / 64.0};
        glyph.Left = slot->bitmap_left;
        glyph.Top = -slot->bitmap_top;
        if (bitmap.width > 0 && bitmap.rows > 0 && bitmap.width < 32768 && bitmap.rows < 32768 &&
            bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
            uint32_t rowBytes = (bitmap.width + 7) / 8;
            std::vector<uint8_t> rows(size_t{rowBytes} * bitmap.rows, 0);
            for (uint32_t y = 0; y < bitmap.rows; ++y) {
                const uint8_t* from =
                    bitmap.pitch >= 0
                        ? bitmap.buffer + size_t{y} * uint32_t(bitmap.pitch)
                        : bitmap.buffer + size_t{bitmap.rows - 1 - y} * uint32_t(-bitmap.pitch);
                for (uint32_t x = 0; x < bitmap.width; ++x)
                    if (from[x] >= ink)
                        rows[size_t{y} * rowBytes + x / 8] |=
                            static_cast<uint8_t>(0x80u >> (x % 8));
            }
            glyph.Bits = std::make_shared<const LibrarySource>(
                MonoSource(static_cast<uint16_t>(bitmap.width), static_cast<uint16_t>(bitmap.rows),
                           rows, rowBytes));
        }
    }
    FT_Set_Transform(face, nullptr, nullptr);
    S->Glyphs.emplace(key, glyph);
    return glyph;
}

} // namespace marlhost
