#include "host/text_layout.h"

#include "host/host_error.h"

#include <dirent.h>

#include <algorithm>
#include <cstdio>

namespace marlhost {

namespace {

bool IsPath(const std::string& name) {
    return name.find('/') != std::string::npos ||
           (name.size() > 4 && name.compare(name.size() - 4, 4, ".psf") == 0);
}

std::string BuiltinNames(const std::string& directory) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(directory.c_str())) {
        while (dirent* entry = readdir(dir)) {
            std::string file = entry->d_name;
            if (file.size() > 4 && file.compare(file.size() - 4, 4, ".psf") == 0)
                names.push_back(file.substr(0, file.size() - 4));
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    std::string list;
    for (const std::string& name : names)
        list += (list.empty() ? "" : ", ") + name;
    return list.empty() ? "none were built" : list;
}

// Decodes one UTF-8 character at offset; false for a malformed sequence.
bool DecodeUtf8(const std::string& text, size_t& offset, char32_t& character) {
    auto lead = static_cast<uint8_t>(text[offset]);
    size_t length = lead < 0x80         ? 1
                    : (lead >> 5) == 6  ? 2
                    : (lead >> 4) == 14 ? 3
                    : (lead >> 3) == 30 ? 4
                                        : 0;
    if (length == 0 || offset + length > text.size()) return false;
    char32_t value = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        auto next = static_cast<uint8_t>(text[offset + i]);
        if ((next & 0xC0) != 0x80) return false;
        value = value << 6 | (next & 0x3F);
    }
    offset += length;
    character = value;
    return true;
}

std::vector<uint8_t> ScaledGlyphRows(const PsfFont& font, uint32_t index, const TextStyle& style,
                                     uint32_t& rowBytes) {
    uint32_t width = font.Width() * style.Scale;
    uint32_t height = font.Height() * style.Scale;
    rowBytes = (width + 7) / 8;
    std::vector<uint8_t> rows(size_t{rowBytes} * height, 0);
    const uint8_t* glyph = font.Glyph(index);
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* from = glyph + size_t{y / style.Scale} * font.RowBytes();
        uint8_t* to = rows.data() + size_t{y} * rowBytes;
        for (uint32_t x = 0; x < width; ++x) {
            uint32_t column = x / style.Scale;
            bool ink = (from[column / 8] >> (7 - column % 8)) & 1u;
            if (ink == style.InkSet) to[x / 8] |= static_cast<uint8_t>(0x80u >> (x % 8));
        }
    }
    return rows;
}

} // namespace

FontBook::FontBook(std::string pageDirectory, std::string builtinDirectory)
    : PageDirectory(std::move(pageDirectory)), BuiltinDirectory(std::move(builtinDirectory)) {}

const PsfFont& FontBook::Font(const std::string& nameOrPath, const std::string& where) {
    auto found = Loaded.find(nameOrPath);
    if (found != Loaded.end()) return *found->second;
    std::string path;
    if (IsPath(nameOrPath)) {
        path = nameOrPath[0] == '/' ? nameOrPath : PageDirectory + "/" + nameOrPath;
    } else {
        path = BuiltinDirectory + "/" + nameOrPath + ".psf";
        if (FILE* probe = std::fopen(path.c_str(), "rb"))
            std::fclose(probe);
        else
            throw PageError(where + ": no built-in font \"" + nameOrPath + "\" (built-in: " +
                            BuiltinNames(BuiltinDirectory) + "; or give the path of a .psf file)");
    }
    auto font = std::make_unique<PsfFont>(PsfFont::Read(path));
    return *Loaded.emplace(nameOrPath, std::move(font)).first->second;
}

std::shared_ptr<const LibrarySource> GlyphCache::Glyph(const PsfFont& font, uint32_t index,
                                                       const TextStyle& style) {
    auto key = std::make_tuple(&font, index, style.Scale, style.InkSet);
    auto found = Made.find(key);
    if (found != Made.end()) return found->second;
    uint32_t rowBytes = 0;
    std::vector<uint8_t> rows = ScaledGlyphRows(font, index, style, rowBytes);
    auto glyph = std::make_shared<const LibrarySource>(
        MonoSource(static_cast<uint16_t>(font.Width() * style.Scale),
                   static_cast<uint16_t>(font.Height() * style.Scale), rows, rowBytes));
    Made.emplace(key, glyph);
    return glyph;
}

std::vector<GlyphCell> LayOutText(const PsfFont& font, const std::string& text, PagePoint at,
                                  const TextStyle& style, GlyphCache& cache,
                                  const std::string& where) {
    std::vector<GlyphCell> cells;
    int64_t advance = int64_t{font.Width()} * style.Scale;
    int64_t lineHeight = int64_t{font.Height()} * style.Scale;
    int64_t x = at.X, y = at.Y;
    size_t offset = 0;
    while (offset < text.size()) {
        char32_t character;
        if (!DecodeUtf8(text, offset, character))
            throw PageError(where + ": the text is not valid UTF-8");
        if (character == U'\n') {
            x = at.X;
            y += lineHeight;
            continue;
        }
        if (x > INT32_MAX / 2 || y > INT32_MAX / 2)
            throw PageError(where + ": the text runs too far off the page");
        cells.push_back({{static_cast<int32_t>(x), static_cast<int32_t>(y)},
                         cache.Glyph(font, font.GlyphFor(character), style)});
        x += advance;
    }
    return cells;
}

} // namespace marlhost
