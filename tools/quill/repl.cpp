// The interactive `quill`: reads script lines, runs each complete entry in one engine (globals
// stay between entries), prints its completion value, shows warnings, and goes on after errors.
// An entry that does not compile because it is unfinished (open brackets, a trailing operator,
// an open comment) is continued on the next line.
#include "tools/quill/repl.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "tools/quill/tool_functions.h"

#ifdef QUILL_HAVE_LIBEDIT
#include <editline/readline.h>
#include <unistd.h>
#endif
#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#endif

namespace quill::tool {

namespace {

constexpr const char* kPrompt = "> ";
constexpr const char* kMorePrompt = "... ";

// Reads one line (without its end); false at the end of input.
class LineReader {
  public:
    LineReader() : interactive_(isatty(fileno(stdin)) != 0) {
#ifdef QUILL_HAVE_LIBEDIT
        if (interactive_) {
            const char* home = std::getenv("HOME");
            if (home && *home) historyFile_ = std::string(home) + "/.quill_history";
            using_history();
            stifle_history(1000);
            if (!historyFile_.empty()) read_history(historyFile_.c_str());
        }
#endif
    }
    ~LineReader() {
#ifdef QUILL_HAVE_LIBEDIT
        if (interactive_ && !historyFile_.empty()) write_history(historyFile_.c_str());
#endif
    }
    bool interactive() const {
        return interactive_;
    }

    bool read(const char* prompt, std::string* line) {
#ifdef QUILL_HAVE_LIBEDIT
        if (interactive_) {
            char* text = readline(prompt);
            if (!text) return false;
            line->assign(text);
            std::free(text);
            return true;
        }
#endif
        if (interactive_) {
            std::fputs(prompt, stdout);
            std::fflush(stdout);
        }
        if (!std::getline(std::cin, *line)) return false;
        if (!line->empty() && line->back() == '\r') line->pop_back();
        return true;
    }

    void remember(const std::string& entry) {
#ifdef QUILL_HAVE_LIBEDIT
        if (interactive_) add_history(entry.c_str());
#else
        (void)entry;
#endif
    }

  private:
    bool interactive_;
    std::string historyFile_;
};

void traceToStderr(void*, std::string_view text) {
    std::fflush(stdout);
    std::fprintf(stderr, "%.*s\n", int(text.size()), text.data());
}

}  // namespace

bool looksUnfinished(std::string_view text) {
    std::vector<char> open;
    char last = 0;  // the last character outside strings and comments that is not white space
    size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
            while (i < text.size() && text[i] != '\n') ++i;
            continue;
        }
        if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
            size_t end = text.find("*/", i + 2);
            if (end == std::string_view::npos) return true;
            i = end + 2;
            continue;
        }
        if (c == '"' || c == '\'') {
            // Strings end at their line: one left open is an error, not an unfinished entry.
            ++i;
            while (i < text.size() && text[i] != c && text[i] != '\n') i += text[i] == '\\' ? 2 : 1;
            ++i;
            last = c;
            continue;
        }
        if (c == '(' || c == '[' || c == '{') {
            open.push_back(c);
        } else if (c == ')' || c == ']' || c == '}') {
            // A closer without its opener is a plain error: more lines will not mend it.
            if (open.empty()) return false;
            open.pop_back();
        }
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') last = c;
        ++i;
    }
    if (!open.empty()) return true;
    // A binary operator or separator at the end asks for more; `a++` and `a--` do not.
    if (std::strchr("+-*/%=&|^!<>?:,.~", last) && last != 0) {
        size_t end = text.find_last_not_of(" \t\r\n");
        if (end != std::string_view::npos && end >= 1 && (last == '+' || last == '-') &&
            text[end - 1] == last) {
            return false;
        }
        return true;
    }
    return false;
}

int replMain(const ReplOptions& options) {
    EngineConfig config;
    config.stackSlots = 1 << 18;
    config.maxHeapBytes = options.maxHeap;
    config.compileSettings = options.settings;
    config.hostClasses = toolFunctions();
    ScriptEngine* engine = createEngine(config);
    if (!engine) {
        std::fputs("quill: cannot create the script engine\n", stderr);
        return 1;
    }
    setTraceText(engine, traceToStderr, nullptr);

    LineReader reader;
    if (reader.interactive()) {
        std::puts(
            "quill: enter script lines; an unfinished entry goes on at \"...\" (an empty "
            "line ends it); Ctrl-D leaves.");
    }
    std::string entry;
    std::string line;
    while (reader.read(entry.empty() ? kPrompt : kMorePrompt, &line)) {
        if (entry.empty() && line.find_first_not_of(" \t") == std::string::npos) continue;
        bool ending = !entry.empty() && line.empty();
        if (!entry.empty()) entry += '\n';
        entry += line;
        std::vector<uint8_t> module;
        if (!compileText(engine, entry, engineCompileOptions(engine), &module) && !ending &&
            looksUnfinished(entry)) {
            continue;
        }
        reader.remember(entry);
        if (runScriptText(engine, entry)) {
            std::printf("%s\n", completionText(engine).c_str());
        } else {
            reportFailure(engine);
        }
        std::fflush(stdout);
        entry.clear();
    }
    if (reader.interactive()) std::putchar('\n');
    destroyEngine(engine);
    return 0;
}

}  // namespace quill::tool
