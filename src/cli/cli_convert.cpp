// `trimora convert SRC --format F [--quality Q] [--frame-size S] [--no-sound] [--volume N]
// [--start T --end T] [--save-folder DIR] [--dry-run]` and `trimora extract-audio SRC --format
// .mp3 [--volume N] [--start T --end T] [--save-folder DIR] [--dry-run]`.
#include <ostream>

#include "cli/cli.h"
#include "common/helpers.h"
#include "jobs/convert_job.h"
#include "jobs/device_presets.h"
#include "jobs/trim.h"
#include "media/store_info.h"

namespace trimora {

namespace {

void SelectSource(JobState& st, const std::string& path) {
    st.InputFile = path;
    st.InputFileName = FileNameOf(path);
    const size_t dot = st.InputFileName.rfind('.');
    st.InputExt = dot == std::string::npos ? "" : ToLower(st.InputFileName.substr(dot));
    st.InputFileSize = GetFileSize64(path);
    st.InputSizeText = FormatFileSize(st.InputFileSize);
    st.InputSelected = true;
}

// N of --volume (1 to 4) as the item index of the gain lists.
int VolumeIndex(const TCliArgs& a) {
    if (!a.Values.count("--volume")) return 0;
    const std::string v = a.Value("--volume");
    if (v.size() != 1 || v[0] < '1' || v[0] > '4')
        throw TCliUsageError("Invalid value for --volume: \"" + v + "\" (1 to 4)");
    return v[0] - '1';
}

// --start and --end, both or neither; sets the range pieces. Returns whether a range was given.
bool ApplyRange(JobState& st, const TCliArgs& a) {
    const bool start = a.Values.count("--start") != 0, end = a.Values.count("--end") != 0;
    if (!start && !end) return false;
    if (!start || !end) throw TCliUsageError("--start and --end go together");
    CheckCliTime("--start", a.Value("--start"));
    CheckCliTime("--end", a.Value("--end"));
    PrepareCutTimes(st, a.Value("--start"), a.Value("--end"));
    if (st.StartAfterEnd) throw TCliUsageError(kStartAfterEndMessage);
    // A range of less than a whole second carries no seek at all: the whole clip would be used.
    if (st.CutDuration <= 0)
        throw TCliUsageError("StartTime and EndTime must be at least one second apart.");
    return true;
}

// An item of the format list, or a typed extension with its point. A "(Device)" text of no
// device would build on pieces no earlier build has set, so it is refused here.
std::string CheckFormat(const std::string& format) {
    if (IsDeviceItem(format)) {
        for (const auto& row : DevicePresets())
            if (format.find(row.ItemText) != std::string::npos) return format;
        std::string items;
        for (const auto& item : DeviceItems()) items += "\n  " + item;
        throw TCliUsageError("Unknown device for --format: \"" + format + "\"; the devices are:" +
                             items);
    }
    if (format.size() < 2 || format[0] != '.')
        throw TCliUsageError("Invalid value for --format: \"" + format +
                             "\" (an extension with its point, such as \".mp4\", or a device "
                             "item such as \"(Device) iPad - HiResolution\")");
    return format;
}

int PrintMemo(TCliSession& s) {
    for (const auto& line : s.Host.Memo()) s.Out << line << "\n";
    s.Out.flush();
    return 0;
}

} // namespace

int CliConvert(TCliSession& s, const std::vector<std::string>& args) {
    const TCliArgs a = ParseCliArgs(
        args, {"--format", "--quality", "--frame-size", "--volume", "--start", "--end",
               "--save-folder"},
        {"--no-sound", "--dry-run"});
    const std::string source = CheckCliSource(a);
    if (!a.Values.count("--format")) throw TCliUsageError("Missing --format F");

    TConvertJob job;
    job.Options.ConvertType = CheckFormat(a.Value("--format"));
    job.Options.Quality = a.Value("--quality", job.Options.Quality);
    job.Options.FramePreset = a.Value("--frame-size", job.Options.FramePreset);
    job.Options.IncludeSoundIndex = a.Flags.count("--no-sound") ? 1 : 0;
    job.Options.VolumeIndex = VolumeIndex(a);

    JobState& st = s.State;
    SelectSource(st, source);
    st.Mode = TMode::Convert;
    st.Partial = ApplyRange(st, a);
    s.ApplySaveFolder(a);

    TStoreInfo info;
    if (!CliProbeSelected(s, info)) return 1;
    TOutputList list;
    TJobContext ctx{st, info, list, s.Runs};
    const int64_t length = st.Partial ? st.CutDuration : st.ClipDuration;

    if (a.Flags.count("--dry-run")) {
        st.BuildOnly = true;
        ConvertClip(job, length, ctx);
        return PrintMemo(s);
    }
    st.RunFailed = false;
    st.BuildOnly = false;
    s.Host.SetGauge(0);
    ConvertClip(job, length, ctx);
    s.Host.WatchJob(st.JobCounter);
    return s.Host.WaitForJob();
}

int CliExtractAudio(TCliSession& s, const std::vector<std::string>& args) {
    const TCliArgs a = ParseCliArgs(
        args, {"--format", "--volume", "--start", "--end", "--save-folder"}, {"--dry-run"});
    const std::string source = CheckCliSource(a);

    TAudioJob job;
    job.Options.AudioType = a.Value("--format", job.Options.AudioType);
    job.Options.VolumeIndex = VolumeIndex(a);

    JobState& st = s.State;
    SelectSource(st, source);
    st.Mode = TMode::Cut;
    st.SoundOnly = true;
    ApplyRange(st, a);
    s.ApplySaveFolder(a);

    TStoreInfo info;
    if (!CliProbeSelected(s, info)) return 1;
    if (info.NoAudio) {
        s.Out << "FAILED " << kNoAudioMessage << std::endl;
        return 1;
    }
    TOutputList list;
    TJobContext ctx{st, info, list, s.Runs};
    ExtraRunHost extraHost;
    extraHost.Post = [&s](std::function<void()> fn) { s.Host.Post(std::move(fn)); };
    job.AttachTo(extraHost, s.Runs, st);
    TExtraRuns extraRuns(extraHost);

    if (a.Flags.count("--dry-run")) {
        st.BuildOnly = true;
        job.ExtractAudio(ctx, extraRuns);
        return PrintMemo(s);
    }
    st.RunFailed = false;
    st.BuildOnly = false;
    st.JobCounter += 1;
    s.Host.WatchJob(st.JobCounter);
    s.Host.SetGauge(0);
    job.ExtractAudio(ctx, extraRuns);
    return s.Host.WaitForJob();
}

} // namespace trimora
