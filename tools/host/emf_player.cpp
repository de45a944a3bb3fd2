#include "host/emf_player.h"

#include "host/emf_blits.h"
#include "host/emf_clip.h"
#include "host/emf_outline.h"
#include "host/emf_text.h"
#include "host/gdi_state.h"
#include "host/host_error.h"
#include "host/run_slices.h"
#include "host/portable_math.h"

#include <uemf.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <variant>

namespace marlhost {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr uint8_t kPatCopy = 0xF0;
// The sixteen pattern/destination codes in the order of the binary raster modes 1 .. 16.
constexpr uint8_t kRop2Codes[16] = {0x00, 0x05, 0x0A, 0x0F, 0x50, 0x55, 0x5A, 0x5F,
                                    0xA0, 0xA5, 0xAA, 0xAF, 0xF0, 0xF5, 0xFA, 0xFF};
constexpr uint32_t kStockObject = 0x80000000u;

uint32_t Colour(const U_COLORREF& c) {
    return uint32_t{c.Red} | uint32_t{c.Green} << 8 | uint32_t{c.Blue} << 16;
}

template <typename T> T Read(const char* p) {
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

// The record's fixed part as T; bytes the record does not hold read as zero (libuemf checks
// each record's own counts, but a short record of a fixed-size type must not be read past).
template <typename T> T RecordAs(const EmfRecord& record) {
    T value{};
    std::memcpy(&value, record.Data, std::min<size_t>(sizeof value, record.Size));
    return value;
}

struct PenObject {
    bool Null = false;
    bool Cosmetic = true;
    uint32_t Style = U_PS_SOLID;
    double Width = 0; // logical units (geometric pens)
    uint32_t Color = 0;
    std::vector<double> UserStyle;
};

struct BrushObject {
    bool Null = false;
    uint16_t Style = 0; // 0 solid, 2 hatched, 3 pattern
    uint32_t Color = 0xFFFFFF;
    uint16_t Hatch = 0;
    std::shared_ptr<const Image> Pattern;
    bool MonoFromDc = false; // a monochrome bitmap brush: text and background colours
};

struct FontObject {
    U_LOGFONT Logical{};
    std::string Face = "Arial";
};

using GdiObject = std::variant<std::monostate, PenObject, BrushObject, FontObject>;

struct DcState {
    explicit DcState(const PlaybackGeometry& geometry) : Mapping(geometry) {}
    CoordinateMapping Mapping;
    PenObject Pen;
    BrushObject Brush;
    FontObject Font;
    uint32_t TextColor = 0;
    uint32_t BkColor = 0xFFFFFF;
    uint32_t BkMode = U_OPAQUE;
    uint32_t Rop2 = 13;
    uint32_t PolyFill = U_ALTERNATE;
    uint32_t TextAlign = 0;
    uint32_t ArcDirection = U_AD_COUNTERCLOCKWISE;
    double MiterLimit = 10;
    PointF BrushOrigin;                 // reference device pixels
    PointF Current;                     // logical
    std::shared_ptr<const Region> Clip; // null: no clipping region
    std::shared_ptr<const Region> Meta; // null: no meta region
};

// True for the four corners of a rectangle that stays upright on the picture.
bool IsUpright(const Polyline& corners) {
    return corners.size() == 4 && std::fabs(corners[0].Y - corners[1].Y) < 1e-6 &&
           std::fabs(corners[1].X - corners[2].X) < 1e-6;
}

// One string of a text record, read and checked.
struct TextRun {
    PointF Reference; // logical
    uint32_t Options = 0;
    bool HasRect = false;
    U_RECTL Rect{0, 0, -1, -1};
    std::vector<uint32_t> Codes; // characters, or glyph indices with ETO_GLYPH_INDEX
    std::vector<int32_t> Dx;     // spacing (pairs with ETO_PDY), or empty
};

// The pixel at (row, column) of a square hatch image of size pixels: lines one pixel thick,
// as the library draws its hatched brushes.
bool HatchPixel(uint16_t hatch, int32_t row, int32_t column, int32_t size) {
    bool horizontal = row == 0, vertical = column == 0;
    bool falling = column == row, rising = size - 1 - column == row;
    switch (hatch) {
    case U_HS_HORIZONTAL: return horizontal;
    case U_HS_VERTICAL: return vertical;
    case U_HS_FDIAGONAL: return falling;
    case U_HS_BDIAGONAL: return rising;
    case U_HS_CROSS: return horizontal || vertical;
    case U_HS_DIAGCROSS: return falling || rising;
    default: return false;
    }
}

struct Figure {
    Polyline Points; // picture coordinates
    bool Closed = false;
};

std::string Utf16ToUtf8(const uint16_t* text, size_t count) {
    std::string out;
    for (size_t i = 0; i < count && text[i] != 0; ++i) {
        uint32_t c = text[i];
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// Windows code page 1252 for the bytes 0x80 .. 0x9F; the rest is Latin-1.
uint32_t FromCp1252(uint8_t byte) {
    static constexpr uint16_t kHigh[32] = {
        0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
    return byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : byte;
}

class EmfPlayer {
public:
    EmfPlayer(const EmfFile& file, const EmfPlayOptions& options, EmfPlayNotes& notes);
    Page Play();

private:
    // --- state
    Affine LogicalToPicture() const { return S.Mapping.LogicalToDevice().Then(DeviceToPicture); }
    PointF ToPicture(PointF logical) const { return LogicalToPicture().Apply(logical); }
    std::shared_ptr<const Region> EffectiveClip() const;
    void SetClip(std::shared_ptr<const Region> clip) {
        S.Clip = std::move(clip);
        ClipCache.reset();
    }
    void CombineClip(const Region& region, uint32_t mode);
    uint8_t Rop2Code() const { return kRop2Codes[(S.Rop2 - 1) & 15]; }

    // --- output
    int SolidBrush(uint32_t colour);
    int BrushFor(const BrushObject& brush);
    void EmitFill(const FillArea& area, int brush, uint8_t code);
    void EmitLine(Vertex from, Vertex to, uint32_t colour, uint8_t code, bool lastPixel);
    void EmitBlit(int32_t x, int32_t y, int32_t width, int32_t height,
                  std::shared_ptr<const LibrarySource> source, PagePoint sourceAt, uint8_t code,
                  int brush, uint32_t textColour, uint32_t backColour,
                  const Region* extraClip = nullptr);
    void Add(std::variant<PixelOp, LineOp, FillOp, BlitOp> draw);

    // --- shapes
    void FillPolygons(const std::vector<Polyline>& polygons, FillRule rule);
    void FillHatchLines(const FillArea& area);
    int32_t HatchFactor() const;
    void StrokePolyline(const Polyline& points, bool closed);
    void DrawShape(const std::vector<Polyline>& closedFigures, bool fill);
    void OpenFigure(Polyline points, bool closed, bool continues);
    Polyline ToPictureAll(const std::vector<PointF>& logical) const;
    double PenPictureWidth() const;

    // --- records
    void Record(const EmfRecord& record);
    [[noreturn]] void Damaged(const std::string& what) const {
        const EmfRecord& record = File.Records()[RecordIndex];
        throw PageError(File.Name() + ": record " + std::to_string(RecordIndex) + " (" +
                        EmfRecordName(record.Type) + ", offset " + std::to_string(record.Offset) +
                        "): " + what);
    }
    void Unsupported(const EmfRecord& record) { ++Notes.Skipped[EmfRecordName(record.Type)]; }
    void Approximated(const EmfRecord& record) { ++Notes.Approximated[EmfRecordName(record.Type)]; }
    template <typename Point> void PolyRecord(uint32_t type, const Point* points, uint32_t count);
    template <typename Point>
    void PolyPolyRecord(bool polygon, const uint32_t* counts, uint32_t polys, const Point* points,
                        uint32_t total);
    void RectangleRecord(const U_RECTL& box, const U_SIZEL* corner);
    void EllipseRecord(const U_RECTL& box);
    void ArcRecord(uint32_t type, const U_EMRARC& arc);
    void AngleArcRecord(const U_EMRANGLEARC& arc);
    void PathRecord(uint32_t type);
    void SelectObject(uint32_t index);
    void CreatePen(const U_EMRCREATEPEN& record);
    void ExtCreatePen(const EmfRecord& record);
    void CreateBrush(const U_EMRCREATEBRUSHINDIRECT& record);
    void CreatePatternBrush(const EmfRecord& record, bool mono);
    void CreateFont(const EmfRecord& record);
    void StoreObject(uint32_t index, GdiObject object);
    void ClipRecord(const EmfRecord& record);
    void RegionRecord(const EmfRecord& record);
    Region RegionFromData(const char* data, uint32_t bytes, bool& ok) const;
    Region ClipRect(PointF a, PointF b) const;
    TextRun ReadTextRun(const EmfRecord& record, const U_EMRTEXT& text, bool wide);
    TextRun ReadSmallText(const EmfRecord& record);
    void CheckUtf16(std::vector<uint32_t>& codes);
    void DrawText(const TextRun& run);
    void BlitRecord(const EmfRecord& record);
    template <typename BlitRecordType>
    void SourceTransfer(const EmfRecord& record, const BlitRecordType& r, const U_POINTL& extent);
    void DrawBitmap(const EmfRecord& record, const DibLocation& where, RectF sourceRect,
                    bool sourceFromBottom, PointF destOrigin, PointF destSize, uint8_t code,
                    uint32_t bkColourSource);
    void GradientRecord(const EmfRecord& record);

    const EmfFile& File;
    EmfPlayOptions Options;
    EmfPlayNotes& Notes;
    PlaybackGeometry Geometry;
    Affine DeviceToPicture;
    Page Out;
    DcState S;
    std::vector<DcState> Saved;
    std::vector<GdiObject> Objects;
    std::map<std::string, int> BrushIndex;
    mutable std::shared_ptr<const Region> ClipCache;
    bool PathOpen = false;
    std::vector<Figure> Path;
    TextEngine Text;
    size_t RecordIndex = 0;
};

void EmfPictureSizeFor(const U_EMRHEADER& h, double dpi, int32_t& width, int32_t& height,
                       double& used) {
    int64_t fw = int64_t{h.rclFrame.right} - h.rclFrame.left;
    int64_t fh = int64_t{h.rclFrame.bottom} - h.rclFrame.top;
    used = dpi;
    for (int attempt = 0; attempt < 64; ++attempt) {
        int64_t w = PictureExtent(fw, used), hh = PictureExtent(fh, used);
        if (w <= kLargestEmfSide && hh <= kLargestEmfSide && w * hh <= kLargestEmfPixels) {
            width = static_cast<int32_t>(w);
            height = static_cast<int32_t>(hh);
            return;
        }
        double factor = std::min({double(kLargestEmfSide) / w, double(kLargestEmfSide) / hh,
                                  std::sqrt(double(kLargestEmfPixels) / double(w * hh))});
        used = used * factor * 0.999;
    }
    width = height = 1;
}

EmfPlayer::EmfPlayer(const EmfFile& file, const EmfPlayOptions& options, EmfPlayNotes& notes)
    : File(file), Options(options), Notes(notes), S(Geometry) {
    const U_EMRHEADER& h = file.Header();
    Geometry.DeviceWidth = h.szlDevice.cx;
    Geometry.DeviceHeight = h.szlDevice.cy;
    Geometry.DeviceMillimetresX = h.szlMillimeters.cx;
    Geometry.DeviceMillimetresY = h.szlMillimeters.cy;
    Geometry.FrameLeft = h.rclFrame.left;
    Geometry.FrameTop = h.rclFrame.top;
    Geometry.FrameRight = h.rclFrame.right;
    Geometry.FrameBottom = h.rclFrame.bottom;
    EmfPictureSizeFor(h, options.Dpi, Geometry.PictureWidth, Geometry.PictureHeight, Notes.Dpi);
    DeviceToPicture = Geometry.DeviceToPicture();
    S = DcState(Geometry);
    Objects.resize(std::max<size_t>(h.nHandles, 1));
    Out.Width = Geometry.PictureWidth;
    Out.Height = Geometry.PictureHeight;
    Out.Resolution = static_cast<int32_t>(std::lround(Notes.Dpi));
    Out.BandHeight = std::max(1, options.BandHeight);
    Out.Background = 0xFFFFFF;
}

Page EmfPlayer::Play() {
    const auto& records = File.Records();
    for (RecordIndex = 0; RecordIndex < records.size(); ++RecordIndex)
        Record(records[RecordIndex]);
    return std::move(Out);
}

// ---------------------------------------------------------------- output

std::shared_ptr<const Region> EmfPlayer::EffectiveClip() const {
    if (ClipCache) return ClipCache;
    if (!S.Clip && !S.Meta) return nullptr;
    if (!S.Clip) return ClipCache = S.Meta;
    if (!S.Meta) return ClipCache = S.Clip;
    return ClipCache = std::make_shared<const Region>(S.Clip->Combine(*S.Meta, RegionOp::And));
}

void EmfPlayer::CombineClip(const Region& region, uint32_t mode) {
    RegionOp op = mode == U_RGN_AND    ? RegionOp::And
                  : mode == U_RGN_OR   ? RegionOp::Or
                  : mode == U_RGN_XOR  ? RegionOp::Xor
                  : mode == U_RGN_DIFF ? RegionOp::Diff
                                       : RegionOp::Copy;
    if (!S.Clip && op != RegionOp::Copy) {
        // No region yet means the whole picture.
        Region whole = Region::Rect(0, 0, Out.Width, Out.Height);
        SetClip(std::make_shared<const Region>(whole.Combine(region, op)));
        return;
    }
    SetClip(std::make_shared<const Region>(op == RegionOp::Copy ? region
                                                                : S.Clip->Combine(region, op)));
}

void EmfPlayer::Add(std::variant<PixelOp, LineOp, FillOp, BlitOp> draw) {
    Operation operation;
    operation.Where = "record " + std::to_string(RecordIndex) + " (" +
                      EmfRecordName(File.Records()[RecordIndex].Type) + ")";
    operation.Draw = std::move(draw);
    Out.Operations.push_back(std::move(operation));
}

int EmfPlayer::SolidBrush(uint32_t colour) {
    BrushObject brush;
    brush.Color = colour & 0xFFFFFF;
    return BrushFor(brush);
}

int EmfPlayer::BrushFor(const BrushObject& brush) {
    BrushSpec spec;
    spec.Style = static_cast<BrushStyle>(brush.Style);
    spec.Color = brush.Color;
    std::string key = std::to_string(brush.Style) + ":" + std::to_string(brush.Color);
    if (brush.Style != 0) {
        PointF origin = DeviceToPicture.Apply(S.BrushOrigin);
        spec.Origin = {static_cast<int32_t>(std::lround(origin.X)),
                       static_cast<int32_t>(std::lround(origin.Y))};
        spec.BackColor = S.BkColor;
        key += ":" + std::to_string(spec.Origin.X) + "," + std::to_string(spec.Origin.Y) + ":" +
               std::to_string(S.BkColor);
    }
    if (brush.Style == 2) {
        spec.Hatch = brush.Hatch;
        // Hatch lines a few device pixels apart keep their look at higher resolutions.
        auto factor = static_cast<uint8_t>(HatchFactor());
        spec.XFactor = spec.YFactor = factor;
        key += ":h" + std::to_string(brush.Hatch);
    }
    if (brush.Style == 3) {
        spec.Pattern = brush.Pattern;
        if (brush.Pattern && brush.Pattern->BitsPerPixel == 1) {
            // Set bits take Color, clear bits BackColor.
            if (brush.MonoFromDc) {
                spec.Color = S.BkColor;
                spec.BackColor = S.TextColor;
            } else {
                const auto& p = brush.Pattern->Palette;
                spec.Color =
                    uint32_t{p[1].Red} | uint32_t{p[1].Green} << 8 | uint32_t{p[1].Blue} << 16;
                spec.BackColor =
                    uint32_t{p[0].Red} | uint32_t{p[0].Green} << 8 | uint32_t{p[0].Blue} << 16;
            }
        }
        char pointer[32];
        std::snprintf(pointer, sizeof pointer, "%p", static_cast<const void*>(brush.Pattern.get()));
        key += std::string(":p") + pointer + ":" + std::to_string(spec.Color) + ":" +
               std::to_string(spec.BackColor);
    }
    auto found = BrushIndex.find(key);
    if (found != BrushIndex.end()) return found->second;
    spec.Name = "emf brush " + std::to_string(Out.Brushes.size());
    Out.Brushes.push_back(spec);
    int index = static_cast<int>(Out.Brushes.size() - 1);
    BrushIndex.emplace(key, index);
    return index;
}

void EmfPlayer::EmitFill(const FillArea& area, int brush, uint8_t code) {
    if (area.TopRow() >= area.BottomRow() || area.LeftColumn() >= Out.Width ||
        area.RightColumn() <= 0 || area.TopRow() >= Out.Height || area.BottomRow() <= 0)
        return;
    std::shared_ptr<const Region> clip = EffectiveClip();
    FillOp fill;
    fill.Brush = brush;
    fill.Code = code;
    if (clip) {
        int32_t top = std::max({area.TopRow(), clip->TopRow(), 0});
        int32_t bottom = std::min({area.BottomRow(), clip->BottomRow(), Out.Height});
        Region cut = Region::FromArea(area, top, bottom).Combine(*clip, RegionOp::And);
        if (cut.Empty()) return;
        fill.Area = FillArea::Rows(cut.TopRow(), cut.AllRows());
    } else {
        fill.Area = area;
    }
    Add(std::move(fill));
}

void EmfPlayer::EmitLine(Vertex from, Vertex to, uint32_t colour, uint8_t code, bool lastPixel) {
    SliceLine walk({from.X, from.Y}, {to.X, to.Y});
    int64_t last = walk.PixelCount() - 1;
    if (!lastPixel && last > 0) --last;
    // Only the pixels on the picture are looked at.
    int64_t first = 0, end = 0;
    if (!walk.IndexRange({0, 0, Out.Width - 1, Out.Height - 1}, first, end)) return;
    last = std::min(last, end);
    if (first > last) return;
    LineOp line;
    line.From = {from.X, from.Y};
    line.To = {to.X, to.Y};
    line.Color = colour;
    line.Code = code;
    std::shared_ptr<const Region> clip = EffectiveClip();
    if (!clip) {
        line.First = first;
        line.Last = last;
        Add(line);
        return;
    }
    // The pixels inside the region, run by run of the walk.
    int64_t runStart = -1;
    for (int64_t i = first; i <= last + 1; ++i) {
        bool inside = false;
        if (i <= last) {
            PixelPosition p = walk.PixelAt(i);
            inside = clip->Contains(p.X, p.Y);
        }
        if (inside && runStart < 0) runStart = i;
        if (!inside && runStart >= 0) {
            line.First = runStart;
            line.Last = i - 1;
            Add(line);
            runStart = -1;
        }
    }
}

void EmfPlayer::EmitBlit(int32_t x, int32_t y, int32_t width, int32_t height,
                         std::shared_ptr<const LibrarySource> source, PagePoint sourceAt,
                         uint8_t code, int brush, uint32_t textColour, uint32_t backColour,
                         const Region* extraClip) {
    int32_t left = std::max(x, 0), top = std::max(y, 0);
    int32_t right = std::min<int64_t>(int64_t{x} + width, Out.Width);
    int32_t bottom = std::min<int64_t>(int64_t{y} + height, Out.Height);
    if (left >= right || top >= bottom) return;
    auto piece = [&](int32_t l, int32_t t, int32_t r, int32_t b) {
        BlitOp blit;
        blit.Area = {l, t, r - l, b - t};
        blit.Code = code;
        blit.Source = source;
        blit.SourceAt = {sourceAt.X + (l - x), sourceAt.Y + (t - y)};
        blit.Brush = brush;
        blit.TextColor = textColour;
        blit.BackColor = backColour;
        Add(std::move(blit));
    };
    std::shared_ptr<const Region> clip = EffectiveClip();
    if (!clip && extraClip == nullptr) {
        piece(left, top, right, bottom);
        return;
    }
    Region cut = Region::Rect(left, top, right, bottom);
    if (clip) cut = cut.Combine(*clip, RegionOp::And);
    if (extraClip != nullptr) cut = cut.Combine(*extraClip, RegionOp::And);
    // Rows with the same intervals make one rectangle each.
    int32_t runTop = cut.TopRow();
    for (int32_t row = cut.TopRow(); row <= cut.BottomRow(); ++row) {
        bool same = row < cut.BottomRow() && row > runTop &&
                    cut.Row(row).size() == cut.Row(runTop).size() &&
                    std::equal(cut.Row(row).begin(), cut.Row(row).end(), cut.Row(runTop).begin(),
                               [](const Interval& a, const Interval& b) {
                                   return a.Left == b.Left && a.Right == b.Right;
                               });
        if (same) continue;
        if (row > runTop)
            for (const Interval& i : cut.Row(runTop))
                piece(i.Left, runTop, i.Right, row);
        runTop = row;
    }
}

// ---------------------------------------------------------------- shapes

Polyline EmfPlayer::ToPictureAll(const std::vector<PointF>& logical) const {
    Affine a = LogicalToPicture();
    Polyline out;
    out.reserve(logical.size());
    for (const PointF& p : logical)
        out.push_back(a.Apply(p));
    return out;
}

double EmfPlayer::PenPictureWidth() const {
    if (S.Pen.Cosmetic || S.Pen.Width <= 0) return 1;
    return S.Pen.Width * LogicalToPicture().LengthScale();
}

void EmfPlayer::FillPolygons(const std::vector<Polyline>& polygons, FillRule rule) {
    if (S.Brush.Null) return;
    std::vector<std::vector<Vertex>> rounded;
    for (const Polyline& polygon : polygons)
        if (polygon.size() >= 3) rounded.push_back(RoundPoints(polygon, false));
    if (rounded.empty()) return;
    if (S.Brush.Style == 2 && S.BkMode == U_TRANSPARENT) {
        FillHatchLines(AreaOfPolygons(rounded, rule));
        return;
    }
    EmitFill(AreaOfPolygons(rounded, rule), BrushFor(S.Brush), Rop2Code());
}

int32_t EmfPlayer::HatchFactor() const { return Notes.Dpi < 200 ? 1 : Notes.Dpi < 400 ? 2 : 4; }

void EmfPlayer::FillHatchLines(const FillArea& area) {
    // On a transparent background only the hatch lines are painted: the pixels where the
    // hatched brush the library would realize has a set bit, filled in the brush's colour.
    int32_t top = std::max(area.TopRow(), 0), bottom = std::min(area.BottomRow(), Out.Height);
    if (top >= bottom) return;
    Region region = Region::FromArea(area, top, bottom);
    if (std::shared_ptr<const Region> clip = EffectiveClip())
        region = region.Combine(*clip, RegionOp::And);
    if (region.Empty()) return;
    int32_t size = 8 * HatchFactor();
    PointF origin = DeviceToPicture.Apply(S.BrushOrigin);
    auto ox = static_cast<int32_t>(std::lround(origin.X));
    auto oy = static_cast<int32_t>(std::lround(origin.Y));
    auto modulo = [size](int64_t v) { return static_cast<int32_t>(((v % size) + size) % size); };
    std::vector<std::vector<Interval>> rows(region.AllRows().size());
    for (int32_t y = region.TopRow(); y < region.BottomRow(); ++y) {
        int32_t r = modulo(int64_t{y} - oy);
        auto& out = rows[static_cast<size_t>(y - region.TopRow())];
        for (const Interval& i : region.Row(y))
            for (int32_t x = i.Left; x < i.Right; ++x) {
                if (!HatchPixel(S.Brush.Hatch, r, modulo(int64_t{x} - ox), size)) continue;
                if (!out.empty() && out.back().Right == x)
                    ++out.back().Right;
                else
                    out.push_back({x, x + 1});
            }
    }
    EmitFill(FillArea::Rows(region.TopRow(), std::move(rows)), SolidBrush(S.Brush.Color),
             Rop2Code());
}

void EmfPlayer::StrokePolyline(const Polyline& points, bool closed) {
    if (S.Pen.Null || points.empty()) return;
    double width = PenPictureWidth();
    uint32_t style = S.Pen.Style & U_PS_STYLE_MASK;
    std::vector<double> pattern;
    bool thin = width < 1.5;
    double unit = thin ? 1 : width;
    switch (style) {
    case U_PS_DASH: pattern = thin ? std::vector<double>{18, 6} : std::vector<double>{3, 1}; break;
    case U_PS_DOT: pattern = thin ? std::vector<double>{3, 3} : std::vector<double>{1, 1}; break;
    case U_PS_DASHDOT:
        pattern = thin ? std::vector<double>{9, 6, 3, 6} : std::vector<double>{3, 1, 1, 1};
        break;
    case U_PS_DASHDOTDOT:
        pattern =
            thin ? std::vector<double>{9, 3, 3, 3, 3, 3} : std::vector<double>{3, 1, 1, 1, 1, 1};
        break;
    case U_PS_ALTERNATE: pattern = {1, 1}; break;
    case U_PS_USERSTYLE: pattern = S.Pen.UserStyle; break;
    default: break;
    }
    if (!thin && style != U_PS_USERSTYLE)
        for (double& d : pattern)
            d *= unit;
    if (style == U_PS_USERSTYLE && !S.Pen.Cosmetic)
        for (double& d : pattern)
            d *= LogicalToPicture().LengthScale();
    std::vector<Polyline> pieces;
    if (pattern.empty()) {
        pieces.push_back(points);
        if (closed) pieces.back().push_back(points.front());
    } else {
        pieces = DashPieces(points, closed, pattern);
    }
    uint8_t code = Rop2Code();
    if (thin) {
        for (const Polyline& piece : pieces) {
            std::vector<Vertex> v = RoundPoints(piece, false);
            if (v.size() == 1) EmitLine(v[0], v[0], S.Pen.Color, code, true);
            for (size_t i = 0; i + 1 < v.size(); ++i) {
                bool last = !pattern.empty() && i + 2 == v.size();
                EmitLine(v[i], v[i + 1], S.Pen.Color, code,
                         last || (v[i].X == v[i + 1].X && v[i].Y == v[i + 1].Y));
            }
        }
        return;
    }
    PenShape shape;
    shape.Width = width;
    uint32_t cap = S.Pen.Style & U_PS_ENDCAP_MASK, join = S.Pen.Style & U_PS_JOIN_MASK;
    shape.Cap = cap == U_PS_ENDCAP_SQUARE ? PenCap::Square
                : cap == U_PS_ENDCAP_FLAT ? PenCap::Flat
                                          : PenCap::Round;
    shape.Join = join == U_PS_JOIN_BEVEL   ? PenJoin::Bevel
                 : join == U_PS_JOIN_MITER ? PenJoin::Miter
                                           : PenJoin::Round;
    shape.MiterLimit = S.MiterLimit;
    std::vector<Polyline> polygons;
    for (const Polyline& piece : pieces)
        StrokeOutline(piece, pattern.empty() ? closed : false, shape, polygons);
    std::vector<std::vector<Vertex>> rounded;
    for (const Polyline& polygon : polygons)
        rounded.push_back(RoundPoints(polygon, true));
    EmitFill(AreaOfPolygons(rounded, FillRule::Winding), SolidBrush(S.Pen.Color), code);
}

void EmfPlayer::DrawShape(const std::vector<Polyline>& figures, bool fill) {
    if (PathOpen) {
        for (const Polyline& f : figures)
            Path.push_back({f, true});
        return;
    }
    if (fill)
        FillPolygons(figures, S.PolyFill == U_WINDING ? FillRule::Winding : FillRule::EvenOdd);
    for (const Polyline& f : figures)
        StrokePolyline(f, true);
}

void EmfPlayer::OpenFigure(Polyline points, bool closed, bool continues) {
    if (continues && !Path.empty() && !Path.back().Closed) {
        Polyline& into = Path.back().Points;
        into.insert(into.end(), points.begin(), points.end());
        Path.back().Closed = closed;
        return;
    }
    Path.push_back({std::move(points), closed});
}

// ---------------------------------------------------------------- records

template <typename Point>
void EmfPlayer::PolyRecord(uint32_t type, const Point* points, uint32_t count) {
    const EmfRecord& record = File.Records()[RecordIndex];
    auto offset = static_cast<size_t>(reinterpret_cast<const char*>(points) - record.Data);
    if (offset > record.Size || count > (record.Size - offset) / sizeof(Point))
        Damaged("its " + std::to_string(count) + " points reach outside the record");
    std::vector<PointF> logical;
    logical.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        Point p = Read<Point>(reinterpret_cast<const char*>(points + i));
        logical.push_back({double(p.x), double(p.y)});
    }
    if (logical.empty()) return;
    bool to = type == U_EMR_POLYLINETO || type == U_EMR_POLYLINETO16 ||
              type == U_EMR_POLYBEZIERTO || type == U_EMR_POLYBEZIERTO16;
    bool bezier = type == U_EMR_POLYBEZIER || type == U_EMR_POLYBEZIER16 ||
                  type == U_EMR_POLYBEZIERTO || type == U_EMR_POLYBEZIERTO16;
    bool polygon = type == U_EMR_POLYGON || type == U_EMR_POLYGON16;
    if (to) logical.insert(logical.begin(), S.Current);
    Polyline picture = ToPictureAll(logical);
    if (bezier) {
        Polyline flat{picture[0]};
        for (size_t i = 1; i + 2 < picture.size(); i += 3)
            AppendBezier(picture[i - 1], picture[i], picture[i + 1], picture[i + 2], 0.25, flat);
        size_t used = 1 + (picture.size() - 1) / 3 * 3;
        if (to) S.Current = logical[used - 1];
        picture = std::move(flat);
    } else if (to) {
        S.Current = logical.back();
    }
    if (polygon) {
        DrawShape({picture}, true);
        return;
    }
    if (PathOpen) {
        if (to) picture.erase(picture.begin());
        OpenFigure(std::move(picture), false, to);
        return;
    }
    StrokePolyline(picture, false);
}

template <typename Point>
void EmfPlayer::PolyPolyRecord(bool polygon, const uint32_t* counts, uint32_t polys,
                               const Point* points, uint32_t total) {
    const EmfRecord& record = File.Records()[RecordIndex];
    auto countsAt = static_cast<size_t>(reinterpret_cast<const char*>(counts) - record.Data);
    auto pointsAt = static_cast<size_t>(reinterpret_cast<const char*>(points) - record.Data);
    if (countsAt > record.Size || polys > (record.Size - countsAt) / 4 || pointsAt > record.Size ||
        total > (record.Size - pointsAt) / sizeof(Point))
        Damaged("its polygons reach outside the record");
    std::vector<Polyline> figures;
    uint64_t at = 0;
    for (uint32_t k = 0; k < polys; ++k) {
        uint32_t count = Read<uint32_t>(reinterpret_cast<const char*>(counts + k));
        if (at + count > total)
            Damaged("its polygons count more points than the " + std::to_string(total) +
                    " it holds");
        std::vector<PointF> logical;
        for (uint32_t i = 0; i < count; ++i) {
            Point p = Read<Point>(reinterpret_cast<const char*>(points + at + i));
            logical.push_back({double(p.x), double(p.y)});
        }
        at += count;
        figures.push_back(ToPictureAll(logical));
    }
    if (polygon) {
        DrawShape(figures, true);
        return;
    }
    for (Polyline& f : figures) {
        if (PathOpen)
            OpenFigure(std::move(f), false, false);
        else
            StrokePolyline(f, false);
    }
}

void EmfPlayer::RectangleRecord(const U_RECTL& box, const U_SIZEL* corner) {
    double l = std::min(box.left, box.right), r = std::max(box.left, box.right);
    double t = std::min(box.top, box.bottom), b = std::max(box.top, box.bottom);
    std::vector<PointF> logical;
    if (corner == nullptr || corner->cx == 0 || corner->cy == 0) {
        logical = {{l, t}, {r, t}, {r, b}, {l, b}};
    } else {
        double rx = std::min(std::fabs(corner->cx) / 2.0, (r - l) / 2);
        double ry = std::min(std::fabs(corner->cy) / 2.0, (b - t) / 2);
        double radius = std::max(rx, ry) * LogicalToPicture().LengthScale();
        auto quarter = [&](double cx, double cy, double a0) {
            Polyline arc = ArcPoints({cx, cy}, rx, ry, a0, kPi / 2, radius);
            logical.insert(logical.end(), arc.begin(), arc.end());
        };
        quarter(r - rx, t + ry, -kPi / 2);
        quarter(r - rx, b - ry, 0);
        quarter(l + rx, b - ry, kPi / 2);
        quarter(l + rx, t + ry, kPi);
    }
    Polyline picture = ToPictureAll(logical);
    if (PathOpen) {
        Path.push_back({picture, true});
        return;
    }
    FillPolygons({picture}, FillRule::Winding);
    if (S.Pen.Null) return;
    if (PenPictureWidth() < 1.5 && corner == nullptr) {
        // A one-pixel frame lies inside the filled rectangle's pixels.
        std::vector<Vertex> v = RoundPoints(picture, false);
        int32_t x0 = std::min(v[0].X, v[2].X), x1 = std::max(v[0].X, v[2].X) - 1;
        int32_t y0 = std::min(v[0].Y, v[2].Y), y1 = std::max(v[0].Y, v[2].Y) - 1;
        if (IsUpright(picture)) {
            StrokePolyline({{double(x0), double(y0)},
                            {double(x1), double(y0)},
                            {double(x1), double(y1)},
                            {double(x0), double(y1)}},
                           true);
            return;
        }
    }
    StrokePolyline(picture, true);
}

void EmfPlayer::EllipseRecord(const U_RECTL& box) {
    double cx = (box.left + box.right) / 2.0, cy = (box.top + box.bottom) / 2.0;
    double rx = std::fabs(box.right - box.left) / 2.0, ry = std::fabs(box.bottom - box.top) / 2.0;
    double radius = std::max(rx, ry) * LogicalToPicture().LengthScale();
    Polyline logical = ArcPoints({cx, cy}, rx, ry, 0, 2 * kPi, radius);
    logical.pop_back();
    DrawShape({ToPictureAll(logical)}, true);
}

void EmfPlayer::ArcRecord(uint32_t type, const U_EMRARC& arc) {
    const U_RECTL& box = arc.rclBox;
    double cx = (box.left + box.right) / 2.0, cy = (box.top + box.bottom) / 2.0;
    double rx = std::fabs(box.right - box.left) / 2.0, ry = std::fabs(box.bottom - box.top) / 2.0;
    if (rx <= 0 || ry <= 0) return;
    double a0 = PortableAtan2((arc.ptlStart.y - cy) / ry, (arc.ptlStart.x - cx) / rx);
    double a1 = PortableAtan2((arc.ptlEnd.y - cy) / ry, (arc.ptlEnd.x - cx) / rx);
    // Counter-clockwise on the picture is towards smaller angles when y points down.
    bool counter = S.ArcDirection == U_AD_COUNTERCLOCKWISE;
    if (LogicalToPicture().Determinant() < 0) counter = !counter;
    double sweep = a1 - a0;
    if (counter) {
        while (sweep >= 0)
            sweep -= 2 * kPi;
    } else {
        while (sweep <= 0)
            sweep += 2 * kPi;
    }
    double radius = std::max(rx, ry) * LogicalToPicture().LengthScale();
    Polyline logical = ArcPoints({cx, cy}, rx, ry, a0, sweep, radius);
    if (type == U_EMR_PIE) logical.push_back({cx, cy});
    Polyline picture = ToPictureAll(logical);
    if (type == U_EMR_ARC || type == U_EMR_ARCTO) {
        if (type == U_EMR_ARCTO) {
            picture.insert(picture.begin(), ToPicture(S.Current));
            S.Current = logical.back();
        }
        if (PathOpen)
            OpenFigure(std::move(picture), false, type == U_EMR_ARCTO);
        else
            StrokePolyline(picture, false);
        return;
    }
    DrawShape({picture}, true);
}

void EmfPlayer::AngleArcRecord(const U_EMRANGLEARC& arc) {
    double r = arc.nRadius;
    double a0 = -arc.eStartAngle * kPi / 180, sweep = -arc.eSweepAngle * kPi / 180;
    Polyline logical = ArcPoints({double(arc.ptlCenter.x), double(arc.ptlCenter.y)}, r, r, a0,
                                 sweep, r * LogicalToPicture().LengthScale());
    logical.insert(logical.begin(), S.Current);
    S.Current = logical.back();
    Polyline picture = ToPictureAll(logical);
    if (PathOpen)
        OpenFigure(std::move(picture), false, true);
    else
        StrokePolyline(picture, false);
}

void EmfPlayer::PathRecord(uint32_t type) {
    switch (type) {
    case U_EMR_BEGINPATH:
        PathOpen = true;
        Path.clear();
        return;
    case U_EMR_ENDPATH: PathOpen = false; return;
    case U_EMR_ABORTPATH:
        PathOpen = false;
        Path.clear();
        return;
    case U_EMR_CLOSEFIGURE:
        if (!Path.empty()) Path.back().Closed = true;
        return;
    case U_EMR_FLATTENPATH: return; // curves are flat already
    case U_EMR_WIDENPATH: {
        std::vector<Figure> widened;
        PenShape shape;
        shape.Width = PenPictureWidth();
        std::vector<Polyline> polygons;
        for (const Figure& f : Path)
            StrokeOutline(f.Points, f.Closed, shape, polygons);
        for (Polyline& p : polygons)
            widened.push_back({std::move(p), true});
        Path = std::move(widened);
        return;
    }
    default: break;
    }
    FillRule rule = S.PolyFill == U_WINDING ? FillRule::Winding : FillRule::EvenOdd;
    std::vector<Polyline> closed;
    for (const Figure& f : Path)
        closed.push_back(f.Points);
    if (type == U_EMR_FILLPATH || type == U_EMR_STROKEANDFILLPATH) FillPolygons(closed, rule);
    if (type == U_EMR_STROKEPATH || type == U_EMR_STROKEANDFILLPATH)
        for (const Figure& f : Path)
            StrokePolyline(f.Points, f.Closed);
    Path.clear();
}

// ---------------------------------------------------------------- objects

void EmfPlayer::StoreObject(uint32_t index, GdiObject object) {
    if (index == 0 || index >= Objects.size())
        Damaged("object index " + std::to_string(index) + " is outside the header's " +
                std::to_string(Objects.size()) + " handles");
    Objects[index] = std::move(object);
}

void EmfPlayer::SelectObject(uint32_t index) {
    if (index & kStockObject) {
        uint32_t stock = index & ~kStockObject;
        BrushObject brush;
        PenObject pen;
        // White, light grey, grey, dark grey and black brushes.
        static constexpr uint32_t kStockBrushColours[] = {0xFFFFFF, 0xC0C0C0, 0x808080, 0x404040,
                                                          0x000000};
        switch (stock) {
        case 0:
        case 1:
        case 2:
        case 3:
        case 4:
            brush.Color = kStockBrushColours[stock];
            S.Brush = brush;
            break;
        case 5:
            brush.Null = true;
            S.Brush = brush;
            break;
        case 6:
            pen.Color = 0xFFFFFF;
            S.Pen = pen;
            break;
        case 7:
            pen.Color = 0;
            S.Pen = pen;
            break;
        case 8:
            pen.Null = true;
            S.Pen = pen;
            break;
        case 10:
        case 11:
        case 12:
        case 13:
        case 14:
        case 16:
        case 17:
            S.Font = FontObject{};
            S.Font.Face = stock == 10 || stock == 11 || stock == 16 ? "Courier New" : "Arial";
            S.Font.Logical.lfHeight = stock == 17 ? -11 : 16;
            break;
        default: break;
        }
        return;
    }
    if (index >= Objects.size())
        Damaged("object index " + std::to_string(index) + " is outside the header's " +
                std::to_string(Objects.size()) + " handles");
    const GdiObject& object = Objects[index];
    if (const auto* pen = std::get_if<PenObject>(&object)) S.Pen = *pen;
    if (const auto* brush = std::get_if<BrushObject>(&object)) S.Brush = *brush;
    if (const auto* font = std::get_if<FontObject>(&object)) S.Font = *font;
}

void EmfPlayer::CreatePen(const U_EMRCREATEPEN& record) {
    PenObject pen;
    pen.Style = record.lopn.lopnStyle;
    pen.Null = (pen.Style & U_PS_STYLE_MASK) == U_PS_NULL;
    pen.Width = record.lopn.lopnWidth.x;
    pen.Cosmetic = pen.Width <= 1;
    // Old-style pens wider than one pixel draw solid lines.
    if (!pen.Cosmetic) pen.Style &= ~uint32_t{U_PS_STYLE_MASK};
    pen.Color = Colour(record.lopn.lopnColor);
    StoreObject(record.ihPen, pen);
}

void EmfPlayer::ExtCreatePen(const EmfRecord& record) {
    auto r = RecordAs<U_EMREXTCREATEPEN>(record);
    PenObject pen;
    pen.Style = r.elp.elpPenStyle;
    pen.Null = (pen.Style & U_PS_STYLE_MASK) == U_PS_NULL || r.elp.elpBrushStyle == U_BS_NULL;
    pen.Cosmetic = (pen.Style & U_PS_TYPE_MASK) != U_PS_GEOMETRIC;
    pen.Width = r.elp.elpWidth;
    pen.Color = Colour(r.elp.elpColor);
    size_t entries = offsetof(U_EMREXTCREATEPEN, elp) + offsetof(U_EXTLOGPEN, elpStyleEntry);
    for (uint32_t i = 0; i < r.elp.elpNumEntries && i < 64 && entries + 4 * (i + 1) <= record.Size;
         ++i)
        pen.UserStyle.push_back(Read<uint32_t>(record.Data + entries + 4 * i));
    if (r.elp.elpBrushStyle != U_BS_SOLID && !pen.Null) ++Notes.Approximated["pattern pen"];
    StoreObject(r.ihPen, pen);
}

void EmfPlayer::CreateBrush(const U_EMRCREATEBRUSHINDIRECT& record) {
    BrushObject brush;
    brush.Color = Colour(record.lb.lbColor);
    switch (record.lb.lbStyle) {
    case U_BS_SOLID: break;
    case U_BS_NULL: brush.Null = true; break;
    case U_BS_HATCHED:
        if (record.lb.lbHatch <= U_HS_DIAGCROSS) {
            brush.Style = 2;
            brush.Hatch = static_cast<uint16_t>(record.lb.lbHatch);
        }
        break;
    default: ++Notes.Approximated["brush style " + std::to_string(record.lb.lbStyle)]; break;
    }
    StoreObject(record.ihBrush, brush);
}

void EmfPlayer::CreatePatternBrush(const EmfRecord& record, bool mono) {
    auto r = RecordAs<U_EMRCREATEDIBPATTERNBRUSHPT>(record);
    Dib dib;
    std::string why;
    BrushObject brush;
    DibResult result = DecodeDib(record.Data, record.Size,
                                 {r.offBmi, r.cbBmi, r.offBits, r.cbBits, r.iUsage}, dib, why);
    if (result == DibResult::Malformed) Damaged(why);
    if (result != DibResult::Decoded || dib.Width > 4096 || dib.Height > 4096) {
        ++Notes.Approximated[EmfRecordName(record.Type) + " (" + why + "): solid grey"];
        brush.Color = 0x808080;
    } else {
        brush.Style = 3;
        brush.Pattern = std::make_shared<const Image>(DibToImage(dib));
        brush.MonoFromDc = mono;
    }
    StoreObject(r.ihBrush, brush);
}

void EmfPlayer::CreateFont(const EmfRecord& record) {
    auto r = RecordAs<U_EMREXTCREATEFONTINDIRECTW>(record);
    FontObject font;
    font.Logical = r.elfw.elfLogFont;
    for (size_t i = 0; i < U_LF_FACESIZE && font.Logical.lfFaceName[i] != 0; ++i) {
        uint16_t c = font.Logical.lfFaceName[i];
        uint16_t next = i + 1 < U_LF_FACESIZE ? font.Logical.lfFaceName[i + 1] : 0;
        bool high = c >= 0xD800 && c < 0xDC00, low = c >= 0xDC00 && c < 0xE000;
        if (low || (high && !(next >= 0xDC00 && next < 0xE000)))
            Damaged("the font's face name is not valid UTF-16");
        if (high) ++i;
    }
    font.Face = Utf16ToUtf8(font.Logical.lfFaceName, U_LF_FACESIZE);
    StoreObject(r.ihFont, font);
}

// ---------------------------------------------------------------- clipping

Region EmfPlayer::ClipRect(PointF a, PointF b) const {
    // Regions keep a row per picture row, so they are cut to the picture with a margin of a
    // picture on every side (an offset may still move such a part into view).
    auto whole = [](double v, int32_t extent) {
        double limit = double(extent);
        return static_cast<int32_t>(std::lround(std::clamp(v, -limit, 2 * limit)));
    };
    return Region::Rect(whole(std::min(a.X, b.X), Out.Width), whole(std::min(a.Y, b.Y), Out.Height),
                        whole(std::max(a.X, b.X), Out.Width),
                        whole(std::max(a.Y, b.Y), Out.Height));
}

Region EmfPlayer::RegionFromData(const char* data, uint32_t bytes, bool& ok) const {
    ok = false;
    Region region;
    if (bytes < sizeof(U_RGNDATAHEADER)) return region;
    auto header = Read<U_RGNDATAHEADER>(data);
    uint64_t count = header.nCount;
    if (count > (bytes - sizeof(U_RGNDATAHEADER)) / sizeof(U_RECTL))
        Damaged("its region holds " + std::to_string(count) + " rectangles in " +
                std::to_string(bytes) + " bytes");
    ok = true;
    std::vector<std::pair<int32_t, std::pair<int32_t, int32_t>>> unused;
    for (uint64_t i = 0; i < count; ++i) {
        auto rect = Read<U_RECTL>(data + sizeof(U_RGNDATAHEADER) + i * sizeof(U_RECTL));
        PointF a = DeviceToPicture.Apply({double(rect.left), double(rect.top)});
        PointF b = DeviceToPicture.Apply({double(rect.right), double(rect.bottom)});
        Region piece = ClipRect(a, b);
        region = region.Combine(piece, RegionOp::Or);
    }
    return region;
}

void EmfPlayer::ClipRecord(const EmfRecord& record) {
    switch (record.Type) {
    case U_EMR_INTERSECTCLIPRECT:
    case U_EMR_EXCLUDECLIPRECT: {
        auto r = RecordAs<U_EMRINTERSECTCLIPRECT>(record);
        PointF a = ToPicture({double(r.rclClip.left), double(r.rclClip.top)});
        PointF b = ToPicture({double(r.rclClip.right), double(r.rclClip.bottom)});
        Region rect = ClipRect(a, b);
        CombineClip(rect, record.Type == U_EMR_INTERSECTCLIPRECT ? U_RGN_AND : U_RGN_DIFF);
        return;
    }
    case U_EMR_OFFSETCLIPRGN: {
        auto r = RecordAs<U_EMROFFSETCLIPRGN>(record);
        if (!S.Clip) return;
        PointF d = LogicalToPicture().ApplyVector({double(r.ptlOffset.x), double(r.ptlOffset.y)});
        SetClip(std::make_shared<const Region>(S.Clip->Offset(
            static_cast<int32_t>(std::lround(d.X)), static_cast<int32_t>(std::lround(d.Y)))));
        return;
    }
    case U_EMR_SETMETARGN:
        S.Meta = EffectiveClip();
        SetClip(nullptr);
        return;
    case U_EMR_SELECTCLIPPATH: {
        auto mode = RecordAs<U_EMRSETMAPMODE>(record).iMode;
        std::vector<std::vector<Vertex>> rounded;
        for (const Figure& f : Path)
            if (f.Points.size() >= 3) rounded.push_back(RoundPoints(f.Points, false));
        FillArea area = AreaOfPolygons(rounded, S.PolyFill == U_WINDING ? FillRule::Winding
                                                                        : FillRule::EvenOdd);
        Region region = rounded.empty()
                            ? Region()
                            : Region::FromArea(area, std::max(area.TopRow(), -1),
                                               std::min(area.BottomRow(), Out.Height + 1));
        CombineClip(region, mode);
        Path.clear();
        return;
    }
    default: break;
    }
}

void EmfPlayer::RegionRecord(const EmfRecord& record) {
    if (record.Type == U_EMR_EXTSELECTCLIPRGN) {
        auto r = RecordAs<U_EMREXTSELECTCLIPRGN>(record);
        size_t at = offsetof(U_EMREXTSELECTCLIPRGN, RgnData);
        if (r.cbRgnData == 0 || at > record.Size) {
            if (r.iMode == U_RGN_COPY) SetClip(nullptr);
            return;
        }
        bool ok = false;
        Region region =
            RegionFromData(record.Data + at, std::min<uint32_t>(r.cbRgnData, record.Size - at), ok);
        if (ok) CombineClip(region, r.iMode);
        return;
    }
    // Region fills: FILLRGN and PAINTRGN fill with a brush, INVERTRGN inverts.
    size_t at = record.Type == U_EMR_FILLRGN    ? offsetof(U_EMRFILLRGN, RgnData)
                : record.Type == U_EMR_FRAMERGN ? offsetof(U_EMRFRAMERGN, RgnData)
                                                : offsetof(U_EMRINVERTRGN, RgnData);
    if (at > record.Size) Damaged("the record is too short for its region");
    uint32_t bytes = Read<uint32_t>(record.Data + 24);
    bool ok = false;
    Region region =
        RegionFromData(record.Data + at, std::min<uint32_t>(bytes, record.Size - at), ok);
    if (!ok || region.Empty()) return;
    FillArea area = FillArea::Rows(region.TopRow(), region.AllRows());
    if (record.Type == U_EMR_INVERTRGN) {
        EmitFill(area, SolidBrush(0), 0x55);
    } else if (record.Type == U_EMR_PAINTRGN) {
        if (!S.Brush.Null) EmitFill(area, BrushFor(S.Brush), Rop2Code());
    } else {
        uint32_t brushIndex = Read<uint32_t>(record.Data + 28);
        BrushObject brush = S.Brush;
        if (brushIndex < Objects.size())
            if (const auto* b = std::get_if<BrushObject>(&Objects[brushIndex])) brush = *b;
        if (record.Type == U_EMR_FRAMERGN) {
            Approximated(record);
            Region inner = region.Combine(
                region.Offset(1, 1).Combine(region.Offset(-1, -1), RegionOp::And), RegionOp::Diff);
            if (!inner.Empty()) area = FillArea::Rows(inner.TopRow(), inner.AllRows());
        }
        if (!brush.Null) EmitFill(area, BrushFor(brush), kPatCopy);
    }
}

// ---------------------------------------------------------------- text

TextRun EmfPlayer::ReadTextRun(const EmfRecord& record, const U_EMRTEXT& text, bool wide) {
    uint32_t recordSize = record.Size;
    const char* after = reinterpret_cast<const char*>(&text) + sizeof(U_EMRTEXT);
    size_t afterOffset = static_cast<size_t>(after - record.Data);
    TextRun run;
    run.Reference = {double(text.ptlReference.x), double(text.ptlReference.y)};
    run.Options = text.fOptions;
    run.HasRect = !(text.fOptions & U_ETO_NO_RECT);
    if (run.HasRect) {
        if (afterOffset + sizeof(U_RECTL) > recordSize) Damaged("its rectangle lies outside");
        run.Rect = Read<U_RECTL>(after);
        after += sizeof(U_RECTL);
        afterOffset += sizeof(U_RECTL);
    }
    uint32_t offDx = afterOffset + 4 <= recordSize ? Read<uint32_t>(after) : 0;
    uint32_t count = text.nChars;
    size_t charBytes = wide ? 2 : 1;
    if (text.offString > recordSize || count > (recordSize - text.offString) / charBytes)
        Damaged("its string of " + std::to_string(count) + " characters at offset " +
                std::to_string(text.offString) + " lies outside the record");
    size_t dxStride = (text.fOptions & U_ETO_PDY) != 0 ? 2 : 1;
    if (offDx != 0 && (offDx > recordSize || count > (recordSize - offDx) / (4 * dxStride)))
        Damaged("its spacing array at offset " + std::to_string(offDx) +
                " lies outside the record");
    if (offDx != 0)
        for (uint32_t i = 0; i < count * dxStride; ++i)
            run.Dx.push_back(Read<int32_t>(record.Data + offDx + 4 * i));
    for (uint32_t i = 0; i < count; ++i) {
        const char* at = record.Data + text.offString + i * charBytes;
        run.Codes.push_back(wide ? Read<uint16_t>(at) : FromCp1252(static_cast<uint8_t>(*at)));
    }
    if (wide && !(text.fOptions & U_ETO_GLYPH_INDEX)) CheckUtf16(run.Codes);
    return run;
}

TextRun EmfPlayer::ReadSmallText(const EmfRecord& record) {
    struct Head {
        U_EMR emr;
        U_POINTL Dest;
        uint32_t cChars, fuOptions, iGraphicsMode;
        float exScale, eyScale;
    };
    if (record.Size < sizeof(Head)) Damaged("the record is too short");
    auto h = Read<Head>(record.Data);
    TextRun run;
    run.Reference = {double(h.Dest.x), double(h.Dest.y)};
    run.Options = h.fuOptions;
    size_t at = sizeof(Head);
    run.HasRect = !(h.fuOptions & U_ETO_NO_RECT);
    if (run.HasRect) {
        if (at + sizeof(U_RECTL) > record.Size) Damaged("its rectangle lies outside");
        run.Rect = Read<U_RECTL>(record.Data + at);
        at += sizeof(U_RECTL);
    }
    bool small = (h.fuOptions & U_ETO_SMALL_CHARS) != 0;
    size_t charBytes = small ? 1 : 2;
    if (h.cChars > (record.Size - at) / charBytes)
        Damaged("its string of " + std::to_string(h.cChars) +
                " characters lies outside the record");
    for (uint32_t i = 0; i < h.cChars; ++i) {
        const char* c = record.Data + at + i * charBytes;
        run.Codes.push_back(small ? uint32_t{static_cast<uint8_t>(*c)} : Read<uint16_t>(c));
    }
    if (!small && !(h.fuOptions & U_ETO_GLYPH_INDEX)) CheckUtf16(run.Codes);
    return run;
}

void EmfPlayer::CheckUtf16(std::vector<uint32_t>& codes) {
    {
        // Surrogate pairs become one character (its spacing entry is the pair's first).
        for (size_t i = 0; i < codes.size(); ++i) {
            bool high = codes[i] >= 0xD800 && codes[i] < 0xDC00;
            bool low = codes[i] >= 0xDC00 && codes[i] < 0xE000;
            bool paired =
                high && i + 1 < codes.size() && codes[i + 1] >= 0xDC00 && codes[i + 1] < 0xE000;
            if (low || (high && !paired))
                Damaged("its text is not valid UTF-16 (character " + std::to_string(i) + ")");
            if (paired) {
                codes[i] = 0x10000 + ((codes[i] - 0xD800) << 10) + (codes[i + 1] - 0xDC00);
                codes[i + 1] = 0x200B; // a zero-width space keeps the spacing array aligned
            }
        }
    }
}

void EmfPlayer::DrawText(const TextRun& run) {
    const std::vector<uint32_t>& codes = run.Codes;
    const std::vector<int32_t>& dx = run.Dx;
    const U_RECTL& rect = run.Rect;
    const bool hasRect = run.HasRect;
    const uint32_t options = run.Options;
    const auto count = static_cast<uint32_t>(codes.size());
    const bool byIndex = (options & U_ETO_GLYPH_INDEX) != 0;
    const bool pdy = (options & U_ETO_PDY) != 0;
    const size_t dxStride = pdy ? 2 : 1;
    Affine l2p = LogicalToPicture();
    // The opaque rectangle is filled whether or not there is text.
    std::optional<Region> clipRect;
    if (hasRect && (options & (U_ETO_OPAQUE | U_ETO_CLIPPED))) {
        PointF a = l2p.Apply({double(rect.left), double(rect.top)});
        PointF b = l2p.Apply({double(rect.right), double(rect.bottom)});
        int32_t x0 = int32_t(std::lround(std::clamp(std::min(a.X, b.X), -1e6, 1e6)));
        int32_t x1 = int32_t(std::lround(std::clamp(std::max(a.X, b.X), -1e6, 1e6)));
        int32_t y0 = int32_t(std::lround(std::clamp(std::min(a.Y, b.Y), -1e6, 1e6)));
        int32_t y1 = int32_t(std::lround(std::clamp(std::max(a.Y, b.Y), -1e6, 1e6)));
        if (options & U_ETO_OPAQUE)
            EmitFill(FillArea::Rectangle(x0, y0, x1 - x0, y1 - y0), SolidBrush(S.BkColor),
                     kPatCopy);
        if (options & U_ETO_CLIPPED) clipRect = Region::Rect(x0, y0, x1, y1);
    }
    if (count == 0) return;

    const U_LOGFONT& lf = S.Font.Logical;
    int face = Text.Face({S.Font.Face, lf.lfWeight, lf.lfItalic != 0});
    FontMetrics unit = Text.Metrics(face, 1);
    double em = lf.lfHeight < 0   ? -double(lf.lfHeight)
                : lf.lfHeight > 0 ? lf.lfHeight * unit.CellScale
                                  : 12;
    FontMetrics metrics = Text.Metrics(face, em);
    // Text space: x along the baseline, y down, logical units; the escapement turns it.
    double angle = lf.lfEscapement / 10.0 * kPi / 180;
    // The baseline runs along the escapement as logical space shows it (y down), carried
    // through the whole mapping; the glyphs stand upright on it whichever way the mapping
    // points y, as GDI draws them.
    Affine linear = l2p;
    linear.Dx = linear.Dy = 0;
    PointF along = linear.ApplyVector({PortableCos(angle), -PortableSin(angle)});
    PointF down = linear.ApplyVector({PortableSin(angle), PortableCos(angle)});
    double alongLength = PortableHypot(along.X, along.Y);
    double downLength = PortableHypot(down.X, down.Y);
    if (!(alongLength > 0) || !(downLength > 0)) return;
    PointF direction{along.X / alongLength, along.Y / alongLength};
    Affine base;
    base.M11 = direction.X * alongLength;
    base.M12 = direction.Y * alongLength;
    base.M21 = -direction.Y * downLength;
    base.M22 = direction.X * downLength;
    TextGeometry geometry;
    geometry.EmLogical = em;
    geometry.TextToPicture = base;
    if (lf.lfWidth > 0 && metrics.AverageWidth > 0) {
        double stretch = lf.lfWidth / metrics.AverageWidth;
        geometry.TextToPicture.M11 *= stretch;
        geometry.TextToPicture.M12 *= stretch;
    }

    // Pen positions of every glyph, from the reference point.
    bool updateCp = (S.TextAlign & U_TA_UPDATECP) != 0;
    PointF reference = updateCp ? ToPicture(S.Current) : l2p.Apply(run.Reference);
    std::vector<Glyph> glyphs;
    std::vector<PointF> offsets;
    PointF pen{0, 0};
    for (uint32_t i = 0; i < count; ++i) {
        Glyph glyph = Text.Render(face, geometry, codes[i], byIndex);
        offsets.push_back(pen);
        glyphs.push_back(glyph);
        PointF advance = glyph.Advance;
        if (i < dx.size() / dxStride)
            advance = base.ApplyVector(
                {double(dx[i * dxStride]), pdy ? -double(dx[i * dxStride + 1]) : 0.0});
        pen = {pen.X + advance.X, pen.Y + advance.Y};
    }
    PointF total = pen;
    uint32_t horizontal = S.TextAlign & U_TA_CENTER;
    PointF origin = reference;
    if (horizontal == U_TA_RIGHT) origin = {origin.X - total.X, origin.Y - total.Y};
    if (horizontal == U_TA_CENTER) origin = {origin.X - total.X / 2, origin.Y - total.Y / 2};
    uint32_t vertical = S.TextAlign & U_TA_BASELINE;
    if (vertical == U_TA_TOP) {
        PointF down = base.ApplyVector({0, metrics.Ascent});
        origin = {origin.X + down.X, origin.Y + down.Y};
    } else if (vertical == U_TA_BOTTOM) {
        PointF up = base.ApplyVector({0, -metrics.Descent});
        origin = {origin.X + up.X, origin.Y + up.Y};
    }
    if (updateCp) {
        Affine inverse; // the current position moves by the text's advance, in logical units
        Affine m = l2p;
        double det = m.Determinant();
        if (std::fabs(det) > 1e-12) {
            PointF advance = {(total.X * m.M22 - total.Y * m.M21) / det,
                              (-total.X * m.M12 + total.Y * m.M11) / det};
            S.Current = {S.Current.X + advance.X, S.Current.Y + advance.Y};
        }
        (void)inverse;
    }
    auto box = [&](double top, double bottom) {
        PointF a = base.ApplyVector({0, top}), b = base.ApplyVector({0, bottom});
        Polyline quad = {{origin.X + a.X, origin.Y + a.Y},
                         {origin.X + a.X + total.X, origin.Y + a.Y + total.Y},
                         {origin.X + b.X + total.X, origin.Y + b.Y + total.Y},
                         {origin.X + b.X, origin.Y + b.Y}};
        return AreaOfPolygons({RoundPoints(quad, false)}, FillRule::Winding);
    };
    if (S.BkMode == U_OPAQUE && !(options & U_ETO_OPAQUE))
        EmitFill(box(-metrics.Ascent, metrics.Descent), SolidBrush(S.BkColor), kPatCopy);

    int textBrush = SolidBrush(S.TextColor);
    for (uint32_t i = 0; i < count; ++i) {
        const Glyph& glyph = glyphs[i];
        if (!glyph.Bits) continue;
        int32_t x = static_cast<int32_t>(std::floor(origin.X + offsets[i].X + 0.5)) + glyph.Left;
        int32_t y = static_cast<int32_t>(std::floor(origin.Y + offsets[i].Y + 0.5)) + glyph.Top;
        // A glyph's set bits are its ink: a white source sample, which 0xE2 paints with the
        // text colour's brush; elsewhere the destination stays.
        EmitBlit(x, y, glyph.Bits->Width, glyph.Bits->Height, glyph.Bits, {0, 0}, 0xE2, textBrush,
                 0x000000, 0xFFFFFF, clipRect ? &*clipRect : nullptr);
    }
    double thickness = std::max(metrics.UnderlineThickness, 1.0 / base.LengthScale());
    if (lf.lfUnderline)
        EmitFill(box(metrics.UnderlinePosition - thickness / 2,
                     metrics.UnderlinePosition + thickness / 2),
                 textBrush, kPatCopy);
    if (lf.lfStrikeOut)
        EmitFill(box(-metrics.StrikeoutPosition - thickness / 2,
                     -metrics.StrikeoutPosition + thickness / 2),
                 textBrush, kPatCopy);
}

// ---------------------------------------------------------------- bitmaps

void EmfPlayer::DrawBitmap(const EmfRecord& record, const DibLocation& where, RectF sourceRect,
                           bool sourceFromBottom, PointF destOrigin, PointF destSize, uint8_t code,
                           uint32_t bkColourSource) {
    (void)bkColourSource;
    Affine l2p = LogicalToPicture();
    Placement placement{l2p.Apply(destOrigin), l2p.Apply({destOrigin.X + destSize.X, destOrigin.Y}),
                        l2p.Apply({destOrigin.X, destOrigin.Y + destSize.Y})};
    PointF far{placement.XEnd.X + placement.YEnd.X - placement.Origin.X,
               placement.XEnd.Y + placement.YEnd.Y - placement.Origin.Y};
    Polyline corners{placement.Origin, placement.XEnd, far, placement.YEnd};
    double minX = 1e18, maxX = -1e18, minY = 1e18, maxY = -1e18;
    for (const PointF& p : corners) {
        minX = std::min(minX, p.X);
        maxX = std::max(maxX, p.X);
        minY = std::min(minY, p.Y);
        maxY = std::max(maxY, p.Y);
    }
    auto whole = [](double v) { return int32_t(std::lround(std::clamp(v, -1e6, 1e6))); };
    // Only the part on the picture (and inside the clipping region) is resampled.
    int32_t vl = std::max(whole(minX), 0), vr = std::min(whole(maxX), Out.Width);
    int32_t vt = std::max(whole(minY), 0), vb = std::min(whole(maxY), Out.Height);
    if (std::shared_ptr<const Region> clip = EffectiveClip()) {
        vt = std::max(vt, clip->TopRow());
        vb = std::min(vb, clip->BottomRow());
    }
    if (vl >= vr || vt >= vb) return;
    // A turned or sheared transfer covers only its parallelogram.
    std::optional<Region> shape;
    bool upright = std::fabs(l2p.M12) < 1e-9 && std::fabs(l2p.M21) < 1e-9;
    if (!upright) {
        FillArea area = FillArea::Polygon(RoundPoints(corners, false), FillRule::Winding);
        shape = Region::FromArea(area, vt, vb);
    }
    bool readsSource = ((code >> 2) ^ code) & 0x33;
    int brush = S.Brush.Null ? kNoBrush : BrushFor(S.Brush);
    if (!readsSource || where.CbBmi == 0) {
        if (readsSource) {
            ++Notes.Skipped[EmfRecordName(record.Type) + " reading a source it lacks"];
            return;
        }
        EmitBlit(vl, vt, vr - vl, vb - vt, nullptr, {0, 0}, code, brush, S.TextColor, S.BkColor,
                 shape ? &*shape : nullptr);
        return;
    }
    Dib dib;
    std::string why;
    DibResult result = DecodeDib(record.Data, record.Size, where, dib, why);
    if (result == DibResult::Malformed) Damaged(why);
    if (result != DibResult::Decoded) {
        ++Notes.Skipped[EmfRecordName(record.Type) + " (" + why + ")"];
        return;
    }
    if (sourceFromBottom) sourceRect.Y = dib.Height - sourceRect.Y - sourceRect.Height;
    Affine map;
    if (!PictureToSource(sourceRect, placement, map)) return;
    auto source = std::make_shared<const LibrarySource>(SamplePart(dib, map, vl, vt, vr, vb));
    EmitBlit(vl, vt, vr - vl, vb - vt, source, {0, 0}, code, brush, S.TextColor, S.BkColor,
             shape ? &*shape : nullptr);
}

// BitBlt and StretchBlt: the source rectangle is given in the source's own transform, and the
// source extent is cSrc for a stretch and the destination's for a plain transfer.
template <typename BlitRecordType>
void EmfPlayer::SourceTransfer(const EmfRecord& record, const BlitRecordType& r,
                               const U_POINTL& extent) {
    const U_XFORM& x = r.xformSrc;
    RectF source{r.Src.x * x.eM11 + x.eDx, r.Src.y * x.eM22 + x.eDy, extent.x * x.eM11,
                 extent.y * x.eM22};
    DrawBitmap(record, {r.offBmiSrc, r.cbBmiSrc, r.offBitsSrc, r.cbBitsSrc, r.iUsageSrc}, source,
               false, {double(r.Dest.x), double(r.Dest.y)}, {double(r.cDest.x), double(r.cDest.y)},
               uint8_t(r.dwRop >> 16), Colour(r.crBkColorSrc));
}

void EmfPlayer::BlitRecord(const EmfRecord& record) {
    switch (record.Type) {
    case U_EMR_BITBLT: {
        auto r = RecordAs<U_EMRBITBLT>(record);
        SourceTransfer(record, r, r.cDest); // a plain transfer's source is the destination's size
        return;
    }
    case U_EMR_STRETCHBLT: {
        auto r = RecordAs<U_EMRSTRETCHBLT>(record);
        SourceTransfer(record, r, r.cSrc);
        return;
    }
    case U_EMR_STRETCHDIBITS: {
        auto r = RecordAs<U_EMRSTRETCHDIBITS>(record);
        RectF source{double(r.Src.x), double(r.Src.y), double(r.cSrc.x), double(r.cSrc.y)};
        bool bottomUp = r.cbBmiSrc >= 12 && r.offBmiSrc <= record.Size - 12 &&
                        Read<int32_t>(record.Data + r.offBmiSrc + 8) > 0;
        DrawBitmap(record, {r.offBmiSrc, r.cbBmiSrc, r.offBitsSrc, r.cbBitsSrc, r.iUsageSrc},
                   source, bottomUp, {double(r.Dest.x), double(r.Dest.y)},
                   {double(r.cDest.x), double(r.cDest.y)}, uint8_t(r.dwRop >> 16), 0xFFFFFF);
        return;
    }
    case U_EMR_SETDIBITSTODEVICE: {
        auto r = RecordAs<U_EMRSETDIBITSTODEVICE>(record);
        RectF source{double(r.Src.x), double(r.Src.y) - r.iStartScan, double(r.cSrc.x),
                     double(r.cSrc.y)};
        bool bottomUp = r.cbBmiSrc >= 12 && r.offBmiSrc <= record.Size - 12 &&
                        Read<int32_t>(record.Data + r.offBmiSrc + 8) > 0;
        DrawBitmap(record, {r.offBmiSrc, r.cbBmiSrc, r.offBitsSrc, r.cbBitsSrc, r.iUsageSrc},
                   source, bottomUp, {double(r.Dest.x), double(r.Dest.y)},
                   {double(r.cSrc.x), double(r.cSrc.y)}, 0xCC, 0xFFFFFF);
        return;
    }
    case U_EMR_MASKBLT: {
        // Drawn as a plain transfer under the foreground code, without the mask.
        auto r = RecordAs<U_EMRMASKBLT>(record);
        const U_XFORM& x = r.xformSrc;
        RectF source{r.Src.x * x.eM11 + x.eDx, r.Src.y * x.eM22 + x.eDy, r.cDest.x * x.eM11,
                     r.cDest.y * x.eM22};
        Approximated(record);
        DrawBitmap(record, {r.offBmiSrc, r.cbBmiSrc, r.offBitsSrc, r.cbBitsSrc, r.iUsageSrc},
                   source, false, {double(r.Dest.x), double(r.Dest.y)},
                   {double(r.cDest.x), double(r.cDest.y)}, uint8_t(r.dwRop >> 16),
                   Colour(r.crBkColorSrc));
        return;
    }
    default: Unsupported(record); return;
    }
}

void EmfPlayer::GradientRecord(const EmfRecord& record) {
    // Rectangle gradients are drawn as strips of one colour each, triangles in the average
    // of their corners' colours.
    struct Header {
        U_EMR emr;
        U_RECTL bounds;
        uint32_t nTriVert, nGradObj, ulMode;
    };
    if (record.Size < sizeof(Header)) Damaged("the record is too short");
    auto h = Read<Header>(record.Data);
    uint64_t vertexBytes = uint64_t{h.nTriVert} * sizeof(U_TRIVERTEX);
    uint64_t objectBytes = h.ulMode == 2 ? 12 : 8;
    if (h.ulMode > 2 ||
        sizeof(Header) + vertexBytes + uint64_t{h.nGradObj} * objectBytes > record.Size)
        Damaged("its vertices and gradient objects do not fit in the record");
    Approximated(record);
    Affine l2p = LogicalToPicture();
    auto vertex = [&](uint32_t index) {
        return Read<U_TRIVERTEX>(record.Data + sizeof(Header) + index * sizeof(U_TRIVERTEX));
    };
    if (h.ulMode == 2) {
        for (uint32_t g = 0; g < h.nGradObj; ++g) {
            auto t = Read<U_GRADIENT3>(record.Data + sizeof(Header) + vertexBytes + 12 * g);
            if (t.Vertex1 >= h.nTriVert || t.Vertex2 >= h.nTriVert || t.Vertex3 >= h.nTriVert)
                Damaged("a triangle names a vertex it does not hold");
            U_TRIVERTEX v[3] = {vertex(t.Vertex1), vertex(t.Vertex2), vertex(t.Vertex3)};
            uint32_t r = (v[0].Red + v[1].Red + v[2].Red) / 3 >> 8;
            uint32_t gr = (v[0].Green + v[1].Green + v[2].Green) / 3 >> 8;
            uint32_t b = (v[0].Blue + v[1].Blue + v[2].Blue) / 3 >> 8;
            Polyline triangle;
            for (const U_TRIVERTEX& corner : v)
                triangle.push_back(l2p.Apply({double(corner.x), double(corner.y)}));
            EmitFill(FillArea::Polygon(RoundPoints(triangle, false), FillRule::Winding),
                     SolidBrush(r | gr << 8 | b << 16), kPatCopy);
        }
        return;
    }
    for (uint32_t g = 0; g < h.nGradObj; ++g) {
        auto obj = Read<U_GRADIENT4>(record.Data + sizeof(Header) + vertexBytes + 8 * g);
        if (obj.UpperLeft >= h.nTriVert || obj.LowerRight >= h.nTriVert) continue;
        auto v0 =
            Read<U_TRIVERTEX>(record.Data + sizeof(Header) + obj.UpperLeft * sizeof(U_TRIVERTEX));
        auto v1 =
            Read<U_TRIVERTEX>(record.Data + sizeof(Header) + obj.LowerRight * sizeof(U_TRIVERTEX));
        PointF a = l2p.Apply({double(v0.x), double(v0.y)});
        PointF b = l2p.Apply({double(v1.x), double(v1.y)});
        int32_t x0 = int32_t(std::lround(std::clamp(std::min(a.X, b.X), -1e6, 1e6)));
        int32_t x1 = int32_t(std::lround(std::clamp(std::max(a.X, b.X), -1e6, 1e6)));
        int32_t y0 = int32_t(std::lround(std::clamp(std::min(a.Y, b.Y), -1e6, 1e6)));
        int32_t y1 = int32_t(std::lround(std::clamp(std::max(a.Y, b.Y), -1e6, 1e6)));
        bool vertical = h.ulMode == 1;
        int32_t length = vertical ? y1 - y0 : x1 - x0;
        int32_t steps = std::clamp(length, 1, 256);
        for (int32_t k = 0; k < steps; ++k) {
            double t = steps > 1 ? double(k) / (steps - 1) : 0;
            auto mix = [&](uint16_t p, uint16_t q) {
                return uint32_t(std::lround((p + (q - p) * t) / 256.0)) & 0xFF;
            };
            uint32_t colour =
                mix(v0.Red, v1.Red) | mix(v0.Green, v1.Green) << 8 | mix(v0.Blue, v1.Blue) << 16;
            int32_t from = int32_t(int64_t{length} * k / steps);
            int32_t to = int32_t(int64_t{length} * (k + 1) / steps);
            FillArea strip = vertical ? FillArea::Rectangle(x0, y0 + from, x1 - x0, to - from)
                                      : FillArea::Rectangle(x0 + from, y0, to - from, y1 - y0);
            EmitFill(strip, SolidBrush(colour), kPatCopy);
        }
    }
}

void EmfPlayer::Record(const EmfRecord& record) {
    const char* d = record.Data;
    switch (record.Type) {
    case U_EMR_HEADER:
    case U_EMR_EOF:
    case U_EMR_COMMENT: // EMF+ records among them: the EMF records carry the picture too
    case U_EMR_SETMAPPERFLAGS:
    case U_EMR_SETSTRETCHBLTMODE:
    case U_EMR_SETICMMODE:
    case U_EMR_SETCOLORADJUSTMENT:
    case U_EMR_SELECTPALETTE:
    case U_EMR_CREATEPALETTE:
    case U_EMR_SETPALETTEENTRIES:
    case U_EMR_RESIZEPALETTE:
    case U_EMR_REALIZEPALETTE:
    case U_EMR_SETLAYOUT:
    case U_EMR_CREATECOLORSPACE:
    case U_EMR_CREATECOLORSPACEW:
    case U_EMR_SETCOLORSPACE:
    case U_EMR_DELETECOLORSPACE:
    case U_EMR_SETTEXTJUSTIFICATION:
        return; // no effect on the picture here
    // coordinates
    case U_EMR_SETMAPMODE: S.Mapping.SetMapMode(RecordAs<U_EMRSETMAPMODE>(record).iMode); return;
    case U_EMR_SETWINDOWEXTEX: {
        auto r = RecordAs<U_EMRSETWINDOWEXTEX>(record);
        S.Mapping.SetWindowExt({double(r.szlExtent.cx), double(r.szlExtent.cy)});
        return;
    }
    case U_EMR_SETVIEWPORTEXTEX: {
        auto r = RecordAs<U_EMRSETVIEWPORTEXTEX>(record);
        S.Mapping.SetViewportExt({double(r.szlExtent.cx), double(r.szlExtent.cy)});
        return;
    }
    case U_EMR_SETWINDOWORGEX: {
        auto r = RecordAs<U_EMRSETWINDOWORGEX>(record);
        S.Mapping.SetWindowOrg({double(r.ptlOrigin.x), double(r.ptlOrigin.y)});
        return;
    }
    case U_EMR_SETVIEWPORTORGEX: {
        auto r = RecordAs<U_EMRSETVIEWPORTORGEX>(record);
        S.Mapping.SetViewportOrg({double(r.ptlOrigin.x), double(r.ptlOrigin.y)});
        return;
    }
    case U_EMR_SCALEVIEWPORTEXTEX:
    case U_EMR_SCALEWINDOWEXTEX: {
        auto r = RecordAs<U_EMRSCALEVIEWPORTEXTEX>(record);
        if (record.Type == U_EMR_SCALEVIEWPORTEXTEX)
            S.Mapping.ScaleViewportExt(r.xNum, r.xDenom, r.yNum, r.yDenom);
        else
            S.Mapping.ScaleWindowExt(r.xNum, r.xDenom, r.yNum, r.yDenom);
        return;
    }
    case U_EMR_SETWORLDTRANSFORM:
    case U_EMR_MODIFYWORLDTRANSFORM: {
        if (record.Size < 8 + sizeof(U_XFORM)) Damaged("the record is too short");
        auto x = Read<U_XFORM>(d + 8);
        Affine a{x.eM11, x.eM12, x.eM21, x.eM22, x.eDx, x.eDy};
        bool finite = std::isfinite(a.M11 + a.M12 + a.M21 + a.M22 + a.Dx + a.Dy);
        uint32_t mode = record.Type == U_EMR_SETWORLDTRANSFORM
                            ? 4
                            : RecordAs<U_EMRMODIFYWORLDTRANSFORM>(record).iMode;
        if (mode == 1 || (finite && a.Invertible())) S.Mapping.ModifyWorld(a, mode);
        return;
    }
    case U_EMR_SAVEDC:
        if (Saved.size() < 4096) Saved.push_back(S);
        return;
    case U_EMR_RESTOREDC: {
        int32_t n = RecordAs<U_EMRRESTOREDC>(record).iRelative;
        int64_t target = n < 0 ? int64_t(Saved.size()) + n : int64_t{n} - 1;
        if (target < 0 || target >= int64_t(Saved.size())) return;
        S = Saved[size_t(target)];
        Saved.erase(Saved.begin() + std::ptrdiff_t(target), Saved.end());
        ClipCache.reset();
        return;
    }
    // modes and colours
    case U_EMR_SETBKMODE: S.BkMode = RecordAs<U_EMRSETMAPMODE>(record).iMode; return;
    case U_EMR_SETPOLYFILLMODE: S.PolyFill = RecordAs<U_EMRSETMAPMODE>(record).iMode; return;
    case U_EMR_SETROP2: {
        uint32_t mode = RecordAs<U_EMRSETMAPMODE>(record).iMode;
        if (mode >= 1 && mode <= 16) S.Rop2 = mode;
        return;
    }
    case U_EMR_SETTEXTALIGN: S.TextAlign = RecordAs<U_EMRSETMAPMODE>(record).iMode; return;
    case U_EMR_SETARCDIRECTION: S.ArcDirection = RecordAs<U_EMRSETMAPMODE>(record).iMode; return;
    case U_EMR_SETMITERLIMIT: {
        if (record.Size < 12) Damaged("the record is too short");
        double limit = Read<uint32_t>(d + 8);
        // Some writers store it as a float.
        if (limit > 1e6) limit = Read<float>(d + 8);
        if (std::isfinite(limit) && limit >= 1) S.MiterLimit = limit;
        return;
    }
    case U_EMR_SETTEXTCOLOR:
        S.TextColor = Colour(RecordAs<U_EMRSETTEXTCOLOR>(record).crColor);
        return;
    case U_EMR_SETBKCOLOR: S.BkColor = Colour(RecordAs<U_EMRSETTEXTCOLOR>(record).crColor); return;
    case U_EMR_SETBRUSHORGEX: {
        auto r = RecordAs<U_EMRSETBRUSHORGEX>(record);
        S.BrushOrigin = {double(r.ptlOrigin.x), double(r.ptlOrigin.y)};
        return;
    }
    case U_EMR_MOVETOEX: {
        auto r = RecordAs<U_EMRMOVETOEX>(record);
        S.Current = {double(r.ptl.x), double(r.ptl.y)};
        if (PathOpen) Path.push_back({{ToPicture(S.Current)}, false});
        return;
    }
    // objects
    case U_EMR_SELECTOBJECT: SelectObject(RecordAs<U_EMRSELECTOBJECT>(record).ihObject); return;
    case U_EMR_DELETEOBJECT: {
        uint32_t index = RecordAs<U_EMRDELETEOBJECT>(record).ihObject;
        if (index < Objects.size())
            Objects[index] = std::monostate{};
        else if (!(index & kStockObject))
            Damaged("object index " + std::to_string(index) + " is outside the header's " +
                    std::to_string(Objects.size()) + " handles");
        return;
    }
    case U_EMR_CREATEPEN: CreatePen(RecordAs<U_EMRCREATEPEN>(record)); return;
    case U_EMR_EXTCREATEPEN: ExtCreatePen(record); return;
    case U_EMR_CREATEBRUSHINDIRECT: CreateBrush(RecordAs<U_EMRCREATEBRUSHINDIRECT>(record)); return;
    case U_EMR_CREATEDIBPATTERNBRUSHPT: CreatePatternBrush(record, false); return;
    case U_EMR_CREATEMONOBRUSH: CreatePatternBrush(record, true); return;
    case U_EMR_EXTCREATEFONTINDIRECTW: CreateFont(record); return;
    // lines and shapes
    case U_EMR_LINETO: {
        auto r = RecordAs<U_EMRLINETO>(record);
        PointF to{double(r.ptl.x), double(r.ptl.y)};
        Polyline picture = {ToPicture(S.Current), ToPicture(to)};
        S.Current = to;
        if (PathOpen) {
            if (Path.empty() || Path.back().Closed) Path.push_back({{picture[0]}, false});
            Path.back().Points.push_back(picture[1]);
        } else {
            StrokePolyline(picture, false);
        }
        return;
    }
    case U_EMR_POLYBEZIER:
    case U_EMR_POLYGON:
    case U_EMR_POLYLINE:
    case U_EMR_POLYBEZIERTO:
    case U_EMR_POLYLINETO: {
        auto r = RecordAs<U_EMRPOLYLINE>(record);
        PolyRecord(record.Type,
                   reinterpret_cast<const U_POINTL*>(d + offsetof(U_EMRPOLYLINE, aptl)), r.cptl);
        return;
    }
    case U_EMR_POLYBEZIER16:
    case U_EMR_POLYGON16:
    case U_EMR_POLYLINE16:
    case U_EMR_POLYBEZIERTO16:
    case U_EMR_POLYLINETO16: {
        auto r = RecordAs<U_EMRPOLYLINE16>(record);
        PolyRecord(record.Type - (U_EMR_POLYBEZIER16 - U_EMR_POLYBEZIER),
                   reinterpret_cast<const U_POINT16*>(d + offsetof(U_EMRPOLYLINE16, apts)), r.cpts);
        return;
    }
    case U_EMR_POLYPOLYLINE:
    case U_EMR_POLYPOLYGON: {
        auto r = RecordAs<U_EMRPOLYPOLYLINE>(record);
        const char* counts = d + offsetof(U_EMRPOLYPOLYLINE, aPolyCounts);
        PolyPolyRecord(record.Type == U_EMR_POLYPOLYGON, reinterpret_cast<const uint32_t*>(counts),
                       r.nPolys, reinterpret_cast<const U_POINTL*>(counts + 4 * size_t{r.nPolys}),
                       r.cptl);
        return;
    }
    case U_EMR_POLYPOLYLINE16:
    case U_EMR_POLYPOLYGON16: {
        auto r = RecordAs<U_EMRPOLYPOLYLINE16>(record);
        const char* counts = d + offsetof(U_EMRPOLYPOLYLINE16, aPolyCounts);
        PolyPolyRecord(record.Type == U_EMR_POLYPOLYGON16,
                       reinterpret_cast<const uint32_t*>(counts), r.nPolys,
                       reinterpret_cast<const U_POINT16*>(counts + 4 * size_t{r.nPolys}), r.cpts);
        return;
    }
    case U_EMR_RECTANGLE: RectangleRecord(RecordAs<U_EMRRECTANGLE>(record).rclBox, nullptr); return;
    case U_EMR_ROUNDRECT: {
        auto r = RecordAs<U_EMRROUNDRECT>(record);
        RectangleRecord(r.rclBox, &r.szlCorner);
        return;
    }
    case U_EMR_ELLIPSE: EllipseRecord(RecordAs<U_EMRELLIPSE>(record).rclBox); return;
    case U_EMR_ARC:
    case U_EMR_ARCTO:
    case U_EMR_CHORD:
    case U_EMR_PIE: ArcRecord(record.Type, RecordAs<U_EMRARC>(record)); return;
    case U_EMR_ANGLEARC: AngleArcRecord(RecordAs<U_EMRANGLEARC>(record)); return;
    case U_EMR_SETPIXELV: {
        auto r = RecordAs<U_EMRSETPIXELV>(record);
        PointF p = ToPicture({double(r.ptlPixel.x), double(r.ptlPixel.y)});
        Vertex v = RoundPoints({p}, false)[0];
        std::shared_ptr<const Region> clip = EffectiveClip();
        if (v.X < 0 || v.Y < 0 || v.X >= Out.Width || v.Y >= Out.Height ||
            (clip && !clip->Contains(v.X, v.Y)))
            return;
        PixelOp pixel;
        pixel.At = {v.X, v.Y};
        pixel.Color = Colour(r.crColor);
        Add(pixel);
        return;
    }
    // paths
    case U_EMR_BEGINPATH:
    case U_EMR_ENDPATH:
    case U_EMR_ABORTPATH:
    case U_EMR_CLOSEFIGURE:
    case U_EMR_FLATTENPATH:
    case U_EMR_WIDENPATH:
    case U_EMR_FILLPATH:
    case U_EMR_STROKEPATH:
    case U_EMR_STROKEANDFILLPATH: PathRecord(record.Type); return;
    // clipping and regions
    case U_EMR_INTERSECTCLIPRECT:
    case U_EMR_EXCLUDECLIPRECT:
    case U_EMR_OFFSETCLIPRGN:
    case U_EMR_SETMETARGN:
    case U_EMR_SELECTCLIPPATH: ClipRecord(record); return;
    case U_EMR_EXTSELECTCLIPRGN:
    case U_EMR_FILLRGN:
    case U_EMR_FRAMERGN:
    case U_EMR_INVERTRGN:
    case U_EMR_PAINTRGN: RegionRecord(record); return;
    // text
    case U_EMR_EXTTEXTOUTA:
    case U_EMR_EXTTEXTOUTW: {
        auto r = RecordAs<U_EMREXTTEXTOUTW>(record);
        const auto* text =
            reinterpret_cast<const U_EMRTEXT*>(d + offsetof(U_EMREXTTEXTOUTW, emrtext));
        (void)r;
        DrawText(ReadTextRun(record, *text, record.Type == U_EMR_EXTTEXTOUTW));
        return;
    }
    case U_EMR_SMALLTEXTOUT: DrawText(ReadSmallText(record)); return;
    case U_EMR_POLYTEXTOUTA:
    case U_EMR_POLYTEXTOUTW: {
        auto r = RecordAs<U_EMRPOLYTEXTOUTW>(record);
        size_t at = offsetof(U_EMRPOLYTEXTOUTW, emrtext);
        for (uint32_t i = 0; i < r.cStrings && at + sizeof(U_EMRTEXT) + 20 <= record.Size; ++i) {
            const auto* text = reinterpret_cast<const U_EMRTEXT*>(d + at);
            DrawText(ReadTextRun(record, *text, record.Type == U_EMR_POLYTEXTOUTW));
            at += sizeof(U_EMRTEXT) + ((text->fOptions & U_ETO_NO_RECT) ? 0 : 16) + 4;
        }
        return;
    }
    // bitmaps
    case U_EMR_BITBLT:
    case U_EMR_STRETCHBLT:
    case U_EMR_STRETCHDIBITS:
    case U_EMR_SETDIBITSTODEVICE:
    case U_EMR_MASKBLT: BlitRecord(record); return;
    case U_EMR_GRADIENTFILL: GradientRecord(record); return;
    default: Unsupported(record); return;
    }
}

} // namespace

void EmfPictureSize(const U_EMRHEADER& header, double dpi, int32_t& width, int32_t& height,
                    double& usedDpi) {
    EmfPictureSizeFor(header, dpi, width, height, usedDpi);
}

Page PlayEmf(const EmfFile& file, const EmfPlayOptions& options, EmfPlayNotes& notes) {
    EmfPlayer player(file, options, notes);
    return player.Play();
}

} // namespace marlhost
