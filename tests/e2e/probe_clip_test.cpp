// The probe end to end: the installed encoder front-end prints its report on real clips made
// for the test, and the parse fills the clip record from it.

#include <chrono>
#include <filesystem>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "common/helpers.h"
#include "exec/dos_cmd_process.h"
#include "media/store_info.h"
#include "support/test_env.h"

using namespace trimora;
using namespace trimora_test;

namespace {

TClipReportInputs InputsFor(const std::string& path) {
    TClipReportInputs in;
    in.InputExt = ToLower(path.substr(path.rfind('.')));
    in.Page = TSourcePage::Input;
    in.HasSelectedItem = true;
    return in;
}

class ProbeClipE2E : public ::testing::Test {
  protected:
    void SetUp() override { fcut_ = home_.InstallTools() + "fcut.exe -cb "; }
    TProbeOutcome Probe(const std::string& path, TStoreInfo& info) {
        return ProbeClip(fcut_, path, InputsFor(path), info);
    }
    IsolatedHome home_;
    std::string fcut_;
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
        EXPECT_TRUE(info.BitrateKbps > 0 && info.BitrateKbps != 5080); // read, not the default
        EXPECT_EQ(info.FrameSize, "160x120");
        EXPECT_EQ(info.FpsText, "25");
        EXPECT_EQ(info.CodecSummary, codecs);
        EXPECT_EQ(info.NoAudio, silent);
        EXPECT_EQ(info.AudioRateOption, silent ? " " : " -ar 44100 ");
        EXPECT_EQ(info.AudioBitrateOption,
                  silent ? " " : " -ab " + std::to_string(info.AudioBitrateKbps) + "k ");
        EXPECT_EQ(out.Result.InputSubItems, (std::vector<std::string>{"160x120", "00:00:03"}));
        EXPECT_EQ(out.Result.SliderMax, std::string(ext) == ".wmv" ? 99 : 3);
    }
}

TEST_F(ProbeClipE2E, FlvMetadataIsSeen) {
    // ffmpeg's flv muxer writes canseekontime only when asked: without it, the careful seek path.
    for (const bool indexed : {false, true}) {
        const std::string path = MediaClip(
            ".flv", 3, indexed ? "-flvflags add_keyframe_index -metadata canseekontime=true" : "");
        TStoreInfo info;
        info.FlvCanSeek = !indexed;
        Probe(path, info);
        EXPECT_EQ(info.FlvCanSeek, indexed);
        EXPECT_EQ(info.FlvHasKeyframes, indexed);
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

// A name holding report texts is probed for what the file holds (here: no sound).
TEST_F(ProbeClipE2E, NamesAreProbedAsTheyAre) {
    const std::string reportLike = home_.Root() + "Lecture Audio: mp3, 8000 Hz Invalid data found.avi";
    std::filesystem::copy_file(MediaClip(".avi", 3, "-an"), reportLike);
    TStoreInfo info;
    ASSERT_TRUE(Probe(reportLike, info).Started);
    EXPECT_FALSE(info.BadFile);
    EXPECT_EQ(info.ClipDuration, 3);
    EXPECT_TRUE(info.NoAudio);
}
