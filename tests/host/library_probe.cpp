#if defined(MARL_HOST_TESTS)
#include "host/library_probe.h"

#include "support/edition.h"
#include "support/test_band.h"

namespace marlhosttest {

namespace {

bool ProbePixel(const CapabilityTable& table) {
    marltest::TestBand band(8, 4);
    return table.Pixel(band.Device(), 0, 2, 1, 0x00C08040, 0xF0) == 0 && band.At(2, 1, 0) == 0x40;
}

bool ProbeLine(const CapabilityTable& table) {
    marltest::TestBand band(8, 4);
    RunSliceLine line{};
    line.StartX = 1;
    line.StartY = 2;
    line.RunStepX = 1;
    line.FirstRun = 3;
    table.DrawLine(band.Device(), 0, &line, 0, 0, 0xF0, 0x00FFFFFF);
    return band.At(1, 2, 1) == 0xFF && band.At(3, 2, 2) == 0xFF;
}

bool ProbeFill(const CapabilityTable& table) {
    marltest::TestBand band(8, 4);
    ScanSpan span{};
    span.Y = 3;
    span.Left = 2;
    span.Right = 5;
    table.FillScanRows(band.Device(), 0, 1, &span, nullptr, 0, 0, 0x0F);
    return band.At(2, 3, 0) == 0xFF && band.At(4, 3, 2) == 0xFF;
}

bool ProbeBrush(const CapabilityTable& table) {
    marltest::TestBand band(8, 4);
    LogicalBrush logical{2, 0x000000FF, 2};
    RealizedBrush brush{};
    if (table.RealizeBrush(band.Device(), &logical, &brush, 0, 1, 1, 0, 0) !=
        marltest::kRealizedBrushBytes)
        return false;
    bool expanded = brush.Width == 8 && brush.Height == 8 && brush.Bits && brush.Bits[0] == 0xFF;
    table.RealizeBrush(band.Device(), &brush, nullptr, 0, 0, 0, 0, 0);
    return expanded && band.Allocator().Live() == 0;
}

bool ProbeBlit(const CapabilityTable& table) {
    marltest::TestBand band(8, 4);
    DrawColors colors{};
    colors.TextColor = 0x00336699;
    if (table.BitBlt(band.Device(), band.Header(), 1, 1, 2, 2, nullptr, 0xF0, nullptr, &colors, 0,
                     nullptr, 0) != 0)
        return false;
    return band.At(1, 1, 0) == 0x99 && band.At(2, 2, 2) == 0x33;
}

} // namespace

std::string LivePrimitives::Missing() const {
    std::string missing;
    auto add = [&](bool live, const char* name) {
        if (!live) missing += (missing.empty() ? "" : ", ") + std::string(name);
    };
    add(Pixel, "RPPixel");
    add(Line, "RPDrawLine");
    add(Fill, "RPFillScanRows");
    add(Brush, "RPRealizeBrush");
    add(Blit, "RPBitBlt");
    return missing;
}

LivePrimitives ProbeLibrary(const CapabilityTable& table) {
    LivePrimitives live;
    live.Pixel = ProbePixel(table);
    live.Line = ProbeLine(table);
    live.Fill = ProbeFill(table);
    live.Brush = ProbeBrush(table);
    live.Blit = ProbeBlit(table);
    return live;
}

} // namespace marlhosttest
#endif
