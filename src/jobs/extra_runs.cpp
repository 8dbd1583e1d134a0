#include "jobs/extra_runs.h"

#include "common/helpers.h"

namespace trimora {

std::string SavedFrameMessage(const std::string& imagePath) {
    return "Image saved to: \"" + imagePath + "\" [DoubleClick to view]";
}

TExtraRuns::TExtraRuns(ExtraRunHost host) : host_(std::move(host)) {}

TExtraRuns::~TExtraRuns() {
    std::vector<std::shared_ptr<Run>> all;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& slot : slots_)
            if (slot) all.push_back(std::move(slot));
        for (auto& run : retired_)
            all.push_back(std::move(run));
        retired_.clear();
    }
    // Outside the lock: a completion handler that is already running takes it.
    for (auto& run : all) {
        run->process.reset();
    }
}

int TExtraRuns::SlotIndex(const std::string& kind) {
    if (kind == kDosPreloadffmpeg) return 0;
    if (kind == kDosSaveFrame) return 1;
    if (kind == kDosExtractAudio) return 2;
    return -1;
}

bool TExtraRuns::IsRunning(const std::string& kind) const {
    const int slot = SlotIndex(kind);
    if (slot < 0) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    return slots_[slot] != nullptr;
}

void TExtraRuns::PostToGui(std::function<void()> work) {
    if (host_.Post)
        host_.Post(std::move(work));
    else
        work();
}

void TExtraRuns::ReleaseFinished() {
    std::vector<std::shared_ptr<Run>> done;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = retired_.begin(); it != retired_.end();) {
            if ((*it)->handlerDone) {
                done.push_back(std::move(*it));
                it = retired_.erase(it);
            } else {
                ++it;
            }
        }
    }
    done.clear(); // joins the finished runners' threads, outside the lock
}

bool TExtraRuns::StartExtraRun(const std::string& command, const std::string& kind,
                               const std::string& outputPath, const std::string& currentFolder) {
    ReleaseFinished();
    const int slot = SlotIndex(kind);
    if (slot < 0) return false;

    auto run = std::make_shared<Run>();
    run->kind = kind;
    run->outputPath = outputPath;
    run->process = std::make_unique<TDosCmdProcess>();
    TDosCmdProcess& process = *run->process;
    process.CmdLine = command;
    if (slot == 2 && host_.AudioText) process.OnProcessText = host_.AudioText;
    process.OnProcessComplete = [this, slot](TDosCmdProcess& sender) { Completed(sender, slot); };

    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (slots_[slot]) return false;
        slots_[slot] = run;
    }
    if (process.Run(currentFolder)) return true;

    // The process could not be created: no handler will ever run, so free the slot again.
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (slots_[slot] == run) slots_[slot].reset();
    }
    return false;
}

void TExtraRuns::Completed(TDosCmdProcess& sender, int slot) {
    std::shared_ptr<Run> run;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (slots_[slot] && slots_[slot]->process.get() == &sender) {
            run = std::move(slots_[slot]);
            retired_.push_back(run);
        }
    }
    if (!run) return; // being torn down

    if (slot == 1) {
        const bool saved = sender.ExitStatus() == 0 && sender.TermSignal() == 0 &&
                           GetFileSize64(run->outputPath) > 0;
        auto frameSaved = host_.FrameSaved;
        const std::string path = run->outputPath;
        if (frameSaved) PostToGui([frameSaved, path, saved] { frameSaved(path, saved); });
    } else if (slot == 2) {
        if (host_.AudioComplete) host_.AudioComplete(sender);
    }

    std::lock_guard<std::mutex> lock(mutex_);
    run->handlerDone = true;
}

} // namespace trimora
