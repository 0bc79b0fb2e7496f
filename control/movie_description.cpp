// Compiles a TOML movie description into the tag model. Every table is checked for unknown keys
// and every value for its type and range, and messages carry the line of the entry at fault, so
// a typo in a description is reported instead of silently drawing nothing.
#include "control/movie_description.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <sstream>

#include "control/action_assembler.h"
#include "control/shape_builder.h"
#include "platform/toml.h"

namespace quill::movie {
namespace {

struct Failure {
    std::string message;
};

class Compiler {
  public:
    Compiler(std::string source, Movie* movie) : source_(std::move(source)), movie_(movie) {}
    void compile(const toml::table& root);

  private:
    // Messages: "file:line: what".
    [[noreturn]] void fail(const toml::node& at, const std::string& what) const {
        std::ostringstream out;
        out << source_;
        if (at.source().begin.line) out << ":" << at.source().begin.line;
        out << ": " << what;
        throw Failure{out.str()};
    }
    void keys(const toml::table& t, std::initializer_list<const char*> allowed,
              const std::string& what) const;
    double number(const toml::table& t, const char* key, double fallback, double min, double max,
                  const std::string& what) const;
    std::optional<double> optionalNumber(const toml::table& t, const char* key, double min,
                                         double max, const std::string& what) const;
    bool flag(const toml::table& t, const char* key, bool fallback, const std::string& what) const;
    std::string text(const toml::table& t, const char* key, const std::string& fallback,
                     const std::string& what) const;
    std::optional<Rgba> color(const toml::table& t, const char* key, const std::string& what) const;
    std::vector<double> numbers(const toml::table& t, const char* key, size_t count,
                                const std::string& what) const;
    std::vector<std::string> names(const toml::table& t, const char* key,
                                   const std::string& what) const;
    std::vector<uint8_t> actions(const toml::node& node, const std::string& what) const;
    const toml::array* tables(const toml::table& t, const char* key, const std::string& what) const;
    std::string entryName(const toml::table& t, const std::string& kind) const;
    uint16_t idOf(const toml::node& at, const std::string& name, const std::string& what) const;

    void shape(const toml::table& t);
    void textField(const toml::table& t);
    void button(const toml::table& t);
    void timeline(const toml::array* places, const toml::array* frames, int minFrames,
                  Timeline* out, const std::string& owner);
    uint16_t font(const std::string& name, bool bold, bool italic);

    std::string source_;
    Movie* movie_;
    int version_ = 6;
    std::map<std::string, uint16_t> ids_;
    std::map<std::tuple<std::string, bool, bool>, uint16_t> fonts_;
    uint16_t nextId_ = 1;
};

void Compiler::keys(const toml::table& t, std::initializer_list<const char*> allowed,
                    const std::string& what) const {
    for (auto&& [k, v] : t) {
        bool known = false;
        for (const char* a : allowed) known |= k.str() == a;
        if (!known) fail(v, "unknown key \"" + std::string(k.str()) + "\" in " + what);
    }
}

std::optional<double> Compiler::optionalNumber(const toml::table& t, const char* key, double min,
                                               double max, const std::string& what) const {
    const toml::node* n = t.get(key);
    if (!n) return std::nullopt;
    auto v = n->value<double>();
    if (!v || !(n->is_integer() || n->is_floating_point()))
        fail(*n, what + ": " + key + " must be a number");
    if (!std::isfinite(*v) || *v < min || *v > max) {
        std::ostringstream out;
        out << what << ": " << key << " must be from " << min << " to " << max;
        fail(*n, out.str());
    }
    return v;
}

double Compiler::number(const toml::table& t, const char* key, double fallback, double min,
                        double max, const std::string& what) const {
    return optionalNumber(t, key, min, max, what).value_or(fallback);
}

bool Compiler::flag(const toml::table& t, const char* key, bool fallback,
                    const std::string& what) const {
    const toml::node* n = t.get(key);
    if (!n) return fallback;
    if (!n->is_boolean()) fail(*n, what + ": " + key + " must be true or false");
    return *n->value<bool>();
}

std::string Compiler::text(const toml::table& t, const char* key, const std::string& fallback,
                           const std::string& what) const {
    const toml::node* n = t.get(key);
    if (!n) return fallback;
    if (!n->is_string()) fail(*n, what + ": " + key + " must be text in quotes");
    return *n->value<std::string>();
}

std::optional<Rgba> Compiler::color(const toml::table& t, const char* key,
                                    const std::string& what) const {
    const toml::node* n = t.get(key);
    if (!n) return std::nullopt;
    std::string s = n->is_string() ? *n->value<std::string>() : "";
    bool ok = (s.size() == 7 || s.size() == 9) && s[0] == '#' &&
              std::all_of(s.begin() + 1, s.end(),
                          [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
    if (!ok) fail(*n, what + ": " + key + " must be a colour \"#rrggbb\" or \"#rrggbbaa\"");
    auto byte = [&](size_t i) {
        return static_cast<uint8_t>(std::stoul(s.substr(i, 2), nullptr, 16));
    };
    Rgba c{byte(1), byte(3), byte(5), 255};
    if (s.size() == 9) c.a = byte(7);
    return c;
}

std::vector<double> Compiler::numbers(const toml::table& t, const char* key, size_t count,
                                      const std::string& what) const {
    const toml::node* n = t.get(key);
    if (!n) return {};
    const toml::array* a = n->as_array();
    std::vector<double> out;
    if (a) {
        for (const toml::node& e : *a) {
            auto v = e.value<double>();
            if (!v || !std::isfinite(*v) || std::fabs(*v) > 1e6) break;
            out.push_back(*v);
        }
    }
    if (!a || out.size() != a->size() || out.size() != count) {
        fail(*n, what + ": " + key + " must be a list of " + std::to_string(count) + " numbers");
    }
    return out;
}

std::vector<std::string> Compiler::names(const toml::table& t, const char* key,
                                         const std::string& what) const {
    const toml::node* n = t.get(key);
    if (!n) return {};
    if (n->is_string()) return {*n->value<std::string>()};
    std::vector<std::string> out;
    if (const toml::array* a = n->as_array()) {
        for (const toml::node& e : *a) {
            if (!e.is_string()) fail(e, what + ": " + key + " must be a name or a list of names");
            out.push_back(*e.value<std::string>());
        }
        return out;
    }
    fail(*n, what + ": " + key + " must be a name or a list of names");
}

std::vector<uint8_t> Compiler::actions(const toml::node& node, const std::string& what) const {
    std::vector<std::string> lines;
    if (node.is_string()) {
        std::istringstream in(*node.value<std::string>());
        for (std::string line; std::getline(in, line);) lines.push_back(line);
    } else if (const toml::array* a = node.as_array()) {
        for (const toml::node& e : *a) {
            if (!e.is_string()) fail(e, what + ": actions are text in quotes");
            lines.push_back(*e.value<std::string>());
        }
    } else {
        fail(node,
             what + ": actions must be a list of actions or one text with an action per line");
    }
    std::vector<uint8_t> code;
    std::string error;
    if (!assembleActions(lines, version_, &code, &error)) fail(node, what + ": " + error);
    return code;
}

const toml::array* Compiler::tables(const toml::table& t, const char* key,
                                    const std::string& what) const {
    const toml::node* n = t.get(key);
    if (!n) return nullptr;
    const toml::array* a = n->as_array();
    if (!a || !a->is_array_of_tables()) {
        fail(*n, what + ": " + key + " must be written as [[" + key + "]] tables");
    }
    return a;
}

std::string Compiler::entryName(const toml::table& t, const std::string& kind) const {
    const toml::node* n = t.get("name");
    if (!n || !n->is_string() || n->value<std::string>()->empty())
        fail(t, kind + " without a name");
    return *n->value<std::string>();
}

uint16_t Compiler::idOf(const toml::node& at, const std::string& name,
                        const std::string& what) const {
    auto it = ids_.find(name);
    if (it == ids_.end()) fail(at, what + ": nothing is named \"" + name + "\"");
    return it->second;
}

uint16_t Compiler::font(const std::string& name, bool bold, bool italic) {
    auto key = std::make_tuple(name, bold, italic);
    auto it = fonts_.find(key);
    if (it != fonts_.end()) return it->second;
    uint16_t id = nextId_++;
    Character c;
    c.kind = Character::kFont;
    c.id = id;
    c.font = std::make_shared<FontDefinition>();
    c.font->name = name;
    c.font->bold = bold;
    c.font->italic = italic;
    movie_->dictionary[id] = c;
    fonts_[key] = id;
    return id;
}

void Compiler::shape(const toml::table& t) {
    std::string name = entryName(t, "a shape");
    std::string what = "shape \"" + name + "\"";
    keys(t,
         {"name", "rect", "radius", "ellipse", "circle", "polygon", "path", "fill", "line",
          "line_width"},
         what);
    ShapeBuilder b;
    if (t.get("rect")) {
        auto r = numbers(t, "rect", 4, what);
        b.rect(r[0], r[1], r[2], r[3], number(t, "radius", 0, 0, 1e6, what));
    } else if (t.get("radius")) {
        fail(*t.get("radius"), what + ": radius rounds the corners of a rect");
    }
    if (t.get("ellipse")) {
        auto e = numbers(t, "ellipse", 4, what);
        b.ellipse(e[0], e[1], e[2], e[3]);
    }
    if (t.get("circle")) {
        auto c = numbers(t, "circle", 3, what);
        b.ellipse(c[0], c[1], c[2], c[2]);
    }
    if (const toml::node* n = t.get("polygon")) {
        std::vector<std::pair<double, double>> points;
        const toml::array* a = n->as_array();
        if (a) {
            for (const toml::node& p : *a) {
                const toml::array* xy = p.as_array();
                std::optional<double> x, y;
                if (xy && xy->size() == 2) {
                    x = (*xy)[0].value<double>();
                    y = (*xy)[1].value<double>();
                }
                if (!x || !y || std::fabs(*x) > 1e6 || std::fabs(*y) > 1e6) {
                    fail(p, what + ": polygon points are [x, y] pairs");
                }
                points.emplace_back(*x, *y);
            }
        }
        if (!a || points.size() < 3)
            fail(*n, what + ": a polygon needs at least three [x, y] points");
        b.polygon(points);
    }
    if (const toml::node* n = t.get("path")) {
        std::string error;
        if (!n->is_string() || !b.path(*n->value<std::string>(), &error)) {
            fail(*n, what + ": " + (error.empty() ? "path must be text in quotes" : error));
        }
    }
    if (b.empty()) fail(t, what + " has no rect, ellipse, circle, polygon or path");
    auto fill = color(t, "fill", what);
    auto line = color(t, "line", what);
    double width = number(t, "line_width", 1, 0, 255, what);
    bool alpha = (fill && fill->a != 255) || (line && line->a != 255);
    if (alpha && version_ < 3) fail(t, what + ": transparent colours need version 3 or later");
    Character c;
    c.kind = Character::kShape;
    c.id = ids_[name];
    c.shape = std::make_shared<ShapeDefinition>(b.build(fill, line, width, version_ >= 3 ? 3 : 1));
    movie_->dictionary[c.id] = c;
}

void Compiler::textField(const toml::table& t) {
    std::string name = entryName(t, "a text field");
    std::string what = "text \"" + name + "\"";
    keys(t,
         {"name", "rect", "variable", "text", "font", "size", "color", "bold", "italic", "align",
          "multiline", "wrap", "border", "password", "editable", "selectable"},
         what);
    if (!t.get("rect")) fail(t, what + " needs a rect [x, y, width, height]");
    auto r = numbers(t, "rect", 4, what);
    auto def = std::make_shared<EditTextDefinition>();
    def->bounds = {toTwips(r[0]), toTwips(r[0] + r[2]), toTwips(r[1]), toTwips(r[1] + r[3])};
    def->variableName = text(t, "variable", "", what);
    if (t.get("text")) {
        def->hasText = true;
        def->initialText = text(t, "text", "", what);
    }
    bool bold = flag(t, "bold", false, what), italic = flag(t, "italic", false, what);
    def->hasFont = true;
    def->fontId = font(text(t, "font", "_sans", what), bold, italic);
    def->fontHeight = static_cast<uint16_t>(toTwips(number(t, "size", 12, 1, 1000, what)));
    def->hasColor = true;
    def->color = color(t, "color", what).value_or(Rgba{0, 0, 0, 255});
    std::string align = text(t, "align", "left", what);
    static const char* kAligns[] = {"left", "right", "center", "justify"};
    auto found = std::find(std::begin(kAligns), std::end(kAligns), align);
    if (found == std::end(kAligns))
        fail(*t.get("align"), what + ": align is left, right, center or justify");
    def->align = static_cast<uint8_t>(found - std::begin(kAligns));
    def->hasLayout = def->align != 0;
    def->multiline = flag(t, "multiline", false, what);
    def->wordWrap = flag(t, "wrap", false, what);
    def->border = flag(t, "border", false, what);
    def->password = flag(t, "password", false, what);
    def->readOnly = !flag(t, "editable", false, what);
    def->noSelect = !flag(t, "selectable", false, what);
    Character c;
    c.kind = Character::kEditText;
    c.id = ids_[name];
    c.editText = def;
    movie_->dictionary[c.id] = c;
}

void Compiler::button(const toml::table& t) {
    std::string name = entryName(t, "a button");
    std::string what = "button \"" + name + "\"";
    keys(t,
         {"name", "up", "over", "down", "hit", "fscommand", "on_release", "on_press",
          "on_roll_over", "on_roll_out", "on_drag_out", "on_drag_over", "on_release_outside"},
         what);
    auto def = std::make_shared<ButtonDefinition>();
    def->version = version_ >= 3 ? 2 : 1;
    std::vector<std::string> up = names(t, "up", what);
    if (up.empty()) fail(t, what + " needs an up state (a shape name or a list of names)");
    std::vector<std::string> states[4] = {up, names(t, "over", what), names(t, "down", what),
                                          names(t, "hit", what)};
    for (int s = 1; s < 4; ++s) {
        if (states[s].empty()) states[s] = up;
    }
    for (int s = 0; s < 4; ++s) {
        for (size_t i = 0; i < states[s].size(); ++i) {
            uint16_t id = idOf(t, states[s][i], what);
            auto record = std::find_if(
                def->records.begin(), def->records.end(),
                [&](const ButtonRecord& r) { return r.characterId == id && r.depth == i + 1; });
            if (record == def->records.end()) {
                ButtonRecord r;
                r.characterId = id;
                r.depth = static_cast<uint16_t>(i + 1);
                def->records.push_back(r);
                record = def->records.end() - 1;
            }
            (s == 0   ? record->up
             : s == 1 ? record->over
             : s == 2 ? record->down
                      : record->hitTest) = true;
        }
    }
    if (const toml::node* n = t.get("fscommand")) {
        const toml::array* a = n->as_array();
        std::vector<std::string> parts;
        if (a) {
            for (const toml::node& e : *a) {
                if (e.is_string()) parts.push_back(*e.value<std::string>());
            }
        }
        if (!a || parts.size() != a->size() || parts.empty() || parts.size() > 2) {
            fail(*n, what + ": fscommand is [\"command\", \"arguments\"]");
        }
        std::vector<uint8_t> code;
        std::string error;
        // Quotes inside the texts are escaped for the assembler.
        auto escape = [](const std::string& s) {
            std::string out;
            for (char c : s) {
                if (c == '"' || c == '\\') out += '\\';
                out += c;
            }
            return out;
        };
        std::string line = "getURL \"FSCommand:" + escape(parts[0]) + "\", \"" +
                           escape(parts.size() > 1 ? parts[1] : "") + "\"";
        if (!assembleActions({line}, version_, &code, &error)) fail(*n, what + ": " + error);
        def->actions.push_back({kCondOverDownToOverUp, 0, code});
    }
    static const std::pair<const char*, uint16_t> kEvents[] = {
        {"on_release", kCondOverDownToOverUp},     {"on_press", kCondOverUpToOverDown},
        {"on_roll_over", kCondIdleToOverUp},       {"on_roll_out", kCondOverUpToIdle},
        {"on_drag_out", kCondOverDownToOutDown},   {"on_drag_over", kCondOutDownToOverDown},
        {"on_release_outside", kCondOutDownToIdle}};
    for (const auto& [key, condition] : kEvents) {
        if (const toml::node* n = t.get(key)) {
            if (def->version == 1 && condition != kCondOverDownToOverUp) {
                fail(*n, what + ": before version 3 buttons act on release only");
            }
            def->actions.push_back({condition, 0, actions(*n, what + " " + key)});
        }
    }
    Character c;
    c.kind = Character::kButton;
    c.id = ids_[name];
    c.button = def;
    movie_->dictionary[c.id] = c;
}

void Compiler::timeline(const toml::array* places, const toml::array* frames, int minFrames,
                        Timeline* out, const std::string& owner) {
    struct Placement {
        const toml::table* table;
        int from, until, depth;
    };
    std::vector<Placement> list;
    int frameCount = std::max(minFrames, 1);
    int nextDepth = 1;
    if (places) {
        for (const toml::node& n : *places) {
            const toml::table& t = *n.as_table();
            std::string what = owner + " place";
            keys(t,
                 {"name", "frame", "until", "depth", "x", "y", "scale", "scale_x", "scale_y",
                  "rotation", "alpha", "instance", "to", "to_frame", "to_scale", "to_rotation"},
                 what);
            std::string name = entryName(t, what);
            what += " \"" + name + "\"";
            idOf(t, name, what);
            int from = static_cast<int>(number(t, "frame", 1, 1, 16000, what));
            int depth = static_cast<int>(number(t, "depth", nextDepth, 1, 16000, what));
            nextDepth = std::max(nextDepth, depth + 1);
            int until = static_cast<int>(number(t, "until", 0, from, 16000, what));
            int toFrame = static_cast<int>(number(t, "to_frame", from, from, 16000, what));
            if (t.get("to") && !t.get("to_frame")) fail(t, what + ": to needs to_frame");
            frameCount = std::max({frameCount, from, until, toFrame});
            list.push_back({&t, from, until, depth});
        }
    }
    if (frames) {
        for (const toml::node& n : *frames) {
            const toml::table& t = *n.as_table();
            keys(t, {"frame", "label", "actions"}, owner + " frame");
            if (!t.get("frame")) fail(t, owner + " frame: which frame? (frame = N, from 1)");
            frameCount = std::max(
                frameCount, static_cast<int>(number(t, "frame", 1, 1, 16000, owner + " frame")));
        }
    }
    // Placements may not share a depth while both are on the stage.
    for (size_t i = 0; i < list.size(); ++i) {
        for (size_t j = 0; j < i; ++j) {
            const Placement& a = list[j];
            const Placement& b = list[i];
            int aEnd = a.until ? a.until : frameCount, bEnd = b.until ? b.until : frameCount;
            if (a.depth == b.depth && a.from <= bEnd && b.from <= aEnd) {
                fail(*b.table, owner + ": depth " + std::to_string(b.depth) +
                                   " is used twice at frame " +
                                   std::to_string(std::max(a.from, b.from)));
            }
        }
    }
    out->frames.assign(static_cast<size_t>(frameCount), Frame{});
    out->declaredFrames = static_cast<uint16_t>(frameCount);
    for (const Placement& p : list) {
        const toml::table& t = *p.table;
        std::string name = *t.get("name")->value<std::string>();
        std::string what = owner + " place \"" + name + "\"";
        double x = number(t, "x", 0, -1e5, 1e5, what), y = number(t, "y", 0, -1e5, 1e5, what);
        double scale = number(t, "scale", 1, -1000, 1000, what);
        double sx = number(t, "scale_x", scale, -1000, 1000, what);
        double sy = number(t, "scale_y", scale, -1000, 1000, what);
        double rotation = number(t, "rotation", 0, -36000, 36000, what);
        double alpha = number(t, "alpha", 1, 0, 1, what);
        auto to = numbers(t, "to", 2, what);
        double toScale = number(t, "to_scale", 1, -1000, 1000, what);
        double toRotation = number(t, "to_rotation", rotation, -36000, 36000, what);
        int toFrame = static_cast<int>(number(t, "to_frame", p.from, p.from, 16000, what));
        bool scales = t.get("to_scale") != nullptr;
        auto matrixAt = [&](double k) {
            double px = x, py = y, qx = sx, qy = sy, r = rotation;
            if (!to.empty()) {
                px = x + (to[0] - x) * k;
                py = y + (to[1] - y) * k;
            }
            if (scales) {
                qx = sx + (toScale - sx) * k;
                qy = sy + (toScale - sy) * k;
            }
            r = rotation + (toRotation - rotation) * k;
            double rad = r * 3.14159265358979323846 / 180;
            Matrix m;
            m.scaleX = static_cast<int32_t>(std::lround(qx * std::cos(rad) * 65536));
            m.skew0 = static_cast<int32_t>(std::lround(qx * std::sin(rad) * 65536));
            m.skew1 = static_cast<int32_t>(std::lround(-qy * std::sin(rad) * 65536));
            m.scaleY = static_cast<int32_t>(std::lround(qy * std::cos(rad) * 65536));
            m.translateX = toTwips(px);
            m.translateY = toTwips(py);
            return m;
        };
        ControlTag place;
        place.kind = ControlTag::kPlace;
        place.place.depth = static_cast<uint16_t>(p.depth);
        place.place.hasCharacter = true;
        place.place.characterId = ids_[name];
        place.place.hasMatrix = true;
        place.place.matrix = matrixAt(0);
        if (alpha < 1) {
            place.place.hasColorTransform = true;
            place.place.colorTransform.multA = static_cast<int16_t>(std::lround(alpha * 256));
        }
        if (t.get("instance")) {
            place.place.hasName = true;
            place.place.name = text(t, "instance", "", what);
        }
        if (version_ < 3) place.place.version = 1;
        if (version_ < 3 && (place.place.hasName || toFrame > p.from)) {
            fail(t, what + ": instance names and motion need version 3 or later");
        }
        out->frames[static_cast<size_t>(p.from - 1)].tags.push_back(place);
        for (int f = p.from + 1; f <= toFrame; ++f) {
            ControlTag move;
            move.kind = ControlTag::kPlace;
            move.place.depth = static_cast<uint16_t>(p.depth);
            move.place.move = true;
            move.place.hasMatrix = true;
            move.place.matrix = matrixAt(double(f - p.from) / (toFrame - p.from));
            out->frames[static_cast<size_t>(f - 1)].tags.push_back(move);
        }
        if (p.until && p.until < frameCount) {
            ControlTag remove;
            remove.kind = ControlTag::kRemove;
            remove.depth = static_cast<uint16_t>(p.depth);
            if (version_ < 3) {
                remove.removeVersion = 1;
                remove.characterId = ids_[name];
            }
            out->frames[static_cast<size_t>(p.until)].tags.push_back(remove);
        }
    }
    if (frames) {
        for (const toml::node& n : *frames) {
            const toml::table& t = *n.as_table();
            std::string what = owner + " frame";
            int f = static_cast<int>(number(t, "frame", 1, 1, 16000, what));
            Frame& frame = out->frames[static_cast<size_t>(f - 1)];
            if (t.get("label")) frame.labels.push_back(text(t, "label", "", what));
            if (const toml::node* a = t.get("actions")) {
                ControlTag action;
                action.kind = ControlTag::kDoAction;
                action.actions = actions(*a, what + " " + std::to_string(f));
                frame.tags.push_back(action);
            }
        }
    }
}

void Compiler::compile(const toml::table& root) {
    keys(root, {"movie", "shape", "text", "button", "sprite", "place", "frame"}, "the description");
    const toml::table* m = root.get("movie") ? root.get("movie")->as_table() : nullptr;
    if (!m) throw Failure{source_ + ": a [movie] table with width and height is needed"};
    std::string what = "[movie]";
    keys(*m, {"width", "height", "rate", "background", "version", "compressed", "frames"}, what);
    if (!m->get("width") || !m->get("height")) fail(*m, "[movie] needs width and height (pixels)");
    double width = number(*m, "width", 550, 1, 8000, what),
           height = number(*m, "height", 400, 1, 8000, what);
    double rate = number(*m, "rate", 12, 0.01, 255, what);
    version_ = static_cast<int>(number(*m, "version", 6, 1, 10, what));
    movie_->version = static_cast<uint8_t>(version_);
    movie_->compressed = flag(*m, "compressed", false, what);
    if (movie_->compressed && version_ < 6)
        fail(*m, "[movie]: compressed movies need version 6 or later");
    movie_->frameSize = {0, toTwips(width), 0, toTwips(height)};
    movie_->frameRate = static_cast<uint16_t>(std::clamp(std::lround(rate * 256), 1L, 65535L));
    movie_->hasBackground = true;
    movie_->background = color(*m, "background", what).value_or(Rgba{255, 255, 255, 255});
    movie_->background.a = 255;

    // Names first, so definitions may refer to each other in any order.
    const char* kinds[] = {"shape", "text", "button", "sprite"};
    for (const char* kind : kinds) {
        if (const toml::array* a = tables(root, kind, "the description")) {
            for (const toml::node& n : *a) {
                std::string name = entryName(*n.as_table(), std::string("a ") + kind);
                if (ids_.count(name)) fail(n, "the name \"" + name + "\" is used twice");
                if (nextId_ == 65535) fail(n, "too many definitions");
                ids_[name] = nextId_++;
            }
        }
    }
    if (const toml::array* a = tables(root, "shape", "")) {
        for (const toml::node& n : *a) shape(*n.as_table());
    }
    if (const toml::array* a = tables(root, "text", "")) {
        for (const toml::node& n : *a) textField(*n.as_table());
    }
    if (const toml::array* a = tables(root, "button", "")) {
        for (const toml::node& n : *a) button(*n.as_table());
    }
    if (const toml::array* a = tables(root, "sprite", "")) {
        for (const toml::node& n : *a) {
            const toml::table& t = *n.as_table();
            std::string name = entryName(t, "a sprite");
            std::string owner = "sprite \"" + name + "\"";
            keys(t, {"name", "frames", "place", "frame"}, owner);
            if (version_ < 3) fail(t, owner + ": sprites need version 3 or later");
            Character c;
            c.kind = Character::kSprite;
            c.id = ids_[name];
            c.sprite = std::make_shared<Timeline>();
            timeline(tables(t, "place", owner), tables(t, "frame", owner),
                     static_cast<int>(number(t, "frames", 1, 1, 16000, owner)), c.sprite.get(),
                     owner);
            movie_->dictionary[c.id] = c;
        }
    }
    timeline(tables(root, "place", "the description"), tables(root, "frame", "the description"),
             static_cast<int>(number(*m, "frames", 1, 1, 16000, what)), &movie_->root,
             "the main timeline");
    ControlTag background;
    background.kind = ControlTag::kBackground;
    background.background = movie_->background;
    auto& first = movie_->root.frames.front().tags;
    first.insert(first.begin(), background);
}

}  // namespace

bool compileDescription(const std::string& text, const std::string& sourceName, Movie* movie,
                        std::string* error) {
    *movie = Movie{};
    // TOML allows no control characters but tab; the parser is not given the chance to trip
    // over them (a NUL inside a table header fails one of its internal checks).
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F) {
            size_t line =
                1 + static_cast<size_t>(std::count(
                        text.begin(), text.begin() + static_cast<std::ptrdiff_t>(i), '\n'));
            *error = sourceName + ":" + std::to_string(line) + ": a control character (code " +
                     std::to_string(c) + ") is not allowed in a description";
            return false;
        }
    }
    try {
        toml::table root = toml::parse(text, sourceName);
        Compiler(sourceName, movie).compile(root);
        return true;
    } catch (const toml::parse_error& e) {
        std::ostringstream out;
        out << sourceName << ":" << e.source().begin.line << ": " << e.description();
        *error = out.str();
    } catch (const Failure& f) {
        *error = f.message;
    }
    return false;
}

}  // namespace quill::movie
