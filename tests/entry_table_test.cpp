#include "support/edition.h"
#include "support/library.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(EntryTable, FillsZeroByteAndSixEntriesInOrder) {
    using GetCapabilities = CapabilityTable* (*)(CapabilityTable*);
    auto get = reinterpret_cast<GetCapabilities>(marltest::Symbol("RPGetCapabilities"));
    ASSERT_NE(get, nullptr);
    // A zero byte, then six entry addresses of 4 bytes (32-bit edition) or 8 (64-bit one).
    unsigned char raw[marltest::kCapabilityTableBytes];
    std::memset(raw, 0xA5, sizeof raw);
    auto* table = reinterpret_cast<CapabilityTable*>(raw);
    EXPECT_EQ(get(table), table);
    EXPECT_EQ(raw[0], 0);
    const char* names[] = {"RPRealizeBrush", "RPPixel",  "RPDrawLine",
                           "RPFillScanRows", "RPBitBlt", "RPStretchDIBits"};
    for (int i = 0; i < 6; ++i) {
        void* entry = nullptr;
        std::memcpy(&entry, raw + 1 + marltest::kPointerBytes * i, marltest::kPointerBytes);
        EXPECT_EQ(entry, marltest::Symbol(names[i])) << names[i];
    }
}

TEST(EntryTable, NullTableIsAnsweredWithNull) {
    using GetCapabilities = CapabilityTable* (*)(CapabilityTable*);
    auto get = reinterpret_cast<GetCapabilities>(marltest::Symbol("RPGetCapabilities"));
    ASSERT_NE(get, nullptr);
    EXPECT_EQ(get(nullptr), nullptr);
}

TEST(EntryTable, StretchAnswersOneWithoutReadingArguments) {
    EXPECT_EQ(marltest::Table().StretchDIBits(), 1u);
    EXPECT_EQ(marltest::Table().StretchDIBits(nullptr, 7, reinterpret_cast<void*>(1)), 1u);
}

TEST(EntryTable, ModuleDoesNothing) {
    using Module = void (*)();
    auto module = reinterpret_cast<Module>(marltest::Symbol("MODULE"));
    ASSERT_NE(module, nullptr);
    module();
    module();
}

} // namespace
