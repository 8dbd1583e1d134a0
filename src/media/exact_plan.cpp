#include "media/exact_plan.h"

#include "media/keyframes.h"

#include <algorithm>
#include <cmath>
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

CopyRun CopyableRun(const std::vector<IndexedPacket>& packets, size_t first, double end) {
    constexpr double kEps = 0.0005;
    CopyRun run;
    if (first >= packets.size() || !packets[first].key) return run;
    const double from = packets[first].pts;
    // Earliest time among the packets decoded after each position.
    std::vector<double> laterMin(packets.size() - first + 1, INFINITY);
    for (size_t i = packets.size(); i-- > first;)
        laterMin[i - first] = std::min(laterMin[i + 1 - first], packets[i].pts);
    double shown = -INFINITY;
    for (size_t i = first; i < packets.size(); ++i) {
        const double t = packets[i].pts;
        if (t < from - kEps || t >= end - kEps) break;
        shown = std::max(shown, t);
        if (shown < laterMin[i + 1 - first] - kEps) {
            run.packets = i + 1 - first;
            run.until = std::min(end, laterMin[i + 1 - first]);
        }
    }
    return run;
}

std::vector<IndexedPacket> ParsePacketLines(const std::string& text) {
    std::vector<IndexedPacket> packets;
    size_t from = 0;
    while (from < text.size()) {
        size_t nl = text.find_first_of("\r\n", from);
        if (nl == std::string::npos) nl = text.size();
        const std::string line = text.substr(from, nl - from);
        from = nl + 1;
        char* end = nullptr;
        const double pts = std::strtod(line.c_str(), &end);
        if (end == line.c_str() || *end != ',') continue; // no time ("N/A")
        packets.push_back({pts, line.find('K', static_cast<size_t>(end - line.c_str())) !=
                                    std::string::npos});
    }
    return packets;
}

ExactCutPlan PlanExactCut(const std::vector<IndexedPacket>& packets, double start, double end,
                          bool copySupported) {
    std::vector<double> keyframes;
    for (const auto& p : packets)
        if (p.key) keyframes.push_back(p.pts);
    std::sort(keyframes.begin(), keyframes.end());
    ExactCutPlan plan = PlanExactCut(keyframes, start, end, copySupported, false);
    if (plan.fullEncode) return plan;
    CopyRun run;
    for (size_t i = 0; i < packets.size(); ++i)
        if (packets[i].key && std::fabs(packets[i].pts - plan.copyFrom) < 0.0005)
            run = CopyableRun(packets, i, end);
    if (run.packets == 0 || run.until <= plan.copyFrom + 0.0005) plan.fullEncode = true;
    else plan.copyTo = run.until;
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
