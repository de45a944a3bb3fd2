// The prebuilt row routines (templates.S) as the rest of the engine sees them: which code and
// variant each serves, where it starts, and every patch slot in it with the request value the
// slot receives. The table is built from the routines' labels and from the slot table the
// assembler writes as it assembles each slot, so no offset is counted by hand and no slot is
// listed twice.
#pragma once

#include "render24/blit/blit_request.h"

#include <cstdint>
#include <span>

namespace marl {

// Where a routine takes P (solid colour or pattern row) and S (one-bit row or plane runs).
enum class TemplateVariant : uint8_t {
    Plain,
    Solid,
    Pattern,
    OneBit,
    Planes,
    OneBitSolid,
    OneBitPattern,
    PlanesSolid,
    PlanesPattern,
};

enum class SlotKind : uint8_t {
    Count,       // RowWidth
    DestStep,    // DestPlaneStride
    SourceStep,  // SourcePlaneStride
    Phase,       // PatternPhase
    Wrap,        // PatternWidth: the pattern pointer's way back to the start of its run
    PatternStep, // PatternWidth: from one pattern plane run to the next
    Color,       // byte of the plane of PatternColor
    SetBit,      // byte of the plane of SetBitColor
    ClearBit,    // byte of the plane of ClearBitColor
    BitPhase,    // low byte of BitPhase
    LoopBack,    // the one-byte backward distance that closes a plane loop
};

struct TemplateSlot {
    SlotKind Kind;
    uint8_t Plane;          // the plane whose colour byte a colour slot receives
    uint8_t* Address;       // first byte of the slot in the template block
    const uint8_t* LoopTop; // LoopBack only: first byte of the pixel body it returns to
};

struct BlitTemplate {
    uint8_t Rop;
    TemplateVariant Variant;
    const char* Label; // the routine's label in templates.S
    uint8_t* Entry;
    const uint8_t* End; // one past the routine's last byte
    std::span<const TemplateSlot> Slots;
};

// The 33 routines in the order of the block. Every address in the table (entry, end, slots,
// loop tops) is one of the executable view of TemplateArea(), where the routines run; a slot
// is written through TemplateArea().WriteAddress.
std::span<const BlitTemplate> TemplateCatalogue();

// True for the sixteen codes with prebuilt routines.
bool InTemplateCatalogue(uint32_t rop);

// The variant a request takes: P from the pattern row when patternRow, S from a one-bit row
// when oneBitSource; a code that reads neither has only Plain.
TemplateVariant ChooseVariant(uint32_t rop, bool patternRow, bool oneBitSource);

// The routine of a catalogue code in a variant, or nullptr.
const BlitTemplate* FindTemplate(uint32_t rop, TemplateVariant variant);

// A routine that returns at once: what a row of no pixels runs.
uint8_t* ReturnAtOnceRoutine();

// What a slot holds in the block as assembled.
uint32_t SlotPlaceholder(SlotKind kind);
inline constexpr uint32_t kSlotPlaceholder = 0x12345678;
inline constexpr uint32_t kPatternStepPlaceholder = 0x56789ABC;
inline constexpr uint8_t kLoopBackPlaceholder = 0xE2;

// The 32-bit value a slot receives (for a LoopBack slot, its distance byte).
uint32_t SlotValue(const TemplateSlot& slot, const BlitRequest& request);

// Writes every slot of the routine whose value changes: 32-bit slots as the value in their
// low bytes and zeros above it, loop slots as their one distance byte. A routine already
// patched for the same values is left as it is. False when the template area could not be
// written (or, an area of one view, made read+execute again).
bool PatchTemplate(const BlitTemplate& routine, const BlitRequest& request);

} // namespace marl
