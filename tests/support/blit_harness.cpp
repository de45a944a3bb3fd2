#include "support/blit_harness.h"

#include "support/library.h"

#include <sstream>

namespace marltest {

BlitUnderTest ThroughTable() {
    return [](TestBand& band, BlitScene& scene) { return CallBitBlt(Table().BitBlt, band, scene); };
}

BlitUnderTest ThroughRecorder() {
    return [](TestBand& band, BlitScene& scene) {
        RecordingRoutine routine;
        marl::BlitCall call = CallOf(band, scene);
        return marl::BitBlt(call, routine);
    };
}

marl::BlitCall CallOf(TestBand& band, BlitScene& scene) {
    marl::BlitCall call;
    call.Device = band.Device();
    call.Destination = band.Header();
    call.X = scene.X;
    call.Y = scene.Y;
    call.Width = scene.Width;
    call.Height = scene.Height;
    call.Source = scene.Source;
    call.Rop = scene.Rop;
    call.Brush = scene.Brush;
    call.Colors = &scene.Colors;
    call.Palette = scene.Palette;
    call.MonoExpand = scene.MonoExpand;
    return call;
}

std::string CompareWithReference(const BlitUnderTest& blit, TestBand& band, BlitScene& scene,
                                 uint32_t seed) {
    FillRandom(band.Bytes(), band.ByteCount(), seed);
    std::vector<uint8_t> expected = BandBytes(band);
    size_t liveBefore = band.Allocator().Live();
    uint32_t wanted = ReferenceBitBlt(scene, LayoutOf(band), expected);
    uint32_t got = blit(band, scene);
    std::ostringstream out;
    if (got != wanted) out << "result " << got << " instead of " << wanted << "; ";
    if (band.Allocator().Live() != liveBefore) out << "allocator blocks left live; ";
    uint32_t stride = 3u * band.Header()->WidthBytes;
    uint32_t differences = 0;
    for (size_t i = 0; i < expected.size(); ++i) {
        if (band.Bytes()[i] == expected[i]) continue;
        if (differences++ < 4) {
            out << "(x " << i % stride % band.Header()->WidthBytes << ", y " << i / stride
                << ", plane " << i % stride / band.Header()->WidthBytes << ") is "
                << int(band.Bytes()[i]) << " not " << int(expected[i]) << "; ";
        }
    }
    if (differences) out << differences << " samples differ";
    return out.str();
}

} // namespace marltest
