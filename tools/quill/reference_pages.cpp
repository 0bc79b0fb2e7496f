// The reference model behind `quill doc` and `quill-projector-doc`: classes declared with binding
// tables list their rows; every class and global function carries a synopsis and a line of its
// own. The same model gives the terminal text, the Markdown pages of docs/reference and the check
// that nothing registered is left undescribed.
#include "tools/quill/reference_pages.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "builtins/builtin_reference.h"

namespace quill::reference {

namespace {

// Native functions have no class id and no rows; everything else is a class.
bool isFunction(const Entry& entry) {
    return entry.cls->id == ClassId::kNone && entry.members.empty();
}

bool isObjectText(const bind::Member& m) {
    return m.kind == bind::MemberKind::kMethod && !m.invoke && m.text;
}

std::string constantValue(const bind::Member& m) {
    if (m.text) return std::string("\"") + m.text + "\"";
    if (m.isNumber) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.17g", m.number);
        return buffer;
    }
    return std::to_string(m.integer);
}

std::string signature(const bind::Member& m) {
    switch (m.kind) {
        case bind::MemberKind::kMethod:
            return std::string(m.name) + "(" + (m.synopsis ? m.synopsis : "") + ")";
        case bind::MemberKind::kConstant:
            return std::string(m.name) + " = " + constantValue(m);
        default:
            return m.name;
    }
}

std::string description(const bind::Member& m) {
    if (isObjectText(m)) return std::string("Gives \"") + m.text + "\".";
    std::string line = m.summary ? m.summary : "(not described)";
    if (m.kind == bind::MemberKind::kProperty && !m.set) line += " Read-only.";
    return line;
}

std::string usage(const Entry& entry) {
    if (!entry.cls->synopsis) return "";
    if (isFunction(entry)) return entry.name + "(" + entry.cls->synopsis + ")";
    return "new " + entry.name + "(" + entry.cls->synopsis + ")";
}

std::string summary(const Entry& entry) {
    return entry.cls->summary ? entry.cls->summary : "(not described)";
}

// The start of a class's line, up to its first full stop or semicolon, for the indexes.
std::string headline(const Entry& entry) {
    std::string line = summary(entry);
    size_t end = std::string::npos;
    for (const char* stop : {". ", "; "}) end = std::min(end, line.find(stop));
    if (end != std::string::npos) line = line.substr(0, end) + ".";
    return line;
}

struct Section {
    const char* title;
    bind::MemberKind kind;
};
constexpr Section kSections[] = {
    {"Methods", bind::MemberKind::kMethod},
    {"Properties", bind::MemberKind::kProperty},
    {"Events", bind::MemberKind::kHandler},
    {"Constants", bind::MemberKind::kConstant},
};

std::string globalLine(const bind::GlobalConstant& g) {
    return std::string(g.name) + " = " + std::to_string(g.value);
}

// ---------------------------------------------------------------------------------------------
// Terminal text.

std::string classText(const Entry& entry) {
    std::string out = entry.name;
    for (const std::string& alias : entry.aliases) out += " (also " + alias + ")";
    out += "\n";
    if (!usage(entry).empty()) out += "  " + usage(entry) + "\n";
    out += "  " + summary(entry) + "\n";
    for (const Section& section : kSections) {
        bool first = true;
        for (const bind::Member* m : entry.members) {
            if (m->kind != section.kind) continue;
            if (first) out += std::string("\n") + section.title + "\n";
            first = false;
            out += "  " + signature(*m) + "\n      " + description(*m) + "\n";
        }
    }
    if (!entry.globals.empty()) out += "\nGlobal constants\n";
    for (const bind::GlobalConstant& g : entry.globals) {
        out +=
            "  " + globalLine(g) + "\n      " + (g.summary ? g.summary : "(not described)") + "\n";
    }
    return out;
}

std::string functionText(const Entry& entry) {
    return "  " + (usage(entry).empty() ? entry.name + "()" : usage(entry)) + "\n      " +
           summary(entry) + "\n";
}

std::string indexText(const Reference& ref, const DocTool& tool) {
    std::string out =
        std::string("Classes (") + tool.program + " CLASS, " + tool.program + " CLASS.MEMBER)\n";
    for (const Entry& entry : ref.classes) {
        out += "  " + entry.name +
               std::string(entry.name.size() < 14 ? 14 - entry.name.size() : 1, ' ') +
               headline(entry) + "\n";
    }
    out += "\nGlobal functions\n";
    for (const Entry& entry : ref.functions) out += functionText(entry);
    return out;
}

// ---------------------------------------------------------------------------------------------
// Markdown pages.

std::string generatedNote(PageSet pages) {
    if (pages == PageSet::kProjector) {
        return "<!-- Generated from the projector's binding tables by `quill-projector-doc "
               "--markdown\n"
               "     docs/reference` (tools/update_reference.sh). Do not edit: change the "
               "descriptions\n"
               "     in the code and regenerate; a test compares these pages with the generator's\n"
               "     output. -->\n\n";
    }
    return "<!-- Generated from the binding tables by `quill doc --markdown docs/reference` (run "
           "the\n"
           "     Windows build, which has every class: tools/update_reference.sh). Do not edit: "
           "change\n"
           "     the descriptions in the code and regenerate; a test compares this folder with "
           "the\n"
           "     generator's output. -->\n\n";
}

// Descriptions quote characters such as * and _ that Markdown would take as emphasis.
std::string md(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c != '\0' && std::strchr("\\`*_<[]", c)) out += '\\';
        out += c;
    }
    return out;
}

std::string classMarkdown(const Entry& entry, PageSet pages) {
    std::string out = generatedNote(pages);
    out += "# " + entry.name + "\n\n";
    out += md(summary(entry)) + "\n";
    for (const std::string& alias : entry.aliases) out += "\nAlso named `" + alias + "`.\n";
    if (!usage(entry).empty()) out += "\n```\n" + usage(entry) + "\n```\n";
    for (const Section& section : kSections) {
        bool first = true;
        for (const bind::Member* m : entry.members) {
            if (m->kind != section.kind) continue;
            if (first) out += std::string("\n## ") + section.title + "\n\n";
            first = false;
            out += "- `" + signature(*m) + "` — " + md(description(*m)) + "\n";
        }
    }
    if (!entry.globals.empty()) out += "\n## Global constants\n\n";
    for (const bind::GlobalConstant& g : entry.globals) {
        out +=
            "- `" + globalLine(g) + "` — " + md(g.summary ? g.summary : "(not described)") + "\n";
    }
    out += pages == PageSet::kProjector
               ? "\n[The projector](projector.md) · [All classes](index.md)\n"
               : "\n[All classes](index.md)\n";
    return out;
}

std::string functionList(const Reference& ref) {
    std::string out;
    for (const Entry& entry : ref.functions) {
        std::string call = usage(entry).empty() ? entry.name + "()" : usage(entry);
        out += "- `" + call + "` — " + md(summary(entry)) + "\n";
    }
    return out;
}

std::string classList(const Reference& ref) {
    std::string out;
    for (const Entry& entry : ref.classes) {
        out += "- [" + entry.name + "](" + entry.name + ".md) — " + md(headline(entry)) + "\n";
    }
    return out;
}

std::string functionsMarkdown(const Reference& ref) {
    return generatedNote(PageSet::kEngine) + "# Global functions\n\n" + functionList(ref) +
           "\n[All classes](index.md)\n";
}

std::string indexMarkdown(const Reference& ref) {
    std::string out = generatedNote(PageSet::kEngine);
    out += "# Reference\n\n";
    out +=
        "Every class and global function a script can use in `quill.exe` and the projector,\n"
        "generated from the code. The projector adds its own movie and application objects.\n"
        "At a terminal, `quill doc CLASS` and `quill doc CLASS.MEMBER` print the same text;\n"
        "the native Linux `quill` has only the classes that do not need Windows.\n\n";
    out += "- [Global functions](functions.md)\n";
    out += "- [The projector](projector.md) — the classes and functions only the projector has\n";
    return out + classList(ref);
}

std::string projectorMarkdown(const Reference& ref) {
    std::string out = generatedNote(PageSet::kProjector);
    out += "# The projector\n\n";
    out +=
        "Scripts that run in a packed projector have everything in the [reference](index.md)\n"
        "(but `print`) and, besides, the movie, its variables and the application below.\n"
        "`quill-projector-doc CLASS` and `quill-projector-doc CLASS.MEMBER` print the same "
        "text.\n\n";
    out += "## Classes\n\n" + classList(ref);
    out += "\n## Functions\n\n" + functionList(ref);
    out += "\n[All classes](index.md)\n";
    return out;
}

bool writeFile(const std::filesystem::path& path, const std::string& text, const DocTool& tool) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    out.close();
    if (!out) {
        std::fprintf(stderr, "%s: cannot write %s\n", tool.program, path.string().c_str());
        return false;
    }
    return true;
}

int writeMarkdown(const Reference& ref, const std::string& folder, const DocTool& tool) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        std::fprintf(stderr, "%s: cannot create %s: %s\n", tool.program, folder.c_str(),
                     error.message().c_str());
        return 1;
    }
    std::filesystem::path dir(folder);
    if (tool.pages == PageSet::kProjector) {
        if (!writeFile(dir / "projector.md", projectorMarkdown(ref), tool)) return 1;
    } else {
        if (!writeFile(dir / "index.md", indexMarkdown(ref), tool)) return 1;
        if (!writeFile(dir / "functions.md", functionsMarkdown(ref), tool)) return 1;
    }
    for (const Entry& entry : ref.classes) {
        if (!writeFile(dir / (entry.name + ".md"), classMarkdown(entry, tool.pages), tool)) {
            return 1;
        }
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// The completeness check.

int check(const Reference& ref) {
    std::vector<std::string> missing;
    size_t members = 0;
    auto need = [&](bool ok, const std::string& what) {
        if (!ok) missing.push_back(what);
    };
    for (const Entry& entry : ref.classes) {
        need(entry.cls->summary, entry.name);
        need(entry.cls->synopsis || !entry.cls->construct, entry.name + " (constructor arguments)");
        for (const bind::Member* m : entry.members) {
            ++members;
            need(m->summary || isObjectText(*m), entry.name + "." + m->name);
        }
        for (const bind::GlobalConstant& g : entry.globals) {
            ++members;
            need(g.summary, entry.name + ": " + g.name);
        }
    }
    for (const Entry& entry : ref.functions) need(entry.cls->summary, entry.name + "()");
    for (const std::string& what : missing) std::printf("not described: %s\n", what.c_str());
    std::printf("%zu classes, %zu members, %zu global functions; %zu not described\n",
                ref.classes.size(), members, ref.functions.size(), missing.size());
    return missing.empty() ? 0 : 1;
}

const Entry* findEntry(const Reference& ref, const std::string& name) {
    for (const auto* list : {&ref.classes, &ref.functions}) {
        for (const Entry& entry : *list) {
            if (entry.name == name) return &entry;
            for (const std::string& alias : entry.aliases) {
                if (alias == name) return &entry;
            }
        }
    }
    return nullptr;
}

int show(const Reference& ref, const std::string& what, const DocTool& tool) {
    size_t dot = what.find('.');
    std::string name = what.substr(0, dot);
    const Entry* entry = findEntry(ref, name);
    if (!entry) {
        std::fprintf(stderr, "%s: no class or function named %s\n", tool.program, name.c_str());
        return 1;
    }
    std::string text;
    if (dot == std::string::npos) {
        text = isFunction(*entry) ? functionText(*entry) : classText(*entry);
    } else {
        std::string memberName = what.substr(dot + 1);
        for (const bind::Member* m : entry->members) {
            if (memberName == m->name) {
                text = entry->name + "." + signature(*m) + "\n  " + description(*m) + "\n";
            }
        }
        for (const bind::GlobalConstant& g : entry->globals) {
            if (memberName == g.name) {
                text = globalLine(g) + "\n  " + (g.summary ? g.summary : "(not described)") + "\n";
            }
        }
        if (text.empty()) {
            std::fprintf(stderr, "%s: %s has no member named %s\n", tool.program,
                         entry->name.c_str(), memberName.c_str());
            return 1;
        }
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

}  // namespace

Reference collect(ScriptEngine* engine) {
    std::vector<Entry> all;
    std::map<const ClassDescriptor*, size_t> index;
    for (const auto& [atom, cls] : engine->registeredNames) {
        std::string name = atomName(engine, atom);
        auto found = index.find(cls);
        if (found != index.end()) {
            Entry& entry = all[found->second];
            if (name != entry.name) entry.aliases.push_back(name);
            continue;
        }
        index.emplace(cls, all.size());
        Entry entry;
        entry.cls = cls;
        entry.name = cls->name ? cls->name : name;
        if (name != entry.name) entry.aliases.push_back(name);
        entry.members = bind::classMembers(cls);
        // Classes with hand-written hooks keep their rows in a table of their own.
        if (entry.members.empty()) {
            for (const bind::Member& row : builtinReference(cls->id)) entry.members.push_back(&row);
        }
        entry.globals = bind::classGlobals(cls);
        all.push_back(std::move(entry));
    }
    Reference ref;
    for (Entry& entry : all) {
        (isFunction(entry) ? ref.functions : ref.classes).push_back(std::move(entry));
    }
    auto byName = [](const Entry& a, const Entry& b) { return a.name < b.name; };
    std::sort(ref.classes.begin(), ref.classes.end(), byName);
    std::sort(ref.functions.begin(), ref.functions.end(), byName);
    return ref;
}

Reference addedTo(Reference ref, const Reference& base) {
    std::set<std::string> known;
    for (const auto* list : {&base.classes, &base.functions}) {
        for (const Entry& entry : *list) known.insert(entry.name);
    }
    auto isKnown = [&](const Entry& entry) { return known.count(entry.name) != 0; };
    std::erase_if(ref.classes, isKnown);
    std::erase_if(ref.functions, isKnown);
    return ref;
}

std::string docUsage(const DocTool& tool) {
    std::string p = tool.program;
    return "usage: " + p + " [CLASS | CLASS.MEMBER | FUNCTION]\n       " + p +
           " --markdown FOLDER     writes one page per class and an index\n       " + p +
           " --check               lists members that have no description\n";
}

int runDoc(const DocTool& tool, int argc, char** argv,
           const std::function<int(const std::function<int(const Reference&)>&)>& withReference) {
    std::string markdown;
    std::string what;
    bool checkOnly = false;
    bool bad = false;
    for (int i = 0; i < argc && !bad; ++i) {
        std::string a = argv[i];
        if (a == "--markdown" && i + 1 < argc && markdown.empty()) {
            markdown = argv[++i];
        } else if (a == "--check") {
            checkOnly = true;
        } else if (a.empty() || a[0] == '-' || !what.empty()) {
            bad = true;
        } else {
            what = a;
        }
    }
    if (bad || int(!markdown.empty()) + int(checkOnly) + int(!what.empty()) > 1) {
        std::fputs(docUsage(tool).c_str(), stderr);
        return 2;
    }
    return withReference([&](const Reference& ref) {
        if (checkOnly) return check(ref);
        if (!markdown.empty()) return writeMarkdown(ref, markdown, tool);
        if (!what.empty()) return show(ref, what, tool);
        std::string text = indexText(ref, tool);
        std::fwrite(text.data(), 1, text.size(), stdout);
        return 0;
    });
}

}  // namespace quill::reference
