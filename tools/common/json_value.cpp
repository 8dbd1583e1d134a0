#include "json_value.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace trimora::frontend {

namespace {
const JsonValue kNull;
const std::string kEmpty;
constexpr int kMaxDepth = 200; // deeper nesting is refused rather than exhausting the stack
} // namespace

class JsonParser {
  public:
    explicit JsonParser(const std::string& text) : s_(text) {}

    bool Document(JsonValue& out) {
        if (!Value(out, 0)) return false;
        Blanks();
        return at_ == s_.size();
    }

  private:
    void Blanks() {
        while (at_ < s_.size() &&
               (s_[at_] == ' ' || s_[at_] == '\t' || s_[at_] == '\n' || s_[at_] == '\r'))
            ++at_;
    }
    bool Word(const char* w) {
        const size_t n = std::strlen(w);
        if (s_.compare(at_, n, w) != 0) return false;
        at_ += n;
        return true;
    }

    bool Value(JsonValue& v, int depth) {
        if (depth > kMaxDepth) return false;
        Blanks();
        if (at_ >= s_.size()) return false;
        const char c = s_[at_];
        if (c == '{') return Object(v, depth);
        if (c == '[') return Array(v, depth);
        if (c == '"') {
            v.kind_ = JsonValue::Kind::String;
            return String(v.text_);
        }
        if (Word("true") || Word("false")) {
            v.kind_ = JsonValue::Kind::Bool;
            v.flag_ = s_[at_ - 2] == 'u'; // "tr(u)e"
            return true;
        }
        if (Word("null")) return true;
        return Number(v);
    }

    bool Number(JsonValue& v) {
        const size_t from = at_;
        if (at_ < s_.size() && s_[at_] == '-') ++at_;
        const size_t digits = at_;
        while (at_ < s_.size() && std::strchr("0123456789.eE+-", s_[at_])) ++at_;
        if (at_ == digits || !(s_[digits] >= '0' && s_[digits] <= '9')) return false;
        const std::string text = s_.substr(from, at_ - from);
        char* end = nullptr;
        v.number_ = std::strtod(text.c_str(), &end);
        if (end != text.c_str() + text.size() || !std::isfinite(v.number_)) return false;
        v.kind_ = JsonValue::Kind::Number;
        return true;
    }

    static void PutUtf8(std::string& out, unsigned cp) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }

    bool Hex4(unsigned& cp) {
        if (at_ + 4 > s_.size()) return false;
        cp = 0;
        for (int i = 0; i < 4; ++i) {
            const char h = s_[at_++];
            cp <<= 4;
            if (h >= '0' && h <= '9') cp |= static_cast<unsigned>(h - '0');
            else if (h >= 'a' && h <= 'f') cp |= static_cast<unsigned>(h - 'a' + 10);
            else if (h >= 'A' && h <= 'F') cp |= static_cast<unsigned>(h - 'A' + 10);
            else return false;
        }
        return true;
    }

    bool String(std::string& out) {
        ++at_; // the opening quote
        while (at_ < s_.size()) {
            const char c = s_[at_++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at_ >= s_.size()) return false;
            const char e = s_[at_++];
            switch (e) {
            case '"': case '\\': case '/': out += e; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                unsigned cp = 0;
                if (!Hex4(cp)) return false;
                // A surrogate pair is one character; a lone half becomes U+FFFD.
                if (cp >= 0xD800 && cp < 0xDC00 && s_.compare(at_, 2, "\\u") == 0) {
                    const size_t back = at_;
                    at_ += 2;
                    unsigned low = 0;
                    if (Hex4(low) && low >= 0xDC00 && low < 0xE000)
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                    else
                        at_ = back;
                }
                if (cp >= 0xD800 && cp < 0xE000) cp = 0xFFFD;
                PutUtf8(out, cp);
                break;
            }
            default: return false;
            }
        }
        return false;
    }

    bool Array(JsonValue& v, int depth) {
        ++at_;
        v.kind_ = JsonValue::Kind::Array;
        Blanks();
        if (at_ < s_.size() && s_[at_] == ']') return ++at_, true;
        for (;;) {
            v.items_.emplace_back();
            if (!Value(v.items_.back(), depth + 1)) return false;
            Blanks();
            if (at_ >= s_.size()) return false;
            if (s_[at_] == ']') return ++at_, true;
            if (s_[at_++] != ',') return false;
        }
    }

    bool Object(JsonValue& v, int depth) {
        ++at_;
        v.kind_ = JsonValue::Kind::Object;
        Blanks();
        if (at_ < s_.size() && s_[at_] == '}') return ++at_, true;
        for (;;) {
            Blanks();
            std::string key;
            if (at_ >= s_.size() || s_[at_] != '"' || !String(key)) return false;
            Blanks();
            if (at_ >= s_.size() || s_[at_++] != ':') return false;
            JsonValue member;
            if (!Value(member, depth + 1)) return false;
            auto& m = v.members_;
            const auto it = std::lower_bound(
                m.begin(), m.end(), key, [](const auto& a, const std::string& k) { return a.first < k; });
            if (it != m.end() && it->first == key) it->second = std::move(member);
            else m.emplace(it, std::move(key), std::move(member));
            Blanks();
            if (at_ >= s_.size()) return false;
            if (s_[at_] == '}') return ++at_, true;
            if (s_[at_++] != ',') return false;
        }
    }

    const std::string& s_;
    size_t at_ = 0;
};

JsonValue JsonValue::Parse(const std::string& text, bool* ok) {
    JsonValue v;
    const bool good = JsonParser(text).Document(v);
    if (!good) v = JsonValue();
    if (ok) *ok = good;
    return v;
}

const std::string& JsonValue::Text() const { return kind_ == Kind::String ? text_ : kEmpty; }

int JsonValue::Int(int fallback) const {
    if (kind_ != Kind::Number || number_ != std::trunc(number_) || std::fabs(number_) > 2147483647.0)
        return fallback;
    return static_cast<int>(number_);
}

const JsonValue& JsonValue::operator[](const std::string& key) const {
    if (kind_ != Kind::Object) return kNull;
    const auto it = std::lower_bound(members_.begin(), members_.end(), key,
                                     [](const auto& a, const std::string& k) { return a.first < k; });
    return it != members_.end() && it->first == key ? it->second : kNull;
}

} // namespace trimora::frontend
