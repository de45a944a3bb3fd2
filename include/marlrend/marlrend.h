// MARLREND: raster primitives for 24-bit colour printer bands.
//
// A driver includes this header, loads the library, calls RPGetCapabilities once and then
// calls the primitives through the CapabilityTable it filled.
#pragma once

#include "marlrend/host_allocator.h"
#include "marlrend/records.h"

#if defined(_WIN32)
// MARLREND.def names the exports; a driver links the import library or looks them up with
// GetProcAddress, and needs no attribute on the declarations.
#define MARLREND_EXPORT
#else
#define MARLREND_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {
MARLREND_EXPORT CapabilityTable* RPGetCapabilities(CapabilityTable* table);
MARLREND_EXPORT uint32_t RPStretchDIBits(...);
MARLREND_EXPORT void MODULE(void);
MARLREND_EXPORT uint32_t RPRealizeBrush(RenderDevice* device, void* in, RealizedBrush* out,
                                        uint32_t origin, uint32_t xFactor, uint32_t yFactor,
                                        uint32_t spare, uint32_t backColor);
MARLREND_EXPORT uint32_t RPPixel(RenderDevice* device, uint32_t reserved, uint32_t x, uint32_t y,
                                 uint32_t colour, uint32_t code);
MARLREND_EXPORT uint32_t RPDrawLine(RenderDevice* device, uint32_t reserved,
                                    const RunSliceLine* line, uint32_t reserved4,
                                    uint32_t reserved5, uint32_t code, uint32_t colour);
MARLREND_EXPORT uint32_t RPFillScanRows(RenderDevice* device, uint32_t reserved, uint32_t count,
                                        const ScanSpan* spans, RealizedBrush* brush,
                                        uint32_t reserved6, uint32_t reserved7, uint32_t code);
MARLREND_EXPORT uint32_t RPBitBlt(RenderDevice* device, BitmapHeader* destination, uint32_t x,
                                  uint32_t y, uint32_t width, uint32_t height,
                                  BitmapHeader* source, uint32_t rop, RealizedBrush* brush,
                                  const DrawColors* colors, uint32_t reserved,
                                  const uint8_t* palette, uint32_t monoExpand);
}

// Helpers for the driver side: a band header for three 8-bit planes and a surface over it.
// They only fill records; the library itself never needs them.
inline uint16_t MarlPlaneWidthBytes(uint32_t width, uint32_t bitsPixel) {
    uint32_t bytes = (bitsPixel * width + 7) / 8;
    return static_cast<uint16_t>((bytes + 3) & ~3u);
}

inline void MarlDescribeBitmap(BitmapHeader& header, uint16_t width, uint16_t height,
                               uint8_t planes, uint8_t bitsPixel, uint8_t* bits) {
    header = BitmapHeader{};
    header.Width = width;
    header.Height = height;
    header.WidthBytes = MarlPlaneWidthBytes(width, bitsPixel);
    header.Planes = planes;
    header.BitsPixel = bitsPixel;
    header.Bits = bits;
    header.WidthPlanes = static_cast<uint32_t>(header.WidthBytes) * height;
}

inline void MarlAttachSurface(PlaneBitmap& surface, BitmapHeader* header) {
    surface = PlaneBitmap{};
    surface.Header = header;
}
