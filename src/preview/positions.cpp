#include "preview/positions.h"

#include "common/command_line.h"
#include "common/helpers.h"
#include "common/pattern.h"

#include <charconv>
#include <cmath>

namespace trimora {

std::string SeekTypeFor(const std::string& inputExt) {
    return inputExt.find(".wmv") != std::string::npos ? " 1" : " 2";
}

std::string SeekCommand(int64_t value, const std::string& seekType) {
    return "seek " + std::to_string(value) + seekType;
}

std::string StatusLineSecondsText(const std::string& statusLine) {
    const size_t colon = statusLine.rfind(':');
    std::string text = Trim(colon == std::string::npos ? statusLine : statusLine.substr(colon + 1));
    return text.substr(0, text.find(' '));
}

bool StatusLineSeconds(const std::string& statusLine, double& seconds) {
    const std::string text = StatusLineSecondsText(statusLine);
    double v = 0;
    const char* b = text.data();
    const char* e = b + text.size();
    auto res = std::from_chars(b, e, v);
    if (text.empty() || res.ec != std::errc() || res.ptr != e || !std::isfinite(v)) return false;
    seconds = v;
    return true;
}

namespace {

// The time of the frame the player shows. The last frame of the clip stands for the clip's end
// in the end box, so that a range up to the last frame holds that frame.
std::string PositionText(const PositionInput& in, double& seconds, bool end) {
    StatusLineSeconds(in.lastStatusLine, seconds);
    if (end && in.clipLength > 0) {
        const double frame = in.fps > 0 ? 1.0 / in.fps : 0.04;
        if (seconds >= in.clipLength - 1.5 * frame) return FormatSecondsMs(in.clipLength);
    }
    return FormatSecondsMs(seconds);
}

bool AllDigits(const std::string& s) {
    if (s.empty()) return false;
    for (const char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

} // namespace

std::string StartPositionText(const PositionInput& in, double& seconds) {
    return PositionText(in, seconds, false);
}

std::string EndPositionText(const PositionInput& in, double& seconds) {
    return PositionText(in, seconds, true);
}

bool ReadTypedTime(const std::string& text, double& seconds) {
    const std::string t = Trim(text);
    const size_t dot = t.find('.');
    const std::string whole = t.substr(0, dot);
    const std::string frac = dot == std::string::npos ? std::string() : t.substr(dot + 1);
    if (dot != std::string::npos && (!AllDigits(frac) || frac.size() > 6)) return false;
    double total = 0;
    size_t start = 0, fields = 0;
    for (;;) {
        const size_t colon = whole.find(':', start);
        const std::string field = whole.substr(start, colon == std::string::npos ? colon
                                                                                   : colon - start);
        if (!AllDigits(field) || field.size() > 9 || ++fields > 3) return false;
        // minutes and seconds fields after a colon stay below 60
        const double v = std::stod(field);
        if (fields > 1 && v >= 60) return false;
        total = total * 60 + v;
        if (colon == std::string::npos) break;
        start = colon + 1;
    }
    if (!frac.empty()) total += std::stod("0." + frac);
    seconds = total;
    return true;
}

std::string FrameTimeText(const std::string& editText) {
    bool plain = !editText.empty();
    int points = 0;
    for (const char c : editText) {
        if (c == '.')
            ++points;
        else if (c != ':' && (c < '0' || c > '9'))
            plain = false;
    }
    if (plain && points <= 1) return editText;
    return FormatSecondsMs(ParseTimeSecondsFrac(editText));
}

std::string SaveFrameImagePath(const std::string& saveImageFolder, const std::string& timeText) {
    std::string name;
    for (const char c : timeText)
        if (c != ':') name += c;
    return MakeUniqueFileName(saveImageFolder + name + ".jpg");
}

std::string SaveFrameCommand(const std::string& ffmpegCommand, const std::string& timeText,
                             const std::string& inputFile, const std::string& imagePath) {
    return ffmpegCommand + " -ss " + timeText + " -i " + Quoted(inputFile) +
           " -f image2 -vframes 1 -sameq " + Quoted(imagePath);
}

} // namespace trimora
