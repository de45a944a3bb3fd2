// Spellings for routines the tests write in top-level asm, which the ELF and the COFF builds
// assemble: on Win32 a C symbol carries a leading underscore and a fastcall one is
// @name@<argument bytes> (Win64 decorates neither), and COFF has no symbol types or sizes.
#pragma once

#if defined(_WIN32) && !defined(__x86_64__)
#define MARLTEST_ASM_C_NAME(name) "_" #name
#define MARLTEST_ASM_FASTCALL_NAME(name, bytes) "@" #name "@" #bytes
#define MARLTEST_ASM_FUNCTION_TYPE(name) ""
#define MARLTEST_ASM_FUNCTION_SIZE(name) ""
#elif defined(_WIN32)
#define MARLTEST_ASM_C_NAME(name) #name
#define MARLTEST_ASM_FASTCALL_NAME(name, bytes) #name
#define MARLTEST_ASM_FUNCTION_TYPE(name) ""
#define MARLTEST_ASM_FUNCTION_SIZE(name) ""
#else
#define MARLTEST_ASM_C_NAME(name) #name
#define MARLTEST_ASM_FASTCALL_NAME(name, bytes) #name
#define MARLTEST_ASM_FUNCTION_TYPE(name) ".type " #name ", @function\n"
#define MARLTEST_ASM_FUNCTION_SIZE(name) ".size " #name ", . - " #name "\n"
#endif
