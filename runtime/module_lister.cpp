// A readable listing of compiled-module bytes for authors and tests: the constants, the function
// table and every instruction with its offset, operand, jump target and source line.
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "runtime/module.h"

namespace quill {

namespace {

uint32_t be32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
    char buffer[512];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(buffer, sizeof buffer, fmt, args);
    va_end(args);
    return buffer;
}

// Printable text of UTF-16LE bytes: ASCII as is, everything else escaped.
std::string quoteUtf16(const uint8_t* p, uint32_t bytes) {
    std::string out = "\"";
    for (uint32_t i = 0; i + 1 < bytes; i += 2) {
        unsigned c = p[i] | (p[i + 1] << 8);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c >= 0x20 && c < 0x7F) {
            out += char(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else {
            out += format("\\u%04X", c);
        }
        if (out.size() > 200) {
            out += "...";
            break;
        }
    }
    return out + "\"";
}

struct Listing {
    std::string out;
    std::vector<std::string> constants;  // short text of each constant for operands
};

void listConstants(Listing& l, const ModuleSection* s) {
    l.out += "constants:\n";
    if (!s) return;
    uint32_t pos = 0;
    auto need = [&](uint32_t n) { return n <= s->size - pos; };
    while (pos < s->size) {
        uint8_t type = s->bytes[pos++];
        std::string text;
        switch (type) {
            case 1:
                text = "null";
                break;
            case 2:
                if (!need(1)) goto truncated;
                text = s->bytes[pos++] ? "true" : "false";
                break;
            case 3: {
                if (!need(8)) goto truncated;
                uint64_t v = (uint64_t(be32(s->bytes + pos)) << 32) | be32(s->bytes + pos + 4);
                pos += 8;
                text = format("integer %" PRId64, int64_t(v));
                break;
            }
            case 4:
            case 11: {
                uint8_t flags = 0;
                if (type == 11) {
                    if (!need(1)) goto truncated;
                    flags = s->bytes[pos++];
                }
                if (!need(4)) goto truncated;
                uint32_t n = be32(s->bytes + pos);
                pos += 4;
                if (!need(n)) goto truncated;
                text = (type == 4 ? "string " : "regexp ") + quoteUtf16(s->bytes + pos, n);
                if (type == 11) {
                    text += format(" flags %s%s%s", flags & 1 ? "g" : "", flags & 2 ? "i" : "",
                                   flags & 4 ? "m" : "");
                }
                pos += n;
                break;
            }
            case 5: {
                if (!need(8)) goto truncated;
                double d;
                std::memcpy(&d, s->bytes + pos, 8);
                pos += 8;
                text = format("number %.17g", d);
                break;
            }
            case 10: {
                const void* nul = std::memchr(s->bytes + pos, 0, s->size - pos);
                if (!nul) goto truncated;
                auto n = uint32_t(static_cast<const uint8_t*>(nul) - (s->bytes + pos));
                text = "identifier " + std::string(reinterpret_cast<const char*>(s->bytes + pos), n);
                pos += n + 1;
                break;
            }
            case 13:
                text = "NaN";
                break;
            default:
                l.out += format("  (unknown constant type %u: the rest is not shown)\n", type);
                return;
        }
        l.out += format("  #%-4u %s\n", unsigned(l.constants.size()), text.c_str());
        l.constants.push_back(text);
        continue;
    truncated:
        l.out += "  (truncated constant)\n";
        return;
    }
}

}  // namespace

std::string listModule(const uint8_t* bytes, size_t length) {
    ModuleRecord* module = readModule(bytes, length);
    if (!module) return "not a compiled module (bad header or section table)\n";
    Listing l;
    const ModuleSection* sections[4] = {};
    for (const ModuleSection& s : module->sections) {
        if (s.kind < 4 && !sections[s.kind]) sections[s.kind] = &s;
    }
    l.out += format("sections: code %u, constants %u, functions %u, debug %u bytes\n",
                    sections[0] ? sections[0]->size : 0, sections[1] ? sections[1]->size : 0,
                    sections[2] ? sections[2]->size : 0, sections[3] ? sections[3]->size : 0);
    listConstants(l, sections[1]);

    // Function table.
    struct Entry {
        std::string name;
        uint32_t offset;
    };
    std::vector<Entry> functions;
    uint32_t codeSize = sections[0] ? sections[0]->size : 0;
    l.out += "functions:\n";
    if (const ModuleSection* s = sections[2]; s && s->size >= 4) {
        uint32_t count = be32(s->bytes);
        uint32_t pos = 4;
        for (uint32_t i = 0; i < count; ++i) {
            const void* nul = pos < s->size ? std::memchr(s->bytes + pos, 0, s->size - pos) : nullptr;
            if (!nul) break;
            auto n = uint32_t(static_cast<const uint8_t*>(nul) - (s->bytes + pos));
            std::string name(reinterpret_cast<const char*>(s->bytes + pos), n);
            pos += n + 1;
            if (s->size - pos < 4) break;
            uint32_t offset = be32(s->bytes + pos);
            pos += 4;
            l.out += format("  %-20s at %04x\n", name.c_str(), offset);
            functions.push_back({name, offset});
        }
    }

    // Debug lines by the offset just after an instruction.
    std::vector<std::pair<uint32_t, uint32_t>> lines;
    if (const ModuleSection* s = sections[3]) {
        uint32_t pos = 0;
        while (pos < s->size) {
            uint8_t type = s->bytes[pos++];
            if (type == 1 && s->size - pos >= 4) {
                uint32_t n = be32(s->bytes + pos);
                pos += 4;
                if (n > s->size - pos) break;
                l.out += "source: " + std::string(reinterpret_cast<const char*>(s->bytes + pos), n) + "\n";
                pos += n;
            } else if (type == 2 && s->size - pos >= 8) {
                lines.emplace_back(be32(s->bytes + pos), be32(s->bytes + pos + 4));
                pos += 8;
            } else {
                break;
            }
        }
    }

    l.out += "code:\n";
    const uint8_t* code = sections[0] ? sections[0]->bytes : nullptr;
    size_t nextFunction = 0;
    size_t nextLine = 0;
    uint32_t p = 0;
    while (p < codeSize) {
        while (nextFunction < functions.size() && functions[nextFunction].offset <= p) {
            l.out += functions[nextFunction].name + ":\n";
            ++nextFunction;
        }
        uint8_t op = code[p];
        if (!isOpcode(op)) {
            l.out += format("  %04x  (byte %02x)\n", p, op);
            ++p;
            continue;
        }
        const OpcodeInfo& info = opcodeInfo(op);
        uint32_t size = operandBytes(info.operand);
        if (size > codeSize - p - 1) {
            l.out += format("  %04x  %s (truncated operand)\n", p, info.name);
            break;
        }
        const uint8_t* operand = code + p + 1;
        std::string text = info.name;
        switch (info.operand) {
            case OperandKind::None:
                break;
            case OperandKind::I8:
                text += format(" %d", int(int8_t(operand[0])));
                break;
            case OperandKind::I16:
                text += format(" %d", int(int16_t((operand[0] << 8) | operand[1])));
                break;
            case OperandKind::I32:
                text += format(" %d", int32_t(be32(operand)));
                break;
            case OperandKind::Const:
            case OperandKind::Name: {
                uint32_t index = be32(operand);
                text += format(" #%u", index);
                if (index < l.constants.size()) text += "  (" + l.constants[index] + ")";
                break;
            }
            case OperandKind::Jump: {
                int32_t delta = int32_t(be32(operand));
                text += format(" -> %04x", uint32_t(int64_t(p) + 5 + delta));
                break;
            }
        }
        uint32_t after = p + 1 + size;
        std::string lineText;
        while (nextLine < lines.size() && lines[nextLine].first <= after) {
            if (lines[nextLine].first == after) lineText = format("  ; line %u", lines[nextLine].second);
            ++nextLine;
        }
        l.out += format("  %04x  %-40s%s\n", p, text.c_str(), lineText.c_str());
        p = after;
    }
    freeModule(module);
    return l.out;
}

}  // namespace quill
