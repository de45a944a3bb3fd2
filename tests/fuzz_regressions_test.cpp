// Inputs of earlier fuzz findings, replayed through the case that found them. Each entry
// says what went wrong; the bytes are the fuzzer's input exactly as saved.
#include "fuzzing/fuzz_cases.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace {

using RunCase = std::string (*)(const uint8_t*, size_t);

struct Finding {
    const char* Name;
    RunCase Run;
    std::vector<uint8_t> Input;
};

void PrintTo(const Finding& finding, std::ostream* out) { *out << finding.Name; }

const Finding kFindings[] = {
    // A 24-bit source 28 x 18 copied (0xCC) at 0, 0 with a requested width and height of 0:
    // the transfer draws pixel (0, 0), as x + min(source width - 1, width) says, while the
    // reference transfer of the tests drew nothing.
    {"SourceWithRequestedSizeZeroCoversOnePixel", marlfuzz::RunBitBltCase,
     {0x32, 0x4e, 0x1d, 0x2e, 0x4e, 0x31, 0x30, 0x5f, 0x5f, 0x63, 0x4e, 0x78, 0x78, 0x61, 0x62,
      0x69, 0x76}},
#if defined(MARL_HOST_TESTS)
    // A page whose JSON holds a number too large for any value (6e666666666): the JSON
    // library throws out_of_range rather than parse_error, and the page reader let it escape
    // instead of refusing the page with a page error.
    {"PageWithOverflowingNumberIsRefused", marlfuzz::RunHostReadersCase,
     {0x00, 0x36, 0x65, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36,
       0x2e, 0x36, 0x36, 0x36, 0x2c, 0x20, 0x22, 0x62, 0x61, 0xca, 0x63, 0x6b,
       0x67, 0x72, 0x73, 0x74, 0x79, 0x6c, 0x65, 0x6f, 0x75, 0x6e, 0x64, 0x22,
       0x3a, 0x20, 0x22, 0x3a, 0x20, 0x7b, 0x22, 0x72, 0x6f, 0x70, 0x50, 0x61,
       0x65, 0x3d, 0x22, 0x6e, 0x72, 0x74, 0x74, 0xff, 0xff, 0x00, 0xdd, 0xfb,
       0xde, 0x84, 0x00, 0x22, 0x3a, 0x20, 0x22, 0x68, 0x61, 0x3b, 0x63, 0x68,
       0x65, 0x64, 0x22, 0x2c, 0x20, 0x22, 0x68, 0x61, 0x74, 0x63, 0x3a, 0x20,
       0x7b, 0x22, 0x72, 0x6f, 0x70, 0x50, 0x61, 0x20, 0x22, 0x36, 0x36, 0x36,
       0x36, 0x36, 0x36, 0x36, 0x35}},
#endif
};

class FuzzRegressionTest : public ::testing::TestWithParam<Finding> {};

TEST_P(FuzzRegressionTest, InputHoldsEveryInvariant) {
    const Finding& finding = GetParam();
    EXPECT_EQ(finding.Run(finding.Input.data(), finding.Input.size()), "");
}

INSTANTIATE_TEST_SUITE_P(Findings, FuzzRegressionTest, ::testing::ValuesIn(kFindings),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace
