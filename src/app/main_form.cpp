// Start-up, shutdown, timers, window dragging and the exception handler of the main window.
#include "app/main_form.h"

#include "app/application.h"
#include "app/dialogs.h"
#include "common/command_line.h"
#include "common/helpers.h"
#include "common/safe_output.h"
#include "exec/dos_cmd_process.h"
#include "exec/startup_state.h"
#include "exec/tool_install.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>
#include <QThread>
#include <QToolButton>
#include <QTreeWidget>
#include <QWindow>

namespace trimora {

namespace {

// An executable path pasted at the head of a command: quoted only when the split would
// otherwise cut it (a blank in the home folder), so ordinary paths give the usual command text.
std::string ToolHead(const std::string& exe) {
    if (exe.find_first_of(" \t\"") == std::string::npos) return exe;
    return Quoted(exe);
}

void MakeFolder(const std::string& folder) {
    QDir().mkpath(QString::fromStdString(folder));
}

} // namespace

MainForm::MainForm(QWidget* parent) : QMainWindow(parent) {
    BuildLayout();
    ConnectHandlers();
    InstallKeyboard();
    setAcceptDrops(true);
    FormCreate();
}

MainForm::~MainForm() {
    TrimoraApplication::SetExceptionHandler({});
}

void MainForm::FormCreate() {
    // Design mode comes from a marker file beside the program.
    State.ProgramFolder = ProgramFolder();
    State.DesignMode = FileExists(State.ProgramFolder + "testingdesign.log");

    // The screen size decides whether the window's geometry is saved on close.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        ScreenWidth = screen->geometry().width();
        ScreenHeight = screen->geometry().height();
    }

    // How long a clicked clip waits before each preview loads it: the start picture first, the
    // end one right after it (a player opens quickly and the end preview needs nothing from the
    // start one).
    LoadStartVideoTimer.setInterval(10);
    LoadEndVideoTimer.setInterval(80);

    // The program's data folder and its tool folder.
    State.TempFolder = TempFolder();
    State.SystemFolder = SystemFolder();
    // No pause after making a folder: mkdir has finished when it returns.
    MakeFolder(State.SystemFolder + "qvcut");
    State.ToolFolder = State.SystemFolder + "qvcut/";
    // The front-ends of this build, linked where the commands expect them.
    const ToolInstallResult installed =
        EnsureFrontEndsInstalled(State.ProgramFolder, State.SystemFolder);

    // Thread options of the commands: always more threads than processors.
    ProcessorCount = GetProcessorCount();
    State.ThreadsOption = ThreadsOptionFor(ProcessorCount);
    State.LavcThreadsOption = LavcThreadsOptionFor(ProcessorCount);

    // Exceptions that reach the event loop are logged, not fatal.
    TrimoraApplication::SetExceptionHandler(
        [this](const std::string& message) { HandleApplicationException(message); });

    // Extra runs report back on the user-interface thread.
    ExtraRunHost host;
    host.Post = [this](std::function<void()> work) { Queue(std::move(work)); };
    host.FrameSaved = [this](const std::string& image, bool saved) { FrameSaved(image, saved); };
    host.AudioText = [this](TDosCmdProcess& sender, const std::string& text) {
        if (AudioRunText) AudioRunText(sender, text);
    };
    host.AudioComplete = [this](TDosCmdProcess& sender) {
        if (AudioRunComplete) AudioRunComplete(sender);
    };
    ExtraRuns.SetHost(std::move(host));
    OutputList.SetObserver([this](TRowChange change, int row) {
        if (change == TRowChange::Cleared)
            SyncOutputList();
        else
            ShowOutputRow(row);
    });

    // The players draw into the two preview panels.
    InitPreviews();

    // Title and layout; front-ends that could not be installed are named in the memo.
    NormalTitle = "Trimora - trimora.quennic.org";
    setWindowTitle(QString::fromStdString(NormalTitle));
    ApplyDesignLayout();
    for (const std::string& error : installed.errors)
        MemoCodeAdd(error);
    for (const auto& [name, sub] : FrontEndLayout()) {
        const std::string path = State.SystemFolder + sub + name;
        if (std::string why; FileExists(path) && !IsTrustedExecutable(path, why))
            MemoCodeAdd("Refusing to run " + path + ": " + why);
    }

    // The user's work folders under zStore, and the save-image menu items that name one.
    const std::string store = SystemDriveRoot() + "zStore/";
    MakeFolder(store);
    for (const char* sub : {"z Convert", "z SaveConvert", "z Cut", "z SaveCut", "z Join",
                            "z SaveJoin", "z SaveImage"})
        MakeFolder(store + sub);
    State.DefaultSaveConvertFolder = store + "z SaveConvert/";
    State.DefaultSaveJoinFolder = store + "z SaveJoin/";
    State.SaveImageFolder = store + "z SaveImage/";
    const QString imageItem = QStringLiteral("Save this Image to \"%1\" folder")
                                  .arg(QString::fromStdString(State.SaveImageFolder));
    mnSaveStartFrame->setText(imageItem);
    mnSaveEndFrame->setText(imageItem);

    // Folder histories and settings; loading the settings lists the source folder and arms
    // the start-up timer.
    LoadHistories();
    LoadSettings();
    ApplyModeLayout(); // the program always starts in CUT mode

    // Warm the encoder up, or say that it is missing.
    if (FileExists(State.SystemFolder + "fcut.exe")) {
        StartExtraRun(State.FfmpegCommand + " -i " +
                          Quoted(State.ProgramFolder + "help/silent.mp3"),
                      "DosPreloadffmpeg");
    } else {
        ShowMessage(this,
                    QStringLiteral("Encoding engine not exist! Please reinstall the program."));
    }
}

bool MainForm::StartExtraRun(const std::string& command, const std::string& kind,
                             const std::string& outputPath) {
    return ExtraRuns.StartExtraRun(command, kind, outputPath);
}

void MainForm::FrameSaved(const std::string& imagePath, bool saved) {
    if (!saved) {
        // The encoder failed or was stopped: say so instead of leaving the user waiting.
        SetStatus("Image not saved: \"" + imagePath + "\"");
        return;
    }
    LastSavedImage = imagePath;
    SetStatus(SavedFrameMessage(imagePath));
}

void MainForm::SetToolCommands() {
    State.FfmpegCommand = ToolHead(State.SystemFolder + "fcut.exe") + " -cb ";
    State.MencoderCommand = ToolHead(State.SystemFolder + "mcut.exe") + " -cb qzv ";
    State.EdlFile = State.SystemFolder + "qvcut.edl";
    State.FmergeCommand = ToolHead(State.ToolFolder + "fmerge.exe") + " ";
    State.MmergeCommand = ToolHead(State.ToolFolder + "mmerge.exe") + " ";
    State.AcutCommand = ToolHead(State.ToolFolder + "acut.exe") + " ";
}

// The developer builds of the encoders, switched on from the test strip.
void MainForm::chkboxffmpegbuildClick() {
    if (chkboxffmpegbuild->isChecked()) {
        const std::string dev = SystemDriveRoot() + "ffmpegbuild/";
        State.FfmpegCommand = ToolHead(dev + "ffmpeg.exe") + " -cb ";
        State.MencoderCommand = ToolHead(dev + "mencoder.exe") + " -cb qzv ";
    } else {
        SetToolCommands();
    }
}

void MainForm::StartupDoneTimerTimer() {
    State.StartupDone = true;
    StartupDoneTimer.stop();
    UpdateTimer.start();
}

void MainForm::FormCloseQuery() {
    StopPreviews();
    // A tool cannot outlive the window that reads its output, so a job still running (the user
    // agreed to stop it) is cancelled like with Cancel, and its end (row, partial output removed)
    // is awaited briefly.
    if (IsRunning()) {
        btnCancelClick();
        WaitForRunsToEnd(3000);
    }
    SaveSettings();
}

void MainForm::WaitForRunsToEnd(int ms) {
    QElapsedTimer timer;
    timer.start();
    auto busy = [this] {
        return Runs.SlotBusy(kRunTrim) || Runs.SlotBusy(kDosConvertClip) ||
               Runs.SlotBusy(kJoinFormList) || ExtraRuns.IsRunning(kDosExtractAudio);
    };
    while (busy() && timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    QCoreApplication::processEvents(); // the results queued by the last completion
}

void MainForm::closeEvent(QCloseEvent* event) {
    if (!closing_ && IsRunning() &&
        !AskYesNo(this, QStringLiteral("A job is still running. Stop it and close?"))) {
        event->ignore();
        return;
    }
    if (!closing_) {
        closing_ = true;
        FormCloseQuery();
    }
    ThreadInfo.StopWorker();
    ThreadBigFile.StopWorker();
    event->accept();
}

void MainForm::btnExitClick() {
    close();
}

void MainForm::HandleApplicationException(const std::string& message) {
    if (message == "Unspecified error  ($80004005).") {
        MemoCodeAdd("FilterGraph failed loading for Unspecified error  ($80004005).");
        const bool ok = AskOkCancel(
            this, QStringLiteral("Failed to load Video to Viewers! Would you like to view it with "
                                 "Media Player Classic?\r\n\r\nTips: Use Pause button to set "
                                 "Start and End positions.\r\nYou can then manually enter "
                                 "StartTime and EndTime to Editboxes."));
        if (ok) {
            MemoCodeAdd("Chosen mrOK    " + State.InputFile);
            if (!OpenWithDesktop(QString::fromStdString(State.InputFile)))
                SetStatus("Media Player Classes not found/Installed!");
        }
        return;
    }
    MemoCodeAdd(message);
}

void MainForm::MemoCodeAdd(const std::string& line) {
    MemoCode->appendPlainText(QString::fromStdString(line));
}

void MainForm::MemoCodeClear() {
    MemoCode->clear();
}

void MainForm::SetStatus(const std::string& text) {
    lblStatus->setText(QString::fromStdString(text));
}

void MainForm::Queue(std::function<void()> fn) {
    QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
}

// Pressing on the window background or one of the plain panels and moving drags the window.
void MainForm::AllowWindowDrag(QWidget* widget) {
    widget->setProperty("trimoraDrag", true);
    widget->installEventFilter(this);
}

bool MainForm::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    auto* mouse = dynamic_cast<QMouseEvent*>(event);

    if (watched == LvInput->viewport() && type == QEvent::MouseButtonRelease) {
        LvInputMouseUp(mouse->position().toPoint());
        return false;
    }
    if (watched == LvInputJoin->viewport() && type == QEvent::MouseButtonRelease) {
        LvInputJoinMouseUp(mouse->position().toPoint());
        return false;
    }
    if (type == QEvent::MouseButtonRelease) {
        if (watched == StartSlider) {
            QMetaObject::invokeMethod(
                this, [this, b = mouse->button()] { StartSliderMouseUp(b); }, Qt::QueuedConnection);
            return false;
        }
        if (watched == EndSlider) {
            QMetaObject::invokeMethod(
                this, [this, b = mouse->button()] { EndSliderMouseUp(b); }, Qt::QueuedConnection);
            return false;
        }
        if (watched == btnStartRewind || watched == BtnStartFwd || watched == btnEndRewind ||
            watched == btnEndFwd) {
            const bool endSide = watched == btnEndRewind || watched == btnEndFwd;
            const int step = (watched == BtnStartFwd || watched == btnEndFwd) ? 1 : -1;
            StepButtonMouseUp(endSide, step);
            return false;
        }
    }
    if (type == QEvent::MouseButtonPress && mouse && mouse->button() == Qt::LeftButton) {
        QRadioButton* target = watched == LabelCutQuick     ? rdCutQuick
                               : watched == LabelVidJoin    ? rdJoin
                               : watched == LabelVidConvert ? rdConvert
                                                            : nullptr;
        if (target) {
            target->click();
            return true;
        }
        if (watched == lblPartial && chkboxPartial->isVisible()) {
            chkboxPartial->click();
            return true;
        }
    }
    if (type == QEvent::MouseButtonDblClick && watched == lblStatus) {
        lblStatusDblClick();
        return true;
    }
    if (watched == Label12) {
        if (type == QEvent::Enter)
            setWindowTitle(
                QStringLiteral("Check to extract only Audio for Cut and Convert options"));
        else if (type == QEvent::Leave)
            setWindowTitle(QString::fromStdString(NormalTitle));
        else if (type == QEvent::MouseButtonPress && mouse->button() == Qt::LeftButton) {
            chkboxSoundOnly->toggle();
            chkboxSoundOnlyMouseUp();
            return true;
        }
    }
    if ((watched == EditStartTime || watched == EditEndTime) && type == QEvent::KeyRelease) {
        UpdateEditTime.start();
        return false;
    }

    // Window dragging.
    if (mouse && watched->property("trimoraDrag").toBool()) {
        if (type == QEvent::MouseButtonPress && mouse->button() == Qt::LeftButton) {
            dragArmed_ = true;
            dragFrom_ = mouse->globalPosition().toPoint();
        } else if (type == QEvent::MouseMove && dragArmed_ && (mouse->buttons() & Qt::LeftButton)) {
            if ((mouse->globalPosition().toPoint() - dragFrom_).manhattanLength() >=
                QApplication::startDragDistance()) {
                dragArmed_ = false;
                if (QWindow* w = windowHandle()) w->startSystemMove();
                return true;
            }
        } else if (type == QEvent::MouseButtonRelease) {
            dragArmed_ = false;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace trimora
