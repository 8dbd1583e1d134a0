#include <charconv>

#include "common/helpers.h"
#include "common/pattern.h"
#include "media/store_info.h"

namespace trimora {

namespace {

const char* const kCrLf = "\r\n";

std::string Fixed3(double value) {
    // Independent of the user's locale: always a point.
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 3);
    return res.ec == std::errc() ? std::string(buf, res.ptr) : std::string();
}

bool Contains(const std::string& s, const std::string& what) {
    return s.find(what) != std::string::npos;
}

// A duration line the rest of the parse can read: it holds the pieces that end the duration.
bool IsReadableDurationLine(const std::string& line) {
    return FindNoCase(line, ", start") != std::string::npos ||
           FindNoCase(line, ", bitrate") != std::string::npos;
}

// The tool's echo of the input, "Input #0, avi, from '<path>':", holds the user's file name,
// which may hold any of the texts the scan looks for ("Audio:", "Invalid data found", ...).
// A name must never change what is learnt about the clip, so that line is not scanned.
bool IsInputEchoLine(const std::string& line) {
    return Trim(line).rfind("Input #", 0) == 0;
}

} // namespace

TClipReportResult ParseClipReport(const std::vector<std::string>& lines,
                                  const TClipReportInputs& inputs, TStoreInfo& info) {
    TClipReportResult result;
    const bool onInput = inputs.Page == TSourcePage::Input && inputs.HasSelectedItem;
    const bool onJoin = inputs.Page == TSourcePage::InputJoin && inputs.HasSelectedItem;

    info.Interleaved = false;
    info.FlvCanSeek = false;
    info.FlvHasKeyframes = false;
    std::string flvNote = "sFLVcanseek =False -need Re-Index";
    std::string interleaveNote;

    for (const std::string& line : lines) {
        if (IsInputEchoLine(line)) continue;
        if (Contains(line, "Invalid data found")) {
            info.BadFile = true;
            result.BadFile = true;
            if (onInput) result.InputSubItems = {"Bad File!", "N/A"};
            if (onJoin) result.JoinSubItems = {"Bad File!", "N/A"};
            return result;
        }
    }

    // Later matches replace earlier ones. Stream tags such as Matroska's "DURATION : ..." also
    // match the duration test but hold no readable duration; they must not replace the
    // container's "Duration: ..., start: ..., bitrate: ..." line read before them.
    std::string durationLine, readableDurationLine, videoLine, audioLine;
    const bool isFlv = inputs.InputExt == ".flv";
    for (const std::string& line : lines) {
        if (IsInputEchoLine(line)) continue;
        if (MatchesPattern(Trim(line), "(?i)^Duration|ation:")) {
            durationLine = line;
            if (IsReadableDurationLine(line)) readableDurationLine = line;
        }
        if (ContainsNoCase(line, "v420p")) videoLine = line;
        if (ContainsNoCase(line, "Audio:")) audioLine = line;
        if (ContainsNoCase(line, "monotone")) {
            info.Interleaved = true;
            interleaveNote = " - Interleaved file ";
        }
        if (isFlv) {
            if (ContainsNoCase(line, "canseekontime")) {
                info.FlvCanSeek = true;
                flvNote = "FLV - canseekontime   : true - no need to re-index";
            }
            if (ContainsNoCase(line, "hasKeyframes")) {
                info.FlvHasKeyframes = true;
                flvNote = "hasKeyframes - " + flvNote;
            }
        }
    }
    if (!readableDurationLine.empty()) durationLine = readableDurationLine;

    // Video codec: 'Stream #0.0: Video: h264, yuv420p, ...' -> 'h264'.
    const std::string videoCodec =
        TextAfterLast(TextUpToLast(TextBefore(videoLine, "v420p"), ',', false), ':', false);

    if (audioLine.size() > 5) {
        const std::string head = TextAfter(audioLine, "Audio:").substr(0, 11);
        info.CodecSummary = videoCodec + " - " + TextUpToLast(head, ',', false) + " - ";
    } else {
        info.CodecSummary = videoCodec + " - NoAudio - ";
    }

    std::string bitrate = TextAfterLast(durationLine, ':', false);
    if (!ContainsNoCase(bitrate, "kb")) bitrate = "5080 kb/s";
    info.BitrateKbps = static_cast<int32_t>(StrToIntOrZero(TextBefore(bitrate, "kb")));
    info.BitrateText = std::to_string(info.BitrateKbps);

    std::string duration = TextBefore(durationLine, ", start");
    if (duration.empty()) duration = TextBefore(durationLine, ", bitrate");
    info.DurationText = TextBefore(TextAfter(duration, "ation:"), ".");
    if (info.DurationText.empty()) info.DurationText = "00:30:00";
    info.ClipDuration = ParseTimeSeconds(Trim(info.DurationText));
    info.DurationSeconds = ParseTimeSecondsFrac(Trim(TextAfter(duration, "ation:")));
    if (info.DurationSeconds < static_cast<double>(info.ClipDuration))
        info.DurationSeconds = static_cast<double>(info.ClipDuration);

    result.SetSliderMax = true;
    result.SliderMax = Contains(inputs.InputExt, "wmv") ? 99 : info.ClipDuration;

    std::string frame = TextAfter(videoLine, "v420p,");
    if (!Contains(frame, "x")) {
        const std::string bgr = TextAfter(videoLine, "bgr24,");
        if (!bgr.empty()) frame = bgr;
    }
    frame = TextBefore(frame, ",");
    if (frame.size() > 10) frame = TextBefore(frame, "[");
    info.FrameSize = frame;

    const int64_t width = StrToIntOrZero(TextBefore(info.FrameSize, "x"));
    const int64_t height = StrToIntOrZero(TextAfter(info.FrameSize, "x"));
    // Without a frame size there is no ratio; an old clip's ratio would be wrong here.
    info.AspectText = height != 0 ? Fixed3(static_cast<double>(width) / static_cast<double>(height))
                                  : std::string();

    std::string fps = TextBefore(videoLine, "tbr");
    if (fps.empty()) fps = TextBefore(videoLine, "tbc");
    info.FpsText = TextAfterLast(fps, ',', false);

    info.NoAudio = true;
    std::string banner = std::string(16, '=') + "NO AUDIO" + std::string(12, '=') + kCrLf;
    if (audioLine.size() > 10) {
        info.NoAudio = false;
        banner.clear();

        std::string abText = TextAfterLast(audioLine, ',', false);
        if (!ContainsNoCase(abText, "kb")) abText = "192 kb/s";
        abText = TextBefore(abText, "kb");
        int64_t ab = abText.size() < 2 ? 192 : StrToIntOrZero(abText);
        if (ab > 192) ab = 192;
        info.AudioBitrateKbps = static_cast<int32_t>(ab);
        info.AudioBitrateOption = " -ab " + std::to_string(ab) + "k ";

        std::string rateText = audioLine;
        const size_t comma = rateText.find(',');
        if (comma != std::string::npos) rateText.erase(0, comma + 1);
        rateText = TextBefore(rateText, "H");
        int64_t rate = rateText.size() < 2 ? 44100 : StrToIntOrZero(rateText);
        if (rate < 41000) rate = 44100;
        info.AudioRateHz = static_cast<int32_t>(rate);
        info.AudioRateOption = " -ar " + std::to_string(rate) + " ";
    } else {
        info.AudioBitrateOption = " ";
        info.AudioRateOption = " ";
    }

    result.SetTotalTime = true;
    result.TotalTimeText = info.DurationText;

    if (inputs.DesignMode && inputs.ClipChosenInLvInput) {
        result.SummaryText =
            std::string(kCrLf) + "Summary" + std::string(57, '-') + kCrLf + banner +
            interleaveNote + flvNote + kCrLf + "[Video bitrate=" + info.BitrateText +
            "] [fps=" + info.FpsText + "] [frame size=" + info.FrameSize +
            "] [Audio bitrate=" + info.AudioBitrateOption +
            "] [Audio Freg=" + info.AudioRateOption + kCrLf + "] [AspectRatio=" + info.AspectText +
            "] [Clip Duration=" + info.DurationText + "]" + kCrLf +
            "StartSlider.MaxValue = " + std::to_string(result.SliderMax);
    }

    const bool noFrame = info.FrameSize.size() < 2;
    if (onInput)
        result.InputSubItems = noFrame
                                   ? std::vector<std::string>{"N/A", "Invalid data found"}
                                   : std::vector<std::string>{info.FrameSize, info.DurationText};
    if (onJoin)
        result.JoinSubItems = noFrame
                                  ? std::vector<std::string>{"N/A", "N/A", "Invalid data found"}
                                  : std::vector<std::string>{info.FrameSize, info.FpsText,
                                                             info.CodecSummary + info.DurationText};

    if (inputs.JoinMode) {
        result.Refresh = TClipRefresh::JoinRow;
    } else {
        if (inputs.SoundOnly)
            result.Refresh = TClipRefresh::SoundOnly;
        else if (inputs.ConvertMode)
            result.Refresh = TClipRefresh::Convert;
        else
            result.Refresh = TClipRefresh::Cut;
        result.ResetPreviews = true;
    }
    return result;
}

std::vector<std::pair<std::string, std::string>> StoreInfoFields(const TStoreInfo& info) {
    auto flag = [](bool b) { return std::string(b ? "true" : "false"); };
    return {
        {"DurationText", info.DurationText},
        {"ClipDuration", std::to_string(info.ClipDuration)},
        {"BitrateText", info.BitrateText},
        {"BitrateKbps", std::to_string(info.BitrateKbps)},
        {"FrameSize", info.FrameSize},
        {"AspectText", info.AspectText},
        {"FpsText", info.FpsText},
        {"CodecSummary", info.CodecSummary},
        {"AudioBitrateKbps", std::to_string(info.AudioBitrateKbps)},
        {"AudioRateHz", std::to_string(info.AudioRateHz)},
        {"AudioBitrateOption", info.AudioBitrateOption},
        {"AudioRateOption", info.AudioRateOption},
        {"NoAudio", flag(info.NoAudio)},
        {"BadFile", flag(info.BadFile)},
        {"FlvCanSeek", flag(info.FlvCanSeek)},
        {"FlvHasKeyframes", flag(info.FlvHasKeyframes)},
        {"Interleaved", flag(info.Interleaved)},
    };
}

} // namespace trimora
