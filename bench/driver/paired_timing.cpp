#include "paired_timing.h"

#include <time.h>

#include <algorithm>

namespace marlbench {

namespace {

double Seconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

} // namespace

double ThreadSeconds() { return Seconds(CLOCK_THREAD_CPUTIME_ID); }
double WallSeconds() { return Seconds(CLOCK_MONOTONIC); }

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t half = values.size() / 2;
    return values.size() % 2 ? values[half] : (values[half - 1] + values[half]) / 2;
}

const char* CounterName(Figure kind) {
    switch (kind) {
    case Figure::RatioToMemcpy: return "x_memcpy";
    case Figure::RatioToMemset: return "x_memset";
    case Figure::MicrosPerCall: return "us_call";
    case Figure::NanosPerCall: return "ns_call";
    case Figure::NanosPerPixel: return "ns_pixel";
    case Figure::RatioToOneCaller: return "x_one";
    }
    return "?";
}

bool Meets(const Goal& goal, double figure) {
    return goal.Kind == Figure::RatioToOneCaller ? figure >= goal.Limit : figure <= goal.Limit;
}

std::vector<CaseInfo>& Cases() {
    static std::vector<CaseInfo> cases;
    return cases;
}

void ReportPaired(benchmark::State& state, const PairedTimes& times, const Goal& goal,
                  bool memsetReference, double pixelsPerCall) {
    const double work = Median(times.Work);
    const double reference = Median(times.Reference);
    state.counters[memsetReference ? "x_memset" : "x_memcpy"] =
        reference > 0 ? work / reference : 0;
    switch (goal.Kind) {
    case Figure::MicrosPerCall: state.counters["us_call"] = work * 1e6; break;
    case Figure::NanosPerCall: state.counters["ns_call"] = work * 1e9; break;
    case Figure::NanosPerPixel: state.counters["ns_pixel"] = work * 1e9 / pixelsPerCall; break;
    default: break;
    }
}

} // namespace marlbench
