// CSMutex on Win32: a named kernel mutex. Every object made with the same name opens the same
// mutex, in this process or any other. A holder that dies leaves the mutex abandoned, and the
// next waiter's wait answers WAIT_ABANDONED, which it takes as having the lock: the state the
// lock guards (the code areas of the loaded library) belongs to each process, so nothing the
// dead holder left half done is shared with the waiter.
//
// A kernel mutex belongs to the thread that waited for it, and a thread may wait for a mutex
// it already owns without blocking. Each CSMutex object therefore answers a second Aquire
// itself (non-zero, as the POSIX lock does) and the library never holds two objects of one
// name in one thread. Release must come from the thread that acquired.
#include "core/core_services.h"

#include "platform/platform.h"

#include <cwchar>

namespace {

// The object keeps the kernel handle in its int field: handles are 32-bit values, and -1
// (INVALID_HANDLE_VALUE) is never a mutex handle, so it marks "no mutex".
constexpr int kNoMutex = -1;

HANDLE MutexOf(int handle) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(handle)); }

int FieldOf(HANDLE handle) {
    return handle == nullptr ? kNoMutex : static_cast<int>(reinterpret_cast<intptr_t>(handle));
}

} // namespace

// Kernel object names are documented to be at most MAX_PATH characters. Some kernels take
// longer ones; a longer name is refused here on every one, as the POSIX lock refuses names
// its file system cannot hold.
CSMutex::CSMutex(const wchar_t* name) : Handle(kNoMutex), Held(false) {
    if (name == nullptr || wcsnlen(name, MAX_PATH + 1) > MAX_PATH) return;
    Handle = FieldOf(CreateMutexW(nullptr, FALSE, name));
}

CSMutex::~CSMutex() {
    // Given up directly: the destructor is no call of Release and takes no injected fault.
    if (Held) ReleaseMutex(MutexOf(Handle));
    if (Handle != kNoMutex) CloseHandle(MutexOf(Handle));
}

int32_t CSMutex::Aquire() {
    if (CSFaultTriggered(CSFaultAquire)) return 1;
    if (Handle == kNoMutex || Held) return 1;
    DWORD waited = WaitForSingleObject(MutexOf(Handle), INFINITE);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) return 1;
    Held = true;
    return 0;
}

int32_t CSMutex::Release() {
    if (CSFaultTriggered(CSFaultRelease)) {
        // The lock is still given up: a failed answer must not leave other transfers waiting.
        if (Held && ReleaseMutex(MutexOf(Handle))) Held = false;
        return 1;
    }
    if (Handle == kNoMutex || !Held) return 1;
    if (!ReleaseMutex(MutexOf(Handle))) return 1;
    Held = false;
    return 0;
}
