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

} // namespace

bool CpuHasSse2() {
    static const bool answer = AskProcessor();
    return answer;
}

} // namespace marl::vec
