// The MIME content type the system associates with a file extension: the "Content Type" value
// of the extension's key under HKEY_CLASSES_ROOT on Windows, a table of the common types
// elsewhere.
#pragma once

#include <string>
#include <string_view>

namespace quill::platform {

// `extension` includes its dot (".png"). Empty when the system knows no type for it.
std::string contentTypeForExtension(std::u16string_view extension);

}  // namespace quill::platform
