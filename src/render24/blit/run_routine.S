/* Row call of a prepared routine.
 *
 * fastcall: ECX holds the BlitRoutine (EDX is unused), the stack holds the return address and
 * the source, destination and pattern rows. The frame built here is the one every routine expects:
 *   EBP+8, +12, +16  the three rows
 *   EBP-4            Entry
 *   EBP-8, -12, -16  pattern, destination and source plane starts (kept by the routine)
 *   EBP-24           the BlitRoutine
 * and below them the saved EBX, ESI and EDI. The routine's epilogue (pop EDI, ESI, EBX;
 * leave; ret 12) returns to our caller and removes the three rows, so there is no way back
 * through here.
 */
#include "render24/blit/asm_macros.h"

#define MARL_RUN_ROUTINE FASTCALL_SYMBOL(MarlRunRoutine, 20)

    .text
    GLOBAL_HIDDEN(MARL_RUN_ROUTINE)
    FUNCTION_TYPE(MARL_RUN_ROUTINE)
MARL_RUN_ROUTINE:
    pushl %ebp
    movl %esp, %ebp
    subl $24, %esp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl %ecx, -24(%ebp)
    movl (%ecx), %eax
    movl %eax, -4(%ebp)
    jmp *%eax
    FUNCTION_END(MARL_RUN_ROUTINE)

    NOTE_GNU_STACK
