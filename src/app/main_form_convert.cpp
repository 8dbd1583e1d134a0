// CONVERT mode and the sound-only switch: the option lists are read into the convert and audio
// jobs, which prepare their command (memo, pending row) and, after Start, run it.
#include "app/main_form.h"
#include "app/qt_text.h"

#include <QComboBox>

namespace trimora {

namespace {


// The item index of the text the list shows; -1 for a typed text that is no item.
int ItemIndexOf(const QComboBox* box) {
    return box->findText(box->currentText(), Qt::MatchExactly | Qt::MatchCaseSensitive);
}

} // namespace

void MainForm::ReadConvertOptions() {
    TConvertOptions& o = ConvertJob.Options;
    o.ConvertType = S(cBoxConvertType->currentText());
    o.Quality = S(comboSizeFavor->currentText());
    o.FramePreset = S(ComboBoxFramePreset->currentText());
    o.IncludeSoundIndex = ItemIndexOf(cboxIncludeSound);
    o.VolumeIndex = ItemIndexOf(cboxVolume);
}

void MainForm::ReadAudioOptions() {
    AudioJob.Options.AudioType = S(ComboAudio->currentText());
    AudioJob.Options.VolumeIndex = ItemIndexOf(ComboExtractVol);
}

bool MainForm::ConvertClip(int64_t seconds) {
    if (!State.StartupDone)
        return false;
    SyncModeState();
    ReadConvertOptions();
    TJobContext ctx{State, Info, OutputList, Runs};
    return trimora::ConvertClip(ConvertJob, seconds, ctx);
}

bool MainForm::ExtractAudio() {
    if (!State.StartupDone)
        return false;
    if (!AudioRunText) {
        // The extra runs hand the audio run's output and end to these.
        ExtraRunHost handlers;
        AudioJob.AttachTo(handlers, Runs, State);
        AudioRunText = handlers.AudioText;
        AudioRunComplete = handlers.AudioComplete;
    }
    SyncModeState();
    ReadAudioOptions();
    TJobContext ctx{State, Info, OutputList, Runs};
    return AudioJob.ExtractAudio(ctx, ExtraRuns);
}

} // namespace trimora
