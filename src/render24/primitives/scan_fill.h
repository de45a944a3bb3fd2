// Span fills: lists of horizontal spans painted with a brush under a pattern/destination code.
#pragma once

#include "marlrend/records.h"
#include "render24/primitives/row_cursor.h"

#include <cstdint>

namespace marl {

// The spans painted into surface (may be null); listener, when given, hears every row move.
// What RPFillScanRows does after taking the device's Surface. Always answers 0.
uint32_t FillScanRows(PlaneBitmap* surface, uint32_t count, const ScanSpan* spans,
                      const RealizedBrush* brush, uint32_t code, RowMoveListener* listener);

// The pattern column of a span's first pixel, worked out for every span: (left - OriginX) mod
// Width, in 0 .. Width - 1, without a division. left (0 .. 65535) and OriginX (16-bit
// signed) differ by -32767 .. 98303; adding a multiple of the width of at least 65536 makes it
// n, non-negative and below 2^18, and n / width is (n x m) / 2^32 with m = 2^32 / width + 1,
// exact for widths below 2^14 (the error, below n / 2^32 <= 2^-14, never reaches the next
// whole number while 1 / width exceeds it). Wider patterns divide.
class PatternColumns {
public:
    PatternColumns(int32_t width, int32_t originX) : Width(width), Origin(originX) {
        if (width <= 1 || width >= kLargestReciprocalWidth) return;
        const auto divisor = static_cast<uint32_t>(width);
        Reciprocal = static_cast<uint32_t>((uint64_t{1} << 32) / divisor + 1);
        Bias = (65536 + divisor - 1) / divisor * divisor;
    }
    uint32_t Of(int32_t left) const {
        if (Width <= 1) return 0;
        if (Reciprocal == 0) {
            const int32_t rest = (left - Origin) % Width;
            return static_cast<uint32_t>(rest < 0 ? rest + Width : rest);
        }
        const uint32_t n = static_cast<uint32_t>(left - Origin) + Bias;
        const auto quotient = static_cast<uint32_t>((uint64_t{n} * Reciprocal) >> 32);
        return n - quotient * static_cast<uint32_t>(Width);
    }

private:
    static constexpr int32_t kLargestReciprocalWidth = 1 << 14;
    int32_t Width;
    int32_t Origin;
    uint32_t Reciprocal = 0;
    uint32_t Bias = 0;
};

} // namespace marl
