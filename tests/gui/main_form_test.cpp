// The main window: start-up, settings and histories, source lists, modes, Start and Cancel.
#include "app/main_form.h"
#include "app/qt_text.h"
#include "common/helpers.h"
#include "gui_support.h"
#include "ui/radio_group.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QSettings>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <fstream>
#include <tuple>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace trimora;
using namespace trimora_test;

namespace {

QStringList Captions(const QTreeWidget* list) {
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        out << list->topLevelItem(i)->text(0);
    out.sort();
    return out;
}

int RowOf(const QTreeWidget* list, const QString& caption) {
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->text(0) == caption) return i;
    return -1;
}

using MainFormModes = WindowTest;
using MainFormStart = WindowTest;
using MainFormCancel = WindowTest;

} // namespace

// One window's life: start-up restores settings and histories, the folder buttons keep the
// history, closing saves the settings, and the next window comes back at the saved size.
TEST(MainFormSettings, StartupRestoresHistoryGrowsAndCloseSavesForTheNextStart) {
    GuiHome home;
    const std::string src = home.Root() + "src/";
    QDir().mkpath(QString::fromStdString(src + "d.avi"));
    for (const char* name : {"a.AVI", "b.mp4", "c.txt", "clip.ts", "video_ts.ifo", "holidaywmv"})
        WriteFileBytes(src + name, "x");
    for (const char* d : {"Video/Clips", "Video", "video/clips", "Other"})
        QDir().mkpath(QString::fromStdString(home.Root() + d));
    const std::string history = SystemFolder() + "qvcut/videoconvertdirs.log";
    QDir().mkpath(QString::fromStdString(FolderOf(history)));
    WriteFileBytes(history, home.Root() + "Video/Clips/\r\n/data/Video/Clips/\r\n");
    desktop_test::Settings({{"FormLeft", 20}, {"FormTop", 30}, {"FormWidth", 700},
                            {"FormHeight", 500},
                            {"ConvertFolder", QString::fromStdString(home.Root() + "src")},
                            {"SaveConvertFolder", QString::fromStdString(home.Root() + "gone")},
                            {"JoinFolder", "relative/folder"}, {"PartialConvert", 1},
                            {"ConvertType", 8}, {"VideoQuality", 1}, {"FrameSize", -1},
                            {"VolumeBoost", 7}});
    int w = 0, h = 0;
    {
        MainForm form;
        for (const char* sub : {"zStore", "zStore/z Convert", "zStore/z SaveConvert", "zStore/z Cut",
                                "zStore/z SaveCut", "zStore/z Join", "zStore/z SaveJoin", "zStore/z SaveImage"})
            EXPECT_TRUE(DirectoryExistsEx(home.Root() + sub)) << sub;
        EXPECT_TRUE(home.Messages.isEmpty());
        EXPECT_EQ(form.State.ConvertFolder, src);
        // A save folder that no longer exists falls back to the source folder; a join folder
        // that is no absolute path to the default.
        EXPECT_EQ(form.State.SaveConvertFolder, src);
        EXPECT_EQ(form.State.JoinFolder, form.State.DefaultSaveConvertFolder);
        EXPECT_TRUE(form.chkboxPartial->isChecked());
        // A volume index out of range selects nothing.
        for (const auto& [box, text] : std::vector<std::pair<QComboBox*, QString>>{
                 {form.cBoxConvertType, ".mp4"},
                 {form.comboSizeFavor, "Average         (Smaller Filesize)"},
                 {form.ComboBoxFramePreset, ""},
                 {form.cboxVolume, ""},
                 {form.cboxIncludeSound, "Included"}})
            EXPECT_EQ(box->currentText(), text) << box->objectName().toStdString();
        EXPECT_EQ(Captions(form.LvInput), QStringList({"a.AVI", "b.mp4", "holidaywmv", "video_ts.ifo"}));
        EXPECT_FALSE(form.State.StartupDone);
        EXPECT_TRUE(WaitUntil([&] { return form.State.StartupDone; }, 3000));
        ASSERT_EQ(form.ComboConvert->count(), 2);
        EXPECT_EQ(form.ComboConvert->itemText(1), "/data/Video/Clips/");

        // The history gains a chosen folder only when its text is not inside an entry, which
        // is compared case-sensitively; a cancelled chooser changes nothing.
        const std::string kept = home.Root() + "Video/Clips/\r\n/data/Video/Clips/\r\n";
        for (const auto& [chosen, count, file] : std::vector<std::tuple<std::string, int, std::string>>{
                 {"Video", 2, kept}, {"video/clips", 3, kept + home.Root() + "video/clips/\r\n"},
                 {"", 3, kept + home.Root() + "video/clips/\r\n"}}) {
            home.NextFolder = chosen.empty() ? QString() : QString::fromStdString(home.Root() + chosen);
            form.btnInputFolder->click();
            EXPECT_EQ(form.ComboConvert->count(), count) << chosen;
            EXPECT_EQ(ReadFileBytes(history), file) << chosen;
        }
        EXPECT_EQ(form.State.ConvertFolder, home.Root() + "video/clips/");
        EXPECT_EQ(form.ComboConvert->currentText().toStdString(), home.Root() + "video/clips/");
        // A folder typed into the box is used but never remembered.
        form.ComboConvert->setEditText(QString::fromStdString(home.Root() + "Other"));
        form.ComboConvertSelect();
        EXPECT_EQ(form.State.ConvertFolder, home.Root() + "Other/");
        EXPECT_EQ(form.ComboConvert->count(), 3);
        // A folder that does not exist is refused and the box shows the working folder again.
        form.ComboConvert->setEditText(QString::fromStdString(home.Root() + "nowhere"));
        form.ComboConvertSelect();
        EXPECT_TRUE(home.Messages.contains("Folder does't exist"));
        EXPECT_EQ(form.ComboConvert->currentText().toStdString(), home.Root() + "Other/");
        // The save folder's history is its own file.
        home.NextFolder = QString::fromStdString(home.Root() + "Other");
        form.btnOutputFolder->click();
        EXPECT_EQ(ReadFileBytes(SystemFolder() + "qvcut/videosavedirs.log"), home.Root() + "Other/\r\n");

        form.show();
        // The test screen is 800x600, about the layout's minimum: the window is judged against
        // a large screen, so its size counts as smaller than the screen.
        form.ScreenWidth = form.ScreenHeight = 4000;
        w = form.width();
        h = form.height();
        form.cBoxConvertType->setCurrentIndex(3);
        form.ComboBoxFramePreset->setEditText("641x479"); // typed in
        form.close();
    }
    QSettings reg(MainForm::SettingsFile(), QSettings::IniFormat);
    for (const auto& [key, value] : std::vector<std::pair<QString, int>>{
             {"FormWidth", w}, {"FormHeight", h}, {"PartialConvert", 1}, {"ConvertType", 3},
             {"FrameSize", -1}, {"VideoQuality", 1}})
        EXPECT_EQ(reg.value(key).toInt(), value) << key.toStdString();
    EXPECT_EQ(reg.value("SaveJoinFolder").toString().toStdString(), home.Root() + "zStore/z SaveJoin/");
    {
        MainForm form;
        form.show();
        // Nearly the whole screen (as when maximised): the last smaller geometry stays.
        form.resize(form.ScreenWidth - 20, form.ScreenHeight - 20);
        form.close();
    }
    QSettings again(MainForm::SettingsFile(), QSettings::IniFormat);
    EXPECT_EQ(again.value("FormWidth").toInt(), w);
    EXPECT_EQ(again.value("FormHeight").toInt(), h);
}

TEST(MainFormSettings, MissingEncoderIsReportedAndTheWindowStillOpens) {
    GuiHome home;
    // A file where the tool folder should be: the front-ends cannot be linked there.
    const std::string system = SystemFolder();
    QDir().mkpath(QString::fromStdString(FolderOf(system.substr(0, system.size() - 1))));
    WriteFileBytes(system.substr(0, system.size() - 1), "x");
    MainForm form;
    EXPECT_TRUE(home.Messages.contains("Encoding engine not exist! Please reinstall the program."));
    EXPECT_TRUE(form.btnStart->isEnabled());
}

TEST_F(MainFormModes, ModeButtonsRearrangeTheWindowResetTheClipAndFilterTheJoinList) {
    ChooseSourceWithClip("holiday.mp4");
    ClickRow(form.LvInput, 0);
    EXPECT_EQ(form.LvInput->topLevelItem(0)->checkState(0), Qt::Checked);
    EXPECT_EQ(form.lblTotalTime->text(), "00:00:04");
    EXPECT_EQ(JobRow(1).Status, "PENDING"); // the pending row of the cut

    form.rdConvert->click();
    EXPECT_EQ(form.EditStartTime->text(), "0:00:00.000");
    EXPECT_EQ(form.EditEndTime->text(), "0:00:00.000");
    EXPECT_EQ(form.LvInput->topLevelItem(0)->checkState(0), Qt::Unchecked);
    EXPECT_TRUE(form.LvInput->selectedItems().isEmpty());
    EXPECT_TRUE(form.PanelConvertOption->isVisible());
    EXPECT_TRUE(form.chkboxPartial->isVisible());

    form.rdJoin->click();
    form.rdCutQuick->click();
    EXPECT_EQ(form.HostFolderPanel->currentWidget(), form.ConvertFolderPanel);
    EXPECT_EQ(form.P1->currentWidget(), form.InputTab);
    EXPECT_FALSE(form.PanelConvertOption->isVisible());
    // Sound-only in CUT mode opens the panel with the audio options, and closes it again.
    QTest::mouseClick(form.chkboxSoundOnly, Qt::LeftButton);
    EXPECT_TRUE(WaitUntil([&] { return form.PanelConvertOption->isVisible(); }, 1000));
    QTest::mouseClick(form.chkboxSoundOnly, Qt::LeftButton);
    EXPECT_TRUE(WaitUntil([&] { return !form.PanelConvertOption->isVisible(); }, 1000));

    const std::string join = home.Root() + "Trip/";
    QDir().mkpath(QString::fromStdString(join));
    for (const char* n : {"a.avi", "b.divx", "c.3gp", "d.vob", "e.webm", "f.mp4"})
        WriteFileBytes(join + n, "x");
    form.rdJoin->click();
    form.rgJoinSelection->SetItemIndex(6);
    home.NextFolder = QString::fromStdString(home.Root() + "Trip");
    form.btnSelectJoinFolder->click();
    EXPECT_EQ(Captions(form.LvInputJoin), QStringList({"c.3gp"}));
    form.rgJoinSelection->Button(6)->click();
    EXPECT_EQ(Captions(form.LvInputJoin), QStringList({"d.vob", "e.webm"}));
    form.rgJoinSelection->Button(0)->click();
    EXPECT_EQ(Captions(form.LvInputJoin), QStringList({"a.avi", "b.divx"}));
    EXPECT_EQ(form.LvInputJoin->topLevelItem(0)->text(2).toInt(), 1); // the hidden byte column
}

// Bad media in the list is named as such; Start refuses no choice, a type it cannot cut and a
// start after the end, and the window goes on working with a good clip and after an exception.
TEST_F(MainFormStart, ValidationMessages) {
    const std::string folder = ChooseSourceWithClip("good.mp4");
    std::filesystem::copy_file(folder + "good.mp4", folder + "phone.3gp");
    WriteFileBytes(folder + "empty.mp4", "");
    WriteFileBytes(folder + "half.mp4", ReadFileBytes(folder + "good.mp4").substr(0, 2000));
    form.btnInputFolder->click(); // lists the folder again

    form.btnStart->click();
    ASSERT_EQ(home.Messages.size(), 1);
    EXPECT_EQ(home.Messages.last(), "Please select a file in list to process!");
    EXPECT_FALSE(form.GaugeMain->isVisible());

    ClickRow(form.LvInput, RowOf(form.LvInput, "phone.3gp"));
    form.btnStart->click();
    EXPECT_TRUE(home.Messages.last().startsWith("Video cutting only supports the following file formats:"));

    for (const char* name : {"empty.mp4", "half.mp4", "good.mp4"}) {
        const bool bad = std::string(name) != "good.mp4";
        ClickRow(form.LvInput, RowOf(form.LvInput, name)); // one right after the other: each
        QTreeWidgetItem* item = form.LvInput->topLevelItem(RowOf(form.LvInput, name)); // its look
        EXPECT_EQ(item->text(2), bad ? "Bad File!" : "160x120") << name;
        EXPECT_EQ(item->text(3), bad ? "N/A" : "00:00:04") << name;
        EXPECT_TRUE(form.btnStart->isEnabled());
    }
    EXPECT_EQ(form.State.InputFile, folder + "good.mp4");
    EXPECT_EQ(form.EndSlider->maximum(), 4);
    form.EditStartTime->setText("0:00:03.000");
    form.EditEndTime->setText("0:00:01.000");
    QTest::keyClick(form.EditEndTime, Qt::Key_End);
    ASSERT_TRUE(WaitUntil([&] { return !form.UpdateEditTime.isActive(); }, 2000));
    EXPECT_EQ(form.lblClipInfo->text(), "StartTime can not be greater than EndTime ! Please "
                                        "complete setting Start and End Time.");
    form.btnStart->click();
    EXPECT_EQ(home.Messages.last(), "StartTime can not be greater than EndTime ! Please "
                                    "complete settings for Start and End Times.");
    EXPECT_TRUE(form.btnStart->isEnabled());
    EXPECT_FALSE(form.GaugeMain->isVisible());

    const qsizetype shown = home.Messages.size();
    QTimer::singleShot(0, &form, [] { throw std::runtime_error("handler went wrong"); });
    Pump(100);
    EXPECT_NE(form.MemoCode->toPlainText().indexOf("handler went wrong"), -1);
    EXPECT_EQ(home.Messages.size(), shown);
}

// A tool that runs until it is killed, under the encoder's name, stands in for a long cut. A
// convert of the command line, with tools of its own, runs meanwhile and is left alone.
TEST_F(MainFormCancel, CancelAndCloseStopOnlyTheWindowsOwnJob) {
    ChooseSourceWithClip("long.mp4");
    ClickRow(form.LvInput, 0);
    form.EditStartTime->setText("0:00:00.000");
    form.EditEndTime->setText("0:00:03.000");
    form.RefreshCutSummary();

    const std::string tool = form.State.SystemFolder + "fcut.exe";
    std::remove(tool.c_str());
    WriteFileBytes(tool, "#!/usr/bin/python3\nimport sys, time\nprint('time=1', flush=True)\n"
                         "open(sys.argv[-1], 'w').write('partial')\ntime.sleep(60)\n");
    QFile::setPermissions(QString::fromStdString(tool),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const std::string cliOut = home.Root() + "cli/";
    QDir().mkpath(QString::fromStdString(cliOut));
    const std::string cliClip = MediaClip(".mp4", 8, "-s 320x240 -g 100");
    Started cli = StartInBackground({"env", "XDG_DATA_HOME=" + home.Root() + "cli-data", BinDir() + "trimora",
                                     "convert", cliClip, "--format", ".avi", "--save-folder", cliOut},
                                    home.Root() + "cli.log");
    ASSERT_TRUE(
        WaitUntil([&] { return FileExists(cliOut + StemOf(cliClip) + "-Convert.avi"); }, 30000));

    form.btnStart->click();
    const std::string output = form.State.OutputFile;
    ASSERT_TRUE(WaitUntil([&] { return FileExists(output); }, 5000));
    EXPECT_FALSE(form.btnStart->isEnabled());
    form.btnCancel->click();
    EXPECT_TRUE(form.btnStart->isEnabled());
    EXPECT_EQ(form.lblStatus->text(), "Ready");
    ASSERT_EQ(WaitForJobRow(1), "FAILED");
    EXPECT_FALSE(FileExists(output)); // the partial output is removed
    EXPECT_TRUE(OwnProcessGroups().empty());
    EXPECT_EQ(cli.Wait(), 0) << cli.Output();

    // Closing while a job runs asks first: No keeps the job and the window, Yes ends the job
    // the same way, leaving nothing half-written.
    form.btnStart->click();
    const std::string second = form.State.OutputFile;
    ASSERT_TRUE(WaitUntil([&] { return FileExists(second); }, 5000));
    EXPECT_FALSE(form.close());
    EXPECT_EQ(home.Messages, QStringList{"A job is still running. Stop it and close?"});
    Pump(300);
    EXPECT_FALSE(OwnProcessGroups().empty());
    home.Answer = true;
    EXPECT_TRUE(form.close());
    EXPECT_EQ(WaitForJobRow(2), "FAILED");
    EXPECT_FALSE(FileExists(second));
    EXPECT_TRUE(OwnProcessGroups().empty());
}


// A large folder shows its names at once; the sizes follow and end as a full listing shows them.
TEST(ListSizes, NamesFirstThenSizesInTheOrderTheUserSortedBy) {
    GuiHome home;
    for (int i = 0; i < 400; ++i)
        std::ofstream(home.Root() + "c" + std::to_string(i) + ".mp4") << std::string(i % 7, 'x');
    MainForm form;
    QTreeWidget* list = form.LvInput;
    form.ListHeaderClicked(list, col::InSize);
    form.FillFileList(home.Root(), MainForm::kSourcePattern, list, false);
    ASSERT_TRUE(list->topLevelItemCount() == 400 && list->topLevelItem(0)->text(1).isEmpty());
    auto rows = ListFolderFiles(home.Root(), MainForm::kSourcePattern);
    std::stable_sort(rows.begin(), rows.end(), [](auto& a, auto& b) { return a.Bytes < b.Bytes; });
    ASSERT_TRUE(
        WaitUntil([&] { return !list->topLevelItem(399)->text(1).isEmpty(); }, 5000));
    for (int i = 0; i < 400; ++i) // the order and sizes of a full listing sorted by size
        EXPECT_EQ(S(list->topLevelItem(i)->text(0) + list->topLevelItem(i)->text(1)),
                  rows[i].Name + rows[i].SizeText);
    form.ApplyListSizes(list, form.InputListGeneration, false, {{"c5.mp4", "", -1, 1}}); // gone
    EXPECT_TRUE(list->findItems("c5.mp4", Qt::MatchExactly).isEmpty());
}

TEST(MainFormInstance, ACrashLeavesNoLockForTheNextStart) {
    GuiHome home;
    qputenv("TRIMORA_MESSAGES", "stderr");
    // The copy holding the lock listens on a socket: its file, told apart by its change time.
    const std::string socket = SystemFolder() + "trimora.sock";
    auto listening = [&] {
        struct stat st {};
        if (::stat(socket.c_str(), &st) != 0) return 0LL;
        return st.st_ctim.tv_sec * 1000000000LL + st.st_ctim.tv_nsec;
    };
    Started first = StartInBackground({BinDir() + "trimora"}, home.Root() + "first.log");
    EXPECT_TRUE(WaitUntil([&] { return listening() != 0; }, 10000)) << first.Output();
    // A copy that crashed leaves no lock behind: the next start listens in its place.
    kill(first.pid, SIGKILL);
    first.Wait();
    const long long stale = listening();
    Started next = StartInBackground({BinDir() + "trimora"}, home.Root() + "next.log");
    EXPECT_TRUE(WaitUntil([&] { return listening() != 0 && listening() != stale; }, 10000));
    EXPECT_EQ(next.Wait(0), -2) << next.Output(); // still running: it got the lock
    kill(next.pid, SIGTERM);
    next.Wait();
    qunsetenv("TRIMORA_MESSAGES");
}

TEST(WorkerThread, StartRunsOnTheCallerAndSynchronizeOnTheOwnerUntilStopped) {
    TBMDThread worker;
    const auto gui = std::this_thread::get_id();
    std::thread::id startThread, syncThread, execThread;
    std::atomic<int> cycles{0};
    worker.OnStart = [&](TBMDThread&) { startThread = std::this_thread::get_id(); };
    worker.OnExecute = [&](TBMDThread& w) {
        execThread = std::this_thread::get_id();
        for (; !w.Terminated(); w.Wait(10))
            w.Synchronize([&] { syncThread = std::this_thread::get_id(), ++cycles; });
    };
    for (int run = 0; run < 2; ++run) { // startable again once stopped
        worker.StartWorker();
        worker.StartWorker(); // already holds a worker: nothing
        EXPECT_EQ(startThread, gui);
        EXPECT_TRUE(worker.IsWorkerRunning());
        ASSERT_TRUE(WaitUntil([&] { return cycles >= 3 * (run + 1); }, 2000));
        EXPECT_EQ(syncThread, gui);
        EXPECT_NE(execThread, gui);
        worker.StopWorker();
        EXPECT_TRUE(worker.IsWorkerRunning()); // until its end is handled here
        ASSERT_TRUE(WaitUntil([&] { return !worker.IsWorkerRunning(); }, 2000));
        const int after = cycles;
        Pump(50);
        EXPECT_EQ(cycles, after);
    }
}
