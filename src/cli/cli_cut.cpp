// `trimora probe SRC` and `trimora cut SRC --start T --end T [--save-folder DIR] [--nosound]
// [--exact] [--dry-run]`.
#include <ostream>

#include "cli/cli.h"
#include "common/helpers.h"
#include "common/pattern.h"
#include "jobs/trim.h"
#include "media/store_info.h"

namespace trimora {

namespace {

std::string LowerExtOf(const std::string& path) {
    const std::string name = FileNameOf(path);
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? "" : ToLower(name.substr(dot));
}

// Line breaks of the window's messages, for a terminal.
std::string PlainLines(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
    return out;
}

void SelectSource(JobState& st, const std::string& path) {
    st.InputFile = path;
    st.InputFileName = FileNameOf(path);
    st.InputExt = LowerExtOf(path);
    st.InputFileSize = GetFileSize64(path);
    st.InputSizeText = FormatFileSize(st.InputFileSize);
    st.InputSelected = true;
}

} // namespace

bool CliProbeSelected(TCliSession& s, TStoreInfo& info) {
    TClipReportInputs in;
    in.InputExt = s.State.InputExt;
    in.DesignMode = s.State.DesignMode;
    in.Page = TSourcePage::Input;
    const TProbeOutcome probe = ProbeClip(s.State.FfmpegCommand, s.State.InputFile, in, info);
    if (!probe.Started) {
        s.Out << "FAILED the encoder front-end fcut.exe could not be started from "
              << s.State.SystemFolder << std::endl;
        return false;
    }
    if (!probe.Failure.empty()) {
        s.Out << "FAILED " << probe.Failure << std::endl;
        return false;
    }
    if (probe.Result.BadFile) {
        s.Out << "FAILED Bad File! Invalid data found when processing input" << std::endl;
        return false;
    }
    s.State.ClipDuration = info.ClipDuration;
    s.ClipSeconds = 0;
    for (const auto& line : probe.Report)
        if (const size_t at = line.find("Duration: "); at != std::string::npos && s.ClipSeconds == 0) {
            const std::string text = line.substr(at + 10, line.find(',', at) - at - 10);
            if (text.find(':') != std::string::npos) s.ClipSeconds = ParseTimeSecondsFrac(text);
        }
    return true;
}

void ClampRangeToClip(TCliSession& s) {
    JobState& st = s.State;
    if (s.ClipSeconds <= 0 || st.CutEndText.empty()) return;
    const double end = ParseTimeSecondsFrac(st.CutEndText);
    if (end <= s.ClipSeconds + 0.0005 || st.CutStartSeconds >= s.ClipSeconds) return;
    const std::string clipEnd = FormatSecondsMs(s.ClipSeconds);
    s.Err << "Note: the end " << st.CutEndText << " lies past the end of the clip (" << clipEnd
          << "); the range ends there." << std::endl;
    PrepareCutTimes(st, st.CutStartText, clipEnd);
}

int CliProbe(TCliSession& s, const std::vector<std::string>& args) {
    const TCliArgs a = ParseCliArgs(args, {}, {});
    SelectSource(s.State, CheckCliSource(a));
    TStoreInfo info;
    if (!CliProbeSelected(s, info)) return 1;
    for (const auto& [field, value] : StoreInfoFields(info)) s.Out << field << ": " << value << "\n";
    s.Out << "DONE " << s.State.InputFile << std::endl;
    return 0;
}

int CliCut(TCliSession& s, const std::vector<std::string>& args) {
    const TCliArgs a =
        ParseCliArgs(args, {"--start", "--end", "--save-folder"}, {"--nosound", "--exact", "--dry-run"});
    const std::string source = CheckCliSource(a);
    for (const char* option : {"--start", "--end"}) {
        if (!a.Values.count(option)) throw TCliUsageError(std::string("Missing ") + option + " T");
        CheckCliTime(option, a.Value(option));
    }
    JobState& st = s.State;
    SelectSource(st, source);
    if (!MatchesPattern(st.InputExt, kCutExtensionsPattern))
        throw TCliUsageError(PlainLines(kCutFormatsMessage));
    PrepareCutTimes(st, a.Value("--start"), a.Value("--end"));
    if (st.StartAfterEnd) throw TCliUsageError(kStartAfterEndMessage);
    // A range of less than a whole second would make the encoder copy the whole clip.
    if (st.CutDuration == 0)
        throw TCliUsageError("StartTime and EndTime must be at least one second apart.");
    s.ApplySaveFolder(a);
    st.Mode = TMode::Cut;
    st.CutNosound = a.Flags.count("--nosound") != 0;
    st.CutExact = a.Flags.count("--exact") != 0;

    TStoreInfo info;
    if (!CliProbeSelected(s, info)) return 1;
    // The window's sliders end at the clip's length; typed times can go past it, and a stream
    // copy from there writes a few stray frames rather than nothing.
    if (st.CutStartSeconds >= static_cast<double>(st.ClipDuration)) {
        s.Out << "FAILED " << kCutFailedMessage << " (the range starts after the end of the clip, "
              << info.DurationText << ")" << std::endl;
        return 1;
    }
    ClampRangeToClip(s);

    if (a.Flags.count("--dry-run")) {
        st.BuildOnly = true;
        BuildTrim(st, info, s.Runs);
        for (const auto& line : s.Host.Memo()) s.Out << line << "\n";
        s.Out.flush();
        return 0;
    }
    st.RunFailed = false;
    st.BuildOnly = false;
    st.JobCounter += 1;
    s.Host.WatchJob(st.JobCounter);
    s.Host.SetGauge(0);
    BuildTrim(st, info, s.Runs);
    return WaitForCliJob(s);
}

} // namespace trimora
