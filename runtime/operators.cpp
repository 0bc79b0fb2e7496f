// Arithmetic, bitwise, comparison and equality operators on script values: integers stay 64-bit
// integers where both sides are integers, everything else goes to double, NaN stays a tag.
#include "runtime/operators.h"

#include <cmath>

namespace quill {

namespace {

inline bool isNumericTag(uint32_t tag) {
    return tag == kTagInteger || tag == kTagNumber || tag == kTagNaN;
}

inline ScriptValue numeric(ScriptEngine* engine, const ScriptValue& v) {
    return isNumericTag(v.tag) ? v : toNumber(engine, v);
}

inline double asDouble(const ScriptValue& v) {
    return v.tag == kTagInteger ? static_cast<double>(v.i) : v.d;
}

inline uint64_t u64(int64_t v) { return static_cast<uint64_t>(v); }
inline int64_t wrapAdd(int64_t a, int64_t b) { return static_cast<int64_t>(u64(a) + u64(b)); }
inline int64_t wrapSub(int64_t a, int64_t b) { return static_cast<int64_t>(u64(a) - u64(b)); }
inline int64_t wrapMul(int64_t a, int64_t b) { return static_cast<int64_t>(u64(a) * u64(b)); }

int64_t intRemainder(int64_t a, int64_t b) {
    if (b == -1) return 0;  // INT64_MIN % -1 would trap
    return a % b;
}

ScriptValue arithmetic(ScriptEngine* engine, char op, const ScriptValue& left,
                       const ScriptValue& right) {
    ScriptValue a = numeric(engine, left);
    ScriptValue b = numeric(engine, right);
    if (a.tag == kTagNaN || b.tag == kTagNaN) return makeNaN();
    if (a.tag == kTagInteger && b.tag == kTagInteger) {
        switch (op) {
            case '+':
                return makeInteger(wrapAdd(a.i, b.i));
            case '-':
                return makeInteger(wrapSub(a.i, b.i));
            default:
                return makeInteger(wrapMul(a.i, b.i));
        }
    }
    double x = asDouble(a), y = asDouble(b);
    switch (op) {
        case '+':
            return makeNumber(x + y);
        case '-':
            return makeNumber(x - y);
        default:
            return makeNumber(x * y);
    }
}

}  // namespace

ScriptValue opAdd(ScriptEngine* engine, const ScriptValue& a, const ScriptValue& b,
                  bool* concatenated) {
    *concatenated = false;
    if (a.tag == kTagInteger && b.tag == kTagInteger) return makeInteger(wrapAdd(a.i, b.i));
    if (a.tag == kTagString || b.tag == kTagString) {
        ScriptValue x = toString(engine, a);
        RootedValues keep(engine, &x, 1);
        ScriptValue y = toString(engine, b);
        *concatenated = true;
        return concatStrings(engine, x, y);
    }
    return arithmetic(engine, '+', a, b);
}

ScriptValue opSub(ScriptEngine* engine, const ScriptValue& a, const ScriptValue& b) {
    return arithmetic(engine, '-', a, b);
}

ScriptValue opMul(ScriptEngine* engine, const ScriptValue& a, const ScriptValue& b) {
    return arithmetic(engine, '*', a, b);
}

ScriptValue opDiv(ScriptEngine* engine, const ScriptValue& left, const ScriptValue& right) {
    ScriptValue a = numeric(engine, left);
    ScriptValue b = numeric(engine, right);
    if (a.tag == kTagNaN || b.tag == kTagNaN) return makeNaN();
    double x = asDouble(a), y = asDouble(b);
    if (std::isinf(x)) {
        if (std::isinf(y)) return makeNaN();
        if (y == 0.0) return makeNumber(x);
    }
    return makeNumber(x / y);  // 0/0 gives NaN, a finite number over zero an infinity
}

ScriptValue opMod(ScriptEngine* engine, const ScriptValue& left, const ScriptValue& right) {
    if (left.tag == kTagInteger && right.tag == kTagInteger) {
        if (right.i == 0) return makeNaN();
        return makeInteger(intRemainder(left.i, right.i));
    }
    ScriptValue a = numeric(engine, left);
    ScriptValue b = numeric(engine, right);
    if (a.tag == kTagNaN || b.tag == kTagNaN) return makeNaN();
    double x = asDouble(a), y = asDouble(b);
    if (std::isinf(x) || y == 0.0) return makeNaN();
    if (std::isinf(y) || x == 0.0) return a;
    if (a.tag == kTagInteger && b.tag == kTagInteger) return makeInteger(intRemainder(a.i, b.i));
    // fmod is exact: the remainder after the quotient truncated toward zero.
    return makeNumber(std::fmod(x, y));
}

ScriptValue opNegate(ScriptEngine* engine, const ScriptValue& value) {
    ScriptValue a = numeric(engine, value);
    if (a.tag == kTagInteger) return makeInteger(static_cast<int64_t>(0 - u64(a.i)));
    if (a.tag == kTagNumber) return makeNumber(-a.d);
    return makeNaN();
}

ScriptValue opBitwise(ScriptEngine* engine, BitOp op, const ScriptValue& a, const ScriptValue& b) {
    int64_t x = a.tag == kTagInteger ? a.i : toInt64(engine, a);
    int64_t y = b.tag == kTagInteger ? b.i : toInt64(engine, b);
    switch (op) {
        case BitOp::And:
            return makeInteger(x & y);
        case BitOp::Or:
            return makeInteger(x | y);
        case BitOp::Xor:
            return makeInteger(x ^ y);
        default:
            break;
    }
    unsigned count = static_cast<unsigned>(y & 0xFF);
    switch (op) {
        case BitOp::Shl:
            return makeInteger(count >= 64 ? 0 : static_cast<int64_t>(u64(x) << count));
        case BitOp::Shr:
            return makeInteger(count >= 64 ? (x < 0 ? -1 : 0) : (x >> count));
        default:
            return makeInteger(count >= 64 ? 0 : static_cast<int64_t>(u64(x) >> count));
    }
}

ScriptValue opCompare(ScriptEngine* engine, CompareOp op, const ScriptValue& left,
                      const ScriptValue& right) {
    int order;  // -1, 0, 1
    if (left.tag == kTagString && right.tag == kTagString) {
        order = compareStrings(left, right);
    } else if (left.tag == kTagInteger && right.tag == kTagInteger) {
        order = left.i < right.i ? -1 : (left.i > right.i ? 1 : 0);
    } else {
        ScriptValue a = numeric(engine, left);
        ScriptValue b = numeric(engine, right);
        if (a.tag == kTagNaN || b.tag == kTagNaN) return makeUndefined();
        if (a.tag == kTagInteger && b.tag == kTagInteger) {
            order = a.i < b.i ? -1 : (a.i > b.i ? 1 : 0);
        } else {
            double x = asDouble(a), y = asDouble(b);
            order = x < y ? -1 : (x > y ? 1 : 0);
        }
    }
    switch (op) {
        case CompareOp::Lt:
            return makeBoolean(order < 0);
        case CompareOp::Gt:
            return makeBoolean(order > 0);
        case CompareOp::Le:
            return makeBoolean(order <= 0);
        default:
            return makeBoolean(order >= 0);
    }
}

namespace {

bool sameTagEquals(const ScriptValue& a, const ScriptValue& b, bool atomsEqual) {
    switch (a.tag) {
        case kTagUndefined:
        case kTagNull:
            return true;
        case kTagBoolean:
        case kTagInteger:
        case kTagArray:
        case kTagObject:
        case kTagFunction:
            return a.i == b.i;
        case kTagAtom:
            return atomsEqual && a.i == b.i;
        case kTagString:
            return stringEquals(a, b);
        case kTagNumber:
            return a.d == b.d;
        case kTagHost:
            return a.host == b.host ||
                   (a.host->cls == b.host->cls && a.host->data == b.host->data);
        default:
            return false;
    }
}

bool isPrimitiveForEquality(uint32_t tag) {
    return tag == kTagString || tag == kTagBoolean || tag == kTagInteger || tag == kTagNumber ||
           tag == kTagNaN;
}

bool numbersEqual(const ScriptValue& a, const ScriptValue& b) {
    if (a.tag == kTagNaN || b.tag == kTagNaN) return false;
    if (a.tag == kTagInteger && b.tag == kTagInteger) return a.i == b.i;
    return asDouble(a) == asDouble(b);
}

}  // namespace

bool looseEquals(ScriptEngine* engine, const ScriptValue& left, const ScriptValue& right) {
    ScriptValue a = left, b = right;
    // An object compared with a primitive becomes a primitive once; the comparison then
    // starts again with no object left, so this loop runs at most twice.
    for (int round = 0; round < 3; ++round) {
        if (a.tag == b.tag) return sameTagEquals(a, b, true);
        if ((a.tag == kTagUndefined && b.tag == kTagNull) ||
            (a.tag == kTagNull && b.tag == kTagUndefined)) {
            return true;
        }
        if (isNumericTag(a.tag) && isNumericTag(b.tag)) return numbersEqual(a, b);
        if (isPrimitiveForEquality(a.tag) && isPrimitiveForEquality(b.tag)) {
            ScriptValue x = toNumber(engine, a);
            ScriptValue y = toNumber(engine, b);
            return numbersEqual(x, y);
        }
        if (a.tag == kTagObject && isPrimitiveForEquality(b.tag)) {
            a = toPrimitive(engine, a, 0);
            continue;
        }
        if (b.tag == kTagObject && isPrimitiveForEquality(a.tag)) {
            b = toPrimitive(engine, b, 0);
            continue;
        }
        return false;
    }
    return false;
}

bool strictEquals(const ScriptValue& a, const ScriptValue& b) {
    if (a.tag == b.tag) return sameTagEquals(a, b, false);
    if (a.tag == kTagInteger && b.tag == kTagNumber) return static_cast<double>(a.i) == b.d;
    if (a.tag == kTagNumber && b.tag == kTagInteger) return a.d == static_cast<double>(b.i);
    return false;
}

ScriptValue typeOf(ScriptEngine* engine, const ScriptValue& value) {
    switch (value.tag) {
        case kTagUndefined:
            return staticString(engine, kStrUndefined);
        case kTagNull:
        case kTagArray:
        case kTagObject:
        case kTagHost:
            return staticString(engine, kStrObject);
        case kTagBoolean:
            return staticString(engine, kStrBoolean);
        case kTagInteger:
        case kTagNumber:
        case kTagNaN:
            return staticString(engine, kStrNumber);
        case kTagString:
            return staticString(engine, kStrString);
        case kTagFunction:
            return staticString(engine, kStrFunction);
        default:
            return staticString(engine, kStrEmpty);
    }
}

}  // namespace quill
