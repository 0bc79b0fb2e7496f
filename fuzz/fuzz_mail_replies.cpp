// Fuzz target: what the SMTP and POP3 clients read from a server, on arbitrary bytes: reply codes
// and the AUTH line of EHLO replies, POP3 status lines and listings (whose message numbers must
// not make huge arrays), and message text split at a point the input chooses, which must come off
// the same way whatever the split and never grow.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_engine.h"
#include "host/net/mail_protocol.h"

using namespace quill;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    mail::smtpReplyIn(input, 200);
    if (mail::offeredAuthMechanisms(input) & ~unsigned(7)) fuzz::fail("unknown mechanism bit");
    for (const std::string& address : mail::recipientAddresses(input)) {
        if (address.find(',') != std::string::npos) fuzz::fail("comma in an address", address);
    }
    mail::cramMd5Answer("user", input.substr(0, 100), input);
    mail::pop3StatusText(input);
    mail::pop3ListedSize(input);
    mail::pop3ListedId(input);
    for (bool numeric : {true, false}) {
        auto listing = mail::pop3Listing(input, numeric);
        if (listing.size() > size_t(mail::kMaxListedMessage)) fuzz::fail("listing too long");
    }

    // The first byte chooses where the message text is split.
    if (size == 0) return 0;
    size_t cut = data[0] % size;
    std::string_view text = input.substr(1);
    cut = cut < text.size() ? cut : text.size();
    mail::Pop3MessageReader whole, split;
    std::string a, b;
    whole.add(text, a);
    split.add(text.substr(0, cut), b);
    split.add(text.substr(cut), b);
    if (a != b || whole.ended() != split.ended()) fuzz::fail("depends on the split", text);
    if (a.size() > text.size()) fuzz::fail("message text grew", text);

    mail::SmtpLineWriter writer;
    std::string out;
    auto take = [&](std::string_view line) {
        if (line.size() < 2 || line.substr(line.size() - 2) != "\r\n") fuzz::fail("unended line");
        // A line that begins with a dot always carries the added one.
        if (line[0] == '.' && (line.size() < 4 || line[1] != '.')) fuzz::fail("unstuffed", line);
        out.append(line);
        return true;
    };
    writer.add(text, take);
    writer.finish(take);
    // What goes out comes back as the text (line ends made CR LF).
    mail::Pop3MessageReader back;
    std::string returned;
    back.add(out + ".\r\n", returned);
    if (!back.ended()) fuzz::fail("sent message does not end", out);
    return 0;
}
