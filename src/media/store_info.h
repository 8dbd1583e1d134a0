#pragma once
// What the program knows about the selected clip, learnt by running the encoder front-end on it
// and reading the stream report it prints. The parse is free of any window: what the window must
// show (list sub-items, slider maximum, total-time label, summary, the refresh it asks for) comes
// back as a plain result that the caller applies.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace trimora {

// The clip information record. One instance lives as long as the window; each probe overwrites
// the fields it reaches and leaves the others (a bad file keeps the previous clip's values).
struct TStoreInfo {
    std::string DurationText = "00:30:00"; // HH:MM:SS, fraction dropped
    int64_t ClipDuration = 1800;           // DurationText in whole seconds
    double DurationSeconds = 1800;         // with the fraction the tool printed
    std::string BitrateText = "5080";      // overall kb/s, decimal digits
    int32_t BitrateKbps = 5080;
    std::string FrameSize;          // "1280x720", empty when not found
    std::string AspectText;         // width / height, "%.3f"
    std::string FpsText;            // as the tool prints it, "29.97"
    std::string CodecSummary;       // "h264 - aac - " or "h264 - NoAudio - "
    int32_t AudioBitrateKbps = 192; // never above 192
    int32_t AudioRateHz = 44100;    // raised to 44100 below 41000
    // Command pieces pasted into encoder command lines: " -ab 192k " and " -ar 44100 ", or a
    // single blank each when the clip has no audio.
    std::string AudioBitrateOption = " -ab 192k ";
    std::string AudioRateOption = " -ar 44100 ";
    bool NoAudio = false;
    bool BadFile = false; // set by the probe only; the caller clears it before a new clip
    bool FlvCanSeek = false;
    bool FlvHasKeyframes = false;
    bool Interleaved = false;
};

// Which source-list page the window shows.
enum class TSourcePage { Input, InputJoin, Other };

// What the window asks of the parse besides the report lines.
struct TClipReportInputs {
    std::string InputExt;             // lower case with its point: ".flv", ".wmv"
    bool DesignMode = false;          // the summary is only written in design mode ...
    bool ClipChosenInLvInput = false; // ... and once a clip has been chosen in LvInput
    TSourcePage Page = TSourcePage::Input;
    bool HasSelectedItem = false; // the list of that page has a selected item
    // The checked mode, for the refresh the parse asks for at its end.
    bool JoinMode = false;    // rdJoin
    bool ConvertMode = false; // rdConvert
    bool SoundOnly = false;   // chkboxSoundOnly
};

// The refresh of what depends on the clip, by mode. For every kind but JoinRow the window then
// also calls AddPendingRow, sets both slider positions to 0 and enables both preview load
// timers (see TClipReportResult::ResetPreviews).
enum class TClipRefresh {
    None,      // bad file, or the report was not parsed
    JoinRow,   // RefreshJoinRow
    SoundOnly, // ExtractAudio (it only prepares while BuildOnly is set)
    Convert,   // AddPendingRow, then ConvertClip with a length of 0
    Cut,       // nothing before the common steps
};

struct TClipReportResult {
    bool BadFile = false;
    // Sub-items to append to the selected item of LvInput / LvInputJoin (empty: none).
    std::vector<std::string> InputSubItems;
    std::vector<std::string> JoinSubItems;
    // Maximum of both StartSlider and EndSlider (99 for wmv clips); valid when SetSliderMax.
    bool SetSliderMax = false;
    int64_t SliderMax = 0;
    // Text of lblTotalTime; valid when SetTotalTime.
    bool SetTotalTime = false;
    std::string TotalTimeText;
    // Text to append to the report memo (design mode); empty: nothing. Line breaks are CR LF.
    std::string SummaryText;
    TClipRefresh Refresh = TClipRefresh::None;
    // AddPendingRow, slider positions to 0, both preview load timers enabled.
    bool ResetPreviews = false;
};

// Parses a clip report (the tool's lines, stdout and stderr together) into info.
TClipReportResult ParseClipReport(const std::vector<std::string>& lines,
                                  const TClipReportInputs& inputs, TStoreInfo& info);

// The probe command: ffmpegCommand + " -i \"" + path + "\"" (the path escaped so that the
// command split gives it back exactly, whatever it holds).
std::string BuildProbeCommand(const std::string& ffmpegCommand, const std::string& fileName);

struct TProbeOutcome {
    bool Started = false;            // the tool could be started; otherwise nothing was parsed
    std::vector<std::string> Report; // the report lines (what MemoClipInfo shows)
    TClipReportResult Result;        // valid when Started
    // Why the probe gave no clip values (not started, killed, timed out, the source unreadable);
    // empty when it completed or when the tool found the media invalid (Result.BadFile).
    std::string Failure;
};

// Runs the encoder on the clip, waits for it, and parses its report into info.
TProbeOutcome ProbeClip(const std::string& ffmpegCommand, const std::string& fileName,
                        const TClipReportInputs& inputs, TStoreInfo& info);

// The record as "Field: value" pairs in field order, for the command line's probe output.
std::vector<std::pair<std::string, std::string>> StoreInfoFields(const TStoreInfo& info);

} // namespace trimora
