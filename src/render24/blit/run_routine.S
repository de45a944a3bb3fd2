/* Row call of a prepared routine.
 *
 * i386, fastcall: ECX holds the BlitRoutine (EDX is unused), the stack holds the return address and
 * the source, destination and pattern rows. The frame built here is the one every routine
 * expects (routine_frame.h): the rows above EBP, Entry, the plane starts and the BlitRoutine
 * in the slots below it, and below them the saved EBX, ESI and EDI. The routine's epilogue (pop EDI, ESI, EBX;
 * leave; ret 12) returns to our caller and removes the three rows, so there is no way back
 * through here.
 */
#include "render24/blit/asm_macros.h"
#include "render24/blit/routine_frame.h"

#if MARL_ROUTINE_64

/* x86-64: the rows are pushed as the i386 caller pushes them and the frame builder is called, so
 * that a routine finds the same frame, 8 bytes a slot; its closing "ret 24" returns here with the
 * rows removed. The routines change RAX, RCX, RDX, RBX, RSI, RDI and the flags, and the vector
 * routines R8 and XMM0 to XMM7; RBX, RSI and RDI come back through the routine's epilogue. */
#define MARL_RUN_ROUTINE MarlRunRoutine

    .text
    GLOBAL_HIDDEN(MARL_RUN_ROUTINE)
    FUNCTION_TYPE(MARL_RUN_ROUTINE)
MARL_RUN_ROUTINE:
#if defined(_WIN32)
    /* Microsoft x64: RCX the BlitRoutine, RDX, R8, R9 the source, destination and pattern rows.
     * XMM6 and XMM7 belong to the caller there. */
    subq $40, %rsp
    movdqu %xmm6, (%rsp)
    movdqu %xmm7, 16(%rsp)
    movq %rcx, %rax
    pushq %r9
    pushq %r8
    pushq %rdx
    call .Lframe
    movdqu (%rsp), %xmm6
    movdqu 16(%rsp), %xmm7
    addq $40, %rsp
    ret
#else
    /* System V: RDI the BlitRoutine, RSI, RDX, RCX the source, destination and pattern rows. */
    movq %rdi, %rax
    pushq %rcx
    pushq %rdx
    pushq %rsi
    call .Lframe
    ret
#endif

/* RAX: the BlitRoutine. */
.Lframe:
    pushq %rbp
    movq %rsp, %rbp
    subq $MARL_FRAME_SLOT_BYTES, %rsp
    pushq %rbx
    pushq %rsi
    pushq %rdi
    movq %rax, MARL_FRAME_ROUTINE(%rbp)
    movq (%rax), %rax
    movq %rax, MARL_FRAME_ENTRY(%rbp)
    jmp *%rax
    FUNCTION_END(MARL_RUN_ROUTINE)

#else

#define MARL_RUN_ROUTINE FASTCALL_SYMBOL(MarlRunRoutine, 20)

    .text
    GLOBAL_HIDDEN(MARL_RUN_ROUTINE)
    FUNCTION_TYPE(MARL_RUN_ROUTINE)
MARL_RUN_ROUTINE:
    pushl %ebp
    movl %esp, %ebp
    subl $MARL_FRAME_SLOT_BYTES, %esp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl %ecx, MARL_FRAME_ROUTINE(%ebp)
    movl (%ecx), %eax
    movl %eax, MARL_FRAME_ENTRY(%ebp)
    jmp *%eax
    FUNCTION_END(MARL_RUN_ROUTINE)

#endif

    NOTE_GNU_STACK
