#include "host/progress.h"

#include <unistd.h>

namespace marlhost {

namespace {

constexpr auto kInterval = std::chrono::milliseconds(200);

} // namespace

Progress::Progress(std::FILE* stream, bool quiet, int32_t bands, int32_t pageWidth)
    : Stream(stream), Enabled(!quiet && bands > kFewBands), Terminal(isatty(fileno(stream)) != 0),
      Width(pageWidth), Start(std::chrono::steady_clock::now()), LastShown(Start) {}

void Progress::BandDone(int32_t done, int32_t bands, int32_t rows) {
    if (!Enabled) return;
    bool last = done == bands;
    auto now = std::chrono::steady_clock::now();
    // On a terminal the line is rewritten in place; elsewhere only the final line is written.
    if (last || (Terminal && now - LastShown >= kInterval)) {
        LastShown = now;
        Show(done, bands, rows, last);
    }
}

void Progress::Show(int32_t done, int32_t bands, int32_t rows, bool last) {
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
    double pixels = double(rows) * Width;
    double rate = seconds > 0 ? pixels / seconds / 1e6 : 0.0;
    std::fprintf(Stream, "%sband %d of %d, %.2f s, %.1f Mpixel/s%s", Terminal ? "\r" : "", done,
                 bands, seconds, rate, last ? "\n" : "");
    std::fflush(Stream);
}

} // namespace marlhost
