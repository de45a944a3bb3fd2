#include "render24/blit/transfer/bit_blt.h"

#include "common/bitmap.h"
#include "core/core_services.h"
#include "platform/platform.h"
#include "render24/blit/serial/rop_names.h"
#include "render24/blit/tier_chain.h"
#include "render24/blit/transfer/source_conversion.h"
#include "render24/blit/transfer/transfer_clip.h"
#include "render24/blit/transfer/transfer_colours.h"
#include "render24/blit/transfer/transfer_pattern.h"
#include "render24/blit/transfer/transfer_source.h"
#include "render24/primitives/brush_realize.h"

#include <algorithm>

namespace marl {
namespace {

bool Readable(const void* pointer, uint64_t bytes) {
    return bytes <= 0xFFFFFFFFu && IsBadReadPtr(pointer, static_cast<UINT_PTR>(bytes)) == 0;
}

template <typename Record> bool RecordReadable(const Record* record) {
    return Readable(record, sizeof(Record));
}

// The surface is drawn as three 8-bit planes WidthBytes apart in every row.
bool PlaneSurface(const BitmapHeader& header) {
    return header.Bits != nullptr && header.Planes >= 3 && header.BitsPixel == 8 &&
           header.WidthBytes > 0;
}

class BlockTransfer {
public:
    BlockTransfer(const BlitCall& call, RowRoutine& routine) : Call(call), Routine(routine) {}
    BlockTransfer(const BlockTransfer&) = delete;
    BlockTransfer& operator=(const BlockTransfer&) = delete;

    uint32_t Perform() { return CleanUp(Transfer()); }

private:
    uint32_t Transfer();
    bool CheckRecords();
    bool AttachSource();
    bool SourceFitsRop() const;
    void Clip();
    bool SourceRowsReadable() const;
    bool DestinationRowsReadable() const;
    bool PreparePattern();
    bool ObtainConversionRow();
    BlitRequest Request() const;
    TransferRows DescribeRows() const;
    const void* SourceRowFrom(const uint8_t* bits);
    const void* PatternRow(uint32_t r) const;
    void RunRows();
    void RunRowsWithCursors();
    uint32_t CleanUp(uint32_t result);

    bool Converting() const { return Layout.Mode != ConversionMode::None; }
    // Neither the surface nor the source is segmented: their rows lie a fixed distance apart.
    bool RowsAtFixedDistances() const {
        return !Surface->Segmented && !(Source != nullptr && Source->Segmented);
    }
    // Whether the source's rows are read at all: always when converted, else by the routine
    // when the ROP reads S.
    bool ReadsSourceRows() const {
        return Source != nullptr && Layout.Readable &&
               (Converting() || RopOperands().UsesSource(Call.Rop));
    }

    // Constructed first and destroyed last: every exit of the transfer runs inside its life.
    CSMutex Lock{kTransferLockName};
    const BlitCall& Call;
    RowRoutine& Routine;
    bool Acquired = false;
    PlaneBitmap* Source = nullptr; // SourceBitmap once attached
    PlaneBitmap SourceBitmap{};
    ConversionRow Row;

    PlaneBitmap* Surface = nullptr;
    uint32_t DestWidth = 0;
    uint32_t DestHeight = 0;
    uint32_t DestPlaneStride = 0;
    MonoColours Colours;
    RealizedBrush* Brush = nullptr;
    SourceLayout Layout;
    SourcePalette Palette;
    TransferClip Extent;
    TransferPattern Pattern;
    uint32_t PatternScratch = 0; // handed as the pattern row when there is none; never read
};

uint32_t BlockTransfer::Transfer() {
    if (!CheckRecords()) return kBlitFailed;
    Colours = SelectMonoColours(*Call.Colors);
    Brush = Call.Rop == kSourceCopyRop ? nullptr : Call.Brush;
    if (Brush != nullptr && !RecordReadable(Brush)) return kBlitFailed;
    if (!AttachSource()) return kBlitFailed;
    if (!SourceFitsRop()) return kBlitFailed;
    Clip();
    if (Extent.Outcome != ClipOutcome::Inside) return kBlitDone;
    if (ReadsSourceRows() && !SourceRowsReadable()) return kBlitFailed;
    if (!DestinationRowsReadable()) return kBlitFailed;
    if (!PreparePattern()) return kBlitFailed;
    if (!ObtainConversionRow()) return kBlitFailed;
    if (Lock.Aquire() != 0) return kBlitFailed;
    Acquired = true;
    if (!Routine.Prepare(Request(), DescribeRows())) return kBlitFailed;
    RunRows();
    return kBlitDone;
}

// Every driver record is probed before it is read; the destination header must describe the
// surface that is drawn, so that no row or plane is addressed past the band.
bool BlockTransfer::CheckRecords() {
    if (!RecordReadable(Call.Device) || !RecordReadable(Call.Colors) ||
        !RecordReadable(Call.Destination))
        return false;
    if (Call.Source != nullptr && !RecordReadable(Call.Source)) return false;
    Surface = Call.Device->Surface;
    if (!RecordReadable(Surface) || !RecordReadable(Surface->Header)) return false;
    const BitmapHeader& drawn = *Surface->Header;
    const BitmapHeader& described = *Call.Destination;
    if (!PlaneSurface(drawn) || described.WidthBytes != drawn.WidthBytes) return false;
    DestPlaneStride = drawn.WidthBytes;
    DestWidth = std::min<uint32_t>({described.Width, drawn.Width, drawn.WidthBytes});
    DestHeight = std::min<uint32_t>(described.Height, drawn.Height);
    return true;
}

bool BlockTransfer::AttachSource() {
    if (Call.Source == nullptr) return true;
    Source = &SourceBitmap;
    int32_t status = 0;
    Attach(*Source, Call.Source, &status);
    if (status < 0 || Call.Source->Bits == nullptr) return false;
    Layout = DescribeSource(*Call.Source, Call.MonoExpand);
    if (Layout.Depth == 1) {
        // A two-entry palette gives the colours of clear and set bits, whatever colors holds.
        SourcePalette mono = ReadablePalette(Call.Palette, 2);
        if (mono.Count == 2)
            Colours = {PaletteColour(mono.Entries, 0), PaletteColour(mono.Entries, 1)};
    } else if (Layout.Mode == ConversionMode::Index4) {
        Palette = ReadablePalette(Call.Palette, 16);
    } else if (Layout.Mode == ConversionMode::Index8) {
        Palette = ReadablePalette(Call.Palette, 256);
    }
    return true;
}

// A ROP that reads S needs rows the routine can read.
bool BlockTransfer::SourceFitsRop() const {
    if (!RopOperands().UsesSource(Call.Rop)) return true;
    return Source != nullptr && Layout.Readable;
}

void BlockTransfer::Clip() {
    ClipRequest request;
    request.DestWidth = DestWidth;
    request.DestHeight = DestHeight;
    request.X = Call.X;
    request.Y = Call.Y;
    request.Width = Call.Width;
    request.Height = Call.Height;
    request.SourceWidth = Source ? Call.Source->Width : Call.Width;
    request.SourceHeight = Source ? Call.Source->Height : Call.Height;
    Extent = ClipTransfer(request);
    if (ReadsSourceRows()) LimitToSourceRow(Extent, Call.X, Layout.RowPixels);
}

bool BlockTransfer::SourceRowsReadable() const {
    return marl::SourceRowsReadable(*Call.Source, Extent.Rows(Call.Y));
}

// The band is the driver's surface, described by its header (checked in CheckRecords, and the
// rows clipped to it). Its rows, like the source's, are probed whole: a header that claims
// more than its memory holds may leave a hole in the middle of a long row, which probing the
// ends of rows would miss, and a probe costs one load a page.
bool BlockTransfer::DestinationRowsReadable() const {
    if (Surface->Segmented) return true; // segment rows are not contiguous; the driver's
    const BitmapHeader& drawn = *Surface->Header;
    uint64_t stride = uint64_t{drawn.Planes} * drawn.WidthBytes;
    return Readable(drawn.Bits + stride * Call.Y, stride * Extent.Rows(Call.Y));
}

bool BlockTransfer::PreparePattern() {
    if (!SelectPattern(Brush, Call.X, *Call.Colors, Pattern)) return false;
    if (Pattern.FromRows()) RecolourMonoPattern(*Brush, Colours);
    return true;
}

bool BlockTransfer::ObtainConversionRow() {
    if (!Converting()) return true;
    HostAllocator* allocator = Call.Device->Allocator;
    if (allocator == nullptr) return false;
    uint32_t pixels = Extent.Pixels(Call.X);
    void* block = nullptr;
    if (allocator->AllocBlock(3 * pixels, kRenderAllocFlags, &block, kRenderSourceFile,
                              kConversionRowLine) < 0)
        return false;
    Row = {static_cast<uint8_t*>(block), pixels};
    return Row.Bytes != nullptr;
}

BlitRequest BlockTransfer::Request() const {
    uint32_t sourcePlaneStride = 0, sourceBits = 1;
    if (Converting()) {
        sourcePlaneStride = Row.Pixels;
        sourceBits = kPlaneSourceBits;
    } else if (Source != nullptr) {
        sourcePlaneStride = Call.Source->WidthBytes;
        sourceBits = Layout.Depth;
    }
    return NormaliseRequest(Call.Rop, Pattern.BrushPattern, Pattern.Color, sourcePlaneStride,
                            DestPlaneStride, Pattern.Width, Pattern.Phase, Extent.Pixels(Call.X),
                            sourceBits, Colours.Text, Colours.Back, 0);
}

// The brush rows, and the rows RunRows hands the routine where they follow one another at a
// fixed distance: the destination rows (from column x) of a surface that is not segmented,
// the conversion row again and again, or the rows of a source that is not segmented, read in
// place.
TransferRows BlockTransfer::DescribeRows() const {
    TransferRows described;
    if (Pattern.FromRows()) {
        described.PatternBits = Pattern.Bits;
        described.PatternHeight = Pattern.Height;
        described.PatternFirstRow = Pattern.RowIndex(Call.Y);
    }
    const uint32_t rows = Extent.Rows(Call.Y);
    if (!Surface->Segmented) {
        const BitmapHeader& drawn = *Surface->Header;
        const uint32_t stride = uint32_t{drawn.Planes} * drawn.WidthBytes;
        described.DestinationRows = {reinterpret_cast<uintptr_t>(drawn.Bits) +
                                         uintptr_t{stride} * Call.Y + Call.X,
                                     stride, rows};
    }
    if (Converting()) {
        described.SourceRows = {reinterpret_cast<uintptr_t>(Row.Bytes), 0, rows};
    } else if (ReadsSourceRows() && !Source->Segmented) {
        const BitmapHeader& read = *Call.Source;
        described.SourceRows = {reinterpret_cast<uintptr_t>(read.Bits),
                                uint32_t{read.Planes} * read.WidthBytes, rows};
    }
    // RunRows hands exactly these rows where they lie at fixed distances and need no conversion.
    described.InPlace = RowsAtFixedDistances() && !Converting();
    return described;
}

// The routine's source row made from the source's row at bits: converted into the conversion
// row, handed in place (three 8-bit planes, or raw 1-bit data the routine expands itself), or
// none.
const void* BlockTransfer::SourceRowFrom(const uint8_t* bits) {
    if (Source == nullptr) return nullptr;
    if (Converting()) {
        ConvertSourceRow(Layout.Mode, bits, Call.MonoExpand & 7, Colours, Palette, Row);
        return Row.Bytes;
    }
    return Layout.Readable ? bits : nullptr;
}

const void* BlockTransfer::PatternRow(uint32_t r) const {
    if (Pattern.FromRows()) return Pattern.Row(r);
    return &PatternScratch;
}

// Rows of a surface and a source that are not segmented lie a fixed distance apart: their
// addresses are stepped here, and the surface's row cursor is left on the last row, where
// the walk with the cursors leaves it.
void BlockTransfer::RunRows() {
    if (!RowsAtFixedDistances()) {
        RunRowsWithCursors();
        return;
    }
    if (Routine.RunAllRows()) {
        SelectRow(*Surface, Extent.Bottom);
        return;
    }
    const BitmapHeader& drawn = *Surface->Header;
    const uintptr_t destinationStride = uintptr_t{drawn.Planes} * drawn.WidthBytes;
    uint8_t* const destination = drawn.Bits + destinationStride * Call.Y + Call.X;
    const uint8_t* const bits = Source != nullptr ? Call.Source->Bits : nullptr;
    const uintptr_t sourceStride =
        Source != nullptr ? uintptr_t{Call.Source->Planes} * Call.Source->WidthBytes : 0;
    const uint32_t rows = Extent.Rows(Call.Y);
    for (uint32_t i = 0; i < rows; ++i) {
        const uint8_t* sourceBits = bits != nullptr ? bits + sourceStride * i : nullptr;
        Routine.Run(SourceRowFrom(sourceBits), destination + destinationStride * i,
                    PatternRow(Call.Y + i));
    }
    SelectRow(*Surface, Extent.Bottom);
}

void BlockTransfer::RunRowsWithCursors() {
    SelectRow(*Surface, Call.Y);
    if (Source != nullptr) SelectRow(*Source, 0);
    for (uint32_t r = Call.Y; r <= Extent.Bottom; ++r) {
        uint8_t* destination = RowPlane(*Surface, 0);
        if (destination == nullptr) break;
        const uint8_t* bits = Source != nullptr ? RowPlane(*Source, 0) : nullptr;
        Routine.Run(SourceRowFrom(bits), destination + Call.X, PatternRow(r));
        if (r < Extent.Bottom) NextRow(*Surface);
        if (Source != nullptr) NextRow(*Source);
    }
}

// In this order on every exit: the routine, the lock, the source bitmap
// object, the conversion row; the lock object itself ends with this object.
uint32_t BlockTransfer::CleanUp(uint32_t result) {
    Routine.Discard();
    if (Acquired && Lock.Release() != 0) result = kBlitFailed;
    if (Source != nullptr) Free(*Source);
    if (Row.Bytes != nullptr) Call.Device->Allocator->FreeBlock(Row.Bytes);
    return result;
}

} // namespace

uint32_t BitBlt(const BlitCall& call, RowRoutine& routine) {
    BlockTransfer transfer(call, routine);
    return transfer.Perform();
}

} // namespace marl

extern "C" uint32_t RPBitBlt(RenderDevice* device, BitmapHeader* destination, uint32_t x,
                             uint32_t y, uint32_t width, uint32_t height, BitmapHeader* source,
                             uint32_t rop, RealizedBrush* brush, const DrawColors* colors,
                             uint32_t /*reserved*/, const uint8_t* palette, uint32_t monoExpand) {
    marl::BlitCall call;
    call.Device = device;
    call.Destination = destination;
    call.X = static_cast<uint16_t>(x);
    call.Y = static_cast<uint16_t>(y);
    call.Width = static_cast<uint16_t>(width);
    call.Height = static_cast<uint16_t>(height);
    call.Source = source;
    call.Rop = static_cast<uint8_t>(rop);
    call.Brush = brush;
    call.Colors = colors;
    call.Palette = palette;
    call.MonoExpand = static_cast<uint16_t>(monoExpand);
    marl::TierChain routine;
    return marl::BitBlt(call, routine) & 0xFFFF;
}
