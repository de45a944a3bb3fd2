#include "render24/blit/vector/vector_compiler.h"

#include "render24/blit/code_area.h"
#include "render24/blit/rop_names.h"
#include "render24/blit/vector/vector_pattern.h"
#include "render24/blit/vector/x86_emitter.h"
#include "render24/blit/vector/xmm_expression.h"

#include <cstring>

namespace marl::vec {
namespace {

// Register use inside a vector routine:
//   EDI  destination plane, just past the part the 16-sample loop covers
//   ESI  source plane like EDI (8-bit sources), or the current byte of a one-bit row
//   ECX  loop index, counting up from -16 x steps to 0, added to EDI and ESI
//   EBX  prepared pattern run of the plane; EDX the column within its period
//   EAX  one-bit source bits, then a temporary
//   X5 D, X6 S, X7 P (pattern rows) of the current step; X0-X4 the expression's own.
constexpr Xmm kDestSamples = Xmm::X5;
constexpr Xmm kSourceSamples = Xmm::X6;
constexpr Xmm kPatternSamples = Xmm::X7;
constexpr int32_t kSourceRowArg = 8;
constexpr int32_t kDestRowArg = 12;
constexpr int32_t kPatternRowArg = 16;
constexpr int32_t kStep = 16;

enum class SourceForm { None, Planes, Single, Bits };
// Hoisted: the prepared run repeats every 16 samples, so one load serves the whole plane.
enum class PatternForm { None, Solid, Hoisted, Stream };

// Constants the routine reads, at the start of the vector code area.
struct alignas(16) ConstantPool {
    uint8_t Ones[16];
    uint8_t Zero[16];
    uint8_t BitSelect[16];  // lane i: the bit of pixel i within its source byte
    uint8_t Pattern[3][16]; // solid pattern sample of each plane
    uint8_t Clear[3][16];   // clear-bit sample of each plane
    uint8_t Flip[3][16];    // clear-bit sample xor set-bit sample of each plane
};
static_assert(sizeof(ConstantPool) % 16 == 0);

struct Plan {
    CompiledRopName Name{};
    bool ReadsDest = false;
    SourceForm Source = SourceForm::None;
    PatternForm Pattern = PatternForm::None;
    uint32_t Width = 0;  // pixels per row
    uint32_t Blocks = 0; // 16-sample steps of the loop
    uint32_t Rest = 0;   // samples left for the closing step
    uint32_t DestStride = 0;
    uint32_t SourceStride = 0;
    uint32_t BitPhase = 0;
    uint32_t Period = 0;
    uint32_t RunLength = 0;
    // Nothing the result depends on changes along the row: computed once per plane.
    bool Invariant = false;
    bool KeepsLastDest() const { return Rest != 0 && ReadsDest; }
};

uint8_t PlaneByte(uint32_t colour, uint32_t plane) {
    return static_cast<uint8_t>(colour >> (8 * plane));
}

bool NameHas(const CompiledRopName& name, char c) {
    return std::memchr(name.Text, c, name.Length) != nullptr;
}

Plan MakePlan(const VectorRequest& request) {
    Plan plan;
    plan.Name = CompiledNameOf(request.Rop);
    plan.ReadsDest = NameHas(plan.Name, 'D');
    uint32_t sourceBits = request.SourceBits & 0xFFFF;
    if (NameHas(plan.Name, 'S')) {
        plan.Source = sourceBits == 1    ? SourceForm::Bits
                      : sourceBits == 24 ? SourceForm::Planes
                                         : SourceForm::Single;
    }
    plan.Width = request.RowWidth & 0xFFFF;
    plan.Blocks = plan.Width / kStep;
    plan.Rest = plan.Width % kStep;
    plan.DestStride = request.DestPlaneStride & 0xFFFF;
    plan.SourceStride = request.SourcePlaneStride & 0xFFFF;
    plan.BitPhase = request.BitPhase & 0xFF;
    if (NameHas(plan.Name, 'P')) {
        if ((request.BrushPattern & 0xFFFF) == 0) {
            plan.Pattern = PatternForm::Solid;
        } else {
            uint32_t width = request.PatternWidth & 0xFFFF;
            plan.Period = PatternPeriod(width);
            plan.RunLength = PreparedRunLength(width);
            plan.Pattern = plan.Period == kStep ? PatternForm::Hoisted : PatternForm::Stream;
        }
    }
    plan.Invariant =
        !plan.ReadsDest && plan.Source == SourceForm::None && plan.Pattern != PatternForm::Stream;
    return plan;
}

void FillPool(ConstantPool& pool, const VectorRequest& request) {
    std::memset(pool.Ones, 0xFF, sizeof pool.Ones);
    std::memset(pool.Zero, 0, sizeof pool.Zero);
    for (uint32_t lane = 0; lane < 16; ++lane) {
        pool.BitSelect[lane] = static_cast<uint8_t>(0x80u >> (lane % 8));
    }
    for (uint32_t plane = 0; plane < 3; ++plane) {
        uint8_t clear = PlaneByte(request.ClearBitColor, plane);
        uint8_t set = PlaneByte(request.SetBitColor, plane);
        std::memset(pool.Pattern[plane], PlaneByte(request.PatternColor, plane), 16);
        std::memset(pool.Clear[plane], clear, 16);
        std::memset(pool.Flip[plane], clear ^ set, 16);
    }
}

// Where one 16-sample step finds its operands and puts its result.
struct StepPlace {
    Mem DestRead;
    Mem Store;
    Mem Source;
    Mem Bits;              // first byte holding the step's bits
    uint32_t BitShift = 0; // position of the step's first bit in that byte
    Mem Pattern;
    bool LoadPattern = false;
};

class RoutineWriter {
  public:
    RoutineWriter(X86Emitter& out, const Plan& plan, const ConstantPool& pool)
        : Out(out), P(plan), Pool(pool) {}

    bool Write() {
        if (P.KeepsLastDest()) Out.SubImm(Gpr::Esp, kStep);
        for (uint32_t plane = 0; plane < 3 && Ok; ++plane)
            Plane(plane);
        if (P.KeepsLastDest()) Out.AddImm(Gpr::Esp, kStep);
        // pop EDI, ESI, EBX; leave; ret 12: the ending every row routine shares.
        const uint8_t epilogue[] = {0x5F, 0x5E, 0x5B, 0xC9, 0xC2, 0x0C, 0x00};
        Out.Bytes(epilogue, sizeof epilogue);
        return Ok && !Out.Overflowed();
    }

  private:
    XmmLeaves Leaves(uint32_t plane) const {
        XmmLeaves leaves;
        leaves.D = XmmOperand{true, kDestSamples, {}};
        leaves.S = XmmOperand{true, kSourceSamples, {}};
        leaves.P = P.Pattern == PatternForm::Solid
                       ? XmmOperand{false, Xmm::X0, Absolute(Pool.Pattern[plane])}
                       : XmmOperand{true, kPatternSamples, {}};
        leaves.Zero = XmmOperand{false, Xmm::X0, Absolute(Pool.Zero)};
        leaves.Ones = Absolute(Pool.Ones);
        return leaves;
    }

    void Plane(uint32_t plane) {
        SetUpPlane(plane);
        Xmm invariant = Xmm::X0;
        if (P.Invariant) invariant = Evaluate(plane);
        Out.MovImm(Gpr::Ecx, static_cast<uint32_t>(-static_cast<int32_t>(kStep * P.Blocks)));
        Out.AlignWithNops(16);
        const uint8_t* top = Out.Position();
        StepPlace main = MainPlace();
        if (P.Invariant) {
            Out.Movdqu(main.Store, invariant);
        } else {
            Step(plane, main);
        }
        AdvanceStep();
        Out.AddImm(Gpr::Ecx, kStep);
        Out.JnzBack(top);
        if (P.Rest == 0) return;
        StepPlace last = LastPlace();
        if (P.Invariant && !last.LoadPattern) {
            Out.Movdqu(last.Store, invariant);
        } else {
            Step(plane, last);
        }
    }

    void SetUpPlane(uint32_t plane) {
        const int32_t loopEnd = static_cast<int32_t>(kStep * P.Blocks);
        Out.MovLoad(Gpr::Edi, At(Gpr::Ebp, kDestRowArg));
        Out.AddImm(Gpr::Edi, static_cast<int32_t>(plane * P.DestStride) + loopEnd);
        if (P.Source != SourceForm::None) Out.MovLoad(Gpr::Esi, At(Gpr::Ebp, kSourceRowArg));
        if (P.Source == SourceForm::Planes) {
            Out.AddImm(Gpr::Esi, static_cast<int32_t>(plane * P.SourceStride) + loopEnd);
        } else if (P.Source == SourceForm::Single) {
            Out.AddImm(Gpr::Esi, loopEnd);
        }
        if (P.Pattern == PatternForm::Hoisted || P.Pattern == PatternForm::Stream) {
            Out.MovLoad(Gpr::Ebx, At(Gpr::Ebp, kPatternRowArg));
            if (plane != 0) Out.AddImm(Gpr::Ebx, static_cast<int32_t>(plane * P.RunLength));
        }
        if (P.Pattern == PatternForm::Hoisted) Out.Movdqu(kPatternSamples, At(Gpr::Ebx));
        if (P.Pattern == PatternForm::Stream) Out.XorReg(Gpr::Edx, Gpr::Edx);
        if (P.KeepsLastDest()) {
            // The closing step overlaps samples the loop writes: it needs them as they were.
            Out.Movdqu(kDestSamples, At(Gpr::Edi, static_cast<int32_t>(P.Rest) - kStep));
            Out.Movdqu(At(Gpr::Esp), kDestSamples);
        }
    }

    StepPlace MainPlace() const {
        StepPlace place;
        place.DestRead = At(Gpr::Edi, Gpr::Ecx);
        place.Store = place.DestRead;
        place.Source = At(Gpr::Esi, Gpr::Ecx);
        place.Bits = At(Gpr::Esi);
        place.BitShift = P.BitPhase;
        place.Pattern = At(Gpr::Ebx, Gpr::Edx);
        place.LoadPattern = P.Pattern == PatternForm::Stream;
        return place;
    }

    // The closing step covers the last 16 samples; the loop has left ECX at 0, EDI and ESI
    // just past the samples it covered, and ESI of a one-bit row 2 bytes per step further.
    StepPlace LastPlace() const {
        StepPlace place;
        const int32_t back = static_cast<int32_t>(P.Rest) - kStep;
        place.DestRead = At(Gpr::Esp);
        place.Store = At(Gpr::Edi, back);
        place.Source = At(Gpr::Esi, back);
        uint32_t firstBit = P.Width - kStep + P.BitPhase;
        place.Bits = At(Gpr::Esi, static_cast<int32_t>(firstBit / 8 - 2 * P.Blocks));
        place.BitShift = firstBit % 8;
        uint32_t column = P.Period == 0 ? 0 : (P.Width - kStep) % P.Period;
        place.Pattern = At(Gpr::Ebx, static_cast<int32_t>(column));
        place.LoadPattern =
            P.Pattern == PatternForm::Stream || (P.Pattern == PatternForm::Hoisted && column != 0);
        return place;
    }

    void AdvanceStep() {
        if (P.Source == SourceForm::Bits) Out.AddImm(Gpr::Esi, 2);
        if (P.Pattern == PatternForm::Stream) {
            // EDX = (EDX + 16) mod period, without a branch: the period is at least 16.
            Out.AddImm(Gpr::Edx, kStep);
            Out.Lea(Gpr::Eax, At(Gpr::Edx, -static_cast<int32_t>(P.Period)));
            Out.CmpImm(Gpr::Edx, static_cast<int32_t>(P.Period));
            Out.Cmovae(Gpr::Edx, Gpr::Eax);
        }
    }

    void Step(uint32_t plane, const StepPlace& place) {
        if (P.ReadsDest) Out.Movdqu(kDestSamples, place.DestRead);
        if (P.Source == SourceForm::Planes || P.Source == SourceForm::Single) {
            Out.Movdqu(kSourceSamples, place.Source);
        }
        if (P.Source == SourceForm::Bits) BitsToSamples(plane, place);
        if (place.LoadPattern) Out.Movdqu(kPatternSamples, place.Pattern);
        Xmm result = Evaluate(plane);
        Out.Movdqu(place.Store, result);
    }

    Xmm Evaluate(uint32_t plane) {
        Xmm result = Xmm::X0;
        if (!EmitXmmExpression(Out, P.Name.Text, P.Name.Length, Leaves(plane), &result)) {
            Ok = false;
        }
        return result;
    }

    // Sixteen bits, pixel order from the most significant bit of the first byte, become the
    // plane's set-bit or clear-bit sample in each lane. Reads only bytes that hold one of
    // the sixteen bits, so nothing past the row is touched.
    void BitsToSamples(uint32_t plane, const StepPlace& place) {
        Out.MovzxWord(Gpr::Eax, place.Bits); // AL first byte, AH second
        if (place.BitShift != 0) {
            Mem third = place.Bits;
            third.Disp += 2;
            Out.Bswap(Gpr::Eax); // the two bytes in the top half, in stream order
            Out.MovAhLoad(third);
            Out.ShrImm(Gpr::Eax, static_cast<uint8_t>(16 - place.BitShift));
            Out.RolAx8(); // AL pixels 0-7, AH pixels 8-15
        }
        const Xmm s = kSourceSamples;
        Out.Movd(s, Gpr::Eax);
        Out.Op(SseOp::Punpcklbw, s, s);
        Out.Pshuflw(s, s, 0x50); // lanes 0-7 the first byte, 8-15 the second
        Out.Pshufd(s, s, 0x50);
        Out.Op(SseOp::Pand, s, Absolute(Pool.BitSelect));
        Out.Op(SseOp::Pcmpeqb, s, Absolute(Pool.BitSelect)); // 255 where the bit is set
        Out.Op(SseOp::Pand, s, Absolute(Pool.Flip[plane]));
        Out.Op(SseOp::Pxor, s, Absolute(Pool.Clear[plane]));
    }

    X86Emitter& Out;
    const Plan& P;
    const ConstantPool& Pool;
    bool Ok = true;
};

} // namespace

bool VectorServes(const VectorRequest& request) {
    if ((request.RowWidth & 0xFFFF) < kVectorMinimumWidth) return false;
    CompiledRopName name = CompiledNameOf(request.Rop);
    if (NameHas(name, 'P') && (request.BrushPattern & 0xFFFF) != 0) {
        uint32_t width = request.PatternWidth & 0xFFFF;
        if (width == 0 || (request.PatternPhase & 0xFFFF) >= width) return false;
    }
    if (NameHas(name, 'S') && (request.SourceBits & 0xFFFF) == 1 && (request.BitPhase & 0xFF) > 7) {
        return false;
    }
    return true;
}

bool CompileVectorRop(BlitRoutine& routine, const VectorRequest& request) {
    if (!VectorServes(request)) return false;
    CodeArea& area = VectorCodeArea();
    auto* pool = reinterpret_cast<ConstantPool*>(area.Base);
    FillPool(*pool, request);
    Plan plan = MakePlan(request);
    uint8_t* code = area.Base + sizeof(ConstantPool);
    X86Emitter out(code, area.Base + area.Size);
    if (!RoutineWriter(out, plan, *pool).Write()) return false;
    MakeExecutable(area);
    routine.Entry = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(code));
    return true;
}

} // namespace marl::vec
