// The bytes of one fuzz input, taken from the front as the values a case needs. Once they
// run out every further value is 0, so any input, the empty one too, describes a case.
#pragma once

#include <cstddef>
#include <cstdint>

namespace marlfuzz {

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : Data(data), Size(size) {}

    uint8_t Byte() { return At < Size ? Data[At++] : 0; }
    uint16_t U16() { return static_cast<uint16_t>(Byte() | Byte() << 8); }
    uint32_t U32() { return U16() | static_cast<uint32_t>(U16()) << 16; }
    bool Flag() { return (Byte() & 1) != 0; }
    // A value in 0 .. bound - 1 (bound > 0), from as many bytes as the bound needs.
    uint32_t Below(uint32_t bound) {
        uint32_t raw = bound <= 0x100 ? Byte() : bound <= 0x10000 ? U16() : U32();
        return raw % bound;
    }
    // A value in low .. high.
    int32_t Between(int32_t low, int32_t high) {
        return low + static_cast<int32_t>(Below(static_cast<uint32_t>(high - low) + 1));
    }
    // One of the values of a table.
    template <typename T, size_t N> T OneOf(const T (&values)[N]) {
        return values[Below(static_cast<uint32_t>(N))];
    }
    // Mostly a value from the table (where the interesting cases are), now and then any
    // 32-bit value.
    template <typename T, size_t N> T Usually(const T (&values)[N]) {
        uint8_t pick = Byte();
        if (pick >= 224) return static_cast<T>(U32());
        return values[pick % N];
    }
    size_t Remaining() const { return Size - At; }

private:
    const uint8_t* Data;
    size_t Size;
    size_t At = 0;
};

} // namespace marlfuzz
