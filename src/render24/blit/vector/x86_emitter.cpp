#include "render24/blit/vector/x86_emitter.h"

namespace marl::vec {
namespace {

uint8_t Code(Gpr reg) { return static_cast<uint8_t>(reg); }
uint8_t Code(Xmm reg) { return static_cast<uint8_t>(reg); }
bool FitsInt8(int32_t value) { return value >= -128 && value <= 127; }
bool FitsInt32(int64_t value) { return value >= INT32_MIN && value <= INT32_MAX; }
// The fourth bit of a register number, which only a REX prefix can carry.
uint8_t High(uint8_t code) { return static_cast<uint8_t>(code >> 3 & 1); }

} // namespace

void X86Emitter::Byte(uint8_t value) {
    if (Overflow || Cursor >= Limit) {
        Overflow = true;
        return;
    }
    *Cursor++ = value;
}

void X86Emitter::Dword(uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        Byte(static_cast<uint8_t>(value >> shift));
}

void X86Emitter::Bytes(const uint8_t* bytes, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i)
        Byte(bytes[i]);
}

void X86Emitter::AlignWithNops(uint32_t alignment) {
    while (!Overflow && reinterpret_cast<uintptr_t>(Cursor) % alignment != 0)
        Byte(0x90);
}

void X86Emitter::Rex(bool wide, uint8_t reg, const Mem& mem) {
    const uint8_t index = mem.HasIndex ? High(Code(mem.Index)) : 0;
    const uint8_t base = mem.HasBase ? High(Code(mem.Base)) : 0;
    const auto rex =
        static_cast<uint8_t>(0x40 | (wide ? 8 : 0) | High(reg) << 2 | index << 1 | base);
    if (rex != 0x40) Byte(rex);
}

void X86Emitter::Rex(bool wide, uint8_t reg, uint8_t rm) {
    const auto rex = static_cast<uint8_t>(0x40 | (wide ? 8 : 0) | High(reg) << 2 | High(rm));
    if (rex != 0x40) Byte(rex);
}

void X86Emitter::Operand(uint8_t reg, const Mem& mem) {
    reg = static_cast<uint8_t>((reg & 7) << 3);
    if (mem.RipRelative) {
        // Counted from the end of the instruction, which no immediate follows here: the end
        // of the displacement.
        const uintptr_t next =
            reinterpret_cast<uintptr_t>(RunBegin) + static_cast<uintptr_t>(Cursor - Begin) + 1 + 4;
        const int64_t distance = static_cast<int64_t>(mem.Target) - static_cast<int64_t>(next);
        if (!FitsInt32(distance)) {
            Overflow = true;
            return;
        }
        Byte(static_cast<uint8_t>(0x05 | reg));
        Dword(static_cast<uint32_t>(distance));
        return;
    }
    if (!mem.HasBase) { // [disp32]
        Byte(static_cast<uint8_t>(0x05 | reg));
        Dword(static_cast<uint32_t>(mem.Disp));
        return;
    }
    // EBP (and R13) as a base has no form without displacement; ESP (and R12) as a base needs
    // a SIB byte. The ModRM fields hold the low three bits of a register number.
    const uint8_t base = Code(mem.Base) & 7;
    uint8_t mod = 0x80;
    if (mem.Disp == 0 && base != Code(Gpr::Ebp)) {
        mod = 0x00;
    } else if (FitsInt8(mem.Disp)) {
        mod = 0x40;
    }
    if (mem.HasIndex) {
        Byte(static_cast<uint8_t>(mod | reg | 0x04));
        Byte(static_cast<uint8_t>((Code(mem.Index) & 7) << 3 | base));
    } else if (base == Code(Gpr::Esp)) {
        Byte(static_cast<uint8_t>(mod | reg | 0x04));
        Byte(0x24);
    } else {
        Byte(static_cast<uint8_t>(mod | reg | base));
    }
    if (mod == 0x40) Byte(static_cast<uint8_t>(mem.Disp));
    if (mod == 0x80) Dword(static_cast<uint32_t>(mem.Disp));
}

void X86Emitter::MovLoad(Gpr dst, const Mem& src) {
    Rex(false, Code(dst), src);
    Byte(0x8B);
    Operand(Code(dst), src);
}

void X86Emitter::MovLoadQ(Gpr dst, const Mem& src) {
    Rex(true, Code(dst), src);
    Byte(0x8B);
    Operand(Code(dst), src);
}

void X86Emitter::RegMem(bool wide, uint8_t opcode, Gpr reg, const Mem& mem) {
    Rex(wide, Code(reg), mem);
    Byte(opcode);
    Operand(Code(reg), mem);
}

void X86Emitter::MovStore(const Mem& dst, Gpr src) { RegMem(false, 0x89, src, dst); }
void X86Emitter::MovStoreQ(const Mem& dst, Gpr src) { RegMem(true, 0x89, src, dst); }
void X86Emitter::AddLoad(Gpr dst, const Mem& src) { RegMem(false, 0x03, dst, src); }
void X86Emitter::AddLoadQ(Gpr dst, const Mem& src) { RegMem(true, 0x03, dst, src); }
void X86Emitter::SubLoad(Gpr dst, const Mem& src) { RegMem(false, 0x2B, dst, src); }
void X86Emitter::SubLoadQ(Gpr dst, const Mem& src) { RegMem(true, 0x2B, dst, src); }
void X86Emitter::CmpLoad(Gpr dst, const Mem& src) { RegMem(false, 0x3B, dst, src); }
void X86Emitter::CmpLoadQ(Gpr dst, const Mem& src) { RegMem(true, 0x3B, dst, src); }

void X86Emitter::MovImm(Gpr dst, uint32_t imm) {
    Rex(false, 0, Code(dst));
    Byte(static_cast<uint8_t>(0xB8 + (Code(dst) & 7)));
    Dword(imm);
}

void X86Emitter::MovImmQ(Gpr dst, int32_t imm) {
    Rex(true, 0, Code(dst));
    Byte(0xC7);
    RegisterOperand(0, Code(dst));
    Dword(static_cast<uint32_t>(imm));
}

void X86Emitter::ArithImm(bool wide, uint8_t extension, Gpr dst, int32_t imm) {
    Rex(wide, 0, Code(dst));
    if (FitsInt8(imm)) {
        Byte(0x83);
        RegisterOperand(extension, Code(dst));
        Byte(static_cast<uint8_t>(imm));
    } else {
        Byte(0x81);
        RegisterOperand(extension, Code(dst));
        Dword(static_cast<uint32_t>(imm));
    }
}

void X86Emitter::AddImm(Gpr dst, int32_t imm) { ArithImm(false, 0, dst, imm); }
void X86Emitter::SubImm(Gpr dst, int32_t imm) { ArithImm(false, 5, dst, imm); }
void X86Emitter::CmpImm(Gpr dst, int32_t imm) { ArithImm(false, 7, dst, imm); }
void X86Emitter::AndImm(Gpr dst, int32_t imm) { ArithImm(false, 4, dst, imm); }
void X86Emitter::AddImmQ(Gpr dst, int32_t imm) { ArithImm(true, 0, dst, imm); }
void X86Emitter::SubImmQ(Gpr dst, int32_t imm) { ArithImm(true, 5, dst, imm); }
void X86Emitter::AndImmQ(Gpr dst, int32_t imm) { ArithImm(true, 4, dst, imm); }

void X86Emitter::XorReg(Gpr dst, Gpr src) {
    Rex(false, Code(src), Code(dst));
    Byte(0x31);
    RegisterOperand(Code(src), Code(dst));
}

// sub r/m, reg: the register operand is the one subtracted.
void X86Emitter::SubReg(Gpr dst, Gpr src) {
    Rex(false, Code(src), Code(dst));
    Byte(0x29);
    RegisterOperand(Code(src), Code(dst));
}

void X86Emitter::SubRegQ(Gpr dst, Gpr src) {
    Rex(true, Code(src), Code(dst));
    Byte(0x29);
    RegisterOperand(Code(src), Code(dst));
}

void X86Emitter::Lea(Gpr dst, const Mem& src) {
    Rex(false, Code(dst), src);
    Byte(0x8D);
    Operand(Code(dst), src);
}

void X86Emitter::LeaQ(Gpr dst, const Mem& src) {
    Rex(true, Code(dst), src);
    Byte(0x8D);
    Operand(Code(dst), src);
}

void X86Emitter::Cmovae(Gpr dst, Gpr src) {
    Rex(false, Code(dst), Code(src));
    Byte(0x0F);
    Byte(0x43);
    RegisterOperand(Code(dst), Code(src));
}

void X86Emitter::CmovaeQ(Gpr dst, Gpr src) {
    Rex(true, Code(dst), Code(src));
    Byte(0x0F);
    Byte(0x43);
    RegisterOperand(Code(dst), Code(src));
}

void X86Emitter::MovzxWord(Gpr dst, const Mem& src) {
    Rex(false, Code(dst), src);
    Byte(0x0F);
    Byte(0xB7);
    Operand(Code(dst), src);
}

void X86Emitter::MovAhLoad(const Mem& src) {
    // With any REX prefix, register field 4 would name SPL instead of AH.
    if ((src.HasBase && High(Code(src.Base))) || (src.HasIndex && High(Code(src.Index)))) {
        Overflow = true;
        return;
    }
    Byte(0x8A);
    Operand(4, src); // register field 4 with an 8-bit operand is AH
}

void X86Emitter::Bswap(Gpr reg) {
    Rex(false, 0, Code(reg));
    Byte(0x0F);
    Byte(static_cast<uint8_t>(0xC8 + (Code(reg) & 7)));
}

void X86Emitter::ShrImm(Gpr reg, uint8_t count) {
    Rex(false, 0, Code(reg));
    Byte(0xC1);
    RegisterOperand(5, Code(reg));
    Byte(count);
}

void X86Emitter::RolAx8() {
    const uint8_t code[] = {0x66, 0xC1, 0xC0, 0x08};
    Bytes(code, sizeof code);
}

void X86Emitter::RepMovsb() {
    Byte(0xF3);
    Byte(0xA4);
}

void X86Emitter::JnzBack(const uint8_t* target) {
    int32_t shortDistance = static_cast<int32_t>(target - (Cursor + 2));
    if (FitsInt8(shortDistance)) {
        Byte(0x75);
        Byte(static_cast<uint8_t>(shortDistance));
        return;
    }
    Byte(0x0F);
    Byte(0x85);
    Dword(static_cast<uint32_t>(target - (Cursor + 4)));
}

// The SSE2 forms: the mandatory prefix, then REX when a memory operand's base or index is R8,
// then the opcode.
void X86Emitter::Vex(uint8_t pp, bool isLong, const Xmm* source, uint8_t reg, const Mem* mem,
                     uint8_t rm) {
    const bool extended = reg > 7 || (mem == nullptr && rm > 7) ||
                          (mem != nullptr && ((mem->HasBase && Code(mem->Base) > 7) ||
                                              (mem->HasIndex && Code(mem->Index) > 7)));
    if (extended) {
        Overflow = true;
        return;
    }
    const uint8_t vvvv = source != nullptr ? Code(*source) : 0;
    Byte(0xC5);
    Byte(static_cast<uint8_t>(0x80 | (~vvvv & 0xF) << 3 | (isLong ? 4 : 0) | pp));
}

void X86Emitter::Vzeroupper() {
    const uint8_t code[] = {0xC5, 0xF8, 0x77};
    Bytes(code, sizeof code);
}

void X86Emitter::Op(SseOp op, Xmm dst, Xmm src) {
    if (Wide) {
        const bool move = op == SseOp::Movdqa;
        if (op == SseOp::Punpcklbw) Overflow = true; // works within 128-bit lanes there
        Vex(1, true, move ? nullptr : &dst, Code(dst), nullptr, Code(src));
        Byte(static_cast<uint8_t>(op));
        RegisterOperand(Code(dst), Code(src));
        return;
    }
    Byte(0x66);
    Byte(0x0F);
    Byte(static_cast<uint8_t>(op));
    RegisterOperand(Code(dst), Code(src));
}

void X86Emitter::Op(SseOp op, Xmm dst, const Mem& src) {
    if (Wide) {
        if (op == SseOp::Movdqa) {
            Movdqu(dst, src);
            return;
        }
        if (op == SseOp::Punpcklbw) Overflow = true;
        Vex(1, true, &dst, Code(dst), &src, 0);
        Byte(static_cast<uint8_t>(op));
        Operand(Code(dst), src);
        return;
    }
    Byte(0x66);
    Rex(false, Code(dst), src);
    Byte(0x0F);
    Byte(static_cast<uint8_t>(op));
    Operand(Code(dst), src);
}

void X86Emitter::Movdqu(Xmm dst, const Mem& src) {
    if (Wide) {
        Vex(2, true, nullptr, Code(dst), &src, 0);
        Byte(0x6F);
        Operand(Code(dst), src);
        return;
    }
    Byte(0xF3);
    Rex(false, Code(dst), src);
    Byte(0x0F);
    Byte(0x6F);
    Operand(Code(dst), src);
}

void X86Emitter::Movdqu(const Mem& dst, Xmm src) {
    if (Wide) {
        Vex(2, true, nullptr, Code(src), &dst, 0);
        Byte(0x7F);
        Operand(Code(src), dst);
        return;
    }
    Byte(0xF3);
    Rex(false, Code(src), dst);
    Byte(0x0F);
    Byte(0x7F);
    Operand(Code(src), dst);
}

void X86Emitter::Movd(Xmm dst, Gpr src) {
    if (Wide) Overflow = true;
    Byte(0x66);
    Rex(false, Code(dst), Code(src));
    Byte(0x0F);
    Byte(0x6E);
    RegisterOperand(Code(dst), Code(src));
}

void X86Emitter::Pshufd(Xmm dst, Xmm src, uint8_t order) {
    if (Wide) Overflow = true;
    Byte(0x66);
    Byte(0x0F);
    Byte(0x70);
    RegisterOperand(Code(dst), Code(src));
    Byte(order);
}

void X86Emitter::Pshuflw(Xmm dst, Xmm src, uint8_t order) {
    if (Wide) Overflow = true;
    Byte(0xF2);
    Byte(0x0F);
    Byte(0x70);
    RegisterOperand(Code(dst), Code(src));
    Byte(order);
}

} // namespace marl::vec
