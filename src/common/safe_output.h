#pragma once
// The one rule for every file a job writes. Before a tool runs, the output name the user will see
// is reserved by creating it empty and exclusively (never through a symlink), so two jobs never
// get the same name and nobody can swap the path under a job. The tool writes a private name
// beside it, ".trimora-<pid>-<random>-<final name>", and the finished file is moved onto the
// reservation only while that is still our own empty file. Work files (EDL, splitter parts, the
// normalising clip) live in a private work folder of the job, which holds a lock for the job's
// life; folders whose lock can be taken belong to a program that is gone and are cleaned at the
// next start.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>

namespace trimora {

// Where the job folders live: $XDG_RUNTIME_DIR/trimora/ when that is a private folder of ours,
// else <home>/.cache/trimora/jobs/. Ends with '/'.
std::string JobsRoot();

// The user's home folder: $HOME when absolute, else the password database's entry. Ends with '/'.
std::string UserHome();

// The first name free among "name.ext", "name01.ext", "name02.ext", ... (trailing digits of the
// wanted name are dropped first, as the numbering adds its own). `take` returns 0 when it got
// the name, EEXIST when the name is in use, another errno to give up (the result is then empty).
std::string UniqueName(const std::string& path, const std::function<int(const std::string&)>& take);

class TJobFiles {
  public:
    // Makes a fresh work folder (mode 0700) under root (JobsRoot() when empty) and locks it.
    explicit TJobFiles(const std::string& root = "");
    ~TJobFiles(); // abandons what was not committed and removes the work folder
    TJobFiles(const TJobFiles&) = delete;
    TJobFiles& operator=(const TJobFiles&) = delete;

    bool Ok() const { return error_.empty(); }
    const std::string& Error() const { return error_; }
    const std::string& WorkFolder() const { return folder_; }

    // Reserves the wanted name (or the next numbered one), creating it empty. Sets Error() and
    // returns "" when no name can be reserved. One reservation per job.
    std::string ReserveOutput(const std::string& wanted);
    const std::string& Reserved() const { return reserved_; }
    // The private file the tool writes, created empty beside the reservation. Empty when
    // `precreate` is false (a tool that makes numbered files of its own from this name).
    std::string MakePrivateFile(bool precreate = true);
    const std::string& PrivateFile() const { return private_; }

    // Moves `from` (the private file when empty) onto the reservation, which must still be our
    // own empty regular file. False with a reason otherwise; the reservation is then left to
    // whoever replaced it.
    bool Commit(std::string& reason, const std::string& from = "");
    // Removes every private file of the job and the reservation while it is still ours and empty.
    void Abandon();
    // Abandons what was not committed, removes the work folder, releases the lock.
    void Finish();

  private:
    void SaveList() const;
    std::string PrivatePrefix() const; // folder + ".trimora-<pid>-<random>-"

    std::string error_, folder_, reserved_, private_;
    dev_t dev_ = 0;
    ino_t ino_ = 0;
    int lockFd_ = -1;
    bool committed_ = false, finished_ = false;
};

using TJobFilesPtr = std::shared_ptr<TJobFiles>;

// Removes the job folders under root (JobsRoot() when empty) whose program is gone, with their
// private files and still-empty reservations. Returns the number of folders removed.
int CleanOrphanedJobs(const std::string& root = "");

// The settings file both modes read: <config home>/Quennic/TrimoraCut.conf.
std::string SettingsFilePath();
// Largest settings or history file read; anything bigger is ignored.
inline constexpr int64_t kMaxSettingsBytes = 1 << 20;

// Settings and history files: true when `path` is absent or a regular file (not a link) of at
// most maxBytes; otherwise false with the reason in `why`.
bool IsSaneSettingsFile(const std::string& path, int64_t maxBytes, std::string& why);

// The text value of key in the general section of the window's settings file (written by its
// toolkit's INI format: quoted texts, backslash escapes, a comma outside quotes making a list),
// read without loading the toolkit, for the command line. Empty when absent, not a single text,
// or the file cannot be read.
std::string ReadSettingsText(const std::string& path, const std::string& key);
// Writes the bytes to a new file beside `path` and moves it into place, replacing a regular file
// or a symlink itself (never its target). False with the reason in `why`. `durable` also flushes
// the bytes to the disk before the move, so the file survives a crash of the machine; files that
// only have to outlive this program (a job's work files) skip that wait.
bool WriteFileAtomically(const std::string& path, const std::string& bytes, std::string& why,
                         bool durable = true);

// Front-ends: refuses a file or its folder that a user other than us (or root) owns or that
// group or others may write. True when trusted; otherwise false with the reason in `why`.
bool IsTrustedExecutable(const std::string& path, std::string& why);

} // namespace trimora
