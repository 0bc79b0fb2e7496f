// Socket notifications that are still queued when their socket goes away: a socket closed by the
// script, collected by the engine, or dropped with the whole engine gets no call afterwards, while
// one that stays gets its calls with itself as `this`.
#include <windows.h>
#include <winsock2.h>

#include <string>

#include "host/net/socket_events_win32.h"
#include "net_test_support.h"
#include "runtime/embed.h"
#include "runtime/script_engine.h"

namespace quill::test {
namespace {

// A listening server and a client connecting to it, each handler counting its calls.
constexpr const char* kPair =
    "var calls = 0, self = null;"
    "function count() { calls++; self = this; }"
    "var server = new Socket(); server.create(0, $SOCK_STREAM, 63, '127.0.0.1'); server.listen();"
    "var client = new Socket(); client.create();"
    "client.connect('127.0.0.1', server.getSockName().port);"
    "server.onAccept = count; client.onConnect = count; client.onSend = count;";

class SocketLifetimeTest : public ::testing::Test {
  protected:
    void SetUp() override { engine = createEngine(); }
    void TearDown() override {
        if (engine) destroyEngine(engine);
    }
    std::string run(const std::string& script) {
        EXPECT_EQ(runScriptText(engine, script), 1) << errorText(engine);
        return completionText(engine);
    }
    // Waits until the connection's notifications are queued (it completes at once on loopback).
    static bool notificationsQueued() {
        for (int i = 0; i < 100; ++i) {
            MSG msg;
            if (PeekMessageW(&msg, nullptr, WM_APP, 0xBFFF, PM_NOREMOVE)) return true;
            Sleep(10);
        }
        return false;
    }
    static void pump(DWORD milliseconds = 300) {
        DWORD end = GetTickCount() + milliseconds;
        while (GetTickCount() < end) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
            Sleep(5);
        }
    }

    ScriptEngine* engine = nullptr;
};

TEST_F(SocketLifetimeTest, LiveSocketsGetTheirCallsWithThemselvesAsThis) {
    run(kPair);
    ASSERT_TRUE(notificationsQueued());
    pump();
    EXPECT_EQ(run("[calls >= 3, self === client || self === server].join()"), "true,true");
}

TEST_F(SocketLifetimeTest, ClosedOrCollectedSocketsGetNoLateCall) {
    run(kPair);
    ASSERT_TRUE(notificationsQueued());
    EXPECT_EQ(net::socketEventTargetCount(), 2u);
    run("client.close(); server = null;");
    collect(engine, engine->stackTop);
    EXPECT_EQ(net::socketEventTargetCount(), 0u);
    pump();
    EXPECT_EQ(run("calls"), "0");
    // The closed socket can be made again and works.
    run("server = new Socket(); server.create(0, $SOCK_STREAM, 63, '127.0.0.1'); server.listen();"
        "server.onAccept = count; client.create();"
        "client.connect('127.0.0.1', server.getSockName().port);");
    pump();
    EXPECT_EQ(run("calls > 0"), "true");
}

TEST_F(SocketLifetimeTest, DestroyedEngineGetsNoLateCall) {
    run(kPair);
    ASSERT_TRUE(notificationsQueued());
    destroyEngine(engine);
    engine = nullptr;
    EXPECT_EQ(net::socketEventTargetCount(), 0u);
    pump();  // a call into the destroyed engine would crash here
    engine = createEngine();
    EXPECT_EQ(run("typeof Socket"), "object");
}

}  // namespace
}  // namespace quill::test
