// The probe end to end: the installed encoder front-end prints its report on real clips made
// for the test, and the parse fills the clip record from it. A clip probed once is not probed
// again while it is unchanged: the kept report is used (seen here by altering it), and any change
// to the clip, or a kept report that is not a plain file in a private folder of ours, makes the
// probe run the tool again.

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "common/helpers.h"
#include "exec/dos_cmd_process.h"
#include "media/probe_cache.h"
#include "media/store_info.h"
#include "support/test_env.h"

using namespace trimora;
using namespace trimora_test;
namespace fs = std::filesystem;

namespace {

TClipReportInputs InputsFor(const std::string& path) {
    TClipReportInputs in;
    in.InputExt = ToLower(path.substr(path.rfind('.')));
    in.Page = TSourcePage::Input;
    in.HasSelectedItem = true;
    return in;
}

class ProbeClipE2E : public InstalledTools {
  protected:
    void SetUp() override { fs::copy_file(MediaClip(".mp4", 3), clip_); }
    TProbeOutcome Probe(const std::string& path, TStoreInfo& info) {
        return ProbeClip(fcut_, path, InputsFor(path), info);
    }
    int64_t Seconds(const std::string& path) {
        TStoreInfo info;
        EXPECT_TRUE(Probe(path, info).Started);
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
    const std::string fcut_ = sys_ + "fcut.exe -cb ", clip_ = home_.Root() + "clip.mp4";
};

} // namespace

TEST_F(ProbeClipE2E, RealClipsOfEveryContainerFamily) {
    const std::pair<const char*, const char*> cases[] = {
        {".mp4", "h264 - aac - "},      {".m2ts", "h264 - aac - "},     {".mkv", "h264 - aac - "},
        {".webm", "vp8 - vorbis - "},   {".flv", "flv1 - mp3 - "},      {".wmv", "wmv2 - wmav2 - "},
        {".vob", "mpeg2video - ac3 - "}, {".avi", "mpeg4 - NoAudio - "}};
    for (const auto& [ext, codecs] : cases) {
        SCOPED_TRACE(ext);
        const bool silent = std::string(codecs).find("NoAudio") != std::string::npos;
        const std::string path = MediaClip(ext, 3, silent ? "-an" : "");
        TStoreInfo info;
        const TProbeOutcome out = Probe(path, info);
        ASSERT_TRUE(out.Started);
        EXPECT_FALSE(info.BadFile) << out.Report.size();
        EXPECT_EQ(info.ClipDuration, 3);
        EXPECT_EQ(info.FrameSize, "160x120");
        EXPECT_EQ(info.FpsText, "25");
        EXPECT_EQ(info.CodecSummary, codecs);
        EXPECT_EQ(info.NoAudio, silent);
        EXPECT_EQ(info.AudioRateOption, silent ? " " : " -ar 44100 ");
    }
}

TEST_F(ProbeClipE2E, UnreadableOrOddInputs) {
    const std::string good = MediaClip(".mp4", 3);
    // Full-range JPEG pixels: no frame size, the rest is still read.
    TStoreInfo info;
    auto out = Probe(MediaClip(".avi", 3, "-c:v mjpeg -pix_fmt yuvj420p -an"), info);
    EXPECT_EQ(info.FrameSize, "");
    EXPECT_EQ(out.Result.InputSubItems, (std::vector<std::string>{"N/A", "Invalid data found"}));
    EXPECT_EQ(info.ClipDuration, 3);

    // Without the tool nothing is parsed: the previous clip stays.
    out = ProbeClip(home_.Root() + "nowhere/fcut.exe -cb ", good, InputsFor(good), info);
    EXPECT_FALSE(out.Started);
    EXPECT_EQ(out.Result.Refresh, TClipRefresh::None);
    EXPECT_EQ(info.ClipDuration, 3);

    // A source that never delivers data (a FIFO) fails at once and leaves no tool running.
    const std::string fifo = home_.Root() + "pipe.mp4";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const auto t0 = std::chrono::steady_clock::now();
    out = Probe(fifo, info);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
    EXPECT_NE(out.Failure.find("Not a regular file"), std::string::npos) << out.Failure;
    EXPECT_TRUE(OwnProcessGroups().empty());
}

TEST_F(ProbeClipE2E, KeptReportServesOnlyTheUnchangedClip) {
    const std::string other = home_.Root() + "other.mp4";
    const struct {
        const char* change;
        std::function<void()> act;
        int64_t seconds;
    } cases[] = {
        {"nothing", [] {}, 7},
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
        ASSERT_EQ(Seconds(clip_), 3);
        AlterKeptReport();
        c.act();
        EXPECT_EQ(Seconds(clip_), c.seconds);
    }
}

TEST_F(ProbeClipE2E, UnsafeOrUselessEntriesAreNeitherReadNorKept) {
    // A kept report replaced by a symlink (to an altered report) is not followed.
    ASSERT_EQ(Seconds(clip_), 3);
    const std::string entry = AlterKeptReport();
    fs::rename(entry, home_.Root() + "planted");
    fs::create_symlink(home_.Root() + "planted", entry);
    EXPECT_EQ(Seconds(clip_), 3);

    // A cache folder that is a symlink elsewhere is not used at all.
    fs::remove_all(ProbeCacheFolder());
    fs::create_directories(home_.Root() + "elsewhere");
    fs::create_directory_symlink(home_.Root() + "elsewhere", ProbeCacheFolder().substr(
                                                                 0, ProbeCacheFolder().size() - 1));
    EXPECT_EQ(Seconds(clip_), 3);
    EXPECT_TRUE(fs::is_empty(home_.Root() + "elsewhere"));

    // Unreadable media is probed every time (it may be a file still being copied).
    fs::remove(ProbeCacheFolder().substr(0, ProbeCacheFolder().size() - 1));
    const std::string bad = home_.Root() + "broken.mp4";
    WriteFileBytes(bad, std::string(4096, '\x5a'));
    Seconds(bad);
    EXPECT_TRUE(FilesIn(ProbeCacheFolder()).empty());
}
