// MARLREND.dll and MARLCORE.dll as the Windows loader sees them: the export and import
// directories of the loaded images, read from their PE headers.
#include "support/library.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>

namespace {

const IMAGE_DATA_DIRECTORY& Directory(HMODULE module, int entry) {
    auto* base = reinterpret_cast<const uint8_t*>(module);
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    // PE32 headers in a Win32 build, PE32+ ones in a Win64 build: the image's own kind.
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    return nt->OptionalHeader.DataDirectory[entry];
}

std::set<std::string> ExportedNames(HMODULE module) {
    std::set<std::string> names;
    auto* base = reinterpret_cast<const uint8_t*>(module);
    const IMAGE_DATA_DIRECTORY& entry = Directory(module, IMAGE_DIRECTORY_ENTRY_EXPORT);
    if (entry.Size == 0) return names;
    auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
    auto* nameTable = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i)
        names.insert(reinterpret_cast<const char*>(base + nameTable[i]));
    return names;
}

// Every function has a name: no export by ordinal alone.
DWORD ExportedFunctions(HMODULE module) {
    auto* base = reinterpret_cast<const uint8_t*>(module);
    const IMAGE_DATA_DIRECTORY& entry = Directory(module, IMAGE_DIRECTORY_ENTRY_EXPORT);
    if (entry.Size == 0) return 0;
    return reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress)
        ->NumberOfFunctions;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::set<std::string> ImportedDlls(HMODULE module) {
    std::set<std::string> dlls;
    auto* base = reinterpret_cast<const uint8_t*>(module);
    const IMAGE_DATA_DIRECTORY& entry = Directory(module, IMAGE_DIRECTORY_ENTRY_IMPORT);
    if (entry.Size == 0) return dlls;
    for (auto* import =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + entry.VirtualAddress);
         import->Name != 0; ++import) {
        dlls.insert(Lower(reinterpret_cast<const char*>(base + import->Name)));
    }
    return dlls;
}

HMODULE Renderer() { return static_cast<HMODULE>(marltest::LibraryHandle()); }

HMODULE Core() {
    Renderer(); // MARLCORE.dll comes in with it
    return GetModuleHandleA("MARLCORE.dll");
}

TEST(Win32Exports, RendererExportsExactlyTheEightEntryPointsByName) {
    const std::set<std::string> expected = {"MODULE",         "RPBitBlt",          "RPDrawLine",
                                            "RPFillScanRows", "RPGetCapabilities", "RPPixel",
                                            "RPRealizeBrush", "RPStretchDIBits"};
    EXPECT_EQ(ExportedNames(Renderer()), expected);
    EXPECT_EQ(ExportedFunctions(Renderer()), 8u);
}

// The DLL is an image of this edition: PE32 for i386 in the Win32 build, PE32+ for x86-64 in
// the Win64 build.
TEST(Win32Exports, RendererIsAnImageOfThisEdition) {
    auto* base = reinterpret_cast<const uint8_t*>(Renderer());
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const bool wide = sizeof(void*) == 8;
    EXPECT_EQ(nt->FileHeader.Machine, wide ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386);
    EXPECT_EQ(nt->OptionalHeader.Magic,
              wide ? IMAGE_NT_OPTIONAL_HDR64_MAGIC : IMAGE_NT_OPTIONAL_HDR32_MAGIC);
}

TEST(Win32Exports, RendererImportsOnlyTheKernelTheRuntimeAndTheCore) {
    const std::set<std::string> expected = {"kernel32.dll", "marlcore.dll", "msvcrt.dll"};
    EXPECT_EQ(ImportedDlls(Renderer()), expected);
}

TEST(Win32Exports, CoreExportsItsServicesAndImportsOnlyTheKernelAndTheRuntime) {
    ASSERT_NE(Core(), nullptr);
    std::set<std::string> plain, lock;
    for (const std::string& name : ExportedNames(Core()))
        (name.find("7CSMutex") != std::string::npos ? lock : plain).insert(name);
    const std::set<std::string> services = {"CSCopyMemory", "CSFaultTriggered", "CSGlobalAlloc",
                                            "CSGlobalLock", "CSInjectFault",    "CSSetMemory"};
    EXPECT_EQ(plain, services);
    for (const char* member : {"_ZN7CSMutexC1EPKw", "_ZN7CSMutexD1Ev", "_ZN7CSMutex6AquireEv",
                               "_ZN7CSMutex7ReleaseEv"}) {
        EXPECT_EQ(lock.count(member), 1u) << member;
    }
    const std::set<std::string> expected = {"kernel32.dll", "msvcrt.dll"};
    EXPECT_EQ(ImportedDlls(Core()), expected);
}

} // namespace
