#pragma once
// Media helpers shared by mcut.exe, mmerge.exe and fmerge.exe: what ffprobe says about a clip,
// ffmpeg's machine-readable progress, a private scratch folder, concat lists that no file name
// can break, and the muxer that an output extension names.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace trimora::mtools {

struct StreamInfo {
    bool present = false;
    std::string codec; // ffprobe codec_name
    int width = 0, height = 0;
    double fps = 0;
    int sampleRate = 0, channels = 0;
    double duration = -1; // seconds, -1 when the container does not say
};

struct MediaInfo {
    bool ok = false;
    std::string error; // ffprobe's complaint when !ok
    std::string formatName;
    double duration = -1;
    double startTime = 0;
    StreamInfo video, audio; // the first stream of each kind
};

MediaInfo ParseProbeJson(const std::string& json);
MediaInfo ProbeMedia(const std::string& path);
// ProbeMedia and, from the same ffprobe run, the times of the keyframes of the first picture
// stream from `before` seconds ahead of t to one second after it (presentation time, else
// decoding time), in the order read. One tool start where two would read the same header.
MediaInfo ProbeMediaWithKeyframesNear(const std::string& path, double t, double before,
                                      std::vector<double>* keyframes);
// The length the clip's picture lasts: the video stream's duration, else the container's.
double PlayLength(const MediaInfo& info);

// Reads the key=value blocks of ffmpeg's -progress output. onTime gets the output time in
// seconds and the frame count of every block.
class ProgressReader {
  public:
    std::function<void(double seconds, int64_t frames)> onTime;
    void Feed(const std::string& chunk);

  private:
    std::string pending_;
    int64_t frames_ = 0;
    double seconds_ = 0;
};

// A private folder under $TMPDIR, removed with everything in it when the object goes.
class ScratchFolder {
  public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    bool Ok() const { return !path_.empty(); }
    const std::string& Path() const { return path_; } // ends with '/'

  private:
    std::string path_;
};

// Writes a concat-demuxer list into the scratch folder and returns its path (empty on failure).
// Each file is reached through a numbered symbolic link, so quotes, newlines or any other
// character of a user's file name never reach the list's syntax. A duration > 0 is written as
// the entry's duration, which places the next file exactly after it.
std::string WriteConcatList(const ScratchFolder& scratch, const std::vector<std::string>& files,
                            const std::vector<double>& durations = {});

// True while a process other than this one has the file open for writing.
bool HeldForWritingByOthers(const std::string& path);
// Waits (at most maxMs) until no other process writes the file; true when it is free.
bool WaitUntilWritten(const std::string& path, int maxMs);

// ffmpeg muxer name for an output path ("asf" for .wmv, "avi" for .divx, ...); empty lets
// ffmpeg choose by the extension itself.
std::string MuxerFor(const std::string& path);

// "12.345" with a point whatever the locale.
std::string SecondsArg(double seconds);

// Removes a file if it exists; errors are ignored (used to clear partial outputs).
void RemoveFile(const std::string& path);

// Runs ffmpeg with -progress on argv (which must not hold -progress itself) and calls onTime
// with the output time as it goes. Output lines that are not progress reach onText (ffmpeg's
// warnings and errors). Returns the front-end status: 0 on success.
struct FfmpegRun {
    int status = 0;
    bool succeeded = false;
    std::string errorText; // what ffmpeg printed on its error output
};
FfmpegRun RunFfmpeg(std::vector<std::string> argv,
                    const std::function<void(double seconds, int64_t frames)>& onTime);

} // namespace trimora::mtools
