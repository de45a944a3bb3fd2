#include "render24/blit/vector/vector_pattern.h"

#include "render24/blit/vector/row_walk.h"

#include <cstring>
#include <new>

namespace marl::vec {
namespace {

// Beyond this the brush is drawn by the byte-serial routines rather than copied.
constexpr uint64_t kMostPreparedBytes = 16u << 20;

} // namespace

uint32_t PatternPeriod(uint32_t width) {
    if (width >= 16) return width;
    return (16 + width - 1) / width * width;
}

void PreparePatternRow(const uint8_t* patternRow, uint32_t width, uint32_t phase,
                       uint8_t* prepared) {
    const uint32_t run = PreparedRunLength(width);
    for (uint32_t plane = 0; plane < 3; ++plane) {
        const uint8_t* samples = patternRow + plane * width;
        uint8_t* out = prepared + plane * run;
        uint32_t column = phase;
        for (uint32_t i = 0; i < run; ++i) {
            out[i] = samples[column];
            if (++column == width) column = 0;
        }
    }
}

bool PreparedPattern::Reserve(uint64_t bytes) {
    if (bytes <= Capacity) return true;
    delete[] Memory;
    Capacity = 0;
    Memory = new (std::nothrow) uint8_t[bytes];
    if (Memory == nullptr) return false;
    Capacity = bytes;
    return true;
}

bool PreparedPattern::SameBrush(const uint8_t* bits, uint32_t width, uint32_t height,
                                uint32_t phase) const {
    return Reusable && width == Width && height == Height && phase == Phase &&
           std::memcmp(Copy, bits, 3ull * width * height) == 0;
}

bool PreparedPattern::Reset(const uint8_t* bits, uint32_t width, uint32_t height, uint32_t phase) {
    if (bits == nullptr || width == 0 || height == 0 || phase >= width) {
        Source = nullptr;
        return false;
    }
    const uint64_t rowBytes = 3ull * PreparedRunLength(width);
    const uint64_t sourceBytes = 3ull * width * height;
    if (rowBytes * height > kMostPreparedBytes) {
        Source = nullptr;
        return false;
    }
    const bool same = SameBrush(bits, width, height, phase);
    Source = bits;
    if (same) return true;
    Reusable = false;
    if (!Reserve(rowBytes * height + height + sourceBytes)) {
        Source = nullptr;
        return false;
    }
    Width = width;
    Height = height;
    Phase = phase;
    RowBytes = static_cast<uint32_t>(rowBytes);
    Ready = Memory + rowBytes * height;
    Copy = Ready + height;
    std::memset(Ready, 0, height);
    std::memcpy(Copy, bits, sourceBytes);
    Reusable = true;
    return true;
}

const uint8_t* PreparedPattern::Row(const uint8_t* patternRow) {
    if (Source == nullptr || patternRow < Source) return nullptr;
    const uintptr_t offset = static_cast<uintptr_t>(patternRow - Source);
    const uint32_t sourceRowBytes = 3 * Width;
    // Transfers ask for the rows in order: the one after the last, or the first again.
    uintptr_t index = LastIndex + 1;
    if (offset != index * sourceRowBytes) index = offset / sourceRowBytes;
    if (index >= Height || index * sourceRowBytes != offset) return nullptr;
    LastIndex = static_cast<uint32_t>(index);
    return Ensure(static_cast<uint32_t>(index), patternRow);
}

uint8_t* PreparedPattern::Ensure(uint32_t index, const uint8_t* patternRow) {
    uint8_t* prepared = Memory + static_cast<size_t>(index) * RowBytes;
    if (!Ready[index]) {
        PreparePatternRow(patternRow, Width, Phase, prepared);
        Ready[index] = 1;
        ++Prepared;
    }
    return prepared;
}

bool PreparedPattern::Walk(uint32_t first, uint32_t count, RowWalk& walk) {
    if (Source == nullptr || first >= Height) return false;
    const uint32_t rows = count < Height ? count : Height;
    const uint32_t sourceRowBytes = 3 * Width;
    for (uint32_t k = 0, index = first; k < rows; ++k) {
        Ensure(index, Source + static_cast<size_t>(index) * sourceRowBytes);
        if (++index == Height) index = 0;
    }
    const uintptr_t base = reinterpret_cast<uintptr_t>(Memory);
    walk.Pattern = base + uintptr_t{first} * RowBytes;
    walk.PatternStride = RowBytes;
    walk.PatternSpan = uintptr_t{Height} * RowBytes;
    walk.PatternEnd = base + walk.PatternSpan;
    return true;
}

void PreparedPattern::Invalidate() {
    // Rows made from now on may come from other samples than the copy holds.
    Reusable = false;
    if (Ready != nullptr) std::memset(Ready, 0, Height);
}

PreparedPattern& TransferPatternRows() {
    static PreparedPattern rows;
    return rows;
}

} // namespace marl::vec
