// The console output of the driver-side benchmark: one line per case (the median of the
// repetitions when there are several), then a summary of every case against its goal.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>

namespace marlbench {

class SummaryReporter final : public benchmark::ConsoleReporter {
public:
    SummaryReporter() : benchmark::ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override;
    void Finalize() override;

private:
    struct Outcome {
        std::map<std::string, double> Counters;
        std::string Error;
        int64_t Repetitions = 1;
    };
    std::map<std::string, Outcome> Outcomes;
};

} // namespace marlbench
