#pragma once
// Command texts are single strings, as the builders compose them. They are split into an
// argument vector by the classic Windows rules and spawned without a shell, so a file name can
// never change which files a tool touches.

#include <string>
#include <vector>

namespace trimora {

// Splits a command text: blanks separate arguments; double quotes group; 2n backslashes before a
// quote give n backslashes and the quote toggles grouping; 2n+1 backslashes before a quote give n
// backslashes and a literal quote; other backslashes are literal.
std::vector<std::string> SplitCommandLine(const std::string& command);

// Escapes a path for pasting between the double quotes of a command piece: each '"' becomes \"
// with the backslashes before it doubled, and trailing backslashes are doubled, so that
// SplitCommandLine gives back exactly the path. Ordinary paths come back unchanged.
std::string QuoteArgText(const std::string& path);

// The argument wrapped in quotes: "\"" + QuoteArgText(path) + "\"".
std::string Quoted(const std::string& path);

} // namespace trimora
