#include "support/blit_rows.h"

#include <string>

namespace marltest {
namespace {

std::unique_ptr<GuardedBuffer> RandomBuffer(size_t size, std::mt19937& random) {
    auto buffer = std::make_unique<GuardedBuffer>(size);
    for (size_t i = 0; i < size; ++i)
        buffer->data()[i] = RandomSample(random);
    return buffer;
}

bool Reads(uint8_t rop, char operand) {
    return ReferenceName(rop).find(operand) != std::string::npos;
}

} // namespace

uint8_t RandomSample(std::mt19937& random) {
    uint32_t value = random();
    switch (value & 3) {
    case 0: return 0;
    case 1: return 255;
    default: return static_cast<uint8_t>(value >> 8);
    }
}

BlitRows::BlitRows(const RopRequest& request, std::mt19937& random) : Request(request) {
    size_t width = request.RowWidth;
    DestinationBuffer = RandomBuffer(2 * size_t{request.DestPlaneStride} + width, random);
    if (Reads(request.Rop, 'S')) {
        size_t bytes = request.SourceBits == 1 ? (request.BitPhase + width + 7) / 8
                                               : 2 * size_t{request.SourcePlaneStride} + width;
        SourceBuffer = RandomBuffer(bytes, random);
    }
    if (request.BrushPattern && Reads(request.Rop, 'P'))
        PatternBuffer = RandomBuffer(3 * size_t{request.PatternWidth}, random);
}

std::vector<uint8_t> BlitRows::DestinationBytes() const {
    const uint8_t* bytes = DestinationBuffer->data();
    return std::vector<uint8_t>(bytes, bytes + DestinationBuffer->size());
}

std::vector<uint8_t> BlitRows::ReferenceResult() const {
    std::vector<uint8_t> expected = DestinationBytes();
    ReferenceRow(Request, Source(), expected.data(), Pattern());
    return expected;
}

void BlitRows::Run(marl::BlitRoutine& routine) { routine.Run(Source(), Destination(), Pattern()); }

void BuildFor(marl::BlitRoutine& routine, const RopRequest& request, uint16_t* result) {
    uint16_t ignored = 0;
    routine.Build(request.Rop, request.BrushPattern ? 1 : 0, request.PatternColor,
                  request.SourcePlaneStride, request.DestPlaneStride, request.PatternWidth,
                  request.PatternPhase, request.RowWidth, request.SourceBits, request.ClearBitColor,
                  request.SetBitColor, request.BitPhase, result ? result : &ignored);
}

} // namespace marltest
