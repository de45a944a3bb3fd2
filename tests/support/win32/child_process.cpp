// Children are the test program started again as
//   marlrend_tests.exe --marltest-child=<role> --marltest-parent=<parent process id>
// A test environment, set up before the first test, sees the flag, plays the role and ends
// the process with its answer; the child's output goes nowhere.
#include "support/child_process.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <map>
#include <mutex>
#include <string>

namespace marltest {

namespace {

constexpr wchar_t kChildFlag[] = L"--marltest-child=";
constexpr wchar_t kParentFlag[] = L"--marltest-parent=";

// The value of a flag on this process's command line (up to the next space), or empty. The
// flags are only ever put there by ChildProcess, after the quoted program name.
std::wstring FlagValue(const wchar_t* flag) {
    const wchar_t* at = std::wcsstr(GetCommandLineW(), flag);
    if (at == nullptr) return {};
    at += std::wcslen(flag);
    return std::wstring(at, at + std::wcscspn(at, L" "));
}

// The process whose shared blocks this one sees: its parent for a child, itself otherwise.
DWORD FamilyId() {
    static const DWORD id = [] {
        std::wstring parent = FlagValue(kParentFlag);
        return parent.empty() ? GetCurrentProcessId()
                              : static_cast<DWORD>(std::wcstoul(parent.c_str(), nullptr, 10));
    }();
    return id;
}

class ChildRoleEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        std::wstring role = FlagValue(kChildFlag);
        if (role.empty()) return;
        ChildRole play = FindChildRole(std::string(role.begin(), role.end()).c_str());
        ExitProcess(play ? static_cast<UINT>(play()) : 125u);
    }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new ChildRoleEnvironment);

} // namespace

ChildProcess::ChildProcess(const char* role) {
    if (FindChildRole(role) == nullptr) return;
    wchar_t program[MAX_PATH];
    if (GetModuleFileNameW(nullptr, program, MAX_PATH) == 0) return;
    std::wstring command = L"\"" + std::wstring(program) + L"\" " + kChildFlag +
                           std::wstring(role, role + std::strlen(role)) + L" " + kParentFlag +
                           std::to_wstring(GetCurrentProcessId());

    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE nowhere = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 &inheritable, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = nowhere;
    startup.hStdError = nowhere;
    PROCESS_INFORMATION process{};
    if (CreateProcessW(program, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                       &startup, &process)) {
        CloseHandle(process.hThread);
        Id = reinterpret_cast<uintptr_t>(process.hProcess);
    }
    if (nowhere != INVALID_HANDLE_VALUE) CloseHandle(nowhere);
}

ChildProcess::~ChildProcess() {
    if (Started() && !Ended) Kill();
    if (Started()) CloseHandle(reinterpret_cast<HANDLE>(Id));
}

int ChildProcess::Wait() {
    if (!Started() || Ended) return -1;
    HANDLE process = reinterpret_cast<HANDLE>(Id);
    WaitForSingleObject(process, INFINITE);
    Ended = true;
    DWORD code = 0;
    if (!GetExitCodeProcess(process, &code)) return -1;
    return static_cast<int>(code);
}

void ChildProcess::Kill() {
    if (!Started() || Ended) return;
    TerminateProcess(reinterpret_cast<HANDLE>(Id), static_cast<UINT>(-1));
    Wait();
}

// Named file mappings, one name per tag and family: the parent creates, the child opens
// the same (CreateFileMapping answers the existing mapping of that name).
void* SharedBlock(const char* tag, size_t size) {
    static std::mutex lock;
    static std::map<std::string, void*> blocks;
    std::lock_guard<std::mutex> guard(lock);
    void*& block = blocks[tag];
    if (block == nullptr) {
        std::wstring name = L"marltest-" + std::to_wstring(FamilyId()) + L"-" +
                            std::wstring(tag, tag + std::strlen(tag));
        HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                            static_cast<DWORD>(size), name.c_str());
        if (mapping != nullptr) block = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, size);
    }
    return block;
}

} // namespace marltest
