// The printed form of syntax trees and the names of node kinds. Recursion follows the tree's
// height, which the parser bounds.
#include "compiler/ast_print.h"

#include <charconv>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace quill::compiler {

namespace {

// Quotes and backslashes are escaped only inside quoted strings; a pattern keeps its own.
void appendEscaped(std::string& out, const char* text, size_t length, bool quoted = true) {
    static const char kHex[] = "0123456789ABCDEF";
    for (size_t i = 0; i < length; ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (!quoted && (c == '"' || c == '\\')) {
            out += static_cast<char>(c);
            continue;
        }
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 32 || c >= 127) {
                    out += "\\x";
                    out += kHex[c >> 4];
                    out += kHex[c & 15];
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
}

void appendNumber(std::string& out, double value) {
    char text[40];
    auto result = std::to_chars(text, text + sizeof text, value);
    std::string digits(text, result.ptr);
    // Doubles keep a mark of their type, so 1000.0 never reads like the integer 1000.
    if (digits.find_first_of(".en") == std::string::npos) digits += ".0";
    out += digits;
}

// Lists the tree keeps last-first, back in source order.
std::vector<const SyntaxNode*> reversed(const SyntaxNode* first) {
    std::vector<const SyntaxNode*> items;
    for (; first; first = first->next) items.push_back(first);
    return std::vector<const SyntaxNode*>(items.rbegin(), items.rend());
}

class Printer {
  public:
    std::string out;

    void node(const SyntaxNode* n) {
        if (!n) {
            out += '-';
            return;
        }
        switch (n->kind) {
            case kNodeComma:
                open(",");
                items({n->a.node, n->b.node});
                break;
            case kNodeAssign:
            case kNodeLogical:
            case kNodeBitwise:
            case kNodeEquality:
            case kNodeRelational:
            case kNodeShift:
            case kNodeMultiplicative:
            case kNodeAdditive:
                open(tokenKindName(n->a.word));
                items({n->c.node, n->d.node});
                break;
            case kNodeConditional:
                open("?");
                items({n->a.node, n->b.node, n->c.node});
                break;
            case kNodeThis:
                out += "this";
                return;
            case kNodeNull:
                out += "null";
                return;
            case kNodeTrue:
                out += "true";
                return;
            case kNodeFalse:
                out += "false";
                return;
            case kNodeUndefined:
                out += "undefined";
                return;
            case kNodeIdentifier:
                out += n->a.text;
                return;
            case kNodeFloat:
                appendNumber(out, n->a.number);
                return;
            case kNodeInteger:
                out += std::to_string(n->a.integer);
                return;
            case kNodeString:
                out += '"';
                appendEscaped(out, n->a.text, n->b.word);
                out += '"';
                return;
            case kNodeRegExp:
                out += '/';
                appendEscaped(out, n->a.regexp->pattern, n->a.regexp->length, false);
                out += '/';
                if (n->a.regexp->flags & 1) out += 'g';
                if (n->a.regexp->flags & 2) out += 'i';
                if (n->a.regexp->flags & 4) out += 'm';
                return;
            case kNodeCall:
                open("call");
                item(n->b.node);
                for (const SyntaxNode* argument : reversed(n->c.node)) item(argument);
                break;
            case kNodeNew:
                open("new");
                item(n->b.node);
                for (const SyntaxNode* argument : reversed(n->c.node)) item(argument);
                break;
            case kNodeMember:
                open(".");
                item(n->b.node);
                word(n->a.text);
                break;
            case kNodeIndex:
                open("[]");
                items({n->a.node, n->b.node});
                break;
            case kNodePostfix:
                open("post" + tokenKindName(n->a.word));
                item(n->b.node);
                break;
            case kNodeUnary:
                open(tokenKindName(n->a.word));
                item(n->b.node);
                break;
            case kNodeArray:
                open("array");
                for (const SyntaxNode* element : reversed(n->b.node)) {
                    if (element->kind == kNodeEmpty) {
                        word("<hole>");
                    } else {
                        item(element);
                    }
                }
                break;
            case kNodeObject:
                open("object");
                for (const SyntaxNode* property : reversed(n->b.node)) {
                    out += " (";
                    if (property->a.word == kTokInteger) {
                        out += std::to_string(property->b.integer);
                    } else if (property->a.word == kTokString) {
                        out += '"';
                        appendEscaped(out, property->b.text, property->d.word);
                        out += '"';
                    } else {
                        out += property->b.text;
                    }
                    item(property->c.node);
                    out += ')';
                }
                break;
            default:
                statement(n);
                return;
        }
        out += ')';
    }

    void statement(const SyntaxNode* n) {
        switch (n->kind) {
            case kNodeBlock:
                open("block");
                out += ' ';
                list(n->a.node);
                break;
            case kNodeInnerFunction:
                open("inner-function");
                word(n->a.text);
                word(n->b.text);
                word(n->c.text);
                break;
            case kNodeVar:
                open(n->a.word ? "var-global" : "var");
                declarators(n->c.node);
                break;
            case kNodeEmpty:
                out += ';';
                return;
            case kNodeExpression:
                open("expr");
                item(n->a.node);
                break;
            case kNodeIf:
                open("if");
                items({n->a.node, n->b.node});
                if (n->c.node) item(n->c.node);
                break;
            case kNodeWhile:
                open("while");
                items({n->a.node, n->b.node});
                break;
            case kNodeDoWhile:
                open("do");
                items({n->b.node, n->a.node});
                break;
            case kNodeFor:
                open("for");
                forTarget(n->a.node, n->b.node);
                items({n->c.node, n->d.node, n->e.node});
                break;
            case kNodeForIn:
                open("for-in");
                forTarget(n->a.node, n->b.node);
                items({n->c.node, n->d.node});
                break;
            case kNodeContinue:
            case kNodeBreak:
                open(n->kind == kNodeBreak ? "break" : "continue");
                if (n->a.text) word(n->a.text);
                break;
            case kNodeReturn:
                open("return");
                if (n->a.node) item(n->a.node);
                break;
            case kNodeWith:
                open("with");
                items({n->a.node, n->b.node});
                break;
            case kNodeThrow:
                open("throw");
                item(n->a.node);
                break;
            case kNodeTry:
                open("try");
                item(n->c.node);
                for (const SyntaxNode* clause = n->d.node; clause; clause = clause->next) {
                    out += " (catch ";
                    out += clause->b.text;
                    if (clause->e.node) {
                        word("if");
                        item(clause->e.node);
                    }
                    item(clause->f.node);
                    out += ')';
                }
                if (n->e.node) {
                    out += " (finally";
                    item(n->e.node);
                    out += ')';
                }
                break;
            case kNodeSwitch:
                open("switch");
                item(n->b.node);
                for (const SyntaxNode* clause = n->c.node; clause; clause = clause->next) {
                    out += clause->a.node ? " (case" : " (default";
                    if (clause->a.node) item(clause->a.node);
                    if (clause->b.node) {
                        out += ' ';
                        list(clause->b.node);
                    }
                    out += ')';
                }
                break;
            case kNodeLabel:
                open("label");
                word(n->a.text);
                item(n->b.node);
                break;
            case kNodeFunction:
                open("function");
                out += ' ';
                out += n->d.text;
                if (std::string(n->c.text) != n->d.text) {
                    out += '=';
                    out += n->c.text;
                }
                out += " (";
                for (const SyntaxNode* p = n->e.node; p; p = p->next) {
                    if (p != n->e.node) out += ' ';
                    out += p->a.text;
                }
                out += ')';
                if (n->b.word) word("arguments");
                out += ' ';
                list(n->f.node);
                break;
            case kNodeDeclarator:
                declarators(n);
                return;
            default:
                out += "<kind ";
                out += std::to_string(n->kind);
                out += '>';
                return;
        }
        out += ')';
    }

    void list(const SyntaxNode* first) {
        for (const SyntaxNode* s = first; s; s = s->next) {
            if (s != first) out += ' ';
            node(s);
        }
    }

  private:
    void open(const std::string& head) {
        out += '(';
        out += head;
    }
    void word(const char* text) {
        out += ' ';
        out += text;
    }
    void item(const SyntaxNode* n) {
        out += ' ';
        node(n);
    }
    void items(std::initializer_list<const SyntaxNode*> nodes) {
        for (const SyntaxNode* n : nodes) item(n);
    }
    void declarators(const SyntaxNode* first) {
        for (const SyntaxNode* d = first; d; d = d->next) {
            out += ' ';
            out += d->a.text;
            if (d->b.node) {
                out += '=';
                node(d->b.node);
            }
        }
    }
    void forTarget(const SyntaxNode* declaratorList, const SyntaxNode* expression) {
        if (declaratorList) {
            out += " (var";
            declarators(declaratorList);
            out += ')';
        } else {
            item(expression);
        }
    }
};

}  // namespace

std::string printNode(const SyntaxNode* node) {
    Printer printer;
    printer.node(node);
    return printer.out;
}

std::string printStatements(const SyntaxNode* first) {
    Printer printer;
    printer.list(first);
    return printer.out;
}

std::string printProgram(const CompileContext& ctx) {
    std::string out;
    for (const SyntaxNode* f = ctx.functions.first; f; f = f->next) out += printNode(f) + "\n";
    for (const SyntaxNode* s = ctx.statements.first; s; s = s->next) out += printNode(s) + "\n";
    return out;
}

const char* nodeKindName(uint32_t kind) {
    static const char* const kNames[] = {
        "comma",      "assign",   "conditional",
        "logical",    "bitwise",  "equality",
        "relational", "shift",    "multiplicative",
        "additive",   "this",     "null",
        "true",       "false",    "identifier",
        "float",      "integer",  "string",
        "call",       "member",   "index",
        "new",        nullptr,    nullptr,
        nullptr,      nullptr,    "postfix",
        "unary",      "regexp",   "array",
        "object",     "block",    "inner-function",
        "var",        "empty",    "expression",
        "if",         "while",    "for",
        "for-in",     "continue", "break",
        "return",     "with",     "try",
        "throw",      "do-while", "switch",
        "label",      "function", "undefined",
    };
    if (kind == kNodeDeclarator) return "declarator";
    if (kind < sizeof kNames / sizeof kNames[0] && kNames[kind]) return kNames[kind];
    return "kind ?";
}

}  // namespace quill::compiler
