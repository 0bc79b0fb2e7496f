// The options dialog's rules for reading and storing settings fields, and the about box's
// text rules (see option_fields.h).
#include "projector/layout/option_fields.h"

#include <cstdio>

namespace quill::projector::layout {

namespace {

constexpr uint32_t kBorderBits[] = {0x1, 0x10, 0x100, 0x1010};
constexpr uint32_t kBorderMask = 0x1111;
constexpr uint32_t kScaleParams[] = {1, 16, 2, 256};

}  // namespace

int borderStyleChoice(uint32_t frameStyle) {
    if (frameStyle & 0x1) return 0;
    if ((frameStyle & 0x1000) && (frameStyle & 0x110)) return 3;
    if (frameStyle & 0x10) return 1;
    if (frameStyle & 0x100) return 2;
    return kNoChoice;
}

uint32_t withBorderStyle(uint32_t frameStyle, int choice) {
    if (choice < 0 || choice > 3 || choice == borderStyleChoice(frameStyle)) return frameStyle;
    return (frameStyle & ~kBorderMask) | kBorderBits[choice];
}

int scaleChoice(uint32_t frameParam) {
    for (int i = 0; i < 4; ++i) {
        if (kScaleParams[i] == frameParam) return i;
    }
    return kNoChoice;
}

uint32_t withScaleChoice(uint32_t frameParam, int choice) {
    if (choice < 0 || choice > 3) return frameParam;
    return kScaleParams[choice];
}

int shapeChoice(uint32_t windowShape) {
    switch (windowShape) {
        case 0:
            return 0;
        case 1:
        case 3:
            return 1;
        case 2:
            return 2;
        default:
            return kNoChoice;
    }
}

uint32_t withShapeChoice(uint32_t windowShape, int choice) {
    if (choice < 0 || choice > 2 || choice == shapeChoice(windowShape)) return windowShape;
    return static_cast<uint32_t>(choice);
}

int enumChoice(uint32_t value, int count) {
    return value < static_cast<uint32_t>(count) ? static_cast<int>(value) : kNoChoice;
}

uint32_t withEnumChoice(uint32_t value, int choice) {
    return choice < 0 ? value : static_cast<uint32_t>(choice);
}

std::string colorText(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%06X", static_cast<unsigned>(value & 0xFFFFFF));
    return text;
}

std::optional<uint32_t> parseColorText(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t");
    size_t end = text.find_last_not_of(" \t");
    if (begin == std::string::npos) return std::nullopt;
    std::string digits = text.substr(begin, end - begin + 1);
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        digits = digits.substr(2);
    }
    if (digits.empty() || digits.size() > 6) return std::nullopt;
    uint32_t value = 0;
    for (char c : digits) {
        int digit = (c >= '0' && c <= '9')   ? c - '0'
                    : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                    : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                             : -1;
        if (digit < 0) return std::nullopt;
        value = value * 16 + static_cast<uint32_t>(digit);
    }
    return value;
}

std::string versionLine(const std::string& version) {
    if (version.compare(0, 7, "Version") == 0) return version;
    return "Version " + version;
}

std::string mailtoAddress(const std::string& email) {
    // A URL scheme has no case: "MAILTO:" is the prefix already.
    static constexpr char kScheme[] = "mailto:";
    bool prefixed = email.size() >= 7;
    for (size_t i = 0; prefixed && i < 7; ++i) {
        char c = email[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        prefixed = c == kScheme[i];
    }
    if (prefixed) return email;
    return "mailto:" + email;
}

}  // namespace quill::projector::layout
