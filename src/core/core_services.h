// MARLCORE: the copy, fill and named lock that the renderer takes from its core library.
#pragma once

#include "marlrend/call_convention.h"

#include <cstdint>

#if defined(_WIN32)
#if defined(MARLCORE_BUILDING)
#define MARLCORE_API __declspec(dllexport)
#else
#define MARLCORE_API __declspec(dllimport)
#endif
#else
#define MARLCORE_API __attribute__((visibility("default")))
#endif

extern "C" {
// Copies count bytes; the ranges never overlap in any call of the library.
MARLCORE_API void CSCopyMemory(const void* source, void* destination, uint32_t count);
// Sets count bytes to the low 8 bits of value.
MARLCORE_API void CSSetMemory(void* destination, uint32_t count, uint32_t value);

// Fault injection for tests: the countdown-th next call of the named service (0 = the very
// next one) fails; a negative countdown switches the fault off. Without a call of
// CSInjectFault every service behaves normally.
enum CSFault : uint32_t {
    CSFaultAquire = 0,
    CSFaultRelease = 1,
    CSFaultGlobalAlloc = 2,
    CSFaultGlobalLock = 3,
    CSFaultCount = 4,
};
MARLCORE_API void CSInjectFault(uint32_t fault, int32_t countdown);
// Consumes one call of the service: true when this call must fail.
MARLCORE_API bool CSFaultTriggered(uint32_t fault);
}

// A lock shared by name by every thread and process of the machine (on POSIX, of the user),
// like a named Windows mutex: a holder that dies releases it, and the next waiter gets it.
//
// Aquire and Release are thiscall on 32-bit Windows, as MSVC declares member functions. The
// class still binds MARLREND to a MARLCORE from the same compiler: its exported names are
// that compiler's C++ names, and a virtual destructor takes two table slots under GCC and
// one under MSVC. The library only calls objects it constructed itself.
class MARLCORE_API CSMutex {
public:
    explicit CSMutex(const wchar_t* name);
    CSMutex(const CSMutex&) = delete;
    CSMutex& operator=(const CSMutex&) = delete;
    virtual ~CSMutex();
    // Waits until the lock is held by this object and answers 0; non-zero when the lock
    // cannot be created or waited on. A second Aquire on an object that already holds the
    // lock answers non-zero and changes nothing (the lock stays held).
    virtual int32_t MARLREND_THISCALL Aquire();
    // 0 once released; non-zero when this object did not hold it. An injected fault answers
    // non-zero but still gives the lock up, so that no other waiter is left blocked.
    virtual int32_t MARLREND_THISCALL Release();

private:
    int Handle;
    bool Held;
};
