// What the library does on every block transfer without asking the kernel: a probe of
// readable memory and an uncontended named lock. Each runs in a child that the kernel allows
// nothing but read, write and exit (strict seccomp): any other system call kills it.
#include "core/core_services.h"
#include "platform/platform.h"

#include <gtest/gtest.h>
#include <linux/seccomp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <vector>

namespace {

// The child's answer (0 when `work` holds), or the signal that killed it plus 1000.
int InStrictChild(const std::function<bool()>& prepare, const std::function<bool()>& work) {
    pid_t child = fork();
    if (child == 0) {
        if (!prepare()) syscall(SYS_exit, 2);
        if (prctl(PR_SET_SECCOMP, SECCOMP_MODE_STRICT) != 0) syscall(SYS_exit, 3);
        // exit, not exit_group (which _exit would call): strict mode allows only the former.
        syscall(SYS_exit, work() ? 0 : 1);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) return -1;
    return WIFSIGNALED(status) ? 1000 + WTERMSIG(status) : WEXITSTATUS(status);
}

TEST(NoSystemCall, ProbeOfReadableMemory) {
    static std::vector<uint8_t> block(64 * 4096, 1);
    static const uint8_t record[765] = {};
    int answer = InStrictChild([] { return IsBadReadPtr(record, 1) == 0; },
                               [] {
                                   for (int i = 0; i < 100; ++i) {
                                       if (IsBadReadPtr(record, sizeof record) != 0) return false;
                                       if (IsBadReadPtr(block.data() + i, block.size() - i) != 0)
                                           return false;
                                   }
                                   return true;
                               });
    EXPECT_EQ(answer, 0) << "1009: killed for a system call";
}

TEST(NoSystemCall, UncontendedLock) {
    static CSMutex* lock = nullptr;
    int answer = InStrictChild(
        [] {
            // The first object of the name maps the lock; the first Aquire is a warm-up.
            lock = new CSMutex(L"MarlTestNoSystemCall");
            return lock->Aquire() == 0 && lock->Release() == 0;
        },
        [] {
            for (int i = 0; i < 100; ++i) {
                CSMutex again(L"MarlTestNoSystemCall");
                if (again.Aquire() != 0 || again.Release() != 0) return false;
            }
            return true;
        });
    EXPECT_EQ(answer, 0) << "1009: killed for a system call";
}

} // namespace
