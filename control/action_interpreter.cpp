// The action byte code interpreter: a stack machine over `ActionValue`s, four registers and a
// constant pool. Each action's operands are read inside its own record; anything malformed or
// unknown ends the block quietly, as the format asks of players.
#include <cmath>
#include <cstring>

#include "control/action_codes.h"
#include "control/action_runner.h"
#include "control/player.h"
#include "control/swf_stream.h"

namespace quill::movie {
namespace {

int clampInt(double d) {
    if (!std::isfinite(d)) return 0;
    if (d > 2147483647.0) return 2147483647;
    if (d < -2147483648.0) return INT32_MIN;
    return static_cast<int>(d);
}

int32_t toInt32(double d) {
    if (!std::isfinite(d)) return 0;
    double m = std::fmod(std::trunc(d), 4294967296.0);
    if (m < 0) m += 4294967296.0;
    return static_cast<int32_t>(static_cast<uint32_t>(m));
}

bool startsWithNoCase(const std::string& s, const char* prefix) {
    size_t n = std::strlen(prefix);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; ++i) {
        if (std::tolower(static_cast<unsigned char>(s[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i]))) {
            return false;
        }
    }
    return true;
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// UTF-8 helpers for the multibyte string actions.
std::vector<std::string> codePoints(const std::string& s) {
    std::vector<std::string> out;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
        if (i + n > s.size()) n = 1;
        out.push_back(s.substr(i, n));
        i += n;
    }
    return out;
}

uint32_t decodePoint(const std::string& s) {
    if (s.empty()) return 0;
    unsigned char c = static_cast<unsigned char>(s[0]);
    if (c < 0x80 || s.size() == 1) return c;
    uint32_t v = c & (s.size() == 2 ? 0x1F : s.size() == 3 ? 0x0F : 0x07);
    for (size_t i = 1; i < s.size(); ++i) v = (v << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
    return v;
}

std::string encodePoint(uint32_t v) {
    std::string s;
    if (v < 0x80) {
        s += static_cast<char>(v);
    } else if (v < 0x800) {
        s += static_cast<char>(0xC0 | (v >> 6));
        s += static_cast<char>(0x80 | (v & 0x3F));
    } else if (v < 0x10000) {
        s += static_cast<char>(0xE0 | (v >> 12));
        s += static_cast<char>(0x80 | ((v >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (v & 0x3F));
    } else if (v < 0x110000) {
        s += static_cast<char>(0xF0 | (v >> 18));
        s += static_cast<char>(0x80 | ((v >> 12) & 0x3F));
        s += static_cast<char>(0x80 | ((v >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (v & 0x3F));
    }
    return s;
}

// Comparison of the version 5 actions: strings compare as text, everything else as numbers;
// undefined when a number is NaN.
ActionValue lessThan(const ActionValue& a, const ActionValue& b, int version) {
    if (a.type == ActionValue::kString && b.type == ActionValue::kString) {
        return ActionValue::fromBool(a.string < b.string);
    }
    double x = toNumber(a, version), y = toNumber(b, version);
    if (std::isnan(x) || std::isnan(y)) return ActionValue::undefined();
    return ActionValue::fromBool(x < y);
}

}  // namespace

ActionRunner::ActionRunner(Player& player, std::shared_ptr<SpriteClip> clip)
    : player_(player), original_(clip), target_(std::move(clip)), version_(player.version()) {}

ActionValue ActionRunner::pop() {
    if (stack_.empty()) return ActionValue::undefined();
    ActionValue v = std::move(stack_.back());
    stack_.pop_back();
    return v;
}

void ActionRunner::push(ActionValue v) {
    if (stack_.size() >= player_.limits_.stackValues) throw Stop{"stack"};
    if (v.type == ActionValue::kString) {
        if (v.string.size() > player_.limits_.stringBytes) throw Stop{"string too long"};
        stringBytes_ += v.string.size();
        if (stringBytes_ > player_.limits_.blockStringBytes) throw Stop{"strings"};
    }
    stack_.push_back(std::move(v));
}

void ActionRunner::pushString(std::string s) {
    push(ActionValue::fromString(std::move(s)));
}

void ActionRunner::pushBoolean(bool b) {
    push(version_ < 5 ? ActionValue::fromNumber(b ? 1 : 0) : ActionValue::fromBool(b));
}

SpriteClip* ActionRunner::target() {
    if (targetMissing_ || !target_ || target_->removed) return nullptr;
    return target_.get();
}

SpriteClip* ActionRunner::base() {
    if (!targetMissing_ && target_ && !target_->removed) return target_.get();
    return original_.get();
}

void ActionRunner::setTarget(const std::string& path) {
    if (path.empty()) {
        target_ = original_;
        targetMissing_ = false;
        return;
    }
    auto object = player_.resolveTarget(path, original_.get());
    SpriteClip* clip = object ? object->asSprite() : nullptr;
    if (clip) {
        target_ = std::static_pointer_cast<SpriteClip>(object);
        targetMissing_ = false;
    } else {
        targetMissing_ = true;
    }
}

void ActionRunner::getUrl(const std::string& url, const std::string& target) {
    if (!player_.host_) return;
    if (startsWithNoCase(url, "FSCommand:")) {
        player_.host_->fsCommand(url.substr(10), target);
    } else {
        player_.host_->getURL(url, target);
    }
}

void ActionRunner::gotoFrameValue(const ActionValue& frame, bool play, int bias) {
    SpriteClip* clip = base();
    int index = -1;
    if (frame.type == ActionValue::kString) {
        std::string text = frame.string;
        size_t colon = text.rfind(':');
        if (colon != std::string::npos) {
            auto object = player_.resolveTarget(text.substr(0, colon), clip);
            clip = object ? object->asSprite() : nullptr;
            text = text.substr(colon + 1);
        }
        if (!clip) return;
        char* end = nullptr;
        double n = std::strtod(text.c_str(), &end);
        if (!text.empty() && *end == '\0') {
            index = clampInt(n) - 1;
        } else {
            index = player_.labelFrame(*clip, text);
            if (index < 0) return;
        }
    } else {
        if (!clip) return;
        index = clampInt(toNumber(frame, version_)) - 1;
    }
    index = clampInt(double(index) + bias);
    if (index < 0) index = 0;
    player_.goTo(*clip, index);
    clip->playing = play;
}

void ActionRunner::callMethod(const ActionValue& object, const std::string& name,
                              std::vector<ActionValue>& args) {
    auto shared = object.clip.lock();
    SpriteClip* clip = object.type == ActionValue::kClip && shared ? shared->asSprite() : nullptr;
    if (!clip || clip->removed) {
        push(ActionValue::undefined());
        return;
    }
    std::string method = lower(name);
    ActionValue frame = args.empty() ? ActionValue::undefined() : args[0];
    if (method == "play") {
        clip->playing = true;
    } else if (method == "stop") {
        clip->playing = false;
    } else if (method == "nextframe") {
        player_.goTo(*clip, clip->currentFrame + 1);
        clip->playing = false;
    } else if (method == "prevframe") {
        player_.goTo(*clip, clip->currentFrame - 1);
        clip->playing = false;
    } else if (method == "gotoandplay" || method == "gotoandstop") {
        auto keep = target_;
        bool missing = targetMissing_;
        target_ = std::static_pointer_cast<SpriteClip>(shared);
        targetMissing_ = false;
        gotoFrameValue(frame, method == "gotoandplay", 0);
        target_ = keep;
        targetMissing_ = missing;
    }
    push(ActionValue::undefined());
}

void ActionRunner::skipActions(unsigned count, size_t* pc, const uint8_t* block, size_t size) {
    for (unsigned i = 0; i < count; ++i) {
        if (*pc >= size) return;
        uint8_t code = block[*pc];
        if (code < 0x80) {
            *pc += 1;
        } else {
            if (*pc + 3 > size) throw Stop{"damaged"};
            *pc += 3 + (block[*pc + 1] | (block[*pc + 2] << 8));
        }
    }
    if (*pc > size) throw Stop{"jump out"};
}

void ActionRunner::run(const uint8_t* code, size_t size) {
    size_t pc = 0;
    try {
        for (;;) {
            if (pc >= size) {
                endReason_ = "end of data";
                break;
            }
            uint8_t op = code[pc];
            if (op == kActionEnd) {
                endReason_ = "end";
                break;
            }
            size_t length = 0, bodyAt = pc + 1;
            if (op >= 0x80) {
                if (pc + 3 > size) throw Stop{"damaged"};
                length = code[pc + 1] | (code[pc + 2] << 8);
                bodyAt = pc + 3;
                if (bodyAt + length > size) throw Stop{"damaged"};
            }
            if (++steps_ > player_.limits_.stepsPerBlock ||
                ++player_.drainSteps_ > player_.limits_.stepsPerDrain) {
                throw Stop{"steps"};
            }
            size_t next = bodyAt + length;
            step(op, code + bodyAt, length, &next, code, size);
            pc = next;
        }
    } catch (const Stop& stop) {
        endReason_ = stop.reason;
        if (endReason_ == "steps" && player_.host_) {
            player_.host_->trace("Scripts stopped: a script ran too long");
        }
    } catch (const SwfError&) {
        endReason_ = "damaged";
    }
}

void ActionRunner::step(uint8_t op, const uint8_t* body, size_t length, size_t* next,
                        const uint8_t* block, size_t size) {
    SwfInput in(body, length);
    const int v = version_;
    switch (op) {
        case kActionNextFrame:
            if (SpriteClip* c = target()) player_.goTo(*c, c->currentFrame + 1);
            break;
        case kActionPreviousFrame:
            if (SpriteClip* c = target()) player_.goTo(*c, c->currentFrame - 1);
            break;
        case kActionPlay:
            if (SpriteClip* c = target()) c->playing = true;
            break;
        case kActionStop:
            if (SpriteClip* c = target()) c->playing = false;
            break;
        case kActionToggleQuality:
        case kActionStopSounds:
            break;
        case kActionGotoFrame: {
            int frame = in.u16();
            if (SpriteClip* c = target()) player_.goTo(*c, frame);
            break;
        }
        case kActionGotoLabel: {
            std::string label = in.string();
            if (SpriteClip* c = target()) {
                int frame = player_.labelFrame(*c, label);
                if (frame >= 0) player_.goTo(*c, frame);
            }
            break;
        }
        case kActionGotoFrame2: {
            uint8_t flags = in.u8();
            int bias = (flags & 2) ? in.u16() : 0;
            ActionValue frame = pop();
            if (target()) gotoFrameValue(frame, flags & 1, bias);
            break;
        }
        case kActionGetURL: {
            std::string url = in.string();
            std::string window = in.string();
            getUrl(url, window);
            break;
        }
        case kActionGetURL2: {
            in.u8();
            std::string window = popString();
            std::string url = popString();
            getUrl(url, window);
            break;
        }
        case kActionSetTarget:
            setTarget(in.string());
            break;
        case kActionSetTarget2: {
            ActionValue t = pop();
            if (t.type == ActionValue::kClip) {
                auto object = t.clip.lock();
                if (object && object->asSprite()) {
                    target_ = std::static_pointer_cast<SpriteClip>(object);
                    targetMissing_ = false;
                } else {
                    targetMissing_ = true;
                }
            } else {
                setTarget(toString(t, v));
            }
            break;
        }
        case kActionWaitForFrame: {
            int frame = in.u16();
            unsigned skip = in.u8();
            // Everything is loaded at once: only a frame past the end is "not loaded yet".
            SpriteClip* c = target();
            if (!c || frame >= c->frameCount()) skipActions(skip, next, block, size);
            break;
        }
        case kActionWaitForFrame2: {
            unsigned skip = in.u8();
            double frame = popNumber();
            SpriteClip* c = target();
            if (!c || !(frame >= 0 && frame <= c->frameCount()))
                skipActions(skip, next, block, size);
            break;
        }
        case kActionPush:
            while (!in.atEnd()) {
                uint8_t kind = in.u8();
                switch (kind) {
                    case kPushString:
                        pushString(in.string());
                        break;
                    case kPushFloat:
                        push(ActionValue::fromNumber(in.f32()));
                        break;
                    case kPushNull:
                        push(ActionValue::null());
                        break;
                    case kPushUndefined:
                        push(ActionValue::undefined());
                        break;
                    case kPushRegister: {
                        uint8_t r = in.u8();
                        push(r < 4 ? registers_[r] : ActionValue::undefined());
                        break;
                    }
                    case kPushBoolean:
                        push(ActionValue::fromBool(in.u8() != 0));
                        break;
                    case kPushDouble:
                        push(ActionValue::fromNumber(in.f64Push()));
                        break;
                    case kPushInteger:
                        push(ActionValue::fromNumber(static_cast<int32_t>(in.u32())));
                        break;
                    case kPushConstant8:
                    case kPushConstant16: {
                        size_t i = kind == kPushConstant8 ? in.u8() : in.u16();
                        push(i < constants_.size() ? ActionValue::fromString(constants_[i])
                                                   : ActionValue::undefined());
                        break;
                    }
                    default:
                        throw Stop{"unknown push type"};
                }
            }
            break;
        case kActionPop:
            pop();
            break;
        case kActionConstantPool: {
            unsigned n = in.u16();
            std::vector<std::string> pool;
            for (unsigned i = 0; i < n; ++i) pool.push_back(in.string());
            constants_ = std::move(pool);
            break;
        }
        case kActionStoreRegister: {
            uint8_t r = in.u8();
            ActionValue top = stack_.empty() ? ActionValue::undefined() : stack_.back();
            if (r < 4) registers_[r] = top;
            break;
        }
        case kActionJump:
        case kActionIf: {
            int offset = in.s16();
            bool taken = op == kActionJump || toBoolean(pop(), v);
            if (taken) {
                long long target = static_cast<long long>(*next) + offset;
                if (target < 0 || target > static_cast<long long>(size)) throw Stop{"jump out"};
                *next = static_cast<size_t>(target);
            }
            break;
        }
        case kActionCall: {
            ActionValue frame = pop();
            SpriteClip* clip = base();
            std::string text = toString(frame, v);
            size_t colon = text.rfind(':');
            if (colon != std::string::npos) {
                auto object = player_.resolveTarget(text.substr(0, colon), clip);
                clip = object ? object->asSprite() : nullptr;
                text = text.substr(colon + 1);
            }
            if (!clip) break;
            char* end = nullptr;
            double n = std::strtod(text.c_str(), &end);
            int index =
                (!text.empty() && *end == '\0') ? clampInt(n) - 1 : player_.labelFrame(*clip, text);
            if (index < 0 || index >= clip->frameCount()) break;
            auto self = std::static_pointer_cast<SpriteClip>(clip->shared_from_this());
            for (const ControlTag& t : clip->timeline->frames[static_cast<size_t>(index)].tags) {
                if (t.kind == ControlTag::kDoAction) player_.runBlock(self, t.actions);
            }
            break;
        }

        // Numbers and logic of the first scripting version: operands are numbers.
        case kActionAdd: {
            double a = popNumber(), b = popNumber();
            push(ActionValue::fromNumber(b + a));
            break;
        }
        case kActionSubtract: {
            double a = popNumber(), b = popNumber();
            push(ActionValue::fromNumber(b - a));
            break;
        }
        case kActionMultiply: {
            double a = popNumber(), b = popNumber();
            push(ActionValue::fromNumber(b * a));
            break;
        }
        case kActionDivide: {
            double a = popNumber(), b = popNumber();
            if (a == 0 && v < 5) {
                pushString("#ERROR#");
            } else {
                push(ActionValue::fromNumber(b / a));
            }
            break;
        }
        case kActionEquals: {
            double a = popNumber(), b = popNumber();
            pushBoolean(b == a);
            break;
        }
        case kActionLess: {
            double a = popNumber(), b = popNumber();
            pushBoolean(b < a);
            break;
        }
        case kActionAnd: {
            bool a = toBoolean(pop(), v), b = toBoolean(pop(), v);
            pushBoolean(a && b);
            break;
        }
        case kActionOr: {
            bool a = toBoolean(pop(), v), b = toBoolean(pop(), v);
            pushBoolean(a || b);
            break;
        }
        case kActionNot:
            pushBoolean(!toBoolean(pop(), v));
            break;
        case kActionToInteger:
            push(ActionValue::fromNumber(std::trunc(popNumber())));
            break;

        // Strings.
        case kActionStringEquals: {
            std::string a = popString(), b = popString();
            pushBoolean(b == a);
            break;
        }
        case kActionStringLess: {
            std::string a = popString(), b = popString();
            pushBoolean(b < a);
            break;
        }
        case kActionStringGreater: {
            std::string a = popString(), b = popString();
            pushBoolean(b > a);
            break;
        }
        case kActionStringLength:
            push(ActionValue::fromNumber(static_cast<double>(popString().size())));
            break;
        case kActionMBStringLength:
            push(ActionValue::fromNumber(static_cast<double>(codePoints(popString()).size())));
            break;
        case kActionStringAdd: {
            std::string a = popString(), b = popString();
            pushString(b + a);
            break;
        }
        case kActionStringExtract:
        case kActionMBStringExtract: {
            double count = popNumber(), index = popNumber();
            std::string s = popString();
            if (!std::isfinite(index) || !std::isfinite(count)) {
                pushString("");
                break;
            }
            long long from = std::max<long long>(static_cast<long long>(index) - 1, 0);
            long long n = static_cast<long long>(count);
            if (op == kActionStringExtract) {
                if (from >= static_cast<long long>(s.size())) {
                    pushString("");
                } else {
                    size_t take = n < 0 ? std::string::npos : static_cast<size_t>(n);
                    pushString(s.substr(static_cast<size_t>(from), take));
                }
            } else {
                std::vector<std::string> points = codePoints(s);
                std::string out;
                for (long long i = from;
                     i < static_cast<long long>(points.size()) && (n < 0 || i < from + n); ++i) {
                    out += points[static_cast<size_t>(i)];
                }
                pushString(out);
            }
            break;
        }
        case kActionCharToAscii: {
            std::string s = popString();
            push(s.empty() ? ActionValue::fromNumber(NAN)
                           : ActionValue::fromNumber(static_cast<unsigned char>(s[0])));
            break;
        }
        case kActionMBCharToAscii: {
            std::vector<std::string> points = codePoints(popString());
            push(points.empty() ? ActionValue::fromNumber(NAN)
                                : ActionValue::fromNumber(decodePoint(points[0])));
            break;
        }
        case kActionAsciiToChar: {
            int c = clampInt(popNumber()) & 0xFF;
            pushString(c == 0 ? std::string() : std::string(1, static_cast<char>(c)));
            break;
        }
        case kActionMBAsciiToChar: {
            int c = clampInt(popNumber());
            pushString(c <= 0 ? std::string() : encodePoint(static_cast<uint32_t>(c)));
            break;
        }

        // Variables and properties.
        case kActionGetVariable: {
            std::string name = popString();
            push(player_.getPath(name, base()));
            break;
        }
        case kActionSetVariable: {
            ActionValue value = pop();
            std::string name = popString();
            player_.setPath(name, value, base());
            break;
        }
        case kActionGetProperty: {
            int index = clampInt(popNumber());
            std::string path = popString();
            auto object = player_.resolveTarget(path, base());
            push(object && index >= 0 && index < kPropCount ? player_.property(*object, index)
                                                            : ActionValue::undefined());
            break;
        }
        case kActionSetProperty: {
            ActionValue value = pop();
            int index = clampInt(popNumber());
            std::string path = popString();
            auto object = player_.resolveTarget(path, base());
            if (object && index >= 0 && index < kPropCount)
                player_.setPropertyValue(*object, index, value);
            break;
        }
        case kActionGetMember: {
            std::string name = popString();
            ActionValue object = pop();
            auto clip = object.type == ActionValue::kClip ? object.clip.lock() : nullptr;
            if (clip && !clip->removed) {
                push(player_.member(*clip, name));
            } else if (object.type == ActionValue::kString && name == "length") {
                push(ActionValue::fromNumber(static_cast<double>(object.string.size())));
            } else {
                push(ActionValue::undefined());
            }
            break;
        }
        case kActionSetMember: {
            ActionValue value = pop();
            std::string name = popString();
            ActionValue object = pop();
            auto clip = object.type == ActionValue::kClip ? object.clip.lock() : nullptr;
            if (clip && !clip->removed) player_.setMember(*clip, name, value);
            break;
        }
        case kActionTargetPath: {
            ActionValue object = pop();
            auto clip = object.type == ActionValue::kClip ? object.clip.lock() : nullptr;
            if (clip && !clip->removed) {
                pushString(clipPath(*clip));
            } else {
                push(ActionValue::undefined());
            }
            break;
        }
        case kActionCallFunction: {
            popString();
            int n = clampInt(popNumber());
            for (int i = 0; i < n && !stack_.empty(); ++i) pop();
            push(ActionValue::undefined());  // no script functions in this player
            break;
        }
        case kActionCallMethod: {
            std::string name = popString();
            ActionValue object = pop();
            int n = clampInt(popNumber());
            std::vector<ActionValue> args;
            for (int i = 0; i < n && !stack_.empty(); ++i) args.push_back(pop());
            callMethod(object, name, args);
            break;
        }

        // The typed operators of version 5.
        case kActionAdd2: {
            ActionValue a = pop(), b = pop();
            if (a.type == ActionValue::kString || b.type == ActionValue::kString) {
                pushString(toString(b, v) + toString(a, v));
            } else {
                push(ActionValue::fromNumber(toNumber(b, v) + toNumber(a, v)));
            }
            break;
        }
        case kActionLess2: {
            ActionValue a = pop(), b = pop();
            push(lessThan(b, a, v));
            break;
        }
        case kActionGreater: {
            ActionValue a = pop(), b = pop();
            push(lessThan(a, b, v));
            break;
        }
        case kActionEquals2: {
            ActionValue a = pop(), b = pop();
            push(ActionValue::fromBool(looseEquals(b, a, v)));
            break;
        }
        case kActionStrictEquals: {
            ActionValue a = pop(), b = pop();
            push(ActionValue::fromBool(strictEquals(b, a)));
            break;
        }
        case kActionModulo: {
            double a = popNumber(), b = popNumber();
            push(ActionValue::fromNumber(std::fmod(b, a)));
            break;
        }
        case kActionIncrement:
            push(ActionValue::fromNumber(popNumber() + 1));
            break;
        case kActionDecrement:
            push(ActionValue::fromNumber(popNumber() - 1));
            break;
        case kActionToNumber:
            push(ActionValue::fromNumber(popNumber()));
            break;
        case kActionToString:
            pushString(popString());
            break;
        case kActionTypeOf:
            pushString(typeOf(pop()));
            break;
        case kActionPushDuplicate: {
            ActionValue top = stack_.empty() ? ActionValue::undefined() : stack_.back();
            push(top);
            break;
        }
        case kActionStackSwap: {
            ActionValue a = pop(), b = pop();
            push(a);
            push(b);
            break;
        }
        case kActionBitAnd:
        case kActionBitOr:
        case kActionBitXor:
        case kActionBitLShift:
        case kActionBitRShift:
        case kActionBitURShift: {
            int32_t a = toInt32(popNumber()), b = toInt32(popNumber());
            double r = 0;
            switch (op) {
                case kActionBitAnd:
                    r = b & a;
                    break;
                case kActionBitOr:
                    r = b | a;
                    break;
                case kActionBitXor:
                    r = b ^ a;
                    break;
                case kActionBitLShift:
                    r = static_cast<int32_t>(static_cast<uint32_t>(b) << (a & 31));
                    break;
                case kActionBitRShift:
                    r = b >> (a & 31);
                    break;
                default:
                    r = static_cast<uint32_t>(b) >> (a & 31);
                    break;
            }
            push(ActionValue::fromNumber(r));
            break;
        }

        // The player's own services.
        case kActionTrace: {
            ActionValue value = pop();
            if (player_.host_) player_.host_->trace(toString(value, std::max(v, 7)));
            break;
        }
        case kActionRandomNumber: {
            int max = clampInt(popNumber());
            double r =
                max > 0 ? static_cast<double>(player_.random_() % static_cast<uint32_t>(max)) : 0;
            push(ActionValue::fromNumber(r));
            break;
        }
        case kActionGetTime: {
            auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - player_.started_);
            push(ActionValue::fromNumber(static_cast<double>(ms.count())));
            break;
        }
        default:
            throw Stop{"unknown action"};
    }
}

}  // namespace quill::movie
