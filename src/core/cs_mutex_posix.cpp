// CSMutex on POSIX: an exclusive flock on a file named after the lock. flock locks belong to
// the open file, so two CSMutex objects exclude each other whether they live in one thread,
// two threads or two processes, and the kernel drops the lock of a process that dies, which
// gives the next waiter the lock as an abandoned Windows mutex would.
#include "core/core_services.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace {

// Every process must arrive at the same file for the same name: letters, digits, '-' and '.'
// stand for themselves, any other character for '_' and its eight hex digits.
std::string LockPath(const wchar_t* name) {
    std::string path =
        access("/dev/shm", W_OK) == 0 ? "/dev/shm/marlcore-lock-" : "/tmp/marlcore-lock-";
    for (const wchar_t* c = name; *c; ++c) {
        uint32_t ch = static_cast<uint32_t>(*c);
        bool plain = (ch >= L'a' && ch <= L'z') || (ch >= L'A' && ch <= L'Z') ||
                     (ch >= L'0' && ch <= L'9') || ch == L'-' || ch == L'.';
        if (plain) {
            path += static_cast<char>(ch);
        } else {
            static const char digits[] = "0123456789abcdef";
            path += '_';
            for (int shift = 28; shift >= 0; shift -= 4)
                path += digits[(ch >> shift) & 0xF];
        }
    }
    return path;
}

// Opens the lock file, creating it when it is not there yet. An existing file is opened
// without O_CREAT, which the kernel refuses for another user's file in a sticky directory;
// flock needs no write access, so read-only is enough. The umask is left alone: changing it
// would race with every other thread of the process that creates files.
int OpenLockFile(const std::string& path) {
    constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW;
    for (int attempt = 0; attempt < 3; ++attempt) {
        int handle = open(path.c_str(), kFlags);
        if (handle >= 0 || errno != ENOENT) return handle;
        handle = open(path.c_str(), kFlags | O_CREAT | O_EXCL, 0666);
        if (handle >= 0) {
            fchmod(handle, 0666); // every user's processes share the lock
            return handle;
        }
        if (errno != EEXIST) return -1;
    }
    return -1;
}

} // namespace

CSMutex::CSMutex(const wchar_t* name) : Handle(-1), Held(false) {
    if (name == nullptr) return;
    Handle = OpenLockFile(LockPath(name));
}

CSMutex::~CSMutex() {
    // Given up directly: the destructor is no call of Release and takes no injected fault.
    if (Held) flock(Handle, LOCK_UN);
    if (Handle >= 0) close(Handle);
}

int32_t CSMutex::Aquire() {
    if (CSFaultTriggered(CSFaultAquire)) return 1;
    if (Handle < 0 || Held) return 1;
    int result;
    do {
        result = flock(Handle, LOCK_EX);
    } while (result != 0 && errno == EINTR);
    if (result != 0) return 1;
    Held = true;
    return 0;
}

int32_t CSMutex::Release() {
    if (CSFaultTriggered(CSFaultRelease)) {
        // The lock is still given up: a failed answer must not leave other transfers waiting.
        if (Held && flock(Handle, LOCK_UN) == 0) Held = false;
        return 1;
    }
    if (Handle < 0 || !Held) return 1;
    if (flock(Handle, LOCK_UN) != 0) return 1;
    Held = false;
    return 0;
}
