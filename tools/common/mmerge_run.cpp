#include "media/keyframes.h"
#include "mmerge_run.h"

#include "frontend.h"
#include "mcut_media.h"
#include "mmerge_args.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace trimora::mtools {

namespace {

using frontend::PrintErr;
using frontend::PrintOut;

int Fail(const std::string& text, int status) {
    PrintErr("mmerge: " + text + "\n");
    return status;
}

std::string ExtensionOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    return path.substr(dot);
}

int64_t SizeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

// Passes mkvmerge's output on line by line, each line written at once, so that a progress
// message reaches the program as a chunk of its own. Progress is scaled into [low, high].
class MkvmergeOutput {
  public:
    MkvmergeOutput(int low, int high) : low_(low), high_(high) {}
    void Feed(const std::string& chunk) {
        for (char c : chunk) {
            if (c == '\r' || c == '\n') Line();
            else pending_ += c;
        }
    }
    void Flush() { Line(); }
    const std::string& Mismatch() const { return mismatch_; }
    bool CannotAppend() const { return cannotAppend_; }

  private:
    void Line() {
        if (pending_.empty()) return;
        std::string line;
        line.swap(pending_);
        if (line.rfind("Progress: ", 0) == 0) {
            const int pct = std::atoi(line.c_str() + 10);
            const int scaled = low_ + (high_ - low_) * std::clamp(pct, 0, 100) / 100;
            if (scaled != last_) {
                last_ = scaled;
                PrintOut("Progress: " + std::to_string(scaled) + "%\n");
            }
            return;
        }
        if (line.find("cannot be appended") != std::string::npos) cannotAppend_ = true;
        const std::string mismatch = MismatchError(line);
        if (!mismatch.empty()) {
            if (mismatch_.empty()) mismatch_ = mismatch;
            return;
        }
        PrintOut(line + "\n");
    }
    int low_, high_, last_ = -1;
    std::string pending_, mismatch_;
    bool cannotAppend_ = false;
};

// mkvmerge exits 1 when it only warned: the file is complete.
bool MkvmergeSucceeded(const frontend::ToolOutcome& outcome) {
    return outcome.started && outcome.signal == 0 && (outcome.exitCode == 0 || outcome.exitCode == 1) &&
           frontend::ReceivedSignal() == 0;
}

int StatusOf(const frontend::ToolOutcome& outcome) {
    const int status = outcome.Status();
    return status == 0 || status == 1 ? 2 : status;
}

int RunSplit(const MmergeOptions& options) {
    const std::string& input = options.inputs[0];
    if (SizeOf(input) < 0) return Fail("cannot open " + input, 2);
    const std::string ext = ExtensionOf(options.output);
    // Parts left over from an earlier run would be taken for this run's result.
    for (int n = 1; n <= 3; ++n) RemoveFile(SplitPartName(options.output, n));

    if (options.splitPoints.size() != 2) {
        std::string points;
        for (double p : options.splitPoints) points += (points.empty() ? "" : ",") + SecondsArg(p) + "s";
        MkvmergeOutput out(0, 100);
        std::vector<std::string> argv = {"mkvmerge", "--ui-language", "en_US", "-o",
                                         options.output, "--split", "timestamps:" + points};
        if (options.noAudio) argv.push_back("--no-audio");
        argv.push_back(input);
        const auto outcome = frontend::RunTool(
            argv,
            [&](frontend::OutputStream, const std::string& chunk) { out.Feed(chunk); });
        out.Flush();
        return MkvmergeSucceeded(outcome) ? 0 : StatusOf(outcome);
    }

    // The program keeps only the middle part of a split in two points. It is written alone and
    // put in place under its part name only when complete, so the program, which stops the
    // splitter as soon as that part exists and is closed, always finds it whole; the head and
    // the tail are not written at all. (mkvmerge's own split would also make the tail the
    // middle part when the first point is 0.)
    const std::string part = SplitPartName(options.output, 2);
    SiblingTemp temp(part, ext);
    if (!temp.Ok()) return Fail("cannot write beside " + part, 2);
    // The splitter starts a part at the first keyframe at or after the time it is given, which
    // would drop the start of the chosen range: it is given the keyframe at or before it.
    // A range that starts past the clip's end stays as it is: the splitter writes no part.
    // The frame shown at a time is the first one at or after it, so a keyframe less than one
    // frame after the chosen time is the chosen frame itself.
    // One ffprobe run gives the clip's length and frame rate with the packet index of the 20 s
    // before the start.
    double from = options.splitPoints[0];
    std::vector<double> near;
    const MediaInfo media =
        from > 0 ? ProbeMediaWithKeyframesNear(input, from, 20, &near) : MediaInfo{};
    const double length = from > 0 ? PlayLength(media) : -1;
    if (from > 0 && (length < 0 || from < length)) {
        const double frame = media.video.fps > 0 ? 1.0 / media.video.fps : 0.04;
        const double at = from + frame * 0.9;
        double key = -1;
        for (double k : near)
            if (k <= at + 0.0005) key = std::max(key, k);
        if (key < 0) { // keyframes further apart than that: the whole index
            const std::vector<double> keyframes = ReadKeyframeTimes(input);
            if (!keyframes.empty()) key = KeyframeAtOrBefore(keyframes, at);
        }
        if (key >= 0) from = std::max(0.0, key - 0.001);
    }
    MkvmergeOutput out(0, 100);
    const auto outcome = frontend::RunTool(
        MkvmergePartArgs(options, temp.Path(), from, options.splitPoints[1]),
        [&](frontend::OutputStream, const std::string& chunk) { out.Feed(chunk); });
    out.Flush();
    if (!MkvmergeSucceeded(outcome)) return StatusOf(outcome);
    if (SizeOf(temp.Path()) <= 0)
        return Fail("nothing to write: the start lies past the end of the clip", 2);
    if (!temp.Commit(part)) return Fail("cannot write " + part, 2);
    PrintOut("Progress: 100%\n");
    return 0;
}

int RunJoin(const MmergeOptions& options) {
    for (const auto& input : options.inputs)
        if (SizeOf(input) < 0) return Fail("cannot open " + input, 2);
    const bool remux = NeedsRemux(options.output);
    const std::string ext = ExtensionOf(options.output);
    SiblingTemp joined(options.output, remux ? ".mkv" : ext);
    if (!joined.Ok()) return Fail("cannot write beside " + options.output, 2);

    MkvmergeOutput out(0, remux ? 90 : 100);
    const auto outcome = frontend::RunTool(
        MkvmergeJoinArgs(options, joined.Path()),
        [&](frontend::OutputStream, const std::string& chunk) { out.Feed(chunk); });
    out.Flush();
    if (frontend::ReceivedSignal() != 0) return 128 + frontend::ReceivedSignal();
    if (!out.Mismatch().empty()) {
        // mkvmerge only warns when the codec settings differ (another frame size, other
        // encoder settings): the joined picture would break at the seam.
        PrintOut(out.Mismatch() + "\n");
        return 2;
    }
    if (!MkvmergeSucceeded(outcome) || out.CannotAppend()) return StatusOf(outcome);
    if (SizeOf(joined.Path()) <= 0) return Fail("nothing was written", 2);

    if (!remux) {
        if (!joined.Commit(options.output)) return Fail("cannot write " + options.output, 2);
        return 0;
    }
    // mkvmerge writes only Matroska: the joined streams move into the container the output
    // name asks for, unchanged.
    const MediaInfo info = ProbeMedia(joined.Path());
    const double total = info.duration > 0 ? info.duration : 0;
    SiblingTemp target(options.output, ext);
    if (!target.Ok()) return Fail("cannot write beside " + options.output, 2);
    int last = 90;
    const FfmpegRun run = RunFfmpeg(
        {"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y", "-i", joined.Path(),
         "-map", "0:v?", "-map", "0:a?", "-c", "copy", "-f", MuxerFor(options.output),
         target.Path()},
        [&](double seconds, int64_t) {
            if (total <= 0) return;
            const int pct = 90 + static_cast<int>(std::clamp(seconds / total, 0.0, 1.0) * 9);
            if (pct != last) {
                last = pct;
                PrintOut("Progress: " + std::to_string(pct) + "%\n");
            }
        });
    if (!run.succeeded) {
        if (frontend::ReceivedSignal() == 0)
            PrintErr("mmerge: the joined streams do not fit into " + ext + ": " + run.errorText);
        return run.status != 0 ? run.status : 2;
    }
    if (!target.Commit(options.output)) return Fail("cannot write " + options.output, 2);
    PrintOut("Progress: 100%\n");
    return 0;
}

} // namespace

SiblingTemp::SiblingTemp(const std::string& near, const std::string& ext) {
    const size_t slash = near.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "" : near.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? near : near.substr(slash + 1);
    std::string tmpl = dir + "." + name + ".mmerge-XXXXXX" + ext;
    const int fd = ::mkstemps(tmpl.data(), static_cast<int>(ext.size()));
    if (fd < 0) return;
    // mkstemps makes the file private; the output gets the permissions any new file gets.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    ::close(fd);
    path_ = tmpl;
}

SiblingTemp::~SiblingTemp() { RemoveFile(path_); }

bool SiblingTemp::Commit(const std::string& target) {
    if (path_.empty() || ::rename(path_.c_str(), target.c_str()) != 0) return false;
    path_.clear();
    return true;
}

int RunMmerge(std::vector<std::string> args) {
    const MmergeParse parse = ParseMmergeArgs(args);
    if (!parse.ok) return Fail(parse.error, 2);
    return parse.options.split ? RunSplit(parse.options) : RunJoin(parse.options);
}

} // namespace trimora::mtools
