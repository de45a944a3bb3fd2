// A byte emitter for the x86 instructions the vector routines are made of: a few general-register
// moves, adds and shifts, the loop branch, and the SSE2 integer operations on XMM registers.
// Each call appends the encoding of one instruction at the cursor.
//
// The same encoder serves both editions. The plain forms are the 32-bit operations (in 64-bit
// mode too, where they clear the upper half of their destination); the Q forms carry REX.W and
// operate on 64-bit registers, for pointers in the x86-64 routines. R8 and the REX prefix it
// needs exist only in 64-bit mode, and so does the RIP-relative operand.
//
// The emitter never writes past its limit: an instruction that does not fit, or whose
// RIP-relative target is out of reach, sets Overflowed and is dropped, so a routine that would
// not fit its area is detected and never run.
#pragma once

#include <cstdint>

namespace marl::vec {

// With REX.W (the Q forms) Eax is RAX, Ecx RCX and so on.
enum class Gpr : uint8_t { Eax = 0, Ecx, Edx, Ebx, Esp, Ebp, Esi, Edi, R8 };
enum class Xmm : uint8_t { X0 = 0, X1, X2, X3, X4, X5, X6, X7 };

// A memory operand: [Base + Index + Disp], [Base + Disp], the absolute [Disp] (32-bit mode), or
// [RIP + disp32] reaching Target (64-bit mode), with disp32 worked out where the instruction
// lands.
struct Mem {
    bool HasBase = false;
    bool HasIndex = false;
    Gpr Base = Gpr::Eax;
    Gpr Index = Gpr::Eax; // never Esp
    int32_t Disp = 0;
    bool RipRelative = false;
    uintptr_t Target = 0; // the run address a RIP-relative operand reaches
};

inline Mem At(Gpr base, int32_t disp = 0) { return Mem{true, false, base, Gpr::Eax, disp}; }
inline Mem At(Gpr base, Gpr index, int32_t disp = 0) { return Mem{true, true, base, index, disp}; }
// 32-bit mode only: in 64-bit mode the same encoding means [RIP + disp32].
inline Mem Absolute(const void* address) {
    return Mem{false, false, Gpr::Eax, Gpr::Eax,
               static_cast<int32_t>(reinterpret_cast<uintptr_t>(address))};
}
inline Mem RipRelative(const void* target) {
    return Mem{false, false, Gpr::Eax, Gpr::Eax, 0, true, reinterpret_cast<uintptr_t>(target)};
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
    X86Emitter(uint8_t* begin, uint8_t* limit) : X86Emitter(begin, limit, begin) {}
    // runBegin: where the bytes written from begin are run, which RIP-relative operands are
    // relative to (the code areas are written through one view and run through another).
    X86Emitter(uint8_t* begin, uint8_t* limit, const uint8_t* runBegin)
        : Begin(begin), Cursor(begin), Limit(limit), RunBegin(runBegin) {}

    // The 32-sample routines: from here on the SSE operations and moves (Op, Movdqu) are
    // written in their VEX forms for AVX2, on the 256-bit YMM registers of the same numbers, each
    // operation's destination also its first source as in SSE, and a Movdqa from memory as an
    // unaligned load. The forms only the one-bit rows use (Movd, Pshufd, Pshuflw, Punpcklbw) and
    // any operand on R8 have no wide form here: they stop the emitter as an overflow does.
    void SetWide(bool wide) { Wide = wide; }
    bool IsWide() const { return Wide; }
    // vzeroupper: a routine that used the YMM registers clears their upper halves before it
    // returns, so that SSE code after it runs at full speed.
    void Vzeroupper();

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
    void AndImm(Gpr dst, int32_t imm);       // and r32, imm
    void XorReg(Gpr dst, Gpr src);           // xor r32, r32
    void SubReg(Gpr dst, Gpr src);           // sub r32, r32
    void Lea(Gpr dst, const Mem& src);       // lea r32, [m]
    void Cmovae(Gpr dst, Gpr src);           // cmovae r32, r32
    void MovzxWord(Gpr dst, const Mem& src); // movzx r32, word [m]
    void MovAhLoad(const Mem& src);          // mov ah, byte [m]
    void Bswap(Gpr reg);                     // bswap r32
    void ShrImm(Gpr reg, uint8_t count);     // shr r32, imm8
    void RolAx8();                           // rol ax, 8: swaps AL and AH
    void RepMovsb(); // rep movsb: ECX (RCX in 64-bit mode) bytes from [ESI] to [EDI]
    void AddLoad(Gpr dst, const Mem& src); // add r32, [m]
    void SubLoad(Gpr dst, const Mem& src); // sub r32, [m]
    void CmpLoad(Gpr dst, const Mem& src); // cmp r32, [m]

    // 64-bit registers (REX.W), for pointers and the loop index of the x86-64 routines.
    void MovLoadQ(Gpr dst, const Mem& src);  // mov r64, [m]
    void MovImmQ(Gpr dst, int32_t imm);      // mov r64, imm32 sign-extended
    void AddImmQ(Gpr dst, int32_t imm);      // add r64, imm (8-bit form when it fits)
    void SubImmQ(Gpr dst, int32_t imm);      // sub r64, imm
    void AndImmQ(Gpr dst, int32_t imm);      // and r64, imm sign-extended
    void SubRegQ(Gpr dst, Gpr src);          // sub r64, r64
    void LeaQ(Gpr dst, const Mem& src);      // lea r64, [m]
    void MovStoreQ(const Mem& dst, Gpr src); // mov [m], r64
    void AddLoadQ(Gpr dst, const Mem& src);  // add r64, [m]
    void SubLoadQ(Gpr dst, const Mem& src);  // sub r64, [m]
    void CmpLoadQ(Gpr dst, const Mem& src);  // cmp r64, [m]
    void CmovaeQ(Gpr dst, Gpr src);          // cmovae r64, r64

    // Pointer width, for pointers and the loop index: the forms above without Q, or with Q
    // once SetPointersQuad(true) (the x86-64 routines). A negative index is sign-extended.
    void SetPointersQuad(bool quad) { PointersQuad = quad; }
    void LoadPointer(Gpr dst, const Mem& src) {
        PointersQuad ? MovLoadQ(dst, src) : MovLoad(dst, src);
    }
    void StorePointer(const Mem& dst, Gpr src) {
        PointersQuad ? MovStoreQ(dst, src) : MovStore(dst, src);
    }
    void MovImmPointer(Gpr dst, int32_t imm) {
        PointersQuad ? MovImmQ(dst, imm) : MovImm(dst, static_cast<uint32_t>(imm));
    }
    void AddPointer(Gpr dst, int32_t imm) { PointersQuad ? AddImmQ(dst, imm) : AddImm(dst, imm); }
    void SubPointer(Gpr dst, int32_t imm) { PointersQuad ? SubImmQ(dst, imm) : SubImm(dst, imm); }
    void AndPointer(Gpr dst, int32_t imm) { PointersQuad ? AndImmQ(dst, imm) : AndImm(dst, imm); }
    void SubRegPointer(Gpr dst, Gpr src) { PointersQuad ? SubRegQ(dst, src) : SubReg(dst, src); }
    void LeaPointer(Gpr dst, const Mem& src) { PointersQuad ? LeaQ(dst, src) : Lea(dst, src); }
    void AddLoadPointer(Gpr dst, const Mem& src) {
        PointersQuad ? AddLoadQ(dst, src) : AddLoad(dst, src);
    }
    void SubLoadPointer(Gpr dst, const Mem& src) {
        PointersQuad ? SubLoadQ(dst, src) : SubLoad(dst, src);
    }
    void CmpLoadPointer(Gpr dst, const Mem& src) {
        PointersQuad ? CmpLoadQ(dst, src) : CmpLoad(dst, src);
    }
    void CmovaePointer(Gpr dst, Gpr src) { PointersQuad ? CmovaeQ(dst, src) : Cmovae(dst, src); }
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
    // The REX prefix an instruction needs: W for a 64-bit operation, R, X and B for R8 in the
    // register field, the index or the base (or the register operand). None when all are 0.
    void Rex(bool wide, uint8_t reg, const Mem& mem);
    void Rex(bool wide, uint8_t reg, uint8_t rm);
    // ModRM (and SIB and displacement) for a register field and a memory operand.
    void Operand(uint8_t reg, const Mem& mem);
    void RegisterOperand(uint8_t reg, uint8_t rm) {
        Byte(static_cast<uint8_t>(0xC0 | (reg & 7) << 3 | (rm & 7)));
    }
    void ArithImm(bool wide, uint8_t extension, Gpr dst, int32_t imm);
    // The two-byte VEX prefix (map 0F): pp 1 for 66, 2 for F3; source the register of the
    // vvvv field, or none; long for 256 bits. Refuses (as an overflow) registers it cannot
    // name: everything here is on the first eight.
    void Vex(uint8_t pp, bool isLong, const Xmm* source, uint8_t reg, const Mem* mem, uint8_t rm);
    // op r, [m] for the one-byte opcodes of that form (mov 8B, add 03, sub 2B, cmp 3B), and
    // mov [m], r (89).
    void RegMem(bool wide, uint8_t opcode, Gpr reg, const Mem& mem);

    uint8_t* Begin;
    uint8_t* Cursor;
    uint8_t* Limit;
    const uint8_t* RunBegin;
    bool Overflow = false;
    bool Wide = false;
    bool PointersQuad = false;
};

} // namespace marl::vec
