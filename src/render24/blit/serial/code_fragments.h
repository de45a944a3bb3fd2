// The machine-code fragments the ROP3 code generator copies into the code buffer, and the
// small emitter that copies them and writes request values into their fields.
//
// Every fragment is stored as one length byte followed by that many bytes of x86 code and is
// reached by its own name. Fields that receive a request value hold the placeholder bytes
// 78 56 34 12 (BC 9A 78 56 in the first immediate of NextPatternPlane); a fragment's patch
// offsets are members of its type and count from its first code byte.
//
// Register use inside a routine: EDI destination sample, ESI source byte, EBX pattern sample,
// ECX pixel counter, EAX accumulator (AL a sample), EDX second operand. The frame slots the
// fragments address are routine_frame.h's (checked against the fragments' bytes).
//
// The x86-64 edition has its own fragments under the same names and with the same meaning,
// chosen when the library is compiled (MARL_ROUTINE_64): the pointers RDI, RSI and RBX and the
// frame slots are loaded, stored and stepped whole (REX.W), the slots lie at routine_frame.h's
// 8-byte displacements, and the counter, the samples and the immediates stay 32-bit. A 32-bit
// immediate added to a pointer is sign-extended, which wraps as the 32-bit add does for every
// value the generator writes (16-bit widths and strides). Pushes and pops of RAX and RDX keep
// their bytes and move 8 bytes; "push imm32" pushes the sign-extended 8 bytes.
#pragma once

#include "render24/blit/routine_frame.h"

#include <cstddef>
#include <cstdint>

namespace marl {

// A 32-bit immediate that takes a 16-bit value: its two low bytes, then two zero bytes.
struct Field16 {
    uint8_t Offset;
};
// A 32-bit immediate that takes an 8-bit value: its low byte, then three zero bytes.
struct Field8 {
    uint8_t Offset;
};
// A 32-bit branch displacement, written whole.
struct Field32 {
    uint8_t Offset;
};
// A single byte written as it is: an 8-bit branch displacement or a replaced instruction.
struct ByteField {
    uint8_t Offset;
};

// One fragment as stored: its length byte, then its code bytes.
template <size_t N> struct CodeFragment {
    uint8_t Length;
    uint8_t Code[N];
};

#if MARL_ROUTINE_64
struct MonoSourceFragment : CodeFragment<59> {
    static constexpr Field8 BitPhase{6};
    static constexpr Field8 SetBitSample{32};
    static constexpr Field8 ClearBitSample{42};
    // The step of the closing "add rsi, 1" that moves to the next source byte after a byte's
    // last bit; NoSourceStep makes it "add rsi, 0" for an "S" that must not step.
    static constexpr ByteField SourceStep{58};
    static constexpr uint8_t NoSourceStep = 0x00;
};
struct PatternColorFragment : CodeFragment<5> {
    static constexpr Field8 Sample{1};
};
struct KeepPatternStartFragment : CodeFragment<11> {
    static constexpr Field16 PatternPhase{7};
};
struct SetCountFragment : CodeFragment<5> {
    static constexpr Field16 RowWidth{1};
};
struct NextPatternFragment : CodeFragment<26> {
    static constexpr Field16 PatternWidth{9};
};
struct LoopBackFragment : CodeFragment<2> {
    static constexpr ByteField Displacement{1};
};
struct LongLoopBackFragment : CodeFragment<8> {
    static constexpr Field32 Displacement{4};
};
struct NextPlaneFragment : CodeFragment<15> {
    static constexpr Field16 Stride{7};
};
struct NextPatternPlaneFragment : CodeFragment<22> {
    static constexpr Field16 PatternWidth{7};
    static constexpr Field16 PatternPhase{18};
};
#else
struct MonoSourceFragment : CodeFragment<56> {
    static constexpr Field8 BitPhase{6};
    static constexpr Field8 SetBitSample{32};
    static constexpr Field8 ClearBitSample{42};
    // The closing "inc esi" that steps to the next source byte after a byte's last bit;
    // NoSourceStep (nop) takes its place for an "S" that must not step.
    static constexpr ByteField SourceStep{55};
    static constexpr uint8_t NoSourceStep = 0x90;
};
struct PatternColorFragment : CodeFragment<5> {
    static constexpr Field8 Sample{1};
};
struct KeepPatternStartFragment : CodeFragment<9> {
    static constexpr Field16 PatternPhase{5};
};
struct SetCountFragment : CodeFragment<5> {
    static constexpr Field16 RowWidth{1};
};
struct NextPatternFragment : CodeFragment<20> {
    static constexpr Field16 PatternWidth{5};
};
struct LoopBackFragment : CodeFragment<2> {
    static constexpr ByteField Displacement{1};
};
struct LongLoopBackFragment : CodeFragment<7> {
    static constexpr Field32 Displacement{3};
};
struct NextPlaneFragment : CodeFragment<12> {
    static constexpr Field16 Stride{5};
};
struct NextPatternPlaneFragment : CodeFragment<18> {
    static constexpr Field16 PatternWidth{5};
    static constexpr Field16 PatternPhase{14};
};
#endif

namespace fragment {

// Operands. A "Push" form leaves the value on the machine stack, an "Acc" form in EAX.
inline constexpr CodeFragment<3> DestPush{3, {0x8A, 0x07, 0x50}};
inline constexpr CodeFragment<2> DestAcc{2, {0x8A, 0x07}};
inline constexpr CodeFragment<3> SourcePush{3, {0x8A, 0x06, 0x50}};
inline constexpr CodeFragment<2> SourceAcc{2, {0x8A, 0x06}};
#if MARL_ROUTINE_64
// x = EDI - [RBP-24] (the low 32 bits are all the bit position needs); q = (x + BitPhase) & 7;
// the bit 7 - q of the byte at RSI picks the set-bit or the clear-bit sample; after the byte's
// last bit (q = 7) RSI steps on. Both forms overwrite EAX and EDX.
inline constexpr MonoSourceFragment MonoSourcePush{
    {59, {0x8B, 0xC7, 0x2B, 0x45, 0xE8, 0x05, 0x78, 0x56, 0x34, 0x12, 0x83, 0xE0, 0x07, 0xBA, 0x07,
          0x00, 0x00, 0x00, 0x2B, 0xD0, 0x8A, 0x06, 0x0F, 0xA3, 0xD0, 0x0F, 0x83, 0x0A, 0x00, 0x00,
          0x00, 0x68, 0x78, 0x56, 0x34, 0x12, 0xE9, 0x05, 0x00, 0x00, 0x00, 0x68, 0x78, 0x56, 0x34,
          0x12, 0x83, 0xFA, 0x00, 0x0F, 0x85, 0x04, 0x00, 0x00, 0x00, 0x48, 0x83, 0xC6, 0x01}}};
inline constexpr MonoSourceFragment MonoSourceAcc{
    {59, {0x8B, 0xC7, 0x2B, 0x45, 0xE8, 0x05, 0x78, 0x56, 0x34, 0x12, 0x83, 0xE0, 0x07, 0xBA, 0x07,
          0x00, 0x00, 0x00, 0x2B, 0xD0, 0x8A, 0x06, 0x0F, 0xA3, 0xD0, 0x0F, 0x83, 0x0A, 0x00, 0x00,
          0x00, 0xB8, 0x78, 0x56, 0x34, 0x12, 0xE9, 0x05, 0x00, 0x00, 0x00, 0xB8, 0x78, 0x56, 0x34,
          0x12, 0x83, 0xFA, 0x00, 0x0F, 0x85, 0x04, 0x00, 0x00, 0x00, 0x48, 0x83, 0xC6, 0x01}}};
#else
// x = EDI - [EBP-12]; q = (x + BitPhase) & 7; the bit 7 - q of the byte at ESI picks the
// set-bit or the clear-bit sample; after the byte's last bit (q = 7) ESI steps on. Both forms
// overwrite EAX and EDX.
inline constexpr MonoSourceFragment MonoSourcePush{
    {56, {0x8B, 0xC7, 0x2B, 0x45, 0xF4, 0x05, 0x78, 0x56, 0x34, 0x12, 0x83, 0xE0, 0x07, 0xBA,
          0x07, 0x00, 0x00, 0x00, 0x2B, 0xD0, 0x8A, 0x06, 0x0F, 0xA3, 0xD0, 0x0F, 0x83, 0x0A,
          0x00, 0x00, 0x00, 0x68, 0x78, 0x56, 0x34, 0x12, 0xE9, 0x05, 0x00, 0x00, 0x00, 0x68,
          0x78, 0x56, 0x34, 0x12, 0x83, 0xFA, 0x00, 0x0F, 0x85, 0x01, 0x00, 0x00, 0x00, 0x46}}};
inline constexpr MonoSourceFragment MonoSourceAcc{
    {56, {0x8B, 0xC7, 0x2B, 0x45, 0xF4, 0x05, 0x78, 0x56, 0x34, 0x12, 0x83, 0xE0, 0x07, 0xBA,
          0x07, 0x00, 0x00, 0x00, 0x2B, 0xD0, 0x8A, 0x06, 0x0F, 0xA3, 0xD0, 0x0F, 0x83, 0x0A,
          0x00, 0x00, 0x00, 0xB8, 0x78, 0x56, 0x34, 0x12, 0xE9, 0x05, 0x00, 0x00, 0x00, 0xB8,
          0x78, 0x56, 0x34, 0x12, 0x83, 0xFA, 0x00, 0x0F, 0x85, 0x01, 0x00, 0x00, 0x00, 0x46}}};
#endif
inline constexpr CodeFragment<3> PatternPush{3, {0x8A, 0x03, 0x50}};
inline constexpr CodeFragment<2> PatternAcc{2, {0x8A, 0x03}};
inline constexpr PatternColorFragment PatternColorPush{{5, {0x68, 0x78, 0x56, 0x34, 0x12}}};
inline constexpr PatternColorFragment PatternColorAcc{{5, {0xB8, 0x78, 0x56, 0x34, 0x12}}};
inline constexpr CodeFragment<5> ZeroPush{5, {0x68, 0x00, 0x00, 0x00, 0x00}};
inline constexpr CodeFragment<5> ZeroAcc{5, {0xB8, 0x00, 0x00, 0x00, 0x00}};

// Operators. "a" keeps the smaller sample (unsigned), "o" the larger, "x" is the bitwise
// exclusive or, "n" the complement. A "Stack" form pops its operands and pushes the result;
// an "Acc" form takes its right operand from EAX and leaves the result there.
inline constexpr CodeFragment<13> MinStack{
    13, {0x58, 0x5A, 0x3A, 0xC2, 0x0F, 0x82, 0x02, 0x00, 0x00, 0x00, 0x8B, 0xC2, 0x50}};
inline constexpr CodeFragment<11> MinAcc{
    11, {0x5A, 0x3A, 0xC2, 0x0F, 0x82, 0x02, 0x00, 0x00, 0x00, 0x8B, 0xC2}};
inline constexpr CodeFragment<13> MaxStack{
    13, {0x58, 0x5A, 0x3A, 0xC2, 0x0F, 0x87, 0x02, 0x00, 0x00, 0x00, 0x8B, 0xC2, 0x50}};
inline constexpr CodeFragment<11> MaxAcc{
    11, {0x5A, 0x3A, 0xC2, 0x0F, 0x87, 0x02, 0x00, 0x00, 0x00, 0x8B, 0xC2}};
inline constexpr CodeFragment<5> XorStack{5, {0x58, 0x5A, 0x32, 0xC2, 0x50}};
inline constexpr CodeFragment<3> XorAcc{3, {0x5A, 0x32, 0xC2}};
inline constexpr CodeFragment<4> NotStack{4, {0x58, 0xF7, 0xD0, 0x50}};
inline constexpr CodeFragment<2> NotAcc{2, {0xF7, 0xD0}};

// Row set-up: the three row pointers and the plane starts kept in the frame.
#if MARL_ROUTINE_64
inline constexpr CodeFragment<4> LoadDestRow{4, {0x48, 0x8B, 0x7D, 0x18}};
inline constexpr CodeFragment<4> LoadSourceRow{4, {0x48, 0x8B, 0x75, 0x10}};
inline constexpr CodeFragment<4> LoadPatternRow{4, {0x48, 0x8B, 0x5D, 0x20}};
inline constexpr CodeFragment<4> KeepDestStart{4, {0x48, 0x89, 0x7D, 0xE8}};
inline constexpr CodeFragment<4> KeepSourceStart{4, {0x48, 0x89, 0x75, 0xE0}};
inline constexpr KeepPatternStartFragment KeepPatternStart{
    {11, {0x48, 0x89, 0x5D, 0xF0, 0x48, 0x81, 0xC3, 0x78, 0x56, 0x34, 0x12}}};
#else
inline constexpr CodeFragment<3> LoadDestRow{3, {0x8B, 0x7D, 0x0C}};
inline constexpr CodeFragment<3> LoadSourceRow{3, {0x8B, 0x75, 0x08}};
inline constexpr CodeFragment<3> LoadPatternRow{3, {0x8B, 0x5D, 0x10}};
inline constexpr CodeFragment<3> KeepDestStart{3, {0x89, 0x7D, 0xF4}};
inline constexpr CodeFragment<3> KeepSourceStart{3, {0x89, 0x75, 0xF0}};
inline constexpr KeepPatternStartFragment KeepPatternStart{
    {9, {0x89, 0x5D, 0xF8, 0x81, 0xC3, 0x78, 0x56, 0x34, 0x12}}};
#endif

// The plane loop.
inline constexpr SetCountFragment SetCount{{5, {0xB9, 0x78, 0x56, 0x34, 0x12}}};
inline constexpr CodeFragment<3> StoreStack{3, {0x58, 0x88, 0x07}};
inline constexpr CodeFragment<2> StoreAcc{2, {0x88, 0x07}};
#if MARL_ROUTINE_64
inline constexpr CodeFragment<3> NextDest{3, {0x48, 0xFF, 0xC7}};
inline constexpr CodeFragment<3> NextSource{3, {0x48, 0xFF, 0xC6}};
inline constexpr NextPatternFragment NextPattern{
    {26, {0x48, 0xFF, 0xC3, 0x48, 0x8B, 0x45, 0xF0, 0x48, 0x05, 0x78, 0x56, 0x34, 0x12,
          0x48, 0x3B, 0xD8, 0x0F, 0x85, 0x04, 0x00, 0x00, 0x00, 0x48, 0x8B, 0x5D, 0xF0}}};
#else
inline constexpr CodeFragment<1> NextDest{1, {0x47}};
inline constexpr CodeFragment<1> NextSource{1, {0x46}};
inline constexpr NextPatternFragment NextPattern{
    {20, {0x43, 0x8B, 0x45, 0xF8, 0x05, 0x78, 0x56, 0x34, 0x12, 0x3B,
          0xD8, 0x0F, 0x85, 0x03, 0x00, 0x00, 0x00, 0x8B, 0x5D, 0xF8}}};
#endif
// "loop rel8": reaches back at most 128 bytes from its own end.
inline constexpr LoopBackFragment LoopBack{{2, {0xE2, 0xE2}}};
// "dec ecx; jnz rel32": the same loop closing for a pixel body that "loop" cannot reach (on
// x86-64 the two-byte "dec ecx", as 49 is a REX prefix there).
#if MARL_ROUTINE_64
inline constexpr LongLoopBackFragment LongLoopBack{
    {8, {0xFF, 0xC9, 0x0F, 0x85, 0x78, 0x56, 0x34, 0x12}}};
#else
inline constexpr LongLoopBackFragment LongLoopBack{{7, {0x49, 0x0F, 0x85, 0x78, 0x56, 0x34, 0x12}}};
#endif

// Between planes.
#if MARL_ROUTINE_64
inline constexpr NextPlaneFragment NextSourcePlane{
    {15,
     {0x48, 0x8B, 0x75, 0xE0, 0x48, 0x81, 0xC6, 0x78, 0x56, 0x34, 0x12, 0x48, 0x89, 0x75, 0xE0}}};
inline constexpr CodeFragment<4> RestartSource{4, {0x48, 0x8B, 0x75, 0xE0}};
inline constexpr NextPlaneFragment NextDestPlane{
    {15,
     {0x48, 0x8B, 0x7D, 0xE8, 0x48, 0x81, 0xC7, 0x78, 0x56, 0x34, 0x12, 0x48, 0x89, 0x7D, 0xE8}}};
inline constexpr NextPatternPlaneFragment NextPatternPlane{
    {22, {0x48, 0x8B, 0x5D, 0xF0, 0x48, 0x81, 0xC3, 0xBC, 0x9A, 0x78, 0x56,
          0x48, 0x89, 0x5D, 0xF0, 0x48, 0x81, 0xC3, 0x78, 0x56, 0x34, 0x12}}};
#else
inline constexpr NextPlaneFragment NextSourcePlane{
    {12, {0x8B, 0x75, 0xF0, 0x81, 0xC6, 0x78, 0x56, 0x34, 0x12, 0x89, 0x75, 0xF0}}};
inline constexpr CodeFragment<3> RestartSource{3, {0x8B, 0x75, 0xF0}};
inline constexpr NextPlaneFragment NextDestPlane{
    {12, {0x8B, 0x7D, 0xF4, 0x81, 0xC7, 0x78, 0x56, 0x34, 0x12, 0x89, 0x7D, 0xF4}}};
inline constexpr NextPatternPlaneFragment NextPatternPlane{
    {18,
     {0x8B, 0x5D, 0xF8, 0x81, 0xC3, 0xBC, 0x9A, 0x78, 0x56, 0x89, 0x5D, 0xF8, 0x81, 0xC3, 0x78,
      0x56, 0x34, 0x12}}};
#endif

// The end of every routine: three pad bytes (the pattern's, the source's and one always
// there), then pop EDI, ESI, EBX; leave; ret 12 (ret 24 on x86-64).
inline constexpr CodeFragment<1> PatternPadByte{1, {0x90}};
inline constexpr CodeFragment<1> SourcePadByte{1, {0x90}};
inline constexpr CodeFragment<1> PadByte{1, {0x90}};
inline constexpr CodeFragment<7> Epilogue{7, {MARL_FRAME_EPILOGUE_BYTES}};

} // namespace fragment

// A fragment once copied into code memory: its fields can then be written.
class PlacedFragment {
public:
    explicit PlacedFragment(uint8_t* first) : First(first) {}

    uint8_t* Address() const { return First; }
    const PlacedFragment& Patch(Field16 field, uint32_t value) const;
    const PlacedFragment& Patch(Field8 field, uint32_t value) const;
    const PlacedFragment& Patch(Field32 field, uint32_t value) const;
    const PlacedFragment& Patch(ByteField field, uint8_t value) const;

private:
    uint8_t* First;
};

// Copies length code bytes to the address held in cursor and advances cursor past them.
PlacedFragment EmitCode(uintptr_t& cursor, const uint8_t* code, uint8_t length);

// Copies the code bytes of a fragment (not its length byte) to cursor and advances it.
template <size_t N> PlacedFragment Emit(uintptr_t& cursor, const CodeFragment<N>& fragment) {
    return EmitCode(cursor, fragment.Code, fragment.Length);
}

} // namespace marl
