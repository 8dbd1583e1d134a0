#pragma once
// The output list as a model without a window: one message row (ID 101) and one row per job.
// While no job runs, the row of the job that Start would run (ID JobCounter + 1) shows
// "PENDING" and its future output file; when the job ends the same row, found by its ID, gets
// "DONE" or "FAILED" and the size. The window shows the rows and refreshes the one an observer
// call names. Also here: how the outputs of the cut, convert and sound-only jobs are named.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/job_state.h"

namespace trimora {

constexpr int MessageRowId = 101;

enum class TJobStatus { None, Pending, Idle, Done, Failed };
// "", "PENDING", "Idle", "DONE", "FAILED"
const char* JobStatusText(TJobStatus status);

// Indices into the window's row image list.
enum class TRowIcon : int {
    None = -1,
    WindowsMedia = 0, // .asf .wmv
    Mpeg4 = 1,        // .m4v .mp4 .mov
    Flash = 2,        // .flv .swf
    Matroska = 3,     // .mkv
    RealMedia = 4,    // .ram .rmvb .rm
    Mpeg = 5,         // .mpg .mpeg
    Avi = 6,          // .avi
    Audio = 7,        // .aac .m4a .mp3 .ogg .wma .wav
    Message = 8,
    OtherVideo = 9, // .webm .3gp .3g2 .vob .ts .m2ts .divx .ogv
};
// The icon for an extension text; other extensions keep `current`.
TRowIcon IconForExtension(const std::string& ext, TRowIcon current);

struct TOutputRow {
    std::string Caption;  // output file name (no folder), or the message text
    std::string Status;   // JobStatusText(...) or "Total =N" for a pending join
    std::string SizeText; // FormatFileSize, empty when the size is 0 or less
    int Id = 0;
    std::string FullPath; // empty for the message row
    TRowIcon Icon = TRowIcon::None;
};

enum class TRowChange { Added, Changed, Cleared };

class TOutputList {
  public:
    // Told after every change: which row (index) was added or changed; -1 with Cleared.
    using Observer = std::function<void(TRowChange change, int row)>;
    void SetObserver(Observer observer) { observer_ = std::move(observer); }

    const std::vector<TOutputRow>& Rows() const { return rows_; }
    int Count() const { return static_cast<int>(rows_.size()); }
    const TOutputRow& Row(int index) const { return rows_.at(static_cast<size_t>(index)); }

    // Index of the first row with that ID, or -1.
    int FindRowById(int id) const;

    // Finds the row with the ID, or appends one with empty status, size and path; sets its
    // caption, clears its status and sets its icon: the message icon for ID 101 with icon flag
    // 0, the icon of iconExt for every other ID. Returns the row index.
    int SetRowCaption(const std::string& caption, int id, int iconFlag, const std::string& iconExt);
    // On the row with the ID (nothing when there is none): status, size text, ID and path.
    void SetRowStatus(const std::string& status, const std::string& fullPath, int64_t size, int id);
    void SetRowStatus(TJobStatus status, const std::string& fullPath, int64_t size, int id) {
        SetRowStatus(std::string(JobStatusText(status)), fullPath, size, id);
    }
    // "Clear List".
    void Clear();

    // The text of the message row as last composed by a pending refresh.
    std::string MessageText;

  private:
    void Notify(TRowChange change, int row);
    std::vector<TOutputRow> rows_;
    Observer observer_;
};

// Message row texts.
inline constexpr const char* RunTimeMessageText = "Run time message";
inline constexpr const char* WebmWarningText =
    "WARNING: webm encoding is extremely slow for this build !";
inline constexpr const char* JoinSpecsWarningText =
    "ALL FILES must have same specs (Frame size, codecs...)";

// Output names --------------------------------------------------------------------------------
// The file name of the input with every occurrence of its own extension removed
// ("clip.mp4.mp4" -> "clip").
std::string OutputBaseName(const std::string& inputFile);
// The wanted names, each passed through MakeUniqueFileName.
std::string CutOutputName(const std::string& saveFolder, const std::string& inputFile);
std::string ConvertOutputName(const std::string& saveFolder, const std::string& inputFile,
                              const std::string& convertType, bool partial);
std::string AudioOutputName(const std::string& saveFolder, const std::string& inputFile,
                            const std::string& audioType);

// The convert target type in force: the text of cBoxConvertType, unless it names a device
// preset (then the type the preset set stays); shorter than 2 characters gives ".avi". Stores
// it in state.ConvertType and returns it.
std::string DetermineConvertType(JobState& state);

// Pending refreshes. All do nothing before state.StartupDone.
// Cut and convert modes: sets BuildOnly and OutputFile, rewrites the message row and the row
// JobCounter + 1.
void AddPendingRow(JobState& state, TOutputList& list);
// Sound-only: same with the audio output name.
void AddAudioPendingRow(JobState& state, TOutputList& list);
// Join mode: buildJoinCommand (the join builder, which also sets JoinedOutput, JoinCountText
// and JoinTotalSize) runs first; then the message row and the pending join row.
void RefreshJoinRow(JobState& state, TOutputList& list,
                    const std::function<void()>& buildJoinCommand);

} // namespace trimora
