#include "render24/blit/vector/vector_pattern.h"

#include "render24/primitives/brush_realize.h"

#include <cstring>

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

bool PreparedPattern::Reset(const uint8_t* bits, uint32_t width, uint32_t height, uint32_t phase,
                            HostAllocator* allocator) {
    Release();
    if (bits == nullptr || allocator == nullptr || width == 0 || height == 0 || phase >= width)
        return false;
    uint64_t rowBytes = 3ull * PreparedRunLength(width);
    if (rowBytes * height > kMostPreparedBytes) return false;
    void* block = nullptr;
    const uint32_t size = static_cast<uint32_t>(rowBytes * height + height);
    if (allocator->AllocBlock(size, kRenderAllocFlags, &block, kRenderSourceFile,
                              kPreparedPatternLine) < 0 ||
        block == nullptr)
        return false;
    Allocator = allocator;
    Block = static_cast<uint8_t*>(block);
    Ready = Block + rowBytes * height;
    std::memset(Ready, 0, height);
    Source = bits;
    Width = width;
    Height = height;
    Phase = phase;
    RowBytes = static_cast<uint32_t>(rowBytes);
    return true;
}

void PreparedPattern::Release() {
    if (Block != nullptr) Allocator->FreeBlock(Block);
    Block = Ready = nullptr;
    Allocator = nullptr;
    Source = nullptr;
}

const uint8_t* PreparedPattern::Row(const uint8_t* patternRow) {
    if (Source == nullptr || patternRow < Source) return nullptr;
    uintptr_t offset = static_cast<uintptr_t>(patternRow - Source);
    uint32_t sourceRowBytes = 3 * Width;
    if (offset % sourceRowBytes != 0 || offset / sourceRowBytes >= Height) return nullptr;
    uint32_t index = static_cast<uint32_t>(offset / sourceRowBytes);
    uint8_t* prepared = Block + static_cast<size_t>(index) * RowBytes;
    if (!Ready[index]) {
        PreparePatternRow(patternRow, Width, Phase, prepared);
        Ready[index] = 1;
    }
    return prepared;
}

void PreparedPattern::Invalidate() {
    if (Ready != nullptr) std::memset(Ready, 0, Height);
}

} // namespace marl::vec
