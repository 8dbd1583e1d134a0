// trimora join FILE... [--save-folder DIR] [--nosound] [--dry-run]
// The files are the ticked rows of the join list, in the order given; they lie in one folder,
// the join folder, and the format comes from the second file, as in the window.
#include "cli/cli.h"

#include "common/helpers.h"
#include "common/pattern.h"
#include "jobs/join_run.h"
#include "media/store_info.h"

#include <sys/stat.h>
#include <unistd.h>

namespace trimora {

namespace {

// The item of the join format group that lists files of this extension.
int JoinFileTypeOf(const std::string& joinExt) {
    switch (JoinFamilyOf(joinExt)) {
    case TJoinFamily::Flv:
        return 1;
    case TJoinFamily::Wmv:
        return 3;
    case TJoinFamily::Mpeg:
        return 4;
    case TJoinFamily::Splitter:
        if (MatchesPattern(joinExt, "(?i)mkv")) return 2;
        if (MatchesPattern(joinExt, "(?i)mp4|m4v|mov")) return 5;
        return 6;
    default:
        return 0;
    }
}

std::string AbsolutePath(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    char buf[4096];
    return ::getcwd(buf, sizeof buf) ? WithSlash(buf) + path : path;
}

} // namespace

int CliJoin(TCliSession& s, const std::vector<std::string>& args) {
    const TCliArgs a = ParseCliArgs(args, {"--save-folder"}, {"--nosound", "--dry-run"});
    if (a.Positional.size() < 2) throw TCliUsageError(kJoinTooFewFiles);

    TJoinListSnapshot list;
    list.Nosound = a.Has("--nosound");
    std::string folder;
    for (const auto& given : a.Positional) {
        const std::string path = AbsolutePath(given);
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            throw TCliUsageError("No such file: " + given);
        if (folder.empty())
            folder = FolderOf(path);
        else if (FolderOf(path) != folder)
            throw TCliUsageError("All files to join must lie in one folder: " + given);
        list.Rows.push_back({FileNameOf(path), GetFileSize64(path), "", "", true});
    }
    const std::string joinExt = JoinExtOfCaption(list.Rows[1].Caption);
    if (JoinFamilyOf(joinExt) == TJoinFamily::None)
        throw TCliUsageError("No tool joins " + joinExt +
                             " files (avi, divx, flv, mkv, mp4, m4v, mov, 3gp, vob, webm, mpg, "
                             "mpeg, wmv, asf)");

    s.ApplySaveFolder(a);
    JobState& st = s.State;
    st.JoinFolder = WithSlash(folder);
    st.Mode = TMode::Join;
    st.JoinFileType = JoinFileTypeOf(joinExt);
    st.JoinAllChecked = true;

    // The normalising clip of an AVI join is made at the frame size of the first file.
    if (JoinFamilyOf(joinExt) == TJoinFamily::Avi) {
        TStoreInfo info;
        TClipReportInputs in;
        in.InputExt = ToLower(joinExt);
        in.Page = TSourcePage::InputJoin;
        in.HasSelectedItem = true;
        in.JoinMode = true;
        const auto probe =
            ProbeClip(st.FfmpegCommand, st.JoinFolder + list.Rows[0].Caption, in, info);
        if (!probe.Failure.empty()) {
            s.Out << "FAILED " << probe.Failure << std::endl;
            return 1;
        }
        if (probe.Started && !info.BadFile) {
            list.Rows[0].FrameSize = info.FrameSize;
            list.Rows[0].Fps = info.FpsText;
        }
    }

    if (a.Has("--dry-run")) {
        const TJoinBuildResult built = BuildJoinCommand(list, st);
        for (const auto& line : built.MemoLines)
            s.Out << line << "\n";
        s.Out.flush();
        return built.Command.empty() ? 1 : 0;
    }

    st.BuildOnly = false;
    st.RunFailed = false;
    s.Host.WatchJob(st.JobCounter + 1);
    TJoinListFileMon monitor(JoinMonitorHost(s.Runs));
    if (!JoinClips(list, s.Runs, &monitor)) {
        s.Out << "FAILED the join could not start" << std::endl;
        return 1;
    }
    return WaitForCliJob(s);
}

} // namespace trimora
