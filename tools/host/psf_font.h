// Console fonts in the PSF formats (version 1 and 2), uncompressed.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace marlhost {

class PsfFont {
public:
    // Decodes a font held in memory; `name` is used in messages. Throws a page error for a
    // file that is not a well-formed PSF font.
    static PsfFont Decode(const std::vector<uint8_t>& file, const std::string& name);
    static PsfFont Read(const std::string& path);

    uint32_t Width() const { return GlyphWidth; }
    uint32_t Height() const { return GlyphHeight; }
    uint32_t GlyphCount() const { return Count; }
    // Bytes in one glyph row; the leftmost pixel is the most significant bit of the first.
    uint32_t RowBytes() const { return (GlyphWidth + 7) / 8; }
    // The glyph for a character: through the font's Unicode table when it has one, else by
    // its number; a character the font lacks takes the glyph of '?', or glyph 0.
    uint32_t GlyphFor(char32_t character) const;
    // Height rows of RowBytes() bytes.
    const uint8_t* Glyph(uint32_t index) const;

private:
    void ReadVersion1(const std::vector<uint8_t>& file, const std::string& name);
    void ReadVersion2(const std::vector<uint8_t>& file, const std::string& name);
    void ReadTable1(const std::vector<uint8_t>& file, size_t offset);
    void ReadTable2(const std::vector<uint8_t>& file, size_t offset);
    uint32_t Lookup(char32_t character) const;

    uint32_t GlyphWidth = 0;
    uint32_t GlyphHeight = 0;
    uint32_t Count = 0;
    uint32_t GlyphBytes = 0;
    std::vector<uint8_t> Glyphs;
    std::unordered_map<char32_t, uint32_t> Table;
};

} // namespace marlhost
