// The transfer lock as the POSIX core services make it.
#include "support/transfer_probes.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace marltest {

// The named lock is an flock on a file named after it (see the core services); a second open
// file description of it cannot take the lock while a transfer holds it.
bool TransferLockHeld() {
    const char* path = access("/dev/shm", W_OK) == 0 ? "/dev/shm/marlcore-lock-RopMC24"
                                                     : "/tmp/marlcore-lock-RopMC24";
    int handle = open(path, O_RDWR | O_CLOEXEC);
    if (handle < 0) return false;
    bool held = flock(handle, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    if (!held) flock(handle, LOCK_UN);
    close(handle);
    return held;
}

} // namespace marltest
