#pragma once
// Starting a join: the checks, the normalising clip of an AVI join, the "JoinFormList" run with
// its text and completion handlers, and the join monitor. Shared by the window and the
// command-line mode; every window effect goes through the run host.

#include "exec/tool_runs.h"
#include "jobs/extra_runs.h"
#include "jobs/join.h"
#include "jobs/output_list.h"
#include "workers/join_monitor.h"

#include <string>

namespace trimora {

// The monitor's host: it reads the join's progress from `runs` and shows it through its host.
TJoinListFileMon::Host JoinMonitorHost(TToolRuns& runs);
// What the monitor reads; GUI thread.
TJoinMonitorView ReadJoinMonitorView(TToolRuns& runs);

// "Processing file #1 of N", what Start shows once the join has started.
std::string JoinStartedStatus(const JobState& state);

// Start in JOIN mode (GUI thread). Builds the command from the ticked rows and starts it. For an
// AVI join the normalising clip is made first and the join starts once it is complete. `monitor`
// (may be null) is started with the run and stopped when it ends.
// Returns false when nothing was started: fewer than two ticked rows (the message is shown and
// the run controls are reset), a format no tool joins, or a join already running.
bool JoinClips(const TJoinListSnapshot& list, TToolRuns& runs, TJoinListFileMon* monitor);

inline constexpr const char* kJoinFinishedLog = "DosJoinFromList Finished in: ";
inline constexpr const char* kNormalizedDoneLog = "DosNormalizedFrame done.";

} // namespace trimora
