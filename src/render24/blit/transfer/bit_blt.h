// The block-transfer driver behind RPBitBlt: validates and clips the request, brings the
// source into the form the row routines read, prepares one row routine for the request and
// runs it once per destination row, all under the system-wide transfer lock.
#pragma once

#include "marlrend/marlrend.h"
#include "render24/blit/row_routine.h"

#include <cstdint>

namespace marl {

// The request as RPBitBlt receives it, each value already cut to its width.
struct BlitCall {
    RenderDevice* Device = nullptr;
    BitmapHeader* Destination = nullptr;
    uint16_t X = 0;
    uint16_t Y = 0;
    uint16_t Width = 0;
    uint16_t Height = 0;
    BitmapHeader* Source = nullptr; // may be null
    uint8_t Rop = 0;
    RealizedBrush* Brush = nullptr; // may be null; ignored for 0xCC
    const DrawColors* Colors = nullptr;
    const uint8_t* Palette = nullptr; // may be null
    uint16_t MonoExpand = 0;
};

inline constexpr uint32_t kBlitDone = 0;
inline constexpr uint32_t kBlitFailed = 1;
inline constexpr wchar_t kTransferLockName[] = L"RopMC24";
inline constexpr uint32_t kConversionRowLine = 2095;
inline constexpr uint8_t kSourceCopyRop = 0xCC;

// Performs the transfer with `routine` as the row routine. Answers kBlitDone (also when
// nothing lies inside the destination) or kBlitFailed.
uint32_t BitBlt(const BlitCall& call, RowRoutine& routine);

} // namespace marl
