/* The assembler spellings that differ between the ELF builds (i386, x86-64) and the PE/COFF
 * ones (Win32, Win64).
 *
 * On Win32 a C symbol carries a leading underscore and a fastcall one is decorated as
 * @name@<argument bytes>; on Win64 neither is decorated (there is one calling convention).
 * COFF has no symbol visibility (nothing leaves a DLL that its .def does not name), no symbol
 * types or sizes, and no GNU-stack note. Only the spellings differ: every instruction and
 * every data byte of an edition assembles the same in its ELF and its COFF build.
 *
 * The cpp macros serve symbols written out in full; the gas macros at the end serve labels
 * made inside other gas macros from their arguments, where cpp cannot paste. */
#pragma once

#if defined(_WIN32) && !defined(__x86_64__)
#define MARL_ASM_UNDERSCORED 1
#endif

#if defined(_WIN32)

#if defined(MARL_ASM_UNDERSCORED)
#define C_SYMBOL(name) _##name
#define FASTCALL_SYMBOL(name, bytes) @name@bytes
#else
#define C_SYMBOL(name) name
#define FASTCALL_SYMBOL(name, bytes) name
#endif
#define GLOBAL_HIDDEN(symbol) .globl symbol
#define FUNCTION_TYPE(symbol)
#define FUNCTION_END(symbol)
#define DATA_SECTION(name) .section .data$##name, "dw"
#define NOTE_GNU_STACK

#else

#define C_SYMBOL(name) name
#define FASTCALL_SYMBOL(name, bytes) name
#define GLOBAL_HIDDEN(symbol) .globl symbol; .hidden symbol
#define FUNCTION_TYPE(symbol) .type symbol, @function
#define FUNCTION_END(symbol) .size symbol, . - symbol
#define DATA_SECTION(name) .section .data.name, "aw", @progbits
#define NOTE_GNU_STACK .section .note.GNU-stack, "", @progbits

#endif

/* A global label at this place, named as C sees it: name on ELF (hidden) and Win64, _name on
 * Win32, where name itself labels the place too, so that the rest of the file can use it. */
.macro GLOBAL_LABEL name
#if defined(MARL_ASM_UNDERSCORED)
    .globl _\name
_\name:
#elif defined(_WIN32)
    .globl \name
#else
    .globl \name
    .hidden \name
#endif
\name:
.endm

/* A global symbol set to value (an address in this section), named as C sees it. */
.macro GLOBAL_SET name, value:vararg
#if defined(MARL_ASM_UNDERSCORED)
    .globl _\name
    .set _\name, \value
#elif defined(_WIN32)
    .globl \name
#else
    .globl \name
    .hidden \name
#endif
    .set \name, \value
.endm
