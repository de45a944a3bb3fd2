/* The prebuilt row routines (the template block).
 *
 * Thirty-three finished routines for the sixteen most common ROP3 codes, one per way the
 * code can take its operands. Build picks one and writes the request's values into the
 * immediates labelled below (the patch slots), then Run calls it once per row. The block here
 * is never run or patched: it is copied once into a code area of its own (code_area.h),
 * where the routines are patched through one view and run from the other.
 *
 * Every routine is entered by Run (run_routine.S) with the frame of routine_frame.h (the
 * three rows above EBP, the pattern, destination and source plane starts kept below it) and
 * uses EDI for the destination sample, ESI for the source byte, EBX for the pattern
 * sample, ECX as the pixel counter, EAX as the accumulator (AL the sample) and EDX for the
 * second operand. It does planes 0, 1, 2 in turn and in each plane the pixels left to right,
 * then ends with pop EDI, ESI, EBX; leave; ret 12 (5F 5E 5B C9 C2 0C 00).
 *
 * The code is position independent: relative jumps only, every address from the frame.
 *
 * Per pixel the formula is evaluated as a small stack machine in the order of the code's
 * reverse-Polish name: each operand is loaded into EAX and pushed when another operand
 * follows it; a two-operand operator pops one value into EDX and combines it with EAX; NOT
 * complements EAX. AND keeps the smaller sample, OR the larger (unsigned), XOR is bitwise.
 *
 * Patch slots: each has a record in the slot table (below) and a global hidden label
 * Tmpl_<hex>_<variant>_<kind>Slot<n> (for reading the code) on a 32-bit
 * immediate, stored as 0x12345678 (0x56789ABC for PatternStepSlot), or on the one-byte
 * displacement of a loop's closing branch (LoopBackSlot, stored as 0xE2; the body it returns
 * to is labelled Tmpl_<hex>_<variant>_LoopTop<n>). The slot number is the plane, except
 * DestStep/SourceStep/PatternStep (0 before plane 1, 1 before plane 2) and the second colour
 * of a formula that reads P twice (ColorSlot3 to 5 for planes 0 to 2).
 */

#include "render24/blit/asm_macros.h"
#include "render24/blit/routine_frame.h"

/* The same routines for both editions: on x86-64 the pointers (EDI, ESI, EBX, EDX where it holds
 * an address), the frame register and the stack machine's pushes are 64-bit, the samples and
 * the counter stay 32-bit. */
#if MARL_ROUTINE_64
#define PTR_DI %rdi
#define PTR_SI %rsi
#define PTR_BX %rbx
#define PTR_DX %rdx
#define FRAME %rbp
#define STACK_AX %rax
#define STACK_DX %rdx
#define movP movq
#define addP addq
#define adcP adcq
#define cmpP cmpq
#define incP incq
#define cmoveP cmoveq
#define pushP pushq
#define popP popq
#define SLOT_ADDRESS .quad
#else
#define PTR_DI %edi
#define PTR_SI %esi
#define PTR_BX %ebx
#define PTR_DX %edx
#define FRAME %ebp
#define STACK_AX %eax
#define STACK_DX %edx
#define movP movl
#define addP addl
#define adcP adcl
#define cmpP cmpl
#define incP incl
#define cmoveP cmovel
#define pushP pushl
#define popP popl
#define SLOT_ADDRESS .long
#endif

/* The slot table: one record per patch slot, in block order, written by the Slot macros
 * below as the routines are assembled (templates.cpp reads it; nothing lists the slots
 * twice). A record is the slot's address, the loop top of a LoopBack slot (else 0), the
 * slot's kind as numbered here (the order of SlotKind in templates.h) and its number. */
    .set SlotKind_Count, 0
    .set SlotKind_DestStep, 1
    .set SlotKind_SourceStep, 2
    .set SlotKind_Phase, 3
    .set SlotKind_Wrap, 4
    .set SlotKind_PatternStep, 5
    .set SlotKind_Color, 6
    .set SlotKind_SetBit, 7
    .set SlotKind_ClearBit, 8
    .set SlotKind_BitPhase, 9
    .set SlotKind_LoopBack, 10

    DATA_SECTION(marl_template_slots)
    .balign 8
    GLOBAL_LABEL MarlTemplateSlots

    DATA_SECTION(marl_templates)
    .balign 4096
    GLOBAL_LABEL MarlTemplateBlock

/* ---- labels and slots ------------------------------------------------------------------ */

.macro Label name
    GLOBAL_LABEL \name
.endm

/* Adds a record to the slot table and comes back to the block. */
.macro SlotRecord address, top, kind, index
    DATA_SECTION(marl_template_slots)
    SLOT_ADDRESS \address, \top
    .byte SlotKind_\kind, \index, 0, 0
#if MARL_ROUTINE_64
    .long 0                     /* the record's padding to a whole number of pointers */
#endif
    DATA_SECTION(marl_templates)
.endm

/* Labels the 32-bit immediate that ends the instruction just assembled. */
.macro Slot routine, kind, index
    GLOBAL_SET \routine\()_\kind\()Slot\index, . - 4
    SlotRecord \routine\()_\kind\()Slot\index, 0, \kind, \index
.endm

/* ---- the variant's operand sources ------------------------------------------------------ */

.macro VariantFlags variant
    .set .LPatternRow, 0
    .set .LPatternSolid, 0
    .set .LSourceBits, 0
    .set .LSourcePlanes, 0
    .ifc \variant,Solid
    .set .LPatternSolid, 1
    .endif
    .ifc \variant,Pattern
    .set .LPatternRow, 1
    .endif
    .ifc \variant,OneBit
    .set .LSourceBits, 1
    .endif
    .ifc \variant,Planes
    .set .LSourcePlanes, 1
    .endif
    .ifc \variant,OneBitSolid
    .set .LSourceBits, 1
    .set .LPatternSolid, 1
    .endif
    .ifc \variant,OneBitPattern
    .set .LSourceBits, 1
    .set .LPatternRow, 1
    .endif
    .ifc \variant,PlanesSolid
    .set .LSourcePlanes, 1
    .set .LPatternSolid, 1
    .endif
    .ifc \variant,PlanesPattern
    .set .LSourcePlanes, 1
    .set .LPatternRow, 1
    .endif
.endm

/* ---- operands and operators of the stack machine ---------------------------------------- */

/* mode "push": another operand follows, so the value goes onto the stack; "acc": it stays in
 * EAX for the operator that follows. */
.macro Keep mode
    .ifc \mode,push
    pushP STACK_AX
    .endif
.endm

.macro OpD mode
    movb (PTR_DI), %al
    Keep \mode
.endm

/* P: the pattern sample, or the solid colour of the plane from colour slot \slot. */
.macro OpP mode, routine, slot
    .if .LPatternRow
    movb (PTR_BX), %al
    Keep \mode
    .elseif .LPatternSolid
    .ifc \mode,push
    pushP $0x12345678
    Slot \routine, Color, \slot
    .else
    movl $0x12345678, %eax
    Slot \routine, Color, \slot
    .endif
    .else
    .error "the formula reads P but the variant has no pattern"
    .endif
.endm

/* S: the source byte, or for a one-bit row the set-bit or clear-bit colour of the plane.
 * Pixel i of the plane (i = EDI - destination plane start) is bit 7 - q of the current byte,
 * q = (i + BitPhase) AND 7; after the pixel with q = 7 the source moves to the next byte. */
.macro OpS mode, routine, plane
    .if .LSourcePlanes
    movb (PTR_SI), %al
    .elseif .LSourceBits
    movl %edi, %eax
    subl MARL_FRAME_DEST_START(FRAME), %eax
    addl $0x12345678, %eax
    Slot \routine, BitPhase, \plane
    andl $7, %eax
    xorl $7, %eax               /* EAX = 7 - q, the bit number */
    movzbl (PTR_SI), %edx
    btl %eax, %edx              /* CF = the pixel's bit */
    sbbl %edx, %edx             /* EDX = all ones for a set bit, else 0 */
    cmpl $1, %eax
    adcP $0, PTR_SI               /* q = 7: next source byte */
    movl %edx, %eax
    notl %eax
    andl $0x12345678, %edx
    Slot \routine, SetBit, \plane
    andl $0x12345678, %eax
    Slot \routine, ClearBit, \plane
    orl %edx, %eax
    .else
    .error "the formula reads S but the variant has no source"
    .endif
    Keep \mode
.endm

.macro OpZero
    xorl %eax, %eax
.endm

.macro OpNot
    notl %eax
.endm

.macro OpXor
    popP STACK_DX
    xorb %dl, %al
.endm

/* AND: keep the lower sample (EAX stays when AL is below DL). */
.macro OpMin
    popP STACK_DX
    cmpb %dl, %al
    cmovael %edx, %eax
.endm

/* OR: keep the higher sample (EAX stays when AL is above DL). */
.macro OpMax
    popP STACK_DX
    cmpb %dl, %al
    cmovbel %edx, %eax
.endm

/* ---- the sixteen formulas, each in the order of its name --------------------------------
 * Arguments: the routine's label, the plane, and the colour slot of a second P. */

.macro Pixel_00 r, plane, second        /* "0" */
    OpZero
.endm

.macro Pixel_0A r, plane, second        /* "DPna" */
    OpD push
    OpP acc, \r, \plane
    OpNot
    OpMin
.endm

.macro Pixel_0F r, plane, second        /* "Pn" */
    OpP acc, \r, \plane
    OpNot
.endm

.macro Pixel_55 r, plane, second        /* "Dn" */
    OpD acc
    OpNot
.endm

.macro Pixel_5A r, plane, second        /* "DPx" */
    OpD push
    OpP acc, \r, \plane
    OpXor
.endm

.macro Pixel_5F r, plane, second        /* "DPan" */
    OpD push
    OpP acc, \r, \plane
    OpMin
    OpNot
.endm

.macro Pixel_66 r, plane, second        /* "DSx" */
    OpD push
    OpS acc, \r, \plane
    OpXor
.endm

.macro Pixel_88 r, plane, second        /* "DSa", the complement of "DSan" */
    OpD push
    OpS acc, \r, \plane
    OpMin
.endm

.macro Pixel_A0 r, plane, second        /* "DPa", the complement of "DPan" */
    OpD push
    OpP acc, \r, \plane
    OpMin
.endm

.macro Pixel_B8 r, plane, second        /* "PSDPxax", the complement of "PSDPxaxn" */
    OpP push, \r, \plane
    OpS push, \r, \plane
    OpD push
    OpP acc, \r, \second
    OpXor
    OpMin
    OpXor
.endm

.macro Pixel_CC r, plane, second        /* "S", the complement of "Sn" */
    OpS acc, \r, \plane
.endm

.macro Pixel_E2 r, plane, second        /* "DSPDxax", the complement of "DSPDxaxn" */
    OpD push
    OpS push, \r, \plane
    OpP push, \r, \plane
    OpD acc
    OpXor
    OpMin
    OpXor
.endm

.macro Pixel_EE r, plane, second        /* "DSo", the complement of "DSon" */
    OpD push
    OpS acc, \r, \plane
    OpMax
.endm

.macro Pixel_F0 r, plane, second        /* "P", the complement of "Pn" */
    OpP acc, \r, \plane
.endm

.macro Pixel_FA r, plane, second        /* "DPo", the complement of "DPon" */
    OpD push
    OpP acc, \r, \plane
    OpMax
.endm

.macro Pixel_FF r, plane, second        /* "0n", the complement of "0" */
    OpZero
    OpNot
.endm

/* ---- the routine around the formula ----------------------------------------------------- */

/* Keep the plane starts of plane 0 in the frame. */
.macro Prologue
    movP MARL_FRAME_DEST_ROW(FRAME), PTR_DI
    movP PTR_DI, MARL_FRAME_DEST_START(FRAME)
    .if .LSourceBits | .LSourcePlanes
    movP MARL_FRAME_SOURCE_ROW(FRAME), PTR_SI
    movP PTR_SI, MARL_FRAME_SOURCE_START(FRAME)
    .endif
    .if .LPatternRow
    movP MARL_FRAME_PATTERN_ROW(FRAME), PTR_BX
    movP PTR_BX, MARL_FRAME_PATTERN_START(FRAME)
    .endif
.endm

/* One plane: RowWidth pixels from the plane starts; the pattern pointer starts PatternPhase
 * into its run and goes back to the run's start when it reaches start + PatternWidth. The
 * counter is tested after each pixel. */
.macro PlaneLoop r, hex, plane, second
    .if .LPatternRow
    movP MARL_FRAME_PATTERN_START(FRAME), PTR_BX
    addP $0x12345678, PTR_BX
    Slot \r, Phase, \plane
    .endif
    movl $0x12345678, %ecx
    Slot \r, Count, \plane
    Label \r\()_LoopTop\plane
    Pixel_\hex \r, \plane, \second
    movb %al, (PTR_DI)
    incP PTR_DI
    .if .LSourcePlanes
    incP PTR_SI
    .endif
    .if .LPatternRow
    incP PTR_BX
    movP MARL_FRAME_PATTERN_START(FRAME), PTR_DX
    addP $0x12345678, PTR_DX
    Slot \r, Wrap, \plane
    cmpP PTR_DX, PTR_BX
    cmoveP MARL_FRAME_PATTERN_START(FRAME), PTR_BX
    .endif
    decl %ecx
    .byte 0x75, 0xE2            /* jnz back to the loop top: the displacement is patched */
    GLOBAL_SET \r\()_LoopBackSlot\plane, . - 1
    SlotRecord \r\()_LoopBackSlot\plane, \r\()_LoopTop\plane, LoopBack, \plane
    .if . - \r\()_LoopTop\plane > 128
    .error "the pixel body is too long for the loop's 8-bit displacement"
    .endif
.endm

/* Step the plane starts to the next plane; a one-bit source starts its row again. */
.macro NextPlane r, step
    movP MARL_FRAME_DEST_START(FRAME), PTR_DI
    addP $0x12345678, PTR_DI
    Slot \r, DestStep, \step
    movP PTR_DI, MARL_FRAME_DEST_START(FRAME)
    .if .LSourcePlanes
    movP MARL_FRAME_SOURCE_START(FRAME), PTR_SI
    addP $0x12345678, PTR_SI
    Slot \r, SourceStep, \step
    movP PTR_SI, MARL_FRAME_SOURCE_START(FRAME)
    .elseif .LSourceBits
    movP MARL_FRAME_SOURCE_START(FRAME), PTR_SI
    .endif
    .if .LPatternRow
    movP MARL_FRAME_PATTERN_START(FRAME), PTR_BX
    addP $0x56789ABC, PTR_BX
    Slot \r, PatternStep, \step
    movP PTR_BX, MARL_FRAME_PATTERN_START(FRAME)
    .endif
.endm

.macro Epilogue
    .byte MARL_FRAME_EPILOGUE_BYTES
.endm

.macro Routine r, hex, variant
    VariantFlags \variant
    Label \r
    Prologue
    PlaneLoop \r, \hex, 0, 3
    NextPlane \r, 0
    PlaneLoop \r, \hex, 1, 4
    NextPlane \r, 1
    PlaneLoop \r, \hex, 2, 5
    Epilogue
    Label \r\()_End
.endm

/* ---- the routines ------------------------------------------------------------------------ */

#define MARL_TEMPLATE(code, hex, variant, reads) Routine Tmpl_##hex##_##variant, hex, variant
#include "render24/blit/serial/template_catalogue.def"
#undef MARL_TEMPLATE

/* A row of no pixels: nothing to do but return. */
Label MarlTemplateReturn
    Epilogue

    GLOBAL_LABEL MarlTemplateBlockEnd
    .balign 4096

    DATA_SECTION(marl_template_slots)
    GLOBAL_LABEL MarlTemplateSlotsEnd

    NOTE_GNU_STACK
