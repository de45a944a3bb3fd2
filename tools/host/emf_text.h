// Text of metafile records drawn with FreeType: fonts found by fontconfig from the logical
// font's face name, weight and slant (metric-compatible faces stand in for the usual Windows
// ones), glyphs rendered as one-bit bitmaps under the text's full transform, so that rotated,
// stretched and mirrored text keeps its shape.
#pragma once

#include "host/gdi_state.h"
#include "host/library_source.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <tuple>

namespace marlhost {

struct FontChoice {
    std::string Face; // the logical font's face name (UTF-8)
    int32_t Weight = 400;
    bool Italic = false;
};

// Size and shape of text on the picture: text space (x along the baseline, y down, logical
// units) to picture pixels, and the em height in logical units.
struct TextGeometry {
    Affine TextToPicture; // linear part only is used
    double EmLogical = 16;
};

struct Glyph {
    std::shared_ptr<const LibrarySource> Bits; // null for a blank glyph
    int32_t Left = 0;                          // bitmap's top left from the pen position
    int32_t Top = 0;                           // (picture pixels, y down)
    PointF Advance;                            // picture pixels
};

struct FontMetrics {
    double Ascent = 0;   // logical units, of the em height asked
    double Descent = 0;  // positive
    double CellScale = 1; // em height per cell height (for positive logical heights)
    double AverageWidth = 0;
    double UnderlinePosition = 0; // below the baseline, positive
    double UnderlineThickness = 0;
    double StrikeoutPosition = 0; // above the baseline
};

class TextEngine {
public:
    TextEngine();
    ~TextEngine();
    TextEngine(const TextEngine&) = delete;
    TextEngine& operator=(const TextEngine&) = delete;

    // The face that stands in for the choice; stays valid as long as the engine.
    int Face(const FontChoice& choice);
    std::string FaceFile(int face) const;
    FontMetrics Metrics(int face, double emLogical);
    // The glyph for a character (or a glyph index when byIndex) under geometry.
    Glyph Render(int face, const TextGeometry& geometry, uint32_t code, bool byIndex);

private:
    struct State;
    std::unique_ptr<State> S;
};

} // namespace marlhost
