#include "mcut_run.h"

#include "frontend.h"
#include "mcut_args.h"
#include "mcut_media.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace trimora::mtools {

namespace {

using frontend::PrintErr;
using frontend::PrintOut;

int Fail(const std::string& text, int status) {
    PrintErr("mcut: " + text + "\n");
    return status;
}

// The last lines of ffmpeg's complaint, enough to say what went wrong.
std::string Tail(const std::string& text) {
    std::string t = text;
    while (!t.empty() && (t.back() == '\n' || t.back() == '\r')) t.pop_back();
    if (t.size() > 2000) t = t.substr(t.size() - 2000);
    return t;
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// The output is held open for writing from the start: a join that was started right after the
// run making its first clip waits until that clip is complete (see WaitUntilWritten).
class HeldOutput {
  public:
    explicit HeldOutput(const std::string& path) : path_(path) {
        fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    }
    ~HeldOutput() {
        if (fd_ >= 0) ::close(fd_);
        if (!keep_) RemoveFile(path_);
    }
    HeldOutput(const HeldOutput&) = delete;
    HeldOutput& operator=(const HeldOutput&) = delete;
    bool Ok() const { return fd_ >= 0; }
    void Keep() { keep_ = true; }

  private:
    std::string path_;
    int fd_ = -1;
    bool keep_ = false;
};

// Progress of one output of `total` seconds.
class SingleProgress {
  public:
    explicit SingleProgress(double total) : total_(total) {}
    void Update(double seconds, int64_t frames) {
        frames_ = frames;
        seconds_ = seconds;
        if (seconds - lastPrinted_ < 0.1 && lastPrinted_ >= 0) return;
        lastPrinted_ = seconds;
        PrintOut(PosChunk(seconds, frames, Percent(seconds)));
    }
    void Finish() { PrintOut(PosChunk(std::max(seconds_, total_), frames_, 100)); }
    double Seconds() const { return seconds_; }
    int64_t Frames() const { return frames_; }

  private:
    int Percent(double seconds) const {
        if (total_ <= 0) return 0;
        return static_cast<int>(std::clamp(std::floor(seconds / total_ * 100), 0.0, 99.0));
    }
    double total_;
    double seconds_ = 0, lastPrinted_ = -1;
    int64_t frames_ = 0;
};

// Progress of a join: the percent climbs from 0 to 100 within each input in turn, which is how
// the program counts finished files (a file counts when its percent reaches 98).
class JoinProgress {
  public:
    explicit JoinProgress(const std::vector<double>& lengths) {
        double sum = 0;
        for (double l : lengths) {
            starts_.push_back(sum);
            sum += l;
        }
        lengths_ = lengths;
    }
    void Start() { PrintOut(PosChunk(0, 0, 0)); }
    void Update(double seconds, int64_t frames) {
        frames_ = frames;
        seconds_ = seconds;
        while (current_ + 1 < lengths_.size() && seconds >= starts_[current_ + 1] - 0.001)
            NextFile();
        const double len = lengths_[current_];
        const int pct =
            len > 0 ? static_cast<int>(std::clamp(
                          std::floor((seconds - starts_[current_]) / len * 100), 0.0, 99.0))
                    : 0;
        PrintOut(PosChunk(seconds, frames, pct));
    }
    void Finish() {
        while (current_ + 1 < lengths_.size()) NextFile();
        PrintOut(PosChunk(seconds_, frames_, 100));
    }
    int64_t Frames() const { return frames_; }

  private:
    void NextFile() {
        // 100 for the finished file, then 0 for the next; the pause lets the reader take them
        // as two chunks, so the 100 is not hidden behind the 0.
        PrintOut(PosChunk(seconds_, frames_, 100));
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        ++current_;
        PrintOut(PosChunk(seconds_, frames_, 0));
    }
    std::vector<double> starts_, lengths_;
    size_t current_ = 0;
    double seconds_ = 0;
    int64_t frames_ = 0;
};

bool ReadWholeFile(const std::string& path, std::string* text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::stringstream ss;
    ss << in.rdbuf();
    *text = ss.str();
    return true;
}

int RunSingle(const McutOptions& options) {
    const std::string& input = options.inputs[0];
    WaitUntilWritten(input, 120000);
    const MediaInfo source = ProbeMedia(input);
    if (!source.ok) return Fail("cannot read " + input + ": " + source.error, 1);

    std::string edl;
    if (!options.edlFile.empty() && !ReadWholeFile(options.edlFile, &edl))
        return Fail("cannot read the edit list " + options.edlFile, 1);
    KeptRange range;
    std::string error;
    if (!ResolveRange(edl, options, &range, &error)) return Fail(error, 2);
    const double length = PlayLength(source);
    if (length > 0 && range.start >= length)
        return Fail("nothing to write: the start lies past the end of the clip", 1);

    const bool copyVideo = options.ovc == "copy" && source.video.present;
    double from = range.start;
    if (copyVideo && range.start > 0)
        from = KeyframeAtOrBefore(input, range.start, source.startTime);
    const std::vector<std::string> argv = BuildSingleRun(options, source, range, from);
    double end = range.end >= 0 ? range.end : length;
    if (length > 0) end = std::min(end, length);
    // A copied picture starts at the keyframe before the start: the progress counts from the
    // start the user chose, so it ends at the length the program asked for.
    const double lead = copyVideo ? range.start - from : 0;
    const double total = end - range.start;

    HeldOutput output(options.output);
    if (!output.Ok()) return Fail("cannot write " + options.output, 1);
    SingleProgress progress(total);
    progress.Update(0, 0);
    const FfmpegRun run = RunFfmpeg(
        argv, [&](double s, int64_t f) { progress.Update(std::max(0.0, s - lead), f); });
    if (!run.succeeded) {
        if (frontend::ReceivedSignal() == 0) PrintErr(Tail(run.errorText) + "\n");
        return run.status != 0 ? run.status : 1;
    }
    struct stat st {};
    if (progress.Seconds() <= 0 && progress.Frames() == 0 &&
        (::stat(options.output.c_str(), &st) != 0 || st.st_size < 1024))
        return Fail("nothing was written", 1);
    progress.Finish();
    output.Keep();
    return 0;
}

int RunJoin(const McutOptions& options) {
    std::vector<MediaInfo> sources;
    std::vector<double> lengths;
    for (const auto& input : options.inputs) {
        // The normalising clip in front of an AVI join is made by a run started just before
        // this one: wait until it has been written completely.
        WaitUntilWritten(input, 120000);
        if (frontend::ReceivedSignal() != 0) return 128 + frontend::ReceivedSignal();
        MediaInfo info = ProbeMedia(input);
        if (!info.ok) return Fail("cannot read " + input + ": " + info.error, 1);
        double len = PlayLength(info);
        if (len <= 0) len = 0.04;
        lengths.push_back(len);
        sources.push_back(std::move(info));
    }
    ScratchFolder scratch;
    bool copyVideo = options.ovc == "copy";
    std::vector<std::string> pictures = options.inputs;
    if (copyVideo) {
        // Clips whose pictures differ from the longest clip's (the one-frame normalising clip
        // in front of an AVI join, most often) are encoded like it first, so that the rest
        // is still copied.
        const size_t ref = ReferenceClip(sources, lengths);
        const StreamInfo& reference = sources[ref].video;
        for (size_t i = 0; i < sources.size() && copyVideo; ++i) {
            std::string why;
            if (SamePictures(reference, sources[i].video, &why)) continue;
            if (!reference.present || !IsLavcVideoEncoder(reference.codec)) {
                PrintErr("mcut: the pictures cannot be copied into one stream (" + why +
                         "); they are encoded\n");
                copyVideo = false;
                break;
            }
            PrintErr("mcut: " + options.inputs[i] + ": " + why + "; its pictures are encoded to match\n");
            if (!scratch.Ok()) return Fail("cannot make a work folder", 1);
            const std::string muxer = MuxerFor(options.output);
            pictures[i] = scratch.Path() + "fit" + std::to_string(i) + "." + (muxer.empty() ? "nut" : muxer);
            const FfmpegRun fit =
                RunFfmpeg(BuildFitRun(options.inputs[i], reference, pictures[i], muxer), nullptr);
            if (!fit.succeeded) {
                if (frontend::ReceivedSignal() == 0) PrintErr(Tail(fit.errorText) + "\n");
                return fit.status != 0 ? fit.status : 1;
            }
        }
    }

    std::string list;
    if (copyVideo) {
        list = WriteConcatList(scratch, pictures, lengths);
        if (list.empty()) return Fail("cannot write the list of files to join", 1);
    }
    const std::vector<std::string> argv =
        BuildJoinRun(options, sources, lengths, copyVideo, list);

    HeldOutput output(options.output);
    if (!output.Ok()) return Fail("cannot write " + options.output, 1);
    JoinProgress progress(lengths);
    progress.Start();
    const FfmpegRun run = RunFfmpeg(argv, [&](double s, int64_t f) { progress.Update(s, f); });
    if (!run.succeeded) {
        if (frontend::ReceivedSignal() == 0) PrintErr(Tail(run.errorText) + "\n");
        return run.status != 0 ? run.status : 1;
    }
    progress.Finish();
    output.Keep();
    return 0;
}

} // namespace

double KeyframeAtOrBefore(const std::string& path, double seconds, double clipStartTime) {
    const double target = seconds + clipStartTime;
    for (const double window : {20.0, -1.0}) {
        const double best = frontend::KeyframeAtOrBefore(path, target, window);
        if (best >= 0) return std::max(0.0, best - clipStartTime);
    }
    return seconds;
}

int RunMcut(std::vector<std::string> args) {
    if (!frontend::DropLeading(args, {"-cb", "qzv"})) frontend::DropLeading(args, {"-cb"});
    const McutParse parse = ParseMcutArgs(args);
    if (!parse.ok) return Fail(parse.error, 2);
    const McutOptions& options = parse.options;
    for (const auto& input : options.inputs) {
        if (SameFile(input, options.output))
            return Fail("the output " + options.output + " is one of the inputs", 2);
        struct stat st {};
        if (::stat(input.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            return Fail("cannot open " + input, 1);
    }
    return options.inputs.size() == 1 ? RunSingle(options) : RunJoin(options);
}

} // namespace trimora::mtools
