#include "host/band_renderer.h"

#include "host/brush_set.h"
#include "host/colours.h"
#include "host/host_memory.h"
#include "host/rop_codes.h"
#include "host/run_slices.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace marlhost {

namespace {

// Bytes before and after the band's rows that the library must never touch.
constexpr size_t kGuardBytes = 64;
constexpr uint8_t kGuardValue = 0xA7;
constexpr size_t kLargestSpanCall = 65535;

struct RowRange {
    int32_t Top;
    int32_t Bottom; // one past the last row
};

RowRange RowsOf(const Operation& operation) {
    struct Visitor {
        RowRange operator()(const PixelOp& pixel) const { return {pixel.At.Y, pixel.At.Y + 1}; }
        RowRange operator()(const LineOp& line) const {
            return {std::min(line.From.Y, line.To.Y), std::max(line.From.Y, line.To.Y) + 1};
        }
        RowRange operator()(const FillOp& fill) const {
            return {fill.Area.TopRow(), fill.Area.BottomRow()};
        }
        RowRange operator()(const BlitOp& blit) const {
            return {blit.Area.Y, blit.Area.Y + blit.Area.Height};
        }
    };
    return std::visit(Visitor{}, operation.Draw);
}

class BandRenderer {
public:
    BandRenderer(const CapabilityTable& table, const Page& page, int32_t bandHeight,
                 RenderReport& report);

    void Band(int32_t top, int32_t rows, PageImage& image);
    void Finish();

private:
    // The device record as the library reads it: the host's allocator and band surface.
    RenderDevice& WiredDevice() {
        Device.Allocator = &Memory;
        Device.Surface = &Surface;
        return Device;
    }
    void Prepare(int32_t top, int32_t rows);
    void Draw(const Operation& operation);
    void DrawPixel(const PixelOp& pixel, const std::string& where);
    void DrawLine(const LineOp& line, const std::string& where);
    void DrawFill(const FillOp& fill, const std::string& where);
    void DrawBlit(const BlitOp& blit, const std::string& where);
    bool BrushUsable(int index);
    void CheckGuards(int32_t top);
    void CopyOut(PageImage& image) const;
    uint8_t* Plane(int32_t y, unsigned plane) {
        return Buffer.data() + kGuardBytes + (size_t{3} * y + plane) * WidthBytes;
    }
    const uint8_t* Plane(int32_t y, unsigned plane) const {
        return Buffer.data() + kGuardBytes + (size_t{3} * y + plane) * WidthBytes;
    }

    const CapabilityTable& Table;
    const Page& Source;
    RenderReport& Report;
    HostMemory Memory;
    RenderDevice Device{};
    PlaneBitmap Surface{};
    BitmapHeader Header{};
    uint16_t WidthBytes;
    std::vector<uint8_t> Buffer;
    BrushSet Brushes;
    std::vector<RowRange> Rows;
    int32_t Top = 0;
    int32_t BandRows = 0;
    std::vector<RunSliceLine> Lines;
    std::vector<ScanSpan> Spans;
};

BandRenderer::BandRenderer(const CapabilityTable& table, const Page& page, int32_t bandHeight,
                           RenderReport& report)
    : Table(table), Source(page), Report(report),
      WidthBytes(MarlPlaneWidthBytes(static_cast<uint32_t>(page.Width), 8)),
      Buffer(size_t{3} * WidthBytes * static_cast<uint32_t>(bandHeight) + 2 * kGuardBytes,
             kGuardValue),
      Brushes(table, WiredDevice(), page.Brushes, report) {
    for (const Operation& operation : page.Operations)
        Rows.push_back(RowsOf(operation));
}

void BandRenderer::Prepare(int32_t top, int32_t rows) {
    Top = top;
    BandRows = rows;
    MarlDescribeBitmap(Header, static_cast<uint16_t>(Source.Width), static_cast<uint16_t>(rows), 3,
                       8, Plane(0, 0));
    MarlAttachSurface(Surface, &Header);
    for (int32_t y = 0; y < rows; ++y)
        for (unsigned plane = 0; plane < 3; ++plane)
            std::memset(Plane(y, plane), PlaneSample(Source.Background, plane), WidthBytes);
    // Everything around the band's rows (a last band may be shorter) is guard.
    std::fill(Buffer.begin(), Buffer.begin() + kGuardBytes, kGuardValue);
    std::fill(Buffer.begin() +
                  static_cast<std::ptrdiff_t>(kGuardBytes +
                                              size_t{3} * WidthBytes * static_cast<uint32_t>(rows)),
              Buffer.end(), kGuardValue);
    Brushes.PlaceForBand(top);
}

void BandRenderer::Band(int32_t top, int32_t rows, PageImage& image) {
    Prepare(top, rows);
    for (size_t i = 0; i < Source.Operations.size(); ++i)
        if (Rows[i].Bottom > top && Rows[i].Top < top + rows) Draw(Source.Operations[i]);
    CheckGuards(top);
    CopyOut(image);
}

void BandRenderer::Draw(const Operation& operation) {
    const std::string& where = operation.Where;
    std::visit(
        [&](const auto& draw) {
            using Kind = std::decay_t<decltype(draw)>;
            if constexpr (std::is_same_v<Kind, PixelOp>)
                DrawPixel(draw, where);
            else if constexpr (std::is_same_v<Kind, LineOp>)
                DrawLine(draw, where);
            else if constexpr (std::is_same_v<Kind, FillOp>)
                DrawFill(draw, where);
            else
                DrawBlit(draw, where);
        },
        operation.Draw);
}

void BandRenderer::DrawPixel(const PixelOp& pixel, const std::string& where) {
    if (pixel.At.X < 0 || pixel.At.X >= Source.Width || pixel.At.Y < Top ||
        pixel.At.Y >= Top + BandRows)
        return;
    uint32_t result = Table.Pixel(&Device, 0, static_cast<uint32_t>(pixel.At.X),
                                  static_cast<uint32_t>(pixel.At.Y - Top), pixel.Color, pixel.Code);
    if ((result & 0xFFFF) != 0)
        Report.Refused(where + ": RPPixel answered " + std::to_string(result & 0xFFFF) +
                       " for code " + HexCode(pixel.Code));
}

void BandRenderer::DrawLine(const LineOp& line, const std::string& where) {
    SliceLine slices({line.From.X, line.From.Y}, {line.To.X, line.To.Y});
    Lines.clear();
    PixelWindow window{0, Top, Source.Width - 1, Top + BandRows - 1};
    int64_t first = 0, last = 0;
    if (!slices.IndexRange(window, first, last)) return;
    first = std::max(first, line.First);
    if (line.Last >= 0) last = std::min(last, line.Last);
    if (first > last) return;
    slices.AppendRecords(first, last, {0, Top}, Lines);
    for (const RunSliceLine& record : Lines) {
        uint32_t result = Table.DrawLine(&Device, 0, &record, 0, 0, line.Code, line.Color);
        if ((result & 0xFFFF) != 0)
            Report.Refused(where + ": RPDrawLine answered " + std::to_string(result & 0xFFFF));
    }
}

bool BandRenderer::BrushUsable(int index) { return index == kNoBrush || !Brushes.Refused(index); }

void BandRenderer::DrawFill(const FillOp& fill, const std::string& where) {
    if (!BrushUsable(fill.Brush)) return;
    Spans.clear();
    fill.Area.AppendBandSpans(Top, BandRows, Source.Width, Spans);
    RealizedBrush* brush = Brushes.Realized(fill.Brush);
    for (size_t first = 0; first < Spans.size(); first += kLargestSpanCall) {
        auto count = static_cast<uint32_t>(std::min(kLargestSpanCall, Spans.size() - first));
        uint32_t result =
            Table.FillScanRows(&Device, 0, count, Spans.data() + first, brush, 0, 0, fill.Code);
        if ((result & 0xFFFF) != 0)
            Report.Refused(where + ": RPFillScanRows answered " + std::to_string(result & 0xFFFF));
    }
}

void BandRenderer::DrawBlit(const BlitOp& blit, const std::string& where) {
    if (!BrushUsable(blit.Brush)) return;
    int32_t left = std::max(blit.Area.X, 0);
    int32_t right = std::min(blit.Area.X + blit.Area.Width, Source.Width);
    int32_t top = std::max(blit.Area.Y, Top);
    int32_t bottom = std::min(blit.Area.Y + blit.Area.Height, Top + BandRows);
    if (left >= right || top >= bottom) return;
    auto width = static_cast<uint16_t>(right - left);
    auto height = static_cast<uint16_t>(bottom - top);

    DrawColors colors{};
    colors.TextColor = colors.LogicalTextColor = blit.TextColor;
    colors.BackColor = colors.LogicalBackColor = blit.BackColor;
    BitmapHeader* source = nullptr;
    const uint8_t* palette = nullptr;
    uint32_t monoExpand = 0;
    std::optional<SourceWindow> window;
    if (blit.Source) {
        // The window is exactly the part to draw, so the library's extent rule (the smaller of
        // the source and the requested size) gives the same columns and rows either way.
        window.emplace(*blit.Source, static_cast<uint32_t>(left - blit.Area.X + blit.SourceAt.X),
                       static_cast<uint32_t>(top - blit.Area.Y + blit.SourceAt.Y), width, height,
                       blit.MonoExpand);
        source = window->Header();
        monoExpand = window->MonoExpand();
        if (blit.PassPalette && !blit.Source->Palette.empty())
            palette = blit.Source->Palette.data();
    }
    uint32_t result = Table.BitBlt(
        &Device, &Header, static_cast<uint32_t>(left), static_cast<uint32_t>(top - Top), width,
        height, source, blit.Code, Brushes.Realized(blit.Brush), &colors, 0, palette, monoExpand);
    if ((result & 0xFFFF) != 0)
        Report.Refused(where + ": RPBitBlt answered " + std::to_string(result & 0xFFFF) +
                       " for code " + HexCode(blit.Code));
}

void BandRenderer::CheckGuards(int32_t top) {
    size_t end = kGuardBytes + size_t{3} * WidthBytes * static_cast<uint32_t>(BandRows);
    bool intact = true;
    for (size_t i = 0; i < kGuardBytes; ++i)
        intact = intact && Buffer[i] == kGuardValue;
    for (size_t i = end; i < Buffer.size(); ++i)
        intact = intact && Buffer[i] == kGuardValue;
    if (!intact)
        Report.Refused("the band starting at page row " + std::to_string(top) +
                       " was written outside its bitmap");
}

void BandRenderer::CopyOut(PageImage& image) const {
    for (int32_t y = 0; y < BandRows; ++y) {
        uint8_t* to = image.Rgb.data() + size_t{static_cast<uint32_t>(Top + y)} *
                                             static_cast<uint32_t>(image.Width) * 3;
        const uint8_t* planes[3] = {Plane(y, 0), Plane(y, 1), Plane(y, 2)};
        for (int32_t x = 0; x < Source.Width; ++x)
            for (unsigned plane = 0; plane < 3; ++plane)
                *to++ = planes[plane][x];
    }
}

void BandRenderer::Finish() {
    Brushes.Release();
    Report.Leaked(Memory.DescribeLive());
    Report.ForeignFrees(Memory.ForeignFrees());
}

} // namespace

PageImage RenderPage(const CapabilityTable& table, const Page& page, const RenderOptions& options,
                     RenderReport& report) {
    int32_t bandHeight = options.BandHeight > 0 ? options.BandHeight : page.BandHeight;
    bandHeight = std::min(bandHeight, page.Height);
    PageImage image;
    image.Width = page.Width;
    image.Height = page.Height;
    image.Rgb.assign(
        size_t{3} * static_cast<uint32_t>(page.Width) * static_cast<uint32_t>(page.Height), 0);
    BandRenderer renderer(table, page, bandHeight, report);
    int32_t bands = (page.Height + bandHeight - 1) / bandHeight;
    for (int32_t band = 0; band < bands; ++band) {
        int32_t top = band * bandHeight;
        int32_t rows = std::min(bandHeight, page.Height - top);
        renderer.Band(top, rows, image);
        if (options.Progress) options.Progress(band + 1, bands, top + rows);
    }
    renderer.Finish();
    return image;
}

} // namespace marlhost
