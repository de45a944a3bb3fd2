#include "render24/blit/vector/xmm_expression.h"

#include <utility>

namespace marl::vec {
namespace {

// One value on the evaluation stack: a leaf operand, or a scratch register holding a result.
struct StackValue {
    XmmOperand Where;
    bool Owned = false; // a scratch register the expression may overwrite
};

class Evaluator {
  public:
    Evaluator(X86Emitter& out, const XmmLeaves& leaves) : Out(out), Leaves(leaves) {}

    bool Character(char c) {
        switch (c) {
        case 'D': return Push({Leaves.D, false});
        case 'S': return Push({Leaves.S, false});
        case 'P': return Push({Leaves.P, false});
        case '0': return Push({Leaves.Zero, false});
        case 'n': return Not();
        case 'a': return Binary(SseOp::Pminub);
        case 'o': return Binary(SseOp::Pmaxub);
        case 'x': return Binary(SseOp::Pxor);
        default: return false;
        }
    }

    bool Finish(Xmm* result) {
        if (Depth != 1) return false;
        StackValue value = Stack[0];
        if (!value.Where.InRegister && !Materialize(value)) return false;
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
        uint32_t index = 0;
        while (index < kScratchRegisters && (Busy & (1u << index)))
            ++index;
        if (index == kScratchRegisters) return false;
        Busy |= 1u << index;
        Xmm reg = static_cast<Xmm>(index);
        if (value.Where.InRegister) {
            Out.Op(SseOp::Movdqa, reg, value.Where.Register);
        } else {
            Out.Op(SseOp::Movdqa, reg, value.Where.Constant);
        }
        value = {XmmOperand{true, reg, {}}, true};
        return true;
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
        StackValue value = Pop();
        if (!value.Owned && !Materialize(value)) return false;
        Out.Op(SseOp::Pxor, value.Where.Register, Leaves.Ones);
        return Push(value);
    }

    // The three operators are commutative, so the result goes to whichever side is already
    // a scratch register.
    bool Binary(SseOp op) {
        if (Depth < 2) return false;
        StackValue right = Pop();
        StackValue left = Pop();
        if (!left.Owned && right.Owned) std::swap(left, right);
        if (!left.Owned && !Materialize(left)) return false;
        Apply(op, left.Where.Register, right.Where);
        Release(right);
        return Push(left);
    }

    static constexpr uint32_t kMostDepth = 12;
    X86Emitter& Out;
    const XmmLeaves& Leaves;
    StackValue Stack[kMostDepth];
    uint32_t Depth = 0;
    uint32_t Busy = 0; // scratch registers in use, bit i for Xi
};

} // namespace

bool EmitXmmExpression(X86Emitter& out, const char* name, uint32_t length, const XmmLeaves& leaves,
                       Xmm* result) {
    Evaluator evaluator(out, leaves);
    for (uint32_t i = 0; i < length; ++i) {
        if (!evaluator.Character(name[i])) return false;
    }
    return evaluator.Finish(result);
}

} // namespace marl::vec
