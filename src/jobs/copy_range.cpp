#include "jobs/copy_range.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/helpers.h"
#include "common/pattern.h"
#include "media/keyframes.h"

namespace trimora {

int64_t CopyCutSeconds(double start, double end) {
    const int64_t whole = static_cast<int64_t>(std::floor(end)) -
                          static_cast<int64_t>(std::floor(start));
    const int64_t reach = static_cast<int64_t>(std::ceil(end - start - 0.0005));
    return std::max(whole, reach);
}

TCopyRange PredictCopyRange(const std::string& ext, const std::vector<double>& keyframes,
                            double start, double end, double clipLength, double frameSeconds) {
    TCopyRange r;
    const bool mp4 = ext == ".mp4" || ext == ".m4v" || ext == ".mov";
    const bool mkv = ext == ".mkv";
    const bool fromKeyframe = MatchesPattern(ext, "^\\.(avi|divx|flv|webm|m2ts|wmv|asf)$");
    if (keyframes.empty() || end <= start || (clipLength > 0 && start >= clipLength) ||
        !(mp4 || mkv || fromKeyframe))
        return r;
    r.Known = true;
    const double asked = start + static_cast<double>(CopyCutSeconds(start, end));
    r.End = clipLength > 0 ? std::min(asked, clipLength) : asked;
    if (mkv) {
        r.Keyframe = KeyframeAtOrBefore(keyframes, start + frameSeconds * 0.9);
        r.Start = r.Keyframe;
        const double after = KeyframeAtOrAfter(keyframes, end);
        r.End = after >= 0 ? after : (clipLength > 0 ? clipLength : asked);
        if (clipLength > 0) r.End = std::min(r.End, clipLength);
        return r;
    }
    r.Keyframe = KeyframeAtOrBefore(keyframes, start);
    r.LeadHidden = mp4 && r.Keyframe < start - 0.0005;
    r.Start = mp4 ? start : r.Keyframe;
    return r;
}

namespace {

std::string Tenths(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", std::fabs(seconds));
    return text;
}

// "3.4 s before the chosen start", "the chosen start".
std::string Against(double at, double chosen, const std::string& what) {
    const double d = at - chosen;
    if (std::fabs(d) < 0.05) return "at the chosen " + what;
    return Tenths(d) + " s " + (d < 0 ? "before" : "after") + " the chosen " + what;
}

} // namespace

std::string DescribeCopyRange(const TCopyRange& r, double start, double end) {
    if (!r.Known) return "";
    std::string text = "copy " + FormatSecondsMs(r.Start) + " to " + FormatSecondsMs(r.End) +
                       " (" + Tenths(r.Length()) + " s): ";
    if (r.LeadHidden)
        text += "plays from the chosen start; the file also holds the " +
                Tenths(start - r.Keyframe) + " s from keyframe " + FormatSecondsMs(r.Keyframe) +
                ", hidden by its edit list";
    else
        text += "starts at keyframe " + FormatSecondsMs(r.Keyframe) + ", " +
                Against(r.Start, start, "start");
    return text + "; ends " + Against(r.End, end, "end");
}

} // namespace trimora
