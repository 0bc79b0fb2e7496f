// The compiler's message texts, defined once. Script authors and tests see these exact bytes
// in diagnostic lines, so a change here is a change of the system's behaviour.
#include "compiler/messages.h"

namespace quill::compiler {

const char kMsgWarningPrefix[] = "warning: line ";
const char kMsgErrorPrefix[] = "error: line ";
const char kMsgLineSeparator[] = ": ";
const char kMsgLineEnd[] = "\r\n";

const char kMsgIllegalCharacter[] = "illegal character";
const char kMsgIllegalHexCharacter[] = "illegal character '%s%c%c'";
const char kMsgIllegalUnicodeCharacter[] = "illegal unicode character '%s%c%c%c%c'";
const char kMsgInvalidExponent[] = "invalid exponent part in a decimal literal";
const char kMsgUnterminatedConstant[] = "unterminated %s constant";
const char kMsgUnknownEscape[] = "unknown escape sequence '%c%c'";
const char kMsgLineTerminatorInConstant[] =
    "ECMAScript don't allow line terminators in %s constants";
const char kWordString[] = "string";
const char kWordCharacter[] = "character";
const char kWordRegularExpression[] = "regular expression";
const char kTextHexEscape[] = "\\x";
const char kTextUnicodeEscape[] = "\\u";

const char kMsgSyntaxError[] = "syntax error: %s";
const char kMsgMissingSemicolon[] = "missing ;";
const char kMsgMoreThanOneDefault[] = "more than one switch default";
const char kMsgNestingTooDeep[] = "nesting too deep (more than %d levels)";

const char kMsgIllegalIdentifier[] = "illegal identifier";
const char kMsgMissingParenBeforeFormals[] = "missing ( before formal parameters";
const char kMsgMissingParenAfterFormals[] = "missing ) after formal parameters";
const char kMsgInvalidFunctionBody[] = "invalid function body";
const char kMsgMissingBraceAfterBlock[] = "missing } after block";
const char kMsgMissingBraceAfterSwitch[] = "missing } after switch block";
const char kMsgInvalidLabel[] = "invalid label";
const char kMsgInvalidReturn[] = "invalid return";
const char kMsgInvalidThrow[] = "invalid throw";
const char kMsgMissingParenBeforeWith[] = "missing ( before with-statement object";
const char kMsgMissingParenAfterWith[] = "missing ) after with-statement object";
const char kMsgInvalidWithObject[] = "invalid with-statement object";
const char kMsgInvalidWithBlock[] = "invalid with block";
const char kMsgMissingParenBeforeSwitch[] = "missing ( before switch expression";
const char kMsgMissingParenAfterSwitch[] = "missing ) after switch expression";
const char kMsgInvalidSwitchExpression[] = "invalid switch expression";
const char kMsgMissingBraceBeforeSwitch[] = "missing { before switch body";
const char kMsgInvalidCaseExpression[] = "invalid case expression";
const char kMsgMissingColonAfterCase[] = "missing : after case label";
const char kMsgInvalidStatement[] = "invalid statement";
const char kMsgMissingCatchOrFinally[] = "missing catch or finally after try";
const char kMsgMissingParenBeforeCatch[] = "missing ( before catch";
const char kMsgMissingIdentifierInCatch[] = "missing identifier in catch";
const char kMsgMissingParenAfterCatch[] = "missing ) after catch";
const char kMsgInvalidVariableInit[] = "invalid variable initialization";
const char kMsgMissingVariableName[] = "missing variable name";
const char kMsgMissingParenBeforeCondition[] = "missing ( before condition";
const char kMsgMissingParenAfterCondition[] = "missing ) after condition";
const char kMsgInvalidCondition[] = "invalid condition expression";
const char kMsgMissingWhileAfterDo[] = "missing while after do-loop body";
const char kMsgMissingParenAfterFor[] = "missing ( after for";
const char kMsgMissingSemicolonAfterForInit[] = "missing ; after for-loop initializer";
const char kMsgInvalidForInit[] = "invalid for-loop initializer or for-in expression";
const char kMsgMissingSemicolonAfterForCondition[] = "missing ; after for-loop condition";
const char kMsgInvalidForCondition[] = "invalid for-loop condition expression";
const char kMsgMissingParenAfterForControl[] = "missing ) after for-loop control";
const char kMsgInvalidForControl[] = "invalid for-loop control expression";
const char kMsgMoreThanOneVariable[] = "more than one variable declaration";
const char kMsgInvalidExpression[] = "invalid expression";
const char kMsgMissingColonInConditional[] = "missing : in conditional expression";
const char kMsgMissingBracketAfterElements[] = "missing ] after element list";
const char kMsgMissingBracketInIndex[] = "missing ] in index expression";
const char kMsgMissingColonAfterPropertyId[] = "missing : after property id";
const char kMsgInvalidPropertyId[] = "invalid property id";
const char kMsgMissingBraceAfterProperties[] = "missing } after property list";
const char kMsgMissingParenAfterArguments[] = "missing ) after argument list";
const char kMsgIllegalFunctionName[] = "illegal function name";

const char kMsgInvalidBreak[] = "invalid break";
const char kMsgInvalidContinue[] = "invalid continue";
const char kMsgInvalidAssignmentTarget[] = "invalid assignment target";
const char kMsgTooManyParameters[] = "too many formal parameters (at most 125)";
const char kMsgTooManyLocals[] = "too many local variables (at most 32767)";

const char kMsgCantOpenScriptFile[] = "can't open the script file: ";
const char kFormatCantOpen[] = "%s%s\n";
const char kTextListingHeader[] = "; -*- asm -*-";

const char* const kCompilerMessages[] = {
    kMsgIllegalCharacter,
    kMsgIllegalHexCharacter,
    kMsgIllegalUnicodeCharacter,
    kMsgInvalidExponent,
    kMsgUnterminatedConstant,
    kMsgUnknownEscape,
    kMsgLineTerminatorInConstant,
    kMsgSyntaxError,
    kMsgMissingSemicolon,
    kMsgMoreThanOneDefault,
    kMsgNestingTooDeep,
    kMsgIllegalIdentifier,
    kMsgMissingParenBeforeFormals,
    kMsgMissingParenAfterFormals,
    kMsgInvalidFunctionBody,
    kMsgMissingBraceAfterBlock,
    kMsgMissingBraceAfterSwitch,
    kMsgInvalidLabel,
    kMsgInvalidReturn,
    kMsgInvalidThrow,
    kMsgMissingParenBeforeWith,
    kMsgMissingParenAfterWith,
    kMsgInvalidWithObject,
    kMsgInvalidWithBlock,
    kMsgMissingParenBeforeSwitch,
    kMsgMissingParenAfterSwitch,
    kMsgInvalidSwitchExpression,
    kMsgMissingBraceBeforeSwitch,
    kMsgInvalidCaseExpression,
    kMsgMissingColonAfterCase,
    kMsgInvalidStatement,
    kMsgMissingCatchOrFinally,
    kMsgMissingParenBeforeCatch,
    kMsgMissingIdentifierInCatch,
    kMsgMissingParenAfterCatch,
    kMsgInvalidVariableInit,
    kMsgMissingVariableName,
    kMsgMissingParenBeforeCondition,
    kMsgMissingParenAfterCondition,
    kMsgInvalidCondition,
    kMsgMissingWhileAfterDo,
    kMsgMissingParenAfterFor,
    kMsgMissingSemicolonAfterForInit,
    kMsgInvalidForInit,
    kMsgMissingSemicolonAfterForCondition,
    kMsgInvalidForCondition,
    kMsgMissingParenAfterForControl,
    kMsgInvalidForControl,
    kMsgMoreThanOneVariable,
    kMsgInvalidExpression,
    kMsgMissingColonInConditional,
    kMsgMissingBracketAfterElements,
    kMsgMissingBracketInIndex,
    kMsgMissingColonAfterPropertyId,
    kMsgInvalidPropertyId,
    kMsgMissingBraceAfterProperties,
    kMsgMissingParenAfterArguments,
    kMsgIllegalFunctionName,
    kMsgInvalidBreak,
    kMsgInvalidContinue,
    kMsgInvalidAssignmentTarget,
    kMsgTooManyParameters,
    kMsgTooManyLocals,
    kMsgCantOpenScriptFile,
    kFormatCantOpen,
    kTextListingHeader,
};
const size_t kCompilerMessageCount = sizeof(kCompilerMessages) / sizeof(kCompilerMessages[0]);

}  // namespace quill::compiler
