// The driver's memory service, reached through RenderDevice::Allocator.
//
// The library calls only the third (FreeBlock) and the eighth (AllocBlock) virtual operation;
// the others belong to the driver and are listed so that the table keeps its positions. No
// virtual destructor precedes them: the first eight slots of the table are exactly these.
#pragma once

#include <cstdint>

class HostAllocator {
public:
    virtual void DriverOperation1() {}
    virtual void DriverOperation2() {}
    // Gives back a block obtained from AllocBlock.
    virtual void FreeBlock(void* block) = 0;
    virtual void DriverOperation4() {}
    virtual void DriverOperation5() {}
    virtual void DriverOperation6() {}
    virtual void DriverOperation7() {}
    // Stores a block of `size` bytes through `block` and answers >= 0, or answers < 0.
    // `file` and `line` name the library's call site.
    virtual int32_t AllocBlock(uint32_t size, uint32_t flags, void** block, const char* file,
                               uint32_t line) = 0;

protected:
    ~HostAllocator() = default;
};
