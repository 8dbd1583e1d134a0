#pragma once
// The exact cut: which part of a chosen range must be re-encoded so that the output starts and
// ends on the chosen frames, and which part can be copied packet for packet. A copy can only start
// at a keyframe; it can end on any frame where the packets up to it in decode order are exactly the
// frames shown up to it (always without reordered (B) frames, at the end of each run of B-frames
// otherwise), and only the few frames after that point are re-encoded.

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

// A video packet of the packet index; packets are listed in decode order.
struct IndexedPacket {
    double pts = 0;
    bool key = false;
};

// The packets that can be copied from decode position `first` (a keyframe) on: the longest run in
// decode order whose times are exactly the earliest frames from that keyframe on, all before
// `end`. Such a run refers to no frame outside it, so it decodes on its own and shows the frames
// [keyframe, until) without a gap. packets == 0 when not even the keyframe qualifies (frames
// decoded after it are shown before it: an open group).
struct CopyRun {
    size_t packets = 0;
    double until = 0; // time of the first frame not copied (at most end)
};
CopyRun CopyableRun(const std::vector<IndexedPacket>& packets, size_t first, double end);

// Packets from ffprobe's "pts_time,flags" lines (csv=p=0), in the order given.
std::vector<IndexedPacket> ParsePacketLines(const std::string& text);

// The plan from the packet index: the copy starts at the first keyframe in the range and ends as
// late as CopyableRun allows.
ExactCutPlan PlanExactCut(const std::vector<IndexedPacket>& packets, double start, double end,
                          bool copySupported);

// What the plan does, for the window's summary and the log: "copies the whole range",
// "re-encodes 0.8 s at the start, copies the rest", "re-encodes the whole range".
std::string DescribeExactCut(const ExactCutPlan& plan);

} // namespace trimora
