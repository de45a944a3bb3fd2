// Expected values that differ between the i386 and the x86-64 edition: routine bytes, sizes
// and offsets. A test names both, so each edition's figure is in view of the other's.
#pragma once

#include "marlrend/marlrend.h"
#include "render24/blit/routine_frame.h"

#include <cstdint>

namespace marltest {

// The i386 value, or the x86-64 one in the 64-bit edition.
template <typename T> constexpr T ByEdition(T i386, T x8664) {
    return MARL_ROUTINE_64 ? x8664 : i386;
}

// Bytes of a pointer or handle field in the records.
inline constexpr uint32_t kPointerBytes = ByEdition(4u, 8u);

// RPGetCapabilities fills a zero byte and six entry addresses.
inline constexpr uint32_t kCapabilityTableBytes = ByEdition(25u, 49u);

// A bitmap made by the library asks the driver for a BitmapHeader.
inline constexpr uint32_t kBitmapHeaderBytes = ByEdition(32u, 40u);

// RPRealizeBrush answers the size of a realized brush.
inline constexpr uint32_t kRealizedBrushBytes = ByEdition(28u, 36u);

// A pattern brush's header passed by address, as LogicalBrush::Color carries it: the whole
// address in either edition.
inline MarlHandleField AddressField(const void* pointer) {
    return static_cast<MarlHandleField>(reinterpret_cast<uintptr_t>(pointer));
}

} // namespace marltest
