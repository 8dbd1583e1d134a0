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

const std::string kVideo = "-f lavfi -i testsrc=size=160x120:rate=25:duration=3 ";
const std::string kAv = kVideo + "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=3 ";
const std::string kH264 = kAv + "-c:v libx264 -pix_fmt yuv420p -c:a aac -b:a 96k -shortest";

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
    struct Case {
        const char* name;
        std::string args;
        const char* codecSummary;
    } cases[] = {
        {"media_probe.mp4", kH264, "h264 - aac - "},
        {"media_probe.m2ts", kH264 + " -f mpegts", "h264 - aac - "},
        {"media_probe.mkv", kAv + "-c:v libx264 -pix_fmt yuv420p -c:a libvorbis -shortest",
         "h264 - vorbis - "},
        {"media_probe.webm", kAv + "-c:v libvpx -deadline realtime -b:v 200k -c:a libvorbis -shortest",
         "vp8 - vorbis - "},
        {"media_probe.flv", kAv + "-c:v flv1 -c:a libmp3lame -b:a 64k -shortest", "flv1 - mp3 - "},
        {"media_probe.wmv", kAv + "-c:v wmv2 -c:a wmav2 -b:a 64k -shortest", "wmv2 - wmav2 - "},
        {"media_probe.vob", kAv + "-c:v mpeg2video -c:a ac3 -b:a 128k -shortest -f vob",
         "mpeg2video - ac3 - "},
        {"media_probe_silent.avi", kVideo + "-c:v mpeg4 -an", "mpeg4 - NoAudio - "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = SampleClip(c.name, c.args);
        TStoreInfo info;
        const TProbeOutcome out = Probe(path, info);
        ASSERT_TRUE(out.Started);
        EXPECT_FALSE(info.BadFile) << out.Report.size();
        EXPECT_EQ(info.DurationText, "00:00:03");
        EXPECT_EQ(info.ClipDuration, 3);
        EXPECT_TRUE(info.BitrateKbps > 0 && info.BitrateKbps != 5080); // read, not the default
        EXPECT_EQ(info.FrameSize, "160x120");
        EXPECT_EQ(info.AspectText, "1.333");
        EXPECT_EQ(info.FpsText, "25");
        EXPECT_EQ(info.CodecSummary, c.codecSummary);
        const bool silent = std::string(c.codecSummary).find("NoAudio") != std::string::npos;
        EXPECT_EQ(info.NoAudio, silent);
        if (!silent) {
            EXPECT_GT(info.AudioBitrateKbps, 0);
            EXPECT_LE(info.AudioBitrateKbps, 192);
            EXPECT_EQ(info.AudioRateOption, " -ar 44100 ");
        }
        EXPECT_EQ(info.AudioBitrateOption,
                  silent ? " " : " -ab " + std::to_string(info.AudioBitrateKbps) + "k ");
        EXPECT_EQ(out.Result.InputSubItems, (std::vector<std::string>{"160x120", "00:00:03"}));
        EXPECT_EQ(out.Result.SliderMax, std::string(c.name).ends_with(".wmv") ? 99 : 3);
    }
}

TEST_F(ProbeClipE2E, FlvMetadataIsSeen) {
    // ffmpeg's flv muxer writes canseekontime only when asked: without it, the careful seek path.
    for (const bool indexed : {false, true}) {
        const std::string path = SampleClip(
            indexed ? "media_probe_indexed.flv" : "media_probe_plain.flv",
            kH264 + (indexed ? " -flvflags add_keyframe_index -metadata canseekontime=true" : ""));
        TStoreInfo info;
        info.FlvCanSeek = !indexed;
        Probe(path, info);
        EXPECT_EQ(info.FlvCanSeek, indexed);
        EXPECT_EQ(info.FlvHasKeyframes, indexed);
    }
}

TEST_F(ProbeClipE2E, UnreadableOrOddInputs) {
    const std::string good = SampleClip("media_probe.mp4", kH264);
    // Full-range JPEG pixels: no frame size, the rest is still read.
    TStoreInfo info;
    auto out = Probe(SampleClip("media_probe_yuvj420p.avi", kVideo + "-c:v mjpeg -pix_fmt yuvj420p -an"), info);
    EXPECT_EQ(info.FrameSize, "");
    EXPECT_EQ(out.Result.InputSubItems, (std::vector<std::string>{"N/A", "Invalid data found"}));
    EXPECT_EQ(info.ClipDuration, 3);

    // An unreadable file is bad and keeps the previous clip.
    Probe(good, info);
    const std::string bad = home_.Root() + "broken.mp4";
    WriteFileBytes(bad, std::string(4096, '\x5a'));
    out = Probe(bad, info);
    EXPECT_TRUE(info.BadFile);
    EXPECT_EQ(out.Result.InputSubItems, (std::vector<std::string>{"Bad File!", "N/A"}));
    EXPECT_EQ(info.FrameSize, "160x120");
    EXPECT_EQ(info.ClipDuration, 3);

    // Without the tool nothing is parsed.
    out = ProbeClip(home_.Root() + "nowhere/fcut.exe -cb ", good, InputsFor(good), info);
    EXPECT_FALSE(out.Started);
    EXPECT_EQ(out.Result.Refresh, TClipRefresh::None);
    EXPECT_EQ(info.ClipDuration, 3);
}

// A name holding report texts is probed for what the file holds (here: no sound).
TEST_F(ProbeClipE2E, NamesAreProbedAsTheyAre) {
    const std::string reportLike = home_.Root() + "Lecture Audio: mp3, 8000 Hz Invalid data found.avi";
    std::filesystem::copy_file(SampleClip("media_probe_silent.avi", kVideo + "-c:v mpeg4 -an"), reportLike);
    TStoreInfo info;
    ASSERT_TRUE(Probe(reportLike, info).Started);
    EXPECT_FALSE(info.BadFile);
    EXPECT_EQ(info.ClipDuration, 3);
    EXPECT_TRUE(info.NoAudio);
}
