// ROP3 names and operand marks.
//
// A ROP3 code is the truth table of a boolean function of P, S and D. Its reverse-Polish name
// ("DPSoon" for 0x01) is what both routine producers evaluate: operands "D", "S", "P", "0",
// operators "a" (AND), "o" (OR), "x" (XOR), "n" (NOT), applied left to right on a stack.
#pragma once

#include <cstdint>

namespace marl {

extern const char RopNameTable[128][12];

// Marks of one code, taken from its name (a code of 0x80 or more has its complement's).
inline constexpr uint8_t kUsesSource = 1;
inline constexpr uint8_t kUsesPattern = 2;
// An operand follows an operator somewhere in the name: the accumulator form cannot hold it.
inline constexpr uint8_t kStackOnly = 4;

struct RopOperandTable {
    uint8_t Marks[256];
    bool UsesSource(uint32_t rop) const { return Marks[rop & 0xFF] & kUsesSource; }
    bool UsesPattern(uint32_t rop) const { return Marks[rop & 0xFF] & kUsesPattern; }
    bool StackOnly(uint32_t rop) const { return Marks[rop & 0xFF] & kStackOnly; }
};

// Built from the names on first use.
const RopOperandTable& RopOperands();

// The name a code is compiled from: its own entry below 0x80; from 0x80 up the complement's
// entry with a trailing "n" dropped, or one appended.
struct CompiledRopName {
    char Text[13];
    uint32_t Length;
};
CompiledRopName CompiledNameOf(uint32_t rop);

inline bool IsRopOperator(char c) { return static_cast<unsigned char>(c) >= 'a'; }
inline bool IsRopOperand(char c) { return c == 'D' || c == 'S' || c == 'P' || c == '0'; }

} // namespace marl
