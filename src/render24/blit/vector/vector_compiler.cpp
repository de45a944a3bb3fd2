#include "render24/blit/vector/vector_compiler.h"

#include "render24/blit/code_area.h"
#include "render24/blit/routine_cache.h"
#include "render24/blit/routine_frame.h"
#include "render24/blit/serial/rop_names.h"
#include "render24/blit/vector/row_walk.h"
#include "render24/blit/vector/vector_pattern.h"
#include "render24/blit/vector/x86_emitter.h"
#include "render24/blit/vector/xmm_expression.h"

#include <algorithm>
#include <cstddef>
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
// The x86-64 routines use the same registers at pointer width (RDI, RSI, RBX, and RCX, whose
// negative index is kept sign-extended), read their constants RIP-relative, and hold the mask
// row's address in R8, which neither platform convention asks a callee to keep.
constexpr Xmm kDestSamples = Xmm::X5;
constexpr Xmm kSourceSamples = Xmm::X6;
constexpr Xmm kPatternSamples = Xmm::X7;
constexpr int32_t kSourceRowArg = frame::kSourceRow;
constexpr int32_t kDestRowArg = frame::kDestRow;
constexpr int32_t kPatternRowArg = frame::kPatternRow;
// The RowWalk of a routine that walks the rows: a plane-start slot, which only the
// byte-serial routines use.
constexpr int32_t kWalkSlot = frame::kPatternStart;
// Samples a step of the SSE2 routines; the AVX2 routines take twice as many.
constexpr int32_t kStep = 16;
constexpr int32_t kWideStep = 32;
constexpr bool kWide = MARL_ROUTINE_64;

enum class SourceForm { None, Planes, Single, Bits };
// How a plane is written: steps from the row's start (and a closing step); a string copy of
// the source (the name "S" of an 8-bit source); or, for a result that does not change along
// the row but for the phase of a pattern that repeats within a step (it reads neither D, S
// nor streamed pattern rows), stores at addresses aligned to the step between an unaligned
// first and last step, as memset does. Half the steps of a row that starts off a step boundary
// cross a cache line, which on some processors costs a band-wide fill a tenth of its time; a
// string store (rep stosb) was no faster than the aligned loop. A pattern plane is not copied onto
// itself a period further on: processors that see such a copy overlap move it slowly (on some, at
// half the speed of stores).
enum class PlaneForm { Steps, CopySource, AlignedStores };
// Hoisted: the prepared run repeats every 16 samples, so one load serves the whole plane.
enum class PatternForm { None, Solid, Hoisted, Stream };

// Constants the routine reads, at the start of its slot of the vector code area: N bytes
// each, 16 for the SSE2 routines and 32 for the AVX2 ones.
template <uint32_t N> struct alignas(16) BasicPool {
    uint8_t Ones[N];
    uint8_t Zero[N];
    uint8_t BitSelect[N];  // lane i: the bit of pixel i within its source byte
    uint8_t Pattern[3][N]; // solid pattern sample of each plane
    uint8_t Clear[3][N];   // clear-bit sample of each plane
    uint8_t Flip[3][N];    // clear-bit sample xor set-bit sample of each plane
#if MARL_ROUTINE_64
    // Where the one-bit rows' masks go: beyond the reach of a displacement from the code.
    uint8_t* MaskRowAddress;
    uint8_t Unused[N - sizeof(uint8_t*)];
#endif
};
using ConstantPool = BasicPool<16>;
using WidePool = BasicPool<32>;
static_assert(sizeof(ConstantPool) % 16 == 0 && sizeof(ConstantPool) == kConstantPoolBytes);
static_assert(sizeof(WidePool) % 32 == 0);

// The bit masks of a one-bit row: plane 0 expands the bits once, planes 1 and 2 read the masks
// back. One area for the library, like the code areas, used only under the transfer lock.
alignas(16) uint8_t MaskRow[65536 + 16];

// Where a step's masks go. The loop reaches them as [ECX + slot] (i386) or [R8 + RCX + slot]
// (x86-64): the index runs from -16 x blocks to -16, so the loop's masks fill MaskRow from its
// start, and the closing step's (not indexed) go just after them.
Mem MaskPlace(uint32_t blocks, int32_t offset, bool indexed) {
    const int32_t slot = static_cast<int32_t>(kStep * blocks) + offset;
#if MARL_ROUTINE_64
    return indexed ? At(Gpr::R8, Gpr::Ecx, slot) : At(Gpr::R8, slot);
#else
    const int32_t address = static_cast<int32_t>(reinterpret_cast<uintptr_t>(MaskRow)) + slot;
    if (indexed) return At(Gpr::Ecx, address);
    return Mem{false, false, Gpr::Eax, Gpr::Eax, address};
#endif
}

struct Plan {
    CompiledRopName Name{};
    bool ReadsDest = false;
    SourceForm Source = SourceForm::None;
    PatternForm Pattern = PatternForm::None;
    uint32_t Width = 0; // pixels per row
    bool Wide = false;  // 32-sample steps in YMM registers
    int32_t Step = kStep;
    uint32_t Blocks = 0; // steps of the loop
    uint32_t Rest = 0;   // samples left for the closing step
    uint32_t DestStride = 0;
    uint32_t SourceStride = 0;
    uint32_t BitPhase = 0;
    uint32_t Period = 0;
    uint32_t RunLength = 0;
    // Nothing the result depends on changes along the row: computed once per plane.
    bool Invariant = false;
    PlaneForm Form = PlaneForm::Steps;
    bool WalksRows = false; // every row of the transfer in one call (RowWalk)
    bool KeepsLastDest() const { return Rest != 0 && ReadsDest; }
};

uint8_t PlaneByte(uint32_t colour, uint32_t plane) {
    return static_cast<uint8_t>(colour >> (8 * plane));
}

bool NameHas(const CompiledRopName& name, char c) {
    return std::memchr(name.Text, c, name.Length) != nullptr;
}

// Below these widths the string moves' start-up costs more than they save.
constexpr uint32_t kLeastCopyWidth = 128;
// The 32-sample steps copy rows of up to a few thousand samples faster than a string move
// starts and runs.
constexpr uint32_t kLeastWideCopyWidth = 2048;
// Aligned stores need a first and a last step with at least one aligned step between; on rows
// of a few steps the steps from the row's start split few stores and cost fewer instructions.
constexpr uint32_t kLeastAlignedSteps = 8;

void ChooseForm(Plan& plan) {
    bool sourceAlone = plan.Name.Length == 1 && plan.Name.Text[0] == 'S';
    const uint32_t leastCopy = plan.Wide ? kLeastWideCopyWidth : kLeastCopyWidth;
    if (sourceAlone && plan.Source != SourceForm::Bits && plan.Width >= leastCopy) {
        plan.Form = PlaneForm::CopySource;
        return;
    }
    if (plan.Invariant && plan.Width >= kLeastAlignedSteps * static_cast<uint32_t>(plan.Step))
        plan.Form = PlaneForm::AlignedStores;
}

Plan MakePlan(const BlitRequest& request) {
    Plan plan;
    plan.Name = CompiledNameOf(request.Rop);
    plan.ReadsDest = NameHas(plan.Name, 'D');
    if (NameHas(plan.Name, 'S')) {
        plan.Source = request.SourceBits == 1    ? SourceForm::Bits
                      : request.SourceBits == 24 ? SourceForm::Planes
                                                 : SourceForm::Single;
    }
    plan.Width = request.RowWidth;
    plan.Wide = (request.VectorForm & kVectorWideSteps) != 0;
    plan.Step = plan.Wide ? kWideStep : kStep;
    plan.Blocks = plan.Width / plan.Step;
    plan.Rest = plan.Width % plan.Step;
    plan.DestStride = request.DestPlaneStride;
    plan.SourceStride = request.SourcePlaneStride;
    plan.BitPhase = request.BitPhase;
    plan.WalksRows = (request.VectorForm & kVectorWalksRows) != 0;
    if (NameHas(plan.Name, 'P')) {
        if (!request.PatternRows) {
            plan.Pattern = PatternForm::Solid;
        } else {
            plan.Period = PatternPeriod(request.PatternWidth);
            plan.RunLength = PreparedRunLength(request.PatternWidth);
            // A period dividing the step: every step reads the same samples.
            plan.Pattern =
                plan.Step % plan.Period == 0 ? PatternForm::Hoisted : PatternForm::Stream;
        }
    }
    plan.Invariant =
        !plan.ReadsDest && plan.Source == SourceForm::None && plan.Pattern != PatternForm::Stream;
    ChooseForm(plan);
    return plan;
}

template <typename Pool> void FillPool(Pool& pool, const BlitRequest& request) {
    constexpr uint32_t lanes = sizeof pool.Ones;
    std::memset(pool.Ones, 0xFF, lanes);
    std::memset(pool.Zero, 0, lanes);
    for (uint32_t lane = 0; lane < lanes; ++lane) {
        pool.BitSelect[lane] = static_cast<uint8_t>(0x80u >> (lane % 8));
    }
#if MARL_ROUTINE_64
    pool.MaskRowAddress = MaskRow;
    std::memset(pool.Unused, 0, sizeof pool.Unused);
#endif
    for (uint32_t plane = 0; plane < 3; ++plane) {
        uint8_t clear = PlaneByte(request.ClearBitColor, plane);
        uint8_t set = PlaneByte(request.SetBitColor, plane);
        std::memset(pool.Pattern[plane], PlaneByte(request.PatternColor, plane), lanes);
        std::memset(pool.Clear[plane], clear, lanes);
        std::memset(pool.Flip[plane], clear ^ set, lanes);
    }
}

// Where one 16-sample step finds its operands and puts its result.
struct StepPlace {
    Mem DestRead;
    Mem Store;
    Mem Source;
    Mem Bits;              // first byte holding the step's bits
    Mem Mask;              // where plane 0 leaves the step's bit masks for planes 1 and 2
    uint32_t BitShift = 0; // position of the step's first bit in that byte
    Mem Pattern;
    bool LoadPattern = false;
};

template <typename ConstantsPool> class RoutineWriter {
public:
    // pool: the constants as written; runPool: the same bytes where the routine reads them.
    RoutineWriter(X86Emitter& out, const Plan& plan, const ConstantsPool& pool,
                  const uint8_t* runPool)
        : Out(out), P(plan), Pool(pool), RunPool(runPool), StepSamples(plan.Step) {}

    bool Write() {
        if (!AssignRegisters()) return false;
        Out.SetWide(P.Wide);
        Out.SetPointersQuad(kWide);
        if (P.KeepsLastDest()) Out.SubPointer(Gpr::Esp, StepSamples);
#if MARL_ROUTINE_64
        if (P.Source == SourceForm::Bits) {
            Out.MovLoadQ(Gpr::R8, RipRelative(RunPool + offsetof(ConstantsPool, MaskRowAddress)));
        }
#endif
        const uint8_t* top = P.WalksRows ? BeginWalk() : nullptr;
        for (uint32_t plane = 0; plane < 3 && Ok; ++plane)
            Plane(plane);
        if (P.WalksRows) EndWalk(top);
        if (P.KeepsLastDest()) Out.AddPointer(Gpr::Esp, StepSamples);
        if (P.Wide) Out.Vzeroupper();
        // pop EDI, ESI, EBX; leave; ret 12 (ret 24): the ending every row routine shares.
        Out.Bytes(frame::kEpilogue, sizeof frame::kEpilogue);
        return Ok && !Out.Overflowed();
    }

private:
    bool ReadsPatternRows() const {
        return P.Pattern == PatternForm::Hoisted || P.Pattern == PatternForm::Stream;
    }

    // A routine that walks the rows keeps the RowWalk's address (its pattern row argument) in
    // a frame slot the vector code has no other use for, and before each row puts the row's
    // addresses where the row code reads them: in its row arguments.
    const uint8_t* BeginWalk() {
        Out.LoadPointer(Gpr::Eax, At(Gpr::Ebp, kPatternRowArg));
        Out.StorePointer(At(Gpr::Ebp, kWalkSlot), Gpr::Eax);
        Out.AlignWithNops(16);
        const uint8_t* top = Out.Position();
        Out.LoadPointer(Gpr::Eax, At(Gpr::Ebp, kWalkSlot));
        CopyPointer(At(Gpr::Ebp, kDestRowArg), At(Gpr::Eax, walk::kDestination));
        if (P.Source != SourceForm::None)
            CopyPointer(At(Gpr::Ebp, kSourceRowArg), At(Gpr::Eax, walk::kSource));
        if (ReadsPatternRows())
            CopyPointer(At(Gpr::Ebp, kPatternRowArg), At(Gpr::Eax, walk::kPattern));
        return top;
    }

    // After a row: each address one stride on, the pattern's back to the first prepared row
    // after the last (without a branch), and round again while rows are left.
    void EndWalk(const uint8_t* top) {
        Out.LoadPointer(Gpr::Eax, At(Gpr::Ebp, kWalkSlot));
        StepPointer(walk::kDestination, walk::kDestinationStride);
        if (P.Source != SourceForm::None) StepPointer(walk::kSource, walk::kSourceStride);
        if (ReadsPatternRows()) {
            Out.LoadPointer(Gpr::Ecx, At(Gpr::Eax, walk::kPattern));
            Out.AddLoadPointer(Gpr::Ecx, At(Gpr::Eax, walk::kPatternStride));
            Out.LeaPointer(Gpr::Edx, At(Gpr::Ecx));
            Out.SubLoadPointer(Gpr::Edx, At(Gpr::Eax, walk::kPatternSpan));
            Out.CmpLoadPointer(Gpr::Ecx, At(Gpr::Eax, walk::kPatternEnd));
            Out.CmovaePointer(Gpr::Ecx, Gpr::Edx);
            Out.StorePointer(At(Gpr::Eax, walk::kPattern), Gpr::Ecx);
        }
        Out.LoadPointer(Gpr::Ecx, At(Gpr::Eax, walk::kRows));
        Out.SubPointer(Gpr::Ecx, 1);
        Out.StorePointer(At(Gpr::Eax, walk::kRows), Gpr::Ecx); // a move keeps the flags
        Out.JnzBack(top);
    }

    void CopyPointer(const Mem& dst, const Mem& src) {
        Out.LoadPointer(Gpr::Ecx, src);
        Out.StorePointer(dst, Gpr::Ecx);
    }
    // [EAX + field] += [EAX + stride]
    void StepPointer(int32_t field, int32_t stride) {
        Out.LoadPointer(Gpr::Ecx, At(Gpr::Eax, field));
        Out.AddLoadPointer(Gpr::Ecx, At(Gpr::Eax, stride));
        Out.StorePointer(At(Gpr::Eax, field), Gpr::Ecx);
    }

    // The constants a step reads. Each goes to a register of its own while there are free
    // ones (loaded when a plane starts), else it is read from the pool as a memory operand.
    enum Constant { kBitSelect, kOnes, kSolidPattern, kFlip, kClear, kZero, kConstants };

    bool Needs(Constant c) const {
        switch (c) {
        case kBitSelect:
        case kFlip:
        case kClear: return P.Source == SourceForm::Bits;
        case kOnes: return NameHas(P.Name, 'n');
        case kSolidPattern: return P.Pattern == PatternForm::Solid;
        case kZero: return NameHas(P.Name, '0');
        default: return false;
        }
    }

    // Where the routine reads a constant: in the executable view, like the code; at its
    // address (i386) or RIP-relative (x86-64: the pool lies just before the code).
    Mem PoolBytes(Constant c, uint32_t plane) const {
        const uint8_t* written = PoolWritten(c, plane);
        const uint8_t* run = RunPool + (written - reinterpret_cast<const uint8_t*>(&Pool));
        if constexpr (kWide) {
            return RipRelative(run);
        } else {
            return Absolute(run);
        }
    }

    const uint8_t* PoolWritten(Constant c, uint32_t plane) const {
        switch (c) {
        case kBitSelect: return Pool.BitSelect;
        case kOnes: return Pool.Ones;
        case kSolidPattern: return Pool.Pattern[plane];
        case kFlip: return Pool.Flip[plane];
        case kClear: return Pool.Clear[plane];
        default: return Pool.Zero;
        }
    }

    // Leaves take X5 (D), X6 (S), X7 (pattern rows); the expression takes the lowest free
    // registers it needs; constants take what is left.
    bool AssignRegisters() {
        uint32_t free = 0xFF;
        if (P.ReadsDest) free &= ~(1u << 5);
        if (P.Source != SourceForm::None) free &= ~(1u << 6);
        if (P.Pattern == PatternForm::Hoisted || P.Pattern == PatternForm::Stream)
            free &= ~(1u << 7);
        uint32_t needed = std::max(1u, XmmScratchNeeded(P.Name.Text, P.Name.Length));
        for (uint32_t i = 0; i < 8 && needed > 0; ++i) {
            if (free & (1u << i)) {
                Scratch |= 1u << i;
                free &= ~(1u << i);
                --needed;
            }
        }
        if (needed > 0) return false;
        for (int c = 0; c < kConstants; ++c) {
            ConstantInRegister[c] = false;
            if (!Needs(static_cast<Constant>(c)) || free == 0) continue;
            uint32_t index = static_cast<uint32_t>(__builtin_ctz(free));
            free &= ~(1u << index);
            ConstantInRegister[c] = true;
            ConstantRegister[c] = static_cast<Xmm>(index);
        }
        return true;
    }

    XmmOperand ConstantOperand(Constant c, uint32_t plane) const {
        if (ConstantInRegister[c]) return XmmOperand{true, ConstantRegister[c], {}};
        return XmmOperand{false, Xmm::X0, PoolBytes(c, plane)};
    }

    void LoadConstants(uint32_t plane) {
        for (int c = 0; c < kConstants; ++c) {
            if (!ConstantInRegister[c]) continue;
            auto constant = static_cast<Constant>(c);
            Out.Op(SseOp::Movdqa, ConstantRegister[c], PoolBytes(constant, plane));
        }
    }

    void Apply(SseOp op, Xmm target, const XmmOperand& operand) {
        if (operand.InRegister) {
            Out.Op(op, target, operand.Register);
        } else {
            Out.Op(op, target, operand.Constant);
        }
    }

    XmmLeaves Leaves(uint32_t plane) const {
        XmmLeaves leaves;
        leaves.D = XmmOperand{true, kDestSamples, {}};
        leaves.S = XmmOperand{true, kSourceSamples, {}};
        leaves.P = P.Pattern == PatternForm::Solid ? ConstantOperand(kSolidPattern, plane)
                                                   : XmmOperand{true, kPatternSamples, {}};
        leaves.Zero = ConstantOperand(kZero, plane);
        leaves.Ones = ConstantOperand(kOnes, plane);
        leaves.Scratch = Scratch;
        leaves.SComplemented = SourceComplemented(plane);
        return leaves;
    }

    // reg = the row argument at arg, offset bytes on (no add for 0): where a plane starts.
    void LoadPlaneStart(Gpr reg, int32_t arg, uint32_t offset) {
        Out.LoadPointer(reg, At(Gpr::Ebp, arg));
        if (offset != 0) Out.AddPointer(reg, static_cast<int32_t>(offset));
    }

    // rep movsb of the plane's N source samples.
    void CopySourcePlane(uint32_t plane) {
        LoadPlaneStart(Gpr::Edi, kDestRowArg, plane * P.DestStride);
        LoadPlaneStart(Gpr::Esi, kSourceRowArg,
                       P.Source == SourceForm::Planes ? plane * P.SourceStride : 0);
        Out.MovImm(Gpr::Ecx, P.Width); // clears the upper half of RCX too
        Out.RepMovsb();
    }

    // An invariant plane: the first and the last step where they fall, and between them
    // aligned steps from the first aligned address after the row's start (EAX) to the last
    // one before its end (ECX), with EAX counting up to ECX. A pattern that repeats within a
    // step takes its phase at the first aligned address, which depends on where the row lies.
    void AlignedStoresPlane(uint32_t plane) {
        LoadConstants(plane);
        LoadPlaneStart(Gpr::Edi, kDestRowArg, plane * P.DestStride);
        const bool hoisted = P.Pattern == PatternForm::Hoisted;
        if (hoisted) {
            LoadPlaneStart(Gpr::Ebx, kPatternRowArg, plane * P.RunLength);
            Out.Movdqu(kPatternSamples, At(Gpr::Ebx));
        }
        Out.Movdqu(At(Gpr::Edi), Evaluate(plane));
        const int32_t last = static_cast<int32_t>(P.Width) - StepSamples;
        const int32_t lastColumn = hoisted ? last % static_cast<int32_t>(P.Period) : 0;
        if (lastColumn != 0) Out.Movdqu(kPatternSamples, At(Gpr::Ebx, lastColumn));
        Out.Movdqu(At(Gpr::Edi, last), Evaluate(plane));
        Out.LeaPointer(Gpr::Eax, At(Gpr::Edi, StepSamples - 1));
        Out.AndPointer(Gpr::Eax, -StepSamples);
        Out.LeaPointer(Gpr::Ecx, At(Gpr::Edi, static_cast<int32_t>(P.Width)));
        Out.AndPointer(Gpr::Ecx, -StepSamples);
        if (hoisted && P.Period > 1) {
            // The column of the first aligned address, within the period: -EDI mod period.
            Out.XorReg(Gpr::Edx, Gpr::Edx);
            Out.SubReg(Gpr::Edx, Gpr::Edi);
            Out.AndImm(Gpr::Edx, static_cast<int32_t>(P.Period) - 1);
            Out.Movdqu(kPatternSamples, At(Gpr::Ebx, Gpr::Edx));
        }
        const Xmm aligned = Evaluate(plane);
        Out.SubRegPointer(Gpr::Eax, Gpr::Ecx);
        Out.AlignWithNops(16);
        const uint8_t* top = Out.Position();
        Out.Movdqu(At(Gpr::Ecx, Gpr::Eax), aligned);
        Out.AddPointer(Gpr::Eax, StepSamples);
        Out.JnzBack(top);
    }

    void Plane(uint32_t plane) {
        if (P.Form == PlaneForm::CopySource) {
            CopySourcePlane(plane);
            return;
        }
        if (P.Form == PlaneForm::AlignedStores) {
            AlignedStoresPlane(plane);
            return;
        }
        SetUpPlane(plane);
        Xmm invariant = Xmm::X0;
        if (P.Invariant) invariant = Evaluate(plane);
        Out.MovImmPointer(Gpr::Ecx, -StepSamples * static_cast<int32_t>(P.Blocks));
        // Two steps per turn of the loop, and one before it when the count is odd.
        if (P.Blocks % 2 != 0) {
            MainStep(plane, invariant, 0);
            Out.AddPointer(Gpr::Ecx, StepSamples);
        }
        if (P.Blocks >= 2) {
            Out.AlignWithNops(16);
            const uint8_t* top = Out.Position();
            MainStep(plane, invariant, 0);
            MainStep(plane, invariant, StepSamples);
            Out.AddPointer(Gpr::Ecx, 2 * StepSamples);
            Out.JnzBack(top);
        }
        if (P.Rest == 0) return;
        StepPlace last = LastPlace();
        if (P.Invariant && !last.LoadPattern) {
            Out.Movdqu(last.Store, invariant);
        } else {
            Step(plane, last);
        }
    }

    void SetUpPlane(uint32_t plane) {
        LoadConstants(plane);
        const int32_t loopEnd = StepSamples * static_cast<int32_t>(P.Blocks);
        Out.LoadPointer(Gpr::Edi, At(Gpr::Ebp, kDestRowArg));
        Out.AddPointer(Gpr::Edi, static_cast<int32_t>(plane * P.DestStride) + loopEnd);
        if (P.Source != SourceForm::None) Out.LoadPointer(Gpr::Esi, At(Gpr::Ebp, kSourceRowArg));
        if (P.Source == SourceForm::Planes) {
            Out.AddPointer(Gpr::Esi, static_cast<int32_t>(plane * P.SourceStride) + loopEnd);
        } else if (P.Source == SourceForm::Single) {
            Out.AddPointer(Gpr::Esi, loopEnd);
        }
        if (P.Pattern == PatternForm::Hoisted || P.Pattern == PatternForm::Stream)
            LoadPlaneStart(Gpr::Ebx, kPatternRowArg, plane * P.RunLength);
        if (P.Pattern == PatternForm::Hoisted) Out.Movdqu(kPatternSamples, At(Gpr::Ebx));
        if (P.Pattern == PatternForm::Stream) Out.XorReg(Gpr::Edx, Gpr::Edx);
        if (P.KeepsLastDest()) {
            // The closing step overlaps samples the loop writes: it needs them as they were.
            Out.Movdqu(kDestSamples, At(Gpr::Edi, static_cast<int32_t>(P.Rest) - StepSamples));
            Out.Movdqu(At(Gpr::Esp), kDestSamples);
        }
    }

    // One step of the loop at ECX + offset, and the pointer steps that follow it.
    void MainStep(uint32_t plane, Xmm invariant, int32_t offset) {
        StepPlace main = MainPlace(offset);
        if (P.Invariant) {
            Out.Movdqu(main.Store, invariant);
        } else {
            Step(plane, main);
        }
        AdvanceStep(plane);
    }

    StepPlace MainPlace(int32_t offset) const {
        StepPlace place;
        place.DestRead = At(Gpr::Edi, Gpr::Ecx, offset);
        place.Store = place.DestRead;
        place.Source = At(Gpr::Esi, Gpr::Ecx, offset);
        place.Bits = At(Gpr::Esi);
        place.Mask = MaskPlace(P.Blocks, offset, true);
        place.BitShift = P.BitPhase;
        place.Pattern = At(Gpr::Ebx, Gpr::Edx);
        place.LoadPattern = P.Pattern == PatternForm::Stream;
        return place;
    }

    // The closing step covers the last 16 samples; the loop has left ECX at 0, EDI and ESI
    // just past the samples it covered, and ESI of a one-bit row 2 bytes per step further.
    StepPlace LastPlace() const {
        StepPlace place;
        const int32_t back = static_cast<int32_t>(P.Rest) - StepSamples;
        place.DestRead = At(Gpr::Esp);
        place.Store = At(Gpr::Edi, back);
        place.Source = At(Gpr::Esi, back);
        uint32_t firstBit = P.Width - kStep + P.BitPhase;
        place.Bits = At(Gpr::Esi, static_cast<int32_t>(firstBit / 8 - 2 * P.Blocks));
        place.Mask = MaskPlace(P.Blocks, 0, false);
        place.BitShift = firstBit % 8;
        uint32_t column = P.Period == 0 ? 0 : (P.Width - StepSamples) % P.Period;
        place.Pattern = At(Gpr::Ebx, static_cast<int32_t>(column));
        place.LoadPattern =
            P.Pattern == PatternForm::Stream || (P.Pattern == PatternForm::Hoisted && column != 0);
        return place;
    }

    void AdvanceStep(uint32_t plane) {
        if (P.Source == SourceForm::Bits && plane == 0) Out.AddPointer(Gpr::Esi, 2);
        if (P.Pattern == PatternForm::Stream) {
            // EDX = (EDX + step) mod period, without a branch: the period is at least the
            // step (WideStepsServe).
            Out.AddImm(Gpr::Edx, StepSamples);
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
        const Xmm s = kSourceSamples;
        if (plane != 0) {
            Out.Movdqu(s, place.Mask);
        } else {
            BitsToMask(place);
            Out.Movdqu(place.Mask, s);
        }
        // S = clear ^ (mask & (clear ^ set)), with the operations that do nothing left out:
        // for black and white the mask itself, or its complement carried into the name.
        if (Pool.Flip[plane][0] != 0xFF) Apply(SseOp::Pand, s, ConstantOperand(kFlip, plane));
        if (!ClearIsKept(plane)) Apply(SseOp::Pxor, s, ConstantOperand(kClear, plane));
    }

    bool ClearIsKept(uint32_t plane) const {
        return Pool.Clear[plane][0] == 0 ||
               (Pool.Clear[plane][0] == 0xFF && Pool.Flip[plane][0] == 0xFF);
    }
    bool SourceComplemented(uint32_t plane) const {
        return P.Source == SourceForm::Bits && Pool.Clear[plane][0] == 0xFF &&
               Pool.Flip[plane][0] == 0xFF;
    }

    // The step's bits as 16 masks in kSourceSamples: 255 where the pixel's bit is set.
    void BitsToMask(const StepPlace& place) {
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
        Apply(SseOp::Pand, s, ConstantOperand(kBitSelect, 0));
        Apply(SseOp::Pcmpeqb, s, ConstantOperand(kBitSelect, 0));
    }

    X86Emitter& Out;
    const Plan& P;
    const ConstantsPool& Pool;
    const uint8_t* RunPool;
    const int32_t StepSamples; // samples a step
    bool Ok = true;
    uint32_t Scratch = 0; // the expression's registers, bit i for Xi
    bool ConstantInRegister[kConstants] = {};
    Xmm ConstantRegister[kConstants] = {};
};

} // namespace

bool VectorServes(const BlitRequest& request) {
    if (request.RowWidth < kVectorMinimumWidth) return false;
    // The operand table is built from the names: a code uses P where its name holds one.
    if (RopOperands().UsesPattern(request.Rop) && request.PatternRows && request.PatternWidth == 0)
        return false;
    return (request.VectorForm & kVectorWideSteps) == 0 || WideStepsServe(request);
}

bool WideStepsServe(const BlitRequest& request) {
    if (request.RowWidth < kWideStep) return false;
    if (RopOperands().UsesSource(request.Rop) && request.SourceBits == 1) return false;
    if (RopOperands().UsesPattern(request.Rop) && request.PatternRows) {
        // The column steps 32 on and drops back by the period at most once.
        const uint32_t period = PatternPeriod(request.PatternWidth);
        if (kWideStep % period != 0 && period < static_cast<uint32_t>(kWideStep)) return false;
    }
    return true;
}

namespace {

uintptr_t AddressValue(const uint8_t* address) { return reinterpret_cast<uintptr_t>(address); }

uint32_t PoolBytes(const BlitRequest& request) {
    return (request.VectorForm & kVectorWideSteps) != 0 ? sizeof(WidePool) : sizeof(ConstantPool);
}

template <typename Pool>
bool WritePoolAndCode(X86Emitter& out, uint8_t* write, const uint8_t* run,
                      const BlitRequest& request) {
    auto* pool = reinterpret_cast<Pool*>(write);
    FillPool(*pool, request);
    const Plan plan = MakePlan(request);
    return RoutineWriter<Pool>(out, plan, *pool, run).Write();
}

// Writes the constant pool and the routine into bytes of an area from run (an address of the
// executable view) and points routine.Entry at the routine, routine.Cursor past its end.
// Answers the bytes written, pool included; 0, with routine untouched, when the routine does
// not fit or the area cannot be written.
uint32_t WriteVectorRoutine(BlitRoutine& routine, const BlitRequest& request, CodeArea& area,
                            uint8_t* run, uint32_t bytes) {
    const uint32_t poolBytes = PoolBytes(request);
    if (bytes <= poolBytes || !BeginWriting(area)) return 0;
    uint8_t* write = area.WriteAddress(run);
    X86Emitter out(write + poolBytes, write + bytes, run + poolBytes);
    const bool written = (request.VectorForm & kVectorWideSteps) != 0
                             ? WritePoolAndCode<WidePool>(out, write, run, request)
                             : WritePoolAndCode<ConstantPool>(out, write, run, request);
    if (!EndWriting(area) || !written) return 0;
    const uint32_t length = poolBytes + out.Size();
    routine.Entry = AddressValue(run + poolBytes);
    routine.Cursor = AddressValue(run + length);
    return length;
}

} // namespace

bool CompileVectorRop(BlitRoutine& routine, const BlitRequest& request) {
    if (!VectorServes(request)) return false;
    CodeArea& area = VectorCodeArea();
    if (!area.Usable()) return false;
    return WriteVectorRoutine(routine, request, area, area.Base, area.Size) != 0;
}

bool CompileKeptVectorRop(BlitRoutine& routine, const BlitRequest& request) {
    RoutineSlots& kept = VectorRoutines();
    RoutineSlots::Place place;
    if (!kept.Find(request, place)) return false;
    // Only requests the routines serve are ever kept.
    if (place.Kept) {
        routine.Entry = AddressValue(place.Run + PoolBytes(request));
        routine.Cursor = AddressValue(place.Run + place.Length);
        return true;
    }
    if (!VectorServes(request)) return false;
    const uint32_t length =
        WriteVectorRoutine(routine, request, kept.Area(), place.Run, kept.SlotBytes());
    if (length == 0) return false;
    kept.Keep(request, place, length);
    return true;
}

} // namespace marl::vec
