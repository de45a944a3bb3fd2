// CSMutex on POSIX: a process-shared robust mutex in a named shared-memory object.
//
// Each process maps the object of a name once, at the first CSMutex of that name, and keeps
// it; a CSMutex object only refers to the mapping. Taking and giving up a free lock is then an
// atomic operation on the shared memory and no system call. A holder that dies leaves the
// mutex to the next Aquire, which the C library tells so (EOWNERDEAD): the state the lock
// guards (the code areas of the loaded library) belongs to each process, so nothing the dead
// holder left half done is shared with the next holder, which takes the lock as a wait on an
// abandoned Windows mutex does. The kernel hands the mutex on for the holding thread only, so
// a child forked by a holder does not keep it.
//
// The object is one user's: it is named after the user id, made with mode 0600, and an object
// already at the name is used only when it is a regular file of that user with mode 0600 and
// the exact size and contents of a lock, opened without following a link and without waiting
// (a FIFO would block an ordinary open). Anything else makes Aquire answer non-zero at once.
// A new object is made under a temporary name, initialised there and then linked to its name,
// so that a process racing to make the same one either wins or opens the finished winner.
#include "core/core_services.h"

#include "core/named_lock_posix.h"
#include "core/named_slots.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <ctime>
#include <string>

namespace {

using marlcore::NamedLockObject;

constexpr int kOpenFlags = O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
constexpr mode_t kLockMode = 0600;

NamedLockObject* MapObject(int handle) {
    void* mapping =
        mmap(nullptr, sizeof(NamedLockObject), PROT_READ | PROT_WRITE, MAP_SHARED, handle, 0);
    return mapping == MAP_FAILED ? nullptr : static_cast<NamedLockObject*>(mapping);
}

void Unmap(NamedLockObject* object) { munmap(object, sizeof(NamedLockObject)); }

bool UsableFile(int handle) {
    struct stat status {};
    return fstat(handle, &status) == 0 && S_ISREG(status.st_mode) && status.st_uid == geteuid() &&
           (status.st_mode & 07777) == kLockMode &&
           status.st_size == static_cast<off_t>(sizeof(NamedLockObject));
}

// An object already at the name: mapped when it is a lock of this user, else nothing.
NamedLockObject* AdoptObject(int handle) {
    NamedLockObject* object = UsableFile(handle) ? MapObject(handle) : nullptr;
    close(handle);
    if (object == nullptr) return nullptr;
    auto magic = std::atomic_ref<uint32_t>(object->Magic).load(std::memory_order_acquire);
    if (magic == marlcore::kNamedLockMagic && object->Layout == marlcore::kNamedLockLayout)
        return object;
    Unmap(object);
    return nullptr;
}

bool InitialiseMutex(pthread_mutex_t& mutex) {
    pthread_mutexattr_t attributes;
    if (pthread_mutexattr_init(&attributes) != 0) return false;
    bool made = pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED) == 0 &&
                pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST) == 0 &&
                pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_ERRORCHECK) == 0 &&
                pthread_mutex_init(&mutex, &attributes) == 0;
    pthread_mutexattr_destroy(&attributes);
    return made;
}

// A new object, initialised under a name of its own.
NamedLockObject* MakeObject(const std::string& temporary) {
    int handle = open(temporary.c_str(), kOpenFlags | O_CREAT | O_EXCL, kLockMode);
    if (handle < 0) return nullptr;
    NamedLockObject* object = nullptr;
    // The umask may have taken bits off the mode; the mode must be exactly the lock's.
    if (fchmod(handle, kLockMode) == 0 &&
        ftruncate(handle, static_cast<off_t>(sizeof(NamedLockObject))) == 0)
        object = MapObject(handle);
    close(handle);
    if (object != nullptr) {
        object->Layout = marlcore::kNamedLockLayout;
        if (InitialiseMutex(object->Mutex)) {
            std::atomic_ref<uint32_t>(object->Magic)
                .store(marlcore::kNamedLockMagic, std::memory_order_release);
            return object;
        }
        Unmap(object);
    }
    unlink(temporary.c_str());
    return nullptr;
}

enum class Publication { Done, NameTaken, Failed };

// Makes a new object and links it to the lock's name; a name already taken is left alone.
Publication PublishObject(const std::string& path, NamedLockObject*& object) {
    static std::atomic<uint32_t> serial{0};
    uint32_t noise = 0;
    if (getrandom(&noise, sizeof noise, GRND_NONBLOCK) != sizeof noise) noise = 0;
    // Beside the name, and short, so that any name that fits its directory has a temporary;
    // the random part keeps another user from taking it beforehand.
    std::string temporary = path.substr(0, path.rfind('/') + 1) + ".marlcore-new-" +
                            std::to_string(getpid()) + "-" + std::to_string(serial++) + "-" +
                            std::to_string(noise);
    object = MakeObject(temporary);
    if (object == nullptr) return Publication::Failed;
    int linked = link(temporary.c_str(), path.c_str());
    int error = errno;
    unlink(temporary.c_str());
    if (linked == 0) return Publication::Done;
    Unmap(object);
    object = nullptr;
    return error == EEXIST ? Publication::NameTaken : Publication::Failed;
}

NamedLockObject* MapNamedLock(const wchar_t* name) {
    std::string path = marlcore::NamedLockPath(name, marlcore::NamedLockDirectory(), geteuid());
    for (int attempt = 0; attempt < 4; ++attempt) {
        int handle = open(path.c_str(), kOpenFlags);
        if (handle >= 0) return AdoptObject(handle);
        if (errno != ENOENT) return nullptr;
        NamedLockObject* object = nullptr;
        Publication published = PublishObject(path, object);
        if (published == Publication::Done) return object;
        if (published == Publication::Failed) return nullptr;
    }
    return nullptr;
}

marlcore::NamedSlots<NamedLockObject*> MappedNames;

pthread_mutex_t& MutexOf(int slot) { return MappedNames.At(slot)->Mutex; }

} // namespace

CSMutex::CSMutex(const wchar_t* name) : Handle(-1), Held(false) {
    if (name == nullptr) return;
    Handle = MappedNames.SlotFor(name, [](const wchar_t* lockName, NamedLockObject*& object) {
        object = MapNamedLock(lockName);
        return object != nullptr;
    });
}

CSMutex::~CSMutex() {
    // Given up directly: the destructor is no call of Release and takes no injected fault.
    if (Held) pthread_mutex_unlock(&MutexOf(Handle));
}

namespace {

// A transfer holds the lock for microseconds to tens of microseconds. A caller that finds it
// held tries again for up to this long before it sleeps in the kernel: between two busy
// callers the lock then passes from one to the other with no system call on either side (a
// sleeping waiter costs the holder a wake-up call at every release, and itself the time the
// kernel takes to run it again). The clock is read without a system call (vDSO).
constexpr long kSpinNanoseconds = 100000;

long long MonotonicNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// trylock until the lock is had, the budget is spent, or an answer other than "busy" comes.
int SpinForLock(pthread_mutex_t& mutex) {
    int result = pthread_mutex_trylock(&mutex);
    if (result != EBUSY) return result;
    // A few pauses between attempts (the release is seen within a fraction of a
    // microsecond), the clock read every sixteenth attempt.
    const long long deadline = MonotonicNanoseconds() + kSpinNanoseconds;
    for (unsigned attempt = 1;; ++attempt) {
        for (int i = 0; i < 8; ++i) {
#if defined(__i386__) || defined(__x86_64__)
            __builtin_ia32_pause();
#endif
        }
        result = pthread_mutex_trylock(&mutex);
        if (result != EBUSY) return result;
        if (attempt % 16 == 0 && MonotonicNanoseconds() >= deadline) return result;
    }
}

} // namespace

int32_t CSMutex::Aquire() {
    if (CSFaultTriggered(CSFaultAquire)) return 1;
    if (Handle < 0 || Held) return 1;
    pthread_mutex_t& mutex = MutexOf(Handle);
    int result = SpinForLock(mutex);
    // Still busy (or held by this thread, which the wait answers EDEADLK): wait in the kernel.
    if (result == EBUSY) result = pthread_mutex_lock(&mutex);
    if (result == EOWNERDEAD && pthread_mutex_consistent(&mutex) != 0) {
        pthread_mutex_unlock(&mutex);
        return 1;
    }
    // EDEADLK: this thread holds the lock through another object, which a wait would never
    // see released.
    if (result != 0 && result != EOWNERDEAD) return 1;
    Held = true;
    return 0;
}

int32_t CSMutex::Release() {
    if (CSFaultTriggered(CSFaultRelease)) {
        // The lock is still given up: a failed answer must not leave other transfers waiting.
        if (Held && pthread_mutex_unlock(&MutexOf(Handle)) == 0) Held = false;
        return 1;
    }
    if (Handle < 0 || !Held) return 1;
    // EPERM: another thread took it (or the holder's fork asks); it stays held.
    if (pthread_mutex_unlock(&MutexOf(Handle)) != 0) return 1;
    Held = false;
    return 0;
}
