#include "render24/blit/serial/rop_names.h"
#include "support/reference_rop.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// Every name, evaluated bitwise with the three operands' truth-table bytes, yields its code.
TEST(RopNameTable, EveryNameEvaluatesToItsOwnCode) {
    for (uint32_t code = 0; code < 256; ++code) {
        auto name = marl::CompiledNameOf(code);
        uint8_t value = 0;
        // Bitwise evaluation: "a"/"o" as AND/OR on truth-table bytes. min/max do not give
        // AND/OR on bytes, so evaluate bit by bit with 0/255 samples.
        for (int bit = 0; bit < 8; ++bit) {
            uint8_t p = (0xF0 >> bit) & 1 ? 255 : 0, s = (0xCC >> bit) & 1 ? 255 : 0,
                    d = (0xAA >> bit) & 1 ? 255 : 0;
            if (marltest::EvaluateName(name.Text, d, s, p) == 255) value |= uint8_t(1u << bit);
        }
        EXPECT_EQ(value, code) << name.Text;
    }
}

TEST(RopNameTable, MatchesTheIndependentCopy) {
    for (uint32_t code = 0; code < 256; ++code) {
        EXPECT_EQ(std::string(marl::CompiledNameOf(code).Text), marltest::ReferenceName(code))
            << std::hex << code;
    }
    for (uint32_t code = 0; code < 128; ++code) {
        const char* entry = marl::RopNameTable[code];
        size_t length = strnlen(entry, 12);
        ASSERT_LT(length, 12u);
        for (size_t i = length; i < 12; ++i)
            EXPECT_EQ(entry[i], 0);
    }
}

TEST(RopNameTable, ComplementsAreCompiledFromTheirPartner) {
    struct Case {
        uint32_t Code;
        const char* Name;
    } cases[] = {{0x80, "DPSaa"},  {0xAA, "D"},           {0x99, "DSxn"}, {0x7D, "DPSxnan"},
                 {0x82, "DPSxna"}, {0x68, "DSPDSonoxxn"}, {0x00, "0"},    {0xFF, "0n"}};
    for (const Case& c : cases) {
        auto name = marl::CompiledNameOf(c.Code);
        EXPECT_STREQ(name.Text, c.Name);
        EXPECT_EQ(name.Length, strlen(c.Name));
    }
}

TEST(RopOperandTable, MarksFollowTheNames) {
    const auto& marks = marl::RopOperands();
    int stackOnly = 0;
    for (uint32_t code = 0; code < 256; ++code) {
        std::string name = marltest::ReferenceName(code);
        EXPECT_EQ(marks.UsesSource(code), name.find('S') != std::string::npos);
        EXPECT_EQ(marks.UsesPattern(code), name.find('P') != std::string::npos);
        EXPECT_EQ(marks.StackOnly(code), marks.StackOnly(0xFF - code));
        stackOnly += marks.StackOnly(code);
    }
    EXPECT_EQ(stackOnly, 16);
    for (uint32_t code : {0x17u, 0x18u, 0x24u, 0x2Bu, 0x42u, 0x4Du, 0x71u, 0x7Eu, 0x81u, 0x8Eu,
                          0xB2u, 0xBDu, 0xD4u, 0xDBu, 0xE7u, 0xE8u})
        EXPECT_TRUE(marks.StackOnly(code)) << std::hex << code;
}

TEST(ReferenceEvaluator, WorkedValues) {
    // XOR is bitwise in transfers: 10 ^ 200 = 194; 0x99 "DSxn" with D 0x0F, S 0xF0 gives 0.
    EXPECT_EQ(marltest::EvaluateName("DPx", 10, 0, 200), 194);
    EXPECT_EQ(marltest::EvaluateName("DSxn", 0x0F, 0xF0, 0), 0x00);
    EXPECT_EQ(marltest::EvaluateName("DPSaa", 30, 20, 10), 10);
    // 0x64 "SDPSoax": S xor min(D, max(P, S)).
    EXPECT_EQ(marltest::EvaluateName("SDPSoax", 100, 40, 70), 40 ^ 70);
}

} // namespace
