// Evaluation of every expression: operators, names, assignment targets,
// indexing, arrays, lambdas, objects, member access and calls.
#include "zarn/runtime/Interpreter.h"

#include "zarn/diagnostics/Assert.h"

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>
#include <utility>

namespace zarn {

using namespace arithmetic;

namespace {

TokenType binaryOperatorOf(TokenType compound) {
    switch (compound) {
    case TokenType::PlusAssign: return TokenType::Plus;
    case TokenType::MinusAssign: return TokenType::Minus;
    case TokenType::StarAssign: return TokenType::Star;
    case TokenType::SlashAssign: return TokenType::Slash;
    case TokenType::PercentAssign: return TokenType::Percent;
    default: return compound;
    }
}

} // namespace

Value Interpreter::concatenate(const Value& left, const Value& right) {
    // Both texts are viewed in place (or written into the buffers) and copied
    // once into a string of exactly their joint length. Only an array or an
    // instance needs a text of its own first.
    NumberText leftBuffer, rightBuffer;
    std::string leftSpill, rightSpill;
    auto textOf = [](const Value& v, NumberText& buffer, std::string& spill) {
        if (v.kind != ValueKind::Object || v.as.object == nullptr) return scalarText(v, buffer);
        spill = toString(v);
        return std::string_view(spill);
    };
    std::string_view a = textOf(left, leftBuffer, leftSpill);
    std::string_view b = textOf(right, rightBuffer, rightSpill);
    // Making the result may collect: the operands' texts must stay where they are.
    RootScope roots(tempRoots_);
    roots.push(left);
    roots.push(right);
    StringObject* joined =
        gc_.allocateExtra<StringObject>(a.size() + b.size(), a.size() + b.size());
    if (!a.empty()) std::memcpy(joined->data(), a.data(), a.size());
    if (!b.empty()) std::memcpy(joined->data() + a.size(), b.data(), b.size());
    return Value(joined);
}

Value Interpreter::binaryOperation(TokenType op, const Value& left, const Value& right) {
    const bool bothInt = left.kind == ValueKind::Int && right.kind == ValueKind::Int;
    const bool numbers = left.isNumber() && right.isNumber();
    switch (op) {
    case TokenType::Plus:
        if (bothInt) return Value::fromInt(wrapAdd(left.as.integer, right.as.integer));
        if (left.isString() || right.isString()) return concatenate(left, right);
        if (numbers) return Value::fromFloat(left.toDouble() + right.toDouble());
        return Value();
    case TokenType::Minus:
        if (bothInt) return Value::fromInt(wrapSub(left.as.integer, right.as.integer));
        if (numbers) return Value::fromFloat(left.toDouble() - right.toDouble());
        return Value();
    case TokenType::Star:
        if (bothInt) return Value::fromInt(wrapMul(left.as.integer, right.as.integer));
        if (numbers) return Value::fromFloat(left.toDouble() * right.toDouble());
        return Value();
    case TokenType::Slash:
        if (bothInt) return Value::fromInt(safeDiv(left.as.integer, right.as.integer));
        if (numbers) {
            double divisor = right.toDouble();
            return Value::fromFloat(divisor == 0.0 ? 0.0 : left.toDouble() / divisor);
        }
        return Value();
    case TokenType::Percent:
        if (bothInt) return Value::fromInt(safeMod(left.as.integer, right.as.integer));
        if (numbers) {
            double divisor = right.toDouble();
            return Value::fromFloat(divisor == 0.0 ? 0.0 : std::fmod(left.toDouble(), divisor));
        }
        return Value();
    case TokenType::Equal: return Value::fromBool(valuesEqual(left, right));
    case TokenType::NotEqual: return Value::fromBool(!valuesEqual(left, right));
    case TokenType::Less:
        if (bothInt) return Value::fromBool(left.as.integer < right.as.integer);
        if (numbers) return Value::fromBool(left.toDouble() < right.toDouble());
        return Value();
    case TokenType::Greater:
        if (bothInt) return Value::fromBool(left.as.integer > right.as.integer);
        if (numbers) return Value::fromBool(left.toDouble() > right.toDouble());
        return Value();
    case TokenType::LessEqual:
        if (bothInt) return Value::fromBool(left.as.integer <= right.as.integer);
        if (numbers) return Value::fromBool(left.toDouble() <= right.toDouble());
        return Value();
    case TokenType::GreaterEqual:
        if (bothInt) return Value::fromBool(left.as.integer >= right.as.integer);
        if (numbers) return Value::fromBool(left.toDouble() >= right.toDouble());
        return Value();
    case TokenType::And: return Value::fromBool(isTruthy(left) && isTruthy(right));
    case TokenType::Or: return Value::fromBool(isTruthy(left) || isTruthy(right));
    default: return Value();
    }
}

namespace {

// The operators with shapes of their own: kShapePlus + i, and kShapeLeafPlus + i,
// run the i-th.
constexpr std::array<TokenType, Interpreter::kOperatorShapes> kShapedOperators = {
    TokenType::Plus,  TokenType::Minus,     TokenType::Star,    TokenType::Percent,
    TokenType::Less,  TokenType::LessEqual, TokenType::Greater, TokenType::GreaterEqual,
    TokenType::Equal, TokenType::NotEqual,  TokenType::Slash,
};

constexpr bool isOperatorShape(uint8_t shape) {
    return shape >= Interpreter::kShapePlus && shape < Interpreter::kShapeLeafPlus;
}
constexpr bool isLeafOperatorShape(uint8_t shape) {
    return shape >= Interpreter::kShapeLeafPlus &&
           shape < Interpreter::kShapeLeafPlus + Interpreter::kOperatorShapes;
}
constexpr TokenType shapedOperator(uint8_t shape) {
    return kShapedOperators[(shape - Interpreter::kShapePlus) % Interpreter::kOperatorShapes];
}

// The shape of each operator (kShapeBinary for the ones without a shape of
// their own).
uint8_t operatorShape(TokenType op) {
    for (size_t i = 0; i < kShapedOperators.size(); ++i)
        if (kShapedOperators[i] == op) return static_cast<uint8_t>(Interpreter::kShapePlus + i);
    return Interpreter::kShapeBinary;
}

// A run of "+" so far: an operator node whose operator is "+".
bool isPlusShape(uint8_t shape, const Expression& node) {
    return shape == Interpreter::kShapePlus || shape == Interpreter::kShapeLeafPlus ||
           shape == Interpreter::kShapeConcat ||
           (shape == Interpreter::kShapeBinary &&
            static_cast<const BinaryExpr&>(node).op == TokenType::Plus);
}

} // namespace

namespace {
// An operator with a shape of its own on two Ints (wrapping) or two doubles
// ("%" only on Ints): the results numericOperation gives, without its switch.
template <TokenType Op, typename N>
[[gnu::always_inline]] inline Value shapedOperation(N a, N b) {
    constexpr bool ints = std::is_same_v<N, int64_t>;
    if constexpr (ints && Op == TokenType::Plus) return Value::fromInt(wrapAdd(a, b));
    else if constexpr (ints && Op == TokenType::Minus) return Value::fromInt(wrapSub(a, b));
    else if constexpr (ints && Op == TokenType::Star) return Value::fromInt(wrapMul(a, b));
    else if constexpr (ints && Op == TokenType::Percent) return Value::fromInt(safeMod(a, b));
    else if constexpr (ints && Op == TokenType::Slash) return Value::fromInt(safeDiv(a, b));
    else if constexpr (Op == TokenType::Plus) return Value::fromFloat(a + b);
    else if constexpr (Op == TokenType::Minus) return Value::fromFloat(a - b);
    else if constexpr (Op == TokenType::Star) return Value::fromFloat(a * b);
    else if constexpr (Op == TokenType::Slash) return Value::fromFloat(b == 0.0 ? 0.0 : a / b);
    else if constexpr (Op == TokenType::Less) return Value::fromBool(a < b);
    else if constexpr (Op == TokenType::LessEqual) return Value::fromBool(a <= b);
    else if constexpr (Op == TokenType::Greater) return Value::fromBool(a > b);
    else if constexpr (Op == TokenType::GreaterEqual) return Value::fromBool(a >= b);
    else if constexpr (Op == TokenType::Equal) return Value::fromBool(a == b);
    else return Value::fromBool(a != b);
}
} // namespace

template <TokenType Op>
[[gnu::noinline]] Value Interpreter::operatorValue(BinaryExpr& node) {
    Value left = evaluate(node.left.get());
    if (left.isHeap()) [[unlikely]]
        return heapBinaryValue(node, left);
    Value right = evaluate(node.right.get());
    if (left.kind == ValueKind::Int && right.kind == ValueKind::Int) [[likely]]
        return shapedOperation<Op>(left.as.integer, right.as.integer);
    if constexpr (Op != TokenType::Percent) {
        // Two Floats, or an Int and a Float (as a double).
        if (left.kind == ValueKind::Float && right.kind == ValueKind::Float)
            return shapedOperation<Op>(left.as.number, right.as.number);
        if (left.isNumber() && right.isNumber())
            return shapedOperation<Op>(left.toDouble(), right.toDouble());
    }
    return mixedOperatorValue(Op, left, right);
}

template <TokenType Op>
[[gnu::noinline]] Value Interpreter::leafOperatorValue(BinaryExpr& node) {
    // A node gets a leaf shape only with both operands present (visitBinaryExpr).
    Value left, right;
    if (leafNumber(*node.left, left) && leafNumber(*node.right, right)) [[likely]] {
        if (left.kind == ValueKind::Int && right.kind == ValueKind::Int)
            return shapedOperation<Op>(left.as.integer, right.as.integer);
        if constexpr (Op != TokenType::Percent) {
            if (left.kind == ValueKind::Float && right.kind == ValueKind::Float)
                return shapedOperation<Op>(left.as.number, right.as.number);
            return shapedOperation<Op>(left.toDouble(), right.toDouble());
        }
    }
    return operatorValue<Op>(node);
}

Value Interpreter::mixedOperatorValue(TokenType op, const Value& left, const Value& right) {
    Value result;
    if (numericOperation(op, left, right, result)) return result;
    return keepLast(binaryOperation(op, left, right));
}

template <uint8_t Shape>
Value Interpreter::evaluateShape(Interpreter& self, Expression* expression) {
    // The node as an operator node: for the operator shapes only.
    auto binary = [expression]() -> BinaryExpr& { return *static_cast<BinaryExpr*>(expression); };
    if constexpr (Shape == kShapeCall)
        return self.keepLast(self.callExpression(*static_cast<CallExpr*>(expression)));
    else if constexpr (Shape == kShapeMemberCall)
        return self.memberCallValue(*static_cast<CallExpr*>(expression));
    else if constexpr (isOperatorShape(Shape))
        return self.operatorValue<shapedOperator(Shape)>(binary());
    else if constexpr (isLeafOperatorShape(Shape))
        return self.leafOperatorValue<shapedOperator(Shape)>(binary());
    else if constexpr (Shape == kShapeBinary || Shape == kShapeCompareName)
        return self.binaryValue(binary());
    else if constexpr (Shape == kShapeConcat) return self.concatValue(binary());
    // An element or a field may be all that holds its value (the array or
    // the instance may be a temporary), so it stays rooted as lastValue.
    else if constexpr (Shape == kShapeIndex)
        return self.keepLast(self.indexValue(*static_cast<IndexExpr*>(expression)));
    else if constexpr (Shape == kShapeLeafMember)
        return self.leafMemberValue(*static_cast<MemberExpr*>(expression));
    else if constexpr (Shape == kShapeLeafIndex)
        return self.leafIndexValue(*static_cast<IndexExpr*>(expression));
    else if constexpr (Shape == kShapeMember)
        return self.keepLast(self.memberValue(*static_cast<MemberExpr*>(expression)));
    else if constexpr (Shape == kShapeInteger)
        return Value::fromInt(static_cast<LiteralExpr*>(expression)->intValue);
    else if constexpr (Shape == kShapeFloat)
        return Value::fromFloat(static_cast<LiteralExpr*>(expression)->floatValue);
    else if constexpr (Shape == kShapeTrue) return Value::fromBool(true);
    else if constexpr (Shape == kShapeFalse) return Value::fromBool(false);
    else if constexpr (Shape == kShapeNull) return Value();
    else if constexpr (Shape == kShapeStepName)
        return self.stepVariable(*static_cast<UnaryExpr*>(expression));
    else {
        // Not known yet, a name met for the first time, or a shape run by its visit.
        expression->accept(self);
        return self.lastValue_;
    }
}

namespace {
template <size_t... Shapes>
constexpr std::array<Interpreter::ShapeHandler, sizeof...(Shapes)>
shapeTable(std::index_sequence<Shapes...>) {
    return {&Interpreter::evaluateShape<static_cast<uint8_t>(Shapes)>...};
}
} // namespace

constinit const std::array<Interpreter::ShapeHandler, Interpreter::kShapeCount>
    Interpreter::shapeHandlers_ = shapeTable(std::make_index_sequence<Interpreter::kShapeCount>());

Value Interpreter::binaryValue(BinaryExpr& node) {
    Value left = evaluate(node.left.get());
    if (left.isHeap()) return heapBinaryValue(node, left);
    Value right = evaluate(node.right.get());
    Value result;
    if (numericOperation(node.op, left, right, result)) return result;
    return keepLast(binaryOperation(node.op, left, right));
}

Value Interpreter::heapBinaryValue(BinaryExpr& node, Value left) {
    // Strings are heap objects too: the left operand stays rooted while the
    // right one is evaluated (it may allocate).
    RootScope roots(tempRoots_);
    roots.push(left);
    Value right = evaluate(node.right.get());
    roots.push(right);
    return keepLast(binaryOperation(node.op, left, right));
}

void Interpreter::visitBinaryExpr(BinaryExpr& node) {
    node.runtimeShape = operatorShape(node.op);
    lastValue_ = binaryValue(node);
    // A comparison of a variable: conditions decide it directly (conditionHolds).
    if (isComparison(node.op) && node.left && node.left->runtimeShape == kShapeName) {
        node.runtimeShape = kShapeCompareName;
        return;
    }
    // A run of "+" that made a string makes only its final string from now on.
    // The operand nodes have been visited by now, so their shapes are set.
    if (node.op == TokenType::Plus && lastValue_.isString() && node.left &&
        isPlusShape(node.left->runtimeShape, *node.left)) {
        node.runtimeShape = kShapeConcat;
        return;
    }
    // Two numbers read without a call: later runs try that first.
    Value left, right;
    if (isOperatorShape(node.runtimeShape) && node.left && node.right &&
        leafNumber(*node.left, left) && leafNumber(*node.right, right))
        node.runtimeShape += kOperatorShapes;
}

Value Interpreter::concatValue(BinaryExpr& node) {
    // The right operands of the run, last first; a longer run evaluates its
    // left part as an expression of its own.
    constexpr size_t kLongestRun = 16;
    std::array<Expression*, kLongestRun> rights;
    size_t count = 0;
    Expression* leftmost = &node;
    while (count < kLongestRun && isPlusShape(leftmost->runtimeShape, *leftmost)) {
        auto* plus = static_cast<BinaryExpr*>(leftmost);
        rights[count++] = plus->right.get();
        leftmost = plus->left.get();
    }
    // Every operand stays rooted until the result is made: the pieces view
    // the strings in place (objects never move).
    RootScope roots(tempRoots_);
    Value joined = evaluate(leftmost);
    roots.push(joined);
    // Until a string takes part, "+" adds (or joins the first string) as usual.
    while (count > 0 && !joined.isString()) {
        Value right = evaluate(rights[--count]);
        roots.push(right);
        joined = binaryOperation(TokenType::Plus, joined, right);
        roots.push(joined);
    }
    if (count == 0) return keepLast(joined);

    std::array<std::string_view, kLongestRun + 1> pieces;
    std::array<NumberText, kLongestRun> numbers;
    size_t total = 0;
    size_t used = 0;
    pieces[used++] = static_cast<StringObject*>(joined.as.object)->view();
    while (count > 0) {
        Value right = evaluate(rights[--count]);
        if (right.kind == ValueKind::Object && right.as.object != nullptr)
            right = makeString(toString(right));
        roots.push(right);
        pieces[used] = right.isString() ? static_cast<StringObject*>(right.as.object)->view()
                                        : scalarText(right, numbers[used - 1]);
        ++used;
    }
    for (size_t i = 0; i < used; ++i) total += pieces[i].size();
    auto* result = gc_.allocateExtra<StringObject>(total, total);
    char* out = result->data();
    for (size_t i = 0; i < used; ++i) {
        if (pieces[i].empty()) continue;
        std::memcpy(out, pieces[i].data(), pieces[i].size());
        out += pieces[i].size();
    }
    return keepLast(Value(result));
}

namespace {
enum StepTarget : uint32_t { kStepName = 1, kStepIndex, kStepMember, kStepOther };

// The array that an index applies to, with the index in i; null when the
// receiver is no array or the index is no Int within its bounds.
ArrayObject* indexedArray(const Value& object, const Value& position, size_t& i) {
    GcObject* heap = object.asObject();
    if (heap == nullptr || heap->objectKind != ObjectKind::Array || position.kind != ValueKind::Int)
        return nullptr;
    auto* array = static_cast<ArrayObject*>(heap);
    if (position.as.integer < 0 || static_cast<uint64_t>(position.as.integer) >= array->length())
        return nullptr;
    i = static_cast<size_t>(position.as.integer);
    return array;
}
} // namespace

void Interpreter::visitUnaryExpr(UnaryExpr& node) {
    if (node.op == TokenType::PlusPlus || node.op == TokenType::MinusMinus) {
        if (node.cache.owner != runId_) {
            node.cache.owner = runId_;
            Expression* operand = node.operand.get();
            node.cache.id = dynamic_cast<IdentifierExpr*>(operand) ? kStepName
                            : dynamic_cast<IndexExpr*>(operand)    ? kStepIndex
                            : dynamic_cast<MemberExpr*>(operand)   ? kStepMember
                                                                   : kStepOther;
        }
        // The slot that the operator changes: a variable, an array element or a
        // field. The receiver and the index are evaluated once.
        Value* slot = nullptr;
        switch (node.cache.id) {
        case kStepName:
            // Later evaluations come straight to stepVariable.
            node.runtimeShape = kShapeStepName;
            lastValue_ = stepVariable(node);
            return;
        case kStepIndex: {
            auto* index = static_cast<IndexExpr*>(node.operand.get());
            Value object = evaluate(index->object.get());
            RootScope roots(*this);
            roots.push(object);
            Value position = evaluate(index->index.get());
            if (signal_ != ControlSignal::None) return;
            // Elements are stored by kind, not as Values: read, step, write back.
            size_t i = 0;
            ArrayObject* array = indexedArray(object, position, i);
            Value old = array ? array->get(i) : Value();
            Value updated;
            if (!stepped(old, node.op, updated)) {
                lastValue_ = old;
                return;
            }
            array->set(i, updated);
            lastValue_ = node.prefix ? updated : old;
            return;
        }
        case kStepMember: {
            auto* member = static_cast<MemberExpr*>(node.operand.get());
            NameId name = symbolOf(member->cache, member->member);
            Value object = evaluate(member->object.get());
            if (signal_ != ControlSignal::None) return;
            GcObject* heap = object.asObject();
            if (heap != nullptr && heap->objectKind == ObjectKind::ClassInstance)
                slot = fieldOf(member->cache, static_cast<ClassInstanceObject*>(heap), name);
            // Not a field: the expression yields what reading the member gives.
            if (slot == nullptr) {
                lastValue_ = memberOf(object, name, member->member);
                return;
            }
            break;
        }
        default: lastValue_ = evaluate(node.operand.get()); return;
        }
        Value old = slot ? *slot : Value();
        Value updated;
        if (!stepped(old, node.op, updated)) {
            lastValue_ = old;
            return;
        }
        *slot = updated;
        lastValue_ = node.prefix ? updated : old;
        return;
    }
    Value operand = evaluate(node.operand.get());
    switch (node.op) {
    case TokenType::Not: lastValue_ = Value::fromBool(!isTruthy(operand)); return;
    case TokenType::Minus:
        if (operand.kind == ValueKind::Int)
            lastValue_ = Value::fromInt(wrapSub(0, operand.as.integer));
        else if (operand.kind == ValueKind::Float)
            lastValue_ = Value::fromFloat(-operand.as.number);
        else lastValue_ = operand;
        return;
    default: lastValue_ = operand; return;
    }
}

void Interpreter::visitIdentifierExpr(IdentifierExpr& node) {
    node.runtimeShape = kShapeName;
    Value* slot = variableOf(node);
    lastValue_ = slot ? *slot : Value();
}

void Interpreter::visitLiteralExpr(LiteralExpr& node) {
    switch (node.kind) {
    case LiteralKind::Integer:
        node.runtimeShape = kShapeInteger;
        lastValue_ = Value::fromInt(node.intValue);
        return;
    case LiteralKind::Float:
        node.runtimeShape = kShapeFloat;
        lastValue_ = Value::fromFloat(node.floatValue);
        return;
    case LiteralKind::Boolean:
        node.runtimeShape = node.text == "true" ? kShapeTrue : kShapeFalse;
        lastValue_ = Value::fromBool(node.text == "true");
        return;
    case LiteralKind::Null:
        node.runtimeShape = kShapeNull;
        lastValue_ = Value();
        return;
    case LiteralKind::String: lastValue_ = stringLiteral(node); return;
    }
    lastValue_ = Value();
}

namespace {
// kTargetFrame: a name bound to a place of its frame (NamePlace::epoch is the
// frame mark from the layout on, before the statement first runs).
enum AssignTarget : uint32_t {
    kTargetName = 1,
    kTargetFrame,
    kTargetMember,
    kTargetIndex,
    kTargetOther
};
} // namespace

Value Interpreter::combine(TokenType op, const Value& old, const Value& operand) {
    // Numbers take the path that never allocates, as for a variable.
    Value result;
    if (numericOperation(op, old, operand, result)) return result;
    return binaryOperation(op, old, operand);
}

void Interpreter::visitAssignStmt(AssignStmt& node) {
    // A variable of the running frame has a fixed place: it is found after
    // the value without a search, and numbers are combined at once. Both
    // paths are reached by a jump, so neither pays for the other's registers.
    if (node.cache.owner == runId_) [[likely]] {
        if (node.cache.id == kTargetFrame) return assignFrameVariable(node);
        if (node.cache.id == kTargetName) return assignVariable(node);
    }
    assignStatement(node);
}

void Interpreter::assignVariable(AssignStmt& node) {
    Value value = evaluate(node.value.get());
    if (signal_ != ControlSignal::None) return;
    // Finding the variable has no effect and never allocates.
    Value* slot = variableOf(*static_cast<IdentifierExpr*>(node.target.get()));
    if (slot == nullptr) return; // undeclared: no effect
    storeInVariable(node, *slot, value);
}

void Interpreter::assignFrameVariable(AssignStmt& node) {
    Value value = evaluate(node.value.get());
    if (signal_ != ControlSignal::None) return;
    const NamePlace& place = static_cast<IdentifierExpr*>(node.target.get())->place;
    storeInVariable(node, current_->frameValue(place.slot), value);
}

inline void Interpreter::storeInVariable(AssignStmt& node, Value& slot, Value value) {
    Value combined;
    if (node.op == TokenType::Assign) slot = value;
    else if (numericOperation(binaryOperatorOf(node.op), slot, value, combined)) slot = combined;
    else assignValue(node, value); // anything that may allocate
}

void Interpreter::assignStatement(AssignStmt& node) {
    Value value = evaluate(node.value.get());
    if (signal_ != ControlSignal::None) return;
    assignValueInline(node, value);
}

void Interpreter::assignValue(AssignStmt& node, Value value) { assignValueInline(node, value); }

inline void Interpreter::assignValueInline(AssignStmt& node, Value value) {
    const TokenType op = binaryOperatorOf(node.op);
    const bool compound = node.op != TokenType::Assign;

    Expression* target = node.target.get();
    if (node.cache.owner != runId_) {
        node.cache.owner = runId_;
        auto* name = dynamic_cast<IdentifierExpr*>(target);
        node.cache.id = name != nullptr
                            ? (name->place.epoch == frameEpoch_ ? kTargetFrame : kTargetName)
                        : dynamic_cast<MemberExpr*>(target) ? kTargetMember
                        : dynamic_cast<IndexExpr*>(target)  ? kTargetIndex
                                                            : kTargetOther;
    }
    if (node.cache.id == kTargetName || node.cache.id == kTargetFrame) {
        // Finding the variable never allocates, so the value needs no root
        // until combining.
        auto* identifier = static_cast<IdentifierExpr*>(target);
        Value* slot = variableOf(*identifier);
        if (slot == nullptr) return; // undeclared: no effect
        if (!compound) {
            *slot = value;
            return;
        }
        // Combining may allocate (and collect), but it never defines a name or
        // adds a field, and nothing moves: the slot stays where it is.
        Value combined;
        if (numericOperation(op, *slot, value, combined)) {
            *slot = combined;
            return;
        }
        RootScope roots(tempRoots_);
        roots.push(value);
        combined = binaryOperation(op, *slot, value);
        ZARN_ASSERT(identifier->place.epoch == frameEpoch_ ||
                        current_->lookup(identifier->cache.id) == slot,
                    "combining never moves a variable");
        *slot = combined;
        return;
    }
    if (node.cache.id == kTargetMember) {
        // A field of an instance in a frame variable, in a slot the member
        // node knows: storing, or combining numbers, allocates nothing.
        auto* member = static_cast<MemberExpr*>(target);
        if (member->object) {
            if (Value* field = leafField(*member)) {
                Value combined;
                if (!compound) {
                    *field = value;
                    return;
                }
                if (numericOperation(op, *field, value, combined)) {
                    *field = combined;
                    return;
                }
            }
        }
    }
    if (node.cache.id == kTargetIndex && !compound) {
        // An array and an index read without a call: reading them has no
        // effect and storing allocates nothing, so the value needs no root.
        auto* index = static_cast<IndexExpr*>(target);
        Value object, position;
        if (index->object && index->index && leafValue(*index->object, object) &&
            leafPosition(*index->index, position)) {
            size_t i = 0;
            if (ArrayObject* array = indexedArray(object, position, i)) array->set(i, value);
            return;
        }
    }
    RootScope roots(tempRoots_);
    if (value.isHeap()) roots.push(value);
    if (node.cache.id == kTargetMember) {
        auto* member = static_cast<MemberExpr*>(target);
        NameId name = symbolOf(member->cache, member->member);
        Value object = evaluate(member->object.get());
        GcObject* heap = object.asObject();
        if (heap == nullptr || heap->objectKind != ObjectKind::ClassInstance) return;
        auto* instance = static_cast<ClassInstanceObject*>(heap);
        // Finding the field never allocates, and numbers combine without
        // allocating, so the instance needs a root only after that.
        Value* field = fieldOf(member->cache, instance, name);
        Value combined;
        if (compound && field != nullptr && numericOperation(op, *field, value, combined)) {
            *field = combined;
            return;
        }
        roots.push(object);
        if (compound) value = combine(op, field ? *field : Value(), value);
        // As for a variable, combining leaves the field where it was.
        if (field != nullptr) *field = value;
        else instance->setField(name, value);
        return;
    }
    if (node.cache.id == kTargetIndex) {
        auto* index = static_cast<IndexExpr*>(target);
        Value object = evaluate(index->object.get());
        if (!allocatesNothing(index->index.get())) roots.push(object);
        Value position = evaluate(index->index.get());
        size_t i = 0;
        ArrayObject* array = indexedArray(object, position, i);
        if (array == nullptr) return;
        if (compound) value = combine(op, array->get(i), value);
        // The size is checked again: nothing ran in between that could shrink
        // the array, but the element is written only when it still exists.
        if (i < array->length()) array->set(i, value);
    }
}

void Interpreter::visitIndexExpr(IndexExpr& node) {
    node.runtimeShape = kShapeIndex;
    lastValue_ = indexValue(node);
    // An array and an index both read without a call: later runs try that first.
    Value object, position;
    if (node.object && node.index && leafValue(*node.object, object) &&
        leafPosition(*node.index, position) && object.asObject() != nullptr &&
        object.asObject()->objectKind == ObjectKind::Array)
        node.runtimeShape = kShapeLeafIndex;
}

// An index read without a call: a literal or a frame variable, or a leaf
// "+" or "-" of two of them holding Ints ("code[pc + 1]"). Fields are left to
// the general path, to keep this one short. The operands of a node of a leaf
// shape are present.
bool Interpreter::leafPosition(const Expression& index, Value& out) {
    if (leafValue(index, out)) return out.isNumber();
    const uint8_t shape = index.runtimeShape;
    constexpr uint8_t kLeafMinus = kShapeLeafPlus + (kShapeMinus - kShapePlus);
    if (shape != kShapeLeafPlus && shape != kLeafMinus) return false;
    const auto& sum = static_cast<const BinaryExpr&>(index);
    Value left, right;
    if (!leafValue(*sum.left, left) || !leafValue(*sum.right, right) ||
        left.kind != ValueKind::Int || right.kind != ValueKind::Int)
        return false;
    out = Value::fromInt(shape == kShapeLeafPlus ? wrapAdd(left.as.integer, right.as.integer)
                                                 : wrapSub(left.as.integer, right.as.integer));
    return true;
}

Value Interpreter::leafIndexValue(IndexExpr& node) {
    // A node gets this shape only with both parts present (visitIndexExpr).
    Value object, position;
    size_t i = 0;
    if (leafValue(*node.object, object) && leafPosition(*node.index, position)) [[likely]] {
        if (ArrayObject* array = indexedArray(object, position, i)) [[likely]] {
            // Only an element of Values storage may be a heap object; it stays
            // rooted as lastValue, as indexValue's results do.
            if (array->storage() != ArrayObject::Storage::Values) return array->get(i);
            return keepLast(array->get(i));
        }
    }
    return rootedIndexValue(node);
}

// Out of line, so that the leaf paths that fall back to them save no registers.
Value Interpreter::rootedIndexValue(IndexExpr& node) { return keepLast(indexValue(node)); }

Value Interpreter::rootedMemberValue(MemberExpr& node) { return keepLast(memberValue(node)); }

inline Value Interpreter::indexValue(IndexExpr& node) {
    Value object = evaluate(node.object.get());
    Value position;
    if (allocatesNothing(node.index.get())) {
        position = evaluate(node.index.get());
    } else {
        // The index may allocate: the array stays rooted meanwhile.
        RootScope roots(tempRoots_);
        roots.push(object);
        position = evaluate(node.index.get());
    }
    size_t i = 0;
    ArrayObject* array = indexedArray(object, position, i);
    return array ? array->get(i) : Value();
}

void Interpreter::visitArrayLiteralExpr(ArrayLiteralExpr& node) {
    RootScope roots(tempRoots_);
    for (const ExprPtr& element : node.elements) roots.push(evaluate(element.get()));
    lastValue_ = makeArray(tempRoots_.last(node.elements.size()));
}

void Interpreter::visitLambdaExpr(LambdaExpr& node) {
    const bool prepared = node.cache.owner == runId_ && node.cache.data;
    lastValue_ = makeFunction(node.cache, std::string(), node.parameters, node.body);
    if (!prepared) layOutFrameOf(node.cache, node.parameters, node.body);
}

void Interpreter::visitNewExpr(NewExpr& node) {
    // Field initialisers may create instances of their own class: this nests
    // without any call in between, and counts like a call.
    DepthGuard depth(callDepth_);
    checkStack();
    NameId className = symbolOf(node.cache, node.className);
    const ClassInfo* info = findClass(className);
    auto* instance = makeInstance(info ? info->layout : plainLayout(className));
    RootScope roots(tempRoots_);
    roots.push(Value(instance));
    if (info != nullptr) {
        // The initializers run in the current scope. A frame lets them see
        // its locals in scope here, as they would be in a scope of names.
        // (A `new` of a script run in the frame is no site of its body: the
        // script's own publication stands.)
        Environment* frame = current_;
        const FrameBindings* savedPublished = frame->published;
        const bool savedHere = frame->publishedHere;
        const FrameSite* site = info->initializersReadNames && frame->frameSlots != 0
                                    ? frameSite(&node.location)
                                    : nullptr;
        const bool publish = site != nullptr;
        if (publish) frame->publish(&site->visible, true);
        const auto& fields = info->declaration->fields;
        for (size_t i = 0; i < fields.size(); ++i) {
            // A field without an initializer starts as a variable of its type would.
            Value value = fields[i]->initializer ? evaluate(fields[i]->initializer.get())
                                                 : defaultValueFor(fields[i]->typeName);
            // A field declared twice keeps its first place and its last value.
            instance->slots()[info->fieldSlots[i]] = value;
        }
        if (publish) frame->publish(savedPublished, savedHere);
    }
    lastValue_ = Value(instance);
}

Value Interpreter::memberOf(Value object, NameId member, const std::string& memberName) {
    if (!object.isHeap()) return Value();
    RootScope roots(tempRoots_);
    roots.push(object);
    GcObject* heap = object.as.object;
    switch (heap->objectKind) {
    case ObjectKind::ClassInstance: {
        auto* instance = static_cast<ClassInstanceObject*>(heap);
        if (Value* field = instance->findField(member)) return *field;
        const ClassInfo* info = findClass(instance->classSymbol());
        if (info != nullptr && info->findMethod(member) != nullptr)
            return boundMethod(instance, member);
        return Value();
    }
    case ObjectKind::String:
    case ObjectKind::Array: return boundBuiltin(object, member, memberName);
    case ObjectKind::NativeHolder: {
        auto* holder = static_cast<NativeHolderBase*>(heap);
        return holder->memberHook ? holder->memberHook(*this, *holder, memberName) : Value();
    }
    default: return Value();
    }
}

void Interpreter::visitMemberExpr(MemberExpr& node) {
    node.runtimeShape = kShapeMember;
    lastValue_ = memberValue(node);
    // A field of an instance in a frame variable: later runs try that first.
    if (node.object && leafField(node) != nullptr) node.runtimeShape = kShapeLeafMember;
}

Value Interpreter::leafMemberValue(MemberExpr& node) {
    // A node gets this shape only with its object present (visitMemberExpr).
    if (Value* field = leafField(node)) [[likely]] {
        // A heap value stays rooted as lastValue, as memberValue's results do.
        if (!field->isHeap()) return *field;
        return keepLast(*field);
    }
    return rootedMemberValue(node);
}

inline Value Interpreter::memberValue(MemberExpr& node) {
    NameId member = symbolOf(node.cache, node.member);
    Value object = evaluate(node.object.get());
    if (GcObject* heap = object.asObject(); heap && heap->objectKind == ObjectKind::ClassInstance) {
        if (Value* field = fieldOf(node.cache, static_cast<ClassInstanceObject*>(heap), member))
            return *field;
    }
    return memberOf(object, member, node.member);
}

// ---- calls of script functions (here, so the call expression can inline them)

Value Interpreter::callRooted(Value callee, std::span<const Value> arguments,
                              const SourceLocation& location) {
    if (callee.kind != ValueKind::Object || callee.as.object == nullptr) {
        reportAtCall(diag::CallOfNonCallableValue, location);
        return Value();
    }
    switch (callee.as.object->objectKind) {
    case ObjectKind::Function:
        return callFunction(static_cast<FunctionObject*>(callee.as.object), arguments, location);
    case ObjectKind::NativeFunction:
        return callNative(static_cast<NativeFunctionObject*>(callee.as.object), arguments,
                          location);
    default: reportAtCall(diag::ObjectNotCallable, location); return Value();
    }
}

Value Interpreter::runCallBody(Environment* scope, const std::vector<StmtPtr>& statements) {
    // The callee's scope chain does not include the caller's scope: the
    // callee's scope keeps it reachable while the body runs.
    Environment* saved = current_;
    scope->caller = saved;
    ControlSignal savedSignal = signal_;
    current_ = scope;
    signal_ = ControlSignal::None;
    returnValue_ = Value();
    executeStatementList(statements);
    Value result = signal_ == ControlSignal::Return ? returnValue_ : Value();
    current_ = saved;
    scope->caller = nullptr;
    signal_ = savedSignal;
    // Calls only start while no signal is pending, so the caller had no return
    // value worth keeping.
    returnValue_ = Value();
    return result;
}

inline Value Interpreter::enterFunction(const FunctionShape& shape, Environment* scope,
                                        const SourceLocation& callSite) {
    DepthGuard depth(callDepth_);
    // Pushed first, so that a stack overflow is reported at this call. A
    // failure leaves the frames in place for the report; the run ends then.
    pushFrame(nullptr, &shape.name, &callSite);
    checkStack();
    Value result = runCallBody(scope, shape.body->statements);
    releaseEnvironment(scope);
    frames_.pop_back();
    return result;
}

inline Environment* Interpreter::openMethodScopeInline(const ClassInfo* info,
                                                       ClassInstanceObject* instance,
                                                       const FunctionShape& shape) {
    if (info != nullptr && !info->methodNames.empty()) {
        // Made once per instance (and again after its class is declared anew).
        const InstanceExtras* extras = instance->extrasIfAny();
        if (extras == nullptr || extras->boundFor != info) [[unlikely]]
            ensureBoundMethods(instance, *info);
    }
    Environment* scope = newEnvironment(globals_);
    // The scope holds "this", the parameters and the locals (in a frame, the
    // parameters and locals have places); the receiver's fields are reached
    // through it (no copies), so a parameter or a local named like a field
    // hides the field and leaves it unchanged.
    if (shape.frame) {
        // Frames belong to classes whose methods are bound lazily, so "this"
        // is the only name defined here (into the map when the places fill
        // the inline values).
        scope->openFrame(shape.framePlaces);
    } else {
        const bool lazy = info != nullptr && info->lazyMethods;
        size_t names =
            1 + shape.params.size() + (info != nullptr && !lazy ? info->methodNames.size() : 0);
        if (names > scope->inlineLimit && scope->nameMap() == nullptr) scope->useMap();
    }
    scope->defineFresh(thisSymbol_, Value(instance));
    return scope;
}

inline Value Interpreter::enterMethodInline(const ClassInfo* info, ClassInstanceObject* instance,
                                            FunctionDeclStmt& method, Environment* scope,
                                            const SourceLocation* callSite) {
    DepthGuard depth(callDepth_);
    pushFrame(instance->layout->className, &method.name, callSite);
    checkStack();
    const bool lazy = info != nullptr && info->lazyMethods;
    scope->setReceiver(instance, lazy ? &info->methodNames : nullptr);
    if (info != nullptr && !lazy) {
        // Defined after the parameters, methods win over them; a field keeps
        // its name over a method, as the checker sees it.
        for (size_t i = 0; i < info->methodNames.size(); ++i)
            if (!info->hasField(info->methodNames[i]))
                scope->defineFresh(info->methodNames[i], Value(instance->extras().boundMethods[i]));
    }
    Value result = runCallBody(scope, method.body->statements);
    releaseEnvironment(scope);
    frames_.pop_back();
    return result;
}

Environment* Interpreter::openMethodScope(const ClassInfo* info, ClassInstanceObject* instance,
                                          const FunctionShape& shape) {
    return openMethodScopeInline(info, instance, shape);
}

Value Interpreter::enterMethod(const ClassInfo* info, ClassInstanceObject* instance,
                               FunctionDeclStmt& method, Environment* scope,
                               const SourceLocation* callSite) {
    return enterMethodInline(info, instance, method, scope, callSite);
}

Value Interpreter::callFunction(FunctionObject* function, std::span<const Value> arguments,
                                const SourceLocation& callSite) {
    const FunctionShape& shape = *function->shape;
    Environment* scope = newEnvironment(function->closure);
    if (shape.frame) scope->openFrame(shape.framePlaces);
    bindArgumentValues(shape, scope, arguments);
    return enterFunction(shape, scope, callSite);
}

void Interpreter::bindArgumentValues(const FunctionShape& shape, Environment* scope,
                                     std::span<const Value> arguments) {
    const std::vector<NameId>& params = shape.params;
    if (shape.frame) {
        for (size_t i = 0; i < params.size() && i < arguments.size(); ++i)
            scope->frameValue(static_cast<uint32_t>(i)) = arguments[i];
        return;
    }
    for (size_t i = 0; i < params.size(); ++i)
        scope->defineFresh(params[i], i < arguments.size() ? arguments[i] : Value());
}

namespace {
enum CalleeShape : uint32_t { kCalleeOther = 1, kCalleeMember = 2 };
}

inline void Interpreter::bindArguments(CallExpr& node, const std::vector<NameId>& params,
                                       Environment* scope) {
    size_t i = 0;
    for (const ExprPtr& argument : node.arguments) {
        Value value = evaluate(argument.get());
        if (i < params.size()) scope->defineFresh(params[i], value);
        ++i;
    }
    // Missing arguments are Null; extra ones were evaluated for their effects.
    for (; i < params.size(); ++i) scope->defineFresh(params[i], Value());
}

inline void Interpreter::bindFrameArguments(CallExpr& node, const FunctionShape& shape,
                                            Environment* scope) {
    const size_t count = shape.params.size();
    uint32_t i = 0;
    // Missing arguments stay Null; extra ones are evaluated for their effects.
    for (const ExprPtr& argument : node.arguments) {
        Value value = evaluate(argument.get());
        if (i < count) scope->frameValue(i) = value;
        ++i;
    }
}

Value Interpreter::callExpression(CallExpr& node) {
    RootScope roots(tempRoots_);
    Value callee = evaluate(node.callee.get());
    GcObject* object = callee.asObject();
    if (object != nullptr && object->objectKind == ObjectKind::Function) {
        // A script function: its scope is taken first and rooted, and each
        // argument goes straight into it as it is evaluated.
        auto* function = static_cast<FunctionObject*>(object);
        const FunctionShape& shape = *function->shape;
        // Making the scope may collect. A function read from a variable is
        // reachable through it until then; after that the scope keeps its
        // closure, and the call needs only the shape.
        if (node.callee->runtimeShape != kShapeName) roots.push(callee);
        Environment* scope = newEnvironment(function->closure);
        roots.push(Value(scope));
        if (shape.frame) {
            scope->openFrame(shape.framePlaces);
            bindFrameArguments(node, shape, scope);
        } else {
            bindArguments(node, shape.params, scope);
        }
        return enterFunction(shape, scope, node.location);
    }
    roots.push(callee);
    for (const ExprPtr& argument : node.arguments) tempRoots_.push(evaluate(argument.get()));
    return callRooted(callee, tempRoots_.last(node.arguments.size()), node.location);
}

void Interpreter::visitCallExpr(CallExpr& node) {
    if (node.cache.owner != runId_) {
        node.cache.owner = runId_;
        node.cache.id = dynamic_cast<MemberExpr*>(node.callee.get()) ? kCalleeMember : kCalleeOther;
    }
    if (node.cache.id == kCalleeOther) {
        // Later evaluations come straight to callExpression.
        node.runtimeShape = kShapeCall;
        lastValue_ = callExpression(node);
        return;
    }
    // Later evaluations come straight to memberCallValue.
    node.runtimeShape = kShapeMemberCall;
    lastValue_ = memberCallValue(node);
}

Value Interpreter::memberCallValue(CallExpr& node) {
    RootScope roots(tempRoots_);
    const size_t count = node.arguments.size();
    // Arguments are evaluated onto the temporary-root stack; the span is taken
    // afterwards because pushing may move the stack's storage.
    auto pushArguments = [&]() {
        for (const ExprPtr& argument : node.arguments) tempRoots_.push(evaluate(argument.get()));
        return tempRoots_.last(count);
    };

    // The receiver is evaluated once and serves both the built-in method and
    // the member lookup.
    auto& member = static_cast<MemberExpr&>(*node.callee);
    NameId method = symbolOf(member.cache, member.member);
    Value receiver = evaluate(member.object.get());
    roots.push(receiver);
    if (receiver.isHeap()) {
        GcObject* heap = receiver.as.object;
        if (heap->objectKind == ObjectKind::String || heap->objectKind == ObjectKind::Array) {
            // The commonest built-ins, a length (loop conditions) and a push,
            // are answered here; callBuiltinMethod does the same.
            const bool array = heap->objectKind == ObjectKind::Array;
            const MethodNames& names = methodNames_;
            if (count == 0 && (method == names.length || (array && method == names.size))) {
                return Value::fromInt(
                    static_cast<int64_t>(array ? static_cast<ArrayObject*>(heap)->length()
                                               : static_cast<StringObject*>(heap)->length));
            }
            if (array && count == 1 && (method == names.push || method == names.add)) {
                // The receiver is rooted, and objects do not move.
                Value element = evaluate(node.arguments[0].get());
                static_cast<ArrayObject*>(heap)->push(element);
                return Value();
            }
            int required = builtinArity(heap->objectKind, method);
            if (required >= 0 && count >= static_cast<size_t>(required)) {
                std::span<const Value> arguments = pushArguments();
                Value result;
                callBuiltinMethod(receiver, method, arguments, result);
                return keepLast(result);
            }
        } else if (heap->objectKind == ObjectKind::ClassInstance) {
            auto* instance = static_cast<ClassInstanceObject*>(heap);
            if (fieldOf(member.cache, instance, method) == nullptr) {
                const ClassInfo* info = findClass(instance->classSymbol());
                if (FunctionDeclStmt* declaration = info ? info->findMethod(method) : nullptr) {
                    // Calling the method directly is what calling a fresh
                    // bound method would do, without allocating one. Its
                    // scope is taken first and rooted, and each argument
                    // goes straight into it as it is evaluated.
                    const FunctionShape& shape = shapeOf(*declaration);
                    Environment* scope = openMethodScopeInline(info, instance, shape);
                    roots.push(Value(scope));
                    if (shape.frame) bindFrameArguments(node, shape, scope);
                    else bindArguments(node, shape.params, scope);
                    return keepLast(
                        enterMethodInline(info, instance, *declaration, scope, &node.location));
                }
            }
        }
    }
    Value callee = memberOf(receiver, method, member.member);
    roots.push(callee);
    std::span<const Value> arguments = pushArguments();
    return keepLast(callRooted(callee, arguments, node.location));
}

} // namespace zarn
