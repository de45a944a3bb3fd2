// The driver's memory service, reached through RenderDevice::Allocator.
//
// The library calls only the third (FreeBlock) and the eighth (AllocBlock) virtual operation;
// the others belong to the driver and are listed so that the table keeps its positions. No
// virtual destructor precedes them: the first eight slots of the table are exactly these.
// Each is thiscall on 32-bit Windows (call_convention.h), so the table a driver built with
// MSVC fills is the one the library calls. The 64-bit edition keeps the same eight slots in
// the same order, each 8 bytes wide, called in the platform's own convention.
#pragma once

#include "marlrend/call_convention.h"

#include <cstdint>

class HostAllocator {
public:
    virtual void MARLREND_THISCALL DriverOperation1() {}
    virtual void MARLREND_THISCALL DriverOperation2() {}
    // Gives back a block obtained from AllocBlock.
    virtual void MARLREND_THISCALL FreeBlock(void* block) = 0;
    virtual void MARLREND_THISCALL DriverOperation4() {}
    virtual void MARLREND_THISCALL DriverOperation5() {}
    virtual void MARLREND_THISCALL DriverOperation6() {}
    virtual void MARLREND_THISCALL DriverOperation7() {}
    // Stores a block of `size` bytes through `block` and answers >= 0, or answers < 0.
    // `file` and `line` name the library's call site.
    virtual int32_t MARLREND_THISCALL AllocBlock(uint32_t size, uint32_t flags, void** block,
                                                 const char* file, uint32_t line) = 0;

protected:
    ~HostAllocator() = default;
};
