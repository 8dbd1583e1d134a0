#pragma once
// fcut.exe accepts the encoder command lines the program composes, which were written for an old
// ffmpeg. PlanFcut reads such a command line and says what to do with it: print the stream
// report of the inputs (no output file named), or run today's ffmpeg with the legacy options
// translated. Pure: no process is started here.

#include <optional>
#include <string>
#include <vector>

namespace trimora::fcut {

struct FcutPlan {
    bool probe = false;              // no output file: print the classic stream report
    std::vector<std::string> inputs; // the -i values, in order
    std::string output;              // output path (empty for a probe)
    std::string muxer;               // ffmpeg muxer the output goes through ("mp4", "avi", ...)
    std::vector<std::string> ffmpegArgs; // arguments for ffmpeg (without the program name)
    std::vector<std::string> notes;  // substitutions the user should hear about
    std::optional<double> inputSeek; // -ss given before the first input
    std::optional<double> duration;  // -t, anywhere
    std::string error;               // a command line that cannot be run
    bool videoCopy = false;          // the video stream is copied, not encoded
    int seekValueIndex = -1;         // index in ffmpegArgs of the input -ss value, or -1
    int durationValueIndex = -1;     // index in ffmpegArgs of the input -t value, or -1
};

// args: the front-end's arguments without the program name; a leading "-cb" is allowed.
FcutPlan PlanFcut(std::vector<std::string> args);

// Seconds of an ffmpeg time text ("83.5", "00:01:23.456", "1:23"); nullopt when unreadable.
std::optional<double> ParseFfmpegTime(const std::string& text);

// The muxer ffmpeg uses for an output extension (".divx" included, which ffmpeg does not know).
std::string MuxerForExtension(const std::string& lowerExt);

} // namespace trimora::fcut
