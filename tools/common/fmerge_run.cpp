#include "fmerge_run.h"

#include "frontend.h"
#include "mmerge_run.h"

#include <cmath>
#include <sys/stat.h>

namespace trimora::mtools {

namespace {

int Fail(const std::string& text, int status) {
    frontend::PrintErr("fmerge: " + text + "\n");
    return status;
}

std::string Describe(const StreamInfo& s, bool video) {
    if (!s.present) return "none";
    if (video) return s.codec + " " + std::to_string(s.width) + "x" + std::to_string(s.height);
    return s.codec + " " + std::to_string(s.sampleRate) + " Hz " + std::to_string(s.channels) +
           " ch";
}

} // namespace

std::string FlvMismatch(const std::vector<std::string>& names, const std::vector<MediaInfo>& infos) {
    for (size_t i = 1; i < infos.size(); ++i) {
        for (const bool video : {true, false}) {
            const StreamInfo& a = video ? infos[0].video : infos[0].audio;
            const StreamInfo& b = video ? infos[i].video : infos[i].audio;
            if (Describe(a, video) != Describe(b, video))
                return "The " + std::string(video ? "video" : "audio") + " of '" + names[i] +
                       "' (" + Describe(b, video) + ") cannot be appended to the " +
                       (video ? "video" : "audio") + " of '" + names[0] + "' (" +
                       Describe(a, video) + ").";
        }
    }
    return "";
}

int RunFmerge(std::vector<std::string> args) {
    if (args.size() < 3) return Fail("usage: fmerge.exe OUT.flv IN1.flv IN2.flv ...", 2);
    const std::string output = args[0];
    const std::vector<std::string> inputs(args.begin() + 1, args.end());
    std::vector<MediaInfo> infos;
    std::vector<double> lengths;
    double total = 0;
    for (const auto& input : inputs) {
        struct stat in {}, out {};
        if (::stat(input.c_str(), &in) != 0) return Fail("cannot open " + input, 1);
        if (::stat(output.c_str(), &out) == 0 && in.st_ino == out.st_ino && in.st_dev == out.st_dev)
            return Fail("the output " + output + " is one of the inputs", 2);
        MediaInfo info = ProbeMedia(input);
        if (!info.ok) return Fail("cannot read " + input + ": " + info.error, 1);
        lengths.push_back(info.duration > 0 ? info.duration : 0);
        total += lengths.back();
        infos.push_back(std::move(info));
    }
    // Stream copy of clips with other parameters gives a file that breaks at the seam.
    const std::string mismatch = FlvMismatch(inputs, infos);
    if (!mismatch.empty()) return Fail(mismatch, 1);

    ScratchFolder scratch;
    const std::string list = WriteConcatList(scratch, inputs);
    if (list.empty()) return Fail("cannot write the list of files to join", 1);
    SiblingTemp target(output, ".flv");
    if (!target.Ok()) return Fail("cannot write beside " + output, 1);
    int lastSecond = -1;
    const FfmpegRun run = RunFfmpeg(
        {"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y", "-f", "concat",
         "-safe", "0", "-i", list, "-map", "0:v?", "-map", "0:a?", "-c", "copy", "-f", "flv",
         target.Path()},
        [&](double seconds, int64_t) {
            const int whole = static_cast<int>(std::floor(seconds));
            if (whole == lastSecond) return;
            lastSecond = whole;
            const int pct = total > 0 ? static_cast<int>(std::fmin(seconds / total, 1.0) * 100) : 0;
            frontend::PrintOut("Joined " + std::to_string(pct) + "% time=" +
                               std::to_string(whole) + "\n");
        });
    if (!run.succeeded) {
        if (frontend::ReceivedSignal() == 0) frontend::PrintErr(run.errorText);
        return run.status != 0 ? run.status : 1;
    }
    if (!target.Commit(output)) return Fail("cannot write " + output, 1);
    return 0;
}

} // namespace trimora::mtools
