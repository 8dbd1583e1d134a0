#pragma once
// Where a stream-copy cut really starts and ends. A copied picture can only begin at a keyframe,
// and each container's cut route treats the chosen times its own way (measured with clips whose
// keyframes are 10 s apart):
// - mp4, m4v, mov: the packets from the keyframe at or before the start are written, and the
//   file's edit list hides them, so the file plays from the chosen start to the asked length;
// - mkv (the splitter): from the keyframe at or before the start to the first keyframe at or
//   after the chosen end (the clip's end when there is none);
// - avi, divx, flv, webm, m2ts, wmv, asf: from the keyframe at or before the start to the
//   asked length after the start.
// The asked length is a whole number of seconds that reaches the chosen end (CopyCutSeconds).

#include <cstdint>
#include <string>
#include <vector>

namespace trimora {

// The whole seconds the tools are asked to copy from the start: the difference of the whole
// seconds of the two times, raised where that would stop before the chosen end (23.4 to 41.7
// gives 19, not 18).
int64_t CopyCutSeconds(double start, double end);

struct TCopyRange {
    bool Known = false;  // false for containers whose copy cut is not predictable, or without keyframes
    double Start = 0;    // first time the file shows (seconds of the source, as the time boxes count)
    double End = 0;      // where it stops showing
    double Keyframe = 0; // the keyframe the copied picture begins with
    bool LeadHidden = false; // the packets from Keyframe to Start are in the file, hidden by its edit list
    double Length() const { return End - Start; }
};

// lowerExt: the source's extension, lower case, with its point. keyframes: ascending keyframe
// times counted from the clip's first one. start/end: the chosen range. clipLength: seconds
// (<= 0 when unknown). frameSeconds: one frame's duration (a keyframe less than a frame after
// the start is the chosen frame itself for the splitter).
TCopyRange PredictCopyRange(const std::string& lowerExt, const std::vector<double>& keyframes,
                            double start, double end, double clipLength,
                            double frameSeconds = 0.04);

// The summary's words: "copy 00:00:20.000 to 00:00:42.400 (22.4 s): starts at keyframe
// 00:00:20.000, 3.4 s before the chosen start; ends 0.7 s after the chosen end".
std::string DescribeCopyRange(const TCopyRange& range, double start, double end);

} // namespace trimora
