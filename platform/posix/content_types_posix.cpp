// Content types of non-Windows builds: the associations a Windows system typically registers,
// so that both builds label the common attachments alike.
#include <cstring>

#include "platform/content_types.h"

namespace quill::platform {

namespace {

struct Association {
    const char* extension;
    const char* type;
};

constexpr Association kTypes[] = {
    {".bmp", "image/bmp"},
    {".css", "text/css"},
    {".csv", "text/csv"},
    {".doc", "application/msword"},
    {".exe", "application/x-msdownload"},
    {".gif", "image/gif"},
    {".gz", "application/x-gzip"},
    {".htm", "text/html"},
    {".html", "text/html"},
    {".ico", "image/x-icon"},
    {".jpe", "image/jpeg"},
    {".jpeg", "image/jpeg"},
    {".jpg", "image/jpeg"},
    {".mid", "audio/mid"},
    {".mp3", "audio/mpeg"},
    {".mp4", "video/mp4"},
    {".pdf", "application/pdf"},
    {".png", "image/png"},
    {".rtf", "application/msword"},
    {".svg", "image/svg+xml"},
    {".swf", "application/x-shockwave-flash"},
    {".tif", "image/tiff"},
    {".tiff", "image/tiff"},
    {".txt", "text/plain"},
    {".wav", "audio/wav"},
    {".xml", "text/xml"},
    {".zip", "application/x-zip-compressed"},
};

}  // namespace

std::string contentTypeForExtension(std::u16string_view extension) {
    if (extension.size() < 2 || extension.size() > 8) return {};
    char lower[9] = {};
    for (size_t i = 0; i < extension.size(); ++i) {
        char16_t c = extension[i];
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
        if (c >= 128) return {};
        lower[i] = static_cast<char>(c);
    }
    for (const Association& a : kTypes) {
        if (std::strcmp(a.extension, lower) == 0) return a.type;
    }
    return {};
}

}  // namespace quill::platform
