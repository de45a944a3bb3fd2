#include "host/brush_set.h"

#include "platform/platform.h"

#include <cstring>

namespace marlhost {

namespace {

// What RPRealizeBrush answers: the size of the record, 28 bytes with 32-bit pointers and 36
// with 64-bit ones.
constexpr uint32_t kRealizedBrushSize = sizeof(RealizedBrush);

int32_t Modulo(int32_t a, int32_t b) {
    int32_t r = a % b;
    return r < 0 ? r + b : r;
}

uint32_t PackOrigin(const PagePoint& origin) {
    return uint32_t{static_cast<uint16_t>(origin.X)} | uint32_t{static_cast<uint16_t>(origin.Y)}
                                                           << 16;
}

} // namespace

struct BrushSet::Entry {
    const BrushSpec* Spec = nullptr;
    LogicalBrush Logical{};
    RealizedBrush Brush{};
    bool Live = false;
    bool Refused = false;
    // A 1-bit pattern: global memory holding its header and rows, locked while the page lasts.
    HGLOBAL Handle = nullptr;
    // Any other pattern: three planes of Width bytes per row, and their header.
    std::vector<uint8_t> Planes;
    BitmapHeader Header{};

    ~Entry() {
        if (Handle != nullptr) {
            GlobalUnlock(Handle);
            GlobalFree(Handle);
        }
    }
};

namespace {

bool MonoPatternMemory(const Image& image, HGLOBAL& handle) {
    uint16_t widthBytes = MarlPlaneWidthBytes(image.Width, 1);
    size_t bits = size_t{widthBytes} * image.Height;
    handle = GlobalAlloc(GMEM_MOVEABLE, sizeof(BitmapHeader) + bits);
    if (handle == nullptr) return false;
    auto* memory = static_cast<uint8_t*>(GlobalLock(handle));
    if (memory == nullptr) return false;
    BitmapHeader header{};
    MarlDescribeBitmap(header, static_cast<uint16_t>(image.Width),
                       static_cast<uint16_t>(image.Height), 1, 1, memory + sizeof(BitmapHeader));
    std::memcpy(memory, &header, sizeof header);
    size_t used = (size_t{image.Width} + 7) / 8;
    for (uint32_t y = 0; y < image.Height; ++y)
        std::memcpy(memory + sizeof(BitmapHeader) + size_t{widthBytes} * y, image.Row(y), used);
    return true;
}

void ColourPatternPlanes(const Image& image, std::vector<uint8_t>& planes, BitmapHeader& header) {
    // The colour pattern's rows are three plane runs of exactly Width samples each.
    uint32_t width = image.Width;
    planes.assign(size_t{3} * width * image.Height, 0);
    for (uint32_t y = 0; y < image.Height; ++y) {
        uint8_t* row = planes.data() + size_t{3} * width * y;
        for (uint32_t x = 0; x < width; ++x) {
            PaletteEntry colour = image.Colour(x, y);
            row[x] = colour.Red;
            row[width + x] = colour.Green;
            row[2 * width + x] = colour.Blue;
        }
    }
    header = BitmapHeader{};
    header.Width = static_cast<uint16_t>(width);
    header.Height = static_cast<uint16_t>(image.Height);
    header.WidthBytes = static_cast<uint16_t>(width);
    header.Planes = 3;
    header.BitsPixel = 8;
    header.Bits = planes.data();
    header.WidthPlanes = width * image.Height;
}

} // namespace

BrushSet::BrushSet(const CapabilityTable& table, RenderDevice& device,
                   const std::vector<BrushSpec>& specs, RenderReport& report)
    : Table(table), Device(device), Report(report) {
    for (const BrushSpec& spec : specs) {
        Entries.push_back(std::make_unique<Entry>());
        Realize(spec, *Entries.back());
    }
}

BrushSet::~BrushSet() { Release(); }

void BrushSet::Realize(const BrushSpec& spec, Entry& entry) {
    entry.Spec = &spec;
    entry.Logical.Style = static_cast<uint16_t>(spec.Style);
    entry.Logical.Color = spec.Color;
    entry.Logical.Hatch = spec.Hatch;
    if (spec.Style == BrushStyle::Pattern) {
        if (spec.Pattern->BitsPerPixel == 1) {
            if (!MonoPatternMemory(*spec.Pattern, entry.Handle)) {
                Report.Refused("no global memory for the pattern of brush \"" + spec.Name + "\"");
                entry.Refused = true;
                return;
            }
            entry.Logical.Hatch = static_cast<uint16_t>(HandleValue(entry.Handle));
        } else {
            ColourPatternPlanes(*spec.Pattern, entry.Planes, entry.Header);
            entry.Logical.Color = reinterpret_cast<uintptr_t>(&entry.Header);
            entry.Logical.Hatch = 0;
        }
    }
    uint32_t size =
        Table.RealizeBrush(&Device, &entry.Logical, &entry.Brush, PackOrigin(spec.Origin),
                           spec.XFactor, spec.YFactor, 0, spec.BackColor);
    if (size != kRealizedBrushSize) {
        Report.Refused("RPRealizeBrush answered " + std::to_string(size) + " for brush \"" +
                       spec.Name + "\" (expected " + std::to_string(kRealizedBrushSize) + ")");
        entry.Refused = true;
        return;
    }
    entry.Live = true;
}

RealizedBrush* BrushSet::Realized(int index) {
    if (index < 0 || static_cast<size_t>(index) >= Entries.size()) return nullptr;
    Entry& entry = *Entries[static_cast<size_t>(index)];
    return entry.Live ? &entry.Brush : nullptr;
}

bool BrushSet::Refused(int index) const {
    return index >= 0 && static_cast<size_t>(index) < Entries.size() &&
           Entries[static_cast<size_t>(index)]->Refused;
}

void BrushSet::PlaceForBand(int32_t top) {
    for (auto& entry : Entries) {
        if (!entry->Live) continue;
        RealizedBrush& brush = entry->Brush;
        int32_t width = brush.Width, height = brush.Height;
        if (width > 0) brush.OriginX = static_cast<int16_t>(Modulo(entry->Spec->Origin.X, width));
        if (height > 0)
            brush.OriginY = static_cast<int16_t>(Modulo(entry->Spec->Origin.Y - top, height));
    }
}

void BrushSet::Release() {
    if (Released) return;
    Released = true;
    for (auto& entry : Entries) {
        if (!entry->Live) continue;
        Table.RealizeBrush(&Device, &entry->Brush, nullptr, 0, 0, 0, 0, 0);
        entry->Live = false;
    }
}

} // namespace marlhost
