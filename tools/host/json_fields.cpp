#include "host/json_fields.h"

#include "host/colours.h"
#include "host/host_error.h"
#include "host/rop_codes.h"

namespace marlhost {

namespace {

constexpr size_t kShownLength = 40;

// A cut string may end inside a UTF-8 sequence; its rest is shown as a replacement character.
std::string Quoted(const std::string& text) {
    return Json(text.substr(0, kShownLength)).dump(-1, ' ', false, Json::error_handler_t::replace);
}

// Appends a short rendering of value to text, stopping once text is long enough: a message
// shows the start of a value, and a huge or deeply nested value costs no more than a small one.
void AppendShort(const Json& value, std::string& text) {
    if (text.size() > kShownLength) return;
    if (value.is_string()) {
        text += Quoted(value.get_ref<const std::string&>());
    } else if (value.is_array()) {
        text += '[';
        for (auto item = value.begin(); item != value.end() && text.size() <= kShownLength;
             ++item) {
            if (item != value.begin()) text += ',';
            AppendShort(*item, text);
        }
        text += ']';
    } else if (value.is_object()) {
        text += '{';
        for (auto item = value.begin(); item != value.end() && text.size() <= kShownLength;
             ++item) {
            if (item != value.begin()) text += ',';
            text += Quoted(item.key()) + ':';
            AppendShort(item.value(), text);
        }
        text += '}';
    } else {
        text += value.dump();
    }
}

std::string Shown(const Json& value) {
    std::string text;
    AppendShort(value, text);
    return text.size() > kShownLength ? text.substr(0, kShownLength - 3) + "..." : text;
}

} // namespace

JsonObject::JsonObject(const Json& value, std::string where)
    : Value(value), Location(std::move(where)) {
    if (!value.is_object())
        throw PageError(Location + ": expected an object {...}, got " + Shown(value));
}

bool JsonObject::Has(const char* key) const { return Value.contains(key); }

void JsonObject::Expect(std::initializer_list<const char*> keys) const {
    for (auto item = Value.begin(); item != Value.end(); ++item) {
        if (item.key() == "comment") continue;
        bool known = false;
        std::string names;
        for (const char* key : keys) {
            known = known || item.key() == key;
            names += (names.empty() ? "" : ", ") + std::string(key);
        }
        if (!known)
            throw PageError(Location + ": unknown field \"" + item.key() +
                            "\" (known here: " + names + ", comment)");
    }
}

const Json* JsonObject::Find(const char* key) const {
    auto found = Value.find(key);
    return found == Value.end() ? nullptr : &*found;
}

const Json& JsonObject::Get(const char* key) const {
    const Json* value = Find(key);
    if (value == nullptr) throw PageError(Location + ": the field \"" + key + "\" is missing");
    return *value;
}

void JsonObject::RequireOneOf(std::initializer_list<const char*> keys) const {
    int present = 0;
    std::string names;
    for (const char* key : keys) {
        present += Has(key) ? 1 : 0;
        names += (names.empty() ? "\"" : " or \"") + std::string(key) + "\"";
    }
    if (present != 1) throw PageError(Location + ": give exactly one of " + names);
}

void JsonObject::Fail(const char* key, const std::string& what) const {
    throw PageError(FieldWhere(*this, key) + ": " + what);
}

int32_t ReadInt(const Json& value, const std::string& where, int64_t low, int64_t high) {
    if (!value.is_number_integer())
        throw PageError(where + ": expected a whole number, got " + Shown(value));
    bool inRange;
    int64_t number = 0;
    if (value.is_number_unsigned()) {
        uint64_t unsignedNumber = value.get<uint64_t>();
        inRange = unsignedNumber <= static_cast<uint64_t>(high) &&
                  static_cast<int64_t>(unsignedNumber) >= low;
        number = static_cast<int64_t>(unsignedNumber);
    } else {
        number = value.get<int64_t>();
        inRange = number >= low && number <= high;
    }
    if (!inRange)
        throw PageError(where + ": " + Shown(value) + " is out of range (" + std::to_string(low) +
                        " to " + std::to_string(high) + ")");
    return static_cast<int32_t>(number);
}

bool ReadBool(const Json& value, const std::string& where) {
    if (!value.is_boolean())
        throw PageError(where + ": expected true or false, got " + Shown(value));
    return value.get<bool>();
}

std::string ReadString(const Json& value, const std::string& where) {
    if (!value.is_string()) throw PageError(where + ": expected a string, got " + Shown(value));
    return value.get<std::string>();
}

uint32_t ReadColour(const Json& value, const std::string& where) {
    auto colour = value.is_string() ? ParseColour(value.get<std::string>()) : std::nullopt;
    if (!colour) throw PageError(where + ": expected a colour \"#RRGGBB\", got " + Shown(value));
    return *colour;
}

uint8_t ReadCode(const Json& value, const std::string& where) {
    if (value.is_number_integer()) return static_cast<uint8_t>(ReadInt(value, where, 0, 255));
    if (value.is_string()) {
        std::string text = value.get<std::string>();
        if (auto code = ParseRopName(text)) return *code;
        bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
        if (hex) throw PageError(where + ": code " + text + " is out of range (0x00 to 0xFF)");
        throw PageError(where + ": unknown code \"" + text + "\" (give 0x00 to 0xFF or one of " +
                        KnownRopNames() + ")");
    }
    throw PageError(where + ": expected a code (\"0xNN\" or a name), got " + Shown(value));
}

std::string FieldWhere(const JsonObject& object, const char* key) {
    return object.Where() + "." + key;
}

int32_t IntField(JsonObject& object, const char* key, int64_t low, int64_t high) {
    return ReadInt(object.Get(key), FieldWhere(object, key), low, high);
}

int32_t IntField(JsonObject& object, const char* key, int64_t low, int64_t high,
                 int32_t otherwise) {
    const Json* value = object.Find(key);
    return value ? ReadInt(*value, FieldWhere(object, key), low, high) : otherwise;
}

uint32_t ColourField(JsonObject& object, const char* key, uint32_t otherwise) {
    const Json* value = object.Find(key);
    return value ? ReadColour(*value, FieldWhere(object, key)) : otherwise;
}

uint8_t CodeField(JsonObject& object, const char* key, uint8_t otherwise) {
    const Json* value = object.Find(key);
    return value ? ReadCode(*value, FieldWhere(object, key)) : otherwise;
}

std::string StringField(JsonObject& object, const char* key) {
    return ReadString(object.Get(key), FieldWhere(object, key));
}

bool BoolField(JsonObject& object, const char* key, bool otherwise) {
    const Json* value = object.Find(key);
    return value ? ReadBool(*value, FieldWhere(object, key)) : otherwise;
}

} // namespace marlhost
