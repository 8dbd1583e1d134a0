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

int64_t SliderMaxFor(const std::string& inputExt, int64_t clipDuration) {
    return inputExt.find("wmv") != std::string::npos ? 99 : clipDuration;
}

std::string SeekCommand(int64_t value, const std::string& seekType) {
    return "seek " + std::to_string(value) + seekType;
}

std::string StatusLineSecondsText(const std::string& statusLine) {
    const size_t colon = statusLine.rfind(':');
    std::string text = Trim(colon == std::string::npos ? statusLine : statusLine.substr(colon + 1));
    const size_t dot = text.find('.');
    if (dot != std::string::npos) text = Trim(text.substr(0, dot + 3));
    return text;
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

std::string PositionText(const PositionInput& in, double& seconds, bool end) {
    if (in.sliderValue <= 0) return "0:00:00.000";
    StatusLineSeconds(in.lastStatusLine, seconds);
    std::string text;
    if (end)
        text = FormatSecondsMs(seconds + 0.6);
    else if (MatchesPattern(in.inputExt, "(?i)flv|wmv|asf") && !in.flvCanSeek)
        text = FormatSecondsMs(seconds - 0.07);
    else
        text = FormatSecondsMs(seconds - 0.007);
    if (in.sliderValue > 60 && ParseTimeSeconds(Trim(text)) < 10) text = in.durationText + ".000";
    return text;
}

} // namespace

std::string StartPositionText(const PositionInput& in, double& seconds) {
    return PositionText(in, seconds, false);
}

std::string EndPositionText(const PositionInput& in, double& seconds) {
    return PositionText(in, seconds, true);
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
