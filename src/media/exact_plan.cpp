#include "media/exact_plan.h"

#include "media/keyframes.h"

#include <cstdio>

namespace trimora {

namespace {

std::string Seconds1(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f s", v < 0 ? 0.0 : v);
    return buf;
}

} // namespace

bool ExactCopySupported(const std::string& codec, const std::string& ext) {
    if (codec == "h264" || codec == "hevc")
        return ext == ".mp4" || ext == ".m4v" || ext == ".mov" || ext == ".mkv" ||
               ext == ".m2ts" || ext == ".mts" || ext == ".ts";
    if (codec == "mpeg4") return ext == ".avi" || ext == ".divx";
    return false;
}

ExactCutPlan PlanExactCut(const std::vector<double>& keyframes, double start, double end,
                          bool copySupported, bool reorders) {
    ExactCutPlan plan;
    plan.start = start;
    plan.end = end;
    if (!copySupported || keyframes.empty() || end <= start) return plan;
    const double from = KeyframeAtOrAfter(keyframes, start);
    if (from < 0 || from >= end - 0.0005) return plan;
    // Without reordering the packets of a keyframe's group are in display order, so copying can
    // stop at any frame; otherwise it stops before the last keyframe of the range.
    const double to = reorders ? KeyframeAtOrBefore(keyframes, end) : end;
    if (to <= from + 0.0005) return plan;
    plan.fullEncode = false;
    plan.copyFrom = from;
    plan.copyTo = to;
    return plan;
}

std::string DescribeExactCut(const ExactCutPlan& p) {
    if (p.fullEncode) return "re-encodes the whole range";
    const bool head = p.HeadSeconds() > 0.0005, tail = p.TailSeconds() > 0.0005;
    if (!head && !tail) return "copies the whole range";
    std::string text = "re-encodes ";
    if (head) text += Seconds1(p.HeadSeconds()) + " at the start";
    if (head && tail) text += " and ";
    if (tail) text += Seconds1(p.TailSeconds()) + " at the end";
    return text + ", copies the rest";
}

} // namespace trimora
