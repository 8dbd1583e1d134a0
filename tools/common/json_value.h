#pragma once
// A small reader for the JSON reports the media probe prints. The front-ends start once per job
// and per probe, so they read JSON themselves instead of loading a toolkit library for it.

#include <string>
#include <utility>
#include <vector>

namespace trimora::frontend {

class JsonValue {
  public:
    enum class Kind { Null, Bool, Number, String, Array, Object };

    // The whole text as one value; Null (and *ok false) when it is not well-formed JSON.
    static JsonValue Parse(const std::string& text, bool* ok = nullptr);

    Kind Type() const { return kind_; }
    bool IsNumber() const { return kind_ == Kind::Number; }
    bool IsString() const { return kind_ == Kind::String; }
    bool IsObject() const { return kind_ == Kind::Object; }

    double Number() const { return kind_ == Kind::Number ? number_ : 0; }
    // The text of a string (UTF-8); "" for anything else.
    const std::string& Text() const;
    // A whole number, else fallback.
    int Int(int fallback = 0) const;

    // A member of an object (Null when absent or when this is no object).
    const JsonValue& operator[](const std::string& key) const;
    // The members of an object, sorted by name (the last of duplicated names counts).
    const std::vector<std::pair<std::string, JsonValue>>& Members() const { return members_; }
    // The elements of an array.
    const std::vector<JsonValue>& Items() const { return items_; }

  private:
    friend class JsonParser;
    Kind kind_ = Kind::Null;
    bool flag_ = false;
    double number_ = 0;
    std::string text_;
    std::vector<JsonValue> items_;
    std::vector<std::pair<std::string, JsonValue>> members_;
};

} // namespace trimora::frontend
