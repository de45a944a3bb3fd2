// libmarlrend.so is a shared object of this edition (i386 or x86-64) whose dynamic symbol
// table defines the eight entry points and nothing else, read from the ELF file as a loader
// would.
#include <elf.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <type_traits>
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

// The ELF types and machine of each edition.
struct Elf32 {
    using Header = Elf32_Ehdr;
    using Section = Elf32_Shdr;
    using Symbol = Elf32_Sym;
    static constexpr unsigned char kClass = ELFCLASS32;
    static constexpr uint16_t kMachine = EM_386;
};
struct Elf64 {
    using Header = Elf64_Ehdr;
    using Section = Elf64_Shdr;
    using Symbol = Elf64_Sym;
    static constexpr unsigned char kClass = ELFCLASS64;
    static constexpr uint16_t kMachine = EM_X86_64;
};
using ThisEdition = std::conditional_t<sizeof(void*) == 4, Elf32, Elf64>;

// The names of the symbols the object defines in its dynamic symbol table (what
// `nm -D --defined-only` lists), or nothing when the file is no ELF shared object of the
// given class and machine.
template <typename Elf>
std::set<std::string> DefinedDynamicSymbols(const std::vector<char>& image) {
    std::set<std::string> names;
    typename Elf::Header header{};
    if (!ReadAt(image, 0, header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != Elf::kClass || header.e_machine != Elf::kMachine ||
        header.e_type != ET_DYN) {
        return names;
    }
    for (uint32_t s = 0; s < header.e_shnum; ++s) {
        typename Elf::Section symbols{};
        if (!ReadAt(image, header.e_shoff + size_t{s} * header.e_shentsize, symbols)) break;
        if (symbols.sh_type != SHT_DYNSYM || symbols.sh_entsize != sizeof(typename Elf::Symbol))
            continue;
        typename Elf::Section strings{};
        if (!ReadAt(image, header.e_shoff + size_t{symbols.sh_link} * header.e_shentsize,
                    strings)) {
            break;
        }
        for (size_t i = 0; i < symbols.sh_size / sizeof(typename Elf::Symbol); ++i) {
            typename Elf::Symbol symbol{};
            if (!ReadAt(image, symbols.sh_offset + i * sizeof(typename Elf::Symbol), symbol)) break;
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
    EXPECT_EQ(DefinedDynamicSymbols<ThisEdition>(image), expected);
}

// The library is an object of this edition and no other: read as the other edition's ELF
// class it defines nothing.
TEST(Exports, TheLibraryIsAnObjectOfThisEdition) {
    std::vector<char> image = ReadFile(MARLREND_LIBRARY_PATH);
    ASSERT_FALSE(image.empty()) << MARLREND_LIBRARY_PATH;
    using OtherEdition = std::conditional_t<sizeof(void*) == 4, Elf64, Elf32>;
    EXPECT_TRUE(DefinedDynamicSymbols<OtherEdition>(image).empty());
    EXPECT_FALSE(DefinedDynamicSymbols<ThisEdition>(image).empty());
}

} // namespace
