#if defined(MARL_HOST_TESTS)
#include "host/slice_walker.h"

namespace marlhosttest {

namespace {

class Walk {
public:
    Walk(const RunSliceLine& line, int32_t width, int32_t height,
         const std::function<void(int32_t, int32_t)>& visit)
        : Line(line), Width(width), Height(height), Visit(visit), X(line.StartX), Y(line.StartY) {}

    void Run() {
        int16_t decision = Line.ErrorTerm;
        bool more = Line.LastRun != 0 || Line.MiddleRuns != 0;
        if (Line.FirstRun != 0) {
            DrawRun(Line.FirstRun);
            if (more) Slice();
        }
        for (uint32_t i = 0; i < Line.MiddleRuns; ++i) {
            int32_t count;
            if (decision > 0) {
                count = Line.BaseRun + 1;
                decision = static_cast<int16_t>(decision + Line.ErrorAdjustLong);
            } else {
                count = Line.BaseRun;
                decision = static_cast<int16_t>(decision + Line.ErrorAdjustShort);
            }
            DrawRun(count);
            if (Line.LastRun != 0 || i + 1 < Line.MiddleRuns) Slice();
        }
        if (Line.LastRun != 0) DrawRun(Line.LastRun);
    }

private:
    void StepRow(int32_t step) {
        if (step == 0) return;
        if (step == 1) {
            if (Y < Height - 1) ++Y;
            return;
        }
        Y += step;
        if (Y < 0) Y = 0;
        if (Y > Height - 1) Y = Height - 1;
    }
    void StepX(int32_t step) {
        X += step;
        if (X > Width - 1) X = Width - 1;
        if (X < 0) X = 0;
    }
    void DrawRun(int32_t count) {
        Visit(X, Y);
        auto pixels = static_cast<int16_t>(count);
        for (int32_t i = 1; i < pixels; ++i) {
            StepRow(Line.RunStepY);
            StepX(Line.RunStepX);
            Visit(X, Y);
        }
        StepRow(Line.RunStepY);
        StepX(Line.RunStepX);
    }
    void Slice() {
        StepRow(Line.SliceStepY);
        StepX(Line.SliceStepX);
    }

    const RunSliceLine& Line;
    int32_t Width;
    int32_t Height;
    const std::function<void(int32_t, int32_t)>& Visit;
    int32_t X;
    int32_t Y;
};

} // namespace

void WalkRunSlices(const RunSliceLine& line, int32_t width, int32_t height,
                   const std::function<void(int32_t x, int32_t y)>& visit) {
    Walk(line, width, height, visit).Run();
}

} // namespace marlhosttest
#endif
