#pragma once
// The exact cut: which part of a chosen range must be re-encoded so that the output starts and
// ends on the chosen frames, and which part can be copied packet for packet. A copy can only start
// at a keyframe; it can end anywhere only when the stream has no reordered (B) frames, otherwise
// it ends at the last keyframe in the range and the rest is re-encoded too.

#include <string>
#include <vector>

namespace trimora {

// Whether the re-encoded pieces can be joined to copied packets for this video codec (ffprobe's
// codec_name) in this container (lower-case extension with its point).
bool ExactCopySupported(const std::string& codec, const std::string& lowerExt);

struct ExactCutPlan {
    double start = 0, end = 0;
    bool fullEncode = true; // re-encode the whole range
    double copyFrom = 0;    // copied span [copyFrom, copyTo) when !fullEncode
    double copyTo = 0;
    double HeadSeconds() const { return fullEncode ? end - start : copyFrom - start; }
    double TailSeconds() const { return fullEncode ? 0 : end - copyTo; }
};

// keyframes: ascending presentation times (ReadKeyframeTimes). reorders: the stream has B-frames.
ExactCutPlan PlanExactCut(const std::vector<double>& keyframes, double start, double end,
                          bool copySupported, bool reorders);

// What the plan does, for the window's summary and the log: "copies the whole range",
// "re-encodes 0.8 s at the start, copies the rest", "re-encodes the whole range".
std::string DescribeExactCut(const ExactCutPlan& plan);

} // namespace trimora
