#if defined(MARL_HOST_TESTS)
// marlrend-host against hostile input: deep nesting, paths that are no regular files, endless
// sources, FIFOs and a file size limit each end with a clear message and exit code, without a
// hang or a crash, and leave nothing behind.
#include "host/host_fixtures.h"

#include <dirent.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <functional>
#include <set>

namespace {

using namespace marlhosttest;

struct Hostile {
    const char* Name;
    // Prepares the directory and answers the page path to give the host.
    std::function<std::string(const ScratchDirectory&)> Make;
    int Exit;
    const char* Message;
    std::string Shell = ""; // before the command, as for the shell
};

std::string PageWithSource(const ScratchDirectory& directory, const std::string& key,
                           const std::string& path) {
    std::string operation =
        key == "font"
            ? R"({"op": "text", "at": [0, 0], "text": "a", "font": ")" + path + "\"}"
            : R"({"op": "blit", "at": [0, 0], "code": "SRCCOPY", "source": ")" + path + "\"}";
    WriteFile(directory.File("page.json"),
              std::string(R"({"width": 8, "height": 8, "operations": [)") + operation + "]}");
    return directory.File("page.json");
}

std::string DeeplyNested(const ScratchDirectory& directory) {
    // A wrongly typed width, nested 60000 levels deep (about 120 KB); the page object is the
    // first level, so the 100th bracket is one too many.
    WriteFile(directory.File("page.json"), "{\"width\": " + std::string(60000, '[') +
                                               std::string(60000, ']') +
                                               ", \"height\": 4, \"operations\": []}");
    return directory.File("page.json");
}

std::string Fifo(const ScratchDirectory& directory) {
    mkfifo(directory.File("fifo").c_str(), 0600);
    return directory.File("fifo");
}

const char* kLargePage = R"({"width": 600, "height": 400, "operations": [
    {"op": "line", "from": [0, 0], "to": [599, 399], "color": "#FF0000"}]})";

std::vector<Hostile> HostileInputs() {
    return {
        {"DeeplyNestedValue", DeeplyNested, 3,
         "page.json:1:110: values nested more than 100 levels deep"},
        {"NestedJustWithinTheBound",
         [](const ScratchDirectory& d) {
             WriteFile(d.File("page.json"), "{\"width\": " + std::string(99, '[') +
                                                std::string(99, ']') + ", \"height\": 4}");
             return d.File("page.json");
         },
         3, "page.width: expected a whole number, got [[[[[[[[[["},
        {"PageIsADirectory", [](const ScratchDirectory& d) { return d.Path(); }, 3,
         "a directory, not a regular file; a page is read from a regular file only"},
        {"PageIsProcessMemory", [](const ScratchDirectory&) { return "/proc/self/mem"; }, 3,
         "/proc/self/mem: cannot read: Input/output error"},
        {"PageIsAFifo", Fifo, 3, "a FIFO, not a regular file"},
        {"PageIsZeros", [](const ScratchDirectory&) { return "/dev/zero"; }, 3,
         "/dev/zero: a character device, not a regular file"},
        {"SourceIsADirectory",
         [](const ScratchDirectory& d) { return PageWithSource(d, "source", d.Path()); }, 3,
         "(blit).source: /tmp/"},
        {"SourceIsProcessMemory",
         [](const ScratchDirectory& d) { return PageWithSource(d, "source", "/proc/self/mem"); }, 3,
         "(blit).source: /proc/self/mem: cannot read"},
        {"SourceIsZeros",
         [](const ScratchDirectory& d) { return PageWithSource(d, "source", "/dev/zero"); }, 3,
         "(blit).source: /dev/zero: a character device"},
        {"SourceIsRandomBytes",
         [](const ScratchDirectory& d) { return PageWithSource(d, "source", "/dev/urandom"); }, 3,
         "(blit).source: /dev/urandom: a character device"},
        {"SourceIsAFifo",
         [](const ScratchDirectory& d) { return PageWithSource(d, "source", Fifo(d)); }, 3,
         "fifo: a FIFO, not a regular file; a BMP picture is read"},
        {"FontIsAFifo",
         [](const ScratchDirectory& d) { return PageWithSource(d, "font", Fifo(d)); }, 3,
         "a FIFO, not a regular file; a PSF font is read"},
        {"FileSizeLimit",
         [](const ScratchDirectory& d) {
             WriteFile(d.File("page.json"), std::string(kLargePage));
             return d.File("page.json");
         },
         5, "out.png: cannot write: File too large", "ulimit -f 1;"},
    };
}

std::set<std::string> Entries(const std::string& path) {
    std::set<std::string> names;
    if (DIR* dir = opendir(path.c_str())) {
        while (dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.') names.insert(entry->d_name);
        closedir(dir);
    }
    return names;
}

class HostHostileInput : public ::testing::TestWithParam<Hostile> {};

TEST_P(HostHostileInput, EndsWithAClearMessageAndLeavesNothingBehind) {
    const Hostile& input = GetParam();
    ScratchDirectory directory;
    std::string page = input.Make(directory);
    std::set<std::string> before = Entries(directory.Path());
    // A hang would be a failure; the timeout ends it with 124 rather than stalling the suite.
    CommandResult result =
        RunHost({page, "-o", directory.File("out.png"), "--library", MARLHOST_REFERENCE_LIBRARY},
                input.Shell + " timeout 30");
    EXPECT_EQ(result.Exit, input.Exit) << result.Output;
    EXPECT_NE(result.Output.find(input.Message), std::string::npos)
        << "expected \"" << input.Message << "\" in:\n"
        << result.Output;
    EXPECT_EQ(result.Output.find("unexpected failure"), std::string::npos) << result.Output;
    EXPECT_LT(result.Output.size(), 1000u) << "a message, not a dump of the value";
    EXPECT_EQ(Entries(directory.Path()), before) << "no picture and no temporary file";
}

INSTANTIATE_TEST_SUITE_P(Attacks, HostHostileInput, ::testing::ValuesIn(HostileInputs()),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(HostOutput, ANonRegularFileIsNeverReplaced) {
    ScratchDirectory directory;
    WriteFile(directory.File("page.json"), std::string(kLargePage));
    std::string fifo = Fifo(directory);
    for (const std::string& target : {fifo, directory.Path()}) {
        CommandResult result = RunHost({directory.File("page.json"), "-o", target, "--library",
                                        MARLHOST_REFERENCE_LIBRARY, "--quiet"});
        EXPECT_EQ(result.Exit, 5) << result.Output;
        EXPECT_NE(result.Output.find(target + ": is "), std::string::npos) << result.Output;
    }
    struct stat status {};
    ASSERT_EQ(stat(fifo.c_str(), &status), 0);
    EXPECT_TRUE(S_ISFIFO(status.st_mode)) << "the FIFO is still there";
    EXPECT_EQ(Entries(directory.Path()), (std::set<std::string>{"fifo", "page.json"}));
}

} // namespace
#endif
