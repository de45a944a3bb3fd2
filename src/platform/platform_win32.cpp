// Win32 side of the kernel services: kernel32's global memory behind the fault switches of
// the core library. Page protection and the read probe need nothing here: the library calls
// kernel32's VirtualProtect and IsBadReadPtr directly.
#define MARLPLATFORM_KERNEL_NAMES
#include "platform/platform.h"

#include "core/core_services.h"

HGLOBAL CSGlobalAlloc(UINT flags, SIZE_T bytes) {
    if (CSFaultTriggered(CSFaultGlobalAlloc)) return nullptr;
    // Zeroed like the POSIX blocks, so that nothing depends on which build made them.
    return GlobalAlloc(flags | GMEM_ZEROINIT, bytes);
}

LPVOID CSGlobalLock(HGLOBAL handle) {
    if (CSFaultTriggered(CSFaultGlobalLock)) return nullptr;
    return GlobalLock(handle);
}
