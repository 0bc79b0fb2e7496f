// Fuzz target: StringStream. The input is a short program of stream operations followed by the
// stream's content: a count byte, then (operation, argument) byte pairs, then the content. The
// content is also uncompressed as it is, and compress followed by uncompress must give it back.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_engine.h"
#include "host/system/string_stream_access.h"

using namespace quill;

namespace {

enum Slot { kStream, kOther, kText, kResult, kSlotCount };

const char* const kReads[] = {"get",       "getShort", "getLong",    "getFloat",
                              "getDouble", "readLine", "readString", "readUnicodeString",
                              "flush",     "toString"};
const char* const kProperties[] = {"getPos", "putPos", "eof", "length", "crc"};

bool call(ScriptEngine* engine, const ScriptValue& receiver, const char* member, uint32_t count,
          const ScriptValue* arguments) {
    ScriptValue args[4] = {makeInteger(count)};
    for (uint32_t i = 0; i < count; ++i) args[i + 1] = arguments[i];
    return callMethod(engine, receiver, member, count + 1, args) != 0;
}

// compress then uncompress must give the content back, at every level.
void checkCompressRoundTrip(ScriptEngine* engine, ScriptValue* v, int64_t level) {
    ScriptValue levelValue = makeInteger(level);
    if (!call(engine, v[kStream], "compress", 1, &levelValue)) return;
    v[kOther] = engine->returnSlot;
    if (v[kOther].tag == kTagNull) return;  // a closed stream or an invalid level
    if (!call(engine, v[kOther], "uncompress", 0, nullptr) ||
        !isStringStream(engine, engine->returnSlot)) {
        fuzz::fail("compressed content does not uncompress");
    }
    v[kResult] = engine->returnSlot;
    size_t a = 0, b = 0;
    const uint8_t* original = stringStreamBytes(engine, v[kStream], &a);
    const uint8_t* back = stringStreamBytes(engine, v[kResult], &b);
    if (a != b || (a && std::memcmp(original, back, a) != 0)) {
        fuzz::fail("uncompress(compress(x)) differs from x");
    }
}

void runOperation(ScriptEngine* engine, ScriptValue* v, uint8_t op, uint8_t argument) {
    ScriptValue& s = v[kStream];
    ScriptValue number = makeInteger(argument);
    switch (op % 16) {
        case 0:
        case 1:
            call(engine, s, kReads[argument % 10], 0, nullptr);
            return;
        case 2: {
            // Counts around the interesting sizes: 0, small, and past any content.
            ScriptValue n = makeInteger(argument < 128 ? argument : (int64_t(argument) << 24));
            call(engine, s, "read", 1, &n);
            return;
        }
        case 3:
            call(engine, s, "put", 1, &number);
            return;
        case 4: {
            ScriptValue n = makeInteger(int64_t(argument) * 257 - 32768);
            call(engine, s, "putShort", 1, &n);
            return;
        }
        case 5: {
            ScriptValue n = makeNumber(double(argument) / 7.0 - 18.0);
            call(engine, s, "putFloat", 1, &n);
            return;
        }
        case 6: {
            ScriptValue args[3] = {number, makeNumber(argument * 0.5), v[kText]};
            call(engine, s, argument & 1 ? "writeLine" : "write", 3, args);
            return;
        }
        case 7:
            call(engine, s, argument & 1 ? "writeUnicodeString" : "writeString", 1, &v[kText]);
            return;
        case 8:
            if (argument & 1) {
                call(engine, s, "unget", 0, nullptr);
            } else {
                call(engine, s, "unget", 1, &number);
            }
            return;
        case 9:
        case 10: {
            // Positions: small ones, one far past the content, and a negative one.
            int64_t pos = argument < 200 ? argument : argument < 250 ? int64_t(argument) << 23 : -1;
            ScriptValue p = makeInteger(pos);
            guardHostCall(engine, [&] {
                setProperty(engine, s, intern(engine, op % 16 == 9 ? "getPos" : "putPos"), p);
            });
            return;
        }
        case 11:
            guardHostCall(engine, [&] {
                ScriptValue out;
                getProperty(engine, s, intern(engine, kProperties[argument % 5]), &out);
            });
            return;
        case 12:
            checkCompressRoundTrip(engine, v, int64_t(argument % 12) - 2);
            return;
        case 13:
            // Work on from an uncompressed copy when there is one.
            if (call(engine, s, "uncompress", 0, nullptr) &&
                isStringStream(engine, engine->returnSlot)) {
                s = engine->returnSlot;
            }
            return;
        case 14:
            if (argument == 0) call(engine, s, "close", 0, nullptr);
            return;
        default: {
            // A fresh stream of a mode given by the argument (some invalid), filled with the text.
            ScriptValue mode = makeInteger(int64_t(argument % 6) - 1);
            ScriptValue args[2] = {makeInteger(1), mode};
            if (callFunction(engine, "StringStream", nullptr, 2, args) &&
                isStringStream(engine, engine->returnSlot)) {
                s = engine->returnSlot;
                call(engine, s, "write", 1, &v[kText]);
            }
            return;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 64 * 1024) return 0;
    fuzz::FuzzInput in(data, size);
    uint8_t count = in.byte() % 32;
    std::vector<uint8_t> program;
    for (uint8_t i = 0; i < count; ++i) {
        program.push_back(in.byte());
        program.push_back(in.byte());
    }
    std::string_view content = in.restBytes();

    fuzz::FuzzEngine fuzzEngine;
    ScriptEngine* engine = fuzzEngine.get();
    ScriptValue v[kSlotCount];
    for (ScriptValue& value : v) value = makeUndefined();
    RootedValues keep(engine, v, kSlotCount);
    if (!guardHostCall(engine, [&] {
            v[kStream] = newStringStreamFromBytes(engine, content.data(), content.size());
            v[kText] = newStringFromUtf8(engine, content.substr(0, 64));
        })) {
        fuzz::fail("a stream could not be made", engine->errorBuffer);
    }

    call(engine, v[kStream], "uncompress", 0, nullptr);
    checkCompressRoundTrip(engine, v, 6);
    for (size_t i = 0; i + 1 < program.size(); i += 2)
        runOperation(engine, v, program[i], program[i + 1]);
    fuzzEngine.expectUsable();
    return 0;
}
