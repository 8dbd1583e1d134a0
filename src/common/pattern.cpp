#include "common/pattern.h"

#include <mutex>
#include <optional>
#include <regex>
#include <unordered_map>

namespace trimora {

namespace {

// A pattern compiled once for the whole run; nothing when it does not compile.
struct Compiled {
    std::optional<std::regex> re;
};

Compiled Compile(const std::string& pattern) {
    std::string body = pattern;
    auto flags = std::regex::ECMAScript | std::regex::optimize;
    if (body.rfind("(?i)", 0) == 0) {
        body.erase(0, 4);
        flags |= std::regex::icase;
    }
    Compiled c;
    try {
        c.re.emplace(body, flags);
    } catch (const std::regex_error&) {
    }
    return c;
}

} // namespace

bool MatchesPattern(const std::string& subject, const std::string& pattern) {
    // Patterns are few and fixed; compiled ones are kept for the whole run.
    static std::mutex mutex;
    static std::unordered_map<std::string, Compiled> cache;
    const Compiled* c;
    {
        std::lock_guard<std::mutex> lock(mutex);
        auto it = cache.find(pattern);
        if (it == cache.end()) it = cache.emplace(pattern, Compile(pattern)).first;
        c = &it->second; // entries of an unordered_map stay where they are
    }
    if (!c->re) return false;
    if (std::regex_search(subject, *c->re)) return true;
    // "$" also matches before a line break that ends the text, as in Perl.
    return !subject.empty() && subject.back() == '\n' &&
           pattern.find('$') != std::string::npos &&
           std::regex_search(subject.substr(0, subject.size() - 1), *c->re);
}

} // namespace trimora
