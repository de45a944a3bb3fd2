#include "render24/blit/code_area.h"

#include "platform/platform.h"

#include <cstring>

#if !defined(_WIN32)
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

extern "C" {
// templates.S: the prebuilt routines as assembled, page-aligned, and the end of their bytes.
extern uint8_t MarlTemplateBlock[];
extern uint8_t MarlTemplateBlockEnd[];
}

namespace marl {
namespace {

constexpr uint32_t kPage = 4096;

uint32_t WholePages(uint32_t size) { return (size + kPage - 1) / kPage * kPage; }

#if defined(_WIN32)

// Two views of one pagefile-backed section: FILE_MAP_WRITE and FILE_MAP_READ|FILE_MAP_EXECUTE.
bool MapTwinViews(CodeArea& area) {
    HANDLE section = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_EXECUTE_READWRITE, 0,
                                        area.Mapped, nullptr);
    if (section == nullptr) return false;
    void* writable = MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, area.Mapped);
    void* executable =
        writable ? MapViewOfFile(section, FILE_MAP_READ | FILE_MAP_EXECUTE, 0, 0, area.Mapped)
                 : nullptr;
    CloseHandle(section); // the views keep the section
    if (executable == nullptr) {
        if (writable != nullptr) UnmapViewOfFile(writable);
        return false;
    }
    area.Writable = static_cast<uint8_t*>(writable);
    area.Base = static_cast<uint8_t*>(executable);
    return true;
}

bool MapSingleView(CodeArea& area) {
    void* pages = VirtualAlloc(nullptr, area.Mapped, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READ);
    if (pages == nullptr) return false;
    area.Base = area.Writable = static_cast<uint8_t*>(pages);
    return true;
}

void Unmap(CodeArea& area) {
    if (area.Views == CodeViews::Twin) {
        UnmapViewOfFile(area.Writable);
        UnmapViewOfFile(area.Base);
    } else if (area.Views == CodeViews::Flipped) {
        VirtualFree(area.Base, 0, MEM_RELEASE);
    }
}

#else

#ifndef MFD_CLOEXEC
#define MFD_CLOEXEC 0x0001U
#endif
#ifndef MFD_EXEC
#define MFD_EXEC 0x0010U
#endif

// A memory object of no name that nothing else can open: memfd_create (asking for an
// executable one, which kernels that restrict memfd execution want said, and plainly on
// kernels that do not know the flag), else a POSIX shared-memory object unlinked at once.
int AnonymousMemoryObject() {
    int fd = memfd_create("marlrend-code", MFD_CLOEXEC | MFD_EXEC);
    if (fd < 0 && errno == EINVAL) fd = memfd_create("marlrend-code", MFD_CLOEXEC);
    if (fd >= 0) return fd;
    static std::atomic<uint32_t> serial{0};
    char name[64];
    std::snprintf(name, sizeof name, "/marlrend-code-%ld-%u", static_cast<long>(getpid()),
                  serial.fetch_add(1));
    fd = shm_open(name, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) shm_unlink(name);
    return fd;
}

// The twin areas of this process. A forked child would share their memory object with its
// parent, and a routine one of them writes would change under the other: the child gives
// every area a memory object of its own, at the same two addresses, before it runs on.
struct TwinRecord {
    uint8_t* Writable;
    uint8_t* Executable;
    uint32_t Bytes;
};
constexpr uint32_t kMostTwins = 32;
TwinRecord Twins[kMostTwins];
std::atomic<uint32_t> TwinCount{0};
std::atomic<uint32_t> Recording{0}; // Twins being changed by RecordTwin or ForgetTwin

// Copies the area's bytes into a new object mapped over both views. If that fails the child
// keeps sharing the area, as it would have without this.
void ReplaceObject(const TwinRecord& twin) {
    int fd = AnonymousMemoryObject();
    if (fd < 0) return;
    bool copied = ftruncate(fd, twin.Bytes) == 0;
    for (uint32_t done = 0; copied && done < twin.Bytes;) {
        const ssize_t written = pwrite(fd, twin.Executable + done, twin.Bytes - done, done);
        copied = written > 0;
        if (copied) done += static_cast<uint32_t>(written);
    }
    if (copied) {
        mmap(twin.Writable, twin.Bytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED, fd, 0);
        mmap(twin.Executable, twin.Bytes, PROT_READ | PROT_EXEC, MAP_SHARED | MAP_FIXED, fd, 0);
    }
    close(fd);
}

void OwnAreasInChild() {
    const uint32_t count = TwinCount.load();
    for (uint32_t i = 0; i < count && i < kMostTwins; ++i) {
        if (Twins[i].Bytes != 0) ReplaceObject(Twins[i]);
    }
}

void RecordTwin(const CodeArea& area) {
    static const bool registered = pthread_atfork(nullptr, nullptr, OwnAreasInChild) == 0;
    (void)registered;
    while (Recording.exchange(1) != 0) {
    }
    for (uint32_t i = 0; i < kMostTwins; ++i) {
        if (i < TwinCount.load() && Twins[i].Bytes != 0) continue;
        Twins[i] = {area.Writable, area.Base, area.Mapped};
        if (i >= TwinCount.load()) TwinCount.store(i + 1);
        break;
    }
    Recording.store(0);
}

void ForgetTwin(const CodeArea& area) {
    while (Recording.exchange(1) != 0) {
    }
    for (uint32_t i = 0; i < TwinCount.load() && i < kMostTwins; ++i) {
        if (Twins[i].Executable == area.Base) Twins[i] = {};
    }
    Recording.store(0);
}

bool MapTwinViews(CodeArea& area) {
    int fd = AnonymousMemoryObject();
    if (fd < 0) return false;
    void* writable = MAP_FAILED;
    void* executable = MAP_FAILED;
    if (ftruncate(fd, area.Mapped) == 0) {
        writable = mmap(nullptr, area.Mapped, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        executable = mmap(nullptr, area.Mapped, PROT_READ | PROT_EXEC, MAP_SHARED, fd, 0);
    }
    close(fd); // the mappings keep the object
    if (writable == MAP_FAILED || executable == MAP_FAILED) {
        if (writable != MAP_FAILED) munmap(writable, area.Mapped);
        if (executable != MAP_FAILED) munmap(executable, area.Mapped);
        return false;
    }
    area.Writable = static_cast<uint8_t*>(writable);
    area.Base = static_cast<uint8_t*>(executable);
    RecordTwin(area);
    return true;
}

bool MapSingleView(CodeArea& area) {
    void* pages =
        mmap(nullptr, area.Mapped, PROT_READ | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED) return false;
    area.Base = area.Writable = static_cast<uint8_t*>(pages);
    return true;
}

void Unmap(CodeArea& area) {
    if (area.Views == CodeViews::Twin) {
        ForgetTwin(area);
        munmap(area.Writable, area.Mapped);
    }
    if (area.Views != CodeViews::None) munmap(area.Base, area.Mapped);
}

#endif

// The block as assembled, copied once into an area of its own.
CodeArea MapTemplateArea() {
    const auto size = static_cast<uint32_t>(MarlTemplateBlockEnd - MarlTemplateBlock);
    CodeArea area = MapCodeArea(size);
    if (!area.Usable()) return area;
    bool copied = BeginWriting(area);
    if (copied) std::memcpy(area.Writable, MarlTemplateBlock, size);
    if (!EndWriting(area) || !copied) UnmapCodeArea(area);
    return area;
}

} // namespace

CodeArea MapCodeArea(uint32_t size, bool twinAllowed) {
    CodeArea area;
    area.Size = size;
    area.Mapped = WholePages(size == 0 ? 1 : size);
    if (twinAllowed && MapTwinViews(area)) {
        area.Views = CodeViews::Twin;
    } else if (MapSingleView(area)) {
        area.Views = CodeViews::Flipped;
    } else {
        area = CodeArea{};
    }
    return area;
}

void UnmapCodeArea(CodeArea& area) {
    Unmap(area);
    area = CodeArea{};
}

bool BeginWriting(CodeArea& area) {
    if (area.Views != CodeViews::Flipped) return area.Usable();
    if (area.Open) return true;
    DWORD previous = 0;
    area.Open = VirtualProtect(area.Base, area.Mapped, PAGE_READWRITE, &previous) != 0;
    return area.Open;
}

bool EndWriting(CodeArea& area) {
    if (area.Views != CodeViews::Flipped) return area.Usable();
    if (!area.Open) return true;
    DWORD previous = 0;
    if (VirtualProtect(area.Base, area.Mapped, PAGE_EXECUTE_READ, &previous) == 0) return false;
    area.Open = false;
    return true;
}

CodeArea& CodeBufferArea() {
    static CodeArea area = MapCodeArea(kCodeBufferSize);
    return area;
}

CodeArea& TemplateArea() {
    static CodeArea area = MapTemplateArea();
    return area;
}

} // namespace marl
