// marlrend-compare: compares the host's picture of a page with the reference player's.
//
//   marlrend-compare OURS REFERENCE SIDE.png
//
// Reads both pictures (PNG or BMP), writes ours | reference | difference into SIDE.png and
// prints one line: the share of agreeing pixels in per cent, ours' size, and the reference's
// size when it differs. tools/compare_emf.sh runs it for every page of a folder.
#include "compare_emf.h"

#include "host/host_error.h"
#include "host/png_writer.h"

#include <cstdio>
#include <exception>
#include <new>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("usage: marlrend-compare OURS REFERENCE SIDE.png\n", stderr);
        return 2;
    }
    try {
        marlcompare::PageImage ours = marlcompare::ReadPicture(argv[1]);
        marlcompare::PageImage reference = marlcompare::ReadPicture(argv[2]);
        marlcompare::Agreement agreement = marlcompare::Agree(ours, reference);
        marlhost::WritePng(marlcompare::SideBySide(ours, reference, agreement), argv[3]);
        std::printf("%.2f %dx%d", 100.0 * agreement.Share(), ours.Width, ours.Height);
        if (!agreement.SameSize) std::printf(" reference %dx%d", reference.Width, reference.Height);
        std::printf("\n");
        return 0;
    } catch (const marlhost::HostError& error) {
        std::fprintf(stderr, "marlrend-compare: %s\n", error.what());
        return static_cast<int>(error.Exit());
    } catch (const std::bad_alloc&) {
        std::fputs("marlrend-compare: out of memory\n", stderr);
        return 1;
    }
}
