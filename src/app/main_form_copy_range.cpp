// CUT mode: where the stream copy of the chosen range really starts and ends, for the summary.
#include "app/main_form.h"

#include "common/helpers.h"
#include "jobs/copy_range.h"
#include "media/keyframe_cache.h"

#include <QCheckBox>
#include <QRadioButton>

namespace trimora {

std::string MainForm::CopyRangeSummary() {
    if (!rdCutQuick->isChecked() || chkboxExact->isChecked() || chkboxSoundOnly->isChecked() ||
        State.InputFile.empty() || State.SeekArgs.empty())
        return "";
    if (!CopyKeys) CopyKeys = std::make_shared<TKeyframeCache>();
    std::optional<std::vector<double>> keyframes = CopyKeys->Get(State.InputFile);
    if (!keyframes) {
        if (!CopyKeysPolling) {
            CopyKeysPolling = true;
            QTimer::singleShot(250, this, [this] { PollCopyKeys(); });
        }
        return " copy range: reading the keyframes...";
    }
    // Seconds from the clip's first keyframe, as the time boxes count.
    const double origin = keyframes->empty() ? 0 : keyframes->front();
    for (double& k : *keyframes) k -= origin;
    const double fps = std::atof(Info.FpsText.c_str());
    const double end = ParseTimeSecondsFrac(State.CutEndText);
    const TCopyRange range =
        PredictCopyRange(State.InputExt, *keyframes, State.CutStartSeconds, end,
                         Info.DurationSeconds, fps > 0 ? 1 / fps : 0.04);
    const std::string text = DescribeCopyRange(range, State.CutStartSeconds, end);
    return text.empty() ? "" : " " + text;
}

void MainForm::PollCopyKeys() {
    CopyKeysPolling = false;
    if (State.BuildOnly && !IsRunning()) {
        RefreshCutSummary();
        return;
    }
    CopyKeysPolling = true;
    QTimer::singleShot(250, this, [this] { PollCopyKeys(); });
}

} // namespace trimora
