// Header fields of mail messages in both directions: reading structured values (main value,
// parameters with their continuations and charsets, encoded words) and writing fields that every
// reader takes back exactly (the subject as folded encoded words, non-ASCII display names and
// file names encoded, long lines folded at spaces, no line breaks smuggled in by values).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quill::mail {

// A field's value as received, with its line breaks removed, TABs turned into spaces and the
// surrounding spaces trimmed.
std::string unfoldValue(std::string_view raw);

// The value before the first ";" (outside quotes), trimmed and in lower case: "text/plain".
std::string mainValue(std::string_view value);

// A parameter of a structured value (Content-Type, Content-Disposition), matched by its whole
// name, case-insensitively: "name" never matches inside "filename". Extended values (name*=
// charset'language'text) and continuations (name*0, name*1*, ...) are joined and decoded;
// `charset` then holds the declared charset.
struct Parameter {
    std::string value;
    std::string charset;
};
std::optional<Parameter> findParameter(std::string_view value, std::string_view name);

// A parameter's value as a script string: the charset of an extended value, or encoded words
// in a plain one (many mailers put them there).
std::u16string parameterText(const Parameter& parameter);

// Header text with its encoded words (=?charset?B|Q?text?=) decoded, each by its own charset;
// the blanks between two adjacent encoded words vanish. Bytes outside encoded words are ANSI
// text (or UTF-8 when they are well-formed UTF-8).
std::u16string decodeHeaderText(std::string_view value);

// The encoded words ("=?charset?B?...?=") that carry the text, each holding at most `maxBytes`
// bytes and never splitting a character.
std::vector<std::string> encodedWords(std::u16string_view text, size_t maxBytes);

// "Subject: " and the subject as base64 encoded words of up to 54 bytes, one a line, with
// CR LF; an empty subject writes nothing after the name. (Text is in the ANSI code page, or in
// UTF-8 where that cannot hold it, here and in the fields below.)
void writeSubjectField(std::string& out, std::u16string_view subject);

// "Name: value" CR LF for an address field (From, To, ...): line breaks in the value become
// spaces, display names with characters beyond ASCII become encoded words, and a line that
// would pass 78 characters is folded at a space.
void writeAddressField(std::string& out, std::string_view name, std::u16string_view value);
// The same for any other unstructured text (Date).
void writeTextField(std::string& out, std::string_view name, std::u16string_view value);

// `; param="value"` for a file name: plain ASCII names are quoted as they are; others are
// written as an encoded word inside the quotes (what mailers read in Content-Type), or, with
// `extended`, in the charset'language'percent form (what they read in Content-Disposition).
std::string fileNameParameter(std::string_view param, std::u16string_view name, bool extended);

// A Content-ID without its angle brackets.
std::string contentIdValue(std::string_view value);
// A Content-ID as it may be written between angle brackets: without control characters and
// angle brackets.
std::string cleanContentId(std::string id);

}  // namespace quill::mail
