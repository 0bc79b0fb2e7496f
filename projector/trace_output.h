// Where the projector's trace lines go. By default nowhere: a packaged application shows its user
// no script warnings. An author who starts the projector with "/trace:FILE" gets the bridge's
// trace lines, the engine's warnings and failed runs' messages appended to FILE.
#pragma once

#include <string>
#include <string_view>

namespace quill::projector {

// The switch's prefix, compared in any case.
inline constexpr const wchar_t* kTraceSwitch = L"/trace:";

// Opens (creates or appends to) the trace file; an empty path turns tracing off.
void openTraceFile(const std::wstring& path);
void closeTraceFile();
bool tracing();
// Appends the text as it is (the bridge's lines carry their own CR LF).
void traceText(std::string_view text);

}  // namespace quill::projector
