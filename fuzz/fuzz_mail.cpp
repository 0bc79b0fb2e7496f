// Fuzz target: the mail parser and the message model on arbitrary bytes (header folding, nested
// and broken multiparts, bad boundaries and encodings). Every range the parser gives lies inside
// the message and in order; every part decodes; regenerating keeps every part's bytes; and the
// regenerated message parses into exactly the index the regeneration left.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_engine.h"
#include "host/net/mail_message.h"
#include "host/net/mail_parser.h"

using namespace quill;
using namespace quill::mail;

namespace {

void checkRange(const PartRecord& part, size_t size, int64_t* last) {
    if (part.start < 0 && part.end < 0) return;
    if (part.start < 0 || part.end < part.start || part.end > int64_t(size)) {
        fuzz::fail("a part's range lies outside the message");
    }
    if (part.start < *last) fuzz::fail("parts are out of message order");
    *last = part.start;
}

struct Decoded {
    std::string text, html;
    std::vector<std::string> attachments, items;
    std::vector<std::u16string> names;
    std::vector<std::string> ids;
};

Decoded decodeAll(const MailMessage& m) {
    Decoded d;
    auto bytes = [&](const PartRecord& part) {
        std::optional<std::string> out = m.decodePart(part);
        if (!out) fuzz::fail("a part of the message file cannot be read");
        return *out;
    };
    d.text = bytes(m.index().text);
    d.html = bytes(m.index().html);
    for (const PartRecord& part : m.index().attachments) {
        d.attachments.push_back(bytes(part));
        d.names.push_back(part.name);
    }
    for (const PartRecord& part : m.index().items) {
        d.items.push_back(bytes(part));
        d.ids.push_back(part.contentId);
    }
    (void)m.text();
    (void)m.html();
    return d;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 256 * 1024) return 0;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);

    ParsedMessage parsed = parseMessage(bytes);
    int64_t last = -1;
    const PartIndex& index = parsed.index;
    // Text and HTML may stand anywhere among the other parts; each list is in order.
    checkRange(index.text, size, &last);
    last = -1;
    checkRange(index.html, size, &last);
    last = -1;
    for (const PartRecord& part : index.attachments) checkRange(part, size, &last);
    last = -1;
    for (const PartRecord& part : index.items) checkRange(part, size, &last);

    auto message = MailMessage::create();
    if (!message || !message->loadBytes(bytes)) fuzz::fail("a message could not be loaded");
    Decoded before = decodeAll(*message);

    // Regenerate: every part keeps its bytes, and the index then describes the new file
    // exactly as parsing it again does.
    message->setPriority(message->priority());
    std::optional<std::string> regenerated = message->completeText();
    if (!regenerated) fuzz::fail("the message could not be regenerated");
    if (int64_t(regenerated->size()) != message->size()) fuzz::fail("size differs from asText");
    Decoded written = decodeAll(*message);
    if (written.text != before.text || written.html != before.html ||
        written.attachments != before.attachments || written.items != before.items ||
        written.names != before.names) {
        fuzz::fail("a part changed on regeneration", *regenerated);
    }
    auto again = MailMessage::create();
    if (!again || !again->loadBytes(*regenerated))
        fuzz::fail("the regenerated message did not load");
    Decoded reread = decodeAll(*again);
    if (reread.text != written.text || reread.html != written.html) {
        fuzz::fail("the regenerated text or HTML reads back differently", *regenerated);
    }
    if (reread.attachments != written.attachments || reread.names != written.names) {
        fuzz::fail("the regenerated attachments read back differently", *regenerated);
    }
    if (reread.items != written.items || reread.ids != written.ids) {
        fuzz::fail("the regenerated HTML items read back differently", *regenerated);
    }
    return 0;
}
