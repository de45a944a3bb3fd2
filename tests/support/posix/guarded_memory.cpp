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

bool Readable(const void* address) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    bool ok = write(fds[1], address, 1) == 1;
    close(fds[0]);
    close(fds[1]);
    return ok;
}

} // namespace marltest
