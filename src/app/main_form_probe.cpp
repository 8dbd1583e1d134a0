// The clip probe of a clicked row and what its result changes in the window.
#include "app/main_form.h"

#include "common/helpers.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QTreeWidget>

namespace trimora {

void MainForm::ClearClipInfo() {
    Info.BadFile = false;
}

void MainForm::ProbeSelectedClip(const std::string& file, bool joinList) {
    QTreeWidget* list = joinList ? LvInputJoin : LvInput;
    TClipReportInputs in;
    in.InputExt = State.InputExt;
    in.DesignMode = State.DesignMode;
    in.ClipChosenInLvInput = ClipSelectedOnce;
    in.Page = P1->currentWidget() == InputJoinTab ? TSourcePage::InputJoin
              : P1->currentWidget() == InputTab   ? TSourcePage::Input
                                                  : TSourcePage::Other;
    in.HasSelectedItem = !list->selectedItems().isEmpty();
    in.JoinMode = rdJoin->isChecked();
    in.ConvertMode = rdConvert->isChecked();
    in.SoundOnly = chkboxSoundOnly->isChecked();

    MemoClipInfo->clear();
    const TProbeOutcome outcome = ProbeClip(State.FfmpegCommand, file, in, Info);
    for (const std::string& line : outcome.Report)
        MemoClipInfo->appendPlainText(QString::fromStdString(line));
    if (!joinList) ProbeFailure = outcome.Failure;
    if (!outcome.Failure.empty()) {
        MemoClipInfo->appendPlainText(QString::fromStdString(outcome.Failure));
        if (QTreeWidgetItem* item = list->selectedItems().value(0))
            item->setText(joinList ? col::JoinFrameSize : col::InFrameSize,
                          QStringLiteral("Unreadable"));
        return;
    }
    const TClipReportResult& r = outcome.Result;

    // The probe's columns follow the size columns the list already holds.
    auto append = [](QTreeWidgetItem* item, int firstColumn, const std::vector<std::string>& subs) {
        for (size_t i = 0; i < subs.size(); ++i)
            item->setText(firstColumn + static_cast<int>(i), QString::fromStdString(subs[i]));
    };
    if (QTreeWidgetItem* item = LvInput->selectedItems().value(0);
        item && !r.InputSubItems.empty()) {
        append(item, col::InFrameSize, r.InputSubItems);
        item->setTextAlignment(col::InFrameSize, Qt::AlignCenter);
    }
    if (QTreeWidgetItem* item = LvInputJoin->selectedItems().value(0);
        item && !r.JoinSubItems.empty()) {
        append(item, col::JoinFrameSize, r.JoinSubItems);
        item->setTextAlignment(col::JoinFrameSize, Qt::AlignCenter);
    }
    if (r.BadFile) return;

    if (r.SetSliderMax) {
        const int max = static_cast<int>(std::clamp<int64_t>(r.SliderMax, 0, 1 << 30));
        StartSlider->setMaximum(max);
        EndSlider->setMaximum(max);
    }
    if (r.SetTotalTime) lblTotalTime->setText(QString::fromStdString(r.TotalTimeText));
    if (!r.SummaryText.empty())
        MemoClipInfo->appendPlainText(QString::fromStdString(r.SummaryText));
    if (!joinList) State.ClipDuration = Info.ClipDuration;

    switch (r.Refresh) {
    case TClipRefresh::JoinRow:
        RefreshJoinRow();
        break;
    case TClipRefresh::SoundOnly:
        // Only prepares: BuildOnly is set. The pending row keeps the next job's number.
        ExtractAudio();
        break;
    case TClipRefresh::Convert:
        AddPendingRow();
        ConvertClip(0);
        break;
    default:
        break;
    }
    if (r.ResetPreviews) {
        AddPendingRow();
        if (chkboxSoundOnly->isChecked())
            ExtractAudio(); // the sound-only pending row, not the cut's
        // The whole clip until the user chooses: Start right away cuts all of it, never another
        // clip's range.
        StartSlider->setValue(0);
        EndSlider->setValue(EndSlider->maximum());
        EditStartTime->setText(QStringLiteral("0:00:00.000"));
        EditEndTime->setText(QString::fromStdString(FormatSecondsMs(Info.DurationSeconds)));
        UpdateEditTime.start();
        LoadStartVideoTimer.start();
        LoadEndVideoTimer.start();
    }
}

} // namespace trimora
