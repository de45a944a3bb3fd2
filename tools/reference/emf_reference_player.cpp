// emf-reference: plays an enhanced metafile with the platform's own GDI and writes the picture
// as a 24-bit BMP, so that the host's pictures can be compared with what Windows draws.
//
//   emf-reference.exe PAGE.emf PICTURE.bmp [DPI]
//   emf-reference.exe --list LIST [DPI]      every PAGE<TAB>PICTURE line of LIST
//
// The page has the size the host gives it: the header's picture frame (0.01 mm) at DPI
// (default 300), width = round(frame width in mm / 25.4 x DPI), height likewise, at least 1;
// a frame too large for the host's limits is drawn at the resolution the host lowers it to.
// The metafile is played into the rectangle (0, 0, width, height) of a white 24-bit DIB
// section. Built with mingw-w64 (i686) and run under Wine by tools/compare_emf.sh.
//
// Exit codes: 0 written, 2 bad command line, 3 not a metafile GDI reads, 4 GDI failed to
// prepare or play the page, 5 the picture could not be written, 6 GDI crashed playing it.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The host's page limits: a frame too large for them is drawn at a lower resolution, found
// the same way here as in the host so that both pictures have the same size.
constexpr long long kLargestSide = 32767;
constexpr long long kLargestPagePixels = 50000000;

// The page being played, for the message when GDI itself crashes on a damaged file.
const char* gPlaying = "";

// A crash inside GDI (Wine's, on a damaged file) ends the program at once with exit code 6 and
// a line naming the page, instead of a debugger session; the script plays the rest again.
LONG WINAPI CrashedWhilePlaying(EXCEPTION_POINTERS* exception) {
    std::fprintf(stderr, "emf-reference: %s: crashed while playing (exception 0x%08lx)\n", gPlaying,
                 exception->ExceptionRecord->ExceptionCode);
    std::fflush(stderr);
    ExitProcess(6);
}

int Fail(int code, const char* what, const char* path) {
    std::fprintf(stderr, "emf-reference: %s: %s (error %lu)\n", path, what, GetLastError());
    return code;
}

long long PageSide(LONG frameFrom, LONG frameTo, double dpi) {
    double pixels = std::round((double(frameTo) - double(frameFrom)) / 100.0 / 25.4 * dpi);
    return pixels < 1 ? 1 : (long long)pixels;
}

// The page size at dpi, or at the highest lower resolution at which the page fits the limits.
void PageSize(const RECTL& frame, double dpi, long& width, long& height) {
    for (int attempt = 0; attempt < 64; ++attempt) {
        long long w = PageSide(frame.left, frame.right, dpi);
        long long h = PageSide(frame.top, frame.bottom, dpi);
        if (w <= kLargestSide && h <= kLargestSide && w * h <= kLargestPagePixels) {
            width = long(w);
            height = long(h);
            return;
        }
        double factor =
            std::min(std::min(double(kLargestSide) / double(w), double(kLargestSide) / double(h)),
                     std::sqrt(double(kLargestPagePixels) / double(w * h)));
        dpi = dpi * factor * 0.999;
    }
    width = height = 1;
}

bool WriteBmp(const char* path, const void* bits, long width, long height) {
    const DWORD stride = (DWORD(width) * 3 + 3) & ~3u;
    const DWORD imageBytes = stride * DWORD(height);
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    file.bfType = 0x4D42; // "BM"
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + imageBytes;
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height; // bottom-up, as the DIB section holds its rows
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = imageBytes;
    // Write a temporary file and rename it, so a failed run leaves no half picture.
    char temporary[MAX_PATH + 8];
    std::snprintf(temporary, sizeof temporary, "%s.part", path);
    FILE* out = std::fopen(temporary, "wb");
    if (!out) return false;
    bool written = std::fwrite(&file, sizeof file, 1, out) == 1 &&
                   std::fwrite(&info, sizeof info, 1, out) == 1 &&
                   std::fwrite(bits, 1, imageBytes, out) == imageBytes;
    written = std::fclose(out) == 0 && written;
    if (written) written = MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING) != 0;
    if (!written) DeleteFileA(temporary);
    return written;
}

int Play(const char* emfPath, const char* bmpPath, double dpi) {
    gPlaying = emfPath;
    HENHMETAFILE metafile = GetEnhMetaFileA(emfPath);
    if (!metafile) return Fail(3, "not an enhanced metafile GDI can read", emfPath);
    ENHMETAHEADER header{};
    if (GetEnhMetaFileHeader(metafile, sizeof header, &header) < sizeof(ENHMETARECORD)) {
        DeleteEnhMetaFile(metafile);
        return Fail(3, "no header", emfPath);
    }
    long width = 0, height = 0;
    PageSize(header.rclFrame, dpi, width, height);

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP page = dc ? CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
    ReleaseDC(nullptr, screen);
    if (!page || !bits) {
        if (dc) DeleteDC(dc);
        DeleteEnhMetaFile(metafile);
        return Fail(4, "cannot make the page bitmap", emfPath);
    }
    HGDIOBJ previous = SelectObject(dc, page);
    PatBlt(dc, 0, 0, width, height, WHITENESS);
    RECT area{0, 0, width, height};
    // A record GDI cannot play makes PlayEnhMetaFile answer FALSE after playing the rest;
    // the picture is still what the platform draws, so it is written with a note.
    if (!PlayEnhMetaFile(dc, metafile, &area))
        std::fprintf(stderr, "emf-reference: %s: GDI reported a record it could not play\n",
                     emfPath);
    GdiFlush();
    bool written = WriteBmp(bmpPath, bits, width, height);
    SelectObject(dc, previous);
    DeleteObject(page);
    DeleteDC(dc);
    DeleteEnhMetaFile(metafile);
    if (!written) return Fail(5, "cannot write the picture", bmpPath);
    return 0;
}

bool ParseDpi(const char* text, double& dpi) {
    char* end = nullptr;
    dpi = std::strtod(text, &end);
    if (*end == '\0' && dpi >= 1 && dpi <= 2400) return true;
    std::fprintf(stderr, "emf-reference: DPI takes 1 to 2400, not \"%s\"\n", text);
    return false;
}

// Plays every "PAGE.emf<TAB>PICTURE.bmp" line of the list in this one process: starting Wine
// costs far more than playing a page. Answers 0 when every picture was written, else the
// exit code of the last failure.
int PlayList(const char* listPath, double dpi) {
    FILE* list = std::fopen(listPath, "r");
    if (!list) return Fail(2, "cannot read the list", listPath);
    int result = 0;
    char line[4 * MAX_PATH];
    while (std::fgets(line, sizeof line, list)) {
        line[std::strcspn(line, "\r\n")] = '\0';
        char* tab = std::strchr(line, '\t');
        if (!tab) continue;
        *tab = '\0';
        int played = Play(line, tab + 1, dpi);
        if (played != 0) result = played;
    }
    std::fclose(list);
    return result;
}

constexpr const char* kUsage = "usage: emf-reference PAGE.emf PICTURE.bmp [DPI]\n"
                               "       emf-reference --list LIST [DPI]   (LIST: PAGE<TAB>PICTURE "
                               "lines)\n";

} // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    double dpi = 300;
    if (argc == 4 && !ParseDpi(argv[3], dpi)) return 2;
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(CrashedWhilePlaying);
    if (std::strcmp(argv[1], "--list") == 0) return PlayList(argv[2], dpi);
    return Play(argv[1], argv[2], dpi);
}
