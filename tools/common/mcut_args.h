#pragma once
// mcut.exe's reading of a mencoder command line, and its translation into ffmpeg arguments.
// mencoder is not asked to do the work: Debian's build writes AVI into a .wmv name and loses
// most of the audio of a wmav2 cut, so the options are carried over to ffmpeg.

#include "mcut_media.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace trimora::mtools {

struct McutOptions {
    std::vector<std::string> inputs;
    std::string output;
    std::string edlFile;
    std::optional<double> seekStart;    // -ss
    std::optional<double> endposLength; // -endpos as a time: length of the output
    std::optional<int64_t> endposBytes; // -endpos as a size
    std::string ovc, oac;               // empty when not given
    std::vector<std::pair<std::string, std::string>> lavcopts; // merged over every -lavcopts
    std::vector<std::pair<std::string, std::string>> lameopts;
    int srate = 0;
    bool nosound = false;
    int scaleWidth = 0, scaleHeight = 0; // from -vf scale=W:H (0: keep)
    std::vector<std::string> ignored;    // accepted options that change nothing here
};

struct McutParse {
    bool ok = false;
    std::string error;
    McutOptions options;
};

// Reads the arguments that follow the program name (the leading "-cb qzv" already dropped).
McutParse ParseMcutArgs(const std::vector<std::string>& args);

// mencoder's time texts: [[hh:]mm:]ss[.fff]. Empty when the text is none.
std::optional<double> ParseMencoderTime(const std::string& text);
// Sizes of -endpos: "10mb", "500kb", "1000b".
std::optional<int64_t> ParseMencoderSize(const std::string& text);

// The stretch of the source that the output holds: [start, end), end < 0 meaning "to the end".
struct KeptRange {
    double start = 0;
    double end = -1;
};

// Reads an edit list ("start end action" lines, action 0 skips the stretch) and applies -ss and
// -endpos to the source timeline. Only one kept stretch can be written by stream copy in one
// go; an edit list that keeps two separate stretches is refused.
bool ResolveRange(const std::string& edlText, const McutOptions& options, KeptRange* range,
                  std::string* error);

// lavcopts value by key ("" when absent).
std::string LavcOption(const McutOptions& options, const std::string& key);

// The audio and video options for ffmpeg (codec, bitrate, sample rate, channels, scale).
// source describes the (first) input; the join decides video copy itself.
std::vector<std::string> VideoCodecArgs(const McutOptions& options, bool copy);
std::vector<std::string> AudioCodecArgs(const McutOptions& options, const MediaInfo& source);
// ffmpeg encoder of a lavc codec name ("mp3" -> "libmp3lame", "wmav2" -> "wmav2").
std::string FfmpegEncoderOf(const std::string& lavcName);
// Sample rate the output audio gets: -srate, else the source's, else 44100.
int OutputSampleRate(const McutOptions& options, const MediaInfo& source);

// Single input (cut, convert, the join's normalising clip): the whole ffmpeg argument vector.
// keyframeStart is where a copied video may start (the last keyframe at or before range.start),
// ignored when the video is encoded.
std::vector<std::string> BuildSingleRun(const McutOptions& options, const MediaInfo& source,
                                        const KeptRange& range, double keyframeStart);

// Several inputs joined one after the other. lengths are the play lengths of the inputs;
// copyVideo says whether their pictures are copied; concatList is then the concat-demuxer list
// of the pictures (the inputs, or clips fitted to the others); the sound is always read from
// the inputs themselves.
std::vector<std::string> BuildJoinRun(const McutOptions& options,
                                      const std::vector<MediaInfo>& sources,
                                      const std::vector<double>& lengths, bool copyVideo,
                                      const std::string& concatList);
// Whether b's pictures can follow a's in one copied stream (codec, frame size, frame rate).
bool SamePictures(const StreamInfo& a, const StreamInfo& b, std::string* why);
// The clip whose pictures the others are fitted to for a copied join: the longest one.
size_t ReferenceClip(const std::vector<MediaInfo>& sources, const std::vector<double>& lengths);
// Whether ffmpeg can encode pictures in this codec (so that a clip can be fitted to it).
bool IsLavcVideoEncoder(const std::string& codec);
// Re-encodes the pictures of input like the reference (codec, size, rate) into target, in the
// container of the join's output (its time base is the one the copied stream keeps).
std::vector<std::string> BuildFitRun(const std::string& input, const StreamInfo& reference,
                                     const std::string& target, const std::string& muxer);

// The progress text the program reads: "Pos: <seconds>s <frames>f (<percent>%) =<percent>".
std::string PosChunk(double seconds, int64_t frames, int percent);

} // namespace trimora::mtools
