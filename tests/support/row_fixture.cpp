#include "support/row_fixture.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace marltest {
namespace {

constexpr size_t kMargin = 16;

bool Reads(const RopRequest& request, char operand) {
    return ReferenceName(request.Rop).find(operand) != std::string::npos;
}

size_t PlaneRowsBytes(uint32_t planeStride, uint32_t width) { return 2 * planeStride + width; }

size_t SourceBytes(const RopRequest& request) {
    if (request.SourceBits == 1) return (request.RowWidth + request.BitPhase + 7) / 8;
    if (request.SourceBits == 24)
        return PlaneRowsBytes(request.SourcePlaneStride, request.RowWidth);
    return request.RowWidth;
}

// The last bytes of area, filled with random samples.
uint8_t* RandomRowAtEnd(GuardedBuffer& area, size_t bytes, std::mt19937& random) {
    if (bytes > area.size()) throw std::length_error("row does not fit its arena");
    uint8_t* row = area.data() + area.size() - bytes;
    std::generate_n(row, bytes, [&random] { return BiasedSample(random); });
    return row;
}

} // namespace

uint8_t BiasedSample(std::mt19937& random) {
    uint32_t draw = random();
    switch (draw & 7) {
    case 0:
    case 1: return 0;
    case 2:
    case 3: return 255;
    default: return static_cast<uint8_t>(draw >> 8);
    }
}

uint32_t BiasedColour(std::mt19937& random) {
    uint32_t colour = 0;
    for (int byte = 0; byte < 4; ++byte)
        colour |= uint32_t(BiasedSample(random)) << (8 * byte);
    return colour;
}

RowArena::RowArena(size_t bytesPerArea)
    : Source(bytesPerArea), Destination(bytesPerArea + kMargin), Pattern(bytesPerArea) {}

RowFixture::RowFixture(const RopRequest& request, std::mt19937& random, RowArena& arena)
    : Request(request) {
    const size_t destinationBytes = PlaneRowsBytes(request.DestPlaneStride, request.RowWidth);
    Checked = RandomRowAtEnd(arena.Destination, kMargin + destinationBytes, random);
    DestinationRow = Checked + kMargin;
    if (Reads(request, 'S')) SourceRow = RandomRowAtEnd(arena.Source, SourceBytes(request), random);
    if (Reads(request, 'P') && request.BrushPattern)
        PatternRow = RandomRowAtEnd(arena.Pattern, 3 * size_t(request.PatternWidth), random);
    Expected.assign(Checked, Checked + kMargin + destinationBytes);
    ReferenceRow(request, SourceRow, Expected.data() + kMargin, PatternRow);
}

void RowFixture::Run(marl::BlitRoutine& routine) {
    routine.Run(SourceRow, DestinationRow, PatternRow);
}

::testing::AssertionResult RowFixture::MatchesReference() const {
    for (size_t i = 0; i < Expected.size(); ++i) {
        if (Checked[i] == Expected[i]) continue;
        auto failure = ::testing::AssertionFailure();
        failure << "rop 0x" << std::hex << int(Request.Rop) << std::dec << " \""
                << ReferenceName(Request.Rop) << "\" pattern row " << Request.BrushPattern
                << " width " << Request.PatternWidth << " phase " << Request.PatternPhase
                << ", source bits " << Request.SourceBits << " bit phase " << Request.BitPhase
                << ", row width " << Request.RowWidth << ": ";
        if (i < kMargin) {
            failure << "byte " << kMargin - i << " before the row was written";
        } else {
            size_t at = i - kMargin;
            size_t stride = Request.DestPlaneStride ? Request.DestPlaneStride : Expected.size();
            failure << "plane " << at / stride << " x " << at % stride;
        }
        return failure << " is " << int(Checked[i]) << ", expected " << int(Expected[i]);
    }
    return ::testing::AssertionSuccess();
}

marl::BlitRoutine Compile(const RopRequest& request) {
    marl::BlitRoutine routine;
    routine.CompileRop(request.Rop, request.BrushPattern, request.PatternColor,
                       request.SourcePlaneStride, request.DestPlaneStride, request.PatternWidth,
                       request.PatternPhase, request.RowWidth, request.SourceBits,
                       request.ClearBitColor, request.SetBitColor, request.BitPhase);
    return routine;
}

::testing::AssertionResult CompiledRunMatches(const RopRequest& request, std::mt19937& random,
                                              RowArena& arena) {
    RowFixture rows(request, random, arena);
    marl::BlitRoutine routine = Compile(request);
    rows.Run(routine);
    return rows.MatchesReference();
}

} // namespace marltest
