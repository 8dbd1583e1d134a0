#pragma once
// The cut: the start and end times turned into tool pieces, the command line for the source's
// container class (encoder, mencoder tool or Matroska splitter), and the handlers of the "RunTrim"
// runner that follow the tool's progress, stop the splitter once the middle part is complete,
// move that part into place and report the result.

#include <cstdint>
#include <string>

#include "common/job_state.h"
#include "common/safe_output.h"
#include "exec/tool_runs.h"
#include "media/store_info.h"

namespace trimora {

// The extensions that can be cut (searched anywhere in the extension, ignoring case).
inline constexpr const char* kCutExtensionsPattern =
    "(?i)asf|avi|flv|m4v|mp4|mkv|mov|mpg|mpeg|wmv|vob|m2ts|webm|divx";
inline constexpr const char* kCutFormatsMessage =
    "Video cutting only supports the following file formats:\r\nasf, avi, flv, m2ts, m4v, mp4, "
    "mkv, mov, mpg, mpeg, wmv, webm, vob, divx";
inline constexpr const char* kStartAfterEndMessage =
    "StartTime can not be greater than EndTime ! Please complete settings for Start and End "
    "Times.";

// Turns the two time texts (EditStartTime, EditEndTime) into CutDuration, CutTimeText, SeekArgs,
// the end-position, EDL and split pieces and StartAfterEnd, and returns
// SeekArgs (empty without a valid range). Does nothing before StartupDone. The EDL file itself is
// written by each run into its work folder.
std::string PrepareCutTimes(JobState& state, const std::string& startText,
                            const std::string& endText);

// What the cut builder reads, as plain values.
struct TTrimSnapshot {
    std::string InputFile;         // full path
    std::string InputExt;          // lower case, with its point
    std::string SaveConvertFolder; // ends with '/'
    std::string FfmpegCommand, MencoderCommand, MmergeCommand;
    std::string ThreadsOption, LavcThreadsOption, ToolFolder;
    std::string SeekArgs, EndPosPiece, EdlPiece, SplitPiece;
    bool NoAudio = false;
    std::string AudioRateOption, AudioBitrateOption, CodecSummary;
    std::string VolumePiece; // of the convert options; empty until one has been chosen
    bool CutNosound = false;
    // Set for a run: the reserved output name and the private file the tool writes (the
    // splitter's work file for a Matroska source). Empty: the preview's own names.
    std::string ReservedOutput, ToolOutput;
    bool CutExact = false; // start and end on the chosen frames (fcut.exe -exact)
    std::string CutStartText, CutEndText;
};

TTrimSnapshot MakeTrimSnapshot(const JobState& state, const TStoreInfo& info,
                               const std::string& volumePiece = "");

struct TTrimCommand {
    std::string CommandLine; // empty for an extension of no class
    std::string OutputFile;  // MakeUniqueFileName(SaveConvertFolder + base + "-Cut" + ext)
    std::string SourceExt;   // the source's extension, letters as they are (".MKV")
    bool Matroska = false;   // splitter path: SourceExt is ".mkv" in any letter case
    bool Mencoder = false;   // the mencoder tool's class, "wmv|asf"
    std::string WorkFile;    // splitter output base: ToolFolder + "trim" + SourceExt
};

// Composes the cut command for the snapshot (reads the disk only to number the output name).
TTrimCommand BuildTrimCommand(const TTrimSnapshot& snapshot);

// What the cut's handlers need of the job, taken when it starts.
struct TTrimRunContext {
    TMode Mode = TMode::Cut;
    bool SoundOnly = false;
    std::string InputExt;
    int64_t CutDuration = 0, ClipDuration = 0;
    TTrimCommand Command;
    std::string ToolFolder; // where the splitter's parts are
    int JobId = 0;
    TJobFilesPtr Files;     // the run's reserved output and work folder
};

// The cut builder: composes the command, sets OutputFile, clears the command memo and shows the
// command in it. With BuildOnly false it also starts the run: BeginRunControls and the "RunTrim"
// runner (nothing when the slot is busy). With BuildOnly true the caller adds the pending row.
// Does nothing before StartupDone (returns an empty command). GUI thread.
TTrimCommand BuildTrim(JobState& state, const TStoreInfo& info, TToolRuns& runs,
                       const std::string& volumePiece = "");

// The "RunTrim" handlers (reader thread under the runner's lock; waiting thread).
void RunTrimText(TToolRuns& runs, const TTrimRunContext& ctx, TToolRun& run,
                 const std::string& chunk);
void RunTrimComplete(TToolRuns& runs, const TTrimRunContext& ctx, TToolRun& run,
                     const TRunOutcome& outcome);
// The end of a cut, also of one whose tool never started.
void FinishTrim(TToolRuns& runs, const TTrimRunContext& ctx, const TRunOutcome& outcome);

// "-edl \"<file>\" -hr-edl-seek " and the EDL that makes the mencoder tool start at the start.
std::string EdlPieceFor(const std::string& edlFile);
bool WriteEdlFile(const std::string& edlFile, double startSeconds);

// The splitter's part N (1..3) of the work file, as it is on the disk: "trim-002.MKV" or
// "trim-002.mkv" (names compared without case). Returns the name in the work file's spelling
// when none exists.
std::string TrimWorkPart(const TTrimCommand& command, const std::string& toolFolder, int part);

} // namespace trimora
