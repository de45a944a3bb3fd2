// Pattern expansion into the three-plane device form.
#include "render24/primitives/pattern_expand.h"

#include "core/core_services.h"

#include <cstdint>
#include <limits>

namespace marl {
namespace {

// The largest row byte count the 16-bit arithmetic of the brush records admits.
constexpr int64_t kRowBytesLimit = 32768;
constexpr int64_t kMaxPatternRows = std::numeric_limits<int16_t>::max();
constexpr int64_t kMaxPatternBytes = std::numeric_limits<int32_t>::max();

struct Samples {
    uint8_t Plane0;
    uint8_t Plane1;
    uint8_t Plane2;
};

Samples ColorSamples(uint32_t color) {
    return {static_cast<uint8_t>(color), static_cast<uint8_t>(color >> 8),
            static_cast<uint8_t>(color >> 16)};
}

bool BitAt(const uint8_t* row, int32_t x) { return (row[x / 8] >> (7 - x % 8)) & 1; }

// A 1-bit row of width pixels needs this many bytes; a smaller stride would make one row's
// pixels run into the next row (or past the end of the source).
bool HoldsMonoRow(int32_t widthBytes, int32_t width) {
    return int64_t{widthBytes} * 8 >= int64_t{width};
}

// The three plane runs of one output row.
struct OutputRow {
    uint8_t* Plane0;
    uint8_t* Plane1;
    uint8_t* Plane2;

    OutputRow(uint8_t* row, uint32_t planeStride)
        : Plane0(row), Plane1(row + planeStride), Plane2(row + 2 * planeStride) {}

    void Put(uint32_t column, Samples samples) {
        Plane0[column] = samples.Plane0;
        Plane1[column] = samples.Plane1;
        Plane2[column] = samples.Plane2;
    }
};

// One output row from source row i: each source pixel fills xFactor columns. The row is walked
// by output column with a countdown, rather than by a repeat loop per pixel, which the
// compiler would turn into three tiny fills per pixel.
template <typename PixelAt>
void BuildRow(OutputRow row, uint32_t outWidth, int32_t i, int32_t width, int32_t xFactor,
              PixelAt& pixelAt) {
    int32_t x = 0;
    int32_t left = xFactor;
    Samples samples = pixelAt(i, 0);
    for (uint32_t column = 0; column < outWidth; ++column) {
        row.Put(column, samples);
        if (--left == 0 && ++x < width) {
            left = xFactor;
            samples = pixelAt(i, x);
        }
    }
}

// The shared frame of every enlarging expansion: for each source row i, the first row of
// its output group is built from pixelAt(i, x), and the remaining yFactor - 1 rows of the
// group are copies of it.
template <typename PixelAt>
void ExpandRows(uint8_t* destination, int32_t width, int32_t height, int32_t xFactor,
                int32_t yFactor, PixelAt pixelAt) {
    if (!PatternSizeFits(width, height, xFactor, yFactor)) return;
    const uint32_t outWidth = static_cast<uint32_t>(width) * static_cast<uint32_t>(xFactor);
    const uint32_t rowBytes = 3 * outWidth;
    const uint32_t groupBytes = rowBytes * static_cast<uint32_t>(yFactor);
    for (int32_t i = 0; i < height; ++i) {
        uint8_t* group = destination + static_cast<uint32_t>(i) * groupBytes;
        BuildRow(OutputRow(group, outWidth), outWidth, i, width, xFactor, pixelAt);
        for (int32_t copy = 1; copy < yFactor; ++copy)
            CSCopyMemory(group, group + static_cast<uint32_t>(copy) * rowBytes, rowBytes);
    }
}

} // namespace

bool PatternSizeFits(int32_t width, int32_t height, int32_t xFactor, int32_t yFactor) {
    if (width <= 0 || height <= 0 || xFactor <= 0 || yFactor <= 0) return false;
    const int64_t rowBytes = int64_t{width} * xFactor * 3;
    const int64_t rows = int64_t{height} * yFactor;
    return rowBytes < kRowBytesLimit && rows <= kMaxPatternRows &&
           rowBytes * rows <= kMaxPatternBytes;
}

void ExpandMonoPattern(const uint8_t* source, uint8_t* destination, int32_t width, int32_t height,
                       int32_t widthBytes, int32_t xFactor, int32_t yFactor, uint8_t fore0,
                       uint8_t fore1, uint8_t fore2, uint8_t back0, uint8_t back1, uint8_t back2) {
    if (!HoldsMonoRow(widthBytes, width)) return;
    const Samples fore{fore0, fore1, fore2};
    const Samples back{back0, back1, back2};
    ExpandRows(destination, width, height, xFactor, yFactor, [&](int32_t i, int32_t x) {
        return BitAt(source + i * widthBytes, x) ? fore : back;
    });
}

void ExpandColorPattern(const uint8_t* source, uint8_t* destination, int32_t width, int32_t height,
                        int32_t xFactor, int32_t yFactor) {
    if (xFactor == 1 && yFactor == 1) {
        if (!PatternSizeFits(width, height, 1, 1)) return;
        CSCopyMemory(source, destination, static_cast<uint32_t>(height) * width * 3);
        return;
    }
    ExpandPaddedColorPattern(source, destination, width, height, width, xFactor, yFactor);
}

void ExpandPaddedColorPattern(const uint8_t* source, uint8_t* destination, int32_t width,
                              int32_t height, int32_t widthBytes, int32_t xFactor,
                              int32_t yFactor) {
    if (widthBytes < width) return;
    const int32_t rowStride = 3 * widthBytes;
    ExpandRows(destination, width, height, xFactor, yFactor, [&](int32_t i, int32_t x) {
        const uint8_t* row = source + i * rowStride;
        return Samples{row[x], row[widthBytes + x], row[2 * widthBytes + x]};
    });
}

void ExpandGreyPattern(const uint8_t* source, uint8_t* destination, int32_t width, int32_t height,
                       int32_t widthBytes, int32_t xFactor, int32_t yFactor) {
    if (widthBytes < width) return;
    ExpandRows(destination, width, height, xFactor, yFactor, [&](int32_t i, int32_t x) {
        const uint8_t grey = source[i * widthBytes + x];
        return Samples{grey, grey, grey};
    });
}

void ExpandPlanarMonoPattern(const uint8_t* source, uint8_t* destination, int32_t width,
                             int32_t height, int32_t widthBytes, int32_t xFactor, int32_t yFactor) {
    if (!HoldsMonoRow(widthBytes, width)) return;
    const int32_t rowStride = 3 * widthBytes;
    auto full = [](bool set) { return static_cast<uint8_t>(set ? 255 : 0); };
    ExpandRows(destination, width, height, xFactor, yFactor, [&](int32_t i, int32_t x) {
        const uint8_t* row = source + i * rowStride;
        return Samples{full(BitAt(row, x)), full(BitAt(row + widthBytes, x)),
                       full(BitAt(row + 2 * widthBytes, x))};
    });
}

void ExpandHatch(int32_t rows, int32_t columns, const uint8_t* table, const RealizedBrush& brush,
                 uint8_t* destination) {
    if (table == nullptr || columns % 8 != 0 || !PatternSizeFits(columns, rows, 1, 1)) return;
    const Samples fore = ColorSamples(brush.Color);
    const Samples back = ColorSamples(brush.BackColor);
    const int32_t tableStride = columns / 8;
    const uint32_t rowBytes = 3 * static_cast<uint32_t>(columns);
    for (int32_t r = 0; r < rows; ++r) {
        OutputRow row(destination + static_cast<uint32_t>(r) * rowBytes,
                      static_cast<uint32_t>(columns));
        const uint8_t* bits = table + r * tableStride;
        for (int32_t x = 0; x < columns; ++x)
            row.Put(static_cast<uint32_t>(x), BitAt(bits, x) ? fore : back);
    }
}

} // namespace marl
