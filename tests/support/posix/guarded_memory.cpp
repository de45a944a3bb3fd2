#include "support/guarded_memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

namespace marltest {

GuardedBuffer::GuardedBuffer(size_t size, uint8_t fill) : Size(size) {
    size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    size_t body = (size + page - 1) / page * page;
    if (body == 0) body = page;
    MappingSize = body + 2 * page;
    void* mapping = mmap(nullptr, MappingSize, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) throw std::runtime_error("mmap failed");
    Mapping = static_cast<uint8_t*>(mapping);
    if (mprotect(Mapping + page, body, PROT_READ | PROT_WRITE) != 0)
        throw std::runtime_error("mprotect failed");
    Data = Mapping + page + body - size;
    std::memset(Mapping + page, fill, body);
}

GuardedBuffer::~GuardedBuffer() {
    if (Mapping) munmap(Mapping, MappingSize);
}

// Asked for at a few places from 16 GiB up; the kernel takes a free one as it is given.
HighPage::HighPage() {
    if (sizeof(void*) < 8) return;
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    for (uint64_t gib = 16; gib <= 1024 && Data == nullptr; gib *= 4) {
        void* hint = reinterpret_cast<void*>(static_cast<uintptr_t>(gib << 30));
        void* mapping =
            mmap(hint, page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapping == MAP_FAILED) continue;
        if (uint64_t{reinterpret_cast<uintptr_t>(mapping)} >> 32 == 0) {
            munmap(mapping, page);
            continue;
        }
        Data = static_cast<uint8_t*>(mapping);
    }
}

HighPage::~HighPage() {
    if (Data) munmap(Data, static_cast<size_t>(sysconf(_SC_PAGESIZE)));
}

bool Readable(const void* address) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    bool ok = write(fds[1], address, 1) == 1;
    close(fds[0]);
    close(fds[1]);
    return ok;
}

} // namespace marltest
