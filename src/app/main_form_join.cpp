// JOIN mode: the join command of the ticked rows, its pending row, and the join's start.
#include "app/main_form.h"
#include "app/qt_text.h"

#include "common/helpers.h"
#include "media/store_info.h"
#include "ui/radio_group.h"

#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTreeWidget>

namespace trimora {


TJoinListSnapshot MainForm::JoinListSnapshot() {
    TJoinListSnapshot list;
    list.JoinPageShowing = P1->currentWidget() == InputJoinTab;
    list.HasSelection = !LvInputJoin->selectedItems().isEmpty() || LvInputJoin->currentItem();
    list.Nosound = chkboxNosound->isChecked();
    for (int i = 0; i < LvInputJoin->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = LvInputJoin->topLevelItem(i);
        TJoinRow row;
        row.Caption = S(item->text(col::JoinName));
        // Sizes arrive a moment after the names (FillFileList); one not there yet is looked up.
        row.SizeIn64 = item->text(col::JoinBytes).isEmpty()
                           ? std::max<int64_t>(0, GetFileSize64(State.JoinFolder + row.Caption))
                           : item->text(col::JoinBytes).toLongLong();
        row.FrameSize = S(item->text(col::JoinFrameSize));
        row.Fps = S(item->text(col::JoinFps));
        row.Checked = item->checkState(0) == Qt::Checked;
        list.Rows.push_back(std::move(row));
    }
    State.JoinFileType = rgJoinSelection->ItemIndex();
    return list;
}

std::string MainForm::BuildJoinPreview() {
    const TJoinBuildResult built = trimora::BuildJoinCommand(JoinListSnapshot(), State);
    if (!built.Ran) return "";
    MemoCodeClear();
    for (const auto& line : built.MemoLines)
        MemoCodeAdd(line);
    if (!built.FpsMessage.empty()) lblMessage->setText(QString::fromStdString(built.FpsMessage));
    return built.Command;
}

void MainForm::RefreshJoinRow() {
    if (!State.StartupDone) return;
    SyncModeState();
    trimora::RefreshJoinRow(State, OutputList, [this] { BuildJoinPreview(); });
}

bool MainForm::JoinClips() {
    if (!State.StartupDone) return false;
    SyncModeState();
    TJoinListSnapshot list = JoinListSnapshot();
    // An AVI join puts a clip made at the first ticked clip's frame size in front; rows ticked
    // with "Check ALL" were never probed, so the first one is probed here.
    if (list.Rows.size() >= 2 &&
        JoinFamilyOf(JoinExtOfCaption(list.Rows[1].Caption)) == TJoinFamily::Avi) {
        for (auto& row : list.Rows) {
            if (!row.Checked) continue;
            if (row.FrameSize.size() < 2) {
                TStoreInfo info;
                TClipReportInputs in;
                in.InputExt = ToLower(JoinExtOfCaption(row.Caption));
                in.Page = TSourcePage::Other;
                const auto probe =
                    ProbeClip(State.FfmpegCommand, State.JoinFolder + row.Caption, in, info);
                if (probe.Started && !info.BadFile) row.FrameSize = info.FrameSize;
            }
            break;
        }
    }
    return trimora::JoinClips(list, Runs, &ThreadJoinListFileMon);
}

} // namespace trimora
