// The SendMail and RecvMail host classes: the SMTP and POP3 clients for scripts. Both hold a
// server account and a progress handler (`onSend`, `onRecv`) that hears every step; no member
// raises a script error: failures are false, null or undefined results plus progress reports.
// While a member is talking to the server, the handler it calls cannot start another exchange
// on the same object (such calls give their failure result).
#include <memory>
#include <optional>
#include <string>

#include "builtins/builtins.h"
#include "host/net/handler_call.h"
#include "host/net/mail_charset.h"
#include "host/net/mail_clients.h"
#include "host/net/mail_message.h"
#include "host/net/mail_protocol.h"
#include "platform/file_io.h"
#include "runtime/array.h"
#include "runtime/class_binding.h"

namespace quill {

namespace {

using mail::MailMessage;

// What both classes share: the account, the handler and the bridge from progress reports to it.
class MailClient {
  public:
    MailClient(ScriptEngine* owner, uint16_t port) : engine(owner) {
        account.port = port;
        progress = [this](int code, std::string_view text) { return report(code, text); };
    }
    MailClient(const MailClient&) = delete;
    MailClient& operator=(const MailClient&) = delete;

    ScriptEngine* engine;
    mail::ServerAccount account;
    const ScriptValue* handler = nullptr;  // the class's handler property
    mail::Progress progress;
    bool busy = false;  // a member is talking to the server

  private:
    bool report(int code, std::string_view text) {
        if (!handler || handler->tag != kTagFunction) return true;
        ScriptValue textValue;
        newStringFromAnsi(engine, &textValue, text.data(), text.size());
        ScriptValue answer;
        // A handler that failed has its failure traced and counts as a stop.
        if (!net::callHandler(engine, nullptr, *handler, {makeInteger(code), textValue}, &answer)) {
            return false;
        }
        return toBoolean(engine, answer) != 0;
    }
};

// Marks the object busy for one exchange; nothing when it already is.
class Exchange {
  public:
    explicit Exchange(MailClient& client) : client_(client), entered_(!client.busy) {
        client_.busy = true;
    }
    ~Exchange() {
        if (entered_) client_.busy = false;
    }
    explicit operator bool() const { return entered_; }

  private:
    MailClient& client_;
    bool entered_;
};

class SendMailObject final : public MailClient {
  public:
    explicit SendMailObject(ScriptEngine* owner) : MailClient(owner, 25), manual(progress) {
        handler = &onSend;
    }
    ScriptValue onSend = makeUndefined();
    mail::SmtpChannel manual;
};

class RecvMailObject final : public MailClient {
  public:
    explicit RecvMailObject(ScriptEngine* owner) : MailClient(owner, 110), session(progress) {
        handler = &onRecv;
    }
    ScriptValue onRecv = makeUndefined();
    mail::Pop3Session session;
};

// ---- the account properties, shared -------------------------------------------------------

template <typename T>
std::string getServer(T& c) {
    return c.account.host;
}
template <typename T>
void setServer(T& c, std::string value) {
    c.account.host = std::move(value);
}
template <typename T>
std::string getUsername(T& c) {
    return c.account.username.value_or(std::string());
}
template <typename T>
void setUsername(T& c, std::string value) {
    c.account.username = std::move(value);
}
template <typename T>
std::string getPassword(T& c) {
    return c.account.password.value_or(std::string());
}
template <typename T>
void setPassword(T& c, std::string value) {
    c.account.password = std::move(value);
}
template <typename T>
int64_t getPort(T& c) {
    return c.account.port;
}
template <typename T>
void setPort(T& c, int64_t value) {
    c.account.port = uint16_t(uint64_t(value) & 0xFFFF);
}

// ---- SendMail ------------------------------------------------------------------------------

// The longest text `command` sends: the command buffer of the dialogue, less its terminator.
constexpr size_t kMaxCommand = 1023;

// A copy of the complete message that the handler cannot change under the transfer (a handler
// that edits the Mail replaces its file).
std::FILE* copyOfMessage(MailMessage& m, std::string* path) {
    if (!m.regenerate()) return nullptr;
    std::FILE* source = m.file();
    std::FILE* copy = platform::createTempFile(path);
    if (!copy) return nullptr;
    bool ok = std::fflush(source) == 0 && platform::seekFile(source, 0, SEEK_SET);
    char buffer[64 * 1024];
    while (ok) {
        size_t got = std::fread(buffer, 1, sizeof buffer, source);
        if (got > 0 && std::fwrite(buffer, 1, got, copy) != got) ok = false;
        if (got < sizeof buffer) {
            ok = ok && !std::ferror(source);
            break;
        }
    }
    if (ok && std::fflush(copy) == 0) return copy;
    std::fclose(copy);
    platform::removeNativeFile(*path);
    return nullptr;
}

bool send(SendMailObject& s, bind::Instance<MailMessage, ClassId::kMail> mailArg) {
    Exchange exchange(s);
    if (!exchange) return false;
    MailMessage& m = *mailArg;
    const auto& from = m.field(mail::HeaderField::kFrom);
    const auto& to = m.field(mail::HeaderField::kTo);
    if (!from || from->empty() || !to || to->empty()) return false;
    std::string fromText = mail::toAnsi(*from), toText = mail::toAnsi(*to);
    std::string path;
    std::FILE* message = copyOfMessage(m, &path);
    if (!message) return false;
    bool sent = mail::sendMessage(s.account, fromText, toText, message, s.progress);
    std::fclose(message);
    platform::removeNativeFile(path);
    return sent;
}

bool connectManual(SendMailObject& s) {
    Exchange exchange(s);
    if (!exchange) return false;
    s.manual.close();
    return s.manual.open(s.account.host, s.account.port);
}

ScriptValue command(ScriptEngine* engine, SendMailObject& s, std::string text) {
    Exchange exchange(s);
    if (!exchange || !s.manual.isOpen()) return makeBoolean(false);
    if (text.size() > kMaxCommand) {
        // Cut short it would be another command; sent whole it would pass the server's limit.
        std::string why = "Warning: SendMail.command: a command may be at most " +
                          std::to_string(kMaxCommand) + " bytes, not " +
                          std::to_string(text.size());
        warn(engine, why.c_str());
        return makeBoolean(false);
    }
    std::string reply;
    if (!s.manual.sendRaw(text) || !s.manual.readReply(&reply)) return makeBoolean(false);
    ScriptValue out;
    newStringFromAnsi(engine, &out, reply.data(), reply.size());
    return out;
}

bool write(SendMailObject& s, std::string text) {
    Exchange exchange(s);
    if (!exchange || !s.manual.isOpen()) return false;
    return s.manual.sendRaw(text);
}

void closeManual(SendMailObject& s) {
    if (!s.busy) s.manual.close();
}

constexpr bind::Member kSendMailMembers[] = {
    bind::property<getServer<SendMailObject>, setServer<SendMailObject>>("server").doc(
        "The SMTP server's name or address (default \"localhost\"); only strings can be assigned."),
    bind::property<getUsername<SendMailObject>, setUsername<SendMailObject>>("username")
        .doc("The user name for authentication (CRAM-MD5, LOGIN or PLAIN, as the server offers); "
             "\"\" when unset."),
    bind::property<getPassword<SendMailObject>, setPassword<SendMailObject>>("password")
        .doc("The password for authentication; \"\" when unset."),
    bind::property<getPort<SendMailObject>, setPort<SendMailObject>>("port").doc(
        "The server's port (default 25); only integers can be assigned."),
    bind::handler<&SendMailObject::onSend>("onSend").doc(
        "Called as handler(code, text) on progress: 0 a socket error, 1 a server reply, 2 a "
        "command sent, 3 bytes sent (return false to stop)."),
    bind::method<send>("send", bind::Empty::kFalse)
        .doc("mail",
             "Sends a Mail that has from and to set, on a new connection, to every address of "
             "to (the part inside <...> of each, and of from for the sender); true when the "
             "server accepted it."),
    bind::method<connectManual>("connect", bind::Empty::kFalse)
        .doc("Opens a connection of its own to server and port for command and write; true when "
             "connected."),
    bind::method<command>("command", bind::Empty::kFalse)
        .doc("line",
             "Sends line (with its own CR LF) on that connection and answers the server's reply; "
             "false on failure."),
    bind::method<write>("write", bind::Empty::kFalse)
        .doc("text", "Sends text unchanged on that connection; true when sent."),
    bind::method<closeManual>("close").doc("Closes that connection."),
    bind::objectText("[object SendMail]"),
};

// ---- RecvMail ------------------------------------------------------------------------------

ScriptValue newAnsiString(ScriptEngine* engine, std::string_view text) {
    ScriptValue out;
    newStringFromAnsi(engine, &out, text.data(), text.size());
    return out;
}

bool connectPop3(RecvMailObject& r) {
    Exchange exchange(r);
    if (!exchange) return false;
    r.session.close();
    return r.session.connect(r.account);
}

std::optional<std::string> commandReply(RecvMailObject& r, const std::string& line) {
    Exchange exchange(r);
    if (!exchange) return std::nullopt;
    return r.session.command(line);
}

std::string numbered(const char* verb, int64_t n) {
    return std::string(verb) + " " + std::to_string(n) + "\r\n";
}

std::optional<std::string> stat(RecvMailObject& r) {
    std::optional<std::string> reply = commandReply(r, "STAT\r\n");
    if (!reply) return std::nullopt;
    return mail::pop3StatusText(*reply);
}

// list(n) or uidl(n): the value of one message; list() or uidl(): an array of all.
ScriptValue listed(ScriptEngine* engine, RecvMailObject& r, bind::Args args, const char* verb,
                   bool numeric) {
    if (args.size() >= 1 && args[1].tag != kTagUndefined) {
        if (args[1].tag != kTagInteger) return makeNull();
        std::optional<std::string> reply = commandReply(r, numbered(verb, args[1].i));
        if (!reply) return makeNull();
        if (numeric) {
            std::optional<int64_t> size = mail::pop3ListedSize(*reply);
            return size ? makeInteger(*size) : makeNull();
        }
        std::optional<std::string> id = mail::pop3ListedId(*reply);
        return id ? newAnsiString(engine, *id) : makeNull();
    }
    std::optional<std::string> whole;
    {
        Exchange exchange(r);
        if (!exchange) return makeNull();
        whole = r.session.listing(std::string(verb) + "\r\n");
    }
    if (!whole) return makeNull();
    auto entries = mail::pop3Listing(*whole, numeric);
    ScriptValue array;
    newArray(engine, &array, entries.size());
    RootedValues rooted(engine, &array, 1);
    for (size_t i = 0; i < entries.size(); ++i) {
        if (!entries[i]) continue;
        ScriptValue value =
            numeric ? makeInteger(std::stoll(*entries[i])) : newAnsiString(engine, *entries[i]);
        setElement(engine, array, value, i);
    }
    return array;
}

ScriptValue list(ScriptEngine* engine, RecvMailObject& r, bind::Args args) {
    return listed(engine, r, args, "LIST", true);
}
ScriptValue uidl(ScriptEngine* engine, RecvMailObject& r, bind::Args args) {
    return listed(engine, r, args, "UIDL", false);
}

// A failed transfer keeps what arrived: the Mail holds it, parsed, and stays usable.
ScriptValue retr(ScriptEngine* engine, RecvMailObject& r, int64_t n) {
    Exchange exchange(r);
    if (!exchange || !r.session.isOpen()) return makeNull();
    std::unique_ptr<MailMessage> m = MailMessage::create();
    if (!m) return makeNull();
    std::FILE* file = m->file();
    bool written = true;
    r.session.transfer(numbered("RETR", n), mail::kMaxMessageBytes, [&](std::string_view text) {
        written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
        return written;
    });
    if (!written) {
        r.progress(mail::kSocketFailed, "the message could not be stored");
    }
    std::fflush(file);
    m->parseFile();
    return bind::newInstance(engine, ClassId::kMail, std::move(m));
}

ScriptValue top(ScriptEngine* engine, RecvMailObject& r, int64_t n, int64_t lines) {
    Exchange exchange(r);
    if (!exchange) return makeNull();
    // The text becomes a script string: it counts against the heap limit while it arrives.
    std::string text;
    size_t charged = 0;
    auto release = [&] {
        releaseExternalMemory(engine, charged);
        charged = 0;
    };
    bool ok = r.session.transfer("TOP " + std::to_string(n) + " " + std::to_string(lines) + "\r\n",
                                 mail::kMaxMessageBytes, [&](std::string_view piece) {
                                     // A script string takes two bytes a character.
                                     if (!chargeExternalMemory(engine, 2 * piece.size()))
                                         return false;
                                     charged += 2 * piece.size();
                                     text.append(piece);
                                     return true;
                                 });
    release();
    if (!ok) return makeNull();
    return newAnsiString(engine, text);
}

bool simple(RecvMailObject& r, const std::string& line) {
    return commandReply(r, line).has_value();
}
bool dele(RecvMailObject& r, int64_t n) {
    return simple(r, numbered("DELE", n));
}
bool noop(RecvMailObject& r) {
    return simple(r, "NOOP\r\n");
}
bool rset(RecvMailObject& r) {
    return simple(r, "RSET\r\n");
}
bool quit(RecvMailObject& r) {
    return simple(r, "QUIT\r\n");
}
void closePop3(RecvMailObject& r) {
    if (!r.busy) r.session.close();
}

constexpr bind::Member kRecvMailMembers[] = {
    bind::property<getServer<RecvMailObject>, setServer<RecvMailObject>>("server").doc(
        "The POP3 server's name or address (default \"localhost\"); only strings can be assigned."),
    bind::property<getUsername<RecvMailObject>, setUsername<RecvMailObject>>("username")
        .doc("The user name; with a password, connect logs in with USER and PASS."),
    bind::property<getPassword<RecvMailObject>, setPassword<RecvMailObject>>("password")
        .doc("The password; \"\" when unset."),
    bind::property<getPort<RecvMailObject>, setPort<RecvMailObject>>("port").doc(
        "The server's port (default 110); only integers can be assigned."),
    bind::handler<&RecvMailObject::onRecv>("onRecv").doc(
        "Called as handler(code, text) on progress: 0 a socket error, 1 an error reply, 3 bytes "
        "received so far (return false to stop)."),
    bind::method<connectPop3>("connect", bind::Empty::kFalse)
        .doc("Connects and, when username and password are set, logs in; true on success."),
    bind::method<stat>("stat", bind::Empty::kNull)
        .doc("The STAT reply after \"+OK \" (message count and total size); null on failure."),
    bind::method<list>("list", bind::Empty::kNull)
        .doc("[number]",
             "The size of message number (from 1), or an array of all sizes; null on failure."),
    bind::method<uidl>("uidl", bind::Empty::kNull)
        .doc("[number]",
             "The unique id of message number, or an array of all ids; null on failure."),
    bind::method<retr>("retr", bind::Empty::kNull)
        .doc("number", "Message number as a new Mail object; null on failure."),
    bind::method<top>("top", bind::Empty::kNull)
        .doc("number, lines",
             "The headers and first lines of message number as a string; null on failure."),
    bind::method<dele>("dele", bind::Empty::kFalse)
        .doc("number", "Marks message number for deletion; true when the server agreed."),
    bind::method<noop>("noop", bind::Empty::kFalse)
        .doc("Sends NOOP; true when the server answered +OK."),
    bind::method<rset>("rset", bind::Empty::kFalse)
        .doc("Undoes deletions; true when the server agreed."),
    bind::method<quit>("quit", bind::Empty::kFalse)
        .doc("Sends QUIT, which makes deletions final; true when the server agreed (the connection "
             "stays open until close)."),
    bind::method<closePop3>("close").doc("Closes the connection."),
    bind::objectText("[object RecvMail]"),
};

std::unique_ptr<SendMailObject> makeSendMail(ScriptEngine* engine) {
    return std::make_unique<SendMailObject>(engine);
}
std::unique_ptr<RecvMailObject> makeRecvMail(ScriptEngine* engine) {
    return std::make_unique<RecvMailObject>(engine);
}

}  // namespace

void registerSendMail(ScriptEngine* engine) {
    platform::startSockets();
    bind::defineClass<SendMailObject>(
        engine,
        {.name = "SendMail",
         .id = ClassId::kSendMail,
         .members = {kSendMailMembers},
         .construct = bind::constructor<makeSendMail>,
         .synopsis = "",
         .summary = "An SMTP client: sends Mail messages, or drives a conversation by hand with "
                    "connect, command and write. Blocking, with 60-second time-outs."});
}

void registerRecvMail(ScriptEngine* engine) {
    platform::startSockets();
    bind::defineClass<RecvMailObject>(
        engine, {.name = "RecvMail",
                 .id = ClassId::kRecvMail,
                 .members = {kRecvMailMembers},
                 .construct = bind::constructor<makeRecvMail>,
                 .synopsis = "",
                 .summary = "A POP3 client: logs in and gives the POP3 commands as methods; retr "
                            "gives Mail objects. Blocking, with 60-second time-outs."});
}

}  // namespace quill
