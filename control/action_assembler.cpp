// Action text to byte code (for movie descriptions) and byte code to text (for listings).
#include "control/action_assembler.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "control/action_codes.h"
#include "control/swf_stream.h"

namespace quill::movie {
namespace {

struct Token {
    std::string text;
    bool quoted = false;
};

bool tokenize(const std::string& line, std::vector<Token>* tokens, std::string* error) {
    size_t i = 0;
    while (i < line.size()) {
        char c = line[i];
        if (std::isspace(static_cast<unsigned char>(c)) || c == ',') {
            ++i;
            continue;
        }
        Token t;
        if (c == '"' || c == '\'') {
            char quote = c;
            t.quoted = true;
            ++i;
            bool closed = false;
            while (i < line.size()) {
                char d = line[i++];
                if (d == quote) {
                    closed = true;
                    break;
                }
                if (d == '\\' && i < line.size()) {
                    char e = line[i++];
                    switch (e) {
                        case 'n':
                            t.text += '\n';
                            break;
                        case 'r':
                            t.text += '\r';
                            break;
                        case 't':
                            t.text += '\t';
                            break;
                        default:
                            t.text += e;
                            break;
                    }
                } else {
                    t.text += d;
                }
            }
            if (!closed) {
                *error = "a string has no closing quote";
                return false;
            }
        } else {
            while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i])) &&
                   line[i] != ',') {
                t.text += line[i++];
            }
        }
        tokens->push_back(t);
    }
    return true;
}

bool parseInteger(const std::string& s, long long min, long long max, long long* out) {
    if (s.empty()) return false;
    char* end = nullptr;
    long long v = std::strtoll(s.c_str(), &end, 0);
    if (*end != '\0' || v < min || v > max) return false;
    *out = v;
    return true;
}

bool isLabelName(const std::string& s) {
    if (s.empty() || !(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_')) return false;
    for (char c : s) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
    }
    return true;
}

struct PendingJump {
    size_t patchAt;      // where the 16-bit offset goes
    size_t afterAction;  // offsets count from the end of the jump action
    std::string label;
    size_t line;
};

class Assembler {
  public:
    Assembler(int version, std::vector<uint8_t>* out) : version_(version), out_(out) {}

    bool line(const std::string& text, size_t number, std::string* error);
    bool finish(std::string* error);

  private:
    void simple(uint8_t code) { out_->push_back(code); }
    void withBody(uint8_t code, const std::vector<uint8_t>& body) {
        out_->push_back(code);
        out_->push_back(static_cast<uint8_t>(body.size()));
        out_->push_back(static_cast<uint8_t>(body.size() >> 8));
        out_->insert(out_->end(), body.begin(), body.end());
    }
    bool pushValues(const std::vector<Token>& args, size_t first, std::string* error);

    int version_;
    std::vector<uint8_t>* out_;
    std::map<std::string, size_t> labels_;
    std::vector<PendingJump> jumps_;
};

bool Assembler::pushValues(const std::vector<Token>& args, size_t first, std::string* error) {
    SwfOutput body;
    for (size_t i = first; i < args.size(); ++i) {
        const Token& t = args[i];
        long long n;
        if (t.quoted) {
            body.u8(kPushString);
            body.string(t.text);
        } else if (t.text == "true" || t.text == "false") {
            body.u8(kPushBoolean);
            body.u8(t.text == "true");
        } else if (t.text == "null") {
            body.u8(kPushNull);
        } else if (t.text == "undefined") {
            body.u8(kPushUndefined);
        } else if ((t.text[0] == 'r' || t.text[0] == 'c') && t.text.size() > 1 &&
                   parseInteger(t.text.substr(1), 0, 65535, &n)) {
            if (t.text[0] == 'r') {
                if (n > 255) {
                    *error = "register numbers go up to 255";
                    return false;
                }
                body.u8(kPushRegister);
                body.u8(static_cast<uint8_t>(n));
            } else if (n < 256) {
                body.u8(kPushConstant8);
                body.u8(static_cast<uint8_t>(n));
            } else {
                body.u8(kPushConstant16);
                body.u16(static_cast<uint16_t>(n));
            }
        } else {
            char* end = nullptr;
            double d = std::strtod(t.text.c_str(), &end);
            if (t.text.empty() || *end != '\0') {
                *error =
                    "push takes strings in quotes, numbers, true, false, null, undefined, rN or "
                    "cN, not " +
                    t.text;
                return false;
            }
            if (version_ < 5) {
                // Before version 5 every pushed value is text.
                body.u8(kPushString);
                body.string(t.text);
            } else if (parseInteger(t.text, INT32_MIN, INT32_MAX, &n) &&
                       t.text.find('.') == std::string::npos) {
                body.u8(kPushInteger);
                body.u32(static_cast<uint32_t>(static_cast<int32_t>(n)));
            } else {
                body.u8(kPushDouble);
                body.f64Push(d);
            }
        }
        if (body.size() > 0xFFFF) {
            *error = "too many values for one push";
            return false;
        }
    }
    if (body.size() == 0) {
        *error = "push needs at least one value";
        return false;
    }
    withBody(kActionPush, body.bytes());
    return true;
}

bool Assembler::line(const std::string& text, size_t number, std::string* error) {
    std::vector<Token> tokens;
    if (!tokenize(text, &tokens, error)) return false;
    if (tokens.empty() || (!tokens[0].quoted && tokens[0].text[0] == '#')) return true;
    const Token& head = tokens[0];
    if (head.quoted) {
        *error = "an action name is expected first";
        return false;
    }
    std::string name = head.text;
    if (name.size() > 1 && name.back() == ':' && tokens.size() == 1) {
        name.pop_back();
        if (!isLabelName(name)) {
            *error = "a label is a name of letters, digits and _";
            return false;
        }
        if (labels_.count(name)) {
            *error = "the label " + name + " is defined twice";
            return false;
        }
        labels_[name] = out_->size();
        return true;
    }
    auto argCount = [&](size_t min, size_t max) {
        size_t n = tokens.size() - 1;
        if (n < min || n > max) {
            *error = name +
                     (min == max ? " takes " + std::to_string(min)
                                 : " takes " + std::to_string(min) + " to " + std::to_string(max)) +
                     " argument(s)";
            return false;
        }
        return true;
    };
    auto stringArg = [&](size_t i, std::string* s) {
        if (!tokens[i].quoted) {
            *error = name + " takes text in quotes";
            return false;
        }
        *s = tokens[i].text;
        return true;
    };
    auto numberArg = [&](size_t i, long long min, long long max, long long* v) {
        if (tokens[i].quoted || !parseInteger(tokens[i].text, min, max, v)) {
            *error =
                name + " takes a number from " + std::to_string(min) + " to " + std::to_string(max);
            return false;
        }
        return true;
    };
    // Conveniences that expand to several actions.
    if (name == "fscommand") {
        if (!argCount(1, 2)) return false;
        std::string command, args;
        if (!stringArg(1, &command)) return false;
        if (tokens.size() > 2 && !stringArg(2, &args)) return false;
        SwfOutput body;
        body.string("FSCommand:" + command);
        body.string(args);
        withBody(kActionGetURL, body.bytes());
        return true;
    }
    if (name == "set") {
        if (!argCount(2, 2)) return false;
        std::string variable;
        if (!stringArg(1, &variable)) return false;
        if (!pushValues(tokens, 1, error)) return false;
        simple(kActionSetVariable);
        return true;
    }
    int code = actionByName(name);
    if (code < 0 || code == kActionEnd) {
        *error = "unknown action " + name;
        return false;
    }
    SwfOutput body;
    long long n;
    std::string s;
    switch (code) {
        case kActionPush:
            return pushValues(tokens, 1, error);
        case kActionGotoFrame:
            if (!argCount(1, 1) || !numberArg(1, 1, 65536, &n)) return false;
            body.u16(static_cast<uint16_t>(n - 1));
            break;
        case kActionGetURL: {
            if (!argCount(1, 2) || !stringArg(1, &s)) return false;
            std::string target;
            if (tokens.size() > 2 && !stringArg(2, &target)) return false;
            body.string(s);
            body.string(target);
            break;
        }
        case kActionStoreRegister:
            if (!argCount(1, 1) || !numberArg(1, 0, 255, &n)) return false;
            body.u8(static_cast<uint8_t>(n));
            break;
        case kActionConstantPool: {
            body.u16(static_cast<uint16_t>(tokens.size() - 1));
            for (size_t i = 1; i < tokens.size(); ++i) {
                if (!stringArg(i, &s)) return false;
                body.string(s);
            }
            break;
        }
        case kActionWaitForFrame: {
            long long skip;
            if (!argCount(2, 2) || !numberArg(1, 1, 65536, &n) || !numberArg(2, 0, 255, &skip))
                return false;
            body.u16(static_cast<uint16_t>(n - 1));
            body.u8(static_cast<uint8_t>(skip));
            break;
        }
        case kActionWaitForFrame2:
            if (!argCount(1, 1) || !numberArg(1, 0, 255, &n)) return false;
            body.u8(static_cast<uint8_t>(n));
            break;
        case kActionSetTarget:
        case kActionGotoLabel:
            if (!argCount(1, 1) || !stringArg(1, &s)) return false;
            body.string(s);
            break;
        case kActionJump:
        case kActionIf: {
            if (!argCount(1, 1) || tokens[1].quoted || !isLabelName(tokens[1].text)) {
                *error = name + " takes a label name";
                return false;
            }
            out_->push_back(static_cast<uint8_t>(code));
            out_->push_back(2);
            out_->push_back(0);
            jumps_.push_back({out_->size(), out_->size() + 2, tokens[1].text, number});
            out_->push_back(0);
            out_->push_back(0);
            return true;
        }
        case kActionGetURL2: {
            // Arguments: any of "get", "post", "loadTarget", "loadVariables".
            uint8_t flags = 0;
            for (size_t i = 1; i < tokens.size(); ++i) {
                const std::string& f = tokens[i].text;
                if (f == "get")
                    flags |= 0x40;
                else if (f == "post")
                    flags |= 0x80;
                else if (f == "loadTarget")
                    flags |= 0x02;
                else if (f == "loadVariables")
                    flags |= 0x01;
                else {
                    *error = "getURL2 takes get, post, loadTarget or loadVariables";
                    return false;
                }
            }
            body.u8(flags);
            break;
        }
        case kActionGotoFrame2: {
            // Arguments: "play" and/or "bias N".
            uint8_t flags = 0;
            long long bias = -1;
            for (size_t i = 1; i < tokens.size(); ++i) {
                if (tokens[i].text == "play") {
                    flags |= 1;
                } else if (tokens[i].text == "bias" && i + 1 < tokens.size()) {
                    if (!numberArg(++i, 0, 65535, &bias)) return false;
                    flags |= 2;
                } else {
                    *error = "gotoFrame2 takes play and bias N";
                    return false;
                }
            }
            body.u8(flags);
            if (bias >= 0) body.u16(static_cast<uint16_t>(bias));
            break;
        }
        case kActionCall:
            if (!argCount(0, 0)) return false;
            withBody(static_cast<uint8_t>(code), {});
            return true;
        default:
            if (!argCount(0, 0)) return false;
            simple(static_cast<uint8_t>(code));
            return true;
    }
    if (body.size() > 0xFFFF) {
        *error = name + " is too long";
        return false;
    }
    withBody(static_cast<uint8_t>(code), body.bytes());
    return true;
}

bool Assembler::finish(std::string* error) {
    for (const PendingJump& j : jumps_) {
        auto it = labels_.find(j.label);
        if (it == labels_.end()) {
            *error = "line " + std::to_string(j.line) + ": no label " + j.label;
            return false;
        }
        long long offset =
            static_cast<long long>(it->second) - static_cast<long long>(j.afterAction);
        if (offset < INT16_MIN || offset > INT16_MAX) {
            *error =
                "line " + std::to_string(j.line) + ": the label " + j.label + " is too far away";
            return false;
        }
        (*out_)[j.patchAt] = static_cast<uint8_t>(offset);
        (*out_)[j.patchAt + 1] = static_cast<uint8_t>(static_cast<uint16_t>(offset) >> 8);
    }
    out_->push_back(kActionEnd);
    return true;
}

std::string quote(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                out += c;
                break;
        }
    }
    return out + "\"";
}

std::string numberText(double d) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", d);
    return buffer;
}

std::string describe(uint8_t code, const uint8_t* body, size_t length, size_t next) {
    SwfInput in(body, length);
    std::string out;
    switch (code) {
        case kActionPush:
            while (!in.atEnd()) {
                if (!out.empty()) out += ", ";
                switch (in.u8()) {
                    case kPushString:
                        out += quote(in.string());
                        break;
                    case kPushFloat:
                        out += numberText(in.f32());
                        break;
                    case kPushNull:
                        out += "null";
                        break;
                    case kPushUndefined:
                        out += "undefined";
                        break;
                    case kPushRegister:
                        out += "r" + std::to_string(in.u8());
                        break;
                    case kPushBoolean:
                        out += in.u8() ? "true" : "false";
                        break;
                    case kPushDouble:
                        out += numberText(in.f64Push());
                        break;
                    case kPushInteger:
                        out += std::to_string(static_cast<int32_t>(in.u32()));
                        break;
                    case kPushConstant8:
                        out += "c" + std::to_string(in.u8());
                        break;
                    case kPushConstant16:
                        out += "c" + std::to_string(in.u16());
                        break;
                    default:
                        throw SwfError("unknown push type");
                }
            }
            return out;
        case kActionGotoFrame:
            return std::to_string(in.u16() + 1);
        case kActionGetURL: {
            std::string url = quote(in.string());
            return url + ", " + quote(in.string());
        }
        case kActionStoreRegister:
            return std::to_string(in.u8());
        case kActionConstantPool: {
            unsigned n = in.u16();
            for (unsigned i = 0; i < n; ++i) out += (i ? ", " : "") + quote(in.string());
            return out;
        }
        case kActionWaitForFrame: {
            unsigned frame = in.u16() + 1u;
            return std::to_string(frame) + ", " + std::to_string(in.u8());
        }
        case kActionWaitForFrame2:
            return std::to_string(in.u8());
        case kActionSetTarget:
        case kActionGotoLabel:
            return quote(in.string());
        case kActionJump:
        case kActionIf: {
            long long target = static_cast<long long>(next) + in.s16();
            return "-> " + std::to_string(target);
        }
        case kActionGetURL2: {
            uint8_t f = in.u8();
            if (f & 0x40) out += " get";
            if (f & 0x80) out += " post";
            if (f & 0x02) out += " loadTarget";
            if (f & 0x01) out += " loadVariables";
            return out.empty() ? out : out.substr(1);
        }
        case kActionGotoFrame2: {
            uint8_t f = in.u8();
            if (f & 1) out += "play";
            if (f & 2)
                out += std::string(out.empty() ? "" : " ") + "bias " + std::to_string(in.u16());
            return out;
        }
        default:
            return out;
    }
}

}  // namespace

bool assembleActions(const std::vector<std::string>& lines, int version, std::vector<uint8_t>* out,
                     std::string* error) {
    out->clear();
    Assembler assembler(version, out);
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string problem;
        if (!assembler.line(lines[i], i + 1, &problem)) {
            *error = "line " + std::to_string(i + 1) + " (" + lines[i] + "): " + problem;
            return false;
        }
    }
    return assembler.finish(error);
}

std::string listActions(const uint8_t* data, size_t size, const std::string& indent) {
    std::string out;
    size_t at = 0;
    char head[32];
    while (at < size) {
        uint8_t code = data[at];
        size_t length = 0, bodyAt = at + 1;
        if (code >= 0x80) {
            if (at + 3 > size) {
                out +=
                    indent + "(damaged: the action at " + std::to_string(at) + " is cut short)\n";
                break;
            }
            length = data[at + 1] | (data[at + 2] << 8);
            bodyAt = at + 3;
            if (bodyAt + length > size) {
                out += indent + "(damaged: the action at " + std::to_string(at) +
                       " runs past the end)\n";
                break;
            }
        }
        std::snprintf(head, sizeof head, "%5zu  ", at);
        const char* name = actionName(code);
        std::string line = indent + head;
        if (!name) {
            std::snprintf(head, sizeof head, "0x%02X", code);
            line += std::string("unknown ") + head;
        } else {
            line += name;
            try {
                std::string args = describe(code, data + bodyAt, length, bodyAt + length);
                if (!args.empty()) line += " " + args;
            } catch (const SwfError&) {
                line += " (damaged)";
            }
        }
        out += line + "\n";
        if (code == kActionEnd) break;
        at = bodyAt + length;
    }
    return out;
}

}  // namespace quill::movie
