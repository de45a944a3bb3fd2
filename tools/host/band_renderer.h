// Drawing a page band by band through the library's entry table, as a driver does: one
// three-plane band bitmap, cleared to the background, every operation cut to the band and
// handed to its primitive, the band then copied into the page picture.
#pragma once

#include "host/page_model.h"
#include "host/render_report.h"

#include "marlrend/marlrend.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace marlhost {

// The finished page: rows top down, three samples per pixel (red, green, blue = planes 0,
// 1, 2).
struct PageImage {
    int32_t Width = 0;
    int32_t Height = 0;
    std::vector<uint8_t> Rgb;

    const uint8_t* Pixel(int32_t x, int32_t y) const {
        return Rgb.data() + (size_t{static_cast<uint32_t>(y)} * static_cast<uint32_t>(Width) +
                             static_cast<uint32_t>(x)) *
                                3;
    }
};

struct RenderOptions {
    int32_t BandHeight = 0; // 0: the page's own
    // Called after each band with the number of bands done, all bands and page rows done.
    std::function<void(int32_t done, int32_t bands, int32_t rows)> Progress;
};

// Renders the page. Whatever the library refuses, leaks or frees wrongly goes to report.
PageImage RenderPage(const CapabilityTable& table, const Page& page, const RenderOptions& options,
                     RenderReport& report);

} // namespace marlhost
