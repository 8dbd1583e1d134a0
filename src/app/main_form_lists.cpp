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

#include <algorithm>
#include <unordered_map>

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QRegularExpression>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
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

// Seconds of the last "H:MM:SS[.f]" in a cell ("0:01:05" or "... - 0:00:12.5"); -1 when none.
double CellSeconds(const QString& text) {
    static const QRegularExpression time(QStringLiteral("(\\d+):(\\d\\d):(\\d\\d(?:\\.\\d+)?)"));
    double seconds = -1;
    for (auto it = time.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        seconds = m.captured(1).toDouble() * 3600 + m.captured(2).toDouble() * 60 +
                  m.captured(3).toDouble();
    }
    return seconds;
}

// Whether row a sorts before row b by the given column of a source list.
bool RowLess(const QTreeWidgetItem* a, const QTreeWidgetItem* b, int column, bool joinList) {
    const int sizeColumn = joinList ? col::JoinSize : col::InSize;
    const int durationColumn = joinList ? col::JoinSummary : col::InDuration;
    if (column == sizeColumn) {
        const qlonglong x = a->data(sizeColumn, col::SortRole).toLongLong();
        const qlonglong y = b->data(sizeColumn, col::SortRole).toLongLong();
        if (x != y) return x < y;
    } else if (column == durationColumn) {
        const double x = CellSeconds(a->text(column)), y = CellSeconds(b->text(column));
        if (x != y) return x < y;
    }
    return NaturalLess(S(a->text(0)), S(b->text(0)));
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
    // The names show at once; in a large folder their sizes follow from a thread of their own
    // (one look at each file takes far longer than reading the names).
    std::vector<FileListRow> rows = ListFolderNames(WithSlash(folder), pattern, &ok);
    list->setUpdatesEnabled(false);
    list->clear();
    if (list == LvInput) CheckedInputIndex = -1;
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<int>(rows.size()));
    for (const FileListRow& row : rows) {
        auto* item = new QTreeWidgetItem();
        item->setText(0, Q(row.Name));
        item->setIcon(0, ListIcon(row.Icon));
        item->setTextAlignment(1, Qt::AlignCenter);
        item->setCheckState(0, Qt::Unchecked);
        if (list == LvInput) // ticked by a click only, never by the user's own tick
            item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
        items.append(item);
    }
    list->addTopLevelItems(items);
    // The rows come in name order; a column the user sorted by stays the order.
    const QHeaderView* header = list->header();
    if (header->sortIndicatorSection() != 0 || header->sortIndicatorOrder() != Qt::AscendingOrder)
        SortList(list, header->sortIndicatorSection(), header->sortIndicatorOrder());
    if (list == LvInputJoin) NumberJoinRows();
    list->setUpdatesEnabled(true);

    const bool join = list == LvInputJoin;
    const int generation = ++(join ? JoinListGeneration : InputListGeneration);
    FileSizeFill& fill = join ? JoinSizeFill : InputSizeFill;
    if (rows.size() < 256) { // a few hundred looks take a millisecond or two: no waiting
        fill.Stop();
        FillFileSizes(WithSlash(folder), rows);
        ApplyListSizes(list, generation, withBytes, rows);
        return;
    }
    fill.Start(WithSlash(folder), std::move(rows),
               [this, list, generation, withBytes](std::vector<FileListRow> sized) {
                   Queue([this, list, generation, withBytes, sized = std::move(sized)] {
                       ApplyListSizes(list, generation, withBytes, sized);
                   });
               });
}

void MainForm::ApplyListSizes(QTreeWidget* list, int generation, bool withBytes,
                              const std::vector<FileListRow>& rows) {
    const bool join = list == LvInputJoin;
    if (generation != (join ? JoinListGeneration : InputListGeneration)) return; // listed again
    std::unordered_map<std::string, const FileListRow*> byName;
    for (const FileListRow& row : rows) byName.emplace(row.Name, &row);
    QTreeWidgetItem* checked = join ? nullptr : list->topLevelItem(CheckedInputIndex);
    list->setUpdatesEnabled(false);
    bool removed = false;
    for (int i = list->topLevelItemCount() - 1; i >= 0; --i) {
        QTreeWidgetItem* item = list->topLevelItem(i);
        const auto it = byName.find(S(item->text(0)));
        if (it == byName.end()) continue;
        const FileListRow& row = *it->second;
        if (row.Bytes < 0) {
            // Gone (or no longer a file) since its name was read: not offered any more, unless
            // the user has already chosen or ticked it; it then shows no size.
            if (item != checked && item != list->currentItem() &&
                item->checkState(0) != Qt::Checked) {
                delete list->takeTopLevelItem(i);
                removed = true;
            }
            continue;
        }
        item->setText(1, Q(row.SizeText));
        item->setData(1, col::SortRole, QVariant::fromValue<qlonglong>(row.Bytes));
        if (withBytes) item->setText(2, QString::number(row.Bytes));
    }
    if (!join) CheckedInputIndex = checked ? list->indexOfTopLevelItem(checked) : -1;
    const QHeaderView* header = list->header();
    if (header->isSortIndicatorShown() && header->sortIndicatorSection() == 1)
        SortList(list, 1, header->sortIndicatorOrder());
    else if (join && removed)
        NumberJoinRows();
    list->setUpdatesEnabled(true);
}

void MainForm::SortList(QTreeWidget* list, int column, Qt::SortOrder order) {
    const bool joinList = list == LvInputJoin;
    QTreeWidgetItem* current = list->currentItem();
    QTreeWidgetItem* checked = joinList ? nullptr : list->topLevelItem(CheckedInputIndex);
    QList<QTreeWidgetItem*> items;
    while (list->topLevelItemCount() > 0)
        items.append(list->takeTopLevelItem(0));
    std::stable_sort(items.begin(), items.end(), [&](const auto* a, const auto* b) {
        return order == Qt::AscendingOrder ? RowLess(a, b, column, joinList)
                                           : RowLess(b, a, column, joinList);
    });
    list->addTopLevelItems(items);
    list->header()->setSortIndicator(column, order);
    list->header()->setSortIndicatorShown(true);
    if (current) {
        list->setCurrentItem(current);
        current->setSelected(true);
        list->scrollToItem(current);
    }
    if (!joinList) {
        CheckedInputIndex = checked ? list->indexOfTopLevelItem(checked) : -1;
        return;
    }
    NumberJoinRows();
    RefreshJoinRow();
}

void MainForm::ListHeaderClicked(QTreeWidget* list, int column) {
    if (column == col::JoinOrder && list == LvInputJoin) return; // the order is the rows' order
    const QHeaderView* header = list->header();
    const bool again = header->isSortIndicatorShown() && header->sortIndicatorSection() == column &&
                       header->sortIndicatorOrder() == Qt::AscendingOrder;
    SortList(list, column, again ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void MainForm::NumberJoinRows() {
    for (int i = 0; i < LvInputJoin->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = LvInputJoin->topLevelItem(i);
        item->setText(col::JoinOrder, QString::number(i + 1));
        item->setTextAlignment(col::JoinOrder, Qt::AlignRight | Qt::AlignVCenter);
    }
}

void MainForm::MoveJoinRow(int delta) {
    QTreeWidgetItem* item = LvInputJoin->currentItem();
    if (!item) return;
    const int from = LvInputJoin->indexOfTopLevelItem(item);
    const int to = from + delta;
    if (to < 0 || to >= LvInputJoin->topLevelItemCount()) return;
    LvInputJoin->takeTopLevelItem(from);
    LvInputJoin->insertTopLevelItem(to, item);
    LvInputJoin->setCurrentItem(item);
    item->setSelected(true);
    LvInputJoin->scrollToItem(item);
    // A hand-made order: no column sorts the list any more.
    LvInputJoin->header()->setSortIndicatorShown(false);
    NumberJoinRows();
    State.BuildOnly = true;
    PendingUpdatesAllowed = true;
    RefreshJoinRow();
}

void MainForm::KeySelectTimerTimer() {
    if (QTreeWidgetItem* item = LvInput->currentItem(); item && LvInput->hasFocus()) {
        const int row = LvInput->indexOfTopLevelItem(item);
        if (row != CheckedInputIndex) SelectInputRow(row);
    }
    if (QTreeWidgetItem* item = LvInputJoin->currentItem(); item && LvInputJoin->hasFocus()) {
        if (S(item->text(col::JoinName)) != State.JoinClickedFile)
            SelectJoinRow(LvInputJoin->indexOfTopLevelItem(item));
    }
}

bool MainForm::OpenPath(const std::string& given) {
    const QFileInfo info(Q(given));
    if (!info.exists()) return false;
    const std::string path = S(info.absoluteFilePath());
    const bool isFolder = info.isDir();
    const std::string folder = WithSlash(isFolder ? path : S(info.absolutePath()));
    const std::string name = isFolder ? std::string() : S(info.fileName());
    if (rdJoin->isChecked()) {
        State.JoinFolder = folder;
        ComboJoin->setEditText(Q(folder));
        FillFileList(folder, JoinPattern(rgJoinSelection->ItemIndex(), false), LvInputJoin, true);
        return true;
    }
    State.ConvertFolder = folder;
    ComboConvert->setEditText(Q(folder));
    P1->setCurrentWidget(InputTab);
    FillFileList(folder, kSourcePattern, LvInput, false);
    if (name.empty()) return true;
    for (int i = 0; i < LvInput->topLevelItemCount(); ++i) {
        if (S(LvInput->topLevelItem(i)->text(col::InName)) != name) continue;
        LvInput->scrollToItem(LvInput->topLevelItem(i));
        SelectInputRow(i);
        return true;
    }
    return false; // not a clip this program lists
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
    State.InputFileSize = GetFileSize64(State.InputFile);
    State.InputSizeText = S(item->text(col::InSize));
    if (State.InputSizeText.empty() && State.InputFileSize >= 0) // chosen before its size came
        State.InputSizeText = FormatFileSize(State.InputFileSize);
    lblClipInfo->setText(Q(State.InputFileName + " [" + State.InputSizeText + "]"));
    SetStatus("Status");
    State.InputExt = LowerExtension(State.InputFileName);

    SelectionComplete = true;
    State.BuildOnly = true;
    PendingUpdatesAllowed = true;
    ClipSelectedOnce = true;
    // A second click before the last look's worker has been wound up still gets its own look:
    // Start must never pair this clip with the previous clip's values.
    if (ThreadInfo.IsWorkerRunning())
        ThreadInfoStart();
    else
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
