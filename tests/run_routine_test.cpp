#include "render24/blit/blit_routine.h"
#include "support/asm_names.h"
#include "support/register_watch.h"
#include "support/row_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>

namespace {

// What the caller of Run sees around the call.
struct Observed {
    uint32_t Ebx, Esi, Edi;
    uint32_t EspBefore, EspAfter; // just before the three rows are pushed / after the return
    uint32_t EbpBefore, EbpAfter;
};

constexpr uint32_t kEbx = 0xB0B1B2B3, kEsi = 0x51525354, kEdi = 0xD0D1D2D3;

} // namespace

// Calls Run as compiled code does (fastcall: the routine in ECX, the rows on the stack) with
// known values in EBX, ESI and EDI, and records them, ESP and EBP after the return. The
// caller is i386 code: the 64-bit edition's frame has its own.
#if defined(__i386__)
extern "C" void MarlTestObservedRun(marl::BlitRoutine* routine, const void* source,
                                    void* destination, const void* pattern, Observed* out);
asm(R"(
    .text
    .globl )" MARLTEST_ASM_C_NAME(MarlTestObservedRun) "\n" MARLTEST_ASM_FUNCTION_TYPE(
    MarlTestObservedRun) MARLTEST_ASM_C_NAME(MarlTestObservedRun) R"(:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl 24(%ebp), %eax
    movl %esp, 12(%eax)
    movl %ebp, 20(%eax)
    pushl 20(%ebp)
    pushl 16(%ebp)
    pushl 12(%ebp)
    movl 8(%ebp), %ecx
    xorl %edx, %edx
    movl $0xB0B1B2B3, %ebx
    movl $0x51525354, %esi
    movl $0xD0D1D2D3, %edi
    call )" MARLTEST_ASM_FASTCALL_NAME(MarlRunRoutine, 20) R"(
    movl 24(%ebp), %eax
    movl %ebx, 0(%eax)
    movl %esi, 4(%eax)
    movl %edi, 8(%eax)
    movl %esp, 16(%eax)
    movl %ebp, 24(%eax)
    leal -12(%ebp), %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
)" MARLTEST_ASM_FUNCTION_SIZE(MarlTestObservedRun));
#endif

namespace {

using marltest::RopRequest;

RopRequest Request(uint8_t rop, bool patternRow, uint32_t sourceBits, uint32_t width) {
    RopRequest request;
    request.Rop = rop;
    request.BrushPattern = patternRow;
    request.PatternWidth = 7;
    request.PatternPhase = 3;
    request.SourceBits = sourceBits;
    request.SetBitColor = 0x00C08040;
    request.ClearBitColor = 0x0010E0F0;
    request.PatternColor = 0x00336699;
    request.RowWidth = width;
    request.SourcePlaneStride = width + 1;
    request.DestPlaneStride = width + 2;
    return request;
}

// Short and long routines, the stack form, and one that returns at once.
const RopRequest kObservedRequests[] = {Request(0x17, true, 1, 33), Request(0x01, false, 24, 9),
                                        Request(0x68, true, 8, 5), Request(0xAA, false, 24, 4),
                                        Request(0x5A, true, 24, 0)};

TEST(RunRoutine, KeepsTheCallersRegistersAndStack) {
#if MARL_ROUTINE_64
    std::mt19937 random(0x5EED05);
    marltest::RowArena arena(128);
    for (const RopRequest& request : kObservedRequests) {
        marltest::RowFixture rows(request, random, arena);
        marl::BlitRoutine routine = marltest::Compile(request);
        EXPECT_EQ(CallWatchingRegisters(&routine, rows.Source(), rows.Destination(),
                                        rows.Pattern()),
                  1u)
            << "a register the convention keeps, RBP or RSP did not come back";
        EXPECT_TRUE(rows.MatchesReference());
    }
#else
    std::mt19937 random(0x5EED05);
    marltest::RowArena arena(128);
    for (const RopRequest& request : kObservedRequests) {
        marltest::RowFixture rows(request, random, arena);
        marl::BlitRoutine routine = marltest::Compile(request);
        Observed seen{};
        MarlTestObservedRun(&routine, rows.Source(), rows.Destination(), rows.Pattern(), &seen);
        EXPECT_EQ(seen.Ebx, kEbx);
        EXPECT_EQ(seen.Esi, kEsi);
        EXPECT_EQ(seen.Edi, kEdi);
        EXPECT_EQ(seen.EspAfter, seen.EspBefore) << "the three rows were not removed";
        EXPECT_EQ(seen.EbpAfter, seen.EbpBefore);
        EXPECT_TRUE(rows.MatchesReference());
    }
#endif
}

TEST(RunRoutine, RowsNotReadMayBeNull) {
    // For every code, a routine is run with null rows for whatever its name does not read
    // (the fixture passes null there); a routine that touched one would fault.
    std::mt19937 random(0x5EED06);
    marltest::RowArena arena(64);
    for (uint32_t rop = 0; rop < 256; ++rop) {
        RopRequest request = Request(uint8_t(rop), rop & 1, rop & 2 ? 1 : 24, 6);
        marltest::RowFixture rows(request, random, arena);
        std::string name = marltest::ReferenceName(uint8_t(rop));
        if (name.find('S') == std::string::npos) {
            EXPECT_EQ(rows.Source(), nullptr);
        }
        if (name.find('P') == std::string::npos || !request.BrushPattern) {
            EXPECT_EQ(rows.Pattern(), nullptr);
        }
        marl::BlitRoutine routine = marltest::Compile(request);
        rows.Run(routine);
        EXPECT_TRUE(rows.MatchesReference());
    }
}

} // namespace
