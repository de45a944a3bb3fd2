// Children are forks: the role runs in a copy of the test process as it is at the fork.
#include "support/child_process.h"

#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <string>

namespace marltest {

ChildProcess::ChildProcess(const char* role) {
    ChildRole play = FindChildRole(role);
    if (play == nullptr) return;
    pid_t child = fork();
    if (child == 0) _exit(play());
    if (child > 0) Id = static_cast<uintptr_t>(child);
}

ChildProcess::~ChildProcess() {
    if (Started() && !Ended) Kill();
}

int ChildProcess::Wait() {
    if (!Started() || Ended) return -1;
    int status = 0;
    pid_t waited = waitpid(static_cast<pid_t>(Id), &status, 0);
    Ended = true;
    if (waited != static_cast<pid_t>(Id) || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

void ChildProcess::Kill() {
    if (!Started() || Ended) return;
    kill(static_cast<pid_t>(Id), SIGKILL);
    Wait();
}

// Shared anonymous mappings, inherited by every fork made after they were.
void* SharedBlock(const char* tag, size_t size) {
    static std::mutex lock;
    static std::map<std::string, void*> blocks;
    std::lock_guard<std::mutex> guard(lock);
    void*& block = blocks[tag];
    if (block == nullptr) {
        void* mapping =
            mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        block = mapping == MAP_FAILED ? nullptr : mapping;
    }
    return block;
}

} // namespace marltest
