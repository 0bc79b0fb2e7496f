// SendMail and RecvMail from scripts against real servers on loopback (aiosmtpd and Dovecot,
// started by tests/net/mail_servers.py), natively and under Wine: every authentication the
// server offers, what arrives byte for byte, recipients, progress reports and their stop
// answer, the hand-driven SMTP connection, POP3 commands and retrieval, and a message sent and
// read back. Scripted peers give the faults real servers do not: each ends in the failure
// result with the engine still usable.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "host/net/mail_clients.h"
#include "net_test_support.h"
#include "runtime/embed.h"

namespace quill::test {
namespace {

// The server `name` of tests/net/mail_servers.py (QUILL_MAIL_<name>, host:port).
Endpoint mailServer(const std::string& name) {
    std::string variable = "QUILL_MAIL_" + name;
    const char* value = std::getenv(variable.c_str());
    EXPECT_NE(value, nullptr) << variable << " is not set: run through tests/net/mail_servers.py";
    std::string text = value ? value : "127.0.0.1:9";
    size_t colon = text.find(':');
    return {text.substr(0, colon), uint16_t(std::stoi(text.substr(colon + 1)))};
}

// Where the SMTP servers drop what they accept: N.eml and N.json per server.
std::filesystem::path inbox(const std::string& name) {
    const char* root = std::getenv("QUILL_MAIL_INBOX");
    EXPECT_NE(root, nullptr);
    std::string path = root ? root : "";
#ifdef _WIN32
    path = "Z:" + path;
#endif
    return std::filesystem::path(path) / name;
}

size_t receivedCount(const std::string& name) {
    size_t n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(inbox(name))) {
        n += entry.path().extension() == ".eml";
    }
    return n;
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string received(const std::string& name, size_t n, const char* extension) {
    return readFile(inbox(name) / (std::to_string(n) + extension));
}

class MailClientTest : public ::testing::Test {
  protected:
    void SetUp() override { start({}); }
    void TearDown() override {
        destroyEngine(engine);
        mail::setMailTimeoutForTests(mail::kMailTimeoutMs);
    }
    void start(EngineConfig config) {
        if (engine) destroyEngine(engine);
        engine = createEngine(config);
        ASSERT_NE(engine, nullptr);
        setTraceText(
            engine,
            [](void* user, std::string_view text) { *static_cast<std::string*>(user) += text; },
            &trace);
    }

    std::string run(const std::string& script) {
        EXPECT_EQ(runScriptText(engine, script), 1) << errorText(engine) << "\n" << script;
        return completionText(engine);
    }

    // Script text that points the object `name` at a server and logs its reports in `log`.
    static std::string account(const char* name, const std::string& server,
                               const char* handler = "onSend") {
        Endpoint e = mailServer(server);
        return std::string("var log = [];") + name + ".server = '" + e.host + "'; " + name +
               ".port = " + std::to_string(e.port) + "; " + name + "." + handler +
               " = function (code, text) { log.push(code + '|' + text); return true; };";
    }

    // Results collected one statement at a time: the dialect evaluates array literals and
    // arguments from right to left, which would reorder the exchanges.
    static constexpr const char* kSteps = "var out = []; function o(v) { out.push(v); }";

    // A message with a body line holding a single dot and lines that begin with one.
    static constexpr const char* kComposeMail =
        "var m = new Mail(); m.from = 'sender@quill.test'; m.to = 'rcpt@quill.test';"
        "m.subject = 'dots'; m.text = 'first\\r\\n.\\r\\n.leading dot\\r\\n..two\\r\\nlast';";

    ScriptEngine* engine = nullptr;
    std::string trace;
};

// The message that arrived, transparency undone, is the message Mail composed.
void expectSameMessage(const std::string& composed, const std::string& arrived) {
    std::string expected = composed;
    if (expected.size() < 2 || expected.compare(expected.size() - 2, 2, "\r\n") != 0) {
        expected += "\r\n";  // the last line is ended on the way out
    }
    EXPECT_EQ(arrived, expected);
}

TEST_F(MailClientTest, SendsThroughEveryAuthenticationTheServerOffers) {
    // Server, the mechanism that should be used (empty: none).
    const std::pair<const char*, const char*> cases[] = {{"NOAUTH", ""},
                                                         {"AUTH", "CRAM-MD5"},
                                                         {"CRAM", "CRAM-MD5"},
                                                         {"LOGIN", "LOGIN"},
                                                         {"PLAIN", "PLAIN"}};
    for (auto [name, mechanism] : cases) {
        SCOPED_TRACE(name);
        std::string box = std::string("SMTP_") + name;
        size_t before = receivedCount(name);
        std::string out =
            run(std::string(kComposeMail) + "var s = new SendMail();" + account("s", box) +
                "s.username = 'quill'; s.password = 's3cret';"
                "s.send(m) + '\\n' + m.asText() + '\\n--log--\\n' + log.join('\\n')");
        ASSERT_EQ(out.substr(0, 5), "true\n") << out;
        ASSERT_EQ(receivedCount(name), before + 1);
        std::string composed = out.substr(5, out.find("\n--log--\n") - 5);
        expectSameMessage(composed, received(name, before + 1, ".eml"));
        std::string envelope = received(name, before + 1, ".json");
        if (*mechanism) {
            EXPECT_NE(envelope.find(std::string("\"auth\": \"") + mechanism + "\""),
                      std::string::npos)
                << envelope;
            EXPECT_NE(out.find(std::string("2|AUTH ") + mechanism), std::string::npos);
        } else {
            // Credentials are set, but a server without AUTH is not asked.
            EXPECT_EQ(out.find("2|AUTH"), std::string::npos) << out;
        }
        EXPECT_EQ(out.find("s3cret"), std::string::npos);
        EXPECT_EQ(out.find("czNjcmV0"), std::string::npos);  // base64 of the password
    }
}

TEST_F(MailClientTest, WrongPasswordFailsAndIsNeverReported) {
    for (const char* name : {"LOGIN", "PLAIN", "CRAM"}) {
        SCOPED_TRACE(name);
        size_t before = receivedCount(name);
        std::string out = run(std::string(kComposeMail) + "var s = new SendMail();" +
                              account("s", std::string("SMTP_") + name) +
                              "s.username = 'quill'; s.password = 'wrong-pass';"
                              "s.send(m) + '\\n' + log.join('\\n')");
        EXPECT_EQ(out.substr(0, 6), "false\n") << out;
        EXPECT_NE(out.find("1|535"), std::string::npos) << out;
        EXPECT_EQ(out.find("wrong-pass"), std::string::npos) << out;
        EXPECT_EQ(out.find("d3JvbmctcGFzcw"), std::string::npos) << out;  // its base64
        EXPECT_EQ(receivedCount(name), before);
    }
    EXPECT_EQ(trace.find("wrong-pass"), std::string::npos);
    // Without a username the offered AUTH is not used (this server lets anyone send).
    std::string out =
        run(std::string(kComposeMail) + "var s = new SendMail();" + account("s", "SMTP_AUTH") +
            "s.password = 's3cret'; s.send(m) + '\\n' + log.join('\\n')");
    EXPECT_EQ(out.substr(0, 5), "true\n");
    EXPECT_EQ(out.find("2|AUTH"), std::string::npos) << out;
}

TEST_F(MailClientTest, SendsToEveryRecipientOfTo) {
    size_t before = receivedCount("NOAUTH");
    std::string out =
        run(std::string(kComposeMail) +
            "m.to = 'one@quill.test, Second Person <two@quill.test>,three@quill.test';"
            "m.cc = 'not-a-recipient@quill.test';"
            "var s = new SendMail();" +
            account("s", "SMTP_NOAUTH") + "s.send(m)");
    ASSERT_EQ(out, "true");
    EXPECT_EQ(received("NOAUTH", before + 1, ".json"),
              "{\"from\": \"sender@quill.test\", \"to\": [\"one@quill.test\", "
              "\"two@quill.test\", \"three@quill.test\"], \"auth\": null}");
    // A line break in an address would smuggle in a command of its own: nothing is sent.
    EXPECT_EQ(run("m.to = 'one@quill.test>\\r\\nRSET\\r\\nRCPT TO:<x@quill.test'; s.send(m)"),
              "false");
    EXPECT_EQ(receivedCount("NOAUTH"), before + 1);
}

TEST_F(MailClientTest, OnSendStopsTheTransfer) {
    size_t before = receivedCount("NOAUTH");
    // A handler that answers nothing stops at the first message line.
    std::string out =
        run(std::string(kComposeMail) + "var s = new SendMail();" + account("s", "SMTP_NOAUTH") +
            "var lines = 0; s.onSend = function (code, text) {"
            "  if (code == 3) lines++; else return true; };"
            "s.send(m) + ' ' + lines");
    EXPECT_EQ(out, "false 1");
    // Stopping midway: the server never gets the end of the data.
    out = run(
        "var lines = 0; s.onSend = function (code, text) {"
        "  return code != 3 || ++lines < 5; };"
        "s.send(m) + ' ' + lines + ' ' + s.send(new StringStream()) + ' ' + s.send(new Mail())");
    EXPECT_EQ(out, "false 5 false false");
    EXPECT_EQ(receivedCount("NOAUTH"), before);
    // The object is still good for the next message.
    EXPECT_EQ(run("s.onSend = function () { return true; }; s.send(m)"), "true");
    EXPECT_EQ(receivedCount("NOAUTH"), before + 1);
}

TEST_F(MailClientTest, FallsBackToHeloAndReportsUnreachableServers) {
    std::string out =
        run(std::string(kComposeMail) + "var s = new SendMail();" + account("s", "SMTP_HELO") +
            "s.username = 'quill'; s.password = 's3cret';"
            "s.send(m) + '\\n' + log.join('\\n')");
    EXPECT_EQ(out.substr(0, 5), "true\n") << out;
    EXPECT_NE(out.find("2|HELO "), std::string::npos);
    EXPECT_EQ(out.find("2|AUTH"), std::string::npos);

    out = run(std::string(kComposeMail) + "var s = new SendMail();" + account("s", "CLOSED") +
              "s.send(m) + '\\n' + log.join('\\n')");
    EXPECT_EQ(out, "false\n0|can't connect to the smtp server");
}

TEST_F(MailClientTest, DrivesAnSmtpConversationByHand) {
    std::string out =
        run(std::string(kSteps) + "var s = new SendMail();" + account("s", "SMTP_NOAUTH") +
            "o(s.command('NOOP\\r\\n')); o(s.write('x')); o(s.connect());"
            // connect reads nothing: the first command's answer is the greeting.
            "o(s.command('NOOP\\r\\n').substr(0, 4));"
            "o(s.command('MAIL FROM:<' + new Array(1100).join('a') + '>\\r\\n'));"
            "o(s.write('NOOP\\r\\n')); o(s.command('NOOP\\r\\n')); o(s.command(42));"
            "s.close(); o(s.command('NOOP\\r\\n')); out.join('|')");
    // The too-long command is refused before anything is sent, so the replies stay in order.
    EXPECT_EQ(out, "false|false|true|220 |false|true|250 OK\r\n|false|false");
    EXPECT_NE(trace.find("Warning: SendMail.command: a command may be at most 1023 bytes"),
              std::string::npos)
        << trace;
}

// --- POP3 against Dovecot --------------------------------------------------------------------

TEST_F(MailClientTest, ReadsAMailboxWithEveryCommand) {
    std::string out = run(
        std::string(kSteps) + "var r = new RecvMail();" + account("r", "POP3", "onRecv") +
        "r.username = 'alice'; r.password = 'pop-pass';"
        "o(r.stat() === null); o(r.connect());"
        "var st = r.stat(), sizes = r.list(), ids = r.uidl();"
        "o(/^3 [0-9]+$/.test(st)); o(sizes.length);"
        "o(sizes[0] + sizes[1] + sizes[2] == st.split(' ')[1]); o(r.list(2) == sizes[1]);"
        "o(ids.length); o(r.uidl(3) == ids[2]); o(r.list('2') === null); o(r.noop()); o(r.rset());"
        "var head = r.top(1, 0);"
        "o(head.indexOf('Subject: first\\r\\n') > 0); o(head.substr(head.length - 4) == "
        "'\\r\\n\\r\\n');"
        "var first = r.retr(1), big = r.retr(2), corpus = r.retr(3), none = r.retr(9);"
        "var text = big.asText();"
        "o(first.subject); o(first.text == 'Hello Alice.\\r\\n'); o(big.size == sizes[1]);"
        "o(text.indexOf('\\r\\n.a line that begins with a dot\\r\\n.\\r\\n..\\r\\n') > 0);"
        "o(text.indexOf('\\r\\n...') < 0); o(corpus.subject); o(corpus.attachmentCount);"
        "o(corpus.getAttachmentName(0)); o(corpus.size == sizes[2]); o(none.size);"
        "o(r.quit()); o(r.noop()); r.close(); o(r.stat() === null);"
        "out.join('|') + '\\n' + log.join('\\n')");
    EXPECT_EQ(out.substr(0, out.find('\n')),
              "true|true|true|3|true|true|3|true|true|true|true|true|true|first|true|"
              "true|true|true|Here is your dingus fish|1|dingusfish.gif|true|0|true|"
              "false|true")
        << out;
    EXPECT_NE(out.find("\n1|-ERR"), std::string::npos) << out;  // RETR 9
    EXPECT_EQ(out.find("pop-pass"), std::string::npos);
}

TEST_F(MailClientTest, RefusesAWrongPasswordAndDeletes) {
    std::string out =
        run(std::string(kSteps) + "var r = new RecvMail();" + account("r", "POP3", "onRecv") +
            "r.username = 'bob\\r\\nDELE 1'; r.password = 'pop-pass'; o(r.connect());"
            "r.username = 'bob'; r.password = 'not-the-pass';"
            "o(r.connect()); o(r.stat() === null);"
            "r.password = 'pop-pass';"
            "o(r.connect()); o(r.stat().split(' ')[0]); o(r.dele(1)); o(r.dele(1));"
            "o(r.dele()); o(r.quit());"
            "o(r.connect()); o(r.stat().split(' ')[0]);"
            "out.join('|') + '\\n' + log.join('\\n')");
    EXPECT_EQ(out.substr(0, out.find('\n')), "false|false|true|true|2|true|false|false|true|true|1")
        << out;
    EXPECT_NE(out.find("\n1|-ERR"), std::string::npos);
    EXPECT_EQ(out.find("not-the-pass"), std::string::npos);
}

TEST_F(MailClientTest, ListingsLongerThanTheBufferGiveNullAndTheSessionGoesOn) {
    std::string out =
        run(std::string(kSteps) + "var r = new RecvMail();" + account("r", "POP3", "onRecv") +
            "r.username = 'erin'; r.password = 'pop-pass'; r.connect();"
            "o(r.list() === null); o(r.uidl() === null); o(r.stat().split(' ')[0]);"
            "o(r.list(80) > 0); out.join('|')");
    EXPECT_EQ(out, "true|true|80|true");
}

TEST_F(MailClientTest, OnRecvStopsARetrievalAndTheMailStaysUsable) {
    std::string out = run(
        std::string(kSteps) + "var r = new RecvMail();" + account("r", "POP3", "onRecv") +
        "r.username = 'alice'; r.password = 'pop-pass'; r.connect();"
        "var calls = 0; r.onRecv = function (code, text) { if (code == 3) calls++; return false; };"
        "var m = r.retr(2), size = m.size;"
        "m.text = 'replaced'; o(calls); o(size > 0); o(m.text); o(r.stat() === null);"
        "out.join('|')");
    EXPECT_EQ(out, "1|true|replaced|true");
}

TEST_F(MailClientTest, SendsAMessageAndReadsItBack) {
    std::string out =
        run(std::string(kSteps) +
            "var m = new Mail(); m.from = 'sender@quill.test'; m.to = 'carol@quill.test';"
            "m.subject = 'round trip'; m.text = 'Hello Carol.\\r\\n.\\r\\nBye.';"
            "var data = new StringStream(); data.writeString('attached bytes .\\r\\n.\\r\\n');"
            "m.addAttachment(data, 'notes.txt');"
            "var s = new SendMail();" +
            account("s", "SMTP_DELIVER") +
            "o(s.send(m));"
            "var r = new RecvMail();" +
            account("r", "POP3", "onRecv") +
            "r.username = 'carol'; r.password = 'pop-pass'; r.connect();"
            "var back = r.retr(1), copy = back.saveAttachment(0);"
            "o(back.from); o(back.to); o(back.subject); o(back.text == m.text);"
            "o(back.attachmentCount); o(back.getAttachmentName(0)); o(copy.readString(copy.size));"
            "out.join('|')");
    EXPECT_EQ(out,
              "true|sender@quill.test|carol@quill.test|round trip|true|1|notes.txt|attached "
              "bytes .\r\n.\r\n");
}

// --- faults ---------------------------------------------------------------------------------

TEST_F(MailClientTest, HostileSmtpServersEndInFailure) {
    mail::setMailTimeoutForTests(500);
    for (const char* name :
         {"SMTP_ENDLESS", "SMTP_LONG_LINE", "SMTP_CUT", "SMTP_GARBAGE", "SMTP_SILENT"}) {
        SCOPED_TRACE(name);
        std::string out = run(std::string(kSteps) + kComposeMail + "var s = new SendMail();" +
                              account("s", name) +
                              "o(s.send(m)); o(s.connect()); o(s.command('EHLO me\\r\\n'));"
                              "out.join('|')");
        EXPECT_EQ(out.substr(0, 11), "false|true|") << out;
    }
    EXPECT_EQ(run("1 + 1"), "2");
}

TEST_F(MailClientTest, HostilePop3ServerEndsInFailure) {
    mail::setMailTimeoutForTests(2000);
    // The 20 MB message goes to the Mail's file, not to the heap.
    start({.maxHeapBytes = 8 << 20});
    std::string out = run(
        std::string(kSteps) + "var r = new RecvMail();" + account("r", "POP3_FAULTS", "onRecv") +
        "r.username = 'x'; r.password = 'y';"
        "r.onRecv = function (code, text) { if (code != 3) log.push(code + '|' + text); "
        "  return true; };"
        "o(r.connect()); var big = r.retr(1); o(big.size); o(big.subject);"
        // Broken off after its first line: the Mail keeps what came and stays usable.
        "var cut = r.retr(2); o(cut.subject); o(r.stat() === null);"
        "cut.to = 'kept@quill.test'; o(cut.asText().indexOf('kept@quill.test') > 0);"
        // A listing without end, a status line of garbage, a stall.
        "o(r.connect()); o(r.list() === null); o(r.stat() === null);"
        "o(r.connect()); o(r.stat() === null); o(r.connect()); o(r.noop());"
        "out.join('|') + '\\n' + log.join('\\n')");
    EXPECT_EQ(out.substr(0, out.find('\n')),
              "true|20971536|big|cut short|true|true|true|true|true|true|true|true|false")
        << out;
    EXPECT_EQ(run("1 + 1"), "2");
}

}  // namespace
}  // namespace quill::test
