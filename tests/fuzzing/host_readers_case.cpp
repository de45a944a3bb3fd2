// The host program's readers of what a user hands it: page descriptions (JSON), BMP images
// and PSF fonts. The first byte of an input picks the reader, the rest is the file. A reader
// must accept the file or refuse it with a page error; any other exception, a crash or a
// read outside what it decoded is a finding. What a reader accepts is then walked whole:
// every pixel of an image, every glyph row of a font.
#if defined(MARL_HOST_TESTS)
#include "fuzzing/fuzz_cases.h"
#include "fuzzing/fuzz_report.h"
#include "host/bmp_reader.h"
#include "host/host_error.h"
#include "host/page_reader.h"
#include "host/psf_font.h"

#include <filesystem>
#include <vector>

namespace marlfuzz {
namespace {

// Pages name their images relative to their own folder: the example pages' folder, whose
// images/ the seed pages use.
// Where the walks leave their sums, so that no read of them can be left out.
volatile uint32_t Sink = 0;

std::string ExamplesFolder() {
    return (std::filesystem::path(__FILE__).parent_path().parent_path() / "tools" / "examples")
        .string();
}

void ReadPage(const std::vector<uint8_t>& file, CaseReport&) {
    const std::string text(file.begin(), file.end());
    marlhost::ReaderSettings settings;
    settings.FontDirectory = ExamplesFolder();
    marlhost::ParsePage(text, "fuzz.json", ExamplesFolder(), settings);
}

void ReadImage(const std::vector<uint8_t>& file, CaseReport& report) {
    const marlhost::Image image = marlhost::DecodeBmp(file, "fuzz.bmp");
    report.Expect(image.Pixels.size() >= size_t{image.Stride} * image.Height,
                  "image rows reach past its pixels");
    uint32_t sum = 0;
    for (uint32_t y = 0; y < image.Height; ++y)
        for (uint32_t x = 0; x < image.Width; ++x)
            sum += image.Colour(x, y).Red;
    Sink = sum; // every pixel was read: a read past the image would have been caught
}

void ReadFont(const std::vector<uint8_t>& file, CaseReport& report) {
    const marlhost::PsfFont font = marlhost::PsfFont::Decode(file, "fuzz.psf");
    report.Expect(font.GlyphCount() > 0, "a font without glyphs was accepted");
    for (char32_t character : {U'A', U'?', U'\u00e9', U'\u4e00', U'\0'})
        report.Expect(font.GlyphFor(character) < font.GlyphCount(),
                      "a character maps past the last glyph");
    uint32_t sum = 0;
    const size_t bytes = size_t{font.RowBytes()} * font.Height();
    for (uint32_t glyph = 0; glyph < font.GlyphCount(); ++glyph) {
        const uint8_t* rows = font.Glyph(glyph);
        for (size_t i = 0; i < bytes; ++i)
            sum += rows[i];
    }
    Sink = sum; // every glyph row was read: a read past the glyphs would have been caught
}

} // namespace

std::string RunHostReadersCase(const uint8_t* data, size_t size) {
    CaseReport report;
    if (size == 0) return {};
    const std::vector<uint8_t> file(data + 1, data + size);
    try {
        switch (data[0] % 3) {
        case 0: ReadPage(file, report); break;
        case 1: ReadImage(file, report); break;
        default: ReadFont(file, report); break;
        }
    } catch (const marlhost::HostError&) {
        // A refusal with a message is the readers' answer to a file they cannot take.
    }
    return report.Text();
}

} // namespace marlfuzz
#endif
