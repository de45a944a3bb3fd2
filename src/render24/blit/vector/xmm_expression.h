// Unrolls a reverse-Polish ROP name onto XMM registers: the name's expression for 16 samples
// at once, with no machine stack. AND is pminub, OR pmaxub, XOR pxor and NOT pxor with all
// ones, which are the byte-serial routines' min, max, exclusive or and complement per sample.
#pragma once

#include "render24/blit/vector/x86_emitter.h"

#include <cstdint>

namespace marl::vec {

// Where one operand of the name is: a register the expression may read but not change, or an
// aligned 16-byte constant.
struct XmmOperand {
    bool InRegister = true;
    Xmm Register = Xmm::X0;
    Mem Constant{};
};

struct XmmLeaves {
    XmmOperand D, S, P, Zero;
    XmmOperand Ones;            // 16 bytes of 255
    bool SComplemented = false; // S is 255 minus what its operand holds
    uint32_t Scratch = 0;       // bit i: Xi is the expression's own to overwrite
};

// The number of scratch registers the name's evaluation needs (0 when it is a leaf alone),
// or 9 when the name is malformed.
uint32_t XmmScratchNeeded(const char* name, uint32_t length);

// Emits the evaluation of name (length characters) and answers the register that holds the
// result: a scratch register, or a leaf's register when the name is that leaf alone. False
// when the name is malformed or needs more scratch registers than leaves.Scratch holds.
bool EmitXmmExpression(X86Emitter& out, const char* name, uint32_t length, const XmmLeaves& leaves,
                       Xmm* result);

} // namespace marl::vec
