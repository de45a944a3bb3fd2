// The driver's allocator as another compiler builds it: an object whose table of eight
// operations is written out by hand in assembler, each operation following the platform's
// member-call convention to the letter. On Win32 that is thiscall as MSVC compiles it (the
// object in ECX, the callee removing its arguments with "ret n"); on i386 ELF the object is
// the first stack argument and the caller removes the arguments; on x86-64 (System V and
// Win64 alike) the object is the first argument of an ordinary call. A library that called
// the table any other way would hand over the wrong object or unbalance the stack.
#include "marlrend/marlrend.h"
#include "support/asm_names.h"
#include "support/edition.h"
#include "support/library.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <typeinfo>
#include <vector>

namespace {

struct ForeignAllocator {
    const void* const* Table;
};

struct AllocRecord {
    const void* Self;
    uint32_t Size, Flags;
    void** Block;
    std::string File;
    uint32_t Line;
};

struct Log {
    std::vector<AllocRecord> Allocs;
    std::vector<std::pair<const void*, void*>> Frees; // object, block
    std::vector<const void*> Others; // calls of an operation the library must never make
};

Log Calls;

} // namespace

// What the operations hand over once their own convention is undone: the object first.
extern "C" int32_t MarlTestRecordAlloc(const void* self, uint32_t size, uint32_t flags,
                                       void** block, const char* file, uint32_t line) {
    *block = std::malloc(size);
    Calls.Allocs.push_back({self, size, flags, block, file ? file : "", line});
    return *block ? 0 : -1;
}
extern "C" void MarlTestRecordFree(const void* self, void* block) {
    Calls.Frees.emplace_back(self, block);
    std::free(block);
}
extern "C" void MarlTestRecordOther(const void* self) { Calls.Others.push_back(self); }

extern "C" uint8_t MarlTestForeignAlloc[], MarlTestForeignFree[], MarlTestForeignOther[];

#if defined(_WIN32) && !defined(__x86_64__)
// thiscall: ECX the object, the stack the return address and size, flags, block, file, line.
// Each "pushl 20(%esp)" takes the next argument down, as the ones before it moved ESP.
asm(R"(
    .text
)" MARLTEST_ASM_C_NAME(MarlTestForeignAlloc) R"(:
    pushl 20(%esp)
    pushl 20(%esp)
    pushl 20(%esp)
    pushl 20(%esp)
    pushl 20(%esp)
    pushl %ecx
    call )" MARLTEST_ASM_C_NAME(MarlTestRecordAlloc) R"(
    addl $24, %esp
    ret $20
)" MARLTEST_ASM_C_NAME(MarlTestForeignFree) R"(:
    pushl 4(%esp)
    pushl %ecx
    call )" MARLTEST_ASM_C_NAME(MarlTestRecordFree) R"(
    addl $8, %esp
    ret $4
)" MARLTEST_ASM_C_NAME(MarlTestForeignOther) R"(:
    pushl %ecx
    call )" MARLTEST_ASM_C_NAME(MarlTestRecordOther) R"(
    addl $4, %esp
    ret
)");
#else
// The object is the first argument, exactly as for the recording functions.
asm(R"(
    .text
)" MARLTEST_ASM_C_NAME(MarlTestForeignAlloc) R"(:
    jmp )" MARLTEST_ASM_C_NAME(MarlTestRecordAlloc) R"(
)" MARLTEST_ASM_C_NAME(MarlTestForeignFree) R"(:
    jmp )" MARLTEST_ASM_C_NAME(MarlTestRecordFree) R"(
)" MARLTEST_ASM_C_NAME(MarlTestForeignOther) R"(:
    jmp )" MARLTEST_ASM_C_NAME(MarlTestRecordOther) R"(
)");
#endif

namespace {

// Names a type for the hand-built table's type information; never made.
class ForeignAllocatorType : public HostAllocator {
public:
    void FreeBlock(void*) override {}
    int32_t AllocBlock(uint32_t, uint32_t, void**, const char*, uint32_t) override { return -1; }
};

// The eight operations, preceded by the two words a C++ table keeps before its first entry
// (the offset to the whole object and the type information), which the undefined-behaviour
// sanitizer reads to check the object's type on every virtual call.
const void* const kForeignTable[10] = {
    nullptr,
    &typeid(ForeignAllocatorType),
    MarlTestForeignOther,
    MarlTestForeignOther,
    MarlTestForeignFree,
    MarlTestForeignOther,
    MarlTestForeignOther,
    MarlTestForeignOther,
    MarlTestForeignOther,
    MarlTestForeignAlloc,
};

TEST(HostAllocatorConvention, LibraryCallsAHandBuiltTableTheWayItsCompilerWould) {
    Calls = Log{};
    ForeignAllocator allocator{kForeignTable + 2};
    RenderDevice device{};
    device.Allocator = reinterpret_cast<HostAllocator*>(&allocator);
    const CapabilityTable& table = marltest::Table();

    // A hatched brush takes one pattern block; its release gives it back.
    LogicalBrush hatched{2, 0x00405060, 3};
    RealizedBrush brush{};
    ASSERT_EQ(table.RealizeBrush(&device, &hatched, &brush, 0, 2, 1, 0, 0x00FFFFFF),
              marltest::kRealizedBrushBytes);
    ASSERT_EQ(Calls.Allocs.size(), 1u);
    const AllocRecord& alloc = Calls.Allocs[0];
    EXPECT_EQ(alloc.Self, &allocator);
    EXPECT_EQ(alloc.Size, 16u * 8u * 3u);
    EXPECT_EQ(alloc.Flags, 1u);
    EXPECT_EQ(alloc.File, "r:\\platf\\src\\render24\\render24");
    EXPECT_EQ(alloc.Line, 821u);
    void* block = brush.Bits;
    EXPECT_NE(block, nullptr);

    table.RealizeBrush(&device, &brush, nullptr, 0, 0, 0, 0, 0);
    ASSERT_EQ(Calls.Frees.size(), 1u);
    EXPECT_EQ(Calls.Frees[0].first, &allocator);
    EXPECT_EQ(Calls.Frees[0].second, block);
    EXPECT_TRUE(Calls.Others.empty());
}

} // namespace
