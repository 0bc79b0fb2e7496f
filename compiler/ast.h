// The syntax tree the parser builds and the code generator walks: one SyntaxNode record per node,
// with a kind, a known static type, a line, six operands whose meaning depends on the kind, and
// a link to the next node of whatever list the node belongs to. Nodes live in the arena.
#pragma once

#include <cstdint>

#include "compiler/token.h"

namespace quill::compiler {

enum NodeKind : uint32_t {
    kNodeComma = 0,           // A left, B right; line at ','
    kNodeAssign = 1,          // A.word operator token, C target, D value; line at the operator
    kNodeConditional = 2,     // A condition, B then, C else; line at '?'
    kNodeLogical = 3,         // && || : A.word operator, C left, D right
    kNodeBitwise = 4,         // | ^ &
    kNodeEquality = 5,        // == != === !==
    kNodeRelational = 6,      // < > <= >=
    kNodeShift = 7,           // << >> >>>
    kNodeMultiplicative = 8,  // * / %
    kNodeAdditive = 9,        // + -
    kNodeThis = 10,
    kNodeNull = 11,
    kNodeTrue = 12,
    kNodeFalse = 13,
    kNodeIdentifier = 14,  // A.text name (also a formal parameter)
    kNodeFloat = 15,       // A.number
    kNodeInteger = 16,     // A.integer (the whole 64-bit value)
    kNodeString = 17,      // A.text, B.word byte length (escapes may put NULs in the text)
    kNodeCall = 18,        // A.word argument count, B callee, C arguments (last first); at '('
    kNodeMember = 19,      // a.name: A.text name, B object; line at '.'
    kNodeIndex = 20,       // a[e]: A object, B index; line at '['
    kNodeNew = 21,         // A.word argument count, B constructor, C arguments (last first)
    // 22 to 25 are never produced.
    kNodePostfix = 26,  // A.word operator (++ or --), B operand
    kNodeUnary = 27,    // A.word operator: delete void typeof ++ -- + - ~ !; B operand
    kNodeRegExp = 28,   // A.regexp
    kNodeArray = 29,    // A.word element count, B elements (last first; holes are kNodeEmpty)
    kNodeObject = 30,   // A.word property count, B properties (last written first)
    kNodeBlock = 31,    // A first statement; line of the first token after '{'
    // Inner function declaration; line of the inner function's closing '}'.
    // A.text enclosing function's internal name, B.text inner internal name, C.text declared name.
    kNodeInnerFunction = 32,
    kNodeVar = 33,  // A.word global flag, B.word declarator count, C declarators (kNodeDeclarator)
    // Empty statement; also the list item of case clauses, catch clauses, object properties and
    // array holes:
    //   case clause:   A case expression (null for default), B first statement, E.word line of
    //                  the token that ends the clause (case, default or '}')
    //   catch clause:  B.text variable, E condition (or null), F body; the first clause's
    //                  A.word is the line of the token after the last clause
    //   property:      A.word key token kind (kTokIdentifier, kTokString or kTokInteger),
    //                  B.text or B.integer key, C value, D.word byte length of a text key
    //   hole:          no operands
    kNodeEmpty = 34,
    kNodeExpression = 35,  // expression statement: A expression; the expression's line
    kNodeIf = 36,          // A condition, B then, C else (or null)
    kNodeWhile = 37,       // A condition, B body
    // for(;;): A declarators, B initializer expression, C condition, D update, E body,
    // F.word declarator count. Any of A..D may be null.
    kNodeFor = 38,
    // for-in: A declarators (exactly one) or null, B target identifier or null, C object, D body,
    // E.word 1.
    kNodeForIn = 39,
    kNodeContinue = 40,  // A.text label or null
    kNodeBreak = 41,     // A.text label or null
    kNodeReturn = 42,    // A value or null
    kNodeWith = 43,      // A object, B body
    // A.word line of the try body's last token, B.word line of the construct's last token,
    // C try body, D first catch clause (kNodeEmpty items), E finally body (or null).
    kNodeTry = 44,
    kNodeThrow = 45,    // A value
    kNodeDoWhile = 46,  // A condition, B body
    // A.word line of the closing '}', B discriminant, C first case clause (source order).
    kNodeSwitch = 47,
    kNodeLabel = 48,  // A.text label, B statement; the label's line
    // Function definition (in CompileContext::functions, never inside a statement list); line of
    // the name (of `function` when anonymous). A.word line of the body's '{', B.word 1 when the
    // function mentions `arguments` (inner functions included), C.text internal name, D.text
    // declared name, E first parameter (kNodeIdentifier list), F first body statement (a single
    // kNodeEmpty for an empty body).
    kNodeFunction = 49,
    kNodeUndefined = 50,
    kNodeDeclarator = 254,  // A.text name, B initializer (or null); line of the name
};

struct SyntaxNode;

union Operand {
    SyntaxNode* node;
    const char* text;
    int64_t integer;
    double number;
    uint32_t word;  // counts, flags, lines, operator token kinds
    RegExpLiteral* regexp;
};

struct SyntaxNode {
    uint32_t kind;
    // The value tag the node's value is known to have, 0 when unknown: null 1, true/false 2,
    // integer literal 3, string literal 4, floating literal 5, array literal 6, object literal 7,
    // regular expression 11; && and || are 2 when both operands are; equality and relational 2.
    uint32_t staticType;
    uint32_t line;
    // Height of the subtree below and including this node (lists count as one level, their
    // items side by side). The parser keeps it within kMaxNestingDepth, so a recursive walk of
    // any tree is bounded.
    uint32_t height;
    Operand a, b, c, d, e, f;
    SyntaxNode* next;  // the next node of the list this node is in
};

// A list built in source order.
struct NodeList {
    uint32_t count = 0;
    SyntaxNode* first = nullptr;
    SyntaxNode* last = nullptr;

    void append(SyntaxNode* node) {
        node->next = nullptr;
        if (last) {
            last->next = node;
        } else {
            first = node;
        }
        last = node;
        ++count;
    }
};

// "comma", "assign", ..., "declarator"; "kind N" for numbers without a node.
const char* nodeKindName(uint32_t kind);

}  // namespace quill::compiler
