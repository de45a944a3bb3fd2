#include "host/psf_font.h"

#include "host/host_error.h"
#include "host/regular_file.h"

namespace marlhost {

namespace {

constexpr uint32_t kGlyphMissing = 0xFFFFFFFFu;

uint32_t U32(const std::vector<uint8_t>& file, size_t offset) {
    return uint32_t{file[offset]} | uint32_t{file[offset + 1]} << 8 |
           uint32_t{file[offset + 2]} << 16 | uint32_t{file[offset + 3]} << 24;
}

HostError BadFont(const std::string& name, const std::string& what) {
    return PageError(name + ": not a usable PSF font: " + what);
}

// One UTF-8 character of a version-2 table starting at offset; advances offset. Answers
// nothing for a malformed sequence, which ends the glyph's entry.
bool NextUtf8(const std::vector<uint8_t>& file, size_t& offset, char32_t& character) {
    uint8_t lead = file[offset];
    size_t length = lead < 0x80         ? 1
                    : (lead >> 5) == 6  ? 2
                    : (lead >> 4) == 14 ? 3
                    : (lead >> 3) == 30 ? 4
                                        : 0;
    if (length == 0 || offset + length > file.size()) return false;
    char32_t value = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        uint8_t next = file[offset + i];
        if ((next & 0xC0) != 0x80) return false;
        value = value << 6 | (next & 0x3F);
    }
    offset += length;
    character = value;
    return true;
}

} // namespace

PsfFont PsfFont::Decode(const std::vector<uint8_t>& file, const std::string& name) {
    PsfFont font;
    if (file.size() >= 4 && U32(file, 0) == 0x864AB572u)
        font.ReadVersion2(file, name);
    else if (file.size() >= 2 && file[0] == 0x36 && file[1] == 0x04)
        font.ReadVersion1(file, name);
    else
        throw BadFont(name, "unknown signature (is it still compressed?)");
    return font;
}

PsfFont PsfFont::Read(const std::string& path) {
    return Decode(ReadRegularFile(path, kLargestFontFile, "a PSF font"), path);
}

void PsfFont::ReadVersion1(const std::vector<uint8_t>& file, const std::string& name) {
    if (file.size() < 4) throw BadFont(name, "file ends inside its header");
    uint8_t mode = file[2];
    GlyphWidth = 8;
    GlyphHeight = file[3];
    Count = (mode & 0x01) ? 512 : 256;
    GlyphBytes = GlyphHeight;
    if (GlyphHeight == 0) throw BadFont(name, "glyph height 0");
    size_t end = 4 + size_t{Count} * GlyphBytes;
    if (end > file.size()) throw BadFont(name, "file ends inside its glyphs");
    Glyphs.assign(file.begin() + 4, file.begin() + static_cast<std::ptrdiff_t>(end));
    if (mode & 0x06) ReadTable1(file, end);
}

void PsfFont::ReadVersion2(const std::vector<uint8_t>& file, const std::string& name) {
    if (file.size() < 32) throw BadFont(name, "file ends inside its header");
    uint32_t headerSize = U32(file, 8);
    uint32_t flags = U32(file, 12);
    Count = U32(file, 16);
    GlyphBytes = U32(file, 20);
    GlyphHeight = U32(file, 24);
    GlyphWidth = U32(file, 28);
    if (GlyphWidth == 0 || GlyphHeight == 0 || GlyphWidth > 256 || GlyphHeight > 256 ||
        Count == 0 || Count > 65536)
        throw BadFont(name, "glyph size or count out of range");
    if (GlyphBytes != GlyphHeight * RowBytes())
        throw BadFont(name, "glyph size does not match its width and height");
    if (headerSize < 32 || headerSize > file.size())
        throw BadFont(name, "header size out of range");
    size_t end = headerSize + size_t{Count} * GlyphBytes;
    if (end > file.size()) throw BadFont(name, "file ends inside its glyphs");
    Glyphs.assign(file.begin() + headerSize, file.begin() + static_cast<std::ptrdiff_t>(end));
    if (flags & 0x01) ReadTable2(file, end);
}

void PsfFont::ReadTable1(const std::vector<uint8_t>& file, size_t offset) {
    // Per glyph: 16-bit characters, then 0xFFFE and sequences (ignored), then 0xFFFF.
    for (uint32_t glyph = 0; glyph < Count && offset + 1 < file.size(); ++glyph) {
        bool sequences = false;
        while (offset + 1 < file.size()) {
            char32_t value = char32_t{file[offset]} | char32_t{file[offset + 1]} << 8;
            offset += 2;
            if (value == 0xFFFF) break;
            if (value == 0xFFFE)
                sequences = true;
            else if (!sequences)
                Table.emplace(value, glyph);
        }
    }
}

void PsfFont::ReadTable2(const std::vector<uint8_t>& file, size_t offset) {
    // Per glyph: UTF-8 characters, then 0xFE and sequences (ignored), then 0xFF.
    for (uint32_t glyph = 0; glyph < Count && offset < file.size(); ++glyph) {
        bool sequences = false;
        while (offset < file.size()) {
            uint8_t lead = file[offset];
            if (lead == 0xFF) {
                ++offset;
                break;
            }
            if (lead == 0xFE) {
                sequences = true;
                ++offset;
                continue;
            }
            char32_t character;
            if (!NextUtf8(file, offset, character)) {
                ++offset;
                continue;
            }
            if (!sequences) Table.emplace(character, glyph);
        }
    }
}

uint32_t PsfFont::Lookup(char32_t character) const {
    if (!Table.empty()) {
        auto found = Table.find(character);
        return found == Table.end() ? kGlyphMissing : found->second;
    }
    return character < Count ? static_cast<uint32_t>(character) : kGlyphMissing;
}

uint32_t PsfFont::GlyphFor(char32_t character) const {
    uint32_t glyph = Lookup(character);
    if (glyph == kGlyphMissing) glyph = Lookup(U'?');
    return glyph == kGlyphMissing ? 0 : glyph;
}

const uint8_t* PsfFont::Glyph(uint32_t index) const {
    return Glyphs.data() + size_t{index < Count ? index : 0} * GlyphBytes;
}

} // namespace marlhost
