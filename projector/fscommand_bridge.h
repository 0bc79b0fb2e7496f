// The FSCommand bridge: turns the movie's FSCommand events into script runs and a few window
// actions. It owns the process's one script engine (created on first need, destroyed by
// "Quill_Quit") and a cache of the compiled scripts read from the executable's QUILL resources.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "runtime/embed.h"

namespace quill::projector {

// What the bridge needs of the main window.
class BridgeWindow {
  public:
    virtual ~BridgeWindow() = default;
    virtual HWND hwnd() const = 0;
    // Runs (or, while a handler is active, defers) the close procedure.
    virtual void closePlayer() = 0;
    // Shows a container error in the projector's message box.
    virtual void showError(const std::string& text) = 0;
};

inline constexpr size_t kScriptBuckets = 17;
// The main window's timer that retries a quit deferred while a handler ran.
inline constexpr UINT_PTR kPendingQuitTimer = 0x5151;

// The cache's hash over the name's bytes as received (case included).
uint32_t scriptNameHash(const std::string& name);

class FsCommandBridge {
  public:
    explicit FsCommandBridge(BridgeWindow* window);
    ~FsCommandBridge();
    FsCommandBridge(const FsCommandBridge&) = delete;
    FsCommandBridge& operator=(const FsCommandBridge&) = delete;

    void OnFSCommand(const char* command, const char* args);
    // Runs a script resource by name without trace lines; false when it is missing or failed.
    bool RunScriptByName(const std::string& name);
    // "Quill_Run" "Initialize" and its answer: the script's boolean completion value, else true.
    bool RunStartupScript();

    int depth() const { return depth_; }
    // Whether a script is running on the engine: a command's script, or a window's or socket's
    // handler that the message loop called. Quitting and closing wait until none is.
    bool engineBusy() const;
    // A quit that had to wait looks again (posted message, timer): the engine goes once nothing
    // runs on it.
    void finishPendingQuit();
    bool closeRequested() const { return closeRequested_; }
    void setCloseRequested(bool requested) { closeRequested_ = requested; }
    ScriptEngine* engine() const { return engine_; }

    // Seconds a script may hold the user-interface thread before the user is asked whether to
    // stop it (0: never ask).
    void setScriptTimeout(unsigned seconds) { timeoutMs_ = seconds * 1000ull; }

  private:
    struct CacheEntry {
        std::string name;
        std::vector<uint8_t> module;
        std::unique_ptr<CacheEntry> next;
    };

    const std::vector<uint8_t>* LookupScript(const std::string& name);
    bool ensureEngine();
    void destroyEngine();
    // Defers "Quill_Quit" until nothing runs on the engine.
    void deferQuit();
    // Runs `run` on the engine with the not-responding clock started by the outermost run.
    template <class Run>
    int runGuarded(Run run);
    static int collectionHook(int reason, void* user);
    static void engineTrace(void* user, std::string_view text);

    BridgeWindow* window_;
    ScriptEngine* engine_ = nullptr;
    int depth_ = 0;
    int runs_ = 0;  // script runs in progress (nested ones included)
    bool closeRequested_ = false;
    bool quitPending_ = false;  // "Quill_Quit" arrived while a script was running
    std::array<std::unique_ptr<CacheEntry>, kScriptBuckets> cache_;
    uint64_t timeoutMs_ = 10000;
    uint64_t runStart_ = 0;
    bool asking_ = false;
};

}  // namespace quill::projector
