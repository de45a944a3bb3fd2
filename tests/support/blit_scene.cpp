#include "support/blit_scene.h"

#include <cstring>
#include <random>

namespace marltest {

void FillRandom(uint8_t* bytes, size_t count, uint32_t seed) {
    std::mt19937 random(seed);
    for (size_t i = 0; i < count; ++i) {
        uint32_t value = random();
        switch (value % 6) {
        case 0: bytes[i] = 0; break;
        case 1: bytes[i] = 255; break;
        default: bytes[i] = static_cast<uint8_t>(value >> 8); break;
        }
    }
}

SourceImage::SourceImage(uint16_t width, uint16_t height, uint8_t planes, uint8_t bitsPixel,
                         uint32_t seed, uint16_t widthBytes) {
    uint16_t stride = widthBytes ? widthBytes : MarlPlaneWidthBytes(width, bitsPixel);
    size_t bytes = size_t{planes} * stride * height;
    Memory = std::make_unique<GuardedBuffer>(bytes);
    FillRandom(Memory->data(), bytes, seed);
    MarlDescribeBitmap(Record, width, height, planes, bitsPixel, Memory->data());
    Record.WidthBytes = stride;
    Record.WidthPlanes = uint32_t{stride} * height;
}

PaletteImage::PaletteImage(uint32_t entries, uint32_t seed)
    : Memory(std::make_unique<GuardedBuffer>(3 * entries)), Count(entries) {
    FillRandom(Memory->data(), 3 * entries, seed);
}

PatternBrush::PatternBrush(int16_t width, int16_t height, int16_t originX, int16_t originY,
                           uint32_t seed) {
    size_t bytes = size_t(width) * size_t(height) * 3;
    Memory = std::make_unique<GuardedBuffer>(bytes);
    FillRandom(Memory->data(), bytes, seed);
    Brush.Style = 3;
    Brush.Color = 0x00112233;
    Brush.OriginX = originX;
    Brush.OriginY = originY;
    Brush.Width = width;
    Brush.Height = height;
    Brush.Bits = Memory->data();
}

RealizedBrush SolidBrush(uint32_t colour, uint16_t style) {
    RealizedBrush brush{};
    brush.Style = style;
    brush.Color = colour;
    return brush;
}

DrawColors PhysicalColours(uint32_t text, uint32_t back) {
    DrawColors colors{};
    colors.TextColor = text;
    colors.BackColor = back;
    colors.LogicalTextColor = 0x00C0FFEE;
    colors.LogicalBackColor = 0x00BADA55;
    return colors;
}

uint32_t CallBitBlt(RPBitBltFn bitBlt, TestBand& band, BlitScene& scene) {
    return bitBlt(band.Device(), band.Header(), scene.X, scene.Y, scene.Width, scene.Height,
                  scene.Source, scene.Rop, scene.Brush, &scene.Colors, 0, scene.Palette,
                  scene.MonoExpand) &
           0xFFFF;
}

std::vector<uint8_t> BandBytes(TestBand& band) {
    return std::vector<uint8_t>(band.Bytes(), band.Bytes() + band.ByteCount());
}

} // namespace marltest
