// Mail codecs and header fields: base64 and quoted-printable in both directions (also fed in
// pieces split anywhere), encoded words, parameters matched by whole names, the subject and
// address fields as written, and the safe form of received file names.
#include <gtest/gtest.h>

#include <string>

#include "host/net/mail_charset.h"
#include "host/net/mail_headers.h"
#include "host/net/mail_names.h"
#include "host/net/mime_codecs.h"

using namespace quill::mail;

namespace {

std::string allBytes() {
    std::string s;
    for (int i = 0; i < 256; ++i) s += static_cast<char>(i);
    return s;
}

template <typename Reader>
std::string decodeInPieces(std::string_view text, size_t split) {
    Reader reader;
    std::string out;
    reader.add(out, text.substr(0, split));
    reader.add(out, text.substr(split));
    reader.finish(out);
    return out;
}

TEST(MailCodecsTest, Base64LinesAndTheLenientDecoder) {
    EXPECT_EQ(base64(""), "");
    EXPECT_EQ(base64("", 76), "") << "no line end for nothing";
    EXPECT_EQ(base64("ab"), "YWI=");
    std::string encoded = base64(allBytes(), 76);
    EXPECT_EQ(encoded.substr(76, 2), "\r\n");
    EXPECT_EQ(encoded.substr(encoded.size() - 2), "\r\n");
    EXPECT_EQ(decodeBase64(encoded), allBytes());
    // Pieces of any size give the same lines as the whole.
    Base64Writer writer(76);
    std::string pieces;
    for (char c : allBytes()) writer.add(pieces, std::string_view(&c, 1));
    writer.finish(pieces);
    EXPECT_EQ(pieces, encoded);
    // Characters outside the alphabet (blanks of an indenting mailer, stray punctuation) are
    // skipped, not copied into the data; "=" ends it; k characters of a last group give k-1.
    EXPECT_EQ(decodeBase64(" YW\tI=\r\nZZZZ"), "ab");
    EXPECT_EQ(decodeBase64("Y.W-I*"), "ab");
    EXPECT_EQ(decodeBase64("YWJj"
                           "Y"),
              "abc");
    for (size_t split = 0; split <= encoded.size(); split += 7) {
        ASSERT_EQ(decodeInPieces<Base64Reader>(encoded, split), allBytes()) << split;
    }
}

TEST(MailCodecsTest, QuotedPrintableKeepsEveryByteThroughTransports) {
    EXPECT_EQ(encodeQuotedPrintable("a=b\xE9"), "a=3Db=E9=\r\n");
    // A CR LF pair is a line break; lone CR and LF and a blank before a line end are encoded,
    // so that line-end conversion and blank stripping on the way cannot change the text.
    EXPECT_EQ(encodeQuotedPrintable("x \r\ny\rz\n"), "x=20\r\ny=0Dz=0A=\r\n");
    EXPECT_EQ(encodeQuotedPrintable("end\r\n"), "end\r\n");
    EXPECT_EQ(encodeQuotedPrintable("tab\t"), "tab=09=\r\n");
    std::string longLine(200, 'x');
    std::string encoded = encodeQuotedPrintable(longLine + "\xFF\xFF\xFF\xFF");
    size_t start = 0;
    for (size_t end; (end = encoded.find("\r\n", start)) != std::string::npos; start = end + 2) {
        EXPECT_LE(end - start, 76u);
    }
    std::string texts[] = {"plain",       "a\r\nb\r\n", "\r\r\n\n\n\r",
                           " \t \r\n \t", allBytes(),   longLine + "=" + longLine};
    for (const std::string& text : texts) {
        std::string qp = encodeQuotedPrintable(text);
        EXPECT_EQ(decodeQuotedPrintable(qp), text);
        for (size_t split = 0; split <= qp.size(); ++split) {
            ASSERT_EQ(decodeInPieces<QuotedPrintableReader>(qp, split), text) << split;
        }
    }
}

TEST(MailCodecsTest, QuotedPrintableDecoderUndoesEverySoftBreak) {
    // A soft break before a bare LF (what LF-only files and some mailers have) is undone too.
    EXPECT_EQ(decodeQuotedPrintable("ab=\ncd"), "abcd");
    EXPECT_EQ(decodeQuotedPrintable("ab=\r\ncd"), "abcd");
    EXPECT_EQ(decodeQuotedPrintable("ab=  \r\ncd"), "abcd") << "blanks added on the way";
    EXPECT_EQ(decodeQuotedPrintable("a=e9=E9"), "a\xE9\xE9");
    EXPECT_EQ(decodeQuotedPrintable("1=2 =x"), "1=2 =x") << "an = that codes nothing stays";
    EXPECT_EQ(decodeQuotedPrintable("last="), "last");
    EXPECT_EQ(decodeQuotedPrintable("last=A"), "last=A");
    EXPECT_EQ(decodeQuotedPrintable("nul=00byte"), std::string("nul\0byte", 8));
    for (size_t split = 0; split <= 9; ++split) {
        ASSERT_EQ(decodeInPieces<QuotedPrintableReader>("ab= \t\r\ncd=3D", split), "abcd=");
    }
}

TEST(MailHeadersTest, ParametersMatchWholeNames) {
    std::string disposition = "attachment; filename=\"evil.exe\"; name=\"real.txt\"";
    EXPECT_EQ(findParameter(disposition, "name")->value, "real.txt");
    EXPECT_EQ(findParameter(disposition, "filename")->value, "evil.exe");
    EXPECT_FALSE(findParameter("text/x-name; charset=a", "name"));
    EXPECT_EQ(findParameter("multipart/mixed; xboundary=\"no\"; boundary=yes", "boundary")->value,
              "yes");
    // An unquoted value ends at the next parameter; quoted pairs are unescaped.
    EXPECT_EQ(findParameter("text/plain; name=a b.txt; charset=x", "name")->value, "a b.txt");
    EXPECT_EQ(findParameter("x/y; name=\"say \\\"hi\\\"; ok\"", "name")->value, "say \"hi\"; ok");
    EXPECT_EQ(findParameter("x/y; NAME = \"spaced\"", "name")->value, "spaced");
    // Extended values and continuations.
    auto extended = findParameter("a/b; filename*=utf-8''%C3%A9t%C3%A9.txt", "filename");
    EXPECT_EQ(extended->charset, "utf-8");
    EXPECT_EQ(parameterText(*extended), u"\u00E9t\u00E9.txt");
    auto continued =
        findParameter("a/b; name*1=\"two\"; name*0*=us-ascii'en'one%20; name*2*=%21", "name");
    EXPECT_EQ(continued->value, "one two!");
    EXPECT_FALSE(findParameter("text/plain", "charset"));
    EXPECT_FALSE(findParameter("text/plain; charset", "charset"));
}

TEST(MailHeadersTest, EncodedWordsDecodeByTheirOwnCharset) {
    EXPECT_EQ(decodeHeaderText("Re: =?iso-8859-1?Q?caf=E9_au_lait?= now"),
              u"Re: caf\u00E9 au lait now");
    // Adjacent words join without the blanks between them (a folded long subject).
    EXPECT_EQ(decodeHeaderText("=?utf-8?B?w6k=?=\r\n =?UTF-8?q?=C3=A9?= x"), u"\u00E9\u00E9 x");
    EXPECT_EQ(decodeHeaderText("=?utf-8*en?Q?a?= =?us-ascii?Q?b?="), u"ab");
    // A "?=" before the word does not end it; a broken word stays as written.
    EXPECT_EQ(decodeHeaderText("why?= =?utf-8?Q?=3F?="), u"why?= ?");
    EXPECT_EQ(decodeHeaderText("=?utf-8?X?abc?="), u"=?utf-8?X?abc?=");
    EXPECT_EQ(decodeHeaderText("=?utf-8?Q?open"), u"=?utf-8?Q?open");
    // Raw bytes: UTF-8 when they are UTF-8, else the ANSI code page.
    EXPECT_EQ(decodeHeaderText("J\xC3\xB6rg"), u"J\u00F6rg");
    EXPECT_EQ(decodeHeaderText("J\xF6rg"), fromAnsi("J\xF6rg"));
}

TEST(MailHeadersTest, WrittenFieldsReadBackExactly) {
    std::string out;
    writeSubjectField(out, u"");
    EXPECT_EQ(out, "Subject: \r\n");
    out.clear();
    std::u16string subject(130, u'\u00E9');
    subject += u" end";
    writeSubjectField(out, subject);
    // Words of at most 54 bytes, one a line, each line within the encoded-word limit.
    EXPECT_EQ(out.rfind(std::string("Subject: =?") + ansiCharset() + "?B?", 0), 0u);
    size_t lines = 0;
    for (size_t at = 0; (at = out.find("\r\n", at)) != std::string::npos; at += 2) ++lines;
    EXPECT_EQ(lines, 3u);
    EXPECT_EQ(decodeHeaderText(unfoldValue(out.substr(9))), subject);

    // Text the ANSI code page cannot hold goes as UTF-8 rather than as question marks; text
    // that only looks like an encoded word is encoded so that it reads back as it was.
    out.clear();
    writeSubjectField(out, u"\u041F\u0440\u0438\u0432\u0435\u0442 \u65E5\u672C");
    EXPECT_EQ(out.rfind("Subject: =?utf-8?B?", 0), 0u);
    EXPECT_EQ(decodeHeaderText(unfoldValue(out.substr(9))),
              u"\u041F\u0440\u0438\u0432\u0435\u0442 \u65E5\u672C");
    std::string literal = fileNameParameter("name", u"=?utf-8?B?YQ==?=.txt", false);
    EXPECT_EQ(parameterText(*findParameter("a/b" + literal, "name")), u"=?utf-8?B?YQ==?=.txt");

    // Line breaks in a value cannot start a header of their own.
    out.clear();
    writeAddressField(out, "To", u"a@b.example\r\nBcc: victim@example.com");
    EXPECT_EQ(out, "To: a@b.example  Bcc: victim@example.com\r\n");
    // Non-ASCII display names become encoded words; long lists fold at spaces only.
    out.clear();
    std::u16string list = u"\"J\u00F6rg M\u00FCller\" <jm@example.com>";
    for (int i = 0; i < 8; ++i) list += u", person" + fromAnsi(std::to_string(i)) + u"@example.com";
    writeAddressField(out, "CC", list);
    EXPECT_EQ(out.find('\xF6'), std::string::npos);
    for (size_t start = 0, end; (end = out.find("\r\n", start)) != std::string::npos;
         start = end + 2) {
        EXPECT_LE(end - start, 78u);
    }
    std::u16string back = decodeHeaderText(unfoldValue(out.substr(4)));
    EXPECT_EQ(back.substr(0, 28), u"J\u00F6rg M\u00FCller <jm@example.com>");
    EXPECT_EQ(back.substr(back.size() - 19), u"person7@example.com");

    EXPECT_EQ(fileNameParameter("name", u"plain.txt", false), "; name=\"plain.txt\"");
    std::string extended = fileNameParameter("filename", u"\u00E9 \"q\".txt", true);
    auto parsed = findParameter("attachment" + extended, "filename");
    EXPECT_EQ(parameterText(*parsed), u"\u00E9 \"q\".txt");
    std::string encoded = fileNameParameter("name", u"\u00E9.txt", false);
    EXPECT_EQ(parameterText(*findParameter("a/b" + encoded, "name")), u"\u00E9.txt");
}

TEST(MailNamesTest, ReceivedNamesStayInsideTheChosenFolder) {
    const std::u16string fallback = u"attachment 1";
    EXPECT_EQ(safeFileName(u"report.pdf", fallback), u"report.pdf");
    EXPECT_EQ(safeFileName(u"../../etc/passwd", fallback), u"passwd");
    EXPECT_EQ(safeFileName(u"..\\..\\Windows\\evil.dll", fallback), u"evil.dll");
    EXPECT_EQ(safeFileName(u"C:autoexec.bat", fallback), u"autoexec.bat");
    EXPECT_EQ(safeFileName(u"file.txt:stream", fallback), u"file.txt_stream");
    EXPECT_EQ(safeFileName(u"a<b>c|d?e*f\"g\x01.txt", fallback), u"a_b_c_d_e_f_g_.txt");
    EXPECT_EQ(safeFileName(u"trailing.exe. . ", fallback), u"trailing.exe");
    for (const char16_t* bad : {u"", u".", u"..", u"...", u"dir/..", u"CON", u"nul.txt",
                                u"Com1.log", u"LPT9", u"con .txt", u"CONOUT$", u"COM\u00B9"}) {
        EXPECT_EQ(safeFileName(bad, fallback), fallback);
    }
    EXPECT_EQ(safeFileName(u"console.txt", fallback), u"console.txt");
    std::u16string longName(300, u'n');
    std::u16string cut = safeFileName(longName + u".jpeg", fallback);
    EXPECT_EQ(cut.size(), 200u);
    EXPECT_EQ(cut.substr(195), u".jpeg");
    EXPECT_EQ(nameFromPath(u"C:\\dir/sub\\pic.png"), u"pic.png");
    EXPECT_EQ(contentTypeForName(u"pic.PNG"), "image/png");
    EXPECT_EQ(contentTypeForName(u"data.unknown-ext"), "application/octet-stream");
    EXPECT_EQ(contentTypeForName(u"noextension"), "application/octet-stream");
}

}  // namespace
