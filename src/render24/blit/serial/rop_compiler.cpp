#include "render24/blit/serial/rop_compiler.h"

#include "render24/blit/code_area.h"
#include "render24/blit/routine_cache.h"
#include "render24/blit/serial/code_fragments.h"

namespace marl {
namespace {

using namespace fragment;

uint8_t ByteOf(uint32_t colour, uint32_t plane) {
    return static_cast<uint8_t>(colour >> (8 * plane));
}

uintptr_t AddressOf(const uint8_t* pointer) { return reinterpret_cast<uintptr_t>(pointer); }

uint32_t LastSourceOf(const CompiledRopName& name) {
    uint32_t last = 0;
    for (uint32_t i = 0; i < name.Length; ++i)
        if (name.Text[i] == 'S') last = i;
    return last;
}

// An operand goes to the accumulator when it is the last one before an operator (or the
// name's last character); in the stack form it is always pushed.
bool OperandToAccumulator(const RopPlan& plan, uint32_t position) {
    if (plan.StackForm) return false;
    return position + 1 == plan.Name.Length || IsRopOperator(plan.Name.Text[position + 1]);
}

template <size_t NPush, size_t NAcc>
void EmitEither(BlitRoutine& routine, bool accumulator, const CodeFragment<NPush>& push,
                const CodeFragment<NAcc>& acc) {
    if (accumulator) {
        Emit(routine.Cursor, acc);
    } else {
        Emit(routine.Cursor, push);
    }
}

void EmitMonoSource(BlitRoutine& routine, const RopPlan& plan, const PlaneSamples& samples,
                    uint32_t position) {
    const MonoSourceFragment& mono =
        OperandToAccumulator(plan, position) ? MonoSourceAcc : MonoSourcePush;
    PlacedFragment placed = Emit(routine.Cursor, mono);
    placed.Patch(mono.BitPhase, plan.Values.BitPhase)
        .Patch(mono.SetBitSample, samples.SetBit)
        .Patch(mono.ClearBitSample, samples.ClearBit);
    // Only the last "S" of the pixel steps the source; the others read the same bit.
    if (position != plan.LastSource) placed.Patch(mono.SourceStep, mono.NoSourceStep);
}

void EmitSource(BlitRoutine& routine, const RopPlan& plan, const PlaneSamples& samples,
                uint32_t position) {
    if (plan.MonoSource) {
        EmitMonoSource(routine, plan, samples, position);
    } else {
        EmitEither(routine, OperandToAccumulator(plan, position), SourcePush, SourceAcc);
    }
}

void EmitPattern(BlitRoutine& routine, const RopPlan& plan, const PlaneSamples& samples,
                 uint32_t position) {
    bool accumulator = OperandToAccumulator(plan, position);
    if (plan.PatternRow) {
        EmitEither(routine, accumulator, PatternPush, PatternAcc);
        return;
    }
    const PatternColorFragment& colour = accumulator ? PatternColorAcc : PatternColorPush;
    Emit(routine.Cursor, colour).Patch(colour.Sample, samples.Pattern);
}

void EmitCharacter(BlitRoutine& routine, const RopPlan& plan, const PlaneSamples& samples,
                   uint32_t position) {
    const bool stack = plan.StackForm;
    switch (plan.Name.Text[position]) {
    case 'D': EmitEither(routine, OperandToAccumulator(plan, position), DestPush, DestAcc); break;
    case 'S': EmitSource(routine, plan, samples, position); break;
    case 'P': EmitPattern(routine, plan, samples, position); break;
    case '0': EmitEither(routine, !stack, ZeroPush, ZeroAcc); break;
    case 'a': EmitEither(routine, !stack, MinStack, MinAcc); break;
    case 'o': EmitEither(routine, !stack, MaxStack, MaxAcc); break;
    case 'x': EmitEither(routine, !stack, XorStack, XorAcc); break;
    case 'n': EmitEither(routine, !stack, NotStack, NotAcc); break;
    default: break;
    }
}

void EmitRowSetup(BlitRoutine& routine, const RopPlan& plan) {
    Emit(routine.Cursor, LoadDestRow);
    if (plan.UsesSource) Emit(routine.Cursor, LoadSourceRow);
    if (plan.PatternRow) Emit(routine.Cursor, LoadPatternRow);
    Emit(routine.Cursor, KeepDestStart);
    if (plan.UsesSource) Emit(routine.Cursor, KeepSourceStart);
    if (plan.PatternRow) {
        Emit(routine.Cursor, KeepPatternStart)
            .Patch(KeepPatternStart.PatternPhase, plan.Values.PatternPhase);
    }
}

void EmitPlaneStep(BlitRoutine& routine, const RopPlan& plan) {
    if (plan.UsesSource && plan.PlaneSource) {
        Emit(routine.Cursor, NextSourcePlane)
            .Patch(NextSourcePlane.Stride, plan.Values.SourcePlaneStride);
    } else {
        Emit(routine.Cursor, RestartSource);
    }
    Emit(routine.Cursor, NextDestPlane).Patch(NextDestPlane.Stride, plan.Values.DestPlaneStride);
    if (plan.PatternRow) {
        Emit(routine.Cursor, NextPatternPlane)
            .Patch(NextPatternPlane.PatternWidth, plan.Values.PatternWidth)
            .Patch(NextPatternPlane.PatternPhase, plan.Values.PatternPhase);
    }
}

void EmitRoutineEnd(BlitRoutine& routine, const RopPlan& plan) {
    if (plan.PatternRow) Emit(routine.Cursor, PatternPadByte);
    if (plan.UsesSource) Emit(routine.Cursor, SourcePadByte);
    Emit(routine.Cursor, PadByte);
    Emit(routine.Cursor, Epilogue);
}

void EmitRoutine(BlitRoutine& routine, const RopPlan& plan, const BlitRequest& request) {
    EmitRowSetup(routine, plan);
    for (uint32_t plane = 0; plane < 3; ++plane) {
        if (plane > 0) EmitPlaneStep(routine, plan);
        EmitPlaneLoop(routine, plan, SamplesOfPlane(request, plane));
    }
    EmitRoutineEnd(routine, plan);
}

} // namespace

RopPlan PlanRop(const BlitRequest& request) {
    const RopOperandTable& marks = RopOperands();
    RopPlan plan{};
    plan.Values = request;
    plan.Name = CompiledNameOf(request.Rop);
    plan.StackForm = marks.StackOnly(request.Rop);
    plan.UsesSource = marks.UsesSource(request.Rop);
    plan.PatternRow = marks.UsesPattern(request.Rop) && request.PatternRows;
    plan.MonoSource = request.SourceBits == 1;
    plan.PlaneSource = request.SourceBits == 24;
    plan.LastSource = LastSourceOf(plan.Name);
    plan.DrawsNothing = request.RowWidth == 0 || (plan.PatternRow && request.PatternWidth == 0);
    return plan;
}

PlaneSamples SamplesOfPlane(const BlitRequest& request, uint32_t plane) {
    PlaneSamples samples{};
    if (!request.PatternRows) samples.Pattern = ByteOf(request.PatternColor, plane);
    samples.ClearBit = ByteOf(request.ClearBitColor, plane);
    samples.SetBit = ByteOf(request.SetBitColor, plane);
    return samples;
}

void EmitPixelBody(BlitRoutine& routine, const RopPlan& plan, const PlaneSamples& samples) {
    for (uint32_t position = 0; position < plan.Name.Length; ++position)
        EmitCharacter(routine, plan, samples, position);
}

void EmitPlaneLoop(BlitRoutine& routine, const RopPlan& plan, const PlaneSamples& samples) {
    Emit(routine.Cursor, SetCount).Patch(SetCount.RowWidth, plan.Values.RowWidth);
    const uintptr_t loopTop = routine.Cursor;
    EmitPixelBody(routine, plan, samples);
    EmitEither(routine, !plan.StackForm, StoreStack, StoreAcc);
    Emit(routine.Cursor, NextDest);
    if (plan.UsesSource && !plan.MonoSource) Emit(routine.Cursor, NextSource);
    if (plan.PatternRow)
        Emit(routine.Cursor, NextPattern).Patch(NextPattern.PatternWidth, plan.Values.PatternWidth);
    EmitLoopBack(routine, loopTop);
}

void EmitLoopBack(BlitRoutine& routine, uintptr_t loopTop) {
    const int32_t shortDistance =
        static_cast<int32_t>(loopTop - (routine.Cursor + LoopBack.Length));
    if (shortDistance >= -128) {
        Emit(routine.Cursor, LoopBack)
            .Patch(LoopBack.Displacement, static_cast<uint8_t>(shortDistance));
        return;
    }
    const auto longDistance = static_cast<uint32_t>(loopTop - (routine.Cursor + LongLoopBack.Length));
    Emit(routine.Cursor, LongLoopBack).Patch(LongLoopBack.Displacement, longDistance);
}

namespace {

// Writes the routine at routine.Cursor (a writable address) and answers its length.
uint32_t WriteRopRoutine(BlitRoutine& routine, const BlitRequest& request) {
    const RopPlan plan = PlanRop(request);
    const uintptr_t start = routine.Cursor;
    if (plan.DrawsNothing) {
        Emit(routine.Cursor, Epilogue);
    } else {
        EmitRoutine(routine, plan, request);
    }
    return static_cast<uint32_t>(routine.Cursor - start);
}

// The routine has Length bytes from run, an address of the executable view.
void PointAt(BlitRoutine& routine, const uint8_t* run, uint32_t length) {
    routine.Entry = AddressOf(run);
    routine.Cursor = routine.Entry + length;
}

} // namespace

bool CompileRop(BlitRoutine& routine, const BlitRequest& request) {
    CodeArea& buffer = CodeBufferArea();
    routine.Entry = routine.Cursor = 0;
    if (!BeginWriting(buffer)) return false;
    routine.Cursor = AddressOf(buffer.Writable);
    const uint32_t length = WriteRopRoutine(routine, request);
    if (!EndWriting(buffer)) return false;
    PointAt(routine, buffer.Base, length);
    return true;
}

uint16_t BlitRoutine::CompileRop(uint32_t rop, uint32_t brushPattern, uint32_t patternColor,
                                 uint32_t sourcePlaneStride, uint32_t destPlaneStride,
                                 uint32_t patternWidth, uint32_t patternPhase, uint32_t rowWidth,
                                 uint32_t sourceBits, uint32_t clearBitColor, uint32_t setBitColor,
                                 uint32_t bitPhase) {
    const BlitRequest request = NormaliseRequest(
        rop, brushPattern, patternColor, sourcePlaneStride, destPlaneStride, patternWidth,
        patternPhase, rowWidth, sourceBits, clearBitColor, setBitColor, bitPhase);
    return marl::CompileRop(*this, request) ? 1 : 0;
}

bool CompileKeptRop(BlitRoutine& routine, const BlitRequest& request) {
    RoutineSlots& kept = GeneratedRoutines();
    RoutineSlots::Place place;
    if (!kept.Find(request, place)) return false;
    if (!place.Kept) {
        if (!BeginWriting(kept.Area())) return false;
        routine.Cursor = AddressOf(place.Write);
        place.Length = WriteRopRoutine(routine, request);
        if (!EndWriting(kept.Area())) return false;
        kept.Keep(request, place, place.Length);
    }
    PointAt(routine, place.Run, place.Length);
    return true;
}

} // namespace marl
