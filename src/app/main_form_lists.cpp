// The two source lists: filling them from a folder, choosing the clip of CUT and CONVERT mode,
// choosing the reference file of a join, "Play this clip" and "Check ALL".
#include "app/main_form.h"
#include "app/qt_text.h"

#include "app/dialogs.h"
#include "common/file_list.h"
#include "common/helpers.h"
#include "jobs/join.h"
#include "ui/icons.h"
#include "ui/radio_group.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSlider>
#include <QTabWidget>
#include <QTreeWidget>

namespace trimora {

namespace {

std::string LowerExtension(const std::string& name) {
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : ToLower(name.substr(dot));
}
} // namespace

const char* const MainForm::kSourcePattern =
    ".wmv$|ts.ifo$|.vcd$|.mpg$|.mpeg$|.avi$|.asf$|.m4v$|.mp4$|.264$|.swf$|.flv$|.ram$|.rmvb$|"
    ".rm$|.rv$|.mov$|.qt$|.3gp$|.3g2$|.mkv$|.VOB$|.webm$|.m2ts$|.divx$";

std::string MainForm::JoinPattern(int item, bool fromButton) {
    switch (item) {
    case 1:
        return ".flv$";
    case 2:
        return ".mkv$";
    case 3:
        return ".asf$|.wmv$";
    case 4:
        return ".mpg$|.mpeg$";
    case 5:
        return ".mp4$|.m4v$|.mov$|.qt$";
    case 6:
        return fromButton ? ".3gp$|.3g2$" : ".vob$|.webm$";
    default:
        return fromButton ? ".avi$" : ".avi$|.divx$";
    }
}

int MainForm::IconIndexForName(const std::string& fileName) {
    return ListIconIndex(fileName);
}

void MainForm::FillFileList(const std::string& folder, const std::string& pattern,
                            QTreeWidget* list, bool withBytes) {
    if (!DirectoryExistsEx(folder)) return;
    bool ok = false;
    const std::vector<FileListRow> rows = ListFolderFiles(WithSlash(folder), pattern, &ok);
    list->setUpdatesEnabled(false);
    list->clear();
    if (list == LvInput) CheckedInputIndex = -1;
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<int>(rows.size()));
    for (const FileListRow& row : rows) {
        auto* item = new QTreeWidgetItem();
        item->setText(0, Q(row.Name));
        item->setIcon(0, ListIcon(row.Icon));
        item->setText(1, Q(row.SizeText));
        item->setTextAlignment(1, Qt::AlignCenter);
        if (withBytes) item->setText(2, QString::number(row.Bytes));
        item->setCheckState(0, Qt::Unchecked);
        if (list == LvInput) // ticked by a click only, never by the user's own tick
            item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
        items.append(item);
    }
    list->addTopLevelItems(items);
    list->setUpdatesEnabled(true);
}

void MainForm::LvInputMouseUp(const QPoint& pos) {
    QTreeWidgetItem* item = LvInput->itemAt(pos);
    if (!item) return;
    SelectInputRow(LvInput->indexOfTopLevelItem(item));
}

void MainForm::SelectInputRow(int row) {
    QTreeWidgetItem* item = LvInput->topLevelItem(row);
    if (!item) return;
    SelectionComplete = false;
    ClearClipInfo();
    EditStartTime->setText(QStringLiteral("0:00:00"));
    EditEndTime->setText(QStringLiteral("0:00:00"));
    lblTotalTime->setText(QStringLiteral("0:00:00"));
    ClearCutPieces();
    State.CutDuration = 0;

    if (CheckedInputIndex >= 0) {
        if (QTreeWidgetItem* old = LvInput->topLevelItem(CheckedInputIndex))
            old->setCheckState(0, Qt::Unchecked);
    }
    LvInput->setCurrentItem(item);
    item->setSelected(true);
    item->setCheckState(0, Qt::Checked);
    CheckedInputIndex = row;

    State.InputFileName = S(item->text(col::InName));
    State.InputFile = State.ConvertFolder + State.InputFileName;
    State.InputSizeText = S(item->text(col::InSize));
    lblClipInfo->setText(Q(State.InputFileName + " [" + State.InputSizeText + "]"));
    SetStatus("Status");
    State.InputFileSize = GetFileSize64(State.InputFile);
    State.InputExt = LowerExtension(State.InputFileName);

    SelectionComplete = true;
    State.BuildOnly = true;
    PendingUpdatesAllowed = true;
    ClipSelectedOnce = true;
    ThreadInfo.StartWorker();
}

// Runs inside ThreadInfo's StartWorker, on the user-interface thread.
void MainForm::ThreadInfoStart() {
    ThreadInfo.StopWorker();
    ProbeSelectedClip(State.InputFile, false);
}

void MainForm::mnPlayLvInputFileClick() {
    QTreeWidgetItem* item = LvInput->currentItem();
    if (!item || !item->isSelected()) return;
    State.InputFileName = S(item->text(col::InName));
    State.InputFile = State.ConvertFolder + State.InputFileName;
    if (!FileExists(State.InputFile)) {
        ShowMessage(this, Q("The requested file: " + State.InputFile + "\n Not exist!"));
        return;
    }
    OpenWithDesktop(Q(State.InputFile));
}

void MainForm::UpdateJoinOutputName(const std::string& caption) {
    State.JoinExt = JoinExtOfCaption(caption);
    State.JoinBaseName = LastFolderName(State.JoinFolder);
    if (State.JoinBaseName.empty()) State.JoinBaseName = "File";
    State.JoinedOutput = JoinedOutputName(State.SaveJoinFolder, State.JoinFolder, State.JoinExt);
}

void MainForm::LvInputJoinMouseUp(const QPoint& pos) {
    State.BuildOnly = true;
    QTreeWidgetItem* item = LvInputJoin->itemAt(pos);
    if (!item) return;
    SelectJoinRow(LvInputJoin->indexOfTopLevelItem(item));
}

void MainForm::SelectJoinRow(int row) {
    State.BuildOnly = true;
    QTreeWidgetItem* item = LvInputJoin->topLevelItem(row);
    if (!item) return;
    PendingUpdatesAllowed = true;
    LvInputJoin->setCurrentItem(item);
    item->setSelected(true);
    State.JoinClickedFile = S(item->text(col::JoinName));
    UpdateJoinOutputName(State.JoinClickedFile);
    ProbeSelectedClip(State.JoinFolder + State.JoinClickedFile, true);
    State.JoinAllChecked = false;
}

void MainForm::chkboxJoinAllCheckClick() {
    State.BuildOnly = true;
    PendingUpdatesAllowed = true;
    State.JoinAllChecked = true;
    const int n = LvInputJoin->topLevelItemCount();
    if (!chkboxJoinAllCheck->isChecked()) {
        for (int i = 0; i < n; ++i)
            LvInputJoin->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
        return;
    }
    for (int i = 0; i < n; ++i)
        LvInputJoin->topLevelItem(i)->setCheckState(0, Qt::Checked);
    if (n >= 2) {
        // The second row is the join's reference file.
        QTreeWidgetItem* second = LvInputJoin->topLevelItem(1);
        LvInputJoin->setCurrentItem(second);
        State.JoinCountText = std::to_string(n);
        UpdateJoinOutputName(S(second->text(col::JoinName)));
        RefreshJoinRow();
    }
}

} // namespace trimora
