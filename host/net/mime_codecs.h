// The byte transformations of mail messages: base64 and quoted-printable in both directions, the
// Q form of encoded words, and percent-decoding of extended parameter values. Pure functions over
// bytes, shared by the composer, the parser and the SMTP client.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quill::mail {

// Base64 with the RFC 2045 alphabet and "=" padding. With a line length, CR LF follows every
// `lineLength` output characters and the end of a non-empty last line; 0 writes one line.
void appendBase64(std::string& out, std::string_view bytes, size_t lineLength = 0);
std::string base64(std::string_view bytes, size_t lineLength = 0);

// Incremental base64 encoding for data that arrives in pieces (file contents): the lines are
// the same as appendBase64 gives for the whole data.
class Base64Writer {
  public:
    explicit Base64Writer(size_t lineLength) : lineLength_(lineLength) {}
    void add(std::string& out, std::string_view bytes);
    void finish(std::string& out);

  private:
    void put(std::string& out, char c);
    size_t lineLength_;
    size_t column_ = 0;
    uint8_t pending_[3] = {};
    size_t pendingCount_ = 0;
};

// Incremental base64 decoding. Every character outside the alphabet (line ends, spaces, stray
// punctuation) is skipped; "=" ends the data; a final group of k characters gives k-1 bytes.
class Base64Reader {
  public:
    void add(std::string& out, std::string_view text);
    void finish(std::string& out);
    bool ended() const { return ended_; }

  private:
    uint32_t bits_ = 0;
    int count_ = 0;
    bool ended_ = false;
};
std::string decodeBase64(std::string_view text);

// Quoted-printable for text bodies. A CR LF pair is a line break of the text and stays one;
// a lone CR or LF, "=", every byte outside 33..126 and a space or TAB that ends a line are
// written as "=" and two upper-case hexadecimal digits, so that the decoded text keeps every
// byte whatever transports do to line ends and trailing blanks. A line passing 72 characters
// gets a soft break "=" CR LF, as does the end of a text that does not end in a line break.
std::string encodeQuotedPrintable(std::string_view bytes);

// Incremental quoted-printable decoding. "=" and two hexadecimal digits give a byte; "=" followed
// by blanks and a line end (CR LF or a lone LF) is a soft break and vanishes; an "=" at the very
// end is a soft break too; any other "=" is kept as it is.
class QuotedPrintableReader {
  public:
    void add(std::string& out, std::string_view text);
    void finish(std::string& out);

  private:
    static constexpr size_t kMaxHeld = 64;  // blanks allowed between "=" and a line end
    static size_t decodePiece(std::string& out, std::string_view text, bool final);
    std::string held_;  // an "=" sequence that the next piece decides
};
std::string decodeQuotedPrintable(std::string_view text);

// The Q form of an encoded word: "_" is a space, "=" and two hexadecimal digits a byte.
std::string decodeQ(std::string_view text);

// "%" and two hexadecimal digits give a byte (extended parameter values); other bytes pass.
std::string decodePercent(std::string_view text);

// The value of one hexadecimal digit (either case), or -1.
inline int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace quill::mail
