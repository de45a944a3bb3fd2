// The kernel services the library calls, under their Windows names and meanings.
//
// On Windows these are kernel32's own (GlobalAlloc and GlobalLock reached through MARLCORE,
// see below); elsewhere they come from the POSIX implementation in platform_posix.cpp, built
// into libmarlcore.so and exported from it so that a driver (and the tests) can make
// global-memory handles the library can lock.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)

#ifndef NOMINMAX
#define NOMINMAX // std::min and std::max stay usable
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOGDI
#define NOGDI // the library's own records are no GDI's
#endif
#include <windows.h>

#if defined(MARLCORE_BUILDING)
#define MARLPLATFORM_API extern "C" __declspec(dllexport)
#else
#define MARLPLATFORM_API extern "C" __declspec(dllimport)
#endif

// GlobalAlloc and GlobalLock are kernel32's, called through MARLCORE so that they answer the
// faults CSInjectFault arms for them exactly as the POSIX implementation does. Everything else
// (VirtualProtect, IsBadReadPtr, GlobalUnlock, GlobalFree) is called in kernel32 directly.
//
// Moveable global-memory handles on Win32 are 32-bit values (Wine hands out 0x00780004 and
// the like) and 64-bit ones on Win64, so the 16-bit LogicalBrush::Hatch field cannot carry
// one; a Windows driver passes a pattern brush's header by address in LogicalBrush::Color
// instead. PlaneBitmap::BitsHandle is as wide as a pointer and holds any handle.
MARLPLATFORM_API HGLOBAL CSGlobalAlloc(UINT flags, SIZE_T bytes);
MARLPLATFORM_API LPVOID CSGlobalLock(HGLOBAL handle);
#if !defined(MARLPLATFORM_KERNEL_NAMES)
#define GlobalAlloc CSGlobalAlloc
#define GlobalLock CSGlobalLock
#endif

#else

#define MARLPLATFORM_API extern "C" __attribute__((visibility("default")))

using BOOL = int;
using DWORD = unsigned long;
using PDWORD = DWORD*;
using UINT = unsigned int;
using SIZE_T = size_t;
using UINT_PTR = uintptr_t;
using LPVOID = void*;
using LPCVOID = const void*;
using HGLOBAL = void*;

inline constexpr DWORD PAGE_NOACCESS = 0x01;
inline constexpr DWORD PAGE_READONLY = 0x02;
inline constexpr DWORD PAGE_READWRITE = 0x04;
inline constexpr DWORD PAGE_WRITECOPY = 0x08;
inline constexpr DWORD PAGE_EXECUTE = 0x10;
inline constexpr DWORD PAGE_EXECUTE_READ = 0x20;
inline constexpr DWORD PAGE_EXECUTE_READWRITE = 0x40;
inline constexpr DWORD PAGE_EXECUTE_WRITECOPY = 0x80;

inline constexpr UINT GMEM_FIXED = 0x0000;
inline constexpr UINT GMEM_MOVEABLE = 0x0002;
inline constexpr UINT GMEM_ZEROINIT = 0x0040;

// Changes the protection of every page the range touches; the previous protection of the
// first page goes to *oldProtect. Non-zero on success.
MARLPLATFORM_API BOOL VirtualProtect(LPVOID address, SIZE_T size, DWORD newProtect,
                                     PDWORD oldProtect);
// Non-zero when any byte of the range cannot be read. Never faults, and makes no system call
// while the range is readable: it loads one byte of every page and answers a fault at that
// load through a SIGSEGV/SIGBUS handler installed at the first call. That handler hands every
// other fault to the handler installed before it; a driver that installs its own handler
// later must hand on the faults it does not own in the same way, or the probe's faults end
// the process.
MARLPLATFORM_API BOOL IsBadReadPtr(LPCVOID pointer, UINT_PTR size);
// Global memory: handles (never raw pointers) that fit in 16 bits, as the brush records keep
// them. Memory is always zero-initialised. A bad or freed handle answers 0 / failure.
MARLPLATFORM_API HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
MARLPLATFORM_API LPVOID GlobalLock(HGLOBAL handle);
MARLPLATFORM_API BOOL GlobalUnlock(HGLOBAL handle);  // non-zero while still locked
MARLPLATFORM_API HGLOBAL GlobalFree(HGLOBAL handle); // 0 on success, the handle on failure

// Not a kernel service: the number of global-memory blocks allocated and not yet freed, so
// that tests can tell a leaked handle from a returned one.
MARLPLATFORM_API uint32_t GlobalLiveBlocks();

// Not kernel services: the means IsBadReadPtr answers by, so that tests can compare them.
// By fault is the usual one; the others serve where the fault handler cannot be installed
// (one process_vm_readv per range) or where that call is refused too (a pipe write per page).
enum ReadProbeMethod : uint32_t {
    ReadProbeByFault = 1,
    ReadProbeByVmRead = 2,
    ReadProbeByPipe = 3,
};
MARLPLATFORM_API uint32_t ReadProbeMethodInUse();
// IsBadReadPtr's answer by the given means; -1 when this process cannot use it.
MARLPLATFORM_API int32_t IsBadReadPtrUsing(uint32_t method, LPCVOID pointer, UINT_PTR size);

#endif

// A global-memory handle as a number, as the records' handle fields carry it: as wide as a
// pointer (PlaneBitmap::BitsHandle) in each edition. The 16-bit LogicalBrush::Hatch takes the
// low bits, which hold the whole handle only where handles are that small (the POSIX ones).
inline uintptr_t HandleValue(HGLOBAL handle) { return reinterpret_cast<uintptr_t>(handle); }
inline HGLOBAL HandleFromValue(uintptr_t value) { return reinterpret_cast<HGLOBAL>(value); }
