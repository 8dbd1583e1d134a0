#pragma once
// fcut.exe [-cb] [-threads N] -exact -ss START -to END -i INPUT [-an] [-sn] [-y] OUTPUT
//
// A cut that starts and ends on the chosen frames. Where codec and container allow, only the
// frames from the chosen start up to the next keyframe (and, for streams with reordered frames,
// from the last keyframe of the range to the chosen end) are re-encoded with settings matching the
// source stream; every other packet is copied unchanged. Otherwise the whole range is re-encoded
// at high quality, and the log says so. The pieces live in a private work folder next to the output
// and the result is moved into place without replacing anything. Progress is printed as the
// classic "time=<whole seconds>" chunks over all steps.

#include <string>
#include <vector>

namespace trimora::fcut {

// True when "-exact" comes before the first -i.
bool IsExactCut(const std::vector<std::string>& args);

// args: the front-end's arguments; returns the exit status.
int RunExactCut(std::vector<std::string> args);

} // namespace trimora::fcut
