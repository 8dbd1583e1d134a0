#include "jobs/trim.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <sys/stat.h>
#include <thread>
#include <vector>

#include "common/command_line.h"
#include "common/helpers.h"
#include "common/pattern.h"
#include "jobs/copy_range.h"
#include "jobs/output_list.h"

namespace trimora {

namespace {

// The text from the last '.' of the file name, letters as they are; empty without a point.
std::string SourceExtOf(const std::string& path) {
    const std::string name = FileNameOf(path);
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? "" : name.substr(dot);
}

// "%.3f" with a point whatever the locale.
std::string ThreeDecimals(double v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 3);
    return std::string(buf, r.ptr);
}

} // namespace

std::string EdlPieceFor(const std::string& edlFile) {
    return "-edl \"" + QuoteArgText(edlFile) + "\" -hr-edl-seek ";
}

bool WriteEdlFile(const std::string& edlFile, double startSeconds) {
    // The mencoder tool skips from 0 to the exact start. A work file of this run only: no flush
    // to disk before the tool starts.
    std::string why;
    return WriteFileAtomically(edlFile, "0 " + ThreeDecimals(startSeconds) + " 0\n", why, false);
}

std::string PrepareCutTimes(JobState& st, const std::string& startText,
                            const std::string& endText) {
    if (!st.StartupDone) return "";
    const std::string start = Trim(startText);
    const std::string end = Trim(endText);
    st.CutStartText = start;
    st.CutEndText = end;
    st.CutStartSeconds = ParseTimeSecondsFrac(start);
    st.CutDuration = ParseTimeSeconds(end) - ParseTimeSeconds(start);
    if (st.CutDuration < 0) {
        st.StartAfterEnd = true;
        st.SeekArgs.clear();
        return "";
    }
    if (st.CutDuration == 0) {
        st.SeekArgs.clear();
        return "";
    }
    // The tools copy whole seconds from the start; they are asked for enough of them to reach
    // the chosen end (23.4 to 41.7 takes 19 s: 18 would stop 0.3 s short).
    st.CutDurationText =
        std::to_string(CopyCutSeconds(st.CutStartSeconds, ParseTimeSecondsFrac(end)));
    st.CutTimeText = FormatSeconds(st.CutDuration);
    st.SeekArgs = " -ss " + start + " -t " + st.CutDurationText + " ";
    st.StartAfterEnd = false;
    st.EndPosPiece = "-endpos " + st.CutDurationText;
    st.EdlPiece = EdlPieceFor(st.EdlFile);
    st.SplitPiece = startText + "," + endText;
    return st.SeekArgs;
}

TTrimSnapshot MakeTrimSnapshot(const JobState& st, const TStoreInfo& info,
                               const std::string& volumePiece) {
    TTrimSnapshot s;
    s.InputFile = st.InputFile;
    s.InputExt = st.InputExt;
    s.SaveConvertFolder = st.SaveConvertFolder;
    s.FfmpegCommand = st.FfmpegCommand;
    s.MencoderCommand = st.MencoderCommand;
    s.MmergeCommand = st.MmergeCommand;
    s.ThreadsOption = st.ThreadsOption;
    s.LavcThreadsOption = st.LavcThreadsOption;
    s.ToolFolder = st.ToolFolder;
    s.SeekArgs = st.SeekArgs;
    s.EndPosPiece = st.EndPosPiece;
    s.EdlPiece = st.EdlPiece;
    s.SplitPiece = st.SplitPiece;
    s.NoAudio = info.NoAudio;
    s.AudioRateOption = info.AudioRateOption;
    s.AudioBitrateOption = info.AudioBitrateOption;
    s.CodecSummary = info.CodecSummary;
    s.VolumePiece = volumePiece;
    s.CutNosound = st.CutNosound;
    s.CutExact = st.CutExact;
    s.CutStartText = st.CutStartText;
    s.CutEndText = st.CutEndText;
    return s;
}

TTrimCommand BuildTrimCommand(const TTrimSnapshot& s) {
    TTrimCommand c;
    const std::string& ext = s.InputExt;
    const std::string F = s.FfmpegCommand + s.ThreadsOption;
    const std::string& M = s.MencoderCommand;
    const std::string& K = s.MmergeCommand;
    const std::string& R = s.LavcThreadsOption;
    const std::string& T = s.SeekArgs;
    const std::string& P = s.EndPosPiece;
    const std::string& E = s.EdlPiece;
    const std::string& X = s.SplitPiece;

    std::string A;
    if (MatchesPattern(ext, "(?i)mkv")) {
        A = " -acodec aac -ac 2 " + s.AudioRateOption + s.AudioBitrateOption + s.VolumePiece;
    } else if (MatchesPattern(ext, "(?i)avi|divx|mpg|mpeg")) {
        A = ContainsNoCase(s.CodecSummary, "ac3") ? " -acodec libmp3lame -ac 2 " +
                                                        s.AudioRateOption + s.AudioBitrateOption +
                                                        s.VolumePiece
                                                  : " -acodec copy ";
    } else {
        A = " -acodec copy ";
    }
    if (s.NoAudio) A = " -an ";

    c.SourceExt = SourceExtOf(s.InputFile);
    c.OutputFile = s.ReservedOutput.empty() ? CutOutputName(s.SaveConvertFolder, s.InputFile)
                                            : s.ReservedOutput;
    c.WorkFile = s.ToolOutput.empty() ? s.ToolFolder + "trim" + c.SourceExt : s.ToolOutput;
    c.Matroska = ToLower(c.SourceExt) == ".mkv";
    c.Mencoder = MatchesPattern(ext, "(?i)wmv|asf");

    const std::string S = QuoteArgText(s.InputFile);
    const std::string O = QuoteArgText(s.ToolOutput.empty() ? c.OutputFile : s.ToolOutput);
    const std::string W = QuoteArgText(c.WorkFile);
    const bool nosound = s.CutNosound;
    std::string& cmd = c.CommandLine;
    if (s.CutExact && !s.SeekArgs.empty() && MatchesPattern(ext, kCutExtensionsPattern)) {
        // Every container goes through the encoder front-end, which decides per clip what it
        // can copy and what it re-encodes.
        c.Matroska = c.Mencoder = false;
        cmd = F + " -exact -ss " + s.CutStartText + " -to " + s.CutEndText + " -i \"" + S +
              "\"" + (nosound ? " -an" : "") + " -sn -y \"" + O + "\"";
    } else if (MatchesPattern(ext, "(?i)mkv")) {
        cmd = K + " -o \"" + W + "\"" + (nosound ? " --no-audio" : "") + " \"" + S +
              "\" --split timecodes:" + X;
    } else if (MatchesPattern(ext, "(?i)flv") || MatchesPattern(ext, "(?i)webm")) {
        cmd = F + T + " -async 1 -i \"" + S + "\" " +
              (nosound ? " -an -vcodec copy -sn -y \"" : " -acodec copy -vcodec copy -sn -y \"") +
              O + "\"";
    } else if (MatchesPattern(ext, "(?i)mp4|m4v|mov")) {
        cmd = nosound ? F + T + " -async 1 -i \"" + S + "\" -an -vcodec copy -sn -y \"" + O + "\""
                      : F + T + " -async 1 -i \"" + S + "\" " + A + " -vcodec copy -sn -y \"" + O +
                            "\"";
    } else if (MatchesPattern(ext, "(?i)wmv|asf")) {
        cmd = nosound ? M + E + P + " \"" + S + "\" -nosound -ovc copy -o \"" + O + "\""
                      : M + E + P + " \"" + S +
                            "\" -oac lavc -lavcopts acodec=wmav2:abitrate=128" + R +
                            " -srate 44100 -ovc copy -o \"" + O + "\"";
    } else if (MatchesPattern(ext, "(?i)avi|divx") || MatchesPattern(ext, "(?i)mpg|mpeg")) {
        cmd = nosound ? F + T + " -i \"" + S + "\" -an -vcodec copy -sn -y \"" + O + "\""
                      : F + T + " -async 1 -i \"" + S + "\" -vcodec copy " + A + " -sn -y \"" + O +
                            "\"";
    } else if (MatchesPattern(ext, "(?i)m2ts")) {
        cmd = F + T + " -async 1 -i \"" + S + "\" " + (nosound ? "-an" : "-acodec copy") +
              " -vcodec copy -f mpegts -sn -y \"" + O + "\"";
    } else if (MatchesPattern(ext, "(?i)vob")) {
        cmd = F + T + " -async 1 -i \"" + S + "\" " + (nosound ? "-an" : "-acodec copy") +
              " -vcodec copy -sn -y \"" + O + "\"";
    }
    return c;
}

std::string TrimWorkPart(const TTrimCommand& command, const std::string& toolFolder, int part) {
    char number[8];
    std::snprintf(number, sizeof number, "-%03d", part);
    // The splitter numbers the parts after the work file's stem ("trim" -> "trim-002.mkv").
    std::string stem = FileNameOf(command.WorkFile);
    if (stem.size() >= command.SourceExt.size())
        stem.erase(stem.size() - command.SourceExt.size());
    if (stem.empty()) stem = "trim";
    const std::string wanted = stem + std::string(number) + command.SourceExt;
    if (FileExists(toolFolder + wanted)) return toolFolder + wanted;
    if (DIR* dir = ::opendir(toolFolder.c_str())) {
        std::string found;
        while (dirent* e = ::readdir(dir)) {
            if (ToLower(e->d_name) == ToLower(wanted)) {
                found = e->d_name;
                break;
            }
        }
        ::closedir(dir);
        if (!found.empty()) return toolFolder + found;
    }
    return toolFolder + wanted;
}

namespace {

// True while process pid or one of its descendants (the splitter front-end and the splitter it
// runs) holds path open, or when path does not exist. Only the splitter writes that piece, so only
// its processes are looked at, not every process of the machine.
bool SplitterHoldsOpen(const std::string& path, int pid) {
    if (pid <= 0) return IsFileLocked(path);
    struct stat target {};
    if (::stat(path.c_str(), &target) != 0) return true;
    std::vector<int> todo{pid};
    for (size_t i = 0; i < todo.size() && i < 256; ++i) {
        const std::string proc = "/proc/" + std::to_string(todo[i]);
        if (DIR* fds = ::opendir((proc + "/fd").c_str())) {
            bool held = false;
            while (dirent* f = ::readdir(fds)) {
                struct stat st {};
                if (f->d_name[0] != '.' &&
                    ::stat((proc + "/fd/" + f->d_name).c_str(), &st) == 0 &&
                    st.st_dev == target.st_dev && st.st_ino == target.st_ino) {
                    held = true;
                    break;
                }
            }
            ::closedir(fds);
            if (held) return true;
        }
        if (DIR* tasks = ::opendir((proc + "/task").c_str())) {
            while (dirent* t = ::readdir(tasks)) {
                if (t->d_name[0] == '.') continue;
                std::ifstream children(proc + "/task/" + t->d_name + "/children");
                for (int child; children >> child;) todo.push_back(child);
            }
            ::closedir(tasks);
        }
    }
    return false;
}

void RemoveWorkParts(const TTrimCommand& command, const std::string& toolFolder,
                     bool keepMiddle = false) {
    for (int part = 1; part <= 3; ++part) {
        if (keepMiddle && part == 2) continue;
        const std::string path = TrimWorkPart(command, toolFolder, part);
        std::remove(path.c_str());
    }
}

} // namespace

TTrimCommand BuildTrim(JobState& st, const TStoreInfo& info, TToolRuns& runs,
                       const std::string& volumePiece) {
    if (!st.StartupDone) return {};
    TRunHost& host = runs.Host();
    TTrimSnapshot snap = MakeTrimSnapshot(st, info, volumePiece);
    TJobFilesPtr files;
    std::string prepareError;
    if (!st.BuildOnly && !runs.SlotBusy(kRunTrim)) {
        // The run's own names: the reserved output, the private file the tool writes, the EDL.
        files = std::make_shared<TJobFiles>();
        const TTrimCommand wanted = BuildTrimCommand(snap);
        snap.ReservedOutput = files->ReserveOutput(wanted.OutputFile);
        const bool matroska = wanted.Matroska;
        if (!snap.ReservedOutput.empty()) snap.ToolOutput = files->MakePrivateFile(!matroska);
        // Only the mencoder command reads the EDL; other cuts start their tool without it.
        if (files->Ok() && !snap.EdlPiece.empty() && wanted.Mencoder) {
            const std::string edl = files->WorkFolder() + "qvcut.edl";
            snap.EdlPiece = EdlPieceFor(edl);
            WriteEdlFile(edl, st.CutStartSeconds);
        }
        if (!files->Ok()) {
            prepareError = files->Error();
            snap.ReservedOutput = wanted.OutputFile;
            snap.ToolOutput.clear();
        }
    }
    const TTrimCommand cmd = BuildTrimCommand(snap);
    st.OutputFile = cmd.OutputFile;
    host.ClearMemo();
    host.AppendMemo(cmd.CommandLine);
    if (st.BuildOnly) return cmd;

    BeginRunControls(st, host);
    TTrimRunContext ctx;
    ctx.Mode = st.Mode;
    ctx.SoundOnly = st.SoundOnly;
    ctx.InputExt = st.InputExt;
    ctx.CutDuration = st.CutDuration;
    ctx.ClipDuration = st.ClipDuration;
    ctx.Command = cmd;
    ctx.ToolFolder = files ? FolderOf(cmd.WorkFile) : st.ToolFolder;
    ctx.JobId = st.JobCounter;
    ctx.Files = files;
    if (!prepareError.empty()) {
        TRunOutcome failed;
        failed.Failed = true;
        failed.Reason = prepareError;
        FinishTrim(runs, ctx, failed);
        return cmd;
    }

    TRunHandlers handlers;
    handlers.OnText = [&runs, ctx](TToolRun& run, const std::string& chunk) {
        RunTrimText(runs, ctx, run, chunk);
    };
    handlers.OnComplete = [&runs, ctx](TToolRun& run, const TRunOutcome& outcome) {
        RunTrimComplete(runs, ctx, run, outcome);
    };
    runs.RunDosCmd(kRunTrim, cmd.CommandLine, std::move(handlers));
    return cmd;
}

void RunTrimText(TToolRuns& runs, const TTrimRunContext& ctx, TToolRun& run,
                 const std::string& chunk) {
    const bool matroska = ctx.Command.Matroska;
    const bool mencoder = ctx.Command.Mencoder;
    const bool cutMode = ctx.Mode == TMode::Cut;
    TProgressInputs view{ctx.Mode, ctx.SoundOnly, ctx.InputExt, matroska};
    const int64_t total = ProgressTotal(ctx.Mode, false, ctx.CutDuration, ctx.ClipDuration);
    auto show = [&] {
        TProgressView v;
        {
            std::lock_guard lock(runs.ProgressMutex());
            v = DecideProgressView(view, runs.CutProgress, runs.PosProgress);
        }
        ShowProgress(runs.Host(), v);
    };

    if (cutMode && !mencoder && !matroska && chunk.find("time=") != std::string::npos) {
        if (auto p = ParseTimeProgress(chunk, total, false)) {
            std::lock_guard lock(runs.ProgressMutex());
            runs.CutProgress = *p;
        }
        show();
    }
    if (matroska && chunk.find("Progress:") != std::string::npos) {
        if (auto p = ParseTimeProgress(chunk, total, true)) {
            std::lock_guard lock(runs.ProgressMutex());
            runs.CutProgress = *p;
        }
        show();
    }
    if (cutMode && mencoder && chunk.find("Pos:") != std::string::npos) {
        {
            std::lock_guard lock(runs.ProgressMutex());
            runs.PosProgress = ParsePosProgress(chunk, total, runs.Counters);
        }
        show();
    }
    if (matroska && !run.StoppedOnPurpose()) {
        // The middle part is complete once the splitter has closed it: stop before it writes the
        // rest of the source into a third file. It is stopped at once: the middle part appears
        // under its name only when whole, and a splitter that has ended keeps its own outcome.
        const std::string middle = TrimWorkPart(ctx.Command, ctx.ToolFolder, 2);
        if (FileExists(middle) && !SplitterHoldsOpen(middle, run.Process().Pid()))
            run.StopOnPurpose();
    }
    // "video:0kB audio:0kB" is found by the run's output watch, also across chunks.
}

void RunTrimComplete(TToolRuns& runs, const TTrimRunContext& ctx, TToolRun& /*run*/,
                     const TRunOutcome& outcome) {
    FinishTrim(runs, ctx, outcome);
}

void FinishTrim(TToolRuns& runs, const TTrimRunContext& ctx, const TRunOutcome& outcome) {
    TRunHost& host = runs.Host();
    JobState& st = runs.State();
    bool failed = outcome.Failed;
    std::string reason = outcome.Reason;
    bool removeOutput = true;

    std::string commitFrom;
    if (ctx.Command.Matroska) {
        if (!failed) {
            const std::string middle = TrimWorkPart(ctx.Command, ctx.ToolFolder, 2);
            if (!FileExists(middle)) {
                failed = true;
                reason = "the splitter wrote no part for this range";
            } else if (ctx.Files) {
                commitFrom = middle; // moved onto the reservation with the job's result
            } else if (!MoveFileNoReplace(middle, ctx.Command.OutputFile)) {
                failed = true;
                reason = "the cut part could not be moved to " + ctx.Command.OutputFile;
                // Whatever is there now is not ours.
                removeOutput = false;
            }
        }
        RemoveWorkParts(ctx.Command, ctx.ToolFolder, !commitFrom.empty());
    }

    host.Post([&host, &st, failed] {
        host.StopBigFileWorker();
        st.RunFailed = failed;
        EndRunControls(st, host);
        host.AppendMemo(failed ? "DosRunTrim Failed." : "DosRunTrim done.");
    });
    TJobResultInputs result;
    result.Mode = ctx.Mode;
    result.Failed = failed;
    result.FailReason = reason;
    result.Cause = outcome.Cause;
    result.OutputFile = ctx.Command.OutputFile;
    result.RemoveOutput = removeOutput;
    result.JobId = ctx.JobId;
    result.Files = ctx.Files;
    result.CommitFrom = commitFrom;
    ShowJobResult(host, result);
}

} // namespace trimora
