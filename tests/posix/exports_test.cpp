// libmarlrend.so is an i386 shared object whose dynamic symbol table defines the eight entry
// points and nothing else, read from the ELF file as a loader would.
#include <elf.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

std::vector<char> ReadFile(const char* path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

template <typename Record> bool ReadAt(const std::vector<char>& image, size_t offset, Record& out) {
    if (offset > image.size() || image.size() - offset < sizeof(Record)) return false;
    std::memcpy(&out, image.data() + offset, sizeof(Record));
    return true;
}

// The names of the symbols the object defines in its dynamic symbol table (what
// `nm -D --defined-only` lists), or nothing when the file is no i386 ELF shared object.
std::set<std::string> DefinedDynamicSymbols(const std::vector<char>& image) {
    std::set<std::string> names;
    Elf32_Ehdr header{};
    if (!ReadAt(image, 0, header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS32 || header.e_machine != EM_386 ||
        header.e_type != ET_DYN) {
        return names;
    }
    for (uint32_t s = 0; s < header.e_shnum; ++s) {
        Elf32_Shdr symbols{};
        if (!ReadAt(image, header.e_shoff + size_t{s} * header.e_shentsize, symbols)) break;
        if (symbols.sh_type != SHT_DYNSYM || symbols.sh_entsize != sizeof(Elf32_Sym)) continue;
        Elf32_Shdr strings{};
        if (!ReadAt(image, header.e_shoff + size_t{symbols.sh_link} * header.e_shentsize,
                    strings)) {
            break;
        }
        for (uint32_t i = 0; i < symbols.sh_size / sizeof(Elf32_Sym); ++i) {
            Elf32_Sym symbol{};
            if (!ReadAt(image, symbols.sh_offset + size_t{i} * sizeof(Elf32_Sym), symbol)) break;
            if (symbol.st_shndx == SHN_UNDEF || symbol.st_name == 0) continue;
            if (symbol.st_name >= strings.sh_size) continue;
            const char* name = image.data() + strings.sh_offset + symbol.st_name;
            names.insert(std::string(name, strnlen(name, strings.sh_size - symbol.st_name)));
        }
    }
    return names;
}

TEST(Exports, ExactlyTheEightEntryPoints) {
    std::vector<char> image = ReadFile(MARLREND_LIBRARY_PATH);
    ASSERT_FALSE(image.empty()) << MARLREND_LIBRARY_PATH;
    const std::set<std::string> expected = {"MODULE",         "RPBitBlt",          "RPDrawLine",
                                            "RPFillScanRows", "RPGetCapabilities", "RPPixel",
                                            "RPRealizeBrush", "RPStretchDIBits"};
    EXPECT_EQ(DefinedDynamicSymbols(image), expected);
}

} // namespace
