#include "render24/blit/serial/templates.h"

#include "render24/blit/code_area.h"
#include "render24/blit/serial/rop_names.h"

#include <cstring>
#include <iterator>
#include <vector>

// The routines' labels (template_catalogue.def) and the slot table templates.S writes while
// it assembles them: every slot the assembler labels has its record there, so none can be
// left out of the table below.
#define MARL_DECLARE_ROUTINE(r)                                                                    \
    extern uint8_t r[];                                                                            \
    extern uint8_t r##_End[];

extern "C" {
#define MARL_TEMPLATE(code, hex, variant, reads) MARL_DECLARE_ROUTINE(Tmpl_##hex##_##variant)
#include "render24/blit/serial/template_catalogue.def"
#undef MARL_TEMPLATE
extern uint8_t MarlTemplateReturn[];
extern uint8_t MarlTemplateBlock[];

// One record of the slot table, as templates.S lays it out.
struct AssembledSlot {
    uint8_t* Address;
    uint8_t* LoopTop; // LoopBack only, else null
    uint8_t Kind;     // SlotKind
    uint8_t Number;   // the number in the slot's label
    uint8_t Unused[2];
};
extern const AssembledSlot MarlTemplateSlots[];
extern const AssembledSlot MarlTemplateSlotsEnd[];
}

namespace marl {
namespace {

static_assert(sizeof(AssembledSlot) == 2 * sizeof(void*) + (sizeof(void*) == 8 ? 8 : 4));

#define MARL_CATALOGUE_ENTRY(code, variant, r)                                                     \
    BlitTemplate{code, TemplateVariant::variant, #r, r, r##_End, {}},
const BlitTemplate Catalogue[] = {
#define MARL_TEMPLATE(code, hex, variant, reads)                                                   \
    MARL_CATALOGUE_ENTRY(code, variant, Tmpl_##hex##_##variant)
#include "render24/blit/serial/template_catalogue.def"
#undef MARL_TEMPLATE
};
static_assert(std::size(Catalogue) == 33);

// The plane whose values a slot receives: a step slot leads to plane number + 1, the second
// colour of a formula that reads P twice is numbered 3 to 5.
uint8_t PlaneOf(SlotKind kind, uint8_t number) {
    switch (kind) {
    case SlotKind::DestStep:
    case SlotKind::SourceStep:
    case SlotKind::PatternStep: return static_cast<uint8_t>(number + 1);
    case SlotKind::Color: return static_cast<uint8_t>(number % 3);
    default: return number;
    }
}

// The table with every address moved from the block as assembled to the executable view of
// the template area, where the copy the routines run from lies, and each routine given the
// slot records that lie inside it (the records follow the block's order). Made once; if the
// area could not be mapped, the table keeps the assembled addresses (and nothing is ever run
// from them).
class RelocatedCatalogue {
public:
    RelocatedCatalogue() {
        const CodeArea& area = TemplateArea();
        Area = area.Usable() ? area.Base : MarlTemplateBlock;
        const AssembledSlot* record = MarlTemplateSlots;
        Slots.reserve(static_cast<size_t>(MarlTemplateSlotsEnd - MarlTemplateSlots));
        for (size_t i = 0; i < std::size(Catalogue); ++i) {
            const BlitTemplate& from = Catalogue[i];
            const size_t first = Slots.size();
            for (; record < MarlTemplateSlotsEnd && record->Address < from.End; ++record) {
                const auto kind = static_cast<SlotKind>(record->Kind);
                Slots.push_back({kind, PlaneOf(kind, record->Number), Moved(record->Address),
                                 record->LoopTop ? Moved(record->LoopTop) : nullptr});
            }
            Routines[i] = {
                from.Rop,
                from.Variant,
                from.Label,
                Moved(from.Entry),
                Moved(from.End),
                std::span<const TemplateSlot>(Slots.data() + first, Slots.size() - first)};
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

uint32_t SlotValue(const TemplateSlot& slot, const BlitRequest& request) {
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
    BlitRequest Values[std::size(Catalogue)];
    bool Known[std::size(Catalogue)] = {};
};

PatchedValues& LastPatched() {
    static PatchedValues patched;
    return patched;
}

bool WriteChangedSlots(const BlitTemplate& routine, const BlitRequest& values) {
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

bool PatchTemplate(const BlitTemplate& routine, const BlitRequest& values) {
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
