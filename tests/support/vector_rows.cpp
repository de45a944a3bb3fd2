#include "support/vector_rows.h"

#include "render24/blit/code_area.h"
#include "render24/blit/vector/vector_pattern.h"

#include <cstdio>
#include <cstring>

namespace marltest {
namespace {

void Fill(GuardedBuffer& buffer, std::mt19937& random) {
    for (size_t i = 0; i < buffer.size(); ++i)
        buffer.data()[i] = BiasedSample(random);
}

uint32_t SourceBytes(const RopRequest& request) {
    if (request.SourceBits == 1) return (request.RowWidth + request.BitPhase + 7) / 8;
    if (request.SourceBits == 24) return 2 * request.SourcePlaneStride + request.RowWidth;
    return request.RowWidth;
}

} // namespace

std::string Describe(const RopRequest& r) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "rop 0x%02X (%s) width %u source %u (stride %u, bit phase %u) dest stride %u "
                  "%s pattern width %u phase %u colour %06X",
                  r.Rop, ReferenceName(r.Rop).c_str(), r.RowWidth, r.SourceBits,
                  r.SourcePlaneStride, r.BitPhase, r.DestPlaneStride,
                  r.BrushPattern ? "rows" : "solid", r.PatternWidth, r.PatternPhase,
                  r.PatternColor & 0xFFFFFF);
    return text;
}

VectorRows::VectorRows(const RopRequest& request, uint32_t destGap, uint32_t sourceGap,
                       std::mt19937& random)
    : Req(request) {
    Req.DestPlaneStride = Req.RowWidth + destGap;
    DestRowBytes = 2 * Req.DestPlaneStride + Req.RowWidth;
    Dest = std::make_unique<GuardedBuffer>(DestRowBytes);
    Fill(*Dest, random);
    if (Req.SourceBits == 24) Req.SourcePlaneStride = Req.RowWidth + sourceGap;
    Src = std::make_unique<GuardedBuffer>(SourceBytes(Req));
    Fill(*Src, random);
    if (Req.BrushPattern) {
        Brush = std::make_unique<GuardedBuffer>(3 * Req.PatternWidth);
        Fill(*Brush, random);
        Prepared =
            std::make_unique<GuardedBuffer>(3 * marl::vec::PreparedRunLength(Req.PatternWidth));
        marl::vec::PreparePatternRow(Brush->data(), Req.PatternWidth, Req.PatternPhase,
                                     Prepared->data());
    }
}

std::vector<uint8_t> VectorRows::DestinationBytes() const {
    return std::vector<uint8_t>(Dest->data(), Dest->data() + Dest->size());
}

void VectorRows::RestoreDestination(const std::vector<uint8_t>& bytes) {
    std::memcpy(Dest->data(), bytes.data(), bytes.size());
}

std::vector<uint8_t> VectorRows::Expected() {
    std::vector<uint8_t> saved = DestinationBytes();
    ReferenceRow(Req, Source(), Destination(), BrushRow());
    std::vector<uint8_t> expected = DestinationBytes();
    RestoreDestination(saved);
    return expected;
}

void VectorRows::RunVector(marl::BlitRoutine& routine) {
    routine.Run(Source(), Destination(), PreparedRow());
}

void VectorRows::RunByteSerial(marl::BlitRoutine& routine) {
    routine.Run(Source(), Destination(), BrushRow());
}

std::string VectorRows::Difference(const std::vector<uint8_t>& expected) const {
    for (size_t i = 0; i < expected.size(); ++i) {
        uint8_t got = Dest->data()[i];
        if (got == expected[i]) continue;
        uint32_t plane = static_cast<uint32_t>(i / Req.DestPlaneStride);
        uint32_t x = static_cast<uint32_t>(i % Req.DestPlaneStride);
        char text[128];
        std::snprintf(text, sizeof text, "plane %u sample %u: got %u, expected %u", plane, x, got,
                      expected[i]);
        return Describe(Req) + ": " + text;
    }
    return {};
}

std::string ByteSerialAgainst(VectorRows& rows, const std::vector<uint8_t>& expected) {
    const RopRequest& r = rows.Request();
    std::vector<uint8_t> saved = rows.DestinationBytes();
    marl::BlitRoutine routine;
    uint16_t result = 1;
    routine.Build(r.Rop, r.BrushPattern ? 1 : 0, r.PatternColor, r.SourcePlaneStride,
                  r.DestPlaneStride, r.PatternWidth, r.PatternPhase, r.RowWidth, r.SourceBits,
                  r.ClearBitColor, r.SetBitColor, r.BitPhase, &result);
    rows.RunByteSerial(routine);
    std::string difference = rows.Difference(expected);
    rows.RestoreDestination(saved);
    return difference.empty() ? difference : "byte-serial: " + difference;
}

std::string VectorAgainstReference(VectorRows& rows, uint8_t vectorForm) {
    std::vector<uint8_t> expected = rows.Expected();
    std::string byteSerial = ByteSerialAgainst(rows, expected);
    if (!byteSerial.empty()) return byteSerial;
    marl::BlitRoutine routine;
    marl::BlitRequest request = Normalised(rows.Request());
    request.VectorForm = vectorForm;
    if (!marl::vec::CompileVectorRop(routine, request)) {
        return Describe(rows.Request()) + ": not compiled";
    }
    rows.RunVector(routine);
    return rows.Difference(expected);
}

} // namespace marltest
