// Another process running a copy of this test program, for what only a second process can
// show (a lock held by another process, a holder that is killed). On POSIX the child is a
// fork of the test process; on Win32 the test program is started again with a flag that makes
// it play the role instead of running tests.
#pragma once

#include <cstddef>
#include <cstdint>

namespace marltest {

// A role of a child process: answers the child's exit code.
using ChildRole = int (*)();

// Makes role known under name; call it at static initialisation (MARLTEST_CHILD_ROLE), so that
// a freshly started test program knows every role before its tests would run.
bool RegisterChildRole(const char* name, ChildRole role);
ChildRole FindChildRole(const char* name);

#define MARLTEST_CHILD_ROLE(name)                                                                  \
    int name();                                                                                    \
    const bool name##Registered = marltest::RegisterChildRole(#name, name);                        \
    int name()

class ChildProcess {
public:
    // Starts a child that plays the role registered under name.
    explicit ChildProcess(const char* role);
    // A child still running is killed.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return Id != 0; }
    // Waits for the end of the child: its exit code, or -1 when it did not exit by itself.
    int Wait();
    // Ends the child at once, as a crash would, and waits for it.
    void Kill();

private:
    uintptr_t Id = 0; // the process id on POSIX, the process handle on Win32
    bool Ended = false;
};

// size zeroed bytes shared by this process and the children it starts afterwards: the same
// tag answers the same memory in both. Lives until the process ends.
void* SharedBlock(const char* tag, size_t size);

} // namespace marltest
