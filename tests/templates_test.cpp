// The prebuilt routines: the catalogue and its patch slots, and every routine in every variant
// against the reference evaluator.
#include "render24/blit/code_area.h"
#include "render24/blit/serial/templates.h"
#include "support/build_request.h"
#include "support/edition.h"
#include "support/reference_rop.h"
#include "support/row_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

using marl::BlitTemplate;
using marl::SlotKind;
using marl::TemplateSlot;
using marl::TemplateVariant;
using V = TemplateVariant;

// pop EDI, ESI, EBX; leave; ret 12 (ret 24, the three 8-byte rows, on x86-64).
const uint8_t kEpilogue[] = {0x5F, 0x5E, 0x5B, 0xC9, 0xC2, marltest::ByEdition<uint8_t>(0x0C, 0x18),
                             0x00};

// The block as the library was loaded, copied before any test builds a routine.
const std::vector<uint8_t>& PristineBlock() {
    static const std::vector<uint8_t> copy(marl::TemplateArea().Base,
                                           marl::TemplateArea().Base + marl::TemplateArea().Size);
    return copy;
}
[[maybe_unused]] const bool PristineTaken = !PristineBlock().empty();

size_t Offset(const uint8_t* address) { return address - marl::TemplateArea().Base; }

uint32_t Read32(const uint8_t* bytes) {
    uint32_t value = 0;
    std::memcpy(&value, bytes, 4);
    return value;
}

bool HasPattern(V v) { return v == V::Pattern || v == V::OneBitPattern || v == V::PlanesPattern; }
bool HasSolid(V v) { return v == V::Solid || v == V::OneBitSolid || v == V::PlanesSolid; }
bool HasOneBit(V v) { return v == V::OneBit || v == V::OneBitSolid || v == V::OneBitPattern; }
bool HasPlanes(V v) { return v == V::Planes || v == V::PlanesSolid || v == V::PlanesPattern; }

struct CatalogueRow {
    uint8_t Rop;
    V Variant;
};
const CatalogueRow kCatalogue[] = {
    {0x00, V::Plain},       {0x0A, V::Solid},         {0x0A, V::Pattern},
    {0x0F, V::Solid},       {0x0F, V::Pattern},       {0x55, V::Plain},
    {0x5A, V::Solid},       {0x5A, V::Pattern},       {0x5F, V::Solid},
    {0x5F, V::Pattern},     {0x66, V::OneBit},        {0x66, V::Planes},
    {0x88, V::OneBit},      {0x88, V::Planes},        {0xA0, V::Solid},
    {0xA0, V::Pattern},     {0xB8, V::OneBitSolid},   {0xB8, V::OneBitPattern},
    {0xB8, V::PlanesSolid}, {0xB8, V::PlanesPattern}, {0xCC, V::OneBit},
    {0xCC, V::Planes},      {0xE2, V::OneBitSolid},   {0xE2, V::OneBitPattern},
    {0xE2, V::PlanesSolid}, {0xE2, V::PlanesPattern}, {0xEE, V::OneBit},
    {0xEE, V::Planes},      {0xF0, V::Solid},         {0xF0, V::Pattern},
    {0xFA, V::Solid},       {0xFA, V::Pattern},       {0xFF, V::Plain},
};

TEST(TemplateCatalogue, HoldsTheRoutinesBackToBackInBlockOrder) {
    auto catalogue = marl::TemplateCatalogue();
    ASSERT_EQ(catalogue.size(), std::size(kCatalogue));
    const uint8_t* next = marl::TemplateArea().Base;
    for (size_t i = 0; i < catalogue.size(); ++i) {
        SCOPED_TRACE(catalogue[i].Label);
        EXPECT_EQ(catalogue[i].Rop, kCatalogue[i].Rop);
        EXPECT_EQ(catalogue[i].Variant, kCatalogue[i].Variant);
        EXPECT_EQ(catalogue[i].Entry, next);
        next = catalogue[i].End;
        ASSERT_GT(catalogue[i].End - catalogue[i].Entry, 7);
        EXPECT_EQ(std::memcmp(catalogue[i].End - 7, kEpilogue, 7), 0);
    }
    // The routine for rows of no pixels closes the block.
    EXPECT_EQ(marl::ReturnAtOnceRoutine(), next);
    EXPECT_EQ(std::memcmp(next, kEpilogue, 7), 0);
    EXPECT_EQ(next + 7, marl::TemplateArea().Base + marl::TemplateArea().Size);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(marl::TemplateArea().Base) % 4096, 0u);
    for (uint32_t code = 0; code < 256; ++code) {
        bool listed = false;
        for (const CatalogueRow& row : kCatalogue)
            listed |= row.Rop == code;
        EXPECT_EQ(marl::InTemplateCatalogue(code), listed) << std::hex << code;
    }
}

// How many slots of each kind a routine has, from what its variant reads.
std::map<SlotKind, int> ExpectedSlotCounts(const BlitTemplate& routine) {
    std::map<SlotKind, int> counts{
        {SlotKind::Count, 3}, {SlotKind::DestStep, 2}, {SlotKind::LoopBack, 3}};
    if (HasPlanes(routine.Variant)) counts[SlotKind::SourceStep] = 2;
    if (HasPattern(routine.Variant)) {
        counts[SlotKind::Phase] = 3;
        counts[SlotKind::Wrap] = 3;
        counts[SlotKind::PatternStep] = 2;
    }
    if (HasSolid(routine.Variant)) {
        std::string name = marltest::ReferenceName(routine.Rop);
        counts[SlotKind::Color] = 3 * static_cast<int>(std::count(name.begin(), name.end(), 'P'));
    }
    if (HasOneBit(routine.Variant)) {
        counts[SlotKind::SetBit] = 3;
        counts[SlotKind::ClearBit] = 3;
        counts[SlotKind::BitPhase] = 3;
    }
    return counts;
}

size_t SlotSize(SlotKind kind) { return kind == SlotKind::LoopBack ? 1 : 4; }

TEST(TemplateSlots, FollowTheVariantAndHoldTheirPlaceholdersInTheStoredBlock) {
    const std::vector<uint8_t>& block = PristineBlock();
    for (const BlitTemplate& routine : marl::TemplateCatalogue()) {
        SCOPED_TRACE(routine.Label);
        std::map<SlotKind, int> counts;
        std::vector<bool> covered(block.size(), false);
        for (const TemplateSlot& slot : routine.Slots) {
            ++counts[slot.Kind];
            ASSERT_GE(slot.Address, routine.Entry);
            ASSERT_LE(slot.Address + SlotSize(slot.Kind), routine.End);
            size_t at = Offset(slot.Address);
            for (size_t i = 0; i < SlotSize(slot.Kind); ++i) {
                EXPECT_FALSE(covered[at + i]) << "slots overlap at " << at;
                covered[at + i] = true;
            }
            if (slot.Kind == SlotKind::LoopBack) {
                EXPECT_EQ(block[at], 0xE2);
                EXPECT_GE(slot.LoopTop, routine.Entry);
                EXPECT_LT(slot.LoopTop, slot.Address);
            } else {
                uint32_t expected = slot.Kind == SlotKind::PatternStep ? 0x56789ABCu : 0x12345678u;
                EXPECT_EQ(Read32(block.data() + at), expected) << int(slot.Kind);
            }
        }
        EXPECT_EQ(counts, ExpectedSlotCounts(routine));
        // No placeholder in the routine that the table does not know as a slot.
        for (size_t at = Offset(routine.Entry); at + 4 <= Offset(routine.End); ++at) {
            uint32_t word = Read32(block.data() + at);
            if (word == 0x12345678u || word == 0x56789ABCu) {
                EXPECT_TRUE(covered[at]) << "unlabelled placeholder at " << at;
            }
        }
    }
}

// Values that differ from each other in every byte the slots receive.
marltest::RopRequest DistinctRequest(const BlitTemplate& routine) {
    marltest::RopRequest request;
    request.Rop = routine.Rop;
    request.BrushPattern = HasPattern(routine.Variant);
    request.SourceBits = HasOneBit(routine.Variant) ? 1 : 24;
    request.PatternColor = 0xEE332211;
    request.SetBitColor = 0xDD665544;
    request.ClearBitColor = 0xCC998877;
    request.BitPhase = 5;
    request.RowWidth = 0x0123;
    request.DestPlaneStride = 0x0456;
    request.SourcePlaneStride = 0x0789;
    request.PatternWidth = 0x0ABC;
    request.PatternPhase = 0x0ABB;
    return request;
}

uint32_t ExpectedSlotValue(const TemplateSlot& slot, const marltest::RopRequest& request) {
    auto byte = [&slot](uint32_t colour) { return (colour >> (8 * slot.Plane)) & 0xFF; };
    switch (slot.Kind) {
    case SlotKind::Count: return request.RowWidth;
    case SlotKind::DestStep: return request.DestPlaneStride;
    case SlotKind::SourceStep: return request.SourcePlaneStride;
    case SlotKind::Phase: return request.PatternPhase;
    case SlotKind::Wrap:
    case SlotKind::PatternStep: return request.PatternWidth;
    case SlotKind::Color: return byte(request.PatternColor);
    case SlotKind::SetBit: return byte(request.SetBitColor);
    case SlotKind::ClearBit: return byte(request.ClearBitColor);
    case SlotKind::BitPhase: return request.BitPhase;
    case SlotKind::LoopBack: break;
    }
    return 0;
}

TEST(TemplateSlots, BuildWritesEverySlotOfTheChosenRoutine) {
    for (const BlitTemplate& routine : marl::TemplateCatalogue()) {
        SCOPED_TRACE(routine.Label);
        marltest::RopRequest request = DistinctRequest(routine);
        marl::BlitRoutine built;
        marltest::BuildFor(built, request);
        ASSERT_EQ(built.Entry, reinterpret_cast<uintptr_t>(routine.Entry));
        for (const TemplateSlot& slot : routine.Slots) {
            if (slot.Kind == SlotKind::LoopBack) {
                auto distance = static_cast<int8_t>(*slot.Address);
                EXPECT_EQ(slot.Address + 1 + distance, slot.LoopTop);
                continue;
            }
            EXPECT_EQ(Read32(slot.Address), ExpectedSlotValue(slot, request)) << int(slot.Kind);
        }
        for (const uint8_t* at = routine.Entry; at + 4 <= routine.End; ++at) {
            uint32_t word = Read32(at);
            EXPECT_NE(word, 0x12345678u) << "left unpatched at " << Offset(at);
            EXPECT_NE(word, 0x56789ABCu) << "left unpatched at " << Offset(at);
        }
    }
}

// ---- every routine against the reference ----

// One configuration of the values a variant reads beyond the common ones.
struct Phases {
    uint32_t PatternWidth = 1, PatternPhase = 0, BitPhase = 0, SourceBits = 24;
};

// Pattern widths 1, 8 and 16 with every phase; bit phases 0 to 7. A variant with both sweeps
// them side by side, so every pattern phase and every bit phase occurs. Plane sources are
// three plane runs (SourceBits 24) and, every third run, one run for all planes (8).
std::vector<Phases> PhaseSweep(V variant) {
    std::vector<Phases> patterns(1), bits(1);
    if (HasPattern(variant)) {
        patterns.clear();
        for (uint32_t width : {1u, 8u, 16u})
            for (uint32_t phase = 0; phase < width; ++phase)
                patterns.push_back({width, phase, 0});
    }
    if (HasOneBit(variant)) {
        bits.clear();
        for (uint32_t phase = 0; phase < 8; ++phase)
            bits.push_back({1, 0, phase});
    }
    std::vector<Phases> sweep;
    size_t runs = std::max<size_t>({patterns.size(), bits.size(), 3});
    for (size_t i = 0; i < runs; ++i) {
        Phases phases = patterns[i % patterns.size()];
        phases.BitPhase = bits[i % bits.size()].BitPhase;
        phases.SourceBits = HasOneBit(variant) ? 1 : i % 3 == 2 ? 8 : 24;
        sweep.push_back(phases);
    }
    return sweep;
}

// Rows of the widest band with plane gaps of up to 7 bytes.
constexpr size_t kArenaBytes = 3 * 4967;

class TemplateAgainstReference : public testing::TestWithParam<uint8_t> {};

TEST_P(TemplateAgainstReference, EveryVariantWidthAndPhase) {
    std::mt19937 random(GetParam());
    marltest::RowArena arena(kArenaBytes);
    for (const BlitTemplate& routine : marl::TemplateCatalogue()) {
        if (routine.Rop != GetParam()) continue;
        for (uint32_t width : {1u, 7u, 8u, 9u, 4960u}) {
            for (const Phases& phases : PhaseSweep(routine.Variant)) {
                marltest::RopRequest request;
                request.Rop = routine.Rop;
                request.BrushPattern = HasPattern(routine.Variant);
                request.SourceBits = phases.SourceBits;
                request.RowWidth = width;
                request.DestPlaneStride = width + random() % 8;
                request.SourcePlaneStride = width + random() % 8;
                request.PatternWidth = phases.PatternWidth;
                request.PatternPhase = phases.PatternPhase;
                request.BitPhase = phases.BitPhase;
                request.PatternColor = random();
                request.ClearBitColor = random();
                request.SetBitColor = random();
                SCOPED_TRACE(std::string(routine.Label) + " width " + std::to_string(width) +
                             " pattern " + std::to_string(phases.PatternWidth) + "/" +
                             std::to_string(phases.PatternPhase) + " bit phase " +
                             std::to_string(phases.BitPhase) + " source bits " +
                             std::to_string(phases.SourceBits));

                marltest::RowFixture rows(request, random, arena);
                marl::BlitRoutine built;
                marltest::BuildFor(built, request);
                ASSERT_EQ(built.Entry, reinterpret_cast<uintptr_t>(routine.Entry));
                rows.Run(built);
                ASSERT_TRUE(rows.MatchesReference());
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(CatalogueCodes, TemplateAgainstReference,
                         testing::Values(0x00, 0x0A, 0x0F, 0x55, 0x5A, 0x5F, 0x66, 0x88, 0xA0, 0xB8,
                                         0xCC, 0xE2, 0xEE, 0xF0, 0xFA, 0xFF),
                         [](const testing::TestParamInfo<uint8_t>& info) {
                             char name[8];
                             std::snprintf(name, sizeof name, "Rop%02X", info.param);
                             return std::string(name);
                         });

} // namespace
