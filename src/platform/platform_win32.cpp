// Win32 side of the kernel services: kernel32's global memory behind the fault switches of
// the core library. Page protection and the read probe need nothing here: the library calls
// kernel32's VirtualProtect and IsBadReadPtr directly.
#define MARLPLATFORM_KERNEL_NAMES
#include "platform/platform.h"

#include "core/core_services.h"

// Blocks are zeroed like the POSIX ones, so that nothing depends on which build made them.
// kernel32 makes a moveable block of zero bytes a discarded one that GlobalLock refuses; the
// POSIX layer locks an empty block like any other, so one byte is asked for instead.
HGLOBAL CSGlobalAlloc(UINT flags, SIZE_T bytes) {
    if (CSFaultTriggered(CSFaultGlobalAlloc)) return nullptr;
    return GlobalAlloc(flags | GMEM_ZEROINIT, bytes == 0 ? 1 : bytes);
}

LPVOID CSGlobalLock(HGLOBAL handle) {
    if (CSFaultTriggered(CSFaultGlobalLock)) return nullptr;
    return GlobalLock(handle);
}
