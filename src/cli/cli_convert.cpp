// `trimora convert SRC --format F [--quality Q] [--frame-size S] [--no-sound] [--volume N]
// [--start T --end T] [--save-folder DIR] [--dry-run]` and `trimora extract-audio SRC --format
// .mp3 [--volume N] [--start T --end T] [--save-folder DIR] [--dry-run]`.
#include <algorithm>
#include <ostream>

#include "cli/cli.h"
#include "common/helpers.h"
#include "jobs/audio.h"
#include "jobs/convert.h"
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
        throw TCliUsageError("Unknown value for --volume: \"" + v +
                             "\"; accepted values: 1, 2, 3, 4");
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

std::string ListOf(const std::vector<std::string>& items) {
    std::string text;
    for (const auto& item : items) text += "\n  \"" + item + "\"";
    return text;
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
    for (const auto& item : ConvertTypeItems())
        if (!IsDeviceItem(item) && item == ToLower(format)) return item;
    throw TCliUsageError("Unknown value for --format: \"" + format + "\"; accepted values:" +
                         ListOf(ConvertTypeItems()));
}

// An item of the quality list, given whole or by its first word ("High").
std::string CheckQuality(const std::string& value) {
    for (const auto& item : QualityItems())
        if (item == value || ToLower(item.substr(0, item.find(' '))) == ToLower(Trim(value)))
            return item;
    throw TCliUsageError("Unknown value for --quality: \"" + value + "\"; accepted values:" +
                         ListOf(QualityItems()));
}

// A size of the frame-size list, or a typed WIDTHxHEIGHT of even numbers, as the window takes.
std::string CheckFrameSize(const std::string& value) {
    std::vector<std::string> sizes;
    for (const auto& item : FramePresetItems()) {
        if (item.find('(') != std::string::npos || item.find(' ') != std::string::npos) {
            if (item != "Same as original") continue;
        }
        sizes.push_back(item);
        if (item == value) return value;
    }
    const size_t x = value.find('x');
    if (x != std::string::npos && x > 0 && x + 1 < value.size() && x <= 5 &&
        value.size() - x - 1 <= 5 && IsAllDigits(value.substr(0, x)) &&
        IsAllDigits(value.substr(x + 1))) {
        const int w = std::stoi(value.substr(0, x)), h = std::stoi(value.substr(x + 1));
        if (w > 0 && h > 0 && w % 2 == 0 && h % 2 == 0) return value;
    }
    throw TCliUsageError("Unknown value for --frame-size: \"" + value +
                         "\"; accepted values (or WIDTHxHEIGHT in even numbers):" + ListOf(sizes));
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
    if (a.Values.count("--quality")) job.Options.Quality = CheckQuality(a.Value("--quality"));
    if (a.Values.count("--frame-size"))
        job.Options.FramePreset = CheckFrameSize(a.Value("--frame-size"));
    job.Options.IncludeSoundIndex = a.Flags.count("--no-sound") ? 1 : 0;
    job.Options.VolumeIndex = VolumeIndex(a);

    JobState& st = s.State;
    SelectSource(st, source);
    st.Mode = TMode::Convert;
    st.Partial = ApplyRange(st, a);
    s.ApplySaveFolder(a);

    TStoreInfo info;
    if (!CliProbeSelected(s, info)) return 1;
    if (st.Partial) ClampRangeToClip(s);
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
    return WaitForCliJob(s);
}

int CliExtractAudio(TCliSession& s, const std::vector<std::string>& args) {
    const TCliArgs a = ParseCliArgs(
        args, {"--format", "--volume", "--start", "--end", "--save-folder"}, {"--dry-run"});
    const std::string source = CheckCliSource(a);

    TAudioJob job;
    if (a.Values.count("--format")) {
        const std::string format = ToLower(a.Value("--format"));
        const auto& items = AudioTypeItems();
        if (std::find(items.begin(), items.end(), format) == items.end())
            throw TCliUsageError("Unknown value for --format: \"" + a.Value("--format") +
                                 "\"; accepted values:" + ListOf(items));
        job.Options.AudioType = format;
    }
    job.Options.VolumeIndex = VolumeIndex(a);

    JobState& st = s.State;
    SelectSource(st, source);
    st.Mode = TMode::Cut;
    st.SoundOnly = true;
    const bool range = ApplyRange(st, a);
    s.ApplySaveFolder(a);

    TStoreInfo info;
    if (!CliProbeSelected(s, info)) return 1;
    if (range) ClampRangeToClip(s);
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
    return WaitForCliJob(s);
}

} // namespace trimora
