// CUT mode's "Exact" option: the summary of what the exact cut will do for the selected clip.
#include "app/main_form.h"

#include "common/helpers.h"
#include "media/exact_plan.h"
#include "media/keyframes.h"

#include <QCheckBox>
#include <QRadioButton>
#include <algorithm>
#include <mutex>
#include <thread>

namespace trimora {

// The packet index of one clip, read by a worker thread; the window polls until it is there.
struct ExactKeyframeRead {
    std::mutex lock;
    std::string path;
    bool ready = false;
    std::vector<IndexedPacket> packets; // decode order
};

std::string MainForm::ExactCutSummary() {
    if (!chkboxExact->isChecked() || !rdCutQuick->isChecked() || State.InputFile.empty() ||
        State.SeekArgs.empty())
        return "";
    if (!ExactKeys || ExactKeys->path != State.InputFile) {
        ExactKeys = std::make_shared<ExactKeyframeRead>();
        ExactKeys->path = State.InputFile;
        std::thread([read = ExactKeys] {
            std::string lines;
            ReadKeyframeTimes(read->path, 30, &lines);
            auto packets = ParsePacketLines(lines);
            std::lock_guard hold(read->lock);
            read->packets = std::move(packets);
            read->ready = true;
        }).detach();
    }
    std::vector<IndexedPacket> packets;
    {
        std::lock_guard hold(ExactKeys->lock);
        if (!ExactKeys->ready) {
            QTimer::singleShot(300, this, [this] { RefreshCutSummary(); });
            return " Exact: reading the keyframes...";
        }
        packets = ExactKeys->packets;
    }
    // Seconds from the clip's first keyframe, as the time boxes count.
    const auto firstKey = std::find_if(packets.begin(), packets.end(),
                                       [](const IndexedPacket& p) { return p.key; });
    const double origin = firstKey == packets.end() ? 0 : firstKey->pts;
    for (auto& p : packets) p.pts -= origin;
    const std::string codec = Info.CodecSummary.substr(0, Info.CodecSummary.find(' '));
    const double end = ParseTimeSecondsFrac(State.CutEndText);
    const ExactCutPlan plan = PlanExactCut(packets, State.CutStartSeconds, end,
                                           ExactCopySupported(codec, State.InputExt));
    return " Exact: " + DescribeExactCut(plan);
}

} // namespace trimora
