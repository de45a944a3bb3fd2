// What one fuzz case found besides crashes and sanitizer reports, which the fuzzer catches by
// itself: broken invariants, each named with the step where it broke.
#pragma once

#include <string>

namespace marlfuzz {

class CaseReport {
public:
    // Records a failure unless ok holds.
    void Expect(bool ok, const std::string& what);
    // No page of the process may be writable and executable once an entry point returned.
    void ExpectNoWritableCode(const char* after);

    bool Ok() const { return Failures.empty(); }
    const std::string& Text() const { return Failures; }

private:
    std::string Failures;
};

// The fuzz targets' end of a case: a failed report is printed and the process aborted, which
// libFuzzer records as a crash with its input.
void AbortOnFailure(const std::string& failures, const char* target);

} // namespace marlfuzz
