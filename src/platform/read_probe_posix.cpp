// IsBadReadPtr on POSIX: a read probe that answers without a system call.
//
// A block transfer probes every record a driver hands it, so the probe sits on the path of
// every call and must cost a few loads, as Windows' own does. It loads one byte of every page
// of the range (a page is readable as a whole or not at all). A load from a page that cannot
// be read raises SIGSEGV or SIGBUS; the handler installed at the first probe recognises the
// probe's one load instruction by the saved instruction pointer and resumes at the probe's
// failure exit instead. Every other fault goes on to the handler that was installed before
// ours, or ends the process with the signal when there was none, exactly as without us.
//
// Where the handler cannot be installed (a sanitizer that keeps the signal to itself, say),
// the probe asks the kernel in one process_vm_readv of one byte of every page, and where even
// that is refused (a seccomp filter), it writes one byte of every page into a pipe.
#include "platform/platform.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>

// uint32_t marl_probe_pages(const void* address, uint32_t count, uintptr_t stride):
// loads the byte at address + k * stride for k = 0 .. count - 1 (count >= 1, no wrap-around)
// and answers 0; answers 1 when one of the loads faults. The handler moves a fault at
// marl_probe_pages_load to marl_probe_pages_fault; nothing is pushed before the load, so the
// stack is as the failure exit expects it.
#if defined(__i386__)
asm(R"(
    .text
    .p2align 4
    .globl marl_probe_pages
    .hidden marl_probe_pages
    .globl marl_probe_pages_load
    .hidden marl_probe_pages_load
    .globl marl_probe_pages_fault
    .hidden marl_probe_pages_fault
    .type marl_probe_pages, @function
marl_probe_pages:
    movl 4(%esp), %ecx
    movl 8(%esp), %edx
marl_probe_pages_load:
    movzbl (%ecx), %eax
    addl 12(%esp), %ecx
    decl %edx
    jnz marl_probe_pages_load
    xorl %eax, %eax
    ret
marl_probe_pages_fault:
    movl $1, %eax
    ret
    .size marl_probe_pages, . - marl_probe_pages
)");
#define MARL_PROBE_IP REG_EIP
#elif defined(__x86_64__)
asm(R"(
    .text
    .p2align 4
    .globl marl_probe_pages
    .hidden marl_probe_pages
    .globl marl_probe_pages_load
    .hidden marl_probe_pages_load
    .globl marl_probe_pages_fault
    .hidden marl_probe_pages_fault
    .type marl_probe_pages, @function
marl_probe_pages:
marl_probe_pages_load:
    movzbl (%rdi), %eax
    addq %rdx, %rdi
    decl %esi
    jnz marl_probe_pages_load
    xorl %eax, %eax
    ret
marl_probe_pages_fault:
    movl $1, %eax
    ret
    .size marl_probe_pages, . - marl_probe_pages
)");
#define MARL_PROBE_IP REG_RIP
#else
#error "the read probe is written for x86"
#endif

extern "C" {
uint32_t marl_probe_pages(const void* address, uint32_t count, uintptr_t stride);
extern const char marl_probe_pages_load[];
extern const char marl_probe_pages_fault[];
}

namespace {

// Readability is a property of a page, and x86 pages are 4 KiB (a larger page is made of
// whole 4 KiB ones), so probing every 4 KiB never misses a page.
constexpr uintptr_t kProbeStep = 4096;

// The pages a range touches: the first page's start and how many there are.
struct PageSpan {
    uintptr_t First = 0;
    uintptr_t Count = 0;
};

// False for a range that runs past the end of the address space.
bool SpanOf(LPCVOID pointer, UINT_PTR size, PageSpan& span) {
    uintptr_t start = reinterpret_cast<uintptr_t>(pointer);
    uintptr_t last = start + size - 1;
    if (last < start) return false;
    span.First = start & ~(kProbeStep - 1);
    span.Count = ((last & ~(kProbeStep - 1)) - span.First) / kProbeStep + 1;
    return true;
}

// --- By fault --------------------------------------------------------------------------------

struct sigaction PreviousAction[2]; // SIGSEGV, SIGBUS

const struct sigaction& PreviousFor(int signal) { return PreviousAction[signal == SIGBUS ? 1 : 0]; }

// Hands a fault that is not the probe's to whoever would have had it without us.
void ChainFault(int signal, siginfo_t* info, void* context) {
    const struct sigaction& previous = PreviousFor(signal);
    if (previous.sa_handler == SIG_IGN && info->si_code <= 0) return; // sent, and ignored
    if (previous.sa_handler == SIG_DFL || previous.sa_handler == SIG_IGN) {
        // The default action is put back; a fault happens again when the handler returns and
        // a signal that was sent is sent again, so the process ends of it as it would have.
        struct sigaction fallback {};
        fallback.sa_handler = SIG_DFL;
        sigemptyset(&fallback.sa_mask);
        sigaction(signal, &fallback, nullptr);
        if (info->si_code <= 0) raise(signal);
        return;
    }
    if (previous.sa_flags & SA_SIGINFO)
        previous.sa_sigaction(signal, info, context);
    else
        previous.sa_handler(signal);
}

void ProbeFaultHandler(int signal, siginfo_t* info, void* context) {
    auto* state = static_cast<ucontext_t*>(context);
    greg_t& ip = state->uc_mcontext.gregs[MARL_PROBE_IP];
    if (ip == reinterpret_cast<greg_t>(marl_probe_pages_load)) {
        ip = reinterpret_cast<greg_t>(marl_probe_pages_fault);
        return;
    }
    ChainFault(signal, info, context);
}

bool HandlerInstalled(int signal) {
    struct sigaction current {};
    return sigaction(signal, nullptr, &current) == 0 && (current.sa_flags & SA_SIGINFO) &&
           current.sa_sigaction == ProbeFaultHandler;
}

bool InstallHandler(int signal, struct sigaction& previous) {
    if (sigaction(signal, nullptr, &previous) != 0) return false;
    struct sigaction action {};
    action.sa_sigaction = ProbeFaultHandler;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESTART;
    sigemptyset(&action.sa_mask);
    struct sigaction replaced {};
    if (sigaction(signal, &action, &replaced) != 0) return false;
    // Someone installed a handler between the two calls: that one is the one to chain to.
    previous = replaced;
    // A sanitizer that keeps the signal to itself answers success and changes nothing.
    return HandlerInstalled(signal);
}

bool InstallFaultHandlers() {
    if (!InstallHandler(SIGSEGV, PreviousAction[0])) {
        sigaction(SIGSEGV, &PreviousAction[0], nullptr);
        return false;
    }
    if (!InstallHandler(SIGBUS, PreviousAction[1])) {
        sigaction(SIGBUS, &PreviousAction[1], nullptr);
        sigaction(SIGSEGV, &PreviousAction[0], nullptr);
        return false;
    }
    return true;
}

bool UnreadableByFault(const PageSpan& span) {
    // Page counts beyond 32 bits cannot occur in a 32-bit process; in a 64-bit one the span
    // is taken in pieces.
    constexpr uintptr_t kMaxCount = 0x80000000u;
    uintptr_t first = span.First;
    for (uintptr_t left = span.Count; left != 0;) {
        uintptr_t count = left < kMaxCount ? left : kMaxCount;
        if (marl_probe_pages(reinterpret_cast<const void*>(first), static_cast<uint32_t>(count),
                             kProbeStep) != 0)
            return true;
        first += count * kProbeStep;
        left -= count;
    }
    return false;
}

// --- By process_vm_readv ---------------------------------------------------------------------

// The process's id, kept across calls and renewed in a child after fork.
pid_t OwnId = 0;

void RenewOwnId() { OwnId = getpid(); }

// 1 unreadable, 0 readable, -1 the kernel refused the call itself.
int UnreadableByVmRead(const PageSpan& span) {
    constexpr size_t kBatch = IOV_MAX < 256 ? IOV_MAX : 256;
    uint8_t scratch[kBatch];
    iovec remote[kBatch];
    uintptr_t page = span.First;
    for (uintptr_t left = span.Count; left != 0;) {
        size_t count = left < kBatch ? static_cast<size_t>(left) : kBatch;
        for (size_t i = 0; i < count; ++i, page += kProbeStep)
            remote[i] = {reinterpret_cast<void*>(page), 1};
        iovec local = {scratch, count};
        ssize_t read = process_vm_readv(OwnId, &local, 1, remote, count, 0);
        if (read < 0) {
            if (errno == EFAULT) return 1;
            return errno == ENOSYS || errno == EPERM ? -1 : 1;
        }
        if (static_cast<size_t>(read) != count) return 1; // stopped at an unreadable page
        left -= count;
    }
    return 0;
}

// --- By pipe ---------------------------------------------------------------------------------

// The kernel reports EFAULT for an unreadable address written into a pipe instead of raising
// a fault in the caller.
int ProbePipe[2] = {-1, -1};
std::once_flag ProbePipeOnce;

bool ByteReadableThroughPipe(uintptr_t address) {
    std::call_once(ProbePipeOnce, [] {
        if (pipe2(ProbePipe, O_CLOEXEC | O_NONBLOCK) != 0) ProbePipe[0] = ProbePipe[1] = -1;
    });
    if (ProbePipe[1] < 0) return false;
    long written;
    do {
        written = syscall(SYS_write, ProbePipe[1], reinterpret_cast<const void*>(address), 1);
    } while (written < 0 && errno == EINTR);
    if (written != 1) return false;
    uint8_t drained;
    while (syscall(SYS_read, ProbePipe[0], &drained, 1) < 0 && errno == EINTR) {
    }
    return true;
}

bool UnreadableByPipe(const PageSpan& span) {
    uintptr_t page = span.First;
    for (uintptr_t left = span.Count; left != 0; --left, page += kProbeStep)
        if (!ByteReadableThroughPipe(page)) return true;
    return false;
}

// --- The choice ------------------------------------------------------------------------------

void TrackOwnId() {
    static const bool tracked = [] {
        RenewOwnId();
        pthread_atfork(nullptr, nullptr, RenewOwnId);
        return true;
    }();
    (void)tracked;
}

bool VmReadWorks() {
    TrackOwnId();
    static const uint8_t known = 0;
    PageSpan span;
    SpanOf(&known, 1, span);
    return UnreadableByVmRead(span) == 0;
}

// The cheapest means this process can use, chosen once.
uint32_t ChooseMethod() {
    if (InstallFaultHandlers()) return ReadProbeByFault;
    return VmReadWorks() ? ReadProbeByVmRead : ReadProbeByPipe;
}

// Set once the fault handlers are in place, so that the usual probe reads one flag.
std::atomic<bool> ProbingByFault{false};

uint32_t Method() {
    static const uint32_t chosen = [] {
        uint32_t method = ChooseMethod();
        if (method == ReadProbeByFault) ProbingByFault.store(true, std::memory_order_release);
        return method;
    }();
    return chosen;
}

bool MethodUsable(uint32_t method) {
    switch (method) {
    case ReadProbeByFault: return Method() == ReadProbeByFault;
    case ReadProbeByVmRead: return VmReadWorks();
    case ReadProbeByPipe: return true;
    default: return false;
    }
}

BOOL UnreadableUsing(uint32_t method, const PageSpan& span) {
    switch (method) {
    case ReadProbeByFault: return UnreadableByFault(span);
    case ReadProbeByVmRead: {
        int answer = UnreadableByVmRead(span);
        if (answer >= 0) return answer;
        return UnreadableByPipe(span); // refused after all: a filter installed since
    }
    default: return UnreadableByPipe(span);
    }
}

} // namespace

BOOL IsBadReadPtr(LPCVOID pointer, UINT_PTR size) {
    if (size == 0) return 0;
    if (pointer == nullptr) return 1;
    PageSpan span;
    if (!SpanOf(pointer, size, span)) return 1;
    // The usual case, a record or a row of a few pages once the handlers are in: one call of
    // the probe routine.
    if (ProbingByFault.load(std::memory_order_acquire) && span.Count <= 0x80000000u)
        return marl_probe_pages(reinterpret_cast<const void*>(span.First),
                                static_cast<uint32_t>(span.Count), kProbeStep) != 0;
    return UnreadableUsing(Method(), span);
}

uint32_t ReadProbeMethodInUse() { return Method(); }

int32_t IsBadReadPtrUsing(uint32_t method, LPCVOID pointer, UINT_PTR size) {
    if (!MethodUsable(method)) return -1;
    if (size == 0) return 0;
    if (pointer == nullptr) return 1;
    PageSpan span;
    if (!SpanOf(pointer, size, span)) return 1;
    return UnreadableUsing(method, span);
}
