#include "fuzzing/fuzz_report.h"

#include "support/transfer_probes.h"

#include <cstdio>
#include <cstdlib>

namespace marlfuzz {

void CaseReport::Expect(bool ok, const std::string& what) {
    if (!ok) Failures += what + "\n";
}

void CaseReport::ExpectNoWritableCode(const char* after) {
    const std::string pages = marltest::WritableExecutableMappings();
    Expect(pages.empty(),
           std::string("writable and executable pages after ") + after + ":\n" + pages);
}

void AbortOnFailure(const std::string& failures, const char* target) {
    if (failures.empty()) return;
    std::fprintf(stderr, "%s: invariant broken:\n%s", target, failures.c_str());
    std::fflush(stderr);
    std::abort();
}

} // namespace marlfuzz
