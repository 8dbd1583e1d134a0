#include "common/pattern.h"

#include <QRegularExpression>
#include <QString>
#include <mutex>
#include <unordered_map>

namespace trimora {

bool MatchesPattern(const std::string& subject, const std::string& pattern) {
    // Patterns are few and fixed; compiled ones are kept for the whole run.
    static std::mutex mutex;
    static std::unordered_map<std::string, QRegularExpression> cache;
    QRegularExpression re;
    {
        std::lock_guard<std::mutex> lock(mutex);
        auto it = cache.find(pattern);
        if (it == cache.end())
            it = cache.emplace(pattern, QRegularExpression(QString::fromStdString(pattern))).first;
        re = it->second;
    }
    if (!re.isValid()) return false;
    return re.match(QString::fromStdString(subject)).hasMatch();
}

} // namespace trimora
