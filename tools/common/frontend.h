#pragma once
// Shared plumbing of the tool front-ends (fcut.exe, mcut.exe, mmerge.exe, fmerge.exe).
//
// A front-end stays the parent of the tool it drives: Cancel finds it by its own name, so it must
// never exec into the tool. Termination signals sent to the front-end (SIGTERM, SIGINT, SIGHUP)
// are forwarded to the running tool, which is killed outright if it has not ended shortly after;
// the tool also gets PR_SET_PDEATHSIG(SIGKILL), so even a SIGKILL of the front-end leaves no
// orphan behind. The front-end's exit status mirrors the tool's.

#include <functional>
#include <string>
#include <vector>

namespace trimora::frontend {

enum class OutputStream { Out, Err };

// Called on the front-end's own thread with each chunk as it arrives (not split into lines).
using ChunkHandler = std::function<void(OutputStream stream, const std::string& chunk)>;

struct ToolOutcome {
    bool started = false; // false: the program could not be found or started
    int exitCode = 0;     // valid when signal == 0
    int signal = 0;       // the signal that ended the tool, or 0
    // Status for the front-end to exit with: the tool's exit code, 128+signal when it was killed
    // (or when the front-end itself was asked to stop), 127 when it could not be started.
    int Status() const;
    bool Succeeded() const { return started && signal == 0 && exitCode == 0; }
};

// Runs argv[0] (a bare name is looked up in PATH) with the rest of argv as its arguments, no
// shell, stdin from /dev/null. Output chunks go to onChunk (null: they are dropped). When the
// front-end receives a termination signal the tool gets the same signal, and SIGKILL if it is
// still running after graceMs.
ToolOutcome RunTool(const std::vector<std::string>& argv, const ChunkHandler& onChunk,
                    int graceMs = 700);

// Same, collecting stdout and stderr separately.
ToolOutcome RunToolCapture(const std::vector<std::string>& argv, std::string* out,
                           std::string* err);

// The termination signal the front-end received, or 0. Once set, RunTool starts nothing more.
int ReceivedSignal();

// Kills the tool RunTool is running (from its chunk handler), when the front-end has seen enough.
void StopRunningTool();

// Full path of an executable found in PATH (or the path itself when it contains '/'), empty when
// there is none.
std::string FindProgram(const std::string& name);

// ffprobe -print_format json -show_format -show_streams on path. True when ffprobe succeeded;
// json receives its output, error its stderr text either way (e.g. "Invalid data found when
// processing input").
bool ProbeJson(const std::string& path, std::string* json, std::string* error = nullptr,
               const std::vector<std::string>& extraArgs = {});

// Writes text to stdout / stderr at once (the program reads our output as it comes).
void PrintOut(const std::string& text);
void PrintErr(const std::string& text);

// Argument helpers ---------------------------------------------------------------------------
std::vector<std::string> ArgsOf(int argc, char** argv); // without argv[0]
// Removes the leading arguments if they equal `leading` in order ("-cb", or "-cb", "qzv");
// returns whether they were there.
bool DropLeading(std::vector<std::string>& args, const std::vector<std::string>& leading);
// Lower-case extension with its dot (".mp4"), or empty.
std::string LowerExtension(const std::string& path);

// The last video keyframe at or before t (seconds on the input's own clock), read from the
// packet index of the `window` seconds before t (one short read, where the whole index of a long
// recording takes seconds; a negative window reads from the start). Keyframe packets without a
// presentation time (program streams) count at their decoding time. Negative when none is found.
double KeyframeAtOrBefore(const std::string& input, double t, double window = 20);

} // namespace trimora::frontend
