// The progress line on stderr for pages of more than a few bands: band k of n, the time
// since the first band and the pixel rate so far.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>

namespace marlhost {

class Progress {
public:
    // Silent when quiet, or for pages of kFewBands bands or fewer.
    Progress(std::FILE* stream, bool quiet, int32_t bands, int32_t pageWidth);

    void BandDone(int32_t done, int32_t bands, int32_t rows);

    static constexpr int32_t kFewBands = 4;

private:
    void Show(int32_t done, int32_t bands, int32_t rows, bool last);

    std::FILE* Stream;
    bool Enabled;
    bool Terminal;
    int32_t Width;
    std::chrono::steady_clock::time_point Start;
    std::chrono::steady_clock::time_point LastShown;
};

} // namespace marlhost
