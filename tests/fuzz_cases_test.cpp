// The fuzz cases as part of the suite: every input of the seed corpora, inputs drawn at
// random, and the inputs of earlier findings, each run through the same case as the fuzz
// target runs it. A case answers the invariants its input broke; a crash fails the test.
#include "fuzzing/fuzz_cases.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace {

using RunCase = std::string (*)(const uint8_t*, size_t);

struct FuzzArea {
    const char* Corpus; // folder under fuzz/corpus
    RunCase Run;
};

const FuzzArea kAreas[] = {
    {"primitives", marlfuzz::RunPrimitivesCase},    {"realize_brush", marlfuzz::RunBrushCase},
    {"rop_routine", marlfuzz::RunRopRoutineCase},   {"bit_blt", marlfuzz::RunBitBltCase},
#if defined(MARL_HOST_TESTS)
    {"host_readers", marlfuzz::RunHostReadersCase},
#endif
};

void PrintTo(const FuzzArea& area, std::ostream* out) { *out << area.Corpus; }

std::filesystem::path CorpusFolder(const char* area) {
    return std::filesystem::path(__FILE__).parent_path().parent_path() / "fuzz" / "corpus" / area;
}

std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

class FuzzAreaTest : public ::testing::TestWithParam<FuzzArea> {};

TEST_P(FuzzAreaTest, SeedCorpusHoldsEveryInvariant) {
    const FuzzArea area = GetParam();
    size_t inputs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(CorpusFolder(area.Corpus))) {
        const std::vector<uint8_t> bytes = ReadFile(entry.path());
        EXPECT_EQ(area.Run(bytes.data(), bytes.size()), "") << entry.path();
        ++inputs;
    }
    EXPECT_GT(inputs, 0u) << "no seed inputs for " << area.Corpus;
}

TEST_P(FuzzAreaTest, RandomInputsHoldEveryInvariant) {
    const FuzzArea area = GetParam();
    std::mt19937 random(20261208);
    for (int i = 0; i < 150; ++i) {
        std::vector<uint8_t> bytes(random() % 96);
        for (uint8_t& byte : bytes)
            byte = static_cast<uint8_t>(random());
        ASSERT_EQ(area.Run(bytes.data(), bytes.size()), "") << "random input " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Areas, FuzzAreaTest, ::testing::ValuesIn(kAreas), [](const auto& info) {
    std::string name = info.param.Corpus;
    std::erase(name, '_');
    return name;
});

} // namespace
