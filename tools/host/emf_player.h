// Playing a metafile's records into a page of the host's operations: the drawing state of a
// device context is kept record by record, and every drawing record becomes pixels, lines,
// span fills and block transfers in picture coordinates, already cut to the clipping region.
// The page is then drawn band by band through the library like any other.
#pragma once

#include "host/emf_reader.h"
#include "host/page_model.h"

#include <cstdint>
#include <map>
#include <string>

namespace marlhost {

// Pictures larger than this are drawn at a lower resolution (a note says so).
inline constexpr int32_t kLargestEmfSide = 32767;
inline constexpr int64_t kLargestEmfPixels = 50'000'000;

struct EmfPlayOptions {
    double Dpi = 300;
    int32_t BandHeight = 64;
};

struct EmfPlayNotes {
    // Records skipped or drawn approximately, by name, with how often each came.
    std::map<std::string, uint32_t> Skipped;
    std::map<std::string, uint32_t> Approximated;
    double Dpi = 300; // the resolution actually used
};

// The picture size for the metafile at dpi (after any lowering to the limits above), and the
// resolution that gives it.
void EmfPictureSize(const U_EMRHEADER& header, double dpi, int32_t& width, int32_t& height,
                    double& usedDpi);

Page PlayEmf(const EmfFile& file, const EmfPlayOptions& options, EmfPlayNotes& notes);

} // namespace marlhost
