// The shared-memory object that holds a named lock on POSIX: where it lives and what it holds.
// The core services map it once per process; the tests look at it from outside.
#pragma once

#include <pthread.h>
#include <unistd.h>

#include <cstdint>
#include <string>

namespace marlcore {

inline constexpr uint32_t kNamedLockMagic = 0x4B434C4D; // "MLCK"
// The mutex's layout differs between the 32-bit and the 64-bit C library: an object made by
// one is not taken by the other (nor is its name the same, see NamedLockPath).
inline constexpr uint32_t kNamedLockLayout =
    (uint32_t{sizeof(void*)} << 16) | uint32_t{sizeof(pthread_mutex_t)};

struct NamedLockObject {
    uint32_t Magic;        // kNamedLockMagic once the mutex is initialised
    uint32_t Layout;       // kNamedLockLayout
    pthread_mutex_t Mutex; // process-shared, robust, error-checking
};

// Every process of one user arrives at the same object for the same name, and other users'
// processes at objects of their own: letters, digits, '-' and '.' stand for themselves, any
// other character for '_' and its eight hex digits; the user id and the word size follow.
inline std::string NamedLockPath(const wchar_t* name, const char* directory, unsigned userId) {
    std::string path = std::string(directory) + "/marlcore-lock-";
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
    path += "-u" + std::to_string(userId) + (sizeof(void*) == 8 ? "-64" : "-32");
    return path;
}

// /dev/shm where the system has it (memory only, emptied at boot), else /tmp.
inline const char* NamedLockDirectory() {
    return access("/dev/shm", W_OK | X_OK) == 0 ? "/dev/shm" : "/tmp";
}

} // namespace marlcore
