#pragma once
// mcut.exe: runs a mencoder command line (cut, convert, join) with ffmpeg and prints mencoder's
// "Pos:" progress texts.

#include <string>
#include <vector>

namespace trimora::mtools {

// args: the program's arguments without argv[0]. Returns the exit status.
int RunMcut(std::vector<std::string> args);

// Where a copied picture may start: the last keyframe at or before `seconds` (seconds from the
// clip's start), or `seconds` when none is found.
double KeyframeAtOrBefore(const std::string& path, double seconds, double clipStartTime);

} // namespace trimora::mtools
