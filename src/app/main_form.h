#pragma once
// The main window. Controls are public members named as the program names them, so that every
// job's window code (cut, convert, join, previews) and the window tests reach them directly.
// Handlers are public members too: one per control event, named after the control and event.
//
// The window's code is split by concern:
//   main_form.cpp           start-up, shutdown, timers, dragging, exceptions
//   main_form_layout.cpp    building the controls and their layout
//   main_form_settings.cpp  settings, folder histories, folder buttons and boxes
//   main_form_lists.cpp     the source lists and the clip probe
//   main_form_run.cpp       Start, Cancel, results, summary line, command preview
//   main_form_modes.cpp     mode buttons and option handlers
// and each job adds its own main_form_<job>.cpp.

#include "app/window_run_host.h"
#include "common/file_list.h"
#include "common/job_state.h"
#include "exec/dos_cmd_process.h"
#include "exec/tool_runs.h"
#include "jobs/join_run.h"
#include "workers/join_monitor.h"
#include "jobs/convert_job.h"
#include "jobs/extra_runs.h"
#include "jobs/output_list.h"
#include "media/store_info.h"
#include "preview/desktop_awake.h"
#include "preview/preview_player.h"
#include "workers/bmd_thread.h"

#include <QMainWindow>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

class QCheckBox;
class QSettings;
class QKeyEvent;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QAction;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSlider;
class QSplitter;
class QStackedWidget;
class QTabWidget;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace trimora {

class TRadioGroup;
class PreviewPanel;

// Column indexes of the lists.
namespace col {
// LvInput
constexpr int InName = 0, InSize = 1, InFrameSize = 2, InDuration = 3;
// LvInputJoin
constexpr int JoinName = 0, JoinSize = 1, JoinBytes = 2, JoinFrameSize = 3, JoinFps = 4,
              JoinSummary = 5, JoinOrder = 6; // JoinOrder shows first: the join's order
// The number a list sorts a size or duration column by (bytes, seconds), kept beside the text.
constexpr int SortRole = Qt::UserRole + 1;
// lvProgress
constexpr int OutName = 0, OutStatus = 1, OutSize = 2, OutId = 3, OutPath = 4;
} // namespace col

class MainForm : public QMainWindow {
  public:
    explicit MainForm(QWidget* parent = nullptr); // runs FormCreate
    ~MainForm() override;

    // ---- shared job state ------------------------------------------------------------------
    JobState State;
    TStoreInfo Info;        // what the last probe learnt about the clip
    std::string ProbeFailure; // why the last probe gave no clip values; empty when it did
    TOutputList OutputList; // the rows lvProgress shows
    // The job runner slots (cut, convert, join) and the shared progress, showing through
    // RunHost. Declared before ExtraRuns, so the audio job outlives the extra runs.
    TWindowRunHost RunHost{*this};
    TToolRuns Runs{State, RunHost};
    // The convert and sound-only jobs: their options as last read and the pieces they built
    // (main_form_convert.cpp).
    TConvertJob ConvertJob;
    TAudioJob AudioJob;
    TExtraRuns ExtraRuns; // warm-up, frame save, audio, normalising clip
    // The audio job's runner handlers (set by the audio job; called on the runner's threads).
    TDosCmdProcess::TextHandler AudioRunText;
    TDosCmdProcess::CompleteHandler AudioRunComplete;
    int ProcessorCount = 1;
    int ScreenWidth = 0, ScreenHeight = 0; // recorded at start-up for the geometry rule
    std::string NormalTitle;               // "Trimora - <web address>"

    // ---- start-up and shutdown (main_form.cpp) ----------------------------------------------
    void FormCreate();
    void StartupDoneTimerTimer();
    void FormCloseQuery();
    void WaitForRunsToEnd(int ms); // processes events until no job runner is busy
    void btnExitClick();
    void chkboxffmpegbuildClick();
    void HandleApplicationException(const std::string& message);
    void SetToolCommands(); // the tool command prefixes from SystemFolder / ToolFolder
    // Text added to MemoCode as one line (the command log).
    void MemoCodeAdd(const std::string& line);
    void MemoCodeClear();
    void SetStatus(const std::string& text); // lblStatus
    // Runs fn on the user-interface thread (queued); safe to call from any thread.
    void Queue(std::function<void()> fn);
    // Installs the mouse handler that drags the whole window on the given widget.
    void AllowWindowDrag(QWidget* widget);

    // ---- settings and folders (main_form_settings.cpp) ---------------------------------------
    static QString SettingsFile(); // $XDG_CONFIG_HOME/Quennic/TrimoraCut.conf
    void LoadHistories();
    void LoadSettings();
    void SaveSettings();
    void WriteSettingsTo(QSettings& reg);
    void btnInputFolderClick();
    void btnOutputFolderClick();
    void btnSelectJoinFolderClick();
    void btnSaveJoinFolderClick();
    void ComboConvertSelect();
    void ComboSaveConvertSelect();
    void ComboJoinSelect();
    void ComboSaveJoinSelect();
    void btnOpenInputClick();
    void btnOpenOutputClick();
    void btnOpenJoinFolderClick();
    void btnOpenSaveJoinFolderClick();
    static constexpr const char* kHistoryConvert = "videoconvertdirs.log";
    static constexpr const char* kHistorySaveConvert = "videosavedirs.log";
    static constexpr const char* kHistoryJoin = "videoJoindirs.log";
    static constexpr const char* kHistorySaveJoin = "videosavejoindirs.log";

    // ---- source lists (main_form_lists.cpp) --------------------------------------------------
    static const char* const kSourcePattern;
    // pattern of the join list by rgJoinSelection item; fromButton: the folder-button table
    static std::string JoinPattern(int item, bool fromButton);
    static int IconIndexForName(const std::string& fileName);
    void FillFileList(const std::string& folder, const std::string& pattern, QTreeWidget* list,
                      bool withBytes);
    // The sizes of a listing, once found (GUI thread); ignored when the list was filled again.
    void ApplyListSizes(QTreeWidget* list, int generation, bool withBytes,
                        const std::vector<FileListRow>& rows);
    FileSizeFill InputSizeFill, JoinSizeFill;
    int InputListGeneration = 0, JoinListGeneration = 0;
    void LvInputMouseUp(const QPoint& pos);
    void SelectInputRow(int row); // what a click on a row of LvInput does
    void LvInputJoinMouseUp(const QPoint& pos);
    void SelectJoinRow(int row);
    void mnPlayLvInputFileClick();
    void chkboxJoinAllCheckClick();
    void ThreadInfoStart();
    // Runs the clip probe on the file and applies the result to the list row, labels, sliders.
    void ProbeSelectedClip(const std::string& file, bool joinList);
    void UpdateJoinOutputName(const std::string& caption);
    void ClearClipInfo(); // forgets the bad-file mark of the last probe
    void ClearInputSelection();
    // Sorts a source list by one column (name in natural order, size by bytes, duration by
    // seconds); the clip chosen stays chosen. On the join list this is the join's new order.
    void SortList(QTreeWidget* list, int column, Qt::SortOrder order);
    void ListHeaderClicked(QTreeWidget* list, int column); // ascending, then descending
    void MoveJoinRow(int delta); // the highlighted join row up (-1) or down (+1)
    void NumberJoinRows();       // the order column after every change of the join list
    // Lists the folder of path (or path itself, a folder) and chooses the clip path names, as
    // a click would; from the command line, a second start or a drop. False when not usable.
    bool OpenPath(const std::string& path);
    // The clip under the keyboard's current row is chosen, as a click chooses it (a short delay
    // lets a held arrow key pass over clips without probing each).
    void KeySelectTimerTimer();
    QTimer KeySelectTimer;
    int CheckedInputIndex = -1;
    bool SelectionComplete = false; // a clip of LvInput is selected
    bool ClipSelectedOnce = false;  // a clip of LvInput was chosen since start
    bool PendingUpdatesAllowed = false;

    // ---- start, cancel, results (main_form_run.cpp) ------------------------------------------
    void btnStartClick();
    void btnCancelClick();
    void lvProgressDblClick();
    void lblStatusDblClick();
    void mnClearlistClick();
    void BeginRunControls();
    void EndRunControls();
    void RefreshCutSummary();
    void RefreshCommandPreview();
    void ThreadBigFileExecute(TBMDThread& worker);
    // The cut of the selected clip: prepares while BuildOnly, runs otherwise.
    void BuildTrim();
    // Rebuilds the message row and the pending row of the cut and convert modes.
    void AddPendingRow();
    void OpenOutputFile(const std::string& path);
    bool IsRunning() const; // a job's tool runs (Start is disabled)
    void ResetProgress();   // the progress records back to 0 before a run
    // The range from the two time boxes: CutDuration, StartAfterEnd, CutTimeText, SeekArgs.
    void PrepareCutTimes();
    void ClearCutPieces(); // SeekArgs and the end-position and EDL pieces
    std::chrono::system_clock::time_point BigFileStart;
    std::string BigFileElapsed;
    std::string LastSavedImage;
    TBMDThread ThreadInfo;
    TBMDThread ThreadBigFile;

    // ---- modes (main_form_modes.cpp) ----------------------------------------------------------
    void rdCutQuickClick();
    void rdJoinClick();
    void rdConvertClick();
    void chkboxPartialClick();
    // CUT mode's "Exact": what it will do for the selected clip, for the summary line (empty
    // when it is off; the clip's keyframes are read once per clip, away from the window thread).
    std::string ExactCutSummary();
    // CUT mode without "Exact": where the stream copy of the chosen range really starts and ends
    // (main_form_copy_range.cpp); the clip's keyframes come from CopyKeys.
    std::string CopyRangeSummary();
    std::shared_ptr<class TKeyframeCache> CopyKeys;
    bool CopyKeysPolling = false;
    void PollCopyKeys(); // the summary again once the keyframes are there and no job starts or runs
    void cBoxConvertTypeSelect();
    void ComboAudioSelect();
    void chkboxSoundOnlyMouseUp();
    void ApplyModeLayout();
    void ResetPositions();
    void SyncModeState(); // State.Mode/Partial/SoundOnly from the controls
    void SetOptionPanelVisible(bool shown);

    // ---- jobs with their own files ------------------------------------------------------------
    // convert and sound-only (main_form_convert.cpp): false when nothing was started
    bool ConvertClip(int64_t seconds);
    std::string ConvertVolumePiece() const; // the gain piece of the last convert build
    bool ExtractAudio();
    // The convert and audio option lists into ConvertJob.Options / AudioJob.Options.
    void ReadConvertOptions();
    void ReadAudioOptions();
    // join (main_form_join.cpp): the join starter; false when it refused
    bool JoinClips();
    void RefreshJoinRow();
    // The join list, its switches and the "Cut Nosound" box, as the join builder reads them.
    TJoinListSnapshot JoinListSnapshot();
    // Builds the join command and shows it in MemoCode; the command, empty when none.
    std::string BuildJoinPreview();
    // Refreshes the status text and the gauge while a join runs (started with the run, stopped
    // when it ends).
    TJoinListFileMon ThreadJoinListFileMon{JoinMonitorHost(Runs)};
    // previews (main_form_preview.cpp)
    void InitPreviews();
    void StopPreviews();
    void LoadStartVideoTimerTimer();
    void LoadEndVideoTimerTimer();
    void StartPauseTimerTimer();
    void EndPauseTimerTimer();
    void UpdateTimerTimer();
    void StartSliderMouseUp(Qt::MouseButton button);
    void EndSliderMouseUp(Qt::MouseButton button);
    void StepButtonMouseUp(bool endSide, int step);
    void SaveFrame(bool endSide);
    void LoadStartPreview(const std::string& path);
    void LoadEndPreview(const std::string& path);
    void UpdateStartPositionText(); // on PositionChanged of Core
    void UpdateEndPositionText();   // on PositionChanged of CoreEnd
    std::string SeekType() const;   // " 1" (percent) for a WMV clip, " 2" (seconds) otherwise
    void SeekPreview(PreviewPanel& view);
    PreviewPlayer Core;    // the start preview, in VidStartPanel
    PreviewPlayer CoreEnd; // the end preview, in VidEndPanel
    uint64_t StartPanelWindow = 0, EndPanelWindow = 0; // their native windows
    double StartSeconds = 0, EndSeconds = 0; // last positions read from the players
    bool EndPreviewLoadedOnce = false;       // the first clip's load delays are over
    TDesktopAwake DesktopAwake;
    // extra runs (main_form.cpp): false when not started
    bool StartExtraRun(const std::string& command, const std::string& kind,
                       const std::string& outputPath = "");
    // the saved-frame message, or nothing when the frame was not saved
    void FrameSaved(const std::string& imagePath, bool saved);
    // lvProgress follows the output list
    void ShowOutputRow(int row);
    void SyncOutputList();

    // ---- controls -----------------------------------------------------------------------------
    // folder panels
    QStackedWidget* HostFolderPanel = nullptr;
    QWidget* ConvertFolderPanel = nullptr;
    QWidget* JoinFolderPanel = nullptr;
    QPushButton *btnInputFolder = nullptr, *btnOutputFolder = nullptr;
    QPushButton *btnSelectJoinFolder = nullptr, *btnSaveJoinFolder = nullptr;
    QComboBox *ComboConvert = nullptr, *ComboSaveConvert = nullptr;
    QComboBox *ComboJoin = nullptr, *ComboSaveJoin = nullptr;
    QPushButton *btnOpenInput = nullptr, *btnOpenOutput = nullptr;
    QPushButton *btnOpenJoinFolder = nullptr, *btnOpenSaveJoinFolder = nullptr;

    // mode strip
    QWidget* Paneles3 = nullptr;
    QPushButton *btnStart = nullptr, *btnCancel = nullptr, *btnExit = nullptr;
    QRadioButton *rdCutQuick = nullptr, *rdJoin = nullptr, *rdConvert = nullptr;
    QLabel *LabelCutQuick = nullptr, *LabelVidJoin = nullptr, *LabelVidConvert = nullptr;
    QCheckBox* chkboxPartial = nullptr;
    QLabel* lblPartial = nullptr;
    QLabel* lblStatus = nullptr;
    QProgressBar* GaugeMain = nullptr;

    // lists
    QWidget* MainPanel = nullptr;
    QTabWidget* P1 = nullptr;
    QWidget *InputTab = nullptr, *InputJoinTab = nullptr, *OptionTab = nullptr;
    QTreeWidget* LvInput = nullptr;
    QTreeWidget* LvInputJoin = nullptr;
    QWidget* Panel8 = nullptr;
    QLabel* lblJoinSelect = nullptr; // "Select Video Format Here --->"
    TRadioGroup* rgJoinSelection = nullptr;
    QCheckBox* chkboxJoinAllCheck = nullptr;
    QToolButton *btnJoinUp = nullptr, *btnJoinDown = nullptr; // the join order
    QTreeWidget* lvProgress = nullptr;

    // previews
    QWidget *StartPanel = nullptr, *EndPanel = nullptr, *Paneles2 = nullptr;
    PreviewPanel *StartView = nullptr, *EndView = nullptr; // the two previews (picture and controls)
    QWidget *VidStartPanel = nullptr, *VidEndPanel = nullptr; // their pictures
    QSlider *StartSlider = nullptr, *EndSlider = nullptr;
    QToolButton *btnStartRewind = nullptr, *BtnStartFwd = nullptr;
    QToolButton *btnEndRewind = nullptr, *btnEndFwd = nullptr;
    QLineEdit *EditStartTime = nullptr, *EditEndTime = nullptr;
    QLabel *lblStart = nullptr, *lblEnd = nullptr;
    QLabel* lblTotalTime = nullptr;
    QLabel* lblClipInfo = nullptr;
    QCheckBox* chkboxSoundOnly = nullptr;
    QLabel* Label12 = nullptr; // "Extract Audio Only"

    // convert options
    QWidget* PanelConvertOption = nullptr;
    QGroupBox* GroupBoxConvertOption = nullptr;
    QComboBox* cBoxConvertType = nullptr;
    QComboBox* comboSizeFavor = nullptr;
    QComboBox* ComboBoxFramePreset = nullptr;
    QComboBox* cboxIncludeSound = nullptr;
    QComboBox* cboxVolume = nullptr;
    QComboBox* ComboAudio = nullptr;
    QComboBox* ComboExtractVol = nullptr;

    // diagnostics (visible in design mode)
    QSplitter* Splitter4 = nullptr;
    QPlainTextEdit* MemoCode = nullptr;
    QPlainTextEdit* MemoClipInfo = nullptr;
    QWidget* PanelTest = nullptr;
    QCheckBox* chkboxNosound = nullptr;     // "Cut Nosound"
    QCheckBox* chkboxExact = nullptr;       // "Exact" (CUT mode strip)
    std::shared_ptr<struct ExactKeyframeRead> ExactKeys;
    QCheckBox* chkboxffmpegbuild = nullptr; // "Use ffmpegbuild"
    QLabel* lblMessage = nullptr;

    // popup menus
    QMenu* PopLvInput = nullptr;
    QAction* mnPlayLvInputFile = nullptr;
    QMenu* PopupProgress = nullptr;
    QAction* mnClearlist = nullptr;
    QMenu *PopVidStart = nullptr, *PopVidEnd = nullptr;
    QAction *mnSaveStartFrame = nullptr, *mnSaveEndFrame = nullptr;

    // timers
    QTimer StartupDoneTimer, LoadStartVideoTimer, LoadEndVideoTimer;
    QTimer StartPauseTimer, EndPauseTimer, UpdateEditTime, UpdateTimer;

    // ---- desktop (main_form_desktop.cpp) -------------------------------------------------------
    // Keyboard: Return presses the focused button, slider keys seek, I / O set the start / end
    // time to the focused preview's position, Space plays or pauses the preview under the mouse.
    void InstallKeyboard();
    bool HandleKey(QObject* watched, QKeyEvent* key); // true when the key was used
    void TogglePreviewUnderMouse();
    // Geometry kept inside the available area of the screen it is on (or the primary screen).
    void FitToScreen(int left, int top, int width, int height);

  protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void BuildLayout();       // main_form_layout.cpp
    void ConnectHandlers();   // main_form_layout.cpp
    void ApplyDesignLayout(); // main_form_layout.cpp
    bool closing_ = false;
    bool dragArmed_ = false;
    QPoint dragFrom_;
};

} // namespace trimora
