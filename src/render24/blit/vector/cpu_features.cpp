#include "render24/blit/vector/cpu_features.h"

#include <cpuid.h>

namespace marl::vec {
namespace {

constexpr unsigned kSse2Bit = 1u << 26;
constexpr unsigned kCmovBit = 1u << 15;

bool AskProcessor() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    // __get_cpuid first checks that leaf 1 exists (and, on 32-bit x86, that CPUID does).
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
    return (edx & kSse2Bit) != 0 && (edx & kCmovBit) != 0;
}

constexpr unsigned kOsXsaveBit = 1u << 27; // leaf 1, ECX
constexpr unsigned kAvxBit = 1u << 28;     // leaf 1, ECX
constexpr unsigned kAvx2Bit = 1u << 5;     // leaf 7, EBX
constexpr unsigned kYmmState = 6;          // XCR0: SSE and AVX state saved

// The low half of XCR0: which register state the system saves. XGETBV, spelled in bytes so
// that no compiler option is needed for it; ask only after CPUID reports OSXSAVE.
unsigned SavedState() {
    unsigned low = 0, high = 0;
    asm volatile(".byte 0x0F, 0x01, 0xD0" : "=a"(low), "=d"(high) : "c"(0));
    return low;
}

bool AskForAvx2() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!AskProcessor() || !__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
    if ((ecx & kOsXsaveBit) == 0 || (ecx & kAvxBit) == 0) return false;
    if ((SavedState() & kYmmState) != kYmmState) return false;
    if (__get_cpuid_max(0, nullptr) < 7) return false;
    __cpuid_count(7, 0, eax, ebx, ecx, edx);
    return (ebx & kAvx2Bit) != 0;
}

constexpr unsigned kAvx512FBit = 1u << 16;  // leaf 7, EBX
constexpr unsigned kAvx512BwBit = 1u << 30; // leaf 7, EBX
constexpr unsigned kZmmState = 0xE6;        // XCR0: SSE, AVX, opmask, ZMM upper and high ZMM

bool AskForAvx512Bw() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!CpuHasAvx2() || (SavedState() & kZmmState) != kZmmState) return false;
    __cpuid_count(7, 0, eax, ebx, ecx, edx);
    return (ebx & kAvx512FBit) != 0 && (ebx & kAvx512BwBit) != 0;
}

} // namespace

bool CpuHasAvx512Bw() {
    static const bool answer = AskForAvx512Bw();
    return answer;
}

bool CpuHasAvx2() {
    static const bool answer = AskForAvx2();
    return answer;
}

bool CpuHasSse2() {
    static const bool answer = AskProcessor();
    return answer;
}

} // namespace marl::vec
