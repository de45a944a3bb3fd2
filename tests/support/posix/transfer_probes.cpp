// The transfer lock as the POSIX core services make it.
#include "support/transfer_probes.h"

#include "core/named_lock_posix.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace marltest {

// The named lock is a robust mutex in a shared-memory object (see the core services). It is
// tried from a thread of its own, on a mapping of its own: a try that gets the mutex gives it
// straight back.
bool TransferLockHeld() {
    std::string path =
        marlcore::NamedLockPath(L"RopMC24", marlcore::NamedLockDirectory(), geteuid());
    int handle = open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (handle < 0) return false;
    void* mapping = mmap(nullptr, sizeof(marlcore::NamedLockObject), PROT_READ | PROT_WRITE,
                         MAP_SHARED, handle, 0);
    close(handle);
    if (mapping == MAP_FAILED) return false;
    auto* object = static_cast<marlcore::NamedLockObject*>(mapping);
    bool held = false;
    std::thread([object, &held] {
        int tried = pthread_mutex_trylock(&object->Mutex);
        if (tried == EOWNERDEAD) pthread_mutex_consistent(&object->Mutex);
        if (tried == 0 || tried == EOWNERDEAD) pthread_mutex_unlock(&object->Mutex);
        held = tried == EBUSY;
    }).join();
    munmap(mapping, sizeof(marlcore::NamedLockObject));
    return held;
}

} // namespace marltest
