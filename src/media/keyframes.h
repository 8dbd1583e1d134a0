#pragma once
// Where a clip's video keyframes are: a stream copy can only start at one, so the window tells
// the user where a copy cut really starts and ends, and an exact cut knows where to switch from
// re-encoding to copying.

#include <string>
#include <vector>

namespace trimora {

// Presentation times (seconds, on the clip's own clock, ascending, no duplicates) of the
// keyframes of the first video stream, read from the packet index with ffprobe (no decoding).
// Empty when the clip has no video or ffprobe fails or does not finish within the time limit.
// lines (when given) receives ffprobe's "pts_time,flags" lines of every packet, in decode order.
std::vector<double> ReadKeyframeTimes(const std::string& path, int timeoutSeconds = 30,
                                      std::string* lines = nullptr);

// Parses ffprobe's "pts_time,flags" lines (csv=p=0); packets without a K flag or without a time
// are skipped.
std::vector<double> ParseKeyframeLines(const std::string& text);

// The last keyframe at or before t (first keyframe when none is), and the first keyframe at or
// after t (negative when none is). Times within half a millisecond count as equal.
double KeyframeAtOrBefore(const std::vector<double>& keyframes, double t);
double KeyframeAtOrAfter(const std::vector<double>& keyframes, double t);

} // namespace trimora
