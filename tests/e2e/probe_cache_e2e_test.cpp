// A clip probed once is not probed again while it is unchanged: the kept report is used (seen
// here by altering the kept report), and any change to the clip, or a kept report that is not a
// plain file in a private folder of ours, makes the probe run the tool again.

#include <filesystem>
#include <functional>
#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "common/helpers.h"
#include "media/probe_cache.h"
#include "media/store_info.h"
#include "support/test_env.h"

using namespace trimora;
using namespace trimora_test;
namespace fs = std::filesystem;

namespace {

class ProbeCacheE2E : public ::testing::Test {
  protected:
    void SetUp() override {
        command_ = home_.InstallTools() + "fcut.exe -cb ";
        clip_ = home_.Root() + "clip.mp4";
        fs::copy_file(MediaClip(".mp4", 3), clip_);
    }
    int64_t Probe(const std::string& path) {
        TClipReportInputs in;
        in.InputExt = ".mp4";
        TStoreInfo info;
        EXPECT_TRUE(ProbeClip(command_, path, in, info).Started);
        return info.ClipDuration;
    }
    // The kept report of the clip, made to say 7 seconds.
    std::string AlterKeptReport() {
        const std::vector<std::string> entries = FilesIn(ProbeCacheFolder());
        EXPECT_EQ(entries.size(), 1u);
        const std::string entry = ProbeCacheFolder() + entries.at(0);
        std::string text = ReadFileBytes(entry);
        const size_t at = text.find("Duration: 00:00:03");
        EXPECT_NE(at, std::string::npos);
        text.replace(at, 18, "Duration: 00:00:07");
        fs::remove(entry);
        WriteFileBytes(entry, text);
        return entry;
    }
    IsolatedHome home_;
    std::string command_, clip_;
};

} // namespace

TEST_F(ProbeCacheE2E, KeptReportServesOnlyTheUnchangedClip) {
    const std::string other = home_.Root() + "other.mp4";
    const struct {
        const char* change;
        std::function<void()> act;
        int64_t seconds;
    } cases[] = {
        {"nothing", [] {}, 7},
        {"same bytes written again", [&] { WriteFileBytes(clip_, ReadFileBytes(clip_)); }, 3},
        {"old modification time put back",
         [&] {
             struct stat st {};
             ::stat(clip_.c_str(), &st);
             WriteFileBytes(clip_, ReadFileBytes(clip_));
             const timespec times[2] = {st.st_atim, st.st_mtim};
             ::utimensat(AT_FDCWD, clip_.c_str(), times, 0);
         },
         3},
        {"replaced under its name", [&] { fs::copy_file(clip_, other), fs::rename(other, clip_); },
         3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.change);
        fs::remove_all(ProbeCacheFolder());
        ASSERT_EQ(Probe(clip_), 3);
        AlterKeptReport();
        c.act();
        EXPECT_EQ(Probe(clip_), c.seconds);
    }
}

TEST_F(ProbeCacheE2E, UnsafeOrUselessEntriesAreNeitherReadNorKept) {
    // A kept report replaced by a symlink (to an altered report) is not followed.
    ASSERT_EQ(Probe(clip_), 3);
    const std::string entry = AlterKeptReport();
    fs::rename(entry, home_.Root() + "planted");
    fs::create_symlink(home_.Root() + "planted", entry);
    EXPECT_EQ(Probe(clip_), 3);

    // A cache folder that is a symlink elsewhere is not used at all.
    fs::remove_all(ProbeCacheFolder());
    fs::create_directories(home_.Root() + "elsewhere");
    fs::create_directory_symlink(home_.Root() + "elsewhere", ProbeCacheFolder().substr(
                                                                 0, ProbeCacheFolder().size() - 1));
    EXPECT_EQ(Probe(clip_), 3);
    EXPECT_TRUE(fs::is_empty(home_.Root() + "elsewhere"));

    // Unreadable media is probed every time (it may be a file still being copied).
    fs::remove(ProbeCacheFolder().substr(0, ProbeCacheFolder().size() - 1));
    const std::string bad = home_.Root() + "broken.mp4";
    WriteFileBytes(bad, std::string(4096, '\x5a'));
    Probe(bad);
    EXPECT_TRUE(FilesIn(ProbeCacheFolder()).empty());
}
