#include "render24/blit/serial/code_fragments.h"

#include <cstring>

namespace marl {
namespace {

// A stored length that disagreed with the code bytes would make Emit copy too few bytes or
// bytes of the next object.
template <size_t N> constexpr bool LengthMatches(const CodeFragment<N>& fragment) {
    return fragment.Length == N && sizeof(fragment) == N + 1;
}

using namespace fragment;
static_assert(LengthMatches(DestPush) && LengthMatches(DestAcc) && LengthMatches(SourcePush) &&
              LengthMatches(SourceAcc) && LengthMatches(MonoSourcePush) &&
              LengthMatches(MonoSourceAcc) && LengthMatches(PatternPush) &&
              LengthMatches(PatternAcc) && LengthMatches(PatternColorPush) &&
              LengthMatches(PatternColorAcc) && LengthMatches(ZeroPush) && LengthMatches(ZeroAcc));
static_assert(LengthMatches(MinStack) && LengthMatches(MinAcc) && LengthMatches(MaxStack) &&
              LengthMatches(MaxAcc) && LengthMatches(XorStack) && LengthMatches(XorAcc) &&
              LengthMatches(NotStack) && LengthMatches(NotAcc));
static_assert(LengthMatches(LoadDestRow) && LengthMatches(LoadSourceRow) &&
              LengthMatches(LoadPatternRow) && LengthMatches(KeepDestStart) &&
              LengthMatches(KeepSourceStart) && LengthMatches(KeepPatternStart));
static_assert(LengthMatches(SetCount) && LengthMatches(StoreStack) && LengthMatches(StoreAcc) &&
              LengthMatches(NextDest) && LengthMatches(NextSource) && LengthMatches(NextPattern) &&
              LengthMatches(LoopBack) && LengthMatches(LongLoopBack));
static_assert(LengthMatches(NextSourcePlane) && LengthMatches(RestartSource) &&
              LengthMatches(NextDestPlane) && LengthMatches(NextPatternPlane) &&
              LengthMatches(PatternPadByte) && LengthMatches(SourcePadByte) &&
              LengthMatches(PadByte) && LengthMatches(Epilogue));

// The fragments that address the frame do so by the one-byte RBP/EBP displacements
// routine_frame.h defines. Such an instruction's displacement follows its opcode and ModRM
// byte, and on x86-64 the REX.W prefix before them; in a fragment that ends with a store back
// into a slot, the fragment's last byte.
using frame::Displacement;
constexpr size_t kSlotByte = MARL_ROUTINE_64 ? 3 : 2;
template <size_t N> constexpr uint8_t LastByte(const CodeFragment<N>& fragment) {
    return fragment.Code[N - 1];
}
static_assert(LoadDestRow.Code[kSlotByte] == Displacement(frame::kDestRow) &&
              LoadSourceRow.Code[kSlotByte] == Displacement(frame::kSourceRow) &&
              LoadPatternRow.Code[kSlotByte] == Displacement(frame::kPatternRow));
static_assert(KeepDestStart.Code[kSlotByte] == Displacement(frame::kDestStart) &&
              KeepSourceStart.Code[kSlotByte] == Displacement(frame::kSourceStart) &&
              RestartSource.Code[kSlotByte] == Displacement(frame::kSourceStart) &&
              KeepPatternStart.Code[kSlotByte] == Displacement(frame::kPatternStart));
static_assert(NextSourcePlane.Code[kSlotByte] == Displacement(frame::kSourceStart) &&
              LastByte(NextSourcePlane) == Displacement(frame::kSourceStart) &&
              NextDestPlane.Code[kSlotByte] == Displacement(frame::kDestStart) &&
              LastByte(NextDestPlane) == Displacement(frame::kDestStart) &&
              NextPatternPlane.Code[kSlotByte] == Displacement(frame::kPatternStart) &&
              LastByte(NextPattern) == Displacement(frame::kPatternStart));
// The one-bit source counts pixels from the destination plane start: "sub eax, [ebp+d8]".
static_assert(MonoSourcePush.Code[4] == Displacement(frame::kDestStart) &&
              MonoSourceAcc.Code[4] == Displacement(frame::kDestStart));
static_assert(sizeof frame::kEpilogue == Epilogue.Length);

void WriteImmediate(uint8_t* at, uint32_t value) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    std::memcpy(at, bytes, sizeof bytes);
}

uint8_t* AddressOf(uintptr_t cursor) {
    return reinterpret_cast<uint8_t*>(cursor);
}

} // namespace

const PlacedFragment& PlacedFragment::Patch(Field16 field, uint32_t value) const {
    WriteImmediate(First + field.Offset, value & 0xFFFF);
    return *this;
}

const PlacedFragment& PlacedFragment::Patch(Field8 field, uint32_t value) const {
    WriteImmediate(First + field.Offset, value & 0xFF);
    return *this;
}

const PlacedFragment& PlacedFragment::Patch(Field32 field, uint32_t value) const {
    WriteImmediate(First + field.Offset, value);
    return *this;
}

const PlacedFragment& PlacedFragment::Patch(ByteField field, uint8_t value) const {
    First[field.Offset] = value;
    return *this;
}

PlacedFragment EmitCode(uintptr_t& cursor, const uint8_t* code, uint8_t length) {
    uint8_t* first = AddressOf(cursor);
    std::memcpy(first, code, length);
    cursor += length;
    return PlacedFragment(first);
}

} // namespace marl
