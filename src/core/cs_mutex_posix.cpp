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

std::string LockPath(const wchar_t* name) {
    std::string path = access("/dev/shm", W_OK) == 0 ? "/dev/shm/marlcore-lock-" : "/tmp/marlcore-lock-";
    for (const wchar_t* c = name; c && *c; ++c) {
        wchar_t ch = *c;
        bool plain = (ch >= L'a' && ch <= L'z') || (ch >= L'A' && ch <= L'Z') ||
                     (ch >= L'0' && ch <= L'9') || ch == L'-' || ch == L'.';
        if (plain) {
            path += static_cast<char>(ch);
        } else {
            static const char digits[] = "0123456789abcdef";
            path += '_';
            for (int shift = 20; shift >= 0; shift -= 4) path += digits[(ch >> shift) & 0xF];
        }
    }
    return path;
}

} // namespace

CSMutex::CSMutex(const wchar_t* name) : Handle(-1), Held(false) {
    if (name == nullptr) return;
    std::string path = LockPath(name);
    mode_t previous = umask(0);
    Handle = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    umask(previous);
}

CSMutex::~CSMutex() {
    if (Held) Release();
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
