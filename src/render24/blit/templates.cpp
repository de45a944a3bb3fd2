#include "render24/blit/templates.h"

#include "render24/blit/code_area.h"
#include "render24/blit/rop_names.h"

#include <cstring>
#include <iterator>
#include <vector>

// The slots of a routine follow from its variant. Each list names a slot as
// X(routine, kind, number, plane) and a plane loop as L(routine, number); the lists are read
// once to declare the assembler's labels and once to build the table from them.
// clang-format off
#define MARL_COMMON_SLOTS(X, L, r)                                                                 \
    X(r, Count, 0, 0) X(r, Count, 1, 1) X(r, Count, 2, 2)                                          \
    X(r, DestStep, 0, 1) X(r, DestStep, 1, 2)                                                      \
    L(r, 0) L(r, 1) L(r, 2)
#define MARL_COLOR_SLOTS_1(X, r)                                                                   \
    X(r, Color, 0, 0) X(r, Color, 1, 1) X(r, Color, 2, 2)
#define MARL_COLOR_SLOTS_2(X, r)                                                                   \
    MARL_COLOR_SLOTS_1(X, r)                                                                       \
    X(r, Color, 3, 0) X(r, Color, 4, 1) X(r, Color, 5, 2)
#define MARL_PATTERN_SLOTS(X, r)                                                                   \
    X(r, Phase, 0, 0) X(r, Phase, 1, 1) X(r, Phase, 2, 2)                                          \
    X(r, Wrap, 0, 0) X(r, Wrap, 1, 1) X(r, Wrap, 2, 2)                                             \
    X(r, PatternStep, 0, 1) X(r, PatternStep, 1, 2)
#define MARL_ONEBIT_SLOTS(X, r)                                                                    \
    X(r, SetBit, 0, 0) X(r, SetBit, 1, 1) X(r, SetBit, 2, 2)                                       \
    X(r, ClearBit, 0, 0) X(r, ClearBit, 1, 1) X(r, ClearBit, 2, 2)                                 \
    X(r, BitPhase, 0, 0) X(r, BitPhase, 1, 1) X(r, BitPhase, 2, 2)
#define MARL_PLANES_SLOTS(X, r)                                                                    \
    X(r, SourceStep, 0, 1) X(r, SourceStep, 1, 2)
// clang-format on

#define MARL_VARIANT_Plain(X, L, r, reads) MARL_COMMON_SLOTS(X, L, r)
#define MARL_VARIANT_Solid(X, L, r, reads) MARL_COMMON_SLOTS(X, L, r) MARL_COLOR_SLOTS_##reads(X, r)
#define MARL_VARIANT_Pattern(X, L, r, reads) MARL_COMMON_SLOTS(X, L, r) MARL_PATTERN_SLOTS(X, r)
#define MARL_VARIANT_OneBit(X, L, r, reads) MARL_COMMON_SLOTS(X, L, r) MARL_ONEBIT_SLOTS(X, r)
#define MARL_VARIANT_Planes(X, L, r, reads) MARL_COMMON_SLOTS(X, L, r) MARL_PLANES_SLOTS(X, r)
#define MARL_VARIANT_OneBitSolid(X, L, r, reads)                                                   \
    MARL_VARIANT_OneBit(X, L, r, reads) MARL_COLOR_SLOTS_##reads(X, r)
#define MARL_VARIANT_OneBitPattern(X, L, r, reads)                                                 \
    MARL_VARIANT_OneBit(X, L, r, reads) MARL_PATTERN_SLOTS(X, r)
#define MARL_VARIANT_PlanesSolid(X, L, r, reads)                                                   \
    MARL_VARIANT_Planes(X, L, r, reads) MARL_COLOR_SLOTS_##reads(X, r)
#define MARL_VARIANT_PlanesPattern(X, L, r, reads)                                                 \
    MARL_VARIANT_Planes(X, L, r, reads) MARL_PATTERN_SLOTS(X, r)

// ---- the labels of templates.S ----

#define MARL_DECLARE_SLOT(r, kind, number, plane) extern uint8_t r##_##kind##Slot##number[];
#define MARL_DECLARE_LOOP(r, number)                                                               \
    extern uint8_t r##_LoopBackSlot##number[];                                                     \
    extern uint8_t r##_LoopTop##number[];
#define MARL_DECLARE_ROUTINE(r, variant, reads)                                                    \
    extern uint8_t r[];                                                                            \
    extern uint8_t r##_End[];                                                                      \
    MARL_VARIANT_##variant(MARL_DECLARE_SLOT, MARL_DECLARE_LOOP, r, reads)

extern "C" {
#define MARL_TEMPLATE(code, hex, variant, reads)                                                   \
    MARL_DECLARE_ROUTINE(Tmpl_##hex##_##variant, variant, reads)
#include "render24/blit/template_catalogue.def"
#undef MARL_TEMPLATE
extern uint8_t MarlTemplateReturn[];
extern uint8_t MarlTemplateBlock[];
}

namespace marl {
namespace {

// ---- the table built from them ----

#define MARL_SLOT_ENTRY(r, kind, number, plane)                                                    \
    TemplateSlot{SlotKind::kind, plane, r##_##kind##Slot##number, nullptr},
#define MARL_LOOP_ENTRY(r, number)                                                                 \
    TemplateSlot{SlotKind::LoopBack, number, r##_LoopBackSlot##number, r##_LoopTop##number},
#define MARL_SLOT_LIST(r, variant, reads)                                                          \
    const TemplateSlot r##_Slots[] = {                                                             \
        MARL_VARIANT_##variant(MARL_SLOT_ENTRY, MARL_LOOP_ENTRY, r, reads)};

#define MARL_TEMPLATE(code, hex, variant, reads)                                                   \
    MARL_SLOT_LIST(Tmpl_##hex##_##variant, variant, reads)
#include "render24/blit/template_catalogue.def"
#undef MARL_TEMPLATE

#define MARL_CATALOGUE_ENTRY(code, variant, r)                                                     \
    BlitTemplate{code, TemplateVariant::variant, #r, r, r##_End, r##_Slots},
const BlitTemplate Catalogue[] = {
#define MARL_TEMPLATE(code, hex, variant, reads)                                                   \
    MARL_CATALOGUE_ENTRY(code, variant, Tmpl_##hex##_##variant)
#include "render24/blit/template_catalogue.def"
#undef MARL_TEMPLATE
};
static_assert(std::size(Catalogue) == 33);

// The table with every address moved from the block as assembled to the executable view of
// the template area, where the copy the routines run from lies. Made once; if the area could
// not be mapped, the table keeps the assembled addresses (and nothing is ever run from them).
class RelocatedCatalogue {
public:
    RelocatedCatalogue() {
        const CodeArea& area = TemplateArea();
        Area = area.Usable() ? area.Base : MarlTemplateBlock;
        size_t slots = 0;
        for (const BlitTemplate& routine : Catalogue)
            slots += routine.Slots.size();
        Slots.reserve(slots);
        for (size_t i = 0; i < std::size(Catalogue); ++i) {
            const BlitTemplate& from = Catalogue[i];
            const size_t first = Slots.size();
            for (const TemplateSlot& slot : from.Slots) {
                Slots.push_back({slot.Kind, slot.Plane, Moved(slot.Address),
                                 slot.LoopTop ? Moved(slot.LoopTop) : nullptr});
            }
            Routines[i] = {from.Rop,
                           from.Variant,
                           from.Label,
                           Moved(from.Entry),
                           Moved(from.End),
                           std::span<const TemplateSlot>(Slots.data() + first, from.Slots.size())};
        }
        Return = Moved(MarlTemplateReturn);
    }

    uint8_t* Moved(const uint8_t* assembled) const {
        return Area + (assembled - MarlTemplateBlock);
    }

    BlitTemplate Routines[std::size(Catalogue)];
    std::vector<TemplateSlot> Slots;
    uint8_t* Area;
    uint8_t* Return;
};

const RelocatedCatalogue& Relocated() {
    static const RelocatedCatalogue table;
    return table;
}

bool SlotHolds(const uint8_t* address, uint32_t value) {
    uint32_t held = 0;
    std::memcpy(&held, address, sizeof held);
    return held == value;
}

} // namespace

std::span<const BlitTemplate> TemplateCatalogue() { return Relocated().Routines; }

namespace {

// For each code, the first routine of its in the table (they follow one another), or none.
struct CodeIndex {
    static constexpr uint8_t kNone = 0xFF;
    uint8_t First[256];
    CodeIndex() {
        for (uint8_t& first : First)
            first = kNone;
        for (size_t i = std::size(Catalogue); i-- > 0;)
            First[Catalogue[i].Rop] = static_cast<uint8_t>(i);
    }
};

const CodeIndex& Codes() {
    static const CodeIndex index;
    return index;
}

} // namespace

bool InTemplateCatalogue(uint32_t rop) { return Codes().First[rop & 0xFF] != CodeIndex::kNone; }

TemplateVariant ChooseVariant(uint32_t rop, bool patternRow, bool oneBitSource) {
    const RopOperandTable& marks = RopOperands();
    bool readsPattern = marks.UsesPattern(rop), readsSource = marks.UsesSource(rop);
    if (readsPattern && readsSource) {
        if (oneBitSource)
            return patternRow ? TemplateVariant::OneBitPattern : TemplateVariant::OneBitSolid;
        return patternRow ? TemplateVariant::PlanesPattern : TemplateVariant::PlanesSolid;
    }
    if (readsPattern) return patternRow ? TemplateVariant::Pattern : TemplateVariant::Solid;
    if (readsSource) return oneBitSource ? TemplateVariant::OneBit : TemplateVariant::Planes;
    return TemplateVariant::Plain;
}

const BlitTemplate* FindTemplate(uint32_t rop, TemplateVariant variant) {
    const std::span<const BlitTemplate> table = TemplateCatalogue();
    for (size_t i = Codes().First[rop & 0xFF]; i < table.size() && table[i].Rop == (rop & 0xFF);
         ++i) {
        if (table[i].Variant == variant) return &table[i];
    }
    return nullptr;
}

uint8_t* ReturnAtOnceRoutine() { return Relocated().Return; }

uint32_t SlotPlaceholder(SlotKind kind) {
    switch (kind) {
    case SlotKind::PatternStep: return kPatternStepPlaceholder;
    case SlotKind::LoopBack: return kLoopBackPlaceholder;
    default: return kSlotPlaceholder;
    }
}

uint32_t SlotValue(const TemplateSlot& slot, const TemplateValues& values) {
    switch (slot.Kind) {
    case SlotKind::Count: return values.RowWidth;
    case SlotKind::DestStep: return values.DestPlaneStride;
    case SlotKind::SourceStep: return values.SourcePlaneStride;
    case SlotKind::Phase: return values.PatternPhase;
    case SlotKind::Wrap:
    case SlotKind::PatternStep: return values.PatternWidth;
    case SlotKind::Color: return values.Color[slot.Plane];
    case SlotKind::SetBit: return values.SetBit[slot.Plane];
    case SlotKind::ClearBit: return values.ClearBit[slot.Plane];
    case SlotKind::BitPhase: return values.BitPhase;
    case SlotKind::LoopBack:
        // From the end of the closing branch (the byte after the slot) back to the body.
        return static_cast<uint8_t>(slot.LoopTop - (slot.Address + 1));
    }
    return 0;
}

namespace {

// The values each routine of the table was last patched for: the same values again need not
// even be compared slot by slot. Used under the transfer lock, like the area itself.
struct PatchedValues {
    TemplateValues Values[std::size(Catalogue)];
    bool Known[std::size(Catalogue)] = {};
};

PatchedValues& LastPatched() {
    static PatchedValues patched;
    return patched;
}

bool WriteChangedSlots(const BlitTemplate& routine, const TemplateValues& values) {
    CodeArea& area = TemplateArea();
    bool writing = false;
    for (const TemplateSlot& slot : routine.Slots) {
        const uint32_t value = SlotValue(slot, values);
        const bool loop = slot.Kind == SlotKind::LoopBack;
        if (loop ? *slot.Address == static_cast<uint8_t>(value) : SlotHolds(slot.Address, value))
            continue;
        if (!writing && !BeginWriting(area)) return false;
        writing = true;
        uint8_t* target = area.WriteAddress(slot.Address);
        if (loop) {
            *target = static_cast<uint8_t>(value);
        } else {
            std::memcpy(target, &value, sizeof value);
        }
    }
    return !writing || EndWriting(area);
}

} // namespace

bool PatchTemplate(const BlitTemplate& routine, const TemplateValues& values) {
    const std::span<const BlitTemplate> table = TemplateCatalogue();
    const uintptr_t offset =
        reinterpret_cast<uintptr_t>(&routine) - reinterpret_cast<uintptr_t>(table.data());
    const size_t index = offset / sizeof(BlitTemplate);
    PatchedValues& patched = LastPatched();
    const bool listed = index < table.size() && offset % sizeof(BlitTemplate) == 0;
    if (listed && patched.Known[index] && patched.Values[index] == values) return true;
    if (listed) patched.Known[index] = false;
    if (!WriteChangedSlots(routine, values)) return false;
    if (listed) {
        patched.Values[index] = values;
        patched.Known[index] = true;
    }
    return true;
}

} // namespace marl
