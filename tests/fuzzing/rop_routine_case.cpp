// One row request (code, pattern mode, widths, strides, phases, source kind, colours) given
// to a routine producer, the routine run over rows flush against guard pages, and the
// destination compared byte for byte, gaps between planes included, with the reference
// evaluator.
#include "fuzzing/fuzz_cases.h"
#include "fuzzing/fuzz_input.h"
#include "fuzzing/fuzz_report.h"
#include "render24/blit/blit_routine.h"
#include "support/guarded_memory.h"
#include "support/reference_rop.h"

#include <cstring>
#include <vector>

namespace marlfuzz {
namespace {

constexpr uint32_t kSourceKinds[] = {24, 1, 24, 1, 8, 0, 4};
// The codes with prebuilt routines, which would otherwise come up only one time in sixteen.
constexpr uint8_t kCatalogue[] = {0x00, 0x0A, 0x0F, 0x55, 0x5A, 0x5F, 0x66, 0x88,
                                  0xA0, 0xB8, 0xCC, 0xE2, 0xEE, 0xF0, 0xFA, 0xFF};

marltest::RopRequest ReadRequest(FuzzInput& input) {
    marltest::RopRequest request;
    request.Rop = input.Byte() < 96 ? input.OneOf(kCatalogue) : input.Byte();
    request.BrushPattern = input.Flag();
    request.PatternColor = input.U32();
    request.RowWidth = 1 + input.Below(input.Flag() ? 2000 : 40);
    request.SourceBits = input.OneOf(kSourceKinds);
    request.SourcePlaneStride = request.RowWidth + input.Below(9);
    request.DestPlaneStride = request.RowWidth + input.Below(9);
    request.PatternWidth = 1 + input.Below(input.Flag() ? 300 : 16);
    request.PatternPhase = input.Below(request.PatternWidth);
    request.ClearBitColor = input.U32();
    request.SetBitColor = input.U32();
    request.BitPhase = input.Below(8);
    return request;
}

size_t SourceBytes(const marltest::RopRequest& request) {
    if (request.SourceBits == 1) return (request.RowWidth + request.BitPhase + 7) / 8;
    if (request.SourceBits == 24) return 2 * size_t{request.SourcePlaneStride} + request.RowWidth;
    return request.RowWidth;
}

void Fill(uint8_t* bytes, size_t count, uint32_t seed) {
    for (size_t i = 0; i < count; ++i) {
        uint32_t r = (seed + static_cast<uint32_t>(i)) * 2654435761u;
        r ^= r >> 15;
        bytes[i] = (r & 3) == 0 ? 0 : (r & 3) == 1 ? 255 : static_cast<uint8_t>(r >> 8);
    }
}

// Build (a prebuilt routine for the sixteen catalogue codes, the generator for the others) or
// the generator directly, which answers every code. The request's slots carry garbage in
// their upper halves now and then, which both must ignore.
marl::BlitRoutine Produce(const marltest::RopRequest& request, uint32_t junk, bool build) {
    marl::BlitRoutine routine;
    const uint32_t high = junk & 0xFFFF0000u;
    if (build) {
        uint16_t result = 0xFFFF;
        routine.Build(request.Rop | (junk & 0xFF00u), request.BrushPattern | high,
                      request.PatternColor, request.SourcePlaneStride | high,
                      request.DestPlaneStride | high, request.PatternWidth | high,
                      request.PatternPhase | high, request.RowWidth | high,
                      request.SourceBits | high, request.ClearBitColor, request.SetBitColor,
                      request.BitPhase, &result);
        return routine;
    }
    routine.CompileRop(
        request.Rop | (junk & 0xFF00u), request.BrushPattern | high, request.PatternColor,
        request.SourcePlaneStride | high, request.DestPlaneStride | high,
        request.PatternWidth | high, request.PatternPhase | high, request.RowWidth | high,
        request.SourceBits | high, request.ClearBitColor, request.SetBitColor, request.BitPhase);
    return routine;
}

} // namespace

std::string RunRopRoutineCase(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    CaseReport report;
    const marltest::RopRequest request = ReadRequest(input);
    const uint32_t seed = input.U32();
    const uint32_t junk = input.Flag() ? input.U32() : 0;
    const bool build = input.Byte() < 192;

    const size_t destBytes = 2 * size_t{request.DestPlaneStride} + request.RowWidth;
    marltest::GuardedBuffer source(SourceBytes(request)), destination(destBytes),
        pattern(3 * size_t{request.PatternWidth});
    Fill(source.data(), source.size(), seed);
    Fill(destination.data(), destination.size(), seed * 3 + 1);
    Fill(pattern.data(), pattern.size(), seed * 5 + 2);
    std::vector<uint8_t> expected(destination.data(), destination.data() + destBytes);
    marltest::ReferenceRow(request, source.data(), expected.data(), pattern.data());

    marl::BlitRoutine routine = Produce(request, junk, build);
    routine.Run(source.data(), destination.data(), pattern.data());
    report.ExpectNoWritableCode("a row routine");
    report.Expect(std::memcmp(expected.data(), destination.data(), destBytes) == 0,
                  std::string(build ? "Build" : "CompileRop") + " routine for code " +
                      std::to_string(request.Rop) + " differs from the reference");
    return report.Text();
}

} // namespace marlfuzz
