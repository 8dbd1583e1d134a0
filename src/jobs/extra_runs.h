#pragma once
// Short tool runs that have no job runner of their own: the encoder warm-up at start-up, saving
// a preview frame as an image and the audio extraction. Each kind has one slot; while a run of a kind is alive, a new request of that kind is ignored.
//
// Threads: StartExtraRun is called on the GUI thread. The completion of a run arrives on the
// runner's waiting thread; the slot is emptied there, and every window effect (status text,
// memo line) is queued to the GUI thread through ExtraRunHost::Post. The audio kind's text and
// completion handlers are the audio job's own runner handlers and are called on the runner's
// threads, exactly like the handlers of any other job run.

#include "exec/dos_cmd_process.h"

#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace trimora {

inline constexpr const char* kDosPreloadffmpeg = "DosPreloadffmpeg";
inline constexpr const char* kDosSaveFrame = "DosSaveFrame";
inline constexpr const char* kDosExtractAudio = "DosExtractAudio";
// The normalising clip of an AVI join: a job run kind (see join_run), not an extra run.
inline constexpr const char* kDosNormalizedFrame = "DosNormalizedFrame";

// "Image saved to: "<path>" [DoubleClick to view]"
std::string SavedFrameMessage(const std::string& imagePath);

struct ExtraRunHost {
    // Queues work for the GUI thread, in order. Unset: the work runs at once on the calling
    // thread (tests without an event loop).
    std::function<void(std::function<void()>)> Post;
    // GUI thread: a frame-save run ended. saved is false when the tool failed, was killed or
    // left no image behind.
    std::function<void(const std::string& imagePath, bool saved)> FrameSaved;
    // Runner threads: the audio job's handlers. AudioComplete is called after the audio slot
    // has been emptied, so it may already start a new extraction.
    TDosCmdProcess::TextHandler AudioText;
    TDosCmdProcess::CompleteHandler AudioComplete;
};

class TExtraRuns {
  public:
    explicit TExtraRuns(ExtraRunHost host = {});
    // Runs still alive are stopped (their process groups killed) without completion effects.
    ~TExtraRuns();
    TExtraRuns(const TExtraRuns&) = delete;
    TExtraRuns& operator=(const TExtraRuns&) = delete;

    // The host may be set once, before the first run.
    void SetHost(ExtraRunHost host) { host_ = std::move(host); }

    // Starts command as a run of kind (one of the first three texts above) in currentFolder (empty:
    // the program folder). outputPath is the file the run is to write (the image of a frame
    // save); it is handed back to FrameSaved. Returns true when the run was started; false
    // when a run of that kind is still alive (the request is ignored), the kind is unknown, or
    // the process could not be created (then the slot stays empty, so the kind can be asked
    // for again).
    bool StartExtraRun(const std::string& command, const std::string& kind,
                       const std::string& outputPath = "", const std::string& currentFolder = "");

    // Whether a run of kind is alive (its slot is filled).
    bool IsRunning(const std::string& kind) const;

  private:
    struct Run {
        std::unique_ptr<TDosCmdProcess> process;
        std::string kind, outputPath;
        bool handlerDone = false; // the completion handler has returned
    };

    static int SlotIndex(const std::string& kind);
    void Completed(TDosCmdProcess& sender, int slot);
    void ReleaseFinished();
    void PostToGui(std::function<void()> work);

    ExtraRunHost host_;
    mutable std::mutex mutex_;
    std::array<std::shared_ptr<Run>, 3> slots_;
    // Runs whose slot was emptied; freed later from the GUI thread, never from inside their own
    // completion handler (the runner's destructor waits for that thread).
    std::vector<std::shared_ptr<Run>> retired_;
};

} // namespace trimora
