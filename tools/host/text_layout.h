// Text as a driver draws it: one block transfer per character, each with the character's
// glyph as a 1-bit source.
//
// Glyph bits keep the font's sense by default (ink is a set bit, so it takes the transfer's
// background colour as its source sample, and the cell around it the text colour); with
// ink "clear" the host inverts them. Glyphs may be enlarged by a whole factor.
#pragma once

#include "host/library_source.h"
#include "host/page_model.h"
#include "host/psf_font.h"

#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace marlhost {

// Fonts by built-in name or by path, each read once.
class FontBook {
public:
    // Paths in a page are relative to pageDirectory; built-in names are files <name>.psf of
    // builtinDirectory.
    FontBook(std::string pageDirectory, std::string builtinDirectory);
    const PsfFont& Font(const std::string& nameOrPath, const std::string& where);

    static const char* DefaultFont() { return "Lat15-Terminus16"; }

private:
    std::string PageDirectory;
    std::string BuiltinDirectory;
    std::map<std::string, std::unique_ptr<PsfFont>> Loaded;
};

struct GlyphCell {
    PagePoint At; // top left corner of the cell
    std::shared_ptr<const LibrarySource> Glyph;
};

struct TextStyle {
    uint32_t Scale = 1;
    bool InkSet = true;
};

// Glyph bitmaps, each made once per font, glyph and style.
class GlyphCache {
public:
    std::shared_ptr<const LibrarySource> Glyph(const PsfFont& font, uint32_t index,
                                               const TextStyle& style);

private:
    std::map<std::tuple<const PsfFont*, uint32_t, uint32_t, bool>,
             std::shared_ptr<const LibrarySource>>
        Made;
};

// The cells of a UTF-8 string from at, left to right; a line feed starts the next line
// below the first cell. Throws a page error for text that is not valid UTF-8.
std::vector<GlyphCell> LayOutText(const PsfFont& font, const std::string& text, PagePoint at,
                                  const TextStyle& style, GlyphCache& cache,
                                  const std::string& where);

} // namespace marlhost
