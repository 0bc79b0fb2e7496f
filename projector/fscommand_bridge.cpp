// FSCommand handling: the reserved commands, the lazily created engine, the nesting depth that
// defers closing until the outermost handler returns, and the 17-bucket script cache.
#include "projector/fscommand_bridge.h"

#include <cstdio>
#include <cstdlib>

#include "host/system/window_object.h"
#include "projector/projector_texts.h"
#include "projector/records/resource_access.h"
#include "projector/script_objects.h"
#include "projector/trace_output.h"
#include "runtime/script_engine.h"

namespace quill::projector {

namespace {

// Only A to Z fold, as the commands are compared.
bool equalsAsciiNoCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        char x = *a >= 'A' && *a <= 'Z' ? char(*a + 32) : *a;
        char y = *b >= 'A' && *b <= 'Z' ? char(*b + 32) : *b;
        if (x != y) return false;
        if (x == 0) return true;
    }
}

void traceFormat(const char* format, const char* a, const char* b = "") {
    if (!tracing()) return;
    int n = std::snprintf(nullptr, 0, format, a, b);
    if (n <= 0) return;
    std::string line(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(line.data(), line.size(), format, a, b);
    line.resize(static_cast<size_t>(n));
    traceText(line);
}

}  // namespace

uint32_t scriptNameHash(const std::string& name) {
    uint32_t h = 0;
    for (unsigned char c : name) h = (h << 5) ^ ((((h >> 9) ^ h) >> 7) ^ c);
    return h;
}

FsCommandBridge::FsCommandBridge(BridgeWindow* window) : window_(window) {
    // Authors and tests may shorten (or with 0 switch off) the wait before the question.
    char seconds[16];
    DWORD n = GetEnvironmentVariableA("QUILL_SCRIPT_TIMEOUT", seconds, sizeof seconds);
    if (n > 0 && n < sizeof seconds) setScriptTimeout(static_cast<unsigned>(std::atoi(seconds)));
}

FsCommandBridge::~FsCommandBridge() {
    for (auto& head : cache_) {
        // Unlinked one by one so that a long bucket cannot recurse deeply.
        while (head) head = std::move(head->next);
    }
    destroyEngine();
}

const std::vector<uint8_t>* FsCommandBridge::LookupScript(const std::string& name) {
    auto& head = cache_[scriptNameHash(name) % kScriptBuckets];
    for (CacheEntry* entry = head.get(); entry; entry = entry->next.get()) {
        if (lstrcmpiA(entry->name.c_str(), name.c_str()) == 0) return &entry->module;
    }
    std::vector<uint8_t> module;
    try {
        if (!project::LoadPackedResource(
                name.c_str(), project::kScriptType, &module,
                [this](const std::string& text) { window_->showError(text); })) {
            return nullptr;
        }
    } catch (...) {
        return nullptr;  // a missing resource is only "not found"; it is tried again next time
    }
    auto entry = std::make_unique<CacheEntry>();
    entry->name = name;
    entry->module = std::move(module);
    entry->next = std::move(head);
    head = std::move(entry);
    return &head->module;
}

bool FsCommandBridge::ensureEngine() {
    if (engine_) return true;
    EngineConfig config;
    config.hostClasses = projectorClasses();
    config.hook = collectionHook;
    config.hookUser = this;
    engine_ = createEngine(config);
    if (!engine_) return false;
    setTraceText(engine_, engineTrace, this);
    setMainWindow(engine_, window_->hwnd());
    return true;
}

void FsCommandBridge::destroyEngine() {
    if (!engine_) return;
    ScriptEngine* engine = engine_;
    engine_ = nullptr;
    quill::destroyEngine(engine);
}

bool FsCommandBridge::engineBusy() const {
    return runs_ > 0 || (engine_ && engine_->runDepth > 0);
}

void FsCommandBridge::deferQuit() {
    quitPending_ = engine_ != nullptr;
    // A handler the message loop called has no run of ours to finish the quit when it returns:
    // a posted message (handled before any input) looks again.
    if (quitPending_ && window_->hwnd()) PostMessageW(window_->hwnd(), kMsgPendingQuit, 0, 0);
}

void FsCommandBridge::finishPendingQuit() {
    if (quitPending_ && engineBusy()) {
        // The handler waits in processMsg: a timer (which never keeps that loop spinning, as a
        // posted message would) looks again later.
        if (window_->hwnd()) SetTimer(window_->hwnd(), kPendingQuitTimer, 50, nullptr);
        return;
    }
    if (window_->hwnd()) KillTimer(window_->hwnd(), kPendingQuitTimer);
    if (!quitPending_) return;
    quitPending_ = false;
    destroyEngine();
}

void FsCommandBridge::engineTrace(void*, std::string_view text) {
    if (!tracing()) return;
    traceText(text);
    traceText("\r\n");
}

int FsCommandBridge::collectionHook(int, void* user) {
    auto* self = static_cast<FsCommandBridge*>(user);
    if (self->timeoutMs_ == 0 || self->asking_ || self->runs_ == 0) return 0;
    if (GetTickCount64() - self->runStart_ < self->timeoutMs_) return 0;
    // The question pumps messages; the movie may raise commands meanwhile, which run nested.
    self->asking_ = true;
    int answer =
        MessageBoxA(self->window_->hwnd(), kScriptNotResponding, "", MB_YESNO | MB_ICONEXCLAMATION);
    self->asking_ = false;
    self->runStart_ = GetTickCount64();  // "No" gives the script another full period
    return answer == IDYES ? 1 : 0;
}

template <class Run>
int FsCommandBridge::runGuarded(Run run) {
    if (runs_++ == 0) runStart_ = GetTickCount64();
    int ok = run(engine_);
    --runs_;
    // A command's run may sit inside a window handler, whose script still needs the engine.
    if (quitPending_ && !engineBusy()) finishPendingQuit();
    return ok;
}

void FsCommandBridge::OnFSCommand(const char* command, const char* args) {
    if (!command) return;
    if (!args) args = "";
    // A quit that waited for a handler is done before anything else: a command never runs on an
    // engine that was asked to go.
    if (quitPending_ && !engineBusy()) finishPendingQuit();
    ++depth_;
    int ran = -1;  // -1: no script run; else the run's result
    ScriptEngine* ranOn = nullptr;
    if (equalsAsciiNoCase(command, "Quill_Quit")) {
        // Destroying the engine under a running script would pull its stack away: then the
        // engine goes when nothing runs on it any more.
        if (engineBusy()) {
            deferQuit();
        } else {
            destroyEngine();
        }
    } else if (equalsAsciiNoCase(command, "Quill_Run")) {
        traceFormat("FSCommand(\"%s\", \"%s\")\r\n", command, args);
        const std::vector<uint8_t>* module = LookupScript(args);
        if (!module) {
            traceFormat("Warning: Quill Script \"%s\" not found.\r\n", args);
            traceText("\r\n");
        } else if (ensureEngine()) {
            // The cache entry outlives the run: entries are only freed with the window.
            ranOn = engine_;
            ran = runGuarded(
                [&](ScriptEngine* e) { return runModule(e, module->data(), module->size()); });
        }
    } else if (equalsAsciiNoCase(command, "Quill_Eval")) {
        traceFormat("FSCommand(\"%s\", \"%s\")\r\n", command, args);
        if (ensureEngine()) {
            ranOn = engine_;
            ran = runGuarded([&](ScriptEngine* e) { return runScriptText(e, args); });
        }
    } else if (equalsAsciiNoCase(command, "Quill_File")) {
        traceFormat("FSCommand(\"%s\", \"%s\")\r\n", command, args);
        if (ensureEngine()) {
            ranOn = engine_;
            ran = runGuarded([&](ScriptEngine* e) { return runScriptFile(e, args); });
        }
    } else if (equalsAsciiNoCase(command, "quit")) {
        window_->closePlayer();
    } else if (equalsAsciiNoCase(command, "fullscreen")) {
        if (equalsAsciiNoCase(args, "true")) {
            ShowWindow(window_->hwnd(), SW_MAXIMIZE);
        } else if (equalsAsciiNoCase(args, "false")) {
            ShowWindow(window_->hwnd(), SW_RESTORE);
        }
    } else if (equalsAsciiNoCase(command, "exec")) {
        WinExec(args, SW_SHOWNORMAL);
    }
    if (ran == 0) {
        // A quit that was pending may have taken the engine (and its message) with it.
        std::string message;
        if (ranOn && ranOn == engine_) {
            ErrorKind kind = errorKind(engine_);
            message = kind == ErrorKind::kCompile || kind == ErrorKind::kFile ? diagnostics(engine_)
                                                                              : errorText(engine_);
            while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
                message.pop_back();
            }
        }
        traceFormat("%s\r\n", message.c_str());
        traceText("\r\n");
    } else if (ran == 1) {
        traceText("\r\n");
    }
    --depth_;
}

bool FsCommandBridge::RunScriptByName(const std::string& name) {
    const std::vector<uint8_t>* module = LookupScript(name);
    if (!module || !ensureEngine()) return false;
    return runGuarded(
               [&](ScriptEngine* e) { return runModule(e, module->data(), module->size()); }) != 0;
}

bool FsCommandBridge::RunStartupScript() {
    OnFSCommand("Quill_Run", "Initialize");
    bool answer = true;
    if (engine_ && completionBoolean(engine_, &answer)) return answer;
    return true;
}

}  // namespace quill::projector
