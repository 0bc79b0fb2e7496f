// File names around mail attachments: the name an added file gets, its content type, and the
// safe form of a received name, which scripts may use as a file name without the message
// choosing where the file goes.
#pragma once

#include <string>
#include <string_view>

namespace quill::mail {

// The text after the path's last backslash or slash.
std::u16string nameFromPath(std::u16string_view path);

// The content type the system associates with the name's extension, or
// "application/octet-stream".
std::string contentTypeForName(std::u16string_view name);

// The name reduced to one file name inside whatever folder it is saved in: folders and a drive
// are stripped, characters Windows does not allow in names (and control characters) become "_",
// trailing dots and spaces go, and names that are empty, only dots, or a device (CON, NUL,
// COM1, LPT1, ... with any extension) give `fallback`. At most 200 characters, keeping the
// extension.
std::u16string safeFileName(std::u16string_view name, std::u16string_view fallback);

// True for a path that names a folder to save into (it ends with a separator).
bool isFolderPath(std::u16string_view path);

}  // namespace quill::mail
