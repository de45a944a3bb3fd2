#include "render24/blit/serial/rop_compiler.h"

#include "render24/blit/code_area.h"
#include "render24/blit/routine_cache.h"
#include "render24/blit/serial/code_fragments.h"

namespace marl {
namespace {

using namespace fragment;

uint16_t Low16(uint32_t value) { return static_cast<uint16_t>(value & 0xFFFF); }
uint8_t ByteOf(uint32_t colour, uint32_t plane) {
    return static_cast<uint8_t>(colour >> (8 * plane));
}

uint32_t AddressOf(const uint8_t* pointer) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer));
}

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
    placed.Patch(mono.BitPhase, plan.BitPhase)
        .Patch(mono.SetBitSample, samples.SetBit)
        .Patch(mono.ClearBitSample, samples.ClearBit);
    // Only the last "S" of the pixel steps the source; the others read the same bit.
    if (position != plan.LastSource) placed.Patch(mono.SourceStep, PadByte.Code[0]);
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
            .Patch(KeepPatternStart.PatternPhase, plan.PatternPhase);
    }
}

void EmitPlaneStep(BlitRoutine& routine, const RopPlan& plan) {
    if (plan.UsesSource && plan.PlaneSource) {
        Emit(routine.Cursor, NextSourcePlane).Patch(NextSourcePlane.Stride, plan.SourcePlaneStride);
    } else {
        Emit(routine.Cursor, RestartSource);
    }
    Emit(routine.Cursor, NextDestPlane).Patch(NextDestPlane.Stride, plan.DestPlaneStride);
    if (plan.PatternRow) {
        Emit(routine.Cursor, NextPatternPlane)
            .Patch(NextPatternPlane.PatternWidth, plan.PatternWidth)
            .Patch(NextPatternPlane.PatternPhase, plan.PatternPhase);
    }
}

void EmitRoutineEnd(BlitRoutine& routine, const RopPlan& plan) {
    if (plan.PatternRow) Emit(routine.Cursor, PatternPadByte);
    if (plan.UsesSource) Emit(routine.Cursor, SourcePadByte);
    Emit(routine.Cursor, PadByte);
    Emit(routine.Cursor, Epilogue);
}

void EmitRoutine(BlitRoutine& routine, const RopPlan& plan, const RopRequestValues& request) {
    EmitRowSetup(routine, plan);
    for (uint32_t plane = 0; plane < 3; ++plane) {
        if (plane > 0) EmitPlaneStep(routine, plan);
        EmitPlaneLoop(routine, plan, SamplesOfPlane(request, plane));
    }
    EmitRoutineEnd(routine, plan);
}

} // namespace

RopPlan PlanRop(const RopRequestValues& request) {
    const RopOperandTable& marks = RopOperands();
    const uint32_t rop = request.Rop & 0xFF;
    const uint16_t sourceBits = Low16(request.SourceBits);
    RopPlan plan{};
    plan.Name = CompiledNameOf(rop);
    plan.StackForm = marks.StackOnly(rop);
    plan.UsesSource = marks.UsesSource(rop);
    plan.PatternRow = marks.UsesPattern(rop) && Low16(request.BrushPattern) != 0;
    plan.MonoSource = sourceBits == 1;
    plan.PlaneSource = sourceBits == 24;
    plan.LastSource = LastSourceOf(plan.Name);
    plan.SourcePlaneStride = Low16(request.SourcePlaneStride);
    plan.DestPlaneStride = Low16(request.DestPlaneStride);
    plan.PatternWidth = Low16(request.PatternWidth);
    plan.RowWidth = Low16(request.RowWidth);
    plan.BitPhase = static_cast<uint8_t>(request.BitPhase & 7);
    if (plan.PatternRow && plan.PatternWidth != 0)
        plan.PatternPhase = static_cast<uint16_t>(Low16(request.PatternPhase) % plan.PatternWidth);
    plan.DrawsNothing = plan.RowWidth == 0 || (plan.PatternRow && plan.PatternWidth == 0);
    return plan;
}

PlaneSamples SamplesOfPlane(const RopRequestValues& request, uint32_t plane) {
    PlaneSamples samples{};
    if (Low16(request.BrushPattern) == 0) samples.Pattern = ByteOf(request.PatternColor, plane);
    if (Low16(request.SourceBits) == 1) {
        samples.ClearBit = ByteOf(request.ClearBitColor, plane);
        samples.SetBit = ByteOf(request.SetBitColor, plane);
    }
    return samples;
}

void EmitPixelBody(BlitRoutine& routine, const RopPlan& plan, const PlaneSamples& samples) {
    for (uint32_t position = 0; position < plan.Name.Length; ++position)
        EmitCharacter(routine, plan, samples, position);
}

void EmitPlaneLoop(BlitRoutine& routine, const RopPlan& plan, const PlaneSamples& samples) {
    Emit(routine.Cursor, SetCount).Patch(SetCount.RowWidth, plan.RowWidth);
    const uint32_t loopTop = routine.Cursor;
    EmitPixelBody(routine, plan, samples);
    EmitEither(routine, !plan.StackForm, StoreStack, StoreAcc);
    Emit(routine.Cursor, NextDest);
    if (plan.UsesSource && !plan.MonoSource) Emit(routine.Cursor, NextSource);
    if (plan.PatternRow)
        Emit(routine.Cursor, NextPattern).Patch(NextPattern.PatternWidth, plan.PatternWidth);
    EmitLoopBack(routine, loopTop);
}

void EmitLoopBack(BlitRoutine& routine, uint32_t loopTop) {
    const int32_t shortDistance =
        static_cast<int32_t>(loopTop - (routine.Cursor + LoopBack.Length));
    if (shortDistance >= -128) {
        Emit(routine.Cursor, LoopBack)
            .Patch(LoopBack.Displacement, static_cast<uint8_t>(shortDistance));
        return;
    }
    const uint32_t longDistance = loopTop - (routine.Cursor + LongLoopBack.Length);
    Emit(routine.Cursor, LongLoopBack).Patch(LongLoopBack.Displacement, longDistance);
}

namespace {

// Writes the routine at routine.Cursor (a writable address) and answers its length.
uint32_t WriteRopRoutine(BlitRoutine& routine, const RopRequestValues& request) {
    const RopPlan plan = PlanRop(request);
    const uint32_t start = routine.Cursor;
    if (plan.DrawsNothing) {
        Emit(routine.Cursor, Epilogue);
    } else {
        EmitRoutine(routine, plan, request);
    }
    return routine.Cursor - start;
}

// The routine has Length bytes from run, an address of the executable view.
void PointAt(BlitRoutine& routine, const uint8_t* run, uint32_t length) {
    routine.Entry = AddressOf(run);
    routine.Cursor = routine.Entry + length;
}

} // namespace

uint16_t BlitRoutine::CompileRop(uint32_t rop, uint32_t brushPattern, uint32_t patternColor,
                                 uint32_t sourcePlaneStride, uint32_t destPlaneStride,
                                 uint32_t patternWidth, uint32_t patternPhase, uint32_t rowWidth,
                                 uint32_t sourceBits, uint32_t clearBitColor, uint32_t setBitColor,
                                 uint32_t bitPhase) {
    const RopRequestValues request{
        rop,          brushPattern, patternColor, sourcePlaneStride, destPlaneStride, patternWidth,
        patternPhase, rowWidth,     sourceBits,   clearBitColor,     setBitColor,     bitPhase};
    CodeArea& buffer = CodeBufferArea();
    Entry = Cursor = 0;
    if (!BeginWriting(buffer)) return 0;
    Cursor = AddressOf(buffer.Writable);
    const uint32_t length = WriteRopRoutine(*this, request);
    if (!EndWriting(buffer)) return 0;
    PointAt(*this, buffer.Base, length);
    return 1;
}

bool CompileKeptRop(BlitRoutine& routine, const RopRequestValues& request) {
    RoutineSlots& kept = GeneratedRoutines();
    const RoutineKey key{request.Rop,
                         request.BrushPattern,
                         request.PatternColor,
                         request.SourcePlaneStride,
                         request.DestPlaneStride,
                         request.PatternWidth,
                         request.PatternPhase,
                         request.RowWidth,
                         request.SourceBits,
                         request.ClearBitColor,
                         request.SetBitColor,
                         request.BitPhase};
    RoutineSlots::Place place;
    if (!kept.Find(key, place)) return false;
    if (!place.Kept) {
        if (!BeginWriting(kept.Area())) return false;
        routine.Cursor = AddressOf(place.Write);
        place.Length = WriteRopRoutine(routine, request);
        if (!EndWriting(kept.Area())) return false;
        kept.Keep(key, place, place.Length);
    }
    PointAt(routine, place.Run, place.Length);
    return true;
}

} // namespace marl
