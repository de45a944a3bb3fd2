// Strict reading of JSON objects: every field must be known, every value of its kind, and
// every message names where in the page the offending value is.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <initializer_list>
#include <string>

namespace marlhost {

using Json = nlohmann::json;

class JsonObject {
public:
    // Throws a page error when value is not an object.
    JsonObject(const Json& value, std::string where);

    const std::string& Where() const { return Location; }
    bool Has(const char* key) const;
    // Names the fields this object may have ("comment" is always allowed) and throws for the
    // first field that is not one of them, before any value is read.
    void Expect(std::initializer_list<const char*> keys) const;
    // The field's value, or null when absent.
    const Json* Find(const char* key) const;
    // The field's value; throws when it is absent.
    const Json& Get(const char* key) const;
    // Throws unless exactly one of the keys is present.
    void RequireOneOf(std::initializer_list<const char*> keys) const;

    // A page error about the field key.
    [[noreturn]] void Fail(const char* key, const std::string& what) const;

private:
    const Json& Value;
    std::string Location;
};

// Value readers; `where` names the value in messages.
int32_t ReadInt(const Json& value, const std::string& where, int64_t low, int64_t high);
bool ReadBool(const Json& value, const std::string& where);
std::string ReadString(const Json& value, const std::string& where);
uint32_t ReadColour(const Json& value, const std::string& where);
uint8_t ReadCode(const Json& value, const std::string& where);

// The field reader's helpers, with where = "<object where>.<key>".
int32_t IntField(JsonObject& object, const char* key, int64_t low, int64_t high);
int32_t IntField(JsonObject& object, const char* key, int64_t low, int64_t high, int32_t otherwise);
uint32_t ColourField(JsonObject& object, const char* key, uint32_t otherwise);
uint8_t CodeField(JsonObject& object, const char* key, uint8_t otherwise);
std::string StringField(JsonObject& object, const char* key);
bool BoolField(JsonObject& object, const char* key, bool otherwise);
std::string FieldWhere(const JsonObject& object, const char* key);

} // namespace marlhost
