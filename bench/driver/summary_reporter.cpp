#include "summary_reporter.h"

#include "paired_timing.h"

#include <cstdio>

namespace marlbench {

namespace {

const char* UnitOf(Figure kind) {
    switch (kind) {
    case Figure::RatioToMemcpy: return "x memcpy";
    case Figure::RatioToMemset: return "x memset";
    case Figure::MicrosPerCall: return "us/call";
    case Figure::NanosPerCall: return "ns/call";
    case Figure::NanosPerPixel: return "ns/pixel";
    case Figure::RatioToOneCaller: return "x one caller";
    }
    return "";
}

} // namespace

// With repetitions, only the median line is shown and kept; a single run is kept as it is.
void SummaryReporter::ReportRuns(const std::vector<Run>& runs) {
    std::vector<Run> shown;
    for (const Run& run : runs) {
        const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
        const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
        if (!median && !single && !run.error_occurred) continue;
        shown.push_back(run);
        Outcome& outcome = Outcomes[run.run_name.function_name];
        outcome.Repetitions = run.repetitions;
        if (run.error_occurred) {
            outcome.Error = run.error_message;
            continue;
        }
        for (const auto& [name, counter] : run.counters)
            outcome.Counters[name] = counter.value;
    }
    if (!shown.empty()) ConsoleReporter::ReportRuns(shown);
}

void SummaryReporter::Finalize() {
    ConsoleReporter::Finalize();
    std::FILE* out = stdout;
    int measured = 0, met = 0;
    std::fprintf(out, "\nDriver-side summary: entry points called through the table of the "
                      "dlopen'ed library\n");
    std::fprintf(out, "%-44s %12s %-13s %10s  %s\n", "case", "figure", "", "goal", "");
    for (const CaseInfo& info : Cases()) {
        auto found = Outcomes.find(info.Name);
        if (found == Outcomes.end()) continue; // filtered out
        const Outcome& outcome = found->second;
        if (!outcome.Error.empty()) {
            std::fprintf(out, "%-44s %s\n", info.What.c_str(), outcome.Error.c_str());
            ++measured;
            continue;
        }
        auto counter = outcome.Counters.find(CounterName(info.Target.Kind));
        if (counter == outcome.Counters.end()) continue;
        const double figure = counter->second;
        if (info.Reference) {
            std::fprintf(out, "%-44s %12.3f %-13s\n", info.What.c_str(), figure,
                         UnitOf(info.Target.Kind));
            continue;
        }
        const bool ok = Meets(info.Target, figure);
        ++measured;
        met += ok ? 1 : 0;
        std::fprintf(out, "%-44s %12.3f %-13s %s%8.3g  %s\n", info.What.c_str(), figure,
                     UnitOf(info.Target.Kind),
                     info.Target.Kind == Figure::RatioToOneCaller ? ">=" : "<=", info.Target.Limit,
                     ok ? "met" : "MISSED");
    }
    if (measured > 0) {
        const int64_t repetitions = Outcomes.begin()->second.Repetitions;
        std::fprintf(out, "%d of %d goals met (%s)\n", met, measured,
                     repetitions > 1 ? "medians of the repetitions" : "one run each");
    }
    std::fflush(out);
}

} // namespace marlbench
