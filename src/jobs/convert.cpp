#include "jobs/convert.h"

#include "common/command_line.h"
#include "common/helpers.h"
#include "common/pattern.h"
#include "jobs/device_presets.h"

#include <algorithm>

namespace trimora {

const std::vector<std::string>& ConvertTypeItems() {
    static const std::vector<std::string> items = [] {
        std::vector<std::string> v = {".avi", ".asf", ".flv", ".mkv", ".mpg",  ".mpeg",
                                      ".wmv", ".mov", ".mp4", ".m4v", ".3gp", ".webm"};
        for (const auto& device : DeviceItems()) v.push_back(device);
        return v;
    }();
    return items;
}

const std::vector<std::string>& QualityItems() {
    static const std::vector<std::string> items = {
        "Fair            (Smallest Filesize)", "Average         (Smaller Filesize)",
        "High            (Average Filesize)",  "Higher          (Bigger Filesize)",
        "Best            (Bigger Filesize)"};
    return items;
}

const std::vector<std::string>& FramePresetItems() {
    static const std::vector<std::string> items = {
        "102x80",   "112x64",       "128x96",
        "128x128",  "128x141",      "128x160",
        "150x100",  "176x220",      "Same as original",
        "240x320",  "240x400",      "240x427",
        "320x200",  "320x240",      "352x288",
        "360x480",  "480x360",      "480x800",
        "480x854",  "480x864",      "640x480",
        "704x576",  "768x432",      "800x480",
        "800x600",  "852x480",      "1024x576",
        "1024x768", "1280x720",     "1280x800",
        "1280x1024", "1366x768",    "1408x1152",
        "1600x1200", "1600x1024",   "1920x1080",
        "1920x1200", "2048x1536",   "2560x1600",
        "2560x2048", "(Note: You can type in your ", "own Frame size using the ",
        "exact syntax as seen above.  ", "Use even numbers only !)"};
    return items;
}

const std::vector<std::string>& IncludeSoundItems() {
    static const std::vector<std::string> items = {"Included", "No Sound"};
    return items;
}

const std::vector<std::string>& VolumeItems() {
    static const std::vector<std::string> items = {"1 (No gain)", "2 (100% gain)",
                                                   "3 (200% gain)", "4 (300% gain)"};
    return items;
}

bool IsDeviceItem(const std::string& convertType) {
    return convertType.find("(Device)") != std::string::npos;
}

bool IsMencoderFormat(const std::string& outputExt) {
    return MatchesPattern(outputExt, "(?i).asf|.wmv");
}

std::string GainPieceFor(int index, const std::string& previous) {
    if (index < 1) return " ";
    switch (index) {
    case 1: return " -vol 512 ";
    case 2: return " -vol 768 ";
    case 3: return " -vol 1024 ";
    default: return previous;
    }
}

namespace {

const char* const kVideoCodecPiece = " -vcodec libx264 -vpre veryfast_firstpass ";

void ApplyQuality(const std::string& quality, TConvertPieces& p) {
    struct Rule {
        const char* pattern;
        const char* crf;
        const char* qscale;
        const char* bitrate;
    };
    // Tested in this order; every match overwrites, so "Higher" (which also matches "High")
    // and "High (Average Filesize)" (which also matches "Average") end on their own values.
    static const Rule rules[] = {{"(?i)Fair", " -crf 26 ", " -qscale 8 ", "1500"},
                                 {"(?i)Average", " -crf 24 ", " -qscale 6 ", "2000"},
                                 {"(?i)High", " -crf 22 ", " -qscale 4 ", "2800"},
                                 {"(?i)Higher", " -crf 20 ", " -qscale 3 ", "3500"},
                                 {"(?i)Best", " -crf 18 ", " -qscale 3 ", "4800"}};
    auto set = [&p](const char* crf, const char* qscale, const char* bitrate) {
        p.VideoCodecPiece = kVideoCodecPiece;
        p.CrfPiece = crf;
        p.QscalePiece = qscale;
        p.MencoderBitrate = bitrate;
    };
    for (const auto& rule : rules)
        if (MatchesPattern(quality, rule.pattern)) set(rule.crf, rule.qscale, rule.bitrate);
    if (quality.find("Filesize") == std::string::npos) set(" -crf 18 ", " -qscale 3 ", "4800");
}

void ApplyAudioRule(const std::string& outputExt, const TStoreInfo& info, TConvertPieces& p) {
    const std::string rateBitrateVolume =
        info.AudioRateOption + info.AudioBitrateOption + p.VolumePiece;
    struct Rule {
        const char* pattern;
        std::string piece;
    };
    // The last matching rule wins; "." in the patterns matches any character.
    const Rule rules[] = {
        {"(?i).3gp|.ram|.rmvb|.rm|.rv", " -acodec aac -ac 2 " + rateBitrateVolume},
        {"(?i).avi", " -acodec libmp3lame -ac 2 " + rateBitrateVolume},
        {"(?i).vob|.mkv", " -acodec aac -ac 2 " + rateBitrateVolume},
        {"(?i).mpg|.mpeg", " -acodec libmp3lame -ac 2 " + rateBitrateVolume},
        {"(?i).asf|.wmv", " -acodec wmav2 -ac 2 " + rateBitrateVolume},
        {"(?i).m4v|.mp4|.mov", " -acodec aac -ac 2 " + rateBitrateVolume},
        {"(?i).flv", " -acodec aac -ac 2 -ar 44100 " + info.AudioBitrateOption + p.VolumePiece},
    };
    for (const auto& rule : rules)
        if (MatchesPattern(outputExt, rule.pattern)) p.AudioRulePiece = rule.piece;
}

// A frame size the encoder can take: even width and height of at least 2 pixels.
bool IsUsableFrameSize(const std::string& size) {
    const size_t x = size.find('x');
    if (x == std::string::npos) return false;
    const std::string w = size.substr(0, x), h = size.substr(x + 1);
    return IsAllDigits(w) && IsAllDigits(h) && StrToIntOrZero(w) >= 2 && StrToIntOrZero(h) >= 2;
}

void SetSizePieces(const std::string& size, TConvertPieces& p) {
    std::string scale = size;
    std::replace(scale.begin(), scale.end(), 'x', ':');
    p.SizePiece = " -s " + size + " ";
    p.ScalePiece = " -vf scale=" + scale + " ";
}

void ApplyFrameSize(const std::string& preset, const TStoreInfo& info, TConvertPieces& p) {
    const std::string clipSize = EvenFrameSize(info.FrameSize);
    if (preset.find("Same as") == std::string::npos) {
        // A typed or chosen text that is no usable size (the note lines of the list, "abc")
        // keeps the size of the previous build rather than handing "-s" a broken value.
        const std::string size = EvenFrameSize(Trim(preset));
        if (!IsUsableFrameSize(size)) return;
        SetSizePieces(size, p);
        p.FrameSizeLabel = TextAfter(p.SizePiece, "-s") + " ";
        return;
    }
    if (clipSize.find('x') != std::string::npos) {
        SetSizePieces(clipSize, p);
    } else {
        p.SizePiece.clear();
        p.ScalePiece.clear();
    }
    p.FrameSizeLabel = clipSize + " ";
}

} // namespace

std::string BuildConvertOptions(const TConvertOptions& options, const TStoreInfo& info,
                                TConvertPieces& p) {
    p.OutputExt = options.ConvertType.size() < 2 ? ".avi" : options.ConvertType;
    ApplyQuality(options.Quality, p);
    p.VolumePiece = GainPieceFor(options.VolumeIndex, p.VolumePiece);
    ApplyAudioRule(p.OutputExt, info, p);

    const bool withSound = options.IncludeSoundIndex <= 0;
    p.AudioPiece = withSound ? p.AudioRulePiece + " " : " -an ";
    if (info.NoAudio) p.AudioPiece = " -an ";

    ApplyFrameSize(options.FramePreset, info, p);

    const std::string& ext = p.OutputExt;
    if (MatchesPattern(ext, "(?i).webm")) {
        // Its audio options are fixed, but "No Sound" still means no sound.
        p.ConvertFragment =
            p.SizePiece +
            (withSound ? " -vcodec libvpx -acodec libvorbis -ab 128k -ac 2 -ar 44100 "
                       : " -vcodec libvpx -an ") +
            p.QscalePiece;
    } else if (IsMencoderFormat(ext)) {
        const std::string video =
            p.ScalePiece + " -ovc lavc -lavcopts vcodec=mpeg4:vbitrate=" + p.MencoderBitrate;
        p.ConvertFragment =
            withSound ? video + ":threads=8 -oac lavc -lavcopts acodec=wmav2:abitrate=128 "
                                "-srate 44100 "
                      : video + ":threads=8 -nosound ";
    } else if (MatchesPattern(ext, "(?i).vob")) {
        p.ConvertFragment = p.SizePiece + " -vcodec mpeg2video " + p.AudioPiece + p.QscalePiece;
    } else {
        p.ConvertFragment = p.AudioPiece + p.SizePiece + p.VideoCodecPiece + p.CrfPiece;
    }
    return p.ConvertFragment;
}

std::string BuildConvertFragment(const TConvertOptions& options, const TStoreInfo& info,
                                 TConvertPieces& pieces) {
    return IsDeviceItem(options.ConvertType) ? BuildDeviceOptions(options, info, pieces)
                                             : BuildConvertOptions(options, info, pieces);
}

std::string BuildConvertCommand(const TConvertCommandInputs& in, TConvertPieces& p) {
    const std::string input = QuoteArgText(in.InputFile);
    const std::string output = QuoteArgText(in.OutputFile);
    if (IsMencoderFormat(p.OutputExt)) {
        p.ConvertCommand = in.MencoderCommand;
        if (in.Partial) p.ConvertCommand += in.EdlPiece + in.EndPosPiece;
        p.ConvertCommand +=
            " \"" + input + "\" " + p.ConvertFragment + " -o \"" + output + "\"";
        return p.ConvertCommand;
    }
    const std::string head = in.FfmpegCommand + in.ThreadsOption;
    if (in.Partial)
        p.ConvertCommand = head + " " + in.SeekArgs + " -async 1 -i \"" + input + "\" ";
    else
        p.ConvertCommand = head + " -i \"" + input + "\" ";
    p.ConvertCommand += p.ConvertFragment + " -y \"" + output + "\"";
    return p.ConvertCommand;
}

} // namespace trimora
