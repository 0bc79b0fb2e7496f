// The movie-variable bindings of `FlashPlayer`: a table of bound paths, each with a value cell,
// and a table of the leading parts of those paths, through which `FlashPlayer.a.b.c` reaches the
// cell of "a.b.c" by way of `MovieClip` objects. Both tables are per engine, kept among its
// roots so that the cells are marked and freed with it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "runtime/script_engine.h"

namespace quill::projector {

inline constexpr size_t kBindingBuckets = 17;

// The tables' hash over a path, letters A to Z folded to lower case.
uint32_t bindingHash(std::u16string_view path);

// How a text the movie gives back becomes a script value: "true" and "false" booleans, complete
// base-10 integers integers (the empty text too), complete decimal numbers numbers, else text.
ScriptValue movieTextValue(ScriptEngine* engine, std::u16string_view text);

// Bind and unbind paths (binding an existing one, or unbinding a missing one, does nothing).
void bindPath(ScriptEngine* engine, std::u16string_view path);
void unbindPath(ScriptEngine* engine, std::u16string_view path);
void unbindAllPaths(ScriptEngine* engine);
// The bound paths in bucket order (a copy: the movie may run scripts that change the table while
// the caller works through it).
std::vector<std::u16string> boundPaths(ScriptEngine* engine);
// The cell of a bound path, or null; valid until the table next changes.
ScriptValue* bindingCell(ScriptEngine* engine, std::u16string_view path);
bool isBoundPrefix(ScriptEngine* engine, std::u16string_view path);

// Reads (mode 0) or writes (mode 1) the property `atom` of the object whose path is `base`
// (empty for FlashPlayer itself): 1 when the joined path is bound or, for a read, a prefix.
int pathProperty(ScriptEngine* engine, std::u16string_view base, uint32_t atom, int mode,
                 ScriptValue* value);

void registerMovieClip(ScriptEngine* engine);

}  // namespace quill::projector
