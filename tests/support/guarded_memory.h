// Memory placed flush against unreadable pages, so that any access past either end faults at
// once instead of corrupting a neighbour silently.
#pragma once

#include <cstddef>
#include <cstdint>

namespace marltest {

class GuardedBuffer {
public:
    // size bytes whose last byte is followed directly by an unreadable page; the page before
    // the first byte's page is unreadable too.
    explicit GuardedBuffer(size_t size, uint8_t fill = 0);
    ~GuardedBuffer();
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;

    uint8_t* data() { return Data; }
    const uint8_t* data() const { return Data; }
    size_t size() const { return Size; }
    // The first byte past the end: unreadable.
    const uint8_t* end() const { return Data + Size; }

private:
    uint8_t* Mapping = nullptr;
    size_t MappingSize = 0;
    uint8_t* Data = nullptr;
    size_t Size = 0;
};

// One read-write page at an address above 4 GiB, where a 64-bit address cut to its low 32
// bits names other memory; data() is null where no such page can be had (always in the
// 32-bit edition).
class HighPage {
public:
    HighPage();
    ~HighPage();
    HighPage(const HighPage&) = delete;
    HighPage& operator=(const HighPage&) = delete;

    uint8_t* data() { return Data; }

private:
    uint8_t* Data = nullptr;
};

// True when the probe byte at address is readable, judged by the kernel (never faults).
bool Readable(const void* address);

} // namespace marltest
