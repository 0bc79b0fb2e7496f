// The registration of every built-in and host class at engine creation, in the engine's fixed
// order: the order of the class ids. This build's own classes are listed here (the Windows-only
// ones only in the Windows build); a host adds the classes only it has (the projector's movie and
// window objects, the tool's `print`) through EngineConfig::hostClasses, and they join at their
// positions, after the engine's own at the same position.
#include <algorithm>
#include <iterator>
#include <vector>

#include "builtins/builtins.h"
#include "compiler/compile_driver.h"
#include "runtime/engine_internal.h"

#ifdef _WIN32
#include "host/com/activex_object.h"
#include "host/net/net_classes.h"
#include "host/system/desktop_classes.h"
#include "host/system/window_object.h"
#endif

namespace quill {

namespace {

// Every class this build of the engine has, in registration order.
constexpr HostRegistration kEngineClasses[] = {
    {ClassId::kGlobalFunctions, registerGlobalFunctions},
    {ClassId::kGlobalFunctions, registerEvalFunctions},
    {ClassId::kDate, registerDate},
#ifdef _WIN32
    {ClassId::kFolder, registerFolder},
    {ClassId::kDrive, registerDrive},
#endif
    {ClassId::kFileStream, registerFileStream},
    {ClassId::kStringStream, registerStringStream},
    {ClassId::kMath, registerMath},
    {ClassId::kRegExp, registerRegExp},
    {ClassId::kArray, registerArray},
    {ClassId::kBoolean, registerBoolean},
    {ClassId::kFunction, registerFunction},
    {ClassId::kNumber, registerNumber},
    {ClassId::kString, registerString},
    {ClassId::kObject, registerObject},
#ifdef _WIN32
    {ClassId::kActiveXObject, registerActiveXObject},
    {ClassId::kEnumerator, registerEnumerator},
    {ClassId::kRegKey, registerRegKey},
    {ClassId::kRegValue, registerRegValue},
    {ClassId::kIni, registerIni},
    {ClassId::kDialogs, registerDialogs},
    {ClassId::kFontObject, registerFontObject},
    {ClassId::kShell, registerShell},
    {ClassId::kShortcut, registerShortcut},
    {ClassId::kURLShortcut, registerURLShortcut},
    {ClassId::kMCI, registerMCI},
#endif
    {ClassId::kAppFunctions, registerUriFunctions},
#ifdef _WIN32
    {ClassId::kAppFunctions, registerAppFunctions},
    {ClassId::kWindow, registerWindow},
#endif
    {ClassId::kMail, registerMail},
    {ClassId::kSendMail, registerSendMail},
    {ClassId::kRecvMail, registerRecvMail},
#ifdef _WIN32
    {ClassId::kInet, registerInet},
    {ClassId::kIPConfig, registerIPConfig},
    {ClassId::kSysInfo, registerSysInfo},
    {ClassId::kSocket, registerSocket},
#endif
};

}  // namespace

void registerBuiltins(ScriptEngine* engine, std::span<const HostRegistration> hostClasses) {
    std::vector<HostRegistration> order(std::begin(kEngineClasses), std::end(kEngineClasses));
    order.insert(order.end(), hostClasses.begin(), hostClasses.end());
    std::stable_sort(
        order.begin(), order.end(),
        [](const HostRegistration& a, const HostRegistration& b) { return a.at < b.at; });
    for (const HostRegistration& entry : order) entry.add(engine);
}

}  // namespace quill
