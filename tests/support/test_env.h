#pragma once
// Shared test helpers: an isolated HOME/XDG for each test, the front-ends installed where the
// program looks for them, sample clips made once per test run with ffmpeg's lavfi sources, and
// small ffprobe readers to check outputs.

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

namespace trimora_test {

// Folder of the built programs (trimora, fcut.exe, ...), ending with '/'.
std::string BinDir();

// A fresh temporary folder with HOME, XDG_CONFIG_HOME, XDG_DATA_HOME and TMPDIR pointing into it
// while the object lives; the old values come back and the folder is removed afterwards.
class IsolatedHome {
  public:
    IsolatedHome();
    ~IsolatedHome();
    IsolatedHome(const IsolatedHome&) = delete;
    IsolatedHome& operator=(const IsolatedHome&) = delete;
    const std::string& Root() const { return root_; } // ends with '/'
    // $XDG_DATA_HOME/trimora/ with the front-ends linked into it (and qvcut/ with the merge tools)
    std::string InstallTools() const;

  private:
    std::string root_;
    std::vector<std::pair<std::string, std::string>> saved_;
};

// The end-to-end tests' set-up: their own home with the front-ends installed (sys_) and an empty
// folder for the files they make (out_), both ending with '/'.
class InstalledTools : public ::testing::Test {
  protected:
    InstalledTools() { std::filesystem::create_directories(out_); }
    IsolatedHome home_;
    const std::string sys_ = home_.InstallTools(), out_ = home_.Root() + "out/";
};

// Makes (once per test run, shared between test processes) a clip named `name` in the clip cache
// by running ffmpeg with `args` (everything between "ffmpeg -y" and the output path), and returns
// its path.
std::string SampleClip(const std::string& name, const std::string& args);

// The clip most tests share: `seconds` long, 160x120 at 25 fps with a 440 Hz tone (44.1 kHz,
// stereo), a keyframe every 12 frames, in the usual codecs of the container of `ext` (any case).
// `extra` ffmpeg options come last and win (e.g. "-an", "-g 50", "-c:v mpeg4").
std::string MediaClip(const std::string& ext, int seconds, const std::string& extra = "");
// The file name of a path without folder and extension.
std::string StemOf(const std::string& path);

// Runs argv (no shell) and returns its stdout+stderr; exitCode receives the exit status.
std::string RunProgram(const std::vector<std::string>& argv, int* exitCode = nullptr);

// ffprobe's container duration in seconds (-1 when unreadable).
double ProbeDuration(const std::string& path);

// Everything the end-to-end tests check of a media file, from one ffprobe run (every process
// start counts on the shared machine). readable is false when ffprobe cannot read it.
struct MediaFacts {
    bool readable = false;
    std::string format, vcodec, acodec, frameSize; // frameSize "WxH"; codecs empty when absent
    double duration = -1, vduration = -1, aduration = -1, fps = 0, vstart = -1, astart = -1;
};
MediaFacts ProbeMedia(const std::string& path);

// ffmpeg's framemd5 of the first video stream, one entry per frame in presentation order: its
// time from the first frame and its hash; of the packets as stored when `packets`, else of the
// decoded pictures.
std::vector<std::pair<double, std::string>> FrameHashes(const std::string& path,
                                                        bool packets = false);

// Names of the entries of a folder but the program's own zStore, sorted (empty when it does
// not exist).
std::vector<std::string> FilesIn(const std::string& folder);

// Byte contents of a file, for checks that sources stay untouched.
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);

// The last non-empty line of a text.
std::string LastLineOf(const std::string& text);

// `trimora ARGS...` run to its end: exit status, output, its last line and the file after "DONE ".
struct CliRun {
    int status = -1;
    std::string output;
    std::string LastLine() const { return LastLineOf(output); }
    std::string Done() const; // empty when the last line is no "DONE <path>"
};
CliRun RunTrimora(const std::vector<std::string>& args);
// A front-end's command line as the program composes it (names quoted), run without a shell.
CliRun RunCommand(const std::string& command);

// A program started in the background (argv[0] searched in PATH), its output going to `log`; in a
// process group of its own when asked, so its tools can be stopped with it.
struct Started {
    pid_t pid = -1;
    std::string log;
    int status = -1; // exit status, 128+n when killed by signal n
    int Wait(int ms = -1); // the status, or -2 when ms passed first
    std::string Output() const { return ReadFileBytes(log); }
    std::string LastLine() const { return LastLineOf(Output()); }
};
Started StartInBackground(const std::vector<std::string>& argv, const std::string& log,
                          bool ownGroup = false);

// Live (not zombie) processes below pid: pid -> command name.
std::map<pid_t, std::string> Descendants(pid_t pid);
bool Alive(pid_t pid);
// Checks `done` every 10 ms until it holds (true) or `ms` pass (false).
bool PollUntil(const std::function<bool()>& done, int ms);
// Waits (at most 10 s) until a process named `tool` (any of ffmpeg, mkvmerge and mencoder when
// empty) runs below pid, and returns the processes below pid then (empty when none came).
std::map<pid_t, std::string> WaitForTool(pid_t pid, const std::string& tool = "");

} // namespace trimora_test
