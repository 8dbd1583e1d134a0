#pragma once
// The window keeps its texts as UTF-8 std::string (the core's type) and shows them as QString.

#include <QString>
#include <string>

namespace trimora {

inline QString Q(const std::string& s) { return QString::fromStdString(s); }
inline std::string S(const QString& s) { return s.toStdString(); }

} // namespace trimora
