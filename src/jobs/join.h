#pragma once
// The join: the ticked clips of one folder and one format family become one file. The builder
// reads a snapshot of the join list and the job state, writes the join values into the state and
// returns the command; the window, the command-line mode and the tests share it.

#include "common/job_state.h"
#include "common/safe_output.h"

#include <cstdint>
#include <string>
#include <vector>

namespace trimora {

// One row of the join list, as the builder reads it.
struct TJoinRow {
    std::string Caption;   // file name, without folder
    int64_t SizeIn64 = 0;  // the hidden byte-count column
    std::string FrameSize; // "Frame Size" column as the probe wrote it; empty when not probed
    std::string Fps;       // "FPS" column; empty when not probed
    bool Checked = false;
};

// What the join builder reads from the window besides the job state.
struct TJoinListSnapshot {
    std::vector<TJoinRow> Rows;  // every row of the join list, in list order
    bool JoinPageShowing = true; // the join list is the page in front
    bool HasSelection = true;    // a row of the join list is selected
    bool Nosound = false;        // "Cut Nosound"
};

// Tool families of a join, chosen by the extension of the second row.
enum class TJoinFamily { None, Splitter, Flv, Avi, Mpeg, Wmv };

TJoinFamily JoinFamilyOf(const std::string& joinExt);
// True for the families mcut.exe joins (progress in "Pos:" chunks, files counted one by one).
bool IsMencoderJoinExt(const std::string& joinExt);
// True for the splitter family (progress in "Progress:" chunks, "cannot be appended").
bool IsMergeJoinExt(const std::string& joinExt);

// "." + the text after the last point of a caption; ".avi" when that is shorter than 2 letters.
std::string JoinExtOfCaption(const std::string& caption);
// The name a join into `saveFolder` gets: <last folder name of joinFolder or "File">-Joined<ext>,
// numbered when it exists.
std::string JoinedOutputName(const std::string& saveFolder, const std::string& joinFolder,
                             const std::string& joinExt);

struct TJoinBuildResult {
    bool Ran = false;                   // false before start-up is done: nothing was touched
    std::string Command;                // empty when nothing can be joined
    std::vector<std::string> MemoLines; // the command memo after the build (it is cleared first)
    std::string FpsMessage;             // design mode: "Samefps" or "not Samefps"; else empty
    std::string Error;                  // the output name could not be reserved
};

// Builds the join command from the ticked rows. Sets JoinExt, SaveJoinFolder, JoinBaseName,
// JoinedOutput, OutputFile, the file list, count, total size, first frame size, the normalising
// clip and its command (AVI family), JoinCommand, JoinByMencoder and JoinByMerge in `state`.
// With the run's job files, JoinedOutput is reserved, the tool writes the job's private file and
// the normalising clip goes to the job's work folder.
TJoinBuildResult BuildJoinCommand(const TJoinListSnapshot& list, JobState& state,
                                  TJobFiles* files = nullptr);

// Number of ticked rows.
int CountCheckedRows(const TJoinListSnapshot& list);

inline constexpr const char* kJoinTooFewFiles = "Please select atleast 2 files in list to join !";
inline constexpr const char* kJoinFormatsDoNotMatch = "FAILED! FILE FORMATS DO NOT MATCH.";
inline constexpr const char* kJoinSameSpecsWarning =
    "ALL FILES must have same specs (Frame size, codecs...)";

} // namespace trimora
