// What differs between the two editions as a driver sees it, written out as values rather
// than taken from the records, so that a record of the wrong size is caught.
#pragma once

#include "marlrend/marlrend.h"

#include <cstdint>

namespace marltest {

// Bytes of a pointer or handle field in the records.
inline constexpr uint32_t kPointerBytes = MARLREND_POINTER_BITS / 8;

// RPGetCapabilities fills a zero byte and six entry addresses: 25 bytes or 49.
inline constexpr uint32_t kCapabilityTableBytes = MARLREND_POINTER_BITS == 32 ? 25 : 49;

// A bitmap made by the library asks the driver for a BitmapHeader: 32 bytes or 40.
inline constexpr uint32_t kBitmapHeaderBytes = MARLREND_POINTER_BITS == 32 ? 32 : 40;

// RPRealizeBrush answers the size of a realized brush: 28 bytes with 32-bit pointers, 36 with
// 64-bit ones.
inline constexpr uint32_t kRealizedBrushBytes = MARLREND_POINTER_BITS == 32 ? 28 : 36;

// A pattern brush's header passed by address, as LogicalBrush::Color carries it: the whole
// address in either edition.
inline MarlHandleField AddressField(const void* pointer) {
    return static_cast<MarlHandleField>(reinterpret_cast<uintptr_t>(pointer));
}

} // namespace marltest
