// ActiveXObject and Enumerator against the test automation server: creation in every form,
// each VARIANT type by value and by reference, COM exceptions, events and property
// notifications, collections, and the object's lifetime when handlers run and drop it.
#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "host/com/activex_object.h"
#include "tests/unit/engine_fixture.h"

namespace quill::test {
namespace {

std::string serverPath() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of('\\') + 1) + "quill_test_server.dll";
}

class ActiveXServerTest : public EngineTest {
  protected:
    static void SetUpTestSuite() {
        HMODULE server = LoadLibraryA(serverPath().c_str());
        ASSERT_NE(server, nullptr);
        auto registerServer = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
            reinterpret_cast<void*>(GetProcAddress(server, "DllRegisterServer")));
        ASSERT_EQ(registerServer(), S_OK);
        FreeLibrary(server);
    }
    void SetUp() override {
        EngineTest::SetUp();
        addGlobals();
    }
    void restartWith(const EngineConfig& config) {
        restart(config);
        addGlobals();
    }
    // `print(...)` collects lines (it finds the test through the trace output's user word, which
    // the fixture points at itself); `serverPath` names the server DLL.
    void addGlobals() {
        ClassDescriptor* cls = registerClass(engine, "print");
        cls->call = [](ScriptEngine* e, ClassDescriptor*, void*, ScriptValue* result,
                       ScriptValue* argv) {
            auto* self = static_cast<ActiveXServerTest*>(e->traceUser);
            std::string line;
            for (int64_t i = 1; i <= argv[0].i; ++i) {
                if (i > 1) line += ' ';
                line += str(toString(e, argv[i]));
            }
            self->printed.push_back(line);
            *result = makeUndefined();
        };
        setGlobal(engine, "serverPath", newStringFromAscii(engine, serverPath()));
    }
    // Runs script text: what it printed, one line each, and the failure text if it failed.
    std::string run(const char* text) {
        printed.clear();
        int ok = runScriptText(engine, text);
        std::string out;
        for (const std::string& line : printed) out += line + "\n";
        if (!ok) out += "failed: " + errorText() + "\n";
        return out;
    }
    std::string value(const char* text) {
        if (!runScriptText(engine, text)) return "failed: " + errorText();
        return str(toString(engine, engine->returnSlot));
    }
    void makeServer() {
        ASSERT_EQ(value("var s = new ActiveXObject('Quill.TestServer'); s"),
                  "[object ActiveXObject]");
    }
    // Calls a member of an object from native code, as an object firing on its own would.
    static HRESULT callRaw(IDispatch* target, const wchar_t* name, std::vector<VARIANT> args) {
        DISPID id;
        LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
        HRESULT hr = target->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
        if (FAILED(hr)) return hr;
        DISPPARAMS params{args.data(), nullptr, UINT(args.size()), 0};
        VARIANT result;
        VariantInit(&result);
        hr = target->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
        VariantClear(&result);
        return hr;
    }
    static long readLong(IDispatch* target, const wchar_t* name) {
        DISPID id;
        LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
        if (FAILED(target->GetIDsOfNames(IID_NULL, names, 1, 0, &id))) return -1;
        DISPPARAMS none{};
        VARIANT result;
        VariantInit(&result);
        target->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr);
        return V_VT(&result) == VT_I4 ? V_I4(&result) : -1;
    }

    std::vector<std::string> printed;
};

TEST_F(ActiveXServerTest, CreatesByProgramIdClassIdentifierAndMoniker) {
    EXPECT_EQ(value("new ActiveXObject('Quill.TestServer').Name"), "server");
    EXPECT_EQ(value("new ActiveXObject('{E93CD626-7DA2-4CAE-8342-F6C77122204F}').Name"), "server");
    EXPECT_EQ(value("ActiveXObject('quill.testserver').Name"), "server");  // calling constructs
    // A file moniker: the file's extension leads to the class, which loads the file.
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    std::string file = std::string(folder) + "moniker.quilltest";
    FILE* f = std::fopen(file.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    setGlobal(engine, "file", newStringFromAscii(engine, file));
    EXPECT_EQ(value("new ActiveXObject(file).FileName == file"), "true");
    DeleteFileA(file.c_str());
}

TEST_F(ActiveXServerTest, FailedCreationGivesNullAndTheSystemsMessage) {
    EXPECT_EQ(value("new ActiveXObject('No.Such.Program') === null"), "true");
    // The error buffer keeps the creation's message until the script's next step writes it.
    ScriptValue name = newStringFromAscii(engine, "No.Such.Program");
    EXPECT_EQ(construct("ActiveXObject", {name}).tag, kTagNull);
    EXPECT_EQ(errorText(), "Invalid class string");
    construct("ActiveXObject",
              {newStringFromAscii(engine, "{00000000-0000-0000-0000-00000000ABCD}")});
    EXPECT_EQ(errorText(), "Class not registered");
    construct("ActiveXObject", {newStringFromAscii(engine, "C:\\no\\such\\file.quilltest")});
    EXPECT_NE(errorText(), "");
    // Names that are no strings make nothing.
    EXPECT_EQ(value("new ActiveXObject(5) === null && new ActiveXObject() === null &&"
                    "new ActiveXObject('') === null"),
              "true");
}

TEST_F(ActiveXServerTest, RegisterAndUnregisterCallTheLibraryExports) {
    EXPECT_EQ(value("ActiveXObject.unregister(serverPath)"), "true");
    EXPECT_EQ(value("new ActiveXObject('Quill.TestServer') === null"), "true");
    EXPECT_EQ(value("ActiveXObject.register(serverPath)"), "true");
    EXPECT_EQ(value("var s = new ActiveXObject('Quill.TestServer'); s.register(serverPath)"),
              "true");
    // No file, a library without the export, or no path at all: false.
    EXPECT_EQ(value("[s.register('no_such_library.dll'), ActiveXObject.unregister('kernel32.dll'), "
                    "ActiveXObject.register(1), ActiveXObject.register('')].join()"),
              "false,false,false,false");
}

TEST_F(ActiveXServerTest, ArgumentsArriveAsTheDeclaredTypes) {
    makeServer();
    EXPECT_EQ(run("var ab = new StringStream(); ab.write('AB');"
                  "print(s.TakeUI1(200.9), s.TakeI2('-5'), s.TakeI4(0xFFFFFFFF));"
                  "print(s.TakeR4(1.5), s.TakeR8(7), s.TakeCY(12), s.TakeCY(1.25));"
                  "print(s.TakeDate(0), s.TakeDate(new Date(86400000)), s.TakeBSTR(12));"
                  "print(s.TakeDispatch(s), s.TakeDispatch('x'), s.TakeError(5), s.TakeBool(1));"
                  "print(s.TakeArray([1, 'x', [2]]), s.TakeBytes(ab));"
                  "print(s.TakeDoubles([1, '2.5']), s.TakeBytes([1, 255]));"
                  "print(s.TakeOptional(1), s.TakeOptional(1, undefined), s.TakeOptional(1, 2));"),
              "UI1:200 I2:-5 I4:-1\n"
              "R4:1.5 R8:7 CY:12.0000 CY:1.2500\n"
              "DATE:25569 DATE:25570 BSTR:12\n"
              "DISPATCH:object DISPATCH:null ERROR:5 BOOL:-1\n"
              "ARRAY(VARIANT)[I4:1,BSTR:x,ARRAY(VARIANT)[I4:2]] ARRAY(UI1)[65,66]\n"
              "ARRAY(R8)[1,2.5] ARRAY(UI1)[1,255]\n"
              "I4:1 missing I4:1 ERROR:-2147352572 I4:1 I4:2\n");
    // A value no declared type can take is an error of the call.
    EXPECT_EQ(run("try { s.TakeUI1(256); } catch (e) { print(e); }"),
              "Runtime error: Out of present range.\n");
}

TEST_F(ActiveXServerTest, BoxesPassByReferenceAndGetTheResultBack) {
    makeServer();
    EXPECT_EQ(run("var b = {value: 7}; print(s.RefI4(b)); print(b.value);"
                  "b.value = 254; s.RefUI1(b); print(b.value);"
                  "b.value = -3; s.RefI2(b); print(b.value);"
                  "b.value = 0.5; s.RefR4(b); s.RefR8(b); print(b.value);"
                  "b.value = 1.5; s.RefCY(b); print(b.value);"
                  "b.value = new Date(0); s.RefDate(b); print(b.value);"
                  "b.value = 'abc'; s.RefBSTR(b); print(b.value);"
                  "b.value = false; s.RefBool(b); print(b.value);"
                  "b.value = 1; s.RefError(b); print(b.value);"
                  "b.value = null; s.RefDispatch(b); print(b.value.Name);"
                  "b.value = 5; print(s.RefVariant(b)); print(b.value);"
                  "b.value = [1, 2]; s.RefArray(b); print(b.value);"),
              "BYREF I4:7\n8\n255\n-2\n2.5\n2.5\n86400000\nabc!\ntrue\n2\nserver\n"
              "BYREF VARIANT(I4:5)\nchanged\n1,2,99\n");
    // A plain value for a by-reference parameter goes through a temporary.
    EXPECT_EQ(value("s.RefBSTR('plain')"), "BYREF BSTR:plain");
}

TEST_F(ActiveXServerTest, MembersWithoutTypeInformationTakeEachValuesOwnType) {
    makeServer();
    EXPECT_EQ(run("var u = s.Untyped(); print(u.GetTypeInfoCount());"
                  "var ab = new StringStream(); ab.write('A');"
                  "print(u.Describe(1, 4294967296, 2.5, 'x', true, null, undefined));"
                  "print(u.Describe(new Date(0), [1], ab, s));"
                  "var b = {value: 1}; print(u.Describe(b)); print(b.value, u.Value);"),
              "0\n"
              "flags=3 | I4:1 | I8:4294967296 | R8:2.5 | BSTR:x | BOOL:-1 | NULL | EMPTY\n"
              "flags=3 | DATE:25569 | ARRAY(VARIANT)[I4:1] | ARRAY(UI1)[65] | DISPATCH:object\n"
              "flags=3 | BYREF VARIANT(I4:1)\n"
              "set by server 42\n");
}

TEST_F(ActiveXServerTest, ResultsBecomeScriptValues) {
    makeServer();
    EXPECT_EQ(run("print(s.Make('empty'), s.Make('null') === null, s.Make('i1'), s.Make('ui2'));"
                  "print(s.Make('ui4'), s.Make('i8'), s.Make('ui8') > 1.7e19, s.Make('r4'));"
                  "print(s.Make('cy'), s.Make('decimal'), s.Make('error'), s.Make('bool'));"
                  "print(s.Make('date'), s.Make('olddate'), s.Make('nulldispatch') === null);"
                  "print(s.Make('unknown').Name, s.Make('enum') === null);"
                  "var m = s.Make('matrix'); print(m.length, m[0], m[1][2]);"
                  "var n = s.Make('nested'); print(n.length, n[1][0], n[1][1]);"
                  "var b = s.Make('bytes'); var first = b.get(); print(b.length, first, b.get());"),
              "undefined true -7 65535\n"
              "4000000000 -9000000000000000000 true 0.5\n"
              "12.3456 2.25 -2147352572 true\n"
              "946749600000 -2209226400000 true\n"
              "server true\n"
              "2 10,11,12 22\n"
              "2 two true\n"
              "4 250 251\n");
}

TEST_F(ActiveXServerTest, ComExceptionsBecomeScriptErrors) {
    makeServer();
    EXPECT_EQ(run("try { s.Fail(); } catch (e) { print(e); }"
                  "try { s.FailPartly(); } catch (e) { print(e); }"
                  "try { s.FailDeferred(); } catch (e) { print(e); }"
                  "try { s.FailPlain(); } catch (e) { print(e); }"
                  "try { s.TakeI4(); } catch (e) { print(e); }"),
              "Runtime error: Quill.TestServer:Something failed. See also: C:\\help\\server.chm.\n"
              "Runtime error: :Only a description. See also: .\n"
              "Runtime error: Deferred.Source:filled in later. See also: later.hlp.\n"
              "Runtime error: Access denied.\n"
              "Runtime error: Invalid number of parameters.\n");
    // Uncaught, the error ends the script with the same text.
    EXPECT_EQ(run("s.Fail(); print('not reached');"),
              "failed: Runtime error: Quill.TestServer:Something failed. See also: "
              "C:\\help\\server.chm.\n");
}

TEST_F(ActiveXServerTest, UnknownMembersWarnAndGiveUndefined) {
    makeServer();
    EXPECT_EQ(value("typeof s.NoSuchMember(1)"), "undefined");
    EXPECT_EQ(trace.back(), "Warning: unknown method \"NoSuchMember\"");
    EXPECT_EQ(value("typeof s.noSuchProperty"), "undefined");
    EXPECT_EQ(trace.back(), "Warning: using undefined property \"noSuchProperty\"");
    // Names the object does not know keep script values of their own.
    EXPECT_EQ(value("s.mine = 5; s.mine"), "5");
    EXPECT_EQ(value("s.GetTypeInfoCount() + ' ' + s + ' ' + ActiveXObject"),
              "1 [object ActiveXObject] [object ActiveXObject]");
    // Reading a method as a property is a failed property read.
    EXPECT_EQ(value("try { s.Fail; } catch (e) { e }"), "Runtime error: Member not found.");
}

TEST_F(ActiveXServerTest, IndexedReadsCallItem) {
    makeServer();
    EXPECT_EQ(value("s[1] + ' ' + s['key'] + ' ' + s.Item(2) + ' ' + s.Count"),
              "beta item key gamma 3");
    EXPECT_EQ(value("try { s[7]; } catch (e) { e }"), "Runtime error: Invalid index.");
    // An object with neither an Item member nor a default member gives undefined.
    EXPECT_EQ(value("typeof s.Untyped()[0]"), "undefined");
}

TEST_F(ActiveXServerTest, EnumeratorWalksACollection) {
    makeServer();
    EXPECT_EQ(run("var e = new Enumerator(s); var seen = [];"
                  "for (; !e.atEnd(); e.moveNext()) seen[seen.length] = e.item();"
                  "print(seen, typeof e.item(), e);"
                  "e.moveNext(); print(e.atEnd()); e.moveFirst(); print(e.item(), e.atEnd());"
                  "print(new Enumerator(s.Untyped()) === null, new Enumerator([1]) === null,"
                  "      Enumerator(s).item());"),
              "alpha,beta,gamma undefined [object Enumerator]\n"
              "true\n"
              "alpha false\n"
              "true true alpha\n");
}

TEST_F(ActiveXServerTest, FunctionsAssignedToEventNamesHandleTheEvents) {
    makeServer();
    EXPECT_EQ(run("s.Ping = function (text, n) { print('ping', text, n, this == s); };"
                  "s.Fire('hello', 3); print(s.Connections, typeof s.Ping);"
                  "s.adjust = function (n, t) { n.value = n.value * 2; t.value += '?'; };"
                  "print(s.FireAdjust(4, 'x'));"
                  "s.Ask = function (q) { return q + '!'; }; print(s.FireAsk('why'));"
                  "s.Ask = function (q) { return [q, 2]; }; print(s.FireAsk('two'));"),
              "ping hello 3 true\n1 function\n8|x?\nwhy!\ntwo,2\n");
    // A failing handler is reported to the trace output; the call that fired goes on.
    EXPECT_EQ(
        run("s.Ping = function () { throw 'handler failed'; }; s.Fire('x', 1); print('after');"),
        "after\n");
    EXPECT_EQ(trace.back(), "handler failed");
    // null detaches; with no handler left the connection ends.
    EXPECT_EQ(run("s.Ping = null; s.Adjust = null; s.Ask = undefined; s.Fire('x', 1);"
                  "print(s.Connections, typeof s.Ping);"),
              "0 undefined\n");
    // A handler may detach itself while its event is being delivered.
    EXPECT_EQ(run("s.Ping = function (t) { s.Ping = null; print('once', t); };"
                  "s.Fire('a', 1); s.Fire('b', 2); print(s.Connections);"),
              "once a\n0\n");
    // A function for a name that is no event is the script's own property.
    EXPECT_EQ(value("s.helper = function () { return 3; }; s.helper()"), "3");
}

TEST_F(ActiveXServerTest, PropertyNotificationsCallTheirHandlers) {
    makeServer();
    EXPECT_EQ(
        run("s.OnPropertyWillChange = function (name, id) { print('will', name, id); };"
            "s.OnPropertyChanged = function (name, id) { print('changed', name, id); };"
            "s.Name = 'first'; print(s.Name, s.EnablePropertyNotify);"
            "s.OnPropertyWillChange = function () { return false; };"
            "s.Name = 'refused'; print(s.Name);"
            "print(s.EnablePropertyNotify(false)); s.Name = 'quiet'; print(s.Name, s.Connections);"
            "var on = s.EnablePropertyNotify(); print(on, s.Connections);"
            "s.OnPropertyChanged = 5; print(typeof s.OnPropertyChanged);"),
        "will Name 100\nchanged Name 100\nfirst true\nfirst\nfalse\nquiet 0\ntrue 1\n"
        "function\n");
    // An object that offers no notifications refuses quietly.
    EXPECT_EQ(value("var u = s.Untyped(); u.OnPropertyChanged = function () {};"
                    "u.EnablePropertyNotify(true)"),
              "false");
}

TEST_F(ActiveXServerTest, AHandlerMayDropTheLastReferenceToItsObject) {
    EngineConfig config;
    config.gcStress = true;  // collect at every collection point
    restartWith(config);
    makeServer();
    // The event comes from native code, so no script frame holds the object while the handler
    // lets go of it and the collector runs.
    ASSERT_EQ(value("var calls = 0; s.Ping = function (text) { s = null; calls++;"
                    "  var junk = []; for (var i = 0; i < 200; i++) junk[i] = text + i; };"
                    "s.OnPropertyChanged = function () {}; s.Connections"),
              "2");
    IDispatch* server = activeXDispatch(getGlobal(engine, "s"));
    ASSERT_NE(server, nullptr);
    server->AddRef();
    VARIANT args[2];
    VariantInit(&args[0]);
    V_VT(&args[0]) = VT_I4, V_I4(&args[0]) = 1;
    VariantInit(&args[1]);
    V_VT(&args[1]) = VT_BSTR, V_BSTR(&args[1]) = SysAllocString(L"x");
    EXPECT_EQ(callRaw(server, L"Fire", {args[0], args[1]}), S_OK);
    // Fired again after its object became garbage: nothing reaches the dropped handler.
    EXPECT_EQ(value("calls"), "1");
    collect(engine, engine->stackTop);
    EXPECT_EQ(callRaw(server, L"Fire", {args[0], args[1]}), S_OK);
    VariantClear(&args[1]);
    // The connections ended with the object (at the next automation step).
    EXPECT_EQ(value("calls + ' ' + new ActiveXObject('Quill.TestServer').LiveObjects"), "1 2");
    EXPECT_EQ(readLong(server, L"Connections"), 0);
    server->Release();
    EXPECT_EQ(value("new ActiveXObject('Quill.TestServer').LiveObjects"), "1");
}

TEST_F(ActiveXServerTest, EventsFromAnotherThreadDoNotReachScripts) {
    makeServer();
    ASSERT_EQ(value("var calls = 0; s.Ping = function () { calls++; }; calls"), "0");
    // An object that ignores its apartment and fires from a thread of its own.
    IDispatch* server = activeXDispatch(getGlobal(engine, "s"));
    HRESULT hr = E_FAIL;
    std::thread other([&] {
        VARIANT args[2];
        VariantInit(&args[0]);
        V_VT(&args[0]) = VT_I4, V_I4(&args[0]) = 1;
        VariantInit(&args[1]);
        V_VT(&args[1]) = VT_BSTR, V_BSTR(&args[1]) = SysAllocString(L"x");
        hr = callRaw(server, L"Fire", {args[0], args[1]});
        VariantClear(&args[1]);
    });
    other.join();
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(value("s.Fire('y', 2); calls"), "1");
}

TEST_F(ActiveXServerTest, EventsThatFireThemselvesStopAtADepthBound) {
    makeServer();
    EXPECT_EQ(run("var depth = 0; s.Ping = function (t, n) { depth++; s.Fire('again', n + 1); };"
                  "s.Fire('first', 0); print(depth > 10, depth < 100);"),
              "true true\n");
    EXPECT_EQ(trace.back(), "Runtime error: stack overflow");
}

TEST_F(ActiveXServerTest, ValuesFromTheObjectStayWithinTheHeapLimit) {
    EngineConfig config;
    config.maxHeapBytes = 4 << 20;
    restartWith(config);
    makeServer();
    EXPECT_EQ(run("try { s.MakeBig('string', 8000000); } catch (e) { print(e); }"
                  "try { s.MakeBig('array', 2000000); } catch (e) { print(e); }"
                  "try { s.MakeBig('bigbytes', 16000000); } catch (e) { print(e); }"
                  "try { s.MakeBig('deep', 500); } catch (e) { print(e); }"
                  "print(s.MakeBig('string', 1000).length, s.MakeBig('array', 1000).length);"),
              "Runtime error: Out of memory\nRuntime error: Out of memory\n"
              "Runtime error: Out of memory\nRuntime error: stack overflow\n1000 1000\n");
}

}  // namespace
}  // namespace quill::test
