// The Mail host class: a thin binding of the native mail message to scripts. Header values,
// texts and names cross as script strings; attachments and inline HTML items come from files or
// StringStreams and go to files (a path ending in a separator is a folder: the part's safe name
// is added) or to new StringStreams. Nothing here raises a script error: unusable arguments and
// files that cannot be opened do nothing.
#include <memory>
#include <optional>
#include <string>

#include "builtins/builtins.h"
#include "host/net/mail_charset.h"
#include "host/net/mail_message.h"
#include "host/net/mail_names.h"
#include "host/system/string_stream_access.h"
#include "runtime/class_binding.h"

namespace quill {

namespace {

using mail::HeaderField;
using mail::MailMessage;
using mail::PartRecord;

std::unique_ptr<MailMessage> makeMail() {
    return MailMessage::create();
}

template <HeaderField F>
std::u16string getField(MailMessage& m) {
    return m.field(F).value_or(std::u16string());
}
template <HeaderField F>
void setField(MailMessage& m, bind::AsString value) {
    m.setField(F, std::move(value.text));
}

int64_t getPriority(MailMessage& m) {
    return m.priority();
}
void setPriority(MailMessage& m, int64_t value) {
    m.setPriority(static_cast<int32_t>(value));
}

int64_t getSize(MailMessage& m) {
    return m.size();
}
std::u16string getText(MailMessage& m) {
    return m.text();
}
void setText(MailMessage& m, bind::AsString value) {
    m.setText(value.text);
}
std::u16string getHtml(MailMessage& m) {
    return m.html();
}
void setHtml(MailMessage& m, bind::AsString value) {
    m.setHtml(value.text);
}
int64_t attachmentCount(MailMessage& m) {
    return int64_t(m.index().attachments.size());
}
int64_t htmlItemCount(MailMessage& m) {
    return int64_t(m.index().items.size());
}

std::optional<std::string> asText(MailMessage& m) {
    return m.completeText();
}
void save(MailMessage& m, bind::Path path) {
    m.save(path.ansi());
}
void load(MailMessage& m, bind::Path path) {
    m.load(path.ansi());
}

// A path argument: a non-empty string without NUL characters.
std::optional<std::u16string> pathOf(const ScriptValue& value) {
    if (value.tag != kTagString || value.str->length == 0) return std::nullopt;
    std::u16string_view text = stringView(value);
    if (text.find(u'\0') != std::u16string_view::npos) return std::nullopt;
    return std::u16string(text);
}

std::optional<std::string> streamBytes(ScriptEngine* engine, const ScriptValue& value) {
    size_t length = 0;
    const uint8_t* bytes = stringStreamBytes(engine, value, &length);
    if (!bytes) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(bytes), length);
}

const PartRecord* attachmentAt(MailMessage& m, int64_t i) {
    const auto& list = m.index().attachments;
    return i >= 0 && uint64_t(i) < list.size() ? &list[size_t(i)] : nullptr;
}
const PartRecord* itemAt(MailMessage& m, int64_t i) {
    const auto& list = m.index().items;
    return i >= 0 && uint64_t(i) < list.size() ? &list[size_t(i)] : nullptr;
}

std::u16string numbered(const char16_t* word, int64_t i) {
    return word + mail::fromAnsi(std::to_string(i + 1));
}

// The name scripts see, and use to name files: never a path.
std::u16string attachmentName(const PartRecord& part, int64_t i) {
    return mail::safeFileName(part.name, numbered(u"attachment ", i));
}
std::u16string itemName(const PartRecord& part, int64_t i) {
    return mail::safeFileName(part.name, numbered(u"item ", i));
}

// Writes the part to the path (a folder path gets the safe name added) or, without a path,
// returns it as a new StringStream.
ScriptValue savePart(ScriptEngine* engine, MailMessage& m, const PartRecord& part,
                     const std::u16string& safeName, std::optional<bind::Path> path) {
    if (!path) {
        std::optional<std::string> bytes = m.decodePart(part);
        if (!bytes) return makeUndefined();
        return newStringStreamFromBytes(engine, bytes->data(), bytes->size());
    }
    std::u16string target = path->wide;
    if (mail::isFolderPath(target)) target += safeName;
    m.savePart(part, mail::toAnsi(target));
    return makeUndefined();
}

std::optional<std::u16string> getAttachmentName(MailMessage& m, int64_t i) {
    const PartRecord* part = attachmentAt(m, i);
    if (!part) return std::nullopt;
    return attachmentName(*part, i);
}
std::optional<std::string> getAttachmentContentType(MailMessage& m, int64_t i) {
    const PartRecord* part = attachmentAt(m, i);
    if (!part) return std::nullopt;
    return part->contentType;
}
ScriptValue saveAttachment(ScriptEngine* engine, MailMessage& m, int64_t i,
                           std::optional<bind::Path> path) {
    const PartRecord* part = attachmentAt(m, i);
    if (!part) return makeUndefined();
    PartRecord copy = *part;
    return savePart(engine, m, copy, attachmentName(copy, i), std::move(path));
}

// addAttachment(path) or addAttachment(stringStream, name).
void addAttachment(ScriptEngine* engine, MailMessage& m, ScriptValue source, ScriptValue name) {
    if (auto path = pathOf(source)) {
        m.addAttachment(*path);
    } else if (auto bytes = streamBytes(engine, source)) {
        if (name.tag != kTagString) return;
        m.addAttachment(std::u16string(stringView(name)), std::move(*bytes));
    }
}
void removeAttachment(MailMessage& m, int64_t i) {
    if (attachmentAt(m, i)) m.removeAttachment(size_t(i));
}

std::optional<std::u16string> getHtmlItemName(MailMessage& m, int64_t i) {
    const PartRecord* item = itemAt(m, i);
    if (!item) return std::nullopt;
    return itemName(*item, i);
}
std::optional<std::string> getHtmlItemId(MailMessage& m, int64_t i) {
    const PartRecord* item = itemAt(m, i);
    if (!item) return std::nullopt;
    return item->contentId;
}
ScriptValue saveHtmlItem(ScriptEngine* engine, MailMessage& m, int64_t i,
                         std::optional<bind::Path> path) {
    const PartRecord* item = itemAt(m, i);
    if (!item) return makeUndefined();
    PartRecord copy = *item;
    return savePart(engine, m, copy, itemName(copy, i), std::move(path));
}

// addHtmlItem(path, contentId) or addHtmlItem(stringStream, contentId, name).
void addHtmlItem(ScriptEngine* engine, MailMessage& m, ScriptValue source, std::u16string id,
                 ScriptValue name) {
    if (auto path = pathOf(source)) {
        m.addHtmlItem(*path, mail::toAnsi(id));
    } else if (auto bytes = streamBytes(engine, source)) {
        if (name.tag != kTagString) return;
        m.addHtmlItem(std::u16string(stringView(name)), std::move(*bytes), mail::toAnsi(id));
    }
}
void removeHtmlItem(MailMessage& m, int64_t i) {
    if (itemAt(m, i)) m.removeHtmlItem(size_t(i));
}

constexpr bind::Member kMailMembers[] = {
    bind::property<getField<HeaderField::kFrom>, setField<HeaderField::kFrom>>("from").doc(
        "The From header as written; \"\" when unset."),
    bind::property<getField<HeaderField::kReplyTo>, setField<HeaderField::kReplyTo>>("replyTo").doc(
        "The Reply-To header; \"\" when unset."),
    bind::property<getField<HeaderField::kTo>, setField<HeaderField::kTo>>("to").doc(
        "The To header: addresses separated by commas (SendMail sends to these)."),
    bind::property<getField<HeaderField::kSubject>, setField<HeaderField::kSubject>>("subject").doc(
        "The Subject header; \"\" when unset."),
    bind::property<getField<HeaderField::kCc>, setField<HeaderField::kCc>>("cc").doc(
        "The Cc header; \"\" when unset."),
    bind::property<getField<HeaderField::kBcc>, setField<HeaderField::kBcc>>("bcc").doc(
        "The Bcc header; \"\" when unset."),
    bind::property<getField<HeaderField::kDate>, setField<HeaderField::kDate>>("date").doc(
        "The Date header as written (not filled in automatically); \"\" when unset."),
    bind::property<getPriority, setPriority>("priority")
        .doc("The priority, an integer (0 when unset); only integers can be assigned."),
    bind::getter<getSize>("size").doc("The message's size in bytes as it would be written now."),
    bind::property<getText, setText>("text").doc(
        "The plain-text part, decoded; \"\" when there is none. Assigning replaces it."),
    bind::property<getHtml, setHtml>("html").doc(
        "The HTML part, decoded; \"\" when there is none. Assigning replaces it."),
    bind::getter<attachmentCount>("attachmentCount").doc("The number of attachments."),
    bind::getter<htmlItemCount>("htmlItemCount")
        .doc("The number of items (pictures and the like) the HTML part refers to."),
    bind::method<asText>("asText", bind::Empty::kEmptyString)
        .doc("The complete message, headers and body, as a string."),
    bind::method<save>("save").doc(
        "path", "Writes the complete message to the file (created or replaced)."),
    bind::method<load>("load").doc("path",
                                   "Replaces the message with the file's content and parses it; "
                                   "nothing happens when it cannot be opened."),
    bind::method<getAttachmentName>("getAttachmentName")
        .doc("index", "The name of attachment index (0-based); undefined when out of range."),
    bind::method<getAttachmentContentType>("getAttachmentContentType")
        .doc("index",
             "The content type of attachment index, such as \"image/png\"; undefined when out of "
             "range."),
    bind::method<saveAttachment>("saveAttachment")
        .doc("index, path", "Decodes attachment index into the file."),
    bind::method<addAttachment>("addAttachment")
        .doc("path", "Attaches the file, named after it, with a content type from its extension."),
    bind::method<removeAttachment>("removeAttachment").doc("index", "Removes attachment index."),
    bind::method<getHtmlItemName>("getHtmlItemName")
        .doc("index", "The file name of HTML item index; undefined when out of range."),
    bind::method<getHtmlItemId>("getHtmlItemID")
        .doc("index", "The Content-ID of HTML item index, or \"\"."),
    bind::method<saveHtmlItem>("saveHtmlItem")
        .doc("index, path", "Decodes HTML item index into the file."),
    bind::method<addHtmlItem>("addHtmlItem")
        .doc("path, contentId",
             "Adds the file as an HTML item the HTML part refers to as \"cid:contentId\"."),
    bind::method<removeHtmlItem>("removeHtmlItem").doc("index", "Removes HTML item index."),
    bind::objectText("[object Mail]"),
};

}  // namespace

void registerMail(ScriptEngine* engine) {
    bind::defineClass<MailMessage>(
        engine, {.name = "Mail",
                 .id = ClassId::kMail,
                 .members = {kMailMembers},
                 .construct = bind::constructor<makeMail>,
                 .synopsis = "",
                 .summary = "A mail message: headers, a text and an HTML part, attachments and "
                            "HTML items, kept in a temporary file; compose one to send with "
                            "SendMail, or get one from RecvMail.retr."});
}

}  // namespace quill
