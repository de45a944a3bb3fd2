#if defined(MARL_HOST_TESTS)
// Reading input files: only regular files, never past the format's bound, never blocking.
#include "host/host_error.h"
#include "host/host_fixtures.h"
#include "host/regular_file.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <functional>

namespace {

using namespace marlhosttest;

std::string RefusalOf(const std::string& path, uint64_t largest) {
    try {
        marlhost::ReadRegularFile(path, largest, "a test file");
    } catch (const marlhost::HostError& error) {
        EXPECT_EQ(error.Exit(), marlhost::ExitCode::BadPage);
        return error.what();
    }
    return "(read without complaint)";
}

struct Refusal {
    const char* Name;
    std::function<std::string(const ScratchDirectory&)> Make; // answers the path to read
    uint64_t Largest;
    const char* Message;
};

std::vector<Refusal> Refusals() {
    return {
        {"Missing", [](const ScratchDirectory& d) { return d.File("none"); }, 100,
         "cannot open: No such file or directory"},
        {"Directory", [](const ScratchDirectory& d) { return d.Path(); }, 100,
         "a directory, not a regular file; a test file is read from a regular file only"},
        {"FifoWithoutWriter",
         [](const ScratchDirectory& d) {
             mkfifo(d.File("fifo").c_str(), 0600);
             return d.File("fifo");
         },
         100, "a FIFO, not a regular file"},
        {"Zeros", [](const ScratchDirectory&) { return std::string("/dev/zero"); }, 100,
         "a character device"},
        {"RandomBytes", [](const ScratchDirectory&) { return std::string("/dev/urandom"); }, 100,
         "a character device"},
        {"OneByteOverTheBound",
         [](const ScratchDirectory& d) {
             WriteFile(d.File("big"), std::string(101, 'x'));
             return d.File("big");
         },
         100, "larger than the 100 bytes a test file may have"},
        // Files under /proc give their size as 0: the bound holds while reading.
        {"SizeUnknownInAdvance", [](const ScratchDirectory&) { return "/proc/self/status"; }, 16,
         "larger than the 16 bytes"},
        {"ProcessMemory", [](const ScratchDirectory&) { return "/proc/self/mem"; }, 100,
         "cannot read: Input/output error"},
    };
}

class RegularFileRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(RegularFileRefusal, NamesThePathAndTheReason) {
    ScratchDirectory directory;
    std::string path = GetParam().Make(directory);
    std::string message = RefusalOf(path, GetParam().Largest);
    EXPECT_EQ(message.rfind(path + ": ", 0), 0u) << message;
    EXPECT_NE(message.find(GetParam().Message), std::string::npos) << message;
}

INSTANTIATE_TEST_SUITE_P(Inputs, RegularFileRefusal, ::testing::ValuesIn(Refusals()),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(RegularFile, ReadsWholeFilesUpToTheBound) {
    ScratchDirectory directory;
    for (size_t size : {size_t{0}, size_t{1}, size_t{4095}, size_t{4096}, size_t{70000}}) {
        std::vector<uint8_t> bytes(size);
        for (size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
        WriteFile(directory.File("file"), bytes);
        EXPECT_EQ(marlhost::ReadRegularFile(directory.File("file"), size, "a test file"), bytes)
            << size << " bytes, bound " << size;
    }
}

TEST(RegularFile, ReadsFilesWhoseSizeIsUnknownInAdvance) {
    std::vector<uint8_t> status = marlhost::ReadRegularFile("/proc/self/status", 1 << 20, "x");
    std::string text(status.begin(), status.end());
    EXPECT_NE(text.find("Name:"), std::string::npos) << text;
}

} // namespace
#endif
