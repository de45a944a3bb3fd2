#include "render24/blit/vector/xmm_expression.h"

#include <algorithm>
#include <utility>

namespace marl::vec {
namespace {

// One value on the evaluation stack: a leaf operand, or a scratch register holding a result.
// A NOT is not emitted where it stands but carried as Complemented (the value is 255 minus
// what Where holds) until an operator needs it: XOR combines the marks, and min and max of two
// complemented values are the complement of max and min (255 - max(a, b) = min(255 - a,
// 255 - b)). So a pair of NOTs, or a NOT met by another, costs nothing.
struct StackValue {
    XmmOperand Where;
    bool Owned = false; // a scratch register the expression may overwrite
    bool Complemented = false;
};

class Evaluator {
public:
    Evaluator(X86Emitter& out, const XmmLeaves& leaves) : Out(out), Leaves(leaves) {}

    bool Character(char c) {
        switch (c) {
        case 'D': return Push({Leaves.D, false, false});
        case 'S': return Push({Leaves.S, false, Leaves.SComplemented});
        case 'P': return Push({Leaves.P, false, false});
        case '0': return Push({Leaves.Zero, false, false});
        case 'n': return Not();
        case 'a': return Binary(SseOp::Pminub);
        case 'o': return Binary(SseOp::Pmaxub);
        case 'x': return Binary(SseOp::Pxor);
        default: return false;
        }
    }

    uint32_t Peak() const { return PeakBusy; }

    bool Finish(Xmm* result) {
        if (Depth != 1) return false;
        StackValue value = Stack[0];
        bool needsRegister = !value.Where.InRegister || value.Complemented;
        if (needsRegister && !value.Owned && !Materialize(value)) return false;
        if (value.Complemented) Complement(value);
        *result = value.Where.Register;
        return true;
    }

private:
    bool Push(const StackValue& value) {
        if (Depth == kMostDepth) return false;
        Stack[Depth++] = value;
        return true;
    }

    StackValue Pop() { return Stack[--Depth]; }

    // Copies a leaf into a free scratch register so that an operator can overwrite it.
    bool Materialize(StackValue& value) {
        uint32_t available = Leaves.Scratch & ~Busy & 0xFF;
        if (available == 0) return false;
        auto index = static_cast<uint32_t>(__builtin_ctz(available));
        Busy |= 1u << index;
        PeakBusy = std::max(PeakBusy, static_cast<uint32_t>(__builtin_popcount(Busy)));
        Xmm reg = static_cast<Xmm>(index);
        if (value.Where.InRegister) {
            Out.Op(SseOp::Movdqa, reg, value.Where.Register);
        } else {
            Out.Op(SseOp::Movdqa, reg, value.Where.Constant);
        }
        value = {XmmOperand{true, reg, {}}, true, value.Complemented};
        return true;
    }

    // Applies the carried NOT to an owned register.
    void Complement(StackValue& value) {
        Apply(SseOp::Pxor, value.Where.Register, Leaves.Ones);
        value.Complemented = false;
    }

    void Release(const StackValue& value) {
        if (value.Owned) Busy &= ~(1u << static_cast<uint32_t>(value.Where.Register));
    }

    void Apply(SseOp op, Xmm target, const XmmOperand& operand) {
        if (operand.InRegister) {
            Out.Op(op, target, operand.Register);
        } else {
            Out.Op(op, target, operand.Constant);
        }
    }

    bool Not() {
        if (Depth < 1) return false;
        Stack[Depth - 1].Complemented = !Stack[Depth - 1].Complemented;
        return true;
    }

    // The three operators are commutative, so the result goes to whichever side is already
    // a scratch register.
    bool Binary(SseOp op) {
        if (Depth < 2) return false;
        StackValue right = Pop();
        StackValue left = Pop();
        if (!left.Owned && right.Owned) std::swap(left, right);
        if (!left.Owned && !Materialize(left)) return false;
        bool complemented = left.Complemented != right.Complemented;
        if (op != SseOp::Pxor) {
            // min and max need both sides marked alike: complement the owned side to match.
            if (left.Complemented != right.Complemented) Complement(left);
            complemented = right.Complemented;
            if (complemented) op = op == SseOp::Pminub ? SseOp::Pmaxub : SseOp::Pminub;
        }
        Apply(op, left.Where.Register, right.Where);
        Release(right);
        left.Complemented = complemented;
        return Push(left);
    }

    static constexpr uint32_t kMostDepth = 12;
    X86Emitter& Out;
    const XmmLeaves& Leaves;
    StackValue Stack[kMostDepth];
    uint32_t Depth = 0;
    uint32_t Busy = 0; // scratch registers in use, bit i for Xi
    uint32_t PeakBusy = 0;
};

} // namespace

uint32_t XmmScratchNeeded(const char* name, uint32_t length) {
    // A dry run into a buffer of its own, with every register free.
    uint8_t buffer[512];
    X86Emitter out(buffer, buffer + sizeof buffer);
    XmmLeaves leaves;
    leaves.Scratch = 0xFF;
    Evaluator evaluator(out, leaves);
    for (uint32_t i = 0; i < length; ++i) {
        if (!evaluator.Character(name[i])) return 9;
    }
    Xmm result;
    if (!evaluator.Finish(&result)) return 9;
    return evaluator.Peak();
}

bool EmitXmmExpression(X86Emitter& out, const char* name, uint32_t length, const XmmLeaves& leaves,
                       Xmm* result) {
    Evaluator evaluator(out, leaves);
    for (uint32_t i = 0; i < length; ++i) {
        if (!evaluator.Character(name[i])) return false;
    }
    return evaluator.Finish(result);
}

} // namespace marl::vec
