// CUT mode's "Exact" option: the summary of what the exact cut will do for the selected clip.
#include "app/main_form.h"

#include "common/helpers.h"
#include "media/exact_plan.h"
#include "media/keyframes.h"

#include <QCheckBox>
#include <QRadioButton>
#include <mutex>
#include <thread>

namespace trimora {

// The keyframes of one clip, read by a worker thread; the window polls until they are there.
struct ExactKeyframeRead {
    std::mutex lock;
    std::string path;
    bool ready = false;
    std::vector<double> times;
};

std::string MainForm::ExactCutSummary() {
    if (!chkboxExact->isChecked() || !rdCutQuick->isChecked() || State.InputFile.empty() ||
        State.SeekArgs.empty())
        return "";
    if (!ExactKeys || ExactKeys->path != State.InputFile) {
        ExactKeys = std::make_shared<ExactKeyframeRead>();
        ExactKeys->path = State.InputFile;
        std::thread([read = ExactKeys] {
            auto times = ReadKeyframeTimes(read->path);
            std::lock_guard hold(read->lock);
            read->times = std::move(times);
            read->ready = true;
        }).detach();
    }
    std::vector<double> keyframes;
    {
        std::lock_guard hold(ExactKeys->lock);
        if (!ExactKeys->ready) {
            QTimer::singleShot(300, this, [this] { RefreshCutSummary(); });
            return " Exact: reading the keyframes...";
        }
        keyframes = ExactKeys->times;
    }
    // Seconds from the clip's first keyframe, as the time boxes count.
    const double origin = keyframes.empty() ? 0 : keyframes.front();
    for (double& k : keyframes) k -= origin;
    const std::string codec = Info.CodecSummary.substr(0, Info.CodecSummary.find(' '));
    const double end = ParseTimeSecondsFrac(State.CutEndText);
    const ExactCutPlan plan =
        PlanExactCut(keyframes, State.CutStartSeconds, end,
                     ExactCopySupported(codec, State.InputExt), codec != "mpeg4");
    return " Exact: " + DescribeExactCut(plan);
}

} // namespace trimora
