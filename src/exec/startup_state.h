#pragma once
// The start-up part of the job state that both the window and the command-line mode need: the
// folders, the tool command prefixes and the thread pieces, the work folders under the home
// folder. The front-ends are installed by EnsureFrontEndsInstalled (exec/tool_install.h).

#include <string>

#include "common/job_state.h"

namespace trimora {

// Thread pieces by processor count (1..6): " -threads 10 " / ":threads=10" for 4 processors,
// empty for 1.
std::string ThreadsOptionFor(int processorCount);
std::string LavcThreadsOptionFor(int processorCount);

// Sets DesignMode, the folders (ProgramFolder, TempFolder, SystemFolder, ToolFolder, default save
// folders, SaveImageFolder), ThreadsOption and LavcThreadsOption (from GetProcessorCount()), the
// command prefixes and EdlFile; creates the tool folder and the work folders when missing. Leaves
// StartupDone and the settings' folders alone.
void SetUpStartupState(JobState& state);

} // namespace trimora
