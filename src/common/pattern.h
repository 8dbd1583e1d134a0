#pragma once
// Format and output tests are Perl-syntax regular expressions searched anywhere in the subject
// unless anchored; a leading "(?i)" makes the test ignore letter case. The point in file patterns
// such as "(?i).avi" is not escaped and matches any character.

#include <string>

namespace trimora {

bool MatchesPattern(const std::string& subject, const std::string& pattern);

} // namespace trimora
