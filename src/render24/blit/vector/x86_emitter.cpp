#include "render24/blit/vector/x86_emitter.h"

namespace marl::vec {
namespace {

uint8_t Code(Gpr reg) { return static_cast<uint8_t>(reg); }
uint8_t Code(Xmm reg) { return static_cast<uint8_t>(reg); }
bool FitsInt8(int32_t value) { return value >= -128 && value <= 127; }

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

void X86Emitter::Operand(uint8_t reg, const Mem& mem) {
    reg = static_cast<uint8_t>(reg << 3);
    if (!mem.HasBase) { // [disp32]
        Byte(static_cast<uint8_t>(0x05 | reg));
        Dword(static_cast<uint32_t>(mem.Disp));
        return;
    }
    // EBP as a base has no form without displacement; ESP as a base needs a SIB byte.
    uint8_t mod = 0x80;
    if (mem.Disp == 0 && mem.Base != Gpr::Ebp) {
        mod = 0x00;
    } else if (FitsInt8(mem.Disp)) {
        mod = 0x40;
    }
    if (mem.HasIndex) {
        Byte(static_cast<uint8_t>(mod | reg | 0x04));
        Byte(static_cast<uint8_t>(Code(mem.Index) << 3 | Code(mem.Base)));
    } else if (mem.Base == Gpr::Esp) {
        Byte(static_cast<uint8_t>(mod | reg | 0x04));
        Byte(0x24);
    } else {
        Byte(static_cast<uint8_t>(mod | reg | Code(mem.Base)));
    }
    if (mod == 0x40) Byte(static_cast<uint8_t>(mem.Disp));
    if (mod == 0x80) Dword(static_cast<uint32_t>(mem.Disp));
}

void X86Emitter::MovLoad(Gpr dst, const Mem& src) {
    Byte(0x8B);
    Operand(Code(dst), src);
}

void X86Emitter::MovStore(const Mem& dst, Gpr src) {
    Byte(0x89);
    Operand(Code(src), dst);
}

void X86Emitter::MovImm(Gpr dst, uint32_t imm) {
    Byte(static_cast<uint8_t>(0xB8 + Code(dst)));
    Dword(imm);
}

void X86Emitter::ArithImm(uint8_t extension, Gpr dst, int32_t imm) {
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

void X86Emitter::AddImm(Gpr dst, int32_t imm) { ArithImm(0, dst, imm); }
void X86Emitter::SubImm(Gpr dst, int32_t imm) { ArithImm(5, dst, imm); }
void X86Emitter::CmpImm(Gpr dst, int32_t imm) { ArithImm(7, dst, imm); }

void X86Emitter::XorReg(Gpr dst, Gpr src) {
    Byte(0x31);
    RegisterOperand(Code(src), Code(dst));
}

void X86Emitter::Lea(Gpr dst, const Mem& src) {
    Byte(0x8D);
    Operand(Code(dst), src);
}

void X86Emitter::Cmovae(Gpr dst, Gpr src) {
    Byte(0x0F);
    Byte(0x43);
    RegisterOperand(Code(dst), Code(src));
}

void X86Emitter::MovzxWord(Gpr dst, const Mem& src) {
    Byte(0x0F);
    Byte(0xB7);
    Operand(Code(dst), src);
}

void X86Emitter::MovAhLoad(const Mem& src) {
    Byte(0x8A);
    Operand(4, src); // register field 4 with an 8-bit operand is AH
}

void X86Emitter::Bswap(Gpr reg) {
    Byte(0x0F);
    Byte(static_cast<uint8_t>(0xC8 + Code(reg)));
}

void X86Emitter::ShrImm(Gpr reg, uint8_t count) {
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

void X86Emitter::Op(SseOp op, Xmm dst, Xmm src) {
    Byte(0x66);
    Byte(0x0F);
    Byte(static_cast<uint8_t>(op));
    RegisterOperand(Code(dst), Code(src));
}

void X86Emitter::Op(SseOp op, Xmm dst, const Mem& src) {
    Byte(0x66);
    Byte(0x0F);
    Byte(static_cast<uint8_t>(op));
    Operand(Code(dst), src);
}

void X86Emitter::Movdqu(Xmm dst, const Mem& src) {
    Byte(0xF3);
    Byte(0x0F);
    Byte(0x6F);
    Operand(Code(dst), src);
}

void X86Emitter::Movdqu(const Mem& dst, Xmm src) {
    Byte(0xF3);
    Byte(0x0F);
    Byte(0x7F);
    Operand(Code(src), dst);
}

void X86Emitter::Movd(Xmm dst, Gpr src) {
    Byte(0x66);
    Byte(0x0F);
    Byte(0x6E);
    RegisterOperand(Code(dst), Code(src));
}

void X86Emitter::Pshufd(Xmm dst, Xmm src, uint8_t order) {
    Byte(0x66);
    Byte(0x0F);
    Byte(0x70);
    RegisterOperand(Code(dst), Code(src));
    Byte(order);
}

void X86Emitter::Pshuflw(Xmm dst, Xmm src, uint8_t order) {
    Byte(0xF2);
    Byte(0x0F);
    Byte(0x70);
    RegisterOperand(Code(dst), Code(src));
    Byte(order);
}

} // namespace marl::vec
