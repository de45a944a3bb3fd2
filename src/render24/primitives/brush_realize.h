// Realization of logical brushes into device brushes, and their release.
//
// A realized brush keeps its colour and, for hatched and pattern brushes, an expanded
// pattern (see pattern_expand.h) whose memory comes from the driver's HostAllocator and goes
// back to it when the driver releases the brush.
#pragma once

#include "marlrend/marlrend.h"

#include <cstdint>

namespace marl {

// Every allocation of the render primitives names this file and its call site.
inline constexpr const char* kRenderSourceFile = "r:\\platf\\src\\render24\\render24";
inline constexpr uint32_t kRenderAllocFlags = 1;
inline constexpr uint32_t kHatchPatternLine = 821;
inline constexpr uint32_t kPatternBrushLine = 860;
inline constexpr uint32_t kMonoSourceLine = 891;

inline constexpr uint16_t kHatchedStyle = 2;
inline constexpr uint16_t kPatternStyle = 3;

inline constexpr uint32_t kRealizedBrushSize = sizeof(RealizedBrush);
inline constexpr uint32_t kDeviceRecordSize = sizeof(RenderDevice);
inline constexpr uint32_t kLogicalBrushSize = sizeof(LogicalBrush);
inline constexpr uint32_t kBitmapHeaderSize = sizeof(BitmapHeader);

// Pattern bitmaps a brush can be realized from: 1 or 3 planes of 1 or 8 bits.
bool IsAcceptedPatternFormat(const BitmapHeader& header);

// The BitmapHeader of a pattern brush: the one at the address held in Color when it is
// readable and of an accepted format, otherwise the one in the global-memory handle held in
// Hatch. *locked is set to 1 exactly when the handle was locked, and the caller must then
// GlobalUnlock it. Null when neither holds an accepted header.
const BitmapHeader* LockPatternBitmap(const LogicalBrush* in, uint16_t* locked);

// The 1-bit rows that follow the fixed fields of a MonoPattern.
inline uint8_t* MonoPatternRows(MonoPattern* pattern) {
    return reinterpret_cast<uint8_t*>(pattern) + kMonoPatternHeaderSize;
}
inline const uint8_t* MonoPatternRows(const MonoPattern* pattern) {
    return reinterpret_cast<const uint8_t*>(pattern) + kMonoPatternHeaderSize;
}

// A MonoPattern copy of a 1-bit pattern bitmap (header and Height x WidthBytes bytes of
// rows) with the colours of its first expansion, from allocator; null when the allocation
// fails.
MonoPattern* MakeMonoPattern(HostAllocator& allocator, const BitmapHeader& header,
                             uint32_t foreColor, uint32_t backColor);

} // namespace marl
