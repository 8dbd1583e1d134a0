// Settings that survive restarts, the folder histories, the folder buttons and folder boxes, and
// the "Open this folder" buttons.
#include "app/main_form.h"
#include "app/qt_text.h"

#include "app/dialogs.h"
#include "common/helpers.h"
#include "common/safe_output.h"
#include "ui/radio_group.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSettings>
#include <QTreeWidget>
#include <cstdio>
#include <unistd.h>

namespace trimora {

namespace {


// Folder text as the program keeps it: with one trailing '/', or empty.
std::string FolderText(const std::string& text) {
    std::string t = Trim(text);
    return t.empty() ? t : WithSlash(t);
}

bool IsAbsolute(const std::string& path) {
    return !path.empty() && path[0] == '/';
}

QStringList ReadHistory(const std::string& file) {
    // Only a plain file of sane size: a FIFO would hang, a huge file eat the memory.
    if (std::string why; !IsSaneSettingsFile(file, kMaxSettingsBytes, why)) {
        std::fprintf(stderr, "History not read: %s\n", why.c_str());
        return {};
    }
    QFile f(Q(file));
    if (!f.open(QIODevice::ReadOnly)) return {};
    QStringList items;
    for (const QByteArray& line : f.readAll().split('\n')) {
        QByteArray l = line;
        if (l.endsWith('\r')) l.chop(1);
        if (!l.isEmpty()) items << QString::fromUtf8(l);
    }
    return items;
}

void WriteHistory(const std::string& file, const QComboBox* box) {
    QByteArray bytes;
    for (int i = 0; i < box->count(); ++i)
        bytes += box->itemText(i).toUtf8() + "\r\n";
    // A new file moved into place: never written through a link, never half written.
    if (std::string why; !WriteFileAtomically(file, bytes.toStdString(), why))
        throw std::runtime_error(why);
}

// A stored item index; outside the list it selects nothing.
void SetIndex(QComboBox* box, int index) {
    box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
    if (box->currentIndex() < 0 && box->isEditable()) box->setEditText(QString());
}

// The item index of a box whose text may have been typed: -1 when the text is no item.
int IndexOfText(const QComboBox* box) {
    return box->findText(box->currentText());
}

} // namespace

QString MainForm::SettingsFile() { return Q(SettingsFilePath()); }

void MainForm::LoadHistories() {
    const std::pair<QComboBox*, const char*> boxes[] = {{ComboConvert, kHistoryConvert},
                                                        {ComboSaveConvert, kHistorySaveConvert},
                                                        {ComboJoin, kHistoryJoin},
                                                        {ComboSaveJoin, kHistorySaveJoin}};
    for (auto [box, name] : boxes) {
        const std::string file = State.ToolFolder + name;
        if (!FileExists(file)) continue;
        box->clear();
        box->addItems(ReadHistory(file));
    }
}

void MainForm::LoadSettings() {
    // Only a plain file of sane size is read; anything else leaves the defaults.
    std::string why;
    const bool sane = IsSaneSettingsFile(S(SettingsFile()), kMaxSettingsBytes, why);
    if (!sane) std::fprintf(stderr, "Settings not read: %s\n", why.c_str());
    QSettings reg(sane ? SettingsFile() : QStringLiteral("/dev/null/none"), QSettings::IniFormat);
    auto intValue = [&](const char* name, int fallback) {
        bool ok = false;
        const int v = reg.value(QLatin1String(name)).toInt(&ok);
        return reg.contains(QLatin1String(name)) && ok ? v : fallback;
    };
    auto textValue = [&](const char* name) {
        return reg.contains(QLatin1String(name))
                   ? FolderText(S(reg.value(QLatin1String(name)).toString()))
                   : std::string();
    };

    const int left = intValue("FormLeft", 239), top = intValue("FormTop", 112);
    const int width = intValue("FormWidth", 1085), height = intValue("FormHeight", 810);
    // Inside the screen's free area; the saved position is the one restored (the client
    // area's, so the window manager's frame does not move it at each start).
    FitToScreen(left, top, width, height);

    State.ConvertFolder = textValue("ConvertFolder");
    State.JoinFolder = textValue("JoinFolder");
    State.SaveJoinFolder = textValue("SaveJoinFolder");
    State.SaveConvertFolder = textValue("SaveConvertFolder");
    if (!IsAbsolute(State.JoinFolder)) State.JoinFolder = State.DefaultSaveConvertFolder;
    if (!IsAbsolute(State.SaveJoinFolder)) State.SaveJoinFolder = State.DefaultSaveJoinFolder;
    if (!IsAbsolute(State.SaveConvertFolder))
        State.SaveConvertFolder = State.DefaultSaveConvertFolder;

    rgJoinSelection->SetItemIndex(intValue("JoinFileType", 0));
    chkboxPartial->setChecked(intValue("PartialConvert", 0) != 0);
    chkboxExact->setChecked(intValue("ExactCut", 0) != 0);
    SetIndex(cBoxConvertType, intValue("ConvertType", 0));
    SetIndex(comboSizeFavor, intValue("VideoQuality", 4));
    if (reg.contains(QStringLiteral("FrameSize")))
        SetIndex(ComboBoxFramePreset, intValue("FrameSize", -1));
    else
        ComboBoxFramePreset->setCurrentIndex(
            ComboBoxFramePreset->findText(QStringLiteral("Same as original")));
    SetIndex(cboxIncludeSound, intValue("IncludeSound", 0));
    SetIndex(cboxVolume, intValue("VolumeBoost", 0));

    if (!DirectoryExistsEx(State.SaveConvertFolder)) State.SaveConvertFolder = State.ConvertFolder;
    if (!DirectoryExistsEx(State.SaveJoinFolder)) State.SaveJoinFolder = State.JoinFolder;

    ComboConvert->setEditText(Q(State.ConvertFolder));
    ComboSaveConvert->setEditText(Q(State.SaveConvertFolder));
    ComboJoin->setEditText(Q(State.JoinFolder));
    ComboSaveJoin->setEditText(Q(State.SaveJoinFolder));

    if (!State.ConvertFolder.empty() && DirectoryExistsEx(State.ConvertFolder))
        FillFileList(State.ConvertFolder, kSourcePattern, LvInput, false);

    SetToolCommands();
    StartupDoneTimer.start();
}

void MainForm::SaveSettings() {
    // Written to a new file that then replaces the old one (a link itself, never its target).
    const std::string file = S(SettingsFile());
    QDir().mkpath(Q(FolderOf(file)));
    std::string tmpl = FolderOf(file) + "." + FileNameOf(file) + ".new-XXXXXX";
    const int fd = ::mkstemp(tmpl.data());
    if (fd < 0) {
        std::fprintf(stderr, "Settings not saved: cannot write beside %s\n", file.c_str());
        return;
    }
    ::close(fd);
    {
        QSettings reg(Q(tmpl), QSettings::IniFormat);
        WriteSettingsTo(reg);
    }
    std::string bytes;
    {
        QFile written(Q(tmpl));
        if (written.open(QIODevice::ReadOnly)) bytes = written.readAll().toStdString();
    }
    ::unlink(tmpl.c_str());
    if (std::string why; !WriteFileAtomically(file, bytes, why))
        std::fprintf(stderr, "Settings not saved: %s\n", why.c_str());
}

void MainForm::WriteSettingsTo(QSettings& reg) {
    // A window that nearly fills the screen (maximised) keeps the last smaller geometry.
    if (width() < ScreenWidth - 80 && height() < ScreenHeight - 80) {
        reg.setValue(QStringLiteral("FormTop"), geometry().y());
        reg.setValue(QStringLiteral("FormLeft"), geometry().x());
        reg.setValue(QStringLiteral("FormWidth"), width());
        reg.setValue(QStringLiteral("FormHeight"), height());
    } else if (std::string why; reg.fileName() != SettingsFile() &&
                                IsSaneSettingsFile(S(SettingsFile()), kMaxSettingsBytes, why)) {
        // The settings are written to a new file: the last smaller geometry is carried over.
        const QSettings old(SettingsFile(), QSettings::IniFormat);
        for (const char* key : {"FormTop", "FormLeft", "FormWidth", "FormHeight"})
            if (old.contains(QLatin1String(key)))
                reg.setValue(QLatin1String(key), old.value(QLatin1String(key)));
    }
    reg.setValue(QStringLiteral("ConvertFolder"), Q(FolderText(State.ConvertFolder)));
    reg.setValue(QStringLiteral("SaveConvertFolder"), Q(FolderText(State.SaveConvertFolder)));
    reg.setValue(QStringLiteral("JoinFolder"), Q(FolderText(State.JoinFolder)));
    reg.setValue(QStringLiteral("SaveJoinFolder"), Q(FolderText(State.SaveJoinFolder)));
    reg.setValue(QStringLiteral("JoinFileType"), rgJoinSelection->ItemIndex());
    reg.setValue(QStringLiteral("PartialConvert"), chkboxPartial->isChecked() ? 1 : 0);
    reg.setValue(QStringLiteral("ExactCut"), chkboxExact->isChecked() ? 1 : 0);
    reg.setValue(QStringLiteral("ConvertType"), IndexOfText(cBoxConvertType));
    reg.setValue(QStringLiteral("VideoQuality"), IndexOfText(comboSizeFavor));
    reg.setValue(QStringLiteral("FrameSize"), IndexOfText(ComboBoxFramePreset));
    reg.setValue(QStringLiteral("IncludeSound"), IndexOfText(cboxIncludeSound));
    reg.setValue(QStringLiteral("VolumeBoost"), IndexOfText(cboxVolume));
    reg.sync();
}

namespace {

// The common part of the four folder buttons. Returns false when the chooser was cancelled.
bool ChooseWorkingFolder(MainForm* form, std::string& folder, QComboBox* box,
                         const std::string& historyFile, const QString& caption) {
    const QString chosen = ChooseFolder(form, caption, Q(folder));
    if (chosen.isEmpty()) return false;
    folder = WithSlash(S(chosen));
    box->setEditText(Q(folder));
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    // Only a folder whose text occurs nowhere in the history is added.
    if (!items.join(QLatin1Char('\n')).contains(Q(folder), Qt::CaseSensitive)) {
        box->addItem(Q(folder));
        box->setEditText(Q(folder));
        WriteHistory(historyFile, box);
    }
    return true;
}

} // namespace

void MainForm::btnInputFolderClick() {
    if (!ChooseWorkingFolder(this, State.ConvertFolder, ComboConvert,
                             State.ToolFolder + kHistoryConvert, btnInputFolder->text()))
        return;
    FillFileList(State.ConvertFolder, kSourcePattern, LvInput, false);
}

void MainForm::btnOutputFolderClick() {
    if (ChooseWorkingFolder(this, State.SaveConvertFolder, ComboSaveConvert,
                            State.ToolFolder + kHistorySaveConvert, btnOutputFolder->text()))
        AddPendingRow();
}

void MainForm::btnSelectJoinFolderClick() {
    if (!ChooseWorkingFolder(this, State.JoinFolder, ComboJoin, State.ToolFolder + kHistoryJoin,
                             btnSelectJoinFolder->text()))
        return;
    FillFileList(State.JoinFolder, JoinPattern(rgJoinSelection->ItemIndex(), true), LvInputJoin,
                 true);
}

void MainForm::btnSaveJoinFolderClick() {
    ChooseWorkingFolder(this, State.SaveJoinFolder, ComboSaveJoin,
                        State.ToolFolder + kHistorySaveJoin, btnSaveJoinFolder->text());
}

void MainForm::ComboConvertSelect() {
    const std::string text = Trim(S(ComboConvert->currentText()));
    if (text.empty()) return;
    if (DirectoryExistsEx(text)) {
        State.ConvertFolder = WithSlash(text);
        FillFileList(State.ConvertFolder, kSourcePattern, LvInput, false);
    } else {
        ShowMessage(this, QStringLiteral("Folder does't exist"));
        ComboConvert->setEditText(Q(State.ConvertFolder));
    }
}

void MainForm::ComboSaveConvertSelect() {
    const std::string text = Trim(S(ComboSaveConvert->currentText()));
    if (text.empty()) return;
    if (DirectoryExistsEx(text)) {
        State.SaveConvertFolder = WithSlash(text);
        AddPendingRow();
    } else {
        ShowMessage(this, QStringLiteral("Folder does't exist"));
        ComboSaveConvert->setEditText(Q(State.DefaultSaveConvertFolder));
    }
}

// Also the click handler of the join format group.
void MainForm::ComboJoinSelect() {
    if (!State.StartupDone) return;
    const std::string text = Trim(S(ComboJoin->currentText()));
    if (text.empty() || !IsAbsolute(text)) return;
    if (DirectoryExistsEx(text)) {
        State.JoinFolder = WithSlash(text);
        FillFileList(State.JoinFolder, JoinPattern(rgJoinSelection->ItemIndex(), false),
                     LvInputJoin, true);
    } else {
        ComboJoin->setEditText(Q(State.JoinFolder));
    }
}

void MainForm::ComboSaveJoinSelect() {
    const std::string text = Trim(S(ComboSaveJoin->currentText()));
    if (text.empty()) return;
    if (DirectoryExistsEx(text)) {
        State.SaveJoinFolder = WithSlash(text);
    } else {
        ShowMessage(this, QStringLiteral("Folder does't exist"));
        ComboSaveJoin->setEditText(Q(State.JoinFolder));
    }
}

void MainForm::btnOpenInputClick() {
    OpenWithDesktop(Q(State.ConvertFolder));
}
void MainForm::btnOpenOutputClick() {
    OpenWithDesktop(Q(State.SaveConvertFolder));
}
void MainForm::btnOpenJoinFolderClick() {
    OpenWithDesktop(Q(State.JoinFolder));
}
void MainForm::btnOpenSaveJoinFolderClick() {
    OpenWithDesktop(Q(State.SaveJoinFolder));
}

} // namespace trimora
