// How member functions that cross the driver boundary are called.
//
// On 32-bit Windows a C++ member function is thiscall: the object in ECX, the arguments on the
// stack, removed by the callee. MSVC does so, and so does mingw-w64's GCC by default since
// GCC 4.7; the convention is stated explicitly all the same, so that a driver built with
// either compiler sees the same virtual table whatever the compiler's default. On i386 ELF
// the object is the first stack argument and the caller removes the arguments, as for any
// other function; there is no other convention to ask for. The 64-bit edition has one
// convention per platform for member functions and free functions alike (System V on x86-64
// Linux, the Microsoft x64 convention on Win64), so nothing is asked for there either.
#pragma once

#if defined(_WIN32) && (defined(__i386__) || defined(_M_IX86))
#define MARLREND_THISCALL __thiscall
#else
#define MARLREND_THISCALL
#endif
