#pragma once
// The shared job state: owned by the main window (or by the command-line mode) and passed by
// reference to whatever reads or writes it. Field names follow the program's own vocabulary.
// Folder texts end with '/'. Touched on the user-interface thread only.

#include <cstdint>
#include <string>

namespace trimora {

enum class TMode { Cut, Join, Convert };

struct JobState {
    // Folders
    std::string ProgramFolder, TempFolder, SystemFolder, ToolFolder;
    std::string DefaultSaveConvertFolder, DefaultSaveJoinFolder, SaveImageFolder;
    std::string ConvertFolder, SaveConvertFolder, JoinFolder, SaveJoinFolder;

    // Tool command prefixes and thread pieces
    std::string FfmpegCommand, MencoderCommand, FmergeCommand, MmergeCommand, AcutCommand;
    std::string EdlFile;
    std::string ThreadsOption, LavcThreadsOption;

    // Flags
    bool DesignMode = false;
    bool StartupDone = false;
    bool BuildOnly = true;
    bool RunFailed = false;
    bool StartAfterEnd = false;

    // Mode of the window (CUT/JOIN/CONVERT) and the switches that change what a job does
    TMode Mode = TMode::Cut;
    bool Partial = false;   // chkboxPartial
    bool SoundOnly = false; // chkboxSoundOnly

    // Selected clip
    std::string InputFile, InputFileName, InputExt, InputSizeText;
    int64_t InputFileSize = 0;
    int64_t ClipDuration = 0;

    // Range
    int64_t CutDuration = 0;
    std::string CutTimeText, SeekArgs;
    // Cut times (PrepareCutTimes): the trimmed texts, the exact start, the duration in decimal
    // digits and the pieces of the mencoder tool ("-endpos 37", "-edl \"...\" -hr-edl-seek ") and of
    // the splitter ("00:01:23.456,00:02:00.000").
    std::string CutStartText, CutEndText;
    double CutStartSeconds = 0;
    std::string CutDurationText, EndPosPiece, EdlPiece, SplitPiece;
    bool CutNosound = false; // chkboxNosound ("Cut Nosound")
    bool CutExact = false;   // chkboxExact ("Exact"): frame-accurate cut

    // Job being prepared / run
    std::string OutputFile;
    int JobCounter = 0;

    // Join
    std::string JoinExt, JoinBaseName, JoinedOutput, JoinCountText;
    std::string JoinClickedFile;    // caption of the join row clicked last
    int JoinFileType = 0;           // item index of the join format group (0 "avi" ... 6 "vob,webm")
    bool JoinAllChecked = false;    // the join ticks were set with "Check ALL"
    std::string JoinFileList;       // the ticked files as command pieces
    int JoinFileCount = 0;          // number of ticked files of the last build
    std::string FirstFrameSize;     // "Frame Size" column of the first ticked row
    std::string NormFile, NormCommand, JoinCommand;
    bool JoinByMencoder = false;    // the join runs on mcut.exe ("Pos:" progress)
    bool JoinByMerge = false;       // the join runs on mmerge.exe ("Progress:" progress)
    int64_t JoinTotalSize = 0; // bytes of the files to join

    // Output list: what the pending rows read
    std::string ConvertTypeText; // text of cBoxConvertType (".mp4", "(Device) ...")
    std::string ConvertType;     // convert target type in force (DetermineConvertType)
    std::string AudioTypeText;   // text of ComboAudio (".mp3", ...)
    bool InputSelected = false;  // a source is selected in LvInput
};

} // namespace trimora
