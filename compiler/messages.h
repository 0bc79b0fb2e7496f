// The compiler's message texts, shared by the lexer, the parser, the code generator and the
// compile driver. Every text is defined once (messages.cpp); scripts and tools compare these
// texts byte for byte, so they are never spelled out anywhere else.
#pragma once

#include <cstddef>

namespace quill::compiler {

// ---- diagnostic lines: "warning: line " N ": " message "\r\n" -------------------------------
extern const char kMsgWarningPrefix[];  // "warning: line "
extern const char kMsgErrorPrefix[];    // "error: line "
extern const char kMsgLineSeparator[];  // ": "
extern const char kMsgLineEnd[];        // "\r\n"
// Messages are formatted with printf rules into a buffer of this size.
constexpr size_t kMessageBufferSize = 260;

// ---- lexer -----------------------------------------------------------------------------------
extern const char kMsgIllegalCharacter[];          // "illegal character"
extern const char kMsgIllegalHexCharacter[];       // "illegal character '%s%c%c'"
extern const char kMsgIllegalUnicodeCharacter[];   // "illegal unicode character '%s%c%c%c%c'"
extern const char kMsgInvalidExponent[];           // "invalid exponent part in a decimal literal"
extern const char kMsgUnterminatedConstant[];      // "unterminated %s constant"
extern const char kMsgUnknownEscape[];             // "unknown escape sequence '%c%c'" (warning)
extern const char kMsgLineTerminatorInConstant[];  // warning, compile option bit 21
// The kind words that fill the %s of the constant messages, and the escape texts of the
// illegal-character messages.
extern const char kWordString[];             // "string"
extern const char kWordCharacter[];          // "character"
extern const char kWordRegularExpression[];  // "regular expression"
extern const char kTextHexEscape[];          // backslash-x
extern const char kTextUnicodeEscape[];      // backslash-u

// ---- parser ----------------------------------------------------------------------------------
extern const char kMsgSyntaxError[];         // "syntax error: %s", filled with a text below
extern const char kMsgMissingSemicolon[];    // "missing ;" (error, or warning with bit 20)
extern const char kMsgMoreThanOneDefault[];  // "more than one switch default"
// The parser's own limit on nesting (statements, brackets, operators): see parser.h.
extern const char kMsgNestingTooDeep[];  // "nesting too deep (more than %d levels)"

// Texts used with kMsgSyntaxError, in table order.
extern const char kMsgIllegalIdentifier[];
extern const char kMsgMissingParenBeforeFormals[];
extern const char kMsgMissingParenAfterFormals[];
extern const char kMsgInvalidFunctionBody[];
extern const char kMsgMissingBraceAfterBlock[];
extern const char kMsgMissingBraceAfterSwitch[];
extern const char kMsgInvalidLabel[];
extern const char kMsgInvalidReturn[];
extern const char kMsgInvalidThrow[];
extern const char kMsgMissingParenBeforeWith[];
extern const char kMsgMissingParenAfterWith[];
extern const char kMsgInvalidWithObject[];
extern const char kMsgInvalidWithBlock[];
extern const char kMsgMissingParenBeforeSwitch[];
extern const char kMsgMissingParenAfterSwitch[];
extern const char kMsgInvalidSwitchExpression[];
extern const char kMsgMissingBraceBeforeSwitch[];
extern const char kMsgInvalidCaseExpression[];
extern const char kMsgMissingColonAfterCase[];
extern const char kMsgInvalidStatement[];
extern const char kMsgMissingCatchOrFinally[];
extern const char kMsgMissingParenBeforeCatch[];
extern const char kMsgMissingIdentifierInCatch[];
extern const char kMsgMissingParenAfterCatch[];
extern const char kMsgInvalidVariableInit[];
extern const char kMsgMissingVariableName[];
extern const char kMsgMissingParenBeforeCondition[];
extern const char kMsgMissingParenAfterCondition[];
extern const char kMsgInvalidCondition[];
extern const char kMsgMissingWhileAfterDo[];
extern const char kMsgMissingParenAfterFor[];
extern const char kMsgMissingSemicolonAfterForInit[];
extern const char kMsgInvalidForInit[];
extern const char kMsgMissingSemicolonAfterForCondition[];
extern const char kMsgInvalidForCondition[];
extern const char kMsgMissingParenAfterForControl[];
extern const char kMsgInvalidForControl[];
extern const char kMsgMoreThanOneVariable[];
extern const char kMsgInvalidExpression[];
extern const char kMsgMissingColonInConditional[];
extern const char kMsgMissingBracketAfterElements[];
extern const char kMsgMissingBracketInIndex[];
extern const char kMsgMissingColonAfterPropertyId[];
extern const char kMsgInvalidPropertyId[];
extern const char kMsgMissingBraceAfterProperties[];
extern const char kMsgMissingParenAfterArguments[];
extern const char kMsgIllegalFunctionName[];  // in the table, written by nothing

// ---- code generator --------------------------------------------------------------------------
extern const char kMsgInvalidBreak[];     // "invalid break"
extern const char kMsgInvalidContinue[];  // "invalid continue"
// Assignment, ++ or -- applied to something that is not a variable, property or element.
extern const char kMsgInvalidAssignmentTarget[];  // "invalid assignment target"
// Limits of the module format's operand fields.
extern const char kMsgTooManyParameters[];  // "too many formal parameters (at most 125)"
extern const char kMsgTooManyLocals[];      // "too many local variables (at most 32767)"

// ---- compile driver --------------------------------------------------------------------------
extern const char kMsgCantOpenScriptFile[];  // "can't open the script file: "
extern const char kFormatCantOpen[];         // "%s%s\n"
extern const char kTextListingHeader[];      // "; -*- asm -*-"

// Every message text above except the line pieces, kind words and escape texts, in table
// order (lexer, parser, code generator, driver).
extern const char* const kCompilerMessages[];
extern const size_t kCompilerMessageCount;

}  // namespace quill::compiler
