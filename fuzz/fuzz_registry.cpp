// Fuzz target: registry data as other programs may have stored it. The first byte picks the value
// type, the rest is the data. Reading must stay within the data; text and string lists read back
// must survive being written (with the terminators a write adds) and read again unchanged. The
// data as text is also taken as a registry path and as a zero-separated list.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_engine.h"
#include "host/system/registry_data.h"
#include "runtime/array.h"

using namespace quill;
using namespace quill::registry;

namespace {

const uint32_t kTypes[] = {
    kNone,        kString,       kExpandString, kBinary, kDword, kDwordBigEndian, kLink,
    kMultiString, kResourceList, kQword,        9,       10,     0xFFFFFFFFu};

std::string text(ScriptEngine* engine, const ScriptValue& value) {
    if (value.tag == kTagString) return toUtf8String(stringView(value));
    if (value.tag != kTagArray) return "<other>";
    std::string out;
    forEachElement(engine, value.arr, [&](uint64_t, const ScriptValue& element) {
        out += element.tag == kTagString ? toUtf8String(stringView(element)) : "<?>";
        out += '|';
    });
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 64 * 1024) return 0;
    fuzz::FuzzInput in(data, size);
    uint32_t type = kTypes[in.byte() % (sizeof kTypes / sizeof kTypes[0])];
    std::string_view bytes = in.restBytes();

    fuzz::FuzzEngine fuzzEngine;
    ScriptEngine* engine = fuzzEngine.get();
    ScriptValue v[2] = {makeUndefined(), makeUndefined()};
    RootedValues keep(engine, v, 2);
    guardHostCall(engine, [&] {
        v[0] =
            dataToValue(engine, type, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        if (v[0].tag != kTagString && v[0].tag != kTagArray) return;
        std::vector<uint8_t> written;
        if (!valueToData(engine, v[0], type, &written)) fuzz::fail("text read has no data");
        terminateForWrite(type, &written);
        if (written.empty()) return;  // no data reads as undefined, by design
        v[1] = dataToValue(engine, type, written.data(), written.size());
        if (text(engine, v[0]) != text(engine, v[1])) {
            fuzz::fail("text changes when written and read again", text(engine, v[0]));
        }
    });

    std::u16string asText = unitsOf(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    RegistryPath path = parseRegistryPath(asText);
    if (path.root < -1 || path.root >= kRootCount || path.subkey.size() > asText.size()) {
        fuzz::fail("registry path out of range");
    }
    size_t units = 0;
    for (std::u16string_view entry : splitZeroList(asText)) {
        if (entry.empty()) fuzz::fail("empty list entry");
        units += entry.size() + 1;
    }
    if (units > asText.size() + 1) fuzz::fail("list longer than its text");
    fuzzEngine.expectUsable();
    return 0;
}
