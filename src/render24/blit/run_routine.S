/* Row call of a prepared routine.
 *
 * fastcall: ECX holds the BlitRoutine (EDX is unused), the stack holds the return address and
 * the source, destination and pattern rows. The frame built here is the one every routine
 * expects (routine_frame.h): the rows above EBP, Entry, the plane starts and the BlitRoutine
 * in the slots below it, and below them the saved EBX, ESI and EDI. The routine's epilogue (pop EDI, ESI, EBX;
 * leave; ret 12) returns to our caller and removes the three rows, so there is no way back
 * through here.
 */
#include "render24/blit/asm_macros.h"
#include "render24/blit/routine_frame.h"

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

    NOTE_GNU_STACK
