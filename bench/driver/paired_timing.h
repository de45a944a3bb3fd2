// Times an entry point and its reference (memcpy or memset of the same bytes) in the same run:
// a batch of calls, then a batch of the reference, again and again, so that both see the same
// machine at nearly the same moment. Times are the calling thread's CPU time (a shared machine
// preempts a thread now and then; that must not count against either side). The figures are
// medians over the batches, which one slow batch cannot move.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

namespace marlbench {

double ThreadSeconds();
double WallSeconds();
double Median(std::vector<double> values);

// What a case is held to.
enum class Figure {
    RatioToMemcpy,   // median call time / median memcpy time of the same bytes
    RatioToMemset,   // the same against memset
    MicrosPerCall,   // median microseconds per call
    NanosPerCall,    // median nanoseconds per call
    NanosPerPixel,   // median nanoseconds per pixel drawn
    RatioToOneCaller // throughput of two callers together / throughput of one
};

struct Goal {
    Figure Kind;
    double Limit;
};

// The counter that holds a figure of this kind.
const char* CounterName(Figure kind);
// True when the figure meets the goal (at most the limit; at least it for RatioToOneCaller).
bool Meets(const Goal& goal, double figure);

// One measured case: the label the summary prints and its goal.
struct CaseInfo {
    std::string Name;
    std::string What;
    Goal Target;
    bool Reference = false; // reference-only cases (plain memcpy) have no goal
};
std::vector<CaseInfo>& Cases();

struct PairedTimes {
    std::vector<double> Work;      // seconds per call, one entry per batch
    std::vector<double> Reference; // seconds per reference operation, one entry per batch
};

// Calls per batch so that a batch of work lasts about `seconds`.
template <typename Work> int64_t BatchFor(Work& work, double seconds) {
    double start = ThreadSeconds();
    int64_t calls = 0;
    do {
        work(calls++);
    } while (ThreadSeconds() - start < seconds / 4 && calls < (int64_t{1} << 20));
    double each = (ThreadSeconds() - start) / static_cast<double>(calls);
    int64_t batch = each > 0 ? static_cast<int64_t>(seconds / each) : (int64_t{1} << 20);
    return batch < 1 ? 1 : batch;
}

// Runs the benchmark loop: each step one batch of work (its time is the step's time) and one
// batch of the reference. work(i) and reference(i) take the call's index in its batch.
template <typename Work, typename Reference>
PairedTimes RunPaired(benchmark::State& state, Work work, Reference reference, int64_t batch) {
    PairedTimes times;
    while (state.KeepRunningBatch(batch)) {
        const double start = ThreadSeconds();
        for (int64_t i = 0; i < batch; ++i)
            work(i);
        const double middle = ThreadSeconds();
        for (int64_t i = 0; i < batch; ++i)
            reference(i);
        benchmark::ClobberMemory();
        const double end = ThreadSeconds();
        state.SetIterationTime(middle - start);
        times.Work.push_back((middle - start) / static_cast<double>(batch));
        times.Reference.push_back((end - middle) / static_cast<double>(batch));
    }
    return times;
}

// Sets the counters of a paired case: the ratio to its reference (x_memcpy or x_memset) and,
// for goals in absolute time, the time per call or per pixel.
void ReportPaired(benchmark::State& state, const PairedTimes& times, const Goal& goal,
                  bool memsetReference, double pixelsPerCall);

} // namespace marlbench
