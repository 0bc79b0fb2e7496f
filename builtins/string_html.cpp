// The HTML formatting methods of strings (anchor, big, ..., sup): the string wrapped in fixed
// upper-case tags. The result grows with its input; nothing is cut at any buffer size.
#include <string_view>

#include "builtins/builtin_support.h"
#include "builtins/string_methods.h"
#include "builtins/string_support.h"

namespace quill {

namespace {

struct HtmlPattern {
    std::string_view open;    // before the argument, or before the string when there is none
    std::string_view middle;  // between the argument and the string ("" without an argument)
    std::string_view close;
    bool hasArgument;
};

const HtmlPattern& patternOf(int member) {
    static const HtmlPattern kPatterns[] = {
        {"<A NAME=\"", "\">", "</A>", true},  // anchor
        {"<BIG>", "", "</BIG>", false},
        {"<BLINK>", "", "</BLINK>", false},
        {"<B>", "", "</B>", false},
        {"<TT>", "", "</TT>", false},
        {"<FONT COLOR=\"", "\">", "</FONT>", true},
        {"<FONT SIZE=\"", "\">", "</FONT>", true},
        {"<I>", "", "</I>", false},
        {"<A HREF=\"", "\">", "</A>", true},  // link
        {"<SMALL>", "", "</SMALL>", false},
        {"<STRIKE>", "", "</STRIKE>", false},
        {"<SUB>", "", "</SUB>", false},
        {"<SUP>", "", "</SUP>", false},
    };
    return kPatterns[member - kStrAnchor];
}

}  // namespace

void stringHtmlMethod(ScriptEngine* engine, int member, const ScriptValue& self, ScriptValue* argv,
                      ScriptValue* result) {
    const HtmlPattern& pattern = patternOf(member);
    ScriptValue argument = staticString(engine, kStrEmpty);
    if (pattern.hasArgument && hasArg(argv, 1)) argument = toString(engine, argv[1]);
    // The conversion may have run a script: read the string's text only now.
    TextBuilder text(engine);
    text.appendAscii(pattern.open);
    if (pattern.hasArgument) {
        text.append(textOf(argument));
        text.appendAscii(pattern.middle);
    }
    text.append(textOf(self));
    text.appendAscii(pattern.close);
    *result = text.toValue();
}

}  // namespace quill
