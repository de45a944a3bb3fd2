// CSMutex on Win32: a named kernel mutex. Every object made with the same name refers to the
// same mutex, in this process (which opens it once) or any other. A holder that dies leaves the
// mutex abandoned, and the next waiter's wait answers WAIT_ABANDONED, which it takes as having the
// lock: the state the lock guards (the code areas of the loaded library) belongs to each process,
// so nothing the dead holder left half done is shared with the waiter.
//
// A kernel mutex belongs to the thread that waited for it, and a thread may wait for a mutex
// it already owns without blocking. Each CSMutex object therefore answers a second Aquire
// itself (non-zero, as the POSIX lock does) and the library never holds two objects of one
// name in one thread. Release must come from the thread that acquired.
#include "core/core_services.h"

#include "core/named_slots.h"
#include "platform/platform.h"

#include <cwchar>

namespace {

// One kernel handle per name, opened by the first object of the name and kept: an object
// refers to its name's slot in its int field, and a transfer opens nothing.
marlcore::NamedSlots<HANDLE> OpenedNames;

constexpr int kNoMutex = -1;

HANDLE MutexOf(int slot) { return OpenedNames.At(slot); }

} // namespace

// Kernel object names are documented to be at most MAX_PATH characters. Some kernels take
// longer ones; a longer name is refused here on every one, as the POSIX lock refuses names
// its file system cannot hold.
CSMutex::CSMutex(const wchar_t* name) : Handle(kNoMutex), Held(false) {
    if (name == nullptr || wcsnlen(name, MAX_PATH + 1) > MAX_PATH) return;
    Handle = OpenedNames.SlotFor(name, [](const wchar_t* lockName, HANDLE& mutex) {
        mutex = CreateMutexW(nullptr, FALSE, lockName);
        return mutex != nullptr;
    });
}

CSMutex::~CSMutex() {
    // Given up directly: the destructor is no call of Release and takes no injected fault.
    if (Held) ReleaseMutex(MutexOf(Handle));
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
