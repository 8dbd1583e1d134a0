#include "jobs/device_presets.h"

#include "common/helpers.h"
#include "common/pattern.h"

namespace trimora {

namespace {
const char* const kAppleAudio = " -acodec aac -ab 128k -ac 2 -ar 44100 ";
const char* const kMp3Audio = " -acodec libmp3lame -ab 128k -ac 2 -ar 44100 ";
} // namespace

const std::vector<TDevicePreset>& DevicePresets() {
    static const std::vector<TDevicePreset> rows = {
        {"iPad - HiResolution", "_iPad_HiRes.m4v", " -s 1280x720 ", kAppleAudio},
        {"iPad - LoResolution", "_iPad_LoRes.m4v", " -s 640x360 ", kAppleAudio},
        {"iPod - HiResolution", "_iPodHiRes.m4v", " -s 640x480 ", kAppleAudio},
        {"iPod - LoResolution", "_iPodLoRes.m4v", " -s 320x240 ", kAppleAudio},
        {"iPhone - HiResolution", "_iPhone.m4v", " -s 480x360 ", kAppleAudio},
        {"iPhone - LoResolution", "_iPhone.m4v", " -s 320x240 ", kAppleAudio},
        {"Android - Small Screen", "_DroidSmall.mp4", " -s 320x240 ", kMp3Audio},
        {"Android - Mid Screen", "_DroidMid.mp4", " -s 480x320 ", kMp3Audio},
        {"Android - Large Screen", "_DroidLarge.mp4", " -s 854x480 ", kMp3Audio},
        {"Blackberry - Small Screen", "_BlackberrySmall.mp4", " -s 260x240 ", kMp3Audio},
        {"Blackberry - Mid Screen", "_BlackberryMid.mp4", " -s 320x240 ", kMp3Audio},
    };
    return rows;
}

const std::vector<std::string>& DeviceItems() {
    static const std::vector<std::string> items = {
        "(Device) Android - Small Screen",    "(Device) Android - Mid Screen",
        "(Device) Android - Large Screen",    "(Device) Blackberry - Small Screen",
        "(Device) Blackberry - Mid Screen",   "(Device) iPad - LoResolution",
        "(Device) iPad - HiResolution",       "(Device) iPod - LoResolution",
        "(Device) iPod - HiResolution",       "(Device) iPhone - LoResolution",
        "(Device) iPhone - HiResolution"};
    return items;
}

std::string BuildDeviceOptions(const TConvertOptions& options, const TStoreInfo& info,
                               TConvertPieces& p) {
    for (const auto& row : DevicePresets()) {
        if (options.ConvertType.find(row.ItemText) == std::string::npos) continue;
        p.OutputExt = row.Suffix;
        p.SizePiece = row.SizePiece;
        p.DeviceAudioPiece = row.AudioPiece;
    }
    std::string label = p.SizePiece;
    if (const size_t at = label.find("-s"); at != std::string::npos) label.erase(at, 2);
    p.FrameSizeLabel = Trim(label);

    // As for the formats, but without the qscale and mencoder values; the last match wins and
    // a text without "Filesize" gives the "High" value here.
    const std::string& quality = options.Quality;
    struct Rule {
        const char* pattern;
        const char* crf;
    };
    static const Rule rules[] = {{"(?i)Fair", " -crf 26 "},
                                 {"(?i)Average", " -crf 24 "},
                                 {"(?i)High", " -crf 22 "},
                                 {"(?i)Higher", " -crf 20 "},
                                 {"(?i)Best", " -crf 18 "}};
    for (const auto& rule : rules) {
        if (!MatchesPattern(quality, rule.pattern)) continue;
        p.VideoCodecPiece = " -vcodec libx264 -vpre veryfast_firstpass ";
        p.CrfPiece = rule.crf;
    }
    if (quality.find("Filesize") == std::string::npos) {
        p.VideoCodecPiece = " -vcodec libx264 -vpre veryfast_firstpass ";
        p.CrfPiece = " -crf 22 ";
    }

    p.VolumePiece = GainPieceFor(options.VolumeIndex, p.VolumePiece);
    p.AudioPiece = options.IncludeSoundIndex <= 0 ? p.DeviceAudioPiece + p.VolumePiece : " -an ";
    if (info.NoAudio) p.AudioPiece = " -an ";

    p.ConvertFragment = p.AudioPiece + p.SizePiece + p.VideoCodecPiece + p.CrfPiece;
    return p.ConvertFragment;
}

} // namespace trimora
