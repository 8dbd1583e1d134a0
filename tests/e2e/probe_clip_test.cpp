// The probe end to end: the installed encoder front-end prints its report on real clips made
// for the test, and the parse fills the clip record from it.

#include <filesystem>

#include <gtest/gtest.h>

#include "common/helpers.h"
#include "media/store_info.h"
#include "support/test_env.h"

using namespace trimora;
using namespace trimora_test;

namespace {

const char* const kVideo = "-f lavfi -i testsrc=size=160x120:rate=25:duration=3 ";
const char* const kSound = "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=3 ";

struct ClipCase {
    const char* name;
    std::string args;
    const char* codecSummary;
    bool noAudio;
};

std::vector<ClipCase> Clips() {
    const std::string av = std::string(kVideo) + kSound;
    return {
        {"media_probe.mp4", av + "-c:v libx264 -pix_fmt yuv420p -c:a aac -b:a 96k -shortest",
         "h264 - aac - ", false},
        {"media_probe.mkv", av + "-c:v libx264 -pix_fmt yuv420p -c:a libvorbis -shortest",
         "h264 - vorbis - ", false},
        {"media_probe.flv", av + "-c:v flv1 -c:a libmp3lame -b:a 64k -shortest", "flv1 - mp3 - ",
         false},
        {"media_probe.wmv", av + "-c:v wmv2 -c:a wmav2 -b:a 64k -shortest", "wmv2 - wmav2 - ",
         false},
        {"media_probe_silent.avi", std::string(kVideo) + "-c:v mpeg4 -an", "mpeg4 - NoAudio - ",
         true},
    };
}

TClipReportInputs InputsFor(const std::string& path) {
    TClipReportInputs in;
    in.InputExt = ToLower(path.substr(path.rfind('.')));
    in.Page = TSourcePage::Input;
    in.HasSelectedItem = true;
    return in;
}

class ProbeClipE2E : public ::testing::Test {
  protected:
    void SetUp() override { ffmpegCommand_ = home_.InstallTools() + "fcut.exe -cb "; }
    IsolatedHome home_;
    std::string ffmpegCommand_;
};

} // namespace

TEST_F(ProbeClipE2E, RealClipsOfSeveralContainers) {
    for (const ClipCase& c : Clips()) {
        SCOPED_TRACE(c.name);
        const std::string path = SampleClip(c.name, c.args);
        TStoreInfo info;
        const TProbeOutcome out = ProbeClip(ffmpegCommand_, path, InputsFor(path), info);
        ASSERT_TRUE(out.Started);
        ASSERT_FALSE(out.Report.empty());
        EXPECT_FALSE(info.BadFile);
        EXPECT_EQ(info.DurationText, "00:00:03");
        EXPECT_EQ(info.ClipDuration, 3);
        EXPECT_GT(info.BitrateKbps, 0);
        EXPECT_NE(info.BitrateKbps, 5080); // read from the report, not the default
        EXPECT_EQ(info.FrameSize, "160x120");
        EXPECT_EQ(info.AspectText, "1.333");
        EXPECT_EQ(info.FpsText, "25");
        EXPECT_EQ(info.CodecSummary, c.codecSummary);
        EXPECT_EQ(info.NoAudio, c.noAudio);
        if (c.noAudio) {
            EXPECT_EQ(info.AudioBitrateOption, " ");
            EXPECT_EQ(info.AudioRateOption, " ");
        } else {
            EXPECT_GT(info.AudioBitrateKbps, 0);
            EXPECT_LE(info.AudioBitrateKbps, 192);
            EXPECT_EQ(info.AudioBitrateOption,
                      " -ab " + std::to_string(info.AudioBitrateKbps) + "k ");
            EXPECT_EQ(info.AudioRateOption, " -ar 44100 ");
        }
        EXPECT_EQ(out.Result.InputSubItems, (std::vector<std::string>{"160x120", "00:00:03"}));
        EXPECT_EQ(out.Result.SliderMax, std::string(c.name).ends_with(".wmv") ? 99 : 3);
    }
}

TEST_F(ProbeClipE2E, FlvMetadataIsSeen) {
    const std::string path = SampleClip("media_probe.flv", Clips()[2].args); // same clip as above
    TStoreInfo info;
    info.FlvCanSeek = true;
    ProbeClip(ffmpegCommand_, path, InputsFor(path), info);
    // ffmpeg's flv muxer writes no canseekontime entry: such a clip needs the careful seek path
    EXPECT_FALSE(info.FlvCanSeek);
}

TEST_F(ProbeClipE2E, FullRangeJpegPixelsGiveNoFrameSize) {
    const std::string path = SampleClip("media_probe_yuvj420p.avi",
                                        std::string(kVideo) + "-c:v mjpeg -pix_fmt yuvj420p -an");
    TStoreInfo info;
    const auto out = ProbeClip(ffmpegCommand_, path, InputsFor(path), info);
    ASSERT_TRUE(out.Started);
    EXPECT_EQ(info.FrameSize, "");
    EXPECT_EQ(out.Result.InputSubItems, (std::vector<std::string>{"N/A", "Invalid data found"}));
    EXPECT_EQ(info.ClipDuration, 3);
}

TEST_F(ProbeClipE2E, UnreadableFileIsBadAndKeepsThePreviousClip) {
    const std::string good = SampleClip(Clips()[0].name, Clips()[0].args);
    TStoreInfo info;
    ProbeClip(ffmpegCommand_, good, InputsFor(good), info);
    const std::string bad = home_.Root() + "broken.mp4";
    WriteFileBytes(bad, std::string(4096, '\x5a'));
    const auto out = ProbeClip(ffmpegCommand_, bad, InputsFor(bad), info);
    ASSERT_TRUE(out.Started);
    EXPECT_TRUE(info.BadFile);
    EXPECT_EQ(out.Result.InputSubItems, (std::vector<std::string>{"Bad File!", "N/A"}));
    EXPECT_EQ(info.FrameSize, "160x120");
    EXPECT_EQ(info.ClipDuration, 3);
}

TEST_F(ProbeClipE2E, HostileFileNameIsProbedAsItIs) {
    const std::string src = SampleClip(Clips()[0].name, Clips()[0].args);
    const std::string dir = home_.Root() + "we \"ird\" $HOME; dir/";
    std::filesystem::create_directories(dir);
    const std::string path = dir + "a \"b\" $(touch x); `y` \\\".mp4";
    std::filesystem::copy_file(src, path);
    TStoreInfo info;
    const auto out = ProbeClip(ffmpegCommand_, path, InputsFor(path), info);
    ASSERT_TRUE(out.Started);
    EXPECT_EQ(info.FrameSize, "160x120");
    EXPECT_EQ(info.ClipDuration, 3);
    size_t files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir))
        ++files;
    EXPECT_EQ(files, 1u);
    EXPECT_FALSE(FileExists(home_.Root() + "x"));
}

TEST_F(ProbeClipE2E, FileNamedLikeReportTextsIsProbedForWhatItHolds) {
    const std::string src = SampleClip(Clips()[4].name, Clips()[4].args); // no sound
    const std::string path = home_.Root() + "Lecture Audio: mp3, 8000 Hz Invalid data found.avi";
    std::filesystem::copy_file(src, path);
    TStoreInfo info;
    const auto out = ProbeClip(ffmpegCommand_, path, InputsFor(path), info);
    ASSERT_TRUE(out.Started);
    EXPECT_FALSE(info.BadFile);
    EXPECT_TRUE(info.NoAudio);
    EXPECT_EQ(info.AudioBitrateOption, " ");
    EXPECT_EQ(info.FrameSize, "160x120");
}

TEST_F(ProbeClipE2E, MissingToolParsesNothing) {
    TStoreInfo info;
    info.DurationText = "00:00:42";
    info.ClipDuration = 42;
    const auto out =
        ProbeClip(home_.Root() + "nowhere/fcut.exe -cb ",
                  SampleClip(Clips()[0].name, Clips()[0].args), InputsFor(".mp4"), info);
    EXPECT_FALSE(out.Started);
    EXPECT_EQ(out.Result.Refresh, TClipRefresh::None);
    EXPECT_EQ(info.DurationText, "00:00:42");
    EXPECT_EQ(info.ClipDuration, 42);
}
