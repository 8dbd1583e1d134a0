#include "jobs/audio.h"

#include "common/command_line.h"
#include "common/helpers.h"
#include "common/pattern.h"
#include "jobs/convert.h"
#include "jobs/output_list.h"

namespace trimora {

const std::vector<std::string>& AudioTypeItems() {
    static const std::vector<std::string> items = {".aac", ".m4a", ".mp3",
                                                   ".ogg", ".wma", ".wav"};
    return items;
}

const std::vector<std::string>& ExtractVolumeItems() { return VolumeItems(); }

std::string AudioCodecFor(const std::string& ext) {
    // The first match applies; "aac$|m4a$" covers both AAC containers.
    static const std::pair<const char*, const char*> rules[] = {
        {"(?i)aac$|m4a$", " -acodec aac -ar 44100 -ac 2 "},
        {"(?i)mp3$", " -acodec libmp3lame -ab 128k -ac 2 "},
        {"(?i)ogg$", " -acodec vorbis -aq 100 "},
        {"(?i)wma$", " -acodec wmav2 -ab 128k -ac 2 "},
        {"(?i)wav$", " -acodec pcm_s16le -ar 44100 -ac 2 "},
    };
    for (const auto& [pattern, piece] : rules)
        if (MatchesPattern(ext, pattern)) return piece;
    return "";
}

std::string NormalizedAudioType(const std::string& audioType) {
    std::string ext = Trim(audioType);
    if (ext.empty()) ext = ".mp3";
    if (ext.front() != '.') ext.insert(0, ".");
    return ext;
}

std::string BuildAudioCommand(const TAudioOptions& options, const TAudioCommandInputs& in,
                              TAudioPieces& p) {
    p.AudioOutExt = options.AudioType.empty() ? "mp3" : options.AudioType;
    p.AudioGainPiece = GainPieceFor(options.VolumeIndex, p.AudioGainPiece);
    p.AudioCodecPiece = AudioCodecFor(p.AudioOutExt) + p.AudioGainPiece;
    p.AudioOutput = !in.ReservedOutput.empty()
                        ? in.ReservedOutput
                        : AudioOutputName(WithSlash(in.SaveConvertFolder), in.InputFile,
                                          NormalizedAudioType(options.AudioType));
    p.AudioCommand = in.FfmpegCommand + in.SeekArgs + " -i \"" + QuoteArgText(in.InputFile) +
                     "\" -vn -sn " + p.AudioCodecPiece + " -y \"" +
                     QuoteArgText(in.ToolOutput.empty() ? p.AudioOutput : in.ToolOutput) + "\"";
    return p.AudioCommand;
}

} // namespace trimora
