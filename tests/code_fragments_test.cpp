#include "render24/blit/serial/code_fragments.h"

#include "support/edition.h"
#include "support/hex_bytes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using marltest::ByEdition;
using marltest::Hex;
using namespace marl::fragment;

// A fragment as stored: the length byte, then the code bytes.
struct Stored {
    const char* Name;
    std::vector<uint8_t> Bytes;
};

template <size_t N> Stored StoredBytes(const char* name, const marl::CodeFragment<N>& fragment) {
    const uint8_t* first = reinterpret_cast<const uint8_t*>(&fragment);
    return {name, std::vector<uint8_t>(first, first + sizeof(fragment))};
}

#define STORED(fragment) StoredBytes(#fragment, fragment)

struct FragmentCase {
    Stored Fragment;
    const char* Code; // the length byte is the count of these bytes
};

// Every fragment the generator copies: hex bytes as the routine shape defines them. The
// x86-64 bytes are those GNU as --64 gives for the same instructions (the operand-direction
// forms the i386 fragments use: 8B C7 for "mov eax, edi").
const FragmentCase kFragments[] = {
    {STORED(DestPush), "8A 07 50"},
    {STORED(DestAcc), "8A 07"},
    {STORED(SourcePush), "8A 06 50"},
    {STORED(SourceAcc), "8A 06"},
#if MARL_ROUTINE_64
    {STORED(MonoSourcePush),
     "8B C7 2B 45 E8 05 78 56 34 12 83 E0 07 BA 07 00 00 00 2B D0 8A 06 0F A3 D0 0F 83 0A "
     "00 00 00 68 78 56 34 12 E9 05 00 00 00 68 78 56 34 12 83 FA 00 0F 85 04 00 00 00 48 "
     "83 C6 01"},
    {STORED(MonoSourceAcc),
     "8B C7 2B 45 E8 05 78 56 34 12 83 E0 07 BA 07 00 00 00 2B D0 8A 06 0F A3 D0 0F 83 0A "
     "00 00 00 B8 78 56 34 12 E9 05 00 00 00 B8 78 56 34 12 83 FA 00 0F 85 04 00 00 00 48 "
     "83 C6 01"},
#else
    {STORED(MonoSourcePush),
     "8B C7 2B 45 F4 05 78 56 34 12 83 E0 07 BA 07 00 00 00 2B D0 8A 06 0F A3 D0 0F 83 0A 00 00 "
     "00 68 78 56 34 12 E9 05 00 00 00 68 78 56 34 12 83 FA 00 0F 85 01 00 00 00 46"},
    {STORED(MonoSourceAcc),
     "8B C7 2B 45 F4 05 78 56 34 12 83 E0 07 BA 07 00 00 00 2B D0 8A 06 0F A3 D0 0F 83 0A 00 00 "
     "00 B8 78 56 34 12 E9 05 00 00 00 B8 78 56 34 12 83 FA 00 0F 85 01 00 00 00 46"},
#endif
    {STORED(PatternPush), "8A 03 50"},
    {STORED(PatternAcc), "8A 03"},
    {STORED(PatternColorPush), "68 78 56 34 12"},
    {STORED(PatternColorAcc), "B8 78 56 34 12"},
    {STORED(ZeroPush), "68 00 00 00 00"},
    {STORED(ZeroAcc), "B8 00 00 00 00"},
    {STORED(MinStack), "58 5A 3A C2 0F 82 02 00 00 00 8B C2 50"},
    {STORED(MinAcc), "5A 3A C2 0F 82 02 00 00 00 8B C2"},
    {STORED(MaxStack), "58 5A 3A C2 0F 87 02 00 00 00 8B C2 50"},
    {STORED(MaxAcc), "5A 3A C2 0F 87 02 00 00 00 8B C2"},
    {STORED(XorStack), "58 5A 32 C2 50"},
    {STORED(XorAcc), "5A 32 C2"},
    {STORED(NotStack), "58 F7 D0 50"},
    {STORED(NotAcc), "F7 D0"},
#if MARL_ROUTINE_64
    {STORED(LoadDestRow), "48 8B 7D 18"},
    {STORED(LoadSourceRow), "48 8B 75 10"},
    {STORED(LoadPatternRow), "48 8B 5D 20"},
    {STORED(KeepDestStart), "48 89 7D E8"},
    {STORED(KeepSourceStart), "48 89 75 E0"},
    {STORED(KeepPatternStart), "48 89 5D F0 48 81 C3 78 56 34 12"},
#else
    {STORED(LoadDestRow), "8B 7D 0C"},
    {STORED(LoadSourceRow), "8B 75 08"},
    {STORED(LoadPatternRow), "8B 5D 10"},
    {STORED(KeepDestStart), "89 7D F4"},
    {STORED(KeepSourceStart), "89 75 F0"},
    {STORED(KeepPatternStart), "89 5D F8 81 C3 78 56 34 12"},
#endif
    {STORED(SetCount), "B9 78 56 34 12"},
    {STORED(StoreStack), "58 88 07"},
    {STORED(StoreAcc), "88 07"},
#if MARL_ROUTINE_64
    {STORED(NextDest), "48 FF C7"},
    {STORED(NextSource), "48 FF C6"},
    {STORED(NextPattern),
     "48 FF C3 48 8B 45 F0 48 05 78 56 34 12 48 3B D8 0F 85 04 00 00 00 48 8B 5D F0"},
#else
    {STORED(NextDest), "47"},
    {STORED(NextSource), "46"},
    {STORED(NextPattern), "43 8B 45 F8 05 78 56 34 12 3B D8 0F 85 03 00 00 00 8B 5D F8"},
#endif
    {STORED(LoopBack), "E2 E2"},
#if MARL_ROUTINE_64
    {STORED(NextSourcePlane), "48 8B 75 E0 48 81 C6 78 56 34 12 48 89 75 E0"},
    {STORED(RestartSource), "48 8B 75 E0"},
    {STORED(NextDestPlane), "48 8B 7D E8 48 81 C7 78 56 34 12 48 89 7D E8"},
    {STORED(NextPatternPlane), "48 8B 5D F0 48 81 C3 BC 9A 78 56 48 89 5D F0 48 81 C3 78 56 34 12"},
#else
    {STORED(NextSourcePlane), "8B 75 F0 81 C6 78 56 34 12 89 75 F0"},
    {STORED(RestartSource), "8B 75 F0"},
    {STORED(NextDestPlane), "8B 7D F4 81 C7 78 56 34 12 89 7D F4"},
    {STORED(NextPatternPlane), "8B 5D F8 81 C3 BC 9A 78 56 89 5D F8 81 C3 78 56 34 12"},
#endif
    {STORED(PatternPadByte), "90"},
    {STORED(SourcePadByte), "90"},
    {STORED(PadByte), "90"},
#if MARL_ROUTINE_64
    {STORED(Epilogue), "5F 5E 5B C9 C2 18 00"},
    // The generator's own loop closing for pixel bodies out of "loop" reach.
    {STORED(LongLoopBack), "FF C9 0F 85 78 56 34 12"},
#else
    {STORED(Epilogue), "5F 5E 5B C9 C2 0C 00"},
    // The generator's own loop closing for pixel bodies out of "loop" reach.
    {STORED(LongLoopBack), "49 0F 85 78 56 34 12"},
#endif
};

TEST(CodeFragments, StoredAsLengthByteAndCodeBytes) {
    EXPECT_EQ(std::size(kFragments), 42u); // the 41 of the routine shape and LongLoopBack
    for (const FragmentCase& c : kFragments) {
        std::vector<uint8_t> code = Hex(c.Code);
        std::vector<uint8_t> expected = {static_cast<uint8_t>(code.size())};
        expected.insert(expected.end(), code.begin(), code.end());
        EXPECT_EQ(c.Fragment.Bytes, expected) << c.Fragment.Name;
    }
}

struct FieldCase {
    const char* Fragment;
    const uint8_t* Code;
    uint8_t Offset, Expected;
    const char* Placeholder;
};

TEST(CodeFragments, PatchFieldsSitOnTheirPlaceholders) {
    const FieldCase fields[] = {
        {"MonoSourcePush", MonoSourcePush.Code, MonoSourcePush.BitPhase.Offset, 6, "78 56 34 12"},
        {"MonoSourcePush", MonoSourcePush.Code, MonoSourcePush.SetBitSample.Offset, 32,
         "78 56 34 12"},
        {"MonoSourcePush", MonoSourcePush.Code, MonoSourcePush.ClearBitSample.Offset, 42,
         "78 56 34 12"},
        // "inc esi" on i386, the step of "add rsi, 1" on x86-64.
        {"MonoSourcePush", MonoSourcePush.Code, MonoSourcePush.SourceStep.Offset,
         ByEdition<uint8_t>(55, 58), ByEdition("46", "01")},
        {"MonoSourceAcc", MonoSourceAcc.Code, MonoSourceAcc.SourceStep.Offset,
         ByEdition<uint8_t>(55, 58), ByEdition("46", "01")},
        {"MonoSourceAcc", MonoSourceAcc.Code, MonoSourceAcc.BitPhase.Offset, 6, "78 56 34 12"},
        {"MonoSourceAcc", MonoSourceAcc.Code, MonoSourceAcc.SetBitSample.Offset, 32, "78 56 34 12"},
        {"MonoSourceAcc", MonoSourceAcc.Code, MonoSourceAcc.ClearBitSample.Offset, 42,
         "78 56 34 12"},
        {"PatternColorPush", PatternColorPush.Code, PatternColorPush.Sample.Offset, 1,
         "78 56 34 12"},
        {"PatternColorAcc", PatternColorAcc.Code, PatternColorAcc.Sample.Offset, 1, "78 56 34 12"},
        {"KeepPatternStart", KeepPatternStart.Code, KeepPatternStart.PatternPhase.Offset,
         ByEdition<uint8_t>(5, 7), "78 56 34 12"},
        {"SetCount", SetCount.Code, SetCount.RowWidth.Offset, 1, "78 56 34 12"},
        {"NextPattern", NextPattern.Code, NextPattern.PatternWidth.Offset, ByEdition<uint8_t>(5, 9),
         "78 56 34 12"},
        {"LoopBack", LoopBack.Code, LoopBack.Displacement.Offset, 1, "E2"},
        {"NextSourcePlane", NextSourcePlane.Code, NextSourcePlane.Stride.Offset,
         ByEdition<uint8_t>(5, 7), "78 56 34 12"},
        {"NextDestPlane", NextDestPlane.Code, NextDestPlane.Stride.Offset, ByEdition<uint8_t>(5, 7),
         "78 56 34 12"},
        {"NextPatternPlane", NextPatternPlane.Code, NextPatternPlane.PatternWidth.Offset,
         ByEdition<uint8_t>(5, 7), "BC 9A 78 56"},
        {"NextPatternPlane", NextPatternPlane.Code, NextPatternPlane.PatternPhase.Offset,
         ByEdition<uint8_t>(14, 18), "78 56 34 12"},
        {"LongLoopBack", LongLoopBack.Code, LongLoopBack.Displacement.Offset,
         ByEdition<uint8_t>(3, 4), "78 56 34 12"},
    };
    for (const FieldCase& f : fields) {
        EXPECT_EQ(f.Offset, f.Expected) << f.Fragment;
        std::vector<uint8_t> placeholder = Hex(f.Placeholder);
        EXPECT_EQ(std::vector<uint8_t>(f.Code + f.Offset, f.Code + f.Offset + placeholder.size()),
                  placeholder)
            << f.Fragment << " offset " << int(f.Offset);
    }
}

TEST(CodeFragments, EmitCopiesCodeBytesAndPatchesByWidth) {
    uint8_t buffer[48];
    std::memset(buffer, 0xCC, sizeof buffer);
    uintptr_t cursor = reinterpret_cast<uintptr_t>(buffer);
    const uintptr_t start = cursor;

    // 16-bit field: two low bytes, two zero bytes.
    marl::Emit(cursor, SetCount).Patch(SetCount.RowWidth, 0xABCD1234);
    // 8-bit fields: one byte, three zero bytes.
    marl::Emit(cursor, PatternColorAcc).Patch(PatternColorAcc.Sample, 0x1FF);
    // A whole 32-bit displacement, and a single byte.
    marl::Emit(cursor, LongLoopBack).Patch(LongLoopBack.Displacement, 0xFFFFFF01);
    marl::Emit(cursor, LoopBack).Patch(LoopBack.Displacement, 0x80);
    marl::Emit(cursor, NextPatternPlane)
        .Patch(NextPatternPlane.PatternWidth, 0x10008)
        .Patch(NextPatternPlane.PatternPhase, 0x0305);

#if MARL_ROUTINE_64
    EXPECT_EQ(cursor - start, 5u + 5u + 8u + 2u + 22u);
    const std::vector<uint8_t> expected =
        Hex("B9 34 12 00 00  B8 FF 00 00 00  FF C9 0F 85 01 FF FF FF  E2 80 "
            "48 8B 5D F0 48 81 C3 08 00 00 00 48 89 5D F0 48 81 C3 05 03 00 00  CC");
#else
    EXPECT_EQ(cursor - start, 5u + 5u + 7u + 2u + 18u);
    const std::vector<uint8_t> expected =
        Hex("B9 34 12 00 00  B8 FF 00 00 00  49 0F 85 01 FF FF FF  E2 80 "
            "8B 5D F8 81 C3 08 00 00 00 89 5D F8 81 C3 05 03 00 00  CC");
#endif
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + expected.size()), expected);
}

TEST(CodeFragments, ReplacingTheSourceStepLeavesTheRestOfTheFragment) {
    // The closing step becomes "nop" on i386 and "add rsi, 0" on x86-64.
    const std::vector<uint8_t> unstepped = Hex(ByEdition("90", "48 83 C6 00"));
    for (const marl::MonoSourceFragment* mono : {&MonoSourcePush, &MonoSourceAcc}) {
        uint8_t buffer[sizeof mono->Code];
        uintptr_t cursor = reinterpret_cast<uintptr_t>(buffer);
        marl::Emit(cursor, *mono).Patch(mono->SourceStep, mono->NoSourceStep);
        const size_t kept = mono->Length - unstepped.size();
        EXPECT_EQ(std::memcmp(buffer, mono->Code, kept), 0);
        EXPECT_EQ(std::vector<uint8_t>(buffer + kept, buffer + mono->Length), unstepped);
    }
}

} // namespace
