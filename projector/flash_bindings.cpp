// Bound movie-variable paths and their prefixes: two 17-bucket tables per engine, new entries at
// the front of their bucket, names compared with A to Z folded; and the MovieClip class that
// stands for a prefix.
#include "projector/flash_bindings.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <cwchar>
#include <memory>

#include "builtins/builtin_support.h"
#include "platform/ansi_codepage.h"
#include "runtime/class_binding.h"

namespace quill::projector {

namespace {

char16_t foldUnit(char16_t unit) {
    return unit >= u'A' && unit <= u'Z' ? char16_t(unit + 32) : unit;
}

bool samePath(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (foldUnit(a[i]) != foldUnit(b[i])) return false;
    }
    return true;
}

struct Binding {
    std::u16string path;
    ScriptValue cell = makeUndefined();
    std::unique_ptr<Binding> next;
};

struct Prefix {
    std::u16string path;
    uint32_t count = 0;
    std::unique_ptr<Prefix> next;
};

template <typename Entry>
using Buckets = std::array<std::unique_ptr<Entry>, kBindingBuckets>;

template <typename Entry>
Entry* findEntry(Buckets<Entry>& table, std::u16string_view path) {
    for (Entry* e = table[bindingHash(path) % kBindingBuckets].get(); e; e = e->next.get()) {
        if (samePath(e->path, path)) return e;
    }
    return nullptr;
}

template <typename Entry>
void removeEntry(Buckets<Entry>& table, std::u16string_view path) {
    std::unique_ptr<Entry>* link = &table[bindingHash(path) % kBindingBuckets];
    while (*link && !samePath((*link)->path, path)) link = &(*link)->next;
    if (*link) *link = std::move((*link)->next);
}

template <typename Entry>
void clearTable(Buckets<Entry>& table) {
    // Unlinked one by one so that a long bucket cannot recurse deeply.
    for (auto& head : table) {
        while (head) head = std::move(head->next);
    }
}

struct BindingState {
    Buckets<Binding> bindings;
    Buckets<Prefix> prefixes;
    ~BindingState() {
        clearTable(bindings);
        clearTable(prefixes);
    }
};

void markState(ScriptEngine* engine, ClassDescriptor*, void* data) {
    for (auto& head : static_cast<BindingState*>(data)->bindings) {
        for (Binding* b = head.get(); b; b = b->next.get()) markValue(engine, b->cell);
    }
}

void finalizeState(ScriptEngine* engine, ClassDescriptor*, void* data) {
    auto* state = static_cast<BindingState*>(data);
    if (engine->builtinState[kStateFlashPlayer] == state) {
        engine->builtinState[kStateFlashPlayer] = nullptr;
    }
    delete state;
}

BindingState* stateOf(ScriptEngine* engine) {
    auto* state = static_cast<BindingState*>(engine->builtinState[kStateFlashPlayer]);
    if (state) return state;
    ClassDescriptor* cls = newClass(engine);
    cls->name = "FlashPlayer bindings";
    cls->markInstance = markState;
    cls->finalizeInstance = finalizeState;
    auto owned = std::make_unique<BindingState>();
    ScriptValue holder;
    newHostValue(engine, &holder, cls, owned.get());
    engine->builtinRoots.push_back(holder);
    engine->builtinState[kStateFlashPlayer] = owned.release();
    return static_cast<BindingState*>(engine->builtinState[kStateFlashPlayer]);
}

// Every leading part of the path that ends before a "." at a position above 0.
template <typename Visit>
void forEachPrefix(std::u16string_view path, Visit visit) {
    for (size_t dot = path.find(u'.', 1); dot != std::u16string_view::npos;
         dot = path.find(u'.', dot + 1)) {
        visit(path.substr(0, dot));
    }
}

// Only plain decimal text counts as a number: no hexadecimal, no "inf" or "nan".
bool decimalText(std::u16string_view text) {
    for (char16_t c : text) {
        bool ok = (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.' || c == u'e' ||
                  c == u'E' || c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
        if (!ok) return false;
    }
    return true;
}

struct MovieClipData {
    std::u16string path;
};

PropertyHook movieClipBinderProperty = nullptr;

int movieClipProperty(ScriptEngine* engine, ClassDescriptor* cls, void* data, uint32_t atom,
                      int mode, ScriptValue* value) {
    if (movieClipBinderProperty(engine, cls, data, atom, mode, value)) return 1;
    if (!data) return 0;
    return pathProperty(engine, static_cast<MovieClipData*>(data)->path, atom, mode, value);
}

constexpr bind::Member kMovieClipMembers[] = {
    bind::objectText("[object MovieClip]"),
};

}  // namespace

uint32_t bindingHash(std::u16string_view path) {
    uint32_t h = 0;
    for (char16_t unit : path) h = (h << 5) ^ ((((h >> 9) ^ h) >> 7) ^ foldUnit(unit));
    return h;
}

ScriptValue movieTextValue(ScriptEngine* engine, std::u16string_view text) {
    if (text == u"true") return makeBoolean(true);
    if (text == u"false") return makeBoolean(false);
    if (text.find(u'\0') == std::u16string_view::npos && decimalText(text)) {
        std::wstring wide(text.begin(), text.end());
        wchar_t* end = nullptr;
        errno = 0;
        long long n = std::wcstoll(wide.c_str(), &end, 10);
        if (end == wide.c_str() + wide.size() && errno == 0) return makeInteger(n);
        errno = 0;
        double d = std::wcstod(wide.c_str(), &end);
        if (!wide.empty() && end == wide.c_str() + wide.size() && end != wide.c_str()) {
            return makeNumber(d);
        }
    }
    return newString(engine, text);
}

void bindPath(ScriptEngine* engine, std::u16string_view path) {
    BindingState* state = stateOf(engine);
    if (findEntry(state->bindings, path)) return;
    auto binding = std::make_unique<Binding>();
    binding->path = path;
    auto& head = state->bindings[bindingHash(path) % kBindingBuckets];
    binding->next = std::move(head);
    head = std::move(binding);
    forEachPrefix(path, [&](std::u16string_view prefix) {
        if (Prefix* known = findEntry(state->prefixes, prefix)) {
            ++known->count;
            return;
        }
        auto entry = std::make_unique<Prefix>();
        entry->path = prefix;
        entry->count = 1;
        auto& first = state->prefixes[bindingHash(prefix) % kBindingBuckets];
        entry->next = std::move(first);
        first = std::move(entry);
    });
}

void unbindPath(ScriptEngine* engine, std::u16string_view path) {
    BindingState* state = stateOf(engine);
    // The prefixes count bindings, so a path that is not bound lowers none of them.
    if (!findEntry(state->bindings, path)) return;
    removeEntry(state->bindings, path);
    forEachPrefix(path, [&](std::u16string_view prefix) {
        Prefix* known = findEntry(state->prefixes, prefix);
        if (known && --known->count == 0) removeEntry(state->prefixes, prefix);
    });
}

void unbindAllPaths(ScriptEngine* engine) {
    BindingState* state = stateOf(engine);
    clearTable(state->bindings);
    clearTable(state->prefixes);
}

std::vector<std::u16string> boundPaths(ScriptEngine* engine) {
    std::vector<std::u16string> out;
    for (auto& head : stateOf(engine)->bindings) {
        for (Binding* b = head.get(); b; b = b->next.get()) out.push_back(b->path);
    }
    return out;
}

ScriptValue* bindingCell(ScriptEngine* engine, std::u16string_view path) {
    Binding* binding = findEntry(stateOf(engine)->bindings, path);
    return binding ? &binding->cell : nullptr;
}

bool isBoundPrefix(ScriptEngine* engine, std::u16string_view path) {
    return findEntry(stateOf(engine)->prefixes, path) != nullptr;
}

int pathProperty(ScriptEngine* engine, std::u16string_view base, uint32_t atom, int mode,
                 ScriptValue* value) {
    const char* name = atomName(engine, atom);
    size_t length = std::strlen(name);
    std::u16string path(base);
    if (!path.empty()) path += u'.';
    size_t at = path.size();
    path.resize(at + length);
    path.resize(at + platform::ansiToWide(name, length, path.data() + at));
    if (ScriptValue* cell = bindingCell(engine, path)) {
        if (mode == 0) {
            *value = *cell;
        } else {
            *cell = *value;
        }
        return 1;
    }
    if (mode != 0 || !isBoundPrefix(engine, path)) return 0;
    auto clip = std::make_unique<MovieClipData>();
    clip->path = std::move(path);
    *value = bind::newInstance(engine, ClassId::kMovieClip, std::move(clip));
    return 1;
}

void registerMovieClip(ScriptEngine* engine) {
    ClassDescriptor* cls = bind::defineClass<MovieClipData>(
        engine, {.name = "MovieClip",
                 .id = ClassId::kMovieClip,
                 .members = {kMovieClipMembers},
                 .summary = "A leading part of a bound movie variable path, as FlashPlayer gives "
                            "it: after FlashPlayer.bindData(\"a.b.c\"), FlashPlayer.a and "
                            "FlashPlayer.a.b are MovieClip objects and FlashPlayer.a.b.c is the "
                            "bound value. Scripts do not construct it."});
    movieClipBinderProperty = cls->property;
    cls->property = movieClipProperty;
}

}  // namespace quill::projector
