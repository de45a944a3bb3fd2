// The vector emitter's encodings, as tables of "hex bytes <-> instruction": the 32-bit forms,
// and the forms of the x86-64 routines (REX.W, R8, RIP-relative), whose bytes are those
// `as --64` writes for the instruction named. Both editions check both tables: the encoder is
// the same code in each.
#include "render24/blit/vector/x86_emitter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

using marl::vec::Absolute;
using marl::vec::At;
using marl::vec::Gpr;
using marl::vec::Mem;
using marl::vec::RipRelative;
using marl::vec::SseOp;
using marl::vec::X86Emitter;
using marl::vec::Xmm;

struct Encoding {
    const char* Instruction;
    const char* Hex;
    std::function<void(X86Emitter&)> Emit;
};

std::string Hex(const uint8_t* bytes, uint32_t count) {
    std::string text;
    char digits[4];
    for (uint32_t i = 0; i < count; ++i) {
        std::snprintf(digits, sizeof digits, i ? " %02X" : "%02X", bytes[i]);
        text += digits;
    }
    return text;
}

const void* const kAddress = reinterpret_cast<const void*>(0x12345670);

const std::vector<Encoding>& Table() {
    static const std::vector<Encoding> table = {
        {"mov edi, [ebp+12]", "8B 7D 0C",
         [](X86Emitter& e) { e.MovLoad(Gpr::Edi, At(Gpr::Ebp, 12)); }},
        {"mov esi, [ebp+8]", "8B 75 08",
         [](X86Emitter& e) { e.MovLoad(Gpr::Esi, At(Gpr::Ebp, 8)); }},
        {"mov ebx, [ebp+16]", "8B 5D 10",
         [](X86Emitter& e) { e.MovLoad(Gpr::Ebx, At(Gpr::Ebp, 16)); }},
        {"mov eax, [ebp-24]", "8B 45 E8",
         [](X86Emitter& e) { e.MovLoad(Gpr::Eax, At(Gpr::Ebp, -24)); }},
        {"mov eax, [ebx]", "8B 03", [](X86Emitter& e) { e.MovLoad(Gpr::Eax, At(Gpr::Ebx)); }},
        {"mov ecx, [esp]", "8B 0C 24", [](X86Emitter& e) { e.MovLoad(Gpr::Ecx, At(Gpr::Esp)); }},
        {"mov edx, [esi+0x200]", "8B 96 00 02 00 00",
         [](X86Emitter& e) { e.MovLoad(Gpr::Edx, At(Gpr::Esi, 0x200)); }},
        {"mov [ebp-8], ebx", "89 5D F8",
         [](X86Emitter& e) { e.MovStore(At(Gpr::Ebp, -8), Gpr::Ebx); }},
        {"mov ecx, 0xFFFFFFF0", "B9 F0 FF FF FF",
         [](X86Emitter& e) { e.MovImm(Gpr::Ecx, 0xFFFFFFF0u); }},
        {"mov eax, 0x12345678", "B8 78 56 34 12",
         [](X86Emitter& e) { e.MovImm(Gpr::Eax, 0x12345678u); }},
        {"add edi, 16", "83 C7 10", [](X86Emitter& e) { e.AddImm(Gpr::Edi, 16); }},
        {"add esi, 0x1360", "81 C6 60 13 00 00", [](X86Emitter& e) { e.AddImm(Gpr::Esi, 0x1360); }},
        {"add ecx, 16", "83 C1 10", [](X86Emitter& e) { e.AddImm(Gpr::Ecx, 16); }},
        {"add esp, -128", "83 C4 80", [](X86Emitter& e) { e.AddImm(Gpr::Esp, -128); }},
        {"add eax, 128", "81 C0 80 00 00 00", [](X86Emitter& e) { e.AddImm(Gpr::Eax, 128); }},
        {"sub esp, 16", "83 EC 10", [](X86Emitter& e) { e.SubImm(Gpr::Esp, 16); }},
        {"cmp edx, 24", "83 FA 18", [](X86Emitter& e) { e.CmpImm(Gpr::Edx, 24); }},
        {"cmp edx, 0x1000", "81 FA 00 10 00 00", [](X86Emitter& e) { e.CmpImm(Gpr::Edx, 0x1000); }},
        {"xor edx, edx", "31 D2", [](X86Emitter& e) { e.XorReg(Gpr::Edx, Gpr::Edx); }},
        {"xor eax, ecx", "31 C8", [](X86Emitter& e) { e.XorReg(Gpr::Eax, Gpr::Ecx); }},
        {"and eax, -32", "83 E0 E0", [](X86Emitter& e) { e.AndImm(Gpr::Eax, -32); }},
        {"and edx, 7", "83 E2 07", [](X86Emitter& e) { e.AndImm(Gpr::Edx, 7); }},
        {"and ecx, 0x100", "81 E1 00 01 00 00", [](X86Emitter& e) { e.AndImm(Gpr::Ecx, 0x100); }},
        {"sub edx, edi", "29 FA", [](X86Emitter& e) { e.SubReg(Gpr::Edx, Gpr::Edi); }},
        {"sub eax, ecx", "29 C8", [](X86Emitter& e) { e.SubReg(Gpr::Eax, Gpr::Ecx); }},
        {"lea eax, [edx-24]", "8D 42 E8",
         [](X86Emitter& e) { e.Lea(Gpr::Eax, At(Gpr::Edx, -24)); }},
        {"lea eax, [edx-0x1000]", "8D 82 00 F0 FF FF",
         [](X86Emitter& e) { e.Lea(Gpr::Eax, At(Gpr::Edx, -0x1000)); }},
        {"cmovae edx, eax", "0F 43 D0", [](X86Emitter& e) { e.Cmovae(Gpr::Edx, Gpr::Eax); }},
        {"add ecx, [eax+4]", "03 48 04",
         [](X86Emitter& e) { e.AddLoad(Gpr::Ecx, At(Gpr::Eax, 4)); }},
        {"sub ecx, [eax+28]", "2B 48 1C",
         [](X86Emitter& e) { e.SubLoad(Gpr::Ecx, At(Gpr::Eax, 28)); }},
        {"cmp ecx, [eax+24]", "3B 48 18",
         [](X86Emitter& e) { e.CmpLoad(Gpr::Ecx, At(Gpr::Eax, 24)); }},
        {"movzx eax, word [esi]", "0F B7 06",
         [](X86Emitter& e) { e.MovzxWord(Gpr::Eax, At(Gpr::Esi)); }},
        {"movzx eax, word [esi-3]", "0F B7 46 FD",
         [](X86Emitter& e) { e.MovzxWord(Gpr::Eax, At(Gpr::Esi, -3)); }},
        {"mov ah, [esi+2]", "8A 66 02", [](X86Emitter& e) { e.MovAhLoad(At(Gpr::Esi, 2)); }},
        {"bswap eax", "0F C8", [](X86Emitter& e) { e.Bswap(Gpr::Eax); }},
        {"shr eax, 13", "C1 E8 0D", [](X86Emitter& e) { e.ShrImm(Gpr::Eax, 13); }},
        {"rol ax, 8", "66 C1 C0 08", [](X86Emitter& e) { e.RolAx8(); }},
        {"rep movsb", "F3 A4", [](X86Emitter& e) { e.RepMovsb(); }},
        {"movdqu xmm5, [edi+ecx]", "F3 0F 6F 2C 0F",
         [](X86Emitter& e) { e.Movdqu(Xmm::X5, At(Gpr::Edi, Gpr::Ecx)); }},
        {"movdqu xmm6, [esi+ecx]", "F3 0F 6F 34 0E",
         [](X86Emitter& e) { e.Movdqu(Xmm::X6, At(Gpr::Esi, Gpr::Ecx)); }},
        {"movdqu xmm7, [ebx+edx]", "F3 0F 6F 3C 13",
         [](X86Emitter& e) { e.Movdqu(Xmm::X7, At(Gpr::Ebx, Gpr::Edx)); }},
        {"movdqu xmm0, [ebp+edx]", "F3 0F 6F 44 15 00",
         [](X86Emitter& e) { e.Movdqu(Xmm::X0, At(Gpr::Ebp, Gpr::Edx)); }},
        {"movdqu xmm5, [edi-7]", "F3 0F 6F 6F F9",
         [](X86Emitter& e) { e.Movdqu(Xmm::X5, At(Gpr::Edi, -7)); }},
        {"movdqu xmm7, [ebx]", "F3 0F 6F 3B",
         [](X86Emitter& e) { e.Movdqu(Xmm::X7, At(Gpr::Ebx)); }},
        {"movdqu xmm5, [esp]", "F3 0F 6F 2C 24",
         [](X86Emitter& e) { e.Movdqu(Xmm::X5, At(Gpr::Esp)); }},
        {"movdqu [esp], xmm5", "F3 0F 7F 2C 24",
         [](X86Emitter& e) { e.Movdqu(At(Gpr::Esp), Xmm::X5); }},
        {"movdqu [edi+ecx], xmm0", "F3 0F 7F 04 0F",
         [](X86Emitter& e) { e.Movdqu(At(Gpr::Edi, Gpr::Ecx), Xmm::X0); }},
        {"movdqu [edi-9], xmm1", "F3 0F 7F 4F F7",
         [](X86Emitter& e) { e.Movdqu(At(Gpr::Edi, -9), Xmm::X1); }},
        {"movdqa xmm0, xmm5", "66 0F 6F C5",
         [](X86Emitter& e) { e.Op(SseOp::Movdqa, Xmm::X0, Xmm::X5); }},
        {"movdqa xmm1, [0x12345670]", "66 0F 6F 0D 70 56 34 12",
         [](X86Emitter& e) { e.Op(SseOp::Movdqa, Xmm::X1, Absolute(kAddress)); }},
        {"pminub xmm0, xmm6", "66 0F DA C6",
         [](X86Emitter& e) { e.Op(SseOp::Pminub, Xmm::X0, Xmm::X6); }},
        {"pmaxub xmm2, xmm7", "66 0F DE D7",
         [](X86Emitter& e) { e.Op(SseOp::Pmaxub, Xmm::X2, Xmm::X7); }},
        {"pxor xmm3, xmm4", "66 0F EF DC",
         [](X86Emitter& e) { e.Op(SseOp::Pxor, Xmm::X3, Xmm::X4); }},
        {"pxor xmm0, [0x12345670]", "66 0F EF 05 70 56 34 12",
         [](X86Emitter& e) { e.Op(SseOp::Pxor, Xmm::X0, Absolute(kAddress)); }},
        {"pminub xmm4, [0x12345670]", "66 0F DA 25 70 56 34 12",
         [](X86Emitter& e) { e.Op(SseOp::Pminub, Xmm::X4, Absolute(kAddress)); }},
        {"pand xmm6, [0x12345670]", "66 0F DB 35 70 56 34 12",
         [](X86Emitter& e) { e.Op(SseOp::Pand, Xmm::X6, Absolute(kAddress)); }},
        {"pcmpeqb xmm6, [0x12345670]", "66 0F 74 35 70 56 34 12",
         [](X86Emitter& e) { e.Op(SseOp::Pcmpeqb, Xmm::X6, Absolute(kAddress)); }},
        {"por xmm1, xmm2", "66 0F EB CA",
         [](X86Emitter& e) { e.Op(SseOp::Por, Xmm::X1, Xmm::X2); }},
        {"punpcklbw xmm6, xmm6", "66 0F 60 F6",
         [](X86Emitter& e) { e.Op(SseOp::Punpcklbw, Xmm::X6, Xmm::X6); }},
        {"movd xmm6, eax", "66 0F 6E F0", [](X86Emitter& e) { e.Movd(Xmm::X6, Gpr::Eax); }},
        {"pshuflw xmm6, xmm6, 0x50", "F2 0F 70 F6 50",
         [](X86Emitter& e) { e.Pshuflw(Xmm::X6, Xmm::X6, 0x50); }},
        {"pshufd xmm6, xmm6, 0x50", "66 0F 70 F6 50",
         [](X86Emitter& e) { e.Pshufd(Xmm::X6, Xmm::X6, 0x50); }},
        {"pshufd xmm1, xmm7, 0x1B", "66 0F 70 CF 1B",
         [](X86Emitter& e) { e.Pshufd(Xmm::X1, Xmm::X7, 0x1B); }},
    };
    return table;
}

// Where the x86-64 table's instructions are taken to run, for their RIP-relative operands.
constexpr uintptr_t kRun = 0x12340000;

// The operand [rip + disp] of an instruction of length bytes at kRun.
Mem Rip(uint32_t length, int32_t disp) {
    return RipRelative(reinterpret_cast<const void*>(kRun + length + disp));
}

const std::vector<Encoding>& Table64() {
    static const std::vector<Encoding> table = {
        {"mov [rax+8], rcx", "48 89 48 08",
         [](X86Emitter& e) { e.MovStoreQ(At(Gpr::Eax, 8), Gpr::Ecx); }},
        {"add rcx, [rax+16]", "48 03 48 10",
         [](X86Emitter& e) { e.AddLoadQ(Gpr::Ecx, At(Gpr::Eax, 16)); }},
        {"sub rdx, [rax+56]", "48 2B 50 38",
         [](X86Emitter& e) { e.SubLoadQ(Gpr::Edx, At(Gpr::Eax, 56)); }},
        {"cmp rcx, [rax+48]", "48 3B 48 30",
         [](X86Emitter& e) { e.CmpLoadQ(Gpr::Ecx, At(Gpr::Eax, 48)); }},
        {"cmovae rcx, rdx", "48 0F 43 CA", [](X86Emitter& e) { e.CmovaeQ(Gpr::Ecx, Gpr::Edx); }},
        {"mov rdi, [rbp+24]", "48 8B 7D 18",
         [](X86Emitter& e) { e.MovLoadQ(Gpr::Edi, At(Gpr::Ebp, 24)); }},
        {"mov rsi, [rbp+16]", "48 8B 75 10",
         [](X86Emitter& e) { e.MovLoadQ(Gpr::Esi, At(Gpr::Ebp, 16)); }},
        {"mov rbx, [rbp+32]", "48 8B 5D 20",
         [](X86Emitter& e) { e.MovLoadQ(Gpr::Ebx, At(Gpr::Ebp, 32)); }},
        {"mov rax, [rbp-48]", "48 8B 45 D0",
         [](X86Emitter& e) { e.MovLoadQ(Gpr::Eax, At(Gpr::Ebp, -48)); }},
        {"mov r8, [rbp+24]", "4C 8B 45 18",
         [](X86Emitter& e) { e.MovLoadQ(Gpr::R8, At(Gpr::Ebp, 24)); }},
        {"mov rcx, [rsp]", "48 8B 0C 24",
         [](X86Emitter& e) { e.MovLoadQ(Gpr::Ecx, At(Gpr::Esp)); }},
        {"mov rdx, [rsi+0x200]", "48 8B 96 00 02 00 00",
         [](X86Emitter& e) { e.MovLoadQ(Gpr::Edx, At(Gpr::Esi, 0x200)); }},
        {"mov r8, [rip+0x100]", "4C 8B 05 00 01 00 00",
         [](X86Emitter& e) { e.MovLoadQ(Gpr::R8, Rip(7, 0x100)); }},
        {"mov r8, [rip-0x30]", "4C 8B 05 D0 FF FF FF",
         [](X86Emitter& e) { e.MovLoadQ(Gpr::R8, Rip(7, -0x30)); }},
        {"mov rcx, -32", "48 C7 C1 E0 FF FF FF", [](X86Emitter& e) { e.MovImmQ(Gpr::Ecx, -32); }},
        {"mov rcx, -0x1360", "48 C7 C1 A0 EC FF FF",
         [](X86Emitter& e) { e.MovImmQ(Gpr::Ecx, -0x1360); }},
        {"mov r8, -16", "49 C7 C0 F0 FF FF FF", [](X86Emitter& e) { e.MovImmQ(Gpr::R8, -16); }},
        {"add rdi, 16", "48 83 C7 10", [](X86Emitter& e) { e.AddImmQ(Gpr::Edi, 16); }},
        {"add rdi, 0x1360", "48 81 C7 60 13 00 00",
         [](X86Emitter& e) { e.AddImmQ(Gpr::Edi, 0x1360); }},
        {"add rcx, 32", "48 83 C1 20", [](X86Emitter& e) { e.AddImmQ(Gpr::Ecx, 32); }},
        {"add rsi, 2", "48 83 C6 02", [](X86Emitter& e) { e.AddImmQ(Gpr::Esi, 2); }},
        {"add rbx, 0x58", "48 83 C3 58", [](X86Emitter& e) { e.AddImmQ(Gpr::Ebx, 0x58); }},
        {"add r8, 16", "49 83 C0 10", [](X86Emitter& e) { e.AddImmQ(Gpr::R8, 16); }},
        {"add rsp, 16", "48 83 C4 10", [](X86Emitter& e) { e.AddImmQ(Gpr::Esp, 16); }},
        {"sub rsp, 16", "48 83 EC 10", [](X86Emitter& e) { e.SubImmQ(Gpr::Esp, 16); }},
        {"and rcx, -32", "48 83 E1 E0", [](X86Emitter& e) { e.AndImmQ(Gpr::Ecx, -32); }},
        {"and r8, -16", "49 83 E0 F0", [](X86Emitter& e) { e.AndImmQ(Gpr::R8, -16); }},
        {"sub rax, rcx", "48 29 C8", [](X86Emitter& e) { e.SubRegQ(Gpr::Eax, Gpr::Ecx); }},
        {"sub r8, rdi", "49 29 F8", [](X86Emitter& e) { e.SubRegQ(Gpr::R8, Gpr::Edi); }},
        {"sub rdi, 0x200", "48 81 EF 00 02 00 00",
         [](X86Emitter& e) { e.SubImmQ(Gpr::Edi, 0x200); }},
        {"lea rsi, [rdi-0x140]", "48 8D B7 C0 FE FF FF",
         [](X86Emitter& e) { e.LeaQ(Gpr::Esi, At(Gpr::Edi, -0x140)); }},
        {"lea rdi, [rsi+0x150]", "48 8D BE 50 01 00 00",
         [](X86Emitter& e) { e.LeaQ(Gpr::Edi, At(Gpr::Esi, 0x150)); }},
        {"lea r8, [rdi+8]", "4C 8D 47 08", [](X86Emitter& e) { e.LeaQ(Gpr::R8, At(Gpr::Edi, 8)); }},
        {"lea rsi, [rsp]", "48 8D 34 24", [](X86Emitter& e) { e.LeaQ(Gpr::Esi, At(Gpr::Esp)); }},
        {"lea rax, [rdx-24]", "48 8D 42 E8",
         [](X86Emitter& e) { e.LeaQ(Gpr::Eax, At(Gpr::Edx, -24)); }},
        {"mov eax, [r8]", "41 8B 00", [](X86Emitter& e) { e.MovLoad(Gpr::Eax, At(Gpr::R8)); }},
        {"mov eax, [r8+4]", "41 8B 40 04",
         [](X86Emitter& e) { e.MovLoad(Gpr::Eax, At(Gpr::R8, 4)); }},
        {"mov [r8-8], ebx", "41 89 58 F8",
         [](X86Emitter& e) { e.MovStore(At(Gpr::R8, -8), Gpr::Ebx); }},
        {"mov r8d, 0x12345678", "41 B8 78 56 34 12",
         [](X86Emitter& e) { e.MovImm(Gpr::R8, 0x12345678u); }},
        {"xor r8d, r8d", "45 31 C0", [](X86Emitter& e) { e.XorReg(Gpr::R8, Gpr::R8); }},
        {"lea eax, [r8-16]", "41 8D 40 F0",
         [](X86Emitter& e) { e.Lea(Gpr::Eax, At(Gpr::R8, -16)); }},
        {"lea eax, [rdx-24]", "8D 42 E8",
         [](X86Emitter& e) { e.Lea(Gpr::Eax, At(Gpr::Edx, -24)); }},
        {"movzx eax, word [r8+rcx]", "41 0F B7 04 08",
         [](X86Emitter& e) { e.MovzxWord(Gpr::Eax, At(Gpr::R8, Gpr::Ecx)); }},
        {"movzx eax, word [rsi]", "0F B7 06",
         [](X86Emitter& e) { e.MovzxWord(Gpr::Eax, At(Gpr::Esi)); }},
        {"mov ah, [rsi+2]", "8A 66 02", [](X86Emitter& e) { e.MovAhLoad(At(Gpr::Esi, 2)); }},
        {"bswap r8d", "41 0F C8", [](X86Emitter& e) { e.Bswap(Gpr::R8); }},
        {"shr r8d, 3", "41 C1 E8 03", [](X86Emitter& e) { e.ShrImm(Gpr::R8, 3); }},
        {"cmovae edx, r8d", "41 0F 43 D0", [](X86Emitter& e) { e.Cmovae(Gpr::Edx, Gpr::R8); }},
        {"add r8d, 0x1000", "41 81 C0 00 10 00 00",
         [](X86Emitter& e) { e.AddImm(Gpr::R8, 0x1000); }},
        {"cmp r8d, 24", "41 83 F8 18", [](X86Emitter& e) { e.CmpImm(Gpr::R8, 24); }},
        {"movd xmm6, r8d", "66 41 0F 6E F0", [](X86Emitter& e) { e.Movd(Xmm::X6, Gpr::R8); }},
        {"movdqu xmm6, [r8+rcx+0x20]", "F3 41 0F 6F 74 08 20",
         [](X86Emitter& e) { e.Movdqu(Xmm::X6, At(Gpr::R8, Gpr::Ecx, 0x20)); }},
        {"movdqu [r8+rcx+0x1360], xmm6", "F3 41 0F 7F B4 08 60 13 00 00",
         [](X86Emitter& e) { e.Movdqu(At(Gpr::R8, Gpr::Ecx, 0x1360), Xmm::X6); }},
        {"movdqu xmm6, [r8+0x40]", "F3 41 0F 6F 70 40",
         [](X86Emitter& e) { e.Movdqu(Xmm::X6, At(Gpr::R8, 0x40)); }},
        {"movdqu [r8], xmm6", "F3 41 0F 7F 30",
         [](X86Emitter& e) { e.Movdqu(At(Gpr::R8), Xmm::X6); }},
        {"movdqu xmm6, [r8+rcx]", "F3 41 0F 6F 34 08",
         [](X86Emitter& e) { e.Movdqu(Xmm::X6, At(Gpr::R8, Gpr::Ecx)); }},
        {"movdqu xmm0, [rdi+r8]", "F3 42 0F 6F 04 07",
         [](X86Emitter& e) { e.Movdqu(Xmm::X0, At(Gpr::Edi, Gpr::R8)); }},
        {"movdqu xmm5, [rdi+rcx]", "F3 0F 6F 2C 0F",
         [](X86Emitter& e) { e.Movdqu(Xmm::X5, At(Gpr::Edi, Gpr::Ecx)); }},
        {"movdqu xmm7, [rbx+rdx]", "F3 0F 6F 3C 13",
         [](X86Emitter& e) { e.Movdqu(Xmm::X7, At(Gpr::Ebx, Gpr::Edx)); }},
        {"movdqu [rsp], xmm5", "F3 0F 7F 2C 24",
         [](X86Emitter& e) { e.Movdqu(At(Gpr::Esp), Xmm::X5); }},
        {"movdqa xmm1, [rip-0xC0]", "66 0F 6F 0D 40 FF FF FF",
         [](X86Emitter& e) { e.Op(SseOp::Movdqa, Xmm::X1, Rip(8, -0xC0)); }},
        {"pxor xmm0, [rip+0x10]", "66 0F EF 05 10 00 00 00",
         [](X86Emitter& e) { e.Op(SseOp::Pxor, Xmm::X0, Rip(8, 0x10)); }},
        {"pand xmm6, [rip-0x90]", "66 0F DB 35 70 FF FF FF",
         [](X86Emitter& e) { e.Op(SseOp::Pand, Xmm::X6, Rip(8, -0x90)); }},
        {"pcmpeqb xmm6, [rip-0xA0]", "66 0F 74 35 60 FF FF FF",
         [](X86Emitter& e) { e.Op(SseOp::Pcmpeqb, Xmm::X6, Rip(8, -0xA0)); }},
        {"pminub xmm4, [r8+rcx-16]", "66 41 0F DA 64 08 F0",
         [](X86Emitter& e) { e.Op(SseOp::Pminub, Xmm::X4, At(Gpr::R8, Gpr::Ecx, -16)); }},
        {"rep movsb", "F3 A4", [](X86Emitter& e) { e.RepMovsb(); }},
    };
    return table;
}

TEST(X86Emitter, EncodesEveryInstructionAsTabled) {
    for (const Encoding& entry : Table()) {
        uint8_t buffer[32] = {};
        X86Emitter emitter(buffer, buffer + sizeof buffer);
        entry.Emit(emitter);
        EXPECT_FALSE(emitter.Overflowed());
        EXPECT_EQ(Hex(buffer, emitter.Size()), entry.Hex) << entry.Instruction;
    }
}

TEST(X86Emitter, EncodesEvery64BitFormAsTheAssemblerDoes) {
    for (const Encoding& entry : Table64()) {
        uint8_t buffer[32] = {};
        X86Emitter emitter(buffer, buffer + sizeof buffer, reinterpret_cast<const uint8_t*>(kRun));
        entry.Emit(emitter);
        EXPECT_FALSE(emitter.Overflowed()) << entry.Instruction;
        EXPECT_EQ(Hex(buffer, emitter.Size()), entry.Hex) << entry.Instruction;
    }
}

// The wide forms, as `as --32` writes the AVX2 instructions named (the last as `as --64`
// does, RIP-relative from kRun): the same calls with the emitter set wide.
const std::vector<Encoding>& WideTable() {
    static const std::vector<Encoding> table = {
        {"vpxor ymm0, ymm0, ymm5", "C5 FD EF C5",
         [](X86Emitter& e) { e.Op(SseOp::Pxor, Xmm::X0, Xmm::X5); }},
        {"vpand ymm1, ymm1, ymm7", "C5 F5 DB CF",
         [](X86Emitter& e) { e.Op(SseOp::Pand, Xmm::X1, Xmm::X7); }},
        {"vpminub ymm3, ymm3, ymm6", "C5 E5 DA DE",
         [](X86Emitter& e) { e.Op(SseOp::Pminub, Xmm::X3, Xmm::X6); }},
        {"vpcmpeqb ymm2, ymm2, ymm4", "C5 ED 74 D4",
         [](X86Emitter& e) { e.Op(SseOp::Pcmpeqb, Xmm::X2, Xmm::X4); }},
        {"vmovdqa ymm1, ymm6", "C5 FD 6F CE",
         [](X86Emitter& e) { e.Op(SseOp::Movdqa, Xmm::X1, Xmm::X6); }},
        {"vpor ymm2, ymm2, [eax+0x10]", "C5 ED EB 50 10",
         [](X86Emitter& e) { e.Op(SseOp::Por, Xmm::X2, At(Gpr::Eax, 0x10)); }},
        {"vpmaxub ymm4, ymm4, [0x12345670]", "C5 DD DE 25 70 56 34 12",
         [](X86Emitter& e) { e.Op(SseOp::Pmaxub, Xmm::X4, Absolute(kAddress)); }},
        {"vmovdqu ymm1, [0x12345670] (a movdqa from memory)", "C5 FE 6F 0D 70 56 34 12",
         [](X86Emitter& e) { e.Op(SseOp::Movdqa, Xmm::X1, Absolute(kAddress)); }},
        {"vmovdqu ymm5, [edi+ecx-32]", "C5 FE 6F 6C 0F E0",
         [](X86Emitter& e) { e.Movdqu(Xmm::X5, At(Gpr::Edi, Gpr::Ecx, -32)); }},
        {"vmovdqu [edi+ecx], ymm0", "C5 FE 7F 04 0F",
         [](X86Emitter& e) { e.Movdqu(At(Gpr::Edi, Gpr::Ecx), Xmm::X0); }},
        {"vmovdqu ymm7, [ebx+edx]", "C5 FE 6F 3C 13",
         [](X86Emitter& e) { e.Movdqu(Xmm::X7, At(Gpr::Ebx, Gpr::Edx)); }},
        {"vmovdqu [esp], ymm5", "C5 FE 7F 2C 24",
         [](X86Emitter& e) { e.Movdqu(At(Gpr::Esp), Xmm::X5); }},
        {"vzeroupper", "C5 F8 77", [](X86Emitter& e) { e.Vzeroupper(); }},
        {"vpxor ymm0, ymm0, [rip+0x100]", "C5 FD EF 05 00 01 00 00",
         [](X86Emitter& e) { e.Op(SseOp::Pxor, Xmm::X0, Rip(8, 0x100)); }},
    };
    return table;
}

TEST(X86Emitter, EncodesEveryWideFormAsTheAssemblerDoes) {
    for (const Encoding& entry : WideTable()) {
        uint8_t buffer[32] = {};
        X86Emitter emitter(buffer, buffer + sizeof buffer, reinterpret_cast<const uint8_t*>(kRun));
        emitter.SetWide(true);
        entry.Emit(emitter);
        EXPECT_FALSE(emitter.Overflowed()) << entry.Instruction;
        EXPECT_EQ(Hex(buffer, emitter.Size()), entry.Hex) << entry.Instruction;
    }
}

// What has no wide form here stops the emitter rather than be written as something else.
TEST(X86Emitter, WideFormsItCannotWriteStopIt) {
    const std::function<void(X86Emitter&)> refused[] = {
        [](X86Emitter& e) { e.Op(SseOp::Punpcklbw, Xmm::X6, Xmm::X6); },
        [](X86Emitter& e) { e.Movd(Xmm::X6, Gpr::Eax); },
        [](X86Emitter& e) { e.Pshufd(Xmm::X6, Xmm::X6, 0x50); },
        [](X86Emitter& e) { e.Pshuflw(Xmm::X6, Xmm::X6, 0x50); },
        [](X86Emitter& e) { e.Op(SseOp::Pminub, Xmm::X4, At(Gpr::R8, Gpr::Ecx, -16)); },
        [](X86Emitter& e) { e.Movdqu(Xmm::X4, At(Gpr::Edi, Gpr::R8)); },
    };
    for (size_t i = 0; i < std::size(refused); ++i) {
        uint8_t buffer[32] = {};
        X86Emitter emitter(buffer, buffer + sizeof buffer);
        emitter.SetWide(true);
        refused[i](emitter);
        EXPECT_TRUE(emitter.Overflowed()) << "case " << i;
    }
}

// A RIP-relative operand counts from where the instruction runs, not from where it is
// written; a target no 32-bit displacement reaches, and AH beside a REX prefix, cannot be
// encoded: the emitter says so rather than write something else.
TEST(X86Emitter, RipRelativeOperandsCountFromTheRunView) {
    uint8_t buffer[32] = {};
    X86Emitter emitter(buffer, buffer + sizeof buffer, reinterpret_cast<const uint8_t*>(kRun));
    emitter.RepMovsb();
    emitter.Op(SseOp::Pxor, Xmm::X0, Rip(2 + 8, -0x20)); // at kRun + 2
    EXPECT_FALSE(emitter.Overflowed());
    EXPECT_EQ(Hex(buffer, emitter.Size()), "F3 A4 66 0F EF 05 E0 FF FF FF");

    // movdqa xmm1, [rip+disp] is 8 bytes: from run, disp = target - (run + 8).
    struct Case {
        const char* What;
        uintptr_t Run;
        uintptr_t Target;
        bool Reaches;
    } cases[] = {
        {"2 GiB - 1 past the end", 0x10000000, 0x10000008u + 0x7FFFFFFFu, true},
        {"2 GiB past the end", 0x10000000, 0x10000008u + 0x80000000u, false},
        {"2 GiB before the end", 0xA0000000, 0xA0000008u - 0x80000000u, true},
        {"2 GiB + 1 before the end", 0xA0000000, 0xA0000008u - 0x80000001u, false},
    };
    for (const Case& c : cases) {
        X86Emitter far(buffer, buffer + sizeof buffer, reinterpret_cast<const uint8_t*>(c.Run));
        far.Op(SseOp::Movdqa, Xmm::X1, RipRelative(reinterpret_cast<const void*>(c.Target)));
        EXPECT_EQ(far.Overflowed(), !c.Reaches) << c.What;
        if (c.Reaches) {
            EXPECT_EQ(far.Size(), 8u) << c.What;
        }
    }
    X86Emitter ah(buffer, buffer + sizeof buffer);
    ah.MovAhLoad(At(Gpr::R8, 2));
    EXPECT_TRUE(ah.Overflowed()) << "mov ah with an R8 base";
}

// The loop branch: short when the top is within reach of an 8-bit distance, near otherwise.
TEST(X86Emitter, LoopBranchTakesTheShortFormOnlyWhenItReaches) {
    struct Case {
        uint32_t BodyBytes;
        const char* Hex;
    } cases[] = {
        {0, "75 FE"},
        {126, "75 80"},
        {127, "0F 85 7B FF FF FF"},
        {300, "0F 85 CE FE FF FF"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> buffer(c.BodyBytes + 8, 0x90);
        X86Emitter emitter(buffer.data(), buffer.data() + buffer.size());
        const uint8_t* top = emitter.Position();
        for (uint32_t i = 0; i < c.BodyBytes; ++i)
            emitter.Bytes(buffer.data(), 1);
        uint8_t* branch = emitter.Position();
        emitter.JnzBack(top);
        EXPECT_EQ(Hex(branch, static_cast<uint32_t>(emitter.Position() - branch)), c.Hex)
            << c.BodyBytes;
    }
}

TEST(X86Emitter, StopsAtItsLimitAndSaysSo) {
    uint8_t buffer[8] = {};
    X86Emitter emitter(buffer, buffer + 6);
    emitter.Movdqu(Xmm::X5, At(Gpr::Edi, Gpr::Ecx)); // 5 bytes: fits
    EXPECT_FALSE(emitter.Overflowed());
    emitter.Op(SseOp::Pxor, Xmm::X0, Absolute(kAddress)); // 8 bytes: does not
    EXPECT_TRUE(emitter.Overflowed());
    EXPECT_LE(emitter.Size(), 6u);
    EXPECT_EQ(buffer[6], 0);
    EXPECT_EQ(buffer[7], 0);
}

TEST(X86Emitter, PadsWithNopsToTheAlignment) {
    alignas(16) uint8_t buffer[32] = {};
    X86Emitter emitter(buffer, buffer + sizeof buffer);
    emitter.MovImm(Gpr::Eax, 0); // 5 bytes
    emitter.AlignWithNops(16);
    EXPECT_EQ(emitter.Size(), 16u);
    for (int i = 5; i < 16; ++i)
        EXPECT_EQ(buffer[i], 0x90);
    emitter.AlignWithNops(16);
    EXPECT_EQ(emitter.Size(), 16u);
}

} // namespace
