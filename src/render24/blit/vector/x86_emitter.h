// A byte emitter for the 32-bit x86 instructions the vector routines are made of: a few
// general-register moves, adds and shifts, the loop branch, and the SSE2 integer operations
// on XMM registers. Each call appends the encoding of one instruction at the cursor.
//
// The emitter never writes past its limit: an instruction that does not fit sets Overflowed
// and is dropped, so a routine that would not fit its area is detected and never run.
#pragma once

#include <cstdint>

namespace marl::vec {

enum class Gpr : uint8_t { Eax = 0, Ecx, Edx, Ebx, Esp, Ebp, Esi, Edi };
enum class Xmm : uint8_t { X0 = 0, X1, X2, X3, X4, X5, X6, X7 };

// A memory operand: [Base + Index + Disp], [Base + Disp] or the absolute [Disp].
struct Mem {
    bool HasBase = false;
    bool HasIndex = false;
    Gpr Base = Gpr::Eax;
    Gpr Index = Gpr::Eax; // never Esp
    int32_t Disp = 0;
};

inline Mem At(Gpr base, int32_t disp = 0) { return Mem{true, false, base, Gpr::Eax, disp}; }
inline Mem At(Gpr base, Gpr index, int32_t disp = 0) { return Mem{true, true, base, index, disp}; }
inline Mem Absolute(const void* address) {
    return Mem{false, false, Gpr::Eax, Gpr::Eax,
               static_cast<int32_t>(reinterpret_cast<uintptr_t>(address))};
}

// SSE2 operations of the form "op xmm, xmm/m128" (66 0F opcode /r).
enum class SseOp : uint8_t {
    Punpcklbw = 0x60,
    Movdqa = 0x6F,
    Pcmpeqb = 0x74,
    Pminub = 0xDA,
    Pand = 0xDB,
    Pmaxub = 0xDE,
    Por = 0xEB,
    Pxor = 0xEF,
};

class X86Emitter {
public:
    X86Emitter(uint8_t* begin, uint8_t* limit) : Begin(begin), Cursor(begin), Limit(limit) {}

    uint8_t* Position() const { return Cursor; }
    uint32_t Size() const { return static_cast<uint32_t>(Cursor - Begin); }
    bool Overflowed() const { return Overflow; }

    void Bytes(const uint8_t* bytes, uint32_t count);
    // Single-byte no-operations up to the next multiple of alignment.
    void AlignWithNops(uint32_t alignment);

    // General registers.
    void MovLoad(Gpr dst, const Mem& src);   // mov r32, [m]
    void MovStore(const Mem& dst, Gpr src);  // mov [m], r32
    void MovImm(Gpr dst, uint32_t imm);      // mov r32, imm32
    void AddImm(Gpr dst, int32_t imm);       // add r32, imm (8-bit form when it fits)
    void SubImm(Gpr dst, int32_t imm);       // sub r32, imm
    void CmpImm(Gpr dst, int32_t imm);       // cmp r32, imm
    void XorReg(Gpr dst, Gpr src);           // xor r32, r32
    void Lea(Gpr dst, const Mem& src);       // lea r32, [m]
    void Cmovae(Gpr dst, Gpr src);           // cmovae r32, r32
    void MovzxWord(Gpr dst, const Mem& src); // movzx r32, word [m]
    void MovAhLoad(const Mem& src);          // mov ah, byte [m]
    void Bswap(Gpr reg);                     // bswap r32
    void ShrImm(Gpr reg, uint8_t count);     // shr r32, imm8
    void RolAx8();                           // rol ax, 8: swaps AL and AH
    void RepMovsb();                         // rep movsb: ECX bytes from [ESI] to [EDI]
    // jnz back to target (short form when it reaches).
    void JnzBack(const uint8_t* target);

    // SSE2.
    void Op(SseOp op, Xmm dst, Xmm src);
    void Op(SseOp op, Xmm dst, const Mem& src); // m128 must be 16-byte aligned
    void Movdqu(Xmm dst, const Mem& src);
    void Movdqu(const Mem& dst, Xmm src);
    void Movd(Xmm dst, Gpr src);
    void Pshufd(Xmm dst, Xmm src, uint8_t order);
    void Pshuflw(Xmm dst, Xmm src, uint8_t order);

private:
    void Byte(uint8_t value);
    void Dword(uint32_t value);
    // ModRM (and SIB and displacement) for a register field and a memory operand.
    void Operand(uint8_t reg, const Mem& mem);
    void RegisterOperand(uint8_t reg, uint8_t rm) {
        Byte(static_cast<uint8_t>(0xC0 | reg << 3 | rm));
    }
    void ArithImm(uint8_t extension, Gpr dst, int32_t imm);

    uint8_t* Begin;
    uint8_t* Cursor;
    uint8_t* Limit;
    bool Overflow = false;
};

} // namespace marl::vec
