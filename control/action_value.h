// Values of the movie's scripts and their conversions. Several conversions changed with the file
// version (an unset variable reads as "" before version 7 and as "undefined" from 7 on), so each
// conversion takes the version of the movie that runs the script.
#pragma once

#include <memory>
#include <string>

namespace quill::movie {

class DisplayObject;

struct ActionValue {
    enum Type : uint8_t { kUndefined, kNull, kBoolean, kNumber, kString, kClip };
    Type type = kUndefined;
    bool boolean = false;
    double number = 0;
    std::string string;
    std::weak_ptr<DisplayObject> clip;

    static ActionValue undefined() { return {}; }
    static ActionValue null() {
        ActionValue v;
        v.type = kNull;
        return v;
    }
    static ActionValue fromBool(bool b) {
        ActionValue v;
        v.type = kBoolean;
        v.boolean = b;
        return v;
    }
    static ActionValue fromNumber(double d) {
        ActionValue v;
        v.type = kNumber;
        v.number = d;
        return v;
    }
    static ActionValue fromString(std::string s) {
        ActionValue v;
        v.type = kString;
        v.string = std::move(s);
        return v;
    }
    static ActionValue fromClip(const std::shared_ptr<DisplayObject>& c);
};

// Numbers as scripts print them: integers without a point, others with up to 15 digits.
std::string formatNumber(double d);
double toNumber(const ActionValue& v, int version);
std::string toString(const ActionValue& v, int version);
bool toBoolean(const ActionValue& v, int version);
// Loose equality of the version 5 actions, and the ordering of their comparisons
// (undefined when either side is not a number).
bool looseEquals(const ActionValue& a, const ActionValue& b, int version);
bool strictEquals(const ActionValue& a, const ActionValue& b);
const char* typeOf(const ActionValue& v);
// The dot path of a clip ("_level0.menu.item"), empty when the clip is gone.
std::string clipPath(const DisplayObject& clip);
// The slash path a clip's _target property gives ("/menu/item", "/" for the root).
std::string clipSlashPath(const DisplayObject& clip);

}  // namespace quill::movie
