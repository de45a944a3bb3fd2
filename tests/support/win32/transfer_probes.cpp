// The transfer lock as the Win32 core services make it: a named kernel mutex.
#include "support/transfer_probes.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <thread>

namespace marltest {

// Asked from a thread of its own: a kernel mutex lets the thread that owns it wait for it
// again, so the calling thread (perhaps inside a transfer) cannot ask itself. A wait that
// gets the mutex gives it straight back.
bool TransferLockHeld() {
    bool held = false;
    std::thread([&held] {
        HANDLE mutex = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, L"RopMC24");
        if (mutex == nullptr) return;
        DWORD waited = WaitForSingleObject(mutex, 0);
        if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) ReleaseMutex(mutex);
        held = waited == WAIT_TIMEOUT;
        CloseHandle(mutex);
    }).join();
    return held;
}

} // namespace marltest
