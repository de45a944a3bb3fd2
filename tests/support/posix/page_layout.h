// Pages in every state the read probe and the page-protection service must tell apart, made
// by the tests themselves and checked against how they were made.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace marltest {

inline size_t Page() { return static_cast<size_t>(sysconf(_SC_PAGESIZE)); }

// Pages of our own: [0] read-write, [1] no access, [2] read-only, [3] read-write, [4] not
// mapped at all (unmapped after the mapping is made), [5] read-write; and a file mapping of
// two pages over a file of one, whose second page raises SIGBUS rather than SIGSEGV.
class PageLayout {
public:
    PageLayout() {
        void* mapping =
            mmap(nullptr, 6 * Page(), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapping == MAP_FAILED) std::abort();
        Base = static_cast<uint8_t*>(mapping);
        std::memset(Base, 0x5A, 4 * Page());
        mprotect(At(1), Page(), PROT_NONE);
        mprotect(At(2), Page(), PROT_READ);
        munmap(At(4), Page());
        FILE* file = std::tmpfile();
        if (file == nullptr || ftruncate(fileno(file), static_cast<off_t>(Page())) != 0)
            std::abort();
        mapping = mmap(nullptr, 2 * Page(), PROT_READ, MAP_SHARED, fileno(file), 0);
        std::fclose(file);
        if (mapping == MAP_FAILED) std::abort();
        File = static_cast<uint8_t*>(mapping);
    }
    ~PageLayout() {
        munmap(Base, 4 * Page());
        munmap(At(5), Page());
        munmap(File, 2 * Page());
    }
    PageLayout(const PageLayout&) = delete;
    PageLayout& operator=(const PageLayout&) = delete;

    uint8_t* At(size_t page, ptrdiff_t offset = 0) { return Base + page * Page() + offset; }
    // Page 0 lies in the file, page 1 past its end.
    uint8_t* InFile(size_t page, ptrdiff_t offset = 0) { return File + page * Page() + offset; }

private:
    uint8_t* Base = nullptr;
    uint8_t* File = nullptr;
};

} // namespace marltest
