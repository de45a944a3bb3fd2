// Expected values that differ between the i386 and the x86-64 edition: routine bytes, sizes
// and offsets. A test names both, so each edition's figure is in view of the other's.
#pragma once

#include "render24/blit/routine_frame.h"

namespace marltest {

// The i386 value, or the x86-64 one in the 64-bit edition.
template <typename T> constexpr T ByEdition(T i386, T x8664) {
    return MARL_ROUTINE_64 ? x8664 : i386;
}

} // namespace marltest
