#include "host/run_slices.h"

#include <algorithm>
#include <cstdlib>

namespace marlhost {

namespace {

int64_t FloorDiv(int64_t a, int64_t b) { // b > 0
    int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

int64_t CeilDiv(int64_t a, int64_t b) { return -FloorDiv(-a, b); }

int64_t Modulo(int64_t a, int64_t b) { return a - FloorDiv(a, b) * b; }

// The error terms of a record are 16 bits and range over (-2 minor, 2 minor].
constexpr int64_t kLargestErrorMinor = 16383;

// Along an axis of step s, the indexes i with low <= start + s i <= high.
bool AxisIndexes(int32_t start, int32_t step, int32_t low, int32_t high, int64_t& first,
                 int64_t& last) {
    int64_t a = (int64_t{low} - start) * step;
    int64_t b = (int64_t{high} - start) * step;
    first = std::min(a, b);
    last = std::max(a, b);
    return first <= last;
}

} // namespace

SliceLine::SliceLine(PixelPosition from, PixelPosition to) : Start(from) {
    int64_t dx = int64_t{to.X} - from.X;
    int64_t dy = int64_t{to.Y} - from.Y;
    XMajor = std::llabs(dx) >= std::llabs(dy);
    Major = XMajor ? std::llabs(dx) : std::llabs(dy);
    Minor = XMajor ? std::llabs(dy) : std::llabs(dx);
    int64_t majorDelta = XMajor ? dx : dy;
    int64_t minorDelta = XMajor ? dy : dx;
    MajorStep = majorDelta < 0 ? -1 : 1;
    MinorStep = minorDelta < 0 ? -1 : 1;
}

int64_t SliceLine::RunOf(int64_t index) const {
    if (Minor == 0) return 0;
    return CeilDiv(2 * Minor * index - Major, 2 * Major);
}

int64_t SliceLine::LastOfRun(int64_t run) const {
    if (run >= Minor) return Major;
    return FloorDiv(Major * (2 * run + 1), 2 * Minor);
}

int64_t SliceLine::FirstOfRun(int64_t run) const { return run == 0 ? 0 : LastOfRun(run - 1) + 1; }

int64_t SliceLine::DecisionFor(int64_t run) const {
    // Run k is long when the fraction of (2k - 1) major / (2 minor), in units of 1 / (2
    // minor), plus twice the remainder of major / minor reaches a whole unit.
    int64_t remainder = Major % Minor;
    int64_t fraction = Modulo((2 * run - 1) * Major, 2 * Minor);
    return fraction + 2 * remainder - 2 * Minor + 1;
}

PixelPosition SliceLine::PixelAt(int64_t index) const {
    int64_t along = int64_t{MajorStep} * index;
    int64_t across = int64_t{MinorStep} * RunOf(index);
    if (XMajor)
        return {static_cast<int32_t>(Start.X + along), static_cast<int32_t>(Start.Y + across)};
    return {static_cast<int32_t>(Start.X + across), static_cast<int32_t>(Start.Y + along)};
}

bool SliceLine::IndexesOnMajor(int32_t low, int32_t high, int64_t& first, int64_t& last) const {
    int32_t start = XMajor ? Start.X : Start.Y;
    if (!AxisIndexes(start, MajorStep, low, high, first, last)) return false;
    first = std::max<int64_t>(first, 0);
    last = std::min(last, Major);
    return first <= last;
}

bool SliceLine::IndexesOnMinor(int32_t low, int32_t high, int64_t& first, int64_t& last) const {
    int32_t start = XMajor ? Start.Y : Start.X;
    int64_t firstRun, lastRun;
    if (!AxisIndexes(start, MinorStep, low, high, firstRun, lastRun)) return false;
    firstRun = std::max<int64_t>(firstRun, 0);
    lastRun = std::min(lastRun, Minor);
    if (firstRun > lastRun) return false;
    first = FirstOfRun(firstRun);
    last = LastOfRun(lastRun);
    return true;
}

bool SliceLine::IndexRange(const PixelWindow& window, int64_t& first, int64_t& last) const {
    int64_t majorFirst, majorLast, minorFirst, minorLast;
    int32_t majorLow = XMajor ? window.Left : window.Top;
    int32_t majorHigh = XMajor ? window.Right : window.Bottom;
    int32_t minorLow = XMajor ? window.Top : window.Left;
    int32_t minorHigh = XMajor ? window.Bottom : window.Right;
    if (!IndexesOnMajor(majorLow, majorHigh, majorFirst, majorLast)) return false;
    if (!IndexesOnMinor(minorLow, minorHigh, minorFirst, minorLast)) return false;
    first = std::max(majorFirst, minorFirst);
    last = std::min(majorLast, minorLast);
    return first <= last;
}

RunSliceLine SliceLine::Record(int64_t first, PixelPosition origin) const {
    RunSliceLine record{};
    PixelPosition at = PixelAt(first);
    record.StartX = static_cast<int16_t>(at.X - origin.X);
    record.StartY = static_cast<int16_t>(at.Y - origin.Y);
    record.RunStepX = static_cast<int16_t>(XMajor ? MajorStep : 0);
    record.RunStepY = static_cast<int16_t>(XMajor ? 0 : MajorStep);
    record.SliceStepX = static_cast<int16_t>(XMajor ? 0 : MinorStep);
    record.SliceStepY = static_cast<int16_t>(XMajor ? MinorStep : 0);
    return record;
}

void SliceLine::AppendRecords(int64_t first, int64_t last, PixelPosition origin,
                              std::vector<RunSliceLine>& records) const {
    int64_t firstRun = RunOf(first);
    int64_t lastRun = RunOf(last);
    if (firstRun != lastRun && Minor > kLargestErrorMinor) {
        // Error terms this large do not fit the record: one record per run instead.
        for (int64_t run = firstRun; run <= lastRun; ++run) {
            int64_t begin = std::max(first, FirstOfRun(run));
            int64_t end = std::min(last, LastOfRun(run));
            AppendRecords(begin, end, origin, records);
        }
        return;
    }
    RunSliceLine record = Record(first, origin);
    if (firstRun == lastRun) {
        record.FirstRun = static_cast<uint16_t>(last - first + 1);
        records.push_back(record);
        return;
    }
    record.FirstRun = static_cast<uint16_t>(LastOfRun(firstRun) - first + 1);
    record.LastRun = static_cast<uint16_t>(last - FirstOfRun(lastRun) + 1);
    int64_t middle = lastRun - firstRun - 1;
    record.MiddleRuns = static_cast<uint16_t>(middle);
    if (middle > 0) {
        int64_t remainder = Major % Minor;
        record.BaseRun = static_cast<int16_t>(Major / Minor);
        record.ErrorTerm = static_cast<int16_t>(DecisionFor(firstRun + 1));
        record.ErrorAdjustLong = static_cast<int16_t>(2 * remainder - 2 * Minor);
        record.ErrorAdjustShort = static_cast<int16_t>(2 * remainder);
    }
    records.push_back(record);
}

bool SliceLine::AppendWindow(const PixelWindow& window, PixelPosition origin,
                             std::vector<RunSliceLine>& records) const {
    int64_t first, last;
    if (!IndexRange(window, first, last)) return false;
    AppendRecords(first, last, origin, records);
    return true;
}

} // namespace marlhost
