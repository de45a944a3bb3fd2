// The process's live global-memory blocks, where the platform layer counts them (POSIX). On
// Win32 kernel32 keeps them and frees them itself, so there is no count: 0 stands for it and
// the checks built on it hold trivially there.
#pragma once

#include "platform/platform.h"

#include <cstdint>

namespace marltest {

inline uint32_t LiveGlobalBlocks() {
#if defined(_WIN32)
    return 0;
#else
    return GlobalLiveBlocks();
#endif
}

// Win32 handles are 32-bit values, which the 16-bit Hatch field of a logical brush cannot
// carry: pattern brushes through handles exist only where handles fit 16 bits.
inline constexpr bool kHandlesFitHatch =
#if defined(_WIN32)
    false;
#else
    true;
#endif

} // namespace marltest
