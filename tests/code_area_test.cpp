// The code areas (two views, or one flipped only when written) and the routine cache: a kept
// routine is the routine a fresh generation makes, byte for byte and sample for sample.
#include "platform/platform.h"
#include "render24/blit/blit_routine.h"
#include "render24/blit/code_area.h"
#include "render24/blit/routine_cache.h"
#include "render24/blit/row_routine.h"
#include "render24/blit/serial/rop_compiler.h"
#include "render24/blit/serial/templates.h"
#include "render24/blit/vector/cpu_features.h"
#include "render24/blit/vector/vector_compiler.h"
#include "support/build_request.h"
#include "support/child_process.h"
#include "support/page_map.h"
#include "support/row_fixture.h"
#include "support/vector_rows.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using marl::BlitRoutine;
using marl::CodeArea;
using marl::CodeViews;
using marltest::RopRequest;

std::string Permissions(const void* address) {
    return marltest::PagePermissions(address).substr(0, 3);
}

// ---- the two kinds of area ----

// mov eax, value; ret
void WriteReturn(uint8_t* at, uint32_t value) {
    const uint8_t code[] = {0xB8,
                            static_cast<uint8_t>(value),
                            static_cast<uint8_t>(value >> 8),
                            static_cast<uint8_t>(value >> 16),
                            static_cast<uint8_t>(value >> 24),
                            0xC3};
    std::memcpy(at, code, sizeof code);
}

uint32_t CallAt(const uint8_t* at) {
    auto function = reinterpret_cast<uint32_t (*)()>(reinterpret_cast<uintptr_t>(at));
    return function();
}

std::vector<uint8_t> Bytes(uintptr_t from, uintptr_t to) {
    const auto* first = reinterpret_cast<const uint8_t*>(from);
    return std::vector<uint8_t>(first, first + (to - from));
}

// The parameter: whether twin views are allowed (else the area has one flipped view).
class CodeAreaViews : public testing::TestWithParam<bool> {};

TEST_P(CodeAreaViews, WrittenThroughOneViewAndRunFromTheOther) {
    CodeArea area = marl::MapCodeArea(5000, GetParam());
    ASSERT_TRUE(area.Usable());
    EXPECT_EQ(area.Views, GetParam() ? CodeViews::Twin : CodeViews::Flipped);
    EXPECT_EQ(area.Size, 5000u);
    EXPECT_EQ(area.Mapped, 8192u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(area.Base) % 4096, 0u);
    EXPECT_EQ(area.Base == area.Writable, !GetParam());
    const uint8_t* second = area.Base + 4096 + 100; // a routine on the second page
    for (uint32_t value : {42u, 0xC0DE5EEDu}) {
        ASSERT_TRUE(marl::BeginWriting(area));
        for (const uint8_t* page : {area.Base, area.Base + 4096}) {
            EXPECT_NE(Permissions(page), "rwx");
            EXPECT_NE(Permissions(area.WriteAddress(page)), "rwx");
            EXPECT_EQ(Permissions(area.WriteAddress(page)), "rw-");
        }
        WriteReturn(area.WriteAddress(second), value);
        ASSERT_TRUE(marl::EndWriting(area));
        for (const uint8_t* page : {area.Base, area.Base + 4096}) {
            EXPECT_EQ(Permissions(page), "r-x");
            if (GetParam()) {
                EXPECT_EQ(Permissions(area.WriteAddress(page)), "rw-");
            }
        }
        EXPECT_EQ(CallAt(second), value);
    }
    marl::UnmapCodeArea(area);
    EXPECT_FALSE(area.Usable());
    EXPECT_FALSE(marl::BeginWriting(area));
}

INSTANTIATE_TEST_SUITE_P(Views, CodeAreaViews, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "Twin" : "Flipped");
                         });

// An area of the test program, mapped before any child is started.
CodeArea& ForkedArea() {
    static CodeArea area = marl::MapCodeArea(4096);
    return area;
}

// In the child: the area and the routine cache written over with other routines.
MARLTEST_CHILD_ROLE(WriteOverTheCodeAreas) {
    CodeArea& area = ForkedArea();
    if (!marl::BeginWriting(area)) return 2;
    WriteReturn(area.WriteAddress(area.Base), 99);
    if (!marl::EndWriting(area)) return 3;
    marl::RoutineSlots& kept = marl::GeneratedRoutines();
    kept.Clear();
    for (uint32_t rop = 0; rop < 200; ++rop) {
        BlitRoutine routine;
        marl::CompileKeptRop(routine,
                             marl::NormaliseRequest(rop, 0, 0, 9, 9, 1, 0, 9, 24, 0, 0, 0));
    }
    return CallAt(area.Base) == 99 ? 0 : 1;
}

// A child process has code areas of its own: what it writes into them does not reach the
// parent's routines, which a fork would otherwise share.
TEST(CodeAreas, AChildProcessWritesOnlyItsOwnAreas) {
    CodeArea& area = ForkedArea();
    ASSERT_TRUE(marl::BeginWriting(area));
    WriteReturn(area.WriteAddress(area.Base), 42);
    ASSERT_TRUE(marl::EndWriting(area));
    BlitRoutine kept;
    ASSERT_TRUE(marl::CompileKeptRop(
        kept, marl::NormaliseRequest(0x17, 1, 0x123456, 40, 40, 8, 3, 40, 1, 1, 2, 5)));
    const std::vector<uint8_t> before = Bytes(kept.Entry, kept.Cursor);

    marltest::ChildProcess child("WriteOverTheCodeAreas");
    ASSERT_TRUE(child.Started());
    EXPECT_EQ(child.Wait(), 0);
    EXPECT_EQ(CallAt(area.Base), 42u);
    EXPECT_EQ(Bytes(kept.Entry, kept.Cursor), before);
    BlitRoutine again;
    ASSERT_TRUE(marl::CompileKeptRop(
        again, marl::NormaliseRequest(0x17, 1, 0x123456, 40, 40, 8, 3, 40, 1, 1, 2, 5)));
    EXPECT_EQ(again.Entry, kept.Entry);
}

// The engine's own areas: each has two views here, and runs from pages nothing writes.
TEST(CodeAreas, TheEnginesAreasAreTwinViews) {
    const CodeArea* areas[] = {&marl::CodeBufferArea(), &marl::TemplateArea(),
                               &marl::VectorCodeArea(), &marl::GeneratedRoutines().Area(),
                               &marl::VectorRoutines().Area()};
    for (const CodeArea* area : areas) {
        ASSERT_TRUE(area->Usable());
        EXPECT_EQ(area->Views, CodeViews::Twin);
        EXPECT_EQ(Permissions(area->Base), "r-x");
        EXPECT_EQ(Permissions(area->Base + area->Size - 1), "r-x");
        EXPECT_EQ(Permissions(area->Writable), "rw-");
    }
    // Every routine of the catalogue lies in the template area's executable view.
    const CodeArea& templates = marl::TemplateArea();
    for (const marl::BlitTemplate& routine : marl::TemplateCatalogue()) {
        EXPECT_GE(routine.Entry, templates.Base);
        EXPECT_LE(routine.End, templates.Base + templates.Size);
    }
}

// ---- the routine cache ----

TEST(RoutineCache, TheLeastRecentlyUsedRoutineMakesRoom) {
    marl::RoutineSlots slots(256, 3);
    auto key = [](uint32_t n) {
        return marl::NormaliseRequest(n, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11);
    };
    // Each row: the key asked for, whether it is kept then, and the slot it is in.
    struct Ask {
        uint32_t Key;
        bool Kept;
        uint32_t Slot;
    } asks[] = {
        {1, false, 0}, {2, false, 1}, {3, false, 2}, {1, true, 0}, // 2 is now used longest ago
        {4, false, 1}, {3, true, 2},  {2, false, 0},               // 1 was next
        {4, true, 1},  {3, true, 2},  {2, true, 0},
    };
    for (const Ask& ask : asks) {
        marl::RoutineSlots::Place place;
        ASSERT_TRUE(slots.Find(key(ask.Key), place));
        EXPECT_EQ(place.Kept, ask.Kept) << ask.Key;
        EXPECT_EQ(place.Index, ask.Slot) << ask.Key;
        EXPECT_EQ(place.Run, slots.Area().Base + 256 * ask.Slot);
        EXPECT_EQ(place.Write, slots.Area().WriteAddress(place.Run));
        if (!place.Kept) slots.Keep(key(ask.Key), place, 10 + ask.Key);
        EXPECT_EQ(place.Length, place.Kept ? 10 + ask.Key : 0) << ask.Key;
    }
    EXPECT_EQ(slots.Written(), 5u);
    marl::UnmapCodeArea(slots.Area());
}

RopRequest RandomRequest(uint32_t rop, uint32_t width, std::mt19937& random) {
    RopRequest r;
    r.Rop = static_cast<uint8_t>(rop);
    r.RowWidth = width;
    const uint32_t kinds[] = {1, 8, 24};
    r.SourceBits = kinds[random() % 3];
    r.BrushPattern = random() % 2;
    r.PatternColor = marltest::BiasedColour(random);
    r.PatternWidth = 1 + random() % 12;
    r.PatternPhase = random() % r.PatternWidth;
    r.ClearBitColor = marltest::BiasedColour(random);
    r.SetBitColor = marltest::BiasedColour(random);
    r.BitPhase = random() % 8;
    r.SourcePlaneStride = width + random() % 8;
    r.DestPlaneStride = width + random() % 8;
    return r;
}

// Every code, twice in a row: the second time the kept routine runs and nothing is written.
TEST(RoutineCache, KeptGeneratedRoutinesAreFreshOnes) {
    std::mt19937 random(31);
    marltest::RowArena arena(256);
    marl::RoutineSlots& kept = marl::GeneratedRoutines();
    for (uint32_t rop = 0; rop < 256; ++rop) {
        const RopRequest request = RandomRequest(rop, 1 + random() % 40, random);
        SCOPED_TRACE(marltest::Describe(request));
        const BlitRoutine fresh = marltest::Compile(request);
        const std::vector<uint8_t> freshBytes = Bytes(fresh.Entry, fresh.Cursor);
        BlitRoutine first, second;
        ASSERT_TRUE(marl::CompileKeptRop(first, marltest::Normalised(request)));
        const uint32_t written = kept.Written();
        ASSERT_TRUE(marl::CompileKeptRop(second, marltest::Normalised(request)));
        EXPECT_EQ(kept.Written(), written);
        EXPECT_EQ(second.Entry, first.Entry);
        EXPECT_NE(second.Entry, fresh.Entry);
        EXPECT_EQ(Bytes(second.Entry, second.Cursor), freshBytes);
        marltest::RowFixture rows(request, random, arena);
        rows.Run(second);
        ASSERT_TRUE(rows.MatchesReference());
    }
}

// The i386 vector routines read their constants at absolute addresses inside their own slot: a
// kept routine equals a fresh one once the fresh one's pool addresses are moved to the slot.
// The x86-64 routines read them RIP-relative: the same bytes wherever they lie.
std::vector<uint8_t> MovedPool(std::vector<uint8_t> code, uintptr_t freshPool, uintptr_t keptPool) {
    if constexpr (MARL_ROUTINE_64 != 0) return code;
    for (size_t i = 0; i + 4 <= code.size(); ++i) {
        uint32_t word = 0;
        std::memcpy(&word, &code[i], 4);
        if (word < freshPool || word >= freshPool + marl::vec::kConstantPoolBytes) continue;
        word = static_cast<uint32_t>(word - freshPool + keptPool);
        std::memcpy(&code[i], &word, 4);
        i += 3;
    }
    return code;
}

TEST(RoutineCache, KeptVectorRoutinesAreFreshOnes) {
    if (!marl::vec::CpuHasSse2()) GTEST_SKIP() << "no SSE2";
    std::mt19937 random(32);
    marl::RoutineSlots& kept = marl::VectorRoutines();
    for (uint32_t rop = 0; rop < 256; rop += 3) {
        const RopRequest request = RandomRequest(rop, 16 + random() % 300, random);
        marltest::VectorRows rows(request, random() % 9, random() % 9, random);
        SCOPED_TRACE(marltest::Describe(rows.Request()));
        const marl::BlitRequest vector = marltest::Normalised(rows.Request());
        BlitRoutine fresh, first, second;
        ASSERT_TRUE(marl::vec::CompileVectorRop(fresh, vector));
        const uintptr_t freshPool = fresh.Entry - marl::vec::kConstantPoolBytes;
        const std::vector<uint8_t> freshBytes = Bytes(freshPool, fresh.Cursor);
        ASSERT_TRUE(marl::vec::CompileKeptVectorRop(first, vector));
        const uint32_t written = kept.Written();
        ASSERT_TRUE(marl::vec::CompileKeptVectorRop(second, vector));
        EXPECT_EQ(kept.Written(), written);
        EXPECT_EQ(second.Entry, first.Entry);
        const uintptr_t keptPool = second.Entry - marl::vec::kConstantPoolBytes;
        EXPECT_EQ(Bytes(keptPool, second.Cursor), MovedPool(freshBytes, freshPool, keptPool));
        const std::vector<uint8_t> expected = rows.Expected();
        rows.RunVector(second);
        ASSERT_EQ(rows.Difference(expected), "");
    }
}

std::vector<uint8_t> RoutineBytes(const marl::BlitTemplate& routine) {
    return std::vector<uint8_t>(static_cast<const uint8_t*>(routine.Entry), routine.End);
}

// A prebuilt routine prepared again for the values it holds is not written at all: its
// writable view is made read-only meanwhile, so a write would fault. Prepared for other
// values and back, it holds exactly the bytes it held the first time.
TEST(RoutineCache, PrebuiltRoutinesArePatchedOnlyWhenAValueChanges) {
    std::mt19937 random(33);
    marltest::RowArena arena(256);
    CodeArea& templates = marl::TemplateArea();
    for (uint32_t rop : {0x00u, 0x5Au, 0xB8u, 0xCCu, 0xE2u, 0xF0u}) {
        const RopRequest request = RandomRequest(rop, 1 + random() % 40, random);
        RopRequest other = request;
        other.RowWidth += 1;
        other.PatternColor ^= 0x010101;
        other.SetBitColor ^= 0x808080;
        SCOPED_TRACE(marltest::Describe(request));
        const marl::BlitRequest asked = marltest::Normalised(request);

        BlitRoutine routine;
        ASSERT_TRUE(routine.Prepare(asked));
        const marl::BlitTemplate* prebuilt = nullptr;
        for (const marl::BlitTemplate& t : marl::TemplateCatalogue())
            if (reinterpret_cast<uintptr_t>(t.Entry) == routine.Entry) prebuilt = &t;
        ASSERT_NE(prebuilt, nullptr);
        const std::vector<uint8_t> first = RoutineBytes(*prebuilt);

        DWORD previous = 0;
        ASSERT_TRUE(VirtualProtect(templates.Writable, templates.Mapped, PAGE_READONLY, &previous));
        const bool again = routine.Prepare(asked);
        ASSERT_TRUE(
            VirtualProtect(templates.Writable, templates.Mapped, PAGE_READWRITE, &previous));
        EXPECT_TRUE(again);

        BlitRoutine changed;
        marltest::BuildFor(changed, other);
        EXPECT_NE(RoutineBytes(*prebuilt), first);
        ASSERT_TRUE(routine.Prepare(asked));
        EXPECT_EQ(RoutineBytes(*prebuilt), first);
        marltest::RowFixture rows(request, random, arena);
        rows.Run(routine);
        ASSERT_TRUE(rows.MatchesReference());
    }
}

} // namespace
