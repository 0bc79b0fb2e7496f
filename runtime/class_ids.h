// Class identities. A host value's class is recognised by the id in its descriptor, never by the
// global name it was registered under: scripts may assign anything to that name. The ids run in
// the engine's registration order, which is also the order registration follows (see
// registerBuiltins), so an id doubles as the position of a class among the registrations.
#pragma once

#include <cstdint>

namespace quill {

enum class ClassId : uint16_t {
    kNone = 0,
    kGlobalFunctions,  // the global functions and constants (eval, evals with them)
    kDate,
    kFolder,  // also registered as File
    kDrive,
    kFileStream,  // also registered as Stream
    kStringStream,
    kMath,
    kRegExp,
    kArray,
    kBoolean,
    kFunction,
    kNumber,
    kString,
    kObject,
    kActiveXObject,
    kEnumerator,
    kRegKey,
    kRegValue,
    kIni,
    kDialogs,
    kFontObject,
    kShell,
    kShortcut,
    kURLShortcut,
    kMCI,
    kCreateControl,
    kFlashPlayer,
    kMovieClip,
    kAppFunctions,  // the application functions (the URI functions with them)
    kWindow,
    kMail,
    kSendMail,
    kRecvMail,
    kInet,
    kIPConfig,
    kSysInfo,
    kSocket,
    kHostFunctions,  // functions a host adds after every class (the tool's `print`)
    kBuiltinCount,
    // Ids from here on are free for classes of embedders and tests.
    kFirstUser = 64,
};

constexpr uint32_t kMaxClassIds = 256;

}  // namespace quill
