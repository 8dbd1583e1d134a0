#pragma once
// The convert and audio-extraction jobs: preparing their command (shown in the command memo,
// pending row kept current) and, after Start, running it and reporting its end. The option
// lists are read into the job's Options by the caller before each call; the pieces of the last
// build stay in the job.

#include "common/job_state.h"
#include "exec/tool_runs.h"
#include "jobs/audio.h"
#include "jobs/convert.h"
#include "jobs/extra_runs.h"
#include "jobs/output_list.h"
#include "media/store_info.h"

#include <memory>
#include <mutex>

namespace trimora {

// Everything a job reads and writes besides its own options.
struct TJobContext {
    JobState& State;
    const TStoreInfo& Info;
    TOutputList& List;
    TToolRuns& Runs; // progress state and window effects (Runs.Host())
};

struct TConvertJob {
    TConvertOptions Options;
    TConvertPieces Pieces;
};

inline constexpr const char* kConvertFinishedText = "DosConvertClip Finished in: ";

// Prepares the conversion (BuildOnly set): fragment, pending row, command in the memo. After
// Start (BuildOnly clear): also runs it as "DosConvertClip". length is the clip's or the
// range's length in seconds (0 from the probe). Returns true when a run was started.
bool ConvertClip(TConvertJob& job, int64_t length, TJobContext& ctx);

class TAudioJob {
  public:
    TAudioOptions Options;
    TAudioPieces Pieces;

    // Wires the audio text and completion handlers into the extra runs' host; call once,
    // before the first run, with the host the TExtraRuns is then given. runs and state must
    // outlive the extra runs.
    void AttachTo(ExtraRunHost& host, TToolRuns& runs, JobState& state);

    // Prepares the extraction (command in the memo, pending row); after Start runs it as the
    // extra run "DosExtractAudio". Returns true when a run was started.
    bool ExtractAudio(TJobContext& ctx, TExtraRuns& extraRuns);

  private:
    struct Run;
    void OnText(TDosCmdProcess& sender, const std::string& text);
    void OnComplete(TDosCmdProcess& sender);
    void Finish(const std::shared_ptr<Run>& run, const TRunFacts& facts);

    TToolRuns* runs_ = nullptr;
    JobState* state_ = nullptr;
    std::mutex mutex_;
    std::shared_ptr<Run> current_;
};

inline constexpr const char* kNoAudioMessage = "Input Clip contains no Audio!";

} // namespace trimora
