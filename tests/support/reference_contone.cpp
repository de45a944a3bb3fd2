#include "support/reference_contone.h"

#include <algorithm>
#include <cstdlib>

namespace marltest {
namespace {

struct Formula {
    uint8_t Code;
    int (*Result)(int d, int p); // null: nothing is written
};

const Formula kFormulas[] = {
    {0x00, [](int, int) { return 0; }},
    {0x05, [](int d, int p) { return 255 - std::max(d, p); }},
    {0x0A, [](int d, int p) { return std::min(d, 255 - p); }},
    {0x0F, [](int, int p) { return 255 - p; }},
    {0x50, [](int d, int p) { return std::min(p, 255 - d); }},
    {0x55, [](int d, int) { return 255 - d; }},
    {0x5A, [](int d, int p) { return std::abs(d - p); }},
    {0x5F, [](int d, int p) { return 255 - std::min(d, p); }},
    {0xA0, [](int d, int p) { return std::min(d, p); }},
    {0xA5, [](int d, int p) { return 255 - std::abs(d - p); }},
    {0xAA, nullptr},
    {0xAF, [](int d, int p) { return std::max(d, 255 - p); }},
    {0xF0, [](int, int p) { return p; }},
    {0xF5, [](int d, int p) { return std::max(p, 255 - d); }},
    {0xFA, [](int d, int p) { return std::max(d, p); }},
    {0xFF, [](int, int) { return 255; }},
};

} // namespace

std::optional<uint8_t> ReferenceContone(uint8_t code, uint8_t d, uint8_t p) {
    for (const Formula& formula : kFormulas) {
        if (formula.Code != code) continue;
        if (formula.Result == nullptr) return std::nullopt;
        return static_cast<uint8_t>(formula.Result(d, p));
    }
    return std::nullopt;
}

const std::vector<uint8_t>& ReferencePatternDestCodes() {
    static const std::vector<uint8_t> codes = [] {
        std::vector<uint8_t> all;
        for (const Formula& formula : kFormulas)
            all.push_back(formula.Code);
        return all;
    }();
    return codes;
}

uint8_t PickCode(uint32_t random) {
    const uint8_t others[] = {0x01, 0x04, 0x66, 0xCC, 0x33, 0xB8};
    if (random % 8 == 0) return others[(random / 8) % std::size(others)];
    return ReferencePatternDestCodes()[(random / 8) % 16];
}

} // namespace marltest
