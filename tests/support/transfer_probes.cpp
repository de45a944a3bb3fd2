#include "support/transfer_probes.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fstream>

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

std::string WritableExecutableMappings() {
    std::ifstream maps("/proc/self/maps");
    std::string line, found;
    while (std::getline(maps, line)) {
        size_t space = line.find(' ');
        if (space == std::string::npos || line.size() < space + 5) continue;
        std::string perms = line.substr(space + 1, 4);
        if (perms[1] == 'w' && perms[2] == 'x') found += line + "\n";
    }
    return found;
}

bool PageExecutable(const void* address) {
    uintptr_t at = reinterpret_cast<uintptr_t>(address);
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        unsigned long start = 0, end = 0;
        char perms[5] = {};
        if (std::sscanf(line.c_str(), "%lx-%lx %4s", &start, &end, perms) != 3) continue;
        if (at >= start && at < end) return perms[2] == 'x';
    }
    return false;
}

} // namespace marltest
