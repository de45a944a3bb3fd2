// The watching caller of the row call (support/register_watch.h).
#include "support/register_watch.h"

#include "support/asm_names.h"

#if MARL_ROUTINE_64
// Calls a prepared routine through the row call with every register the platform's convention
// keeps set to a mark (RBX, R12 to R15; on Microsoft x64 also RSI, RDI, XMM6 and XMM7), and
// answers 1 when they, RBP and the stack pointer come back as they were. The frame is the same
// in both conventions (RSI, RDI, XMM6 and XMM7 are saved in both; they are marked and checked
// only where the convention keeps them: under System V, RDI and RSI carry arguments).
#if defined(_WIN32)
#define MARLTEST_WIN64_ONLY(text) text
#else
#define MARLTEST_WIN64_ONLY(text) ""
#endif
extern "C" __attribute__((naked, noinline)) uint32_t
CallWatchingRegisters(marl::BlitRoutine*, const void*, void*, const void*) {
    asm(R"(
        pushq %rbp
        pushq %rbx
        pushq %rsi
        pushq %rdi
        pushq %r12
        pushq %r13
        pushq %r14
        pushq %r15
        subq $72, %rsp
        movdqu %xmm6, 32(%rsp)
        movdqu %xmm7, 48(%rsp)
        movq %rsp, %rbp
        movabsq $0x0B0B0B0B0B0B0B0B, %rbx
        movabsq $0x0C0C0C0C0C0C0C0C, %r12
        movabsq $0x1313131313131313, %r13
        movabsq $0x1414141414141414, %r14
        movabsq $0x1515151515151515, %r15
    )" MARLTEST_WIN64_ONLY(R"(
        movabsq $0x0505050505050505, %rsi
        movabsq $0x0D0D0D0D0D0D0D0D, %rdi
        movq %r12, %xmm6
        punpcklqdq %xmm6, %xmm6
        movq %r13, %xmm7
        punpcklqdq %xmm7, %xmm7
    )") R"(
        call MarlRunRoutine
        xorl %eax, %eax
        cmpq %rsp, %rbp
        jne 1f
        movabsq $0x0B0B0B0B0B0B0B0B, %rcx
        cmpq %rcx, %rbx
        jne 1f
        movabsq $0x0C0C0C0C0C0C0C0C, %rcx
        cmpq %rcx, %r12
        jne 1f
        movabsq $0x1313131313131313, %rcx
        cmpq %rcx, %r13
        jne 1f
        movabsq $0x1414141414141414, %rcx
        cmpq %rcx, %r14
        jne 1f
        movabsq $0x1515151515151515, %rcx
        cmpq %rcx, %r15
        jne 1f
    )" MARLTEST_WIN64_ONLY(R"(
        movabsq $0x0505050505050505, %rcx
        cmpq %rcx, %rsi
        jne 1f
        movabsq $0x0D0D0D0D0D0D0D0D, %rcx
        cmpq %rcx, %rdi
        jne 1f
        movq %r12, %xmm0
        punpcklqdq %xmm0, %xmm0
        pcmpeqb %xmm6, %xmm0
        pmovmskb %xmm0, %ecx
        cmpl $0xFFFF, %ecx
        jne 1f
        movq %r13, %xmm0
        punpcklqdq %xmm0, %xmm0
        pcmpeqb %xmm7, %xmm0
        pmovmskb %xmm0, %ecx
        cmpl $0xFFFF, %ecx
        jne 1f
    )") R"(
        movl $1, %eax
    1:
        movq %rbp, %rsp
        movdqu 32(%rsp), %xmm6
        movdqu 48(%rsp), %xmm7
        addq $72, %rsp
        popq %r15
        popq %r14
        popq %r13
        popq %r12
        popq %rdi
        popq %rsi
        popq %rbx
        popq %rbp
        ret
    )");
}
#undef MARLTEST_WIN64_ONLY
#else
// Calls a prepared routine through the row call with EBX, ESI and EDI set to marks, and
// answers 1 when they, EBP and the stack pointer come back as they were with the three row
// arguments removed.
extern "C" __attribute__((naked, noinline)) uint32_t
CallWatchingRegisters(marl::BlitRoutine*, const void*, void*, const void*) {
    asm(R"(
        pushl %ebp
        pushl %ebx
        pushl %esi
        pushl %edi
        movl 20(%esp), %ecx
        movl %esp, %ebp
        pushl 32(%ebp)
        pushl 28(%ebp)
        pushl 24(%ebp)
        movl $0x0B0B0B0B, %ebx
        movl $0x05050505, %esi
        movl $0x0D0D0D0D, %edi
        call )" MARLTEST_ASM_FASTCALL_NAME(MarlRunRoutine, 20) R"(
        xorl %eax, %eax
        cmpl %esp, %ebp
        jne 1f
        cmpl $0x0B0B0B0B, %ebx
        jne 1f
        cmpl $0x05050505, %esi
        jne 1f
        cmpl $0x0D0D0D0D, %edi
        jne 1f
        movl $1, %eax
    1:
        movl %ebp, %esp
        popl %edi
        popl %esi
        popl %ebx
        popl %ebp
        ret
    )");
}

#endif
