// Conversions and audio extractions through `trimora convert` / `trimora extract-audio`, with
// the real front-ends and tools, on tiny generated clips; every output is checked with ffprobe.
#include "support/test_env.h"

#include "common/helpers.h"
#include "jobs/convert.h"
#include "jobs/device_presets.h"

#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>

using namespace trimora_test;
namespace fs = std::filesystem;

namespace {

// 2 s, 160x120, 25 fps, with a tone.
std::string ClipWithSound() {
    return SampleClip("conv_main.mp4",
                      "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 -f lavfi -i "
                      "sine=frequency=440:duration=2 -c:v libx264 -preset ultrafast -pix_fmt "
                      "yuv420p -c:a aac -shortest");
}

std::string ClipWithoutSound() {
    return SampleClip("conv_silent.avi", "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 "
                                         "-c:v mpeg4 -q:v 5");
}

struct TCliResult {
    int Code = -1;
    std::string Output;
    std::string Path; // after "DONE "
};

TCliResult RunTrimora(std::vector<std::string> args) {
    args.insert(args.begin(), BinDir() + "trimora");
    TCliResult r;
    r.Output = RunProgram(args, &r.Code);
    const size_t done = r.Output.rfind("DONE ");
    if (done != std::string::npos) {
        r.Path = r.Output.substr(done + 5);
        r.Path = r.Path.substr(0, r.Path.find_first_of("\r\n"));
    }
    return r;
}

class ConvertE2E : public ::testing::Test {
  protected:
    void SetUp() override {
        home_ = std::make_unique<IsolatedHome>();
        home_->InstallTools();
        out_ = home_->Root() + "out/";
        fs::create_directories(out_);
    }
    std::unique_ptr<IsolatedHome> home_;
    std::string out_;
};

// Container names ffprobe reports for each output extension.
std::string ExpectedFormat(const std::string& ext) {
    if (ext == ".avi") return "avi";
    if (ext == ".asf" || ext == ".wmv") return "asf";
    if (ext == ".flv") return "flv";
    if (ext == ".mkv") return "matroska,webm";
    if (ext == ".webm") return "matroska,webm";
    if (ext == ".mpg" || ext == ".mpeg") return "mpeg";
    return "mov,mp4,m4a,3gp,3g2,mj2"; // .mov .mp4 .m4v .3gp and the device outputs
}

void ExpectVideo(const std::string& path, const std::string& ext, const std::string& size,
                 bool sound, double seconds) {
    SCOPED_TRACE(path);
    ASSERT_TRUE(fs::exists(path));
    const MediaFacts p = ProbeMedia(path);
    ASSERT_TRUE(p.readable);
    EXPECT_EQ(p.format, ExpectedFormat(ext));
    EXPECT_FALSE(p.vcodec.empty());
    EXPECT_EQ(p.frameSize, size);
    EXPECT_EQ(!p.acodec.empty(), sound);
    EXPECT_NEAR(p.duration, seconds, 1.0);
}

class ConvertFormats : public ConvertE2E, public ::testing::WithParamInterface<std::string> {};

// Whole clip with its sound at the clip's size, and a one-second stretch without sound at an
// asked size, into each format.
TEST_P(ConvertFormats, WholeWithSoundAndPartialWithout) {
    const std::string ext = GetParam();
    const std::string src = ClipWithSound();
    TCliResult whole = RunTrimora({"convert", src, "--format", ext, "--save-folder", out_});
    ASSERT_EQ(whole.Code, 0) << whole.Output;
    EXPECT_EQ(whole.Path, out_ + "conv_main-Convert" + ext);
    ExpectVideo(whole.Path, ext, "160x120", true, 2.0);

    TCliResult part = RunTrimora({"convert", src, "--format", ext, "--frame-size", "128x96",
                                  "--no-sound", "--quality", "Fair            (Smallest Filesize)",
                                  "--start", "00:00:00.500", "--end", "00:00:01.500",
                                  "--save-folder", out_});
    ASSERT_EQ(part.Code, 0) << part.Output;
    EXPECT_EQ(part.Path, out_ + "conv_main-Partial" + ext);
    ExpectVideo(part.Path, ext, "128x96", false, 1.0);
}

INSTANTIATE_TEST_SUITE_P(Formats, ConvertFormats,
                         ::testing::Values(".avi", ".asf", ".flv", ".mkv", ".mpg", ".mpeg", ".wmv",
                                           ".mov", ".mp4", ".m4v", ".3gp", ".webm"),
                         [](const auto& info) { return info.param.substr(1); });

class ConvertDevices : public ConvertE2E, public ::testing::WithParamInterface<size_t> {};

// Each device preset: its suffix, container and frame size; whole with sound and gain, and a
// stretch without sound.
TEST_P(ConvertDevices, WholeAndPartial) {
    const std::string item = trimora::DeviceItems()[GetParam()];
    trimora::TConvertPieces pieces;
    trimora::TConvertOptions options;
    options.ConvertType = item;
    trimora::BuildConvertFragment(options, trimora::TStoreInfo{}, pieces);
    const std::string suffix = pieces.OutputExt, size = pieces.FrameSizeLabel;
    const std::string ext = suffix.substr(suffix.rfind('.'));

    const std::string src = ClipWithSound();
    TCliResult whole = RunTrimora({"convert", src, "--format", item, "--volume", "2",
                                   "--save-folder", out_});
    ASSERT_EQ(whole.Code, 0) << whole.Output;
    EXPECT_EQ(whole.Path, out_ + "conv_main-Convert" + suffix);
    ExpectVideo(whole.Path, ext, size, true, 2.0);

    TCliResult part = RunTrimora({"convert", src, "--format", item, "--no-sound", "--start",
                                  "0:00:01", "--end", "0:00:02", "--save-folder", out_});
    ASSERT_EQ(part.Code, 0) << part.Output;
    EXPECT_EQ(part.Path, out_ + "conv_main-Partial" + suffix);
    ExpectVideo(part.Path, ext, size, false, 1.0);
}

INSTANTIATE_TEST_SUITE_P(Devices, ConvertDevices, ::testing::Range<size_t>(0, 11),
                         [](const auto& info) {
                             std::string name = trimora::DeviceItems()[info.param].substr(9);
                             std::string out;
                             for (char c : name)
                                 if (std::isalnum(static_cast<unsigned char>(c))) out += c;
                             return out;
                         });

TEST_F(ConvertE2E, ClipWithoutSoundConvertsWithoutAndExistingOutputsStay) {
    const std::string src = ClipWithoutSound();
    // A file already bearing the output name is left alone; the next free name is used.
    WriteFileBytes(out_ + "conv_silent-Convert.mp4", "mine");
    TCliResult r = RunTrimora({"convert", src, "--format", ".mp4", "--save-folder", out_});
    ASSERT_EQ(r.Code, 0) << r.Output;
    EXPECT_EQ(r.Path, out_ + "conv_silent-Convert01.mp4");
    EXPECT_EQ(ReadFileBytes(out_ + "conv_silent-Convert.mp4"), "mine");
    ExpectVideo(r.Path, ".mp4", "160x120", false, 2.0);

    // Converting again never replaces the first result either.
    TCliResult again = RunTrimora({"convert", src, "--format", ".mp4", "--save-folder", out_});
    ASSERT_EQ(again.Code, 0) << again.Output;
    EXPECT_EQ(again.Path, out_ + "conv_silent-Convert02.mp4");

    // The mencoder formats ask for sound whatever the clip has; the output has none.
    TCliResult wmv = RunTrimora({"convert", src, "--format", ".wmv", "--save-folder", out_});
    ASSERT_EQ(wmv.Code, 0) << wmv.Output;
    ExpectVideo(wmv.Path, ".wmv", "160x120", false, 2.0);

    TCliResult audio = RunTrimora({"extract-audio", src, "--format", ".mp3", "--save-folder",
                                   out_});
    EXPECT_EQ(audio.Code, 1) << audio.Output;
    EXPECT_NE(audio.Output.find("FAILED Input Clip contains no Audio!"), std::string::npos)
        << audio.Output;
    EXPECT_FALSE(fs::exists(out_ + "conv_silent.mp3"));
}

TEST_F(ConvertE2E, DryRunPrintsTheCommandAndRunsNothing) {
    const std::string src = ClipWithSound();
    TCliResult r = RunTrimora({"convert", src, "--format", ".wmv", "--start", "00:00:00.500",
                               "--end", "00:00:01.500", "--save-folder", out_, "--dry-run"});
    ASSERT_EQ(r.Code, 0) << r.Output;
    EXPECT_NE(r.Output.find("mcut.exe -cb qzv -edl \""), std::string::npos) << r.Output;
    EXPECT_NE(r.Output.find("-endpos 1 \"" + src + "\"  -vf scale=160:120  -ovc lavc"),
              std::string::npos)
        << r.Output;
    EXPECT_NE(r.Output.find(" -o \"" + out_ + "conv_main-Partial.wmv\""), std::string::npos);
    EXPECT_TRUE(fs::is_empty(out_));

    TCliResult bad = RunTrimora({"convert", src, "--format", ".mp4", "--volume", "7"});
    EXPECT_EQ(bad.Code, 2) << bad.Output;
    for (const char* format : {"mp4", "(Device) Nokia"}) {
        TCliResult unknown = RunTrimora({"convert", src, "--format", format});
        EXPECT_EQ(unknown.Code, 2) << unknown.Output;
    }
    TCliResult backwards = RunTrimora({"convert", src, "--format", ".mp4", "--start", "00:00:02",
                                       "--end", "00:00:01"});
    EXPECT_EQ(backwards.Code, 2) << backwards.Output;
}

class ExtractAudioFormats : public ConvertE2E,
                            public ::testing::WithParamInterface<std::string> {};

// Each audio format, whole and a one-second stretch: an audio-only file of the right length.
TEST_P(ExtractAudioFormats, WholeAndRange) {
    const std::string ext = GetParam();
    const std::string src = ClipWithSound();
    TCliResult whole = RunTrimora({"extract-audio", src, "--format", ext, "--save-folder", out_});
    ASSERT_EQ(whole.Code, 0) << whole.Output;
    EXPECT_EQ(whole.Path, out_ + "conv_main" + ext);
    MediaFacts p = ProbeMedia(whole.Path);
    EXPECT_FALSE(p.acodec.empty());
    EXPECT_TRUE(p.vcodec.empty());
    EXPECT_NEAR(p.duration, 2.0, 0.3);

    TCliResult part = RunTrimora({"extract-audio", src, "--format", ext, "--start",
                                  "00:00:00.500", "--end", "00:00:01.500", "--save-folder", out_});
    ASSERT_EQ(part.Code, 0) << part.Output;
    EXPECT_EQ(part.Path, out_ + "conv_main01" + ext); // the first one is not overwritten
    p = ProbeMedia(part.Path);
    EXPECT_FALSE(p.acodec.empty());
    EXPECT_NEAR(p.duration, 1.0, 0.3);
}

INSTANTIATE_TEST_SUITE_P(Formats, ExtractAudioFormats,
                         ::testing::Values(".aac", ".m4a", ".mp3", ".ogg", ".wma", ".wav"),
                         [](const auto& info) { return info.param.substr(1); });

double MaxVolumeDb(const std::string& path) {
    int code = 0;
    const std::string out = RunProgram({"ffmpeg", "-nostdin", "-hide_banner", "-i", path, "-af",
                                        "volumedetect", "-f", "null", "-"},
                                       &code);
    const size_t at = out.find("max_volume:");
    return at == std::string::npos ? 1000 : std::stod(out.substr(at + 11));
}

TEST_F(ConvertE2E, ExtractionGainRaisesTheVolume) {
    const std::string src = ClipWithSound();
    TCliResult plain = RunTrimora({"extract-audio", src, "--format", ".wav", "--save-folder", out_});
    ASSERT_EQ(plain.Code, 0) << plain.Output;
    TCliResult loud = RunTrimora(
        {"extract-audio", src, "--format", ".wav", "--volume", "2", "--save-folder", out_});
    ASSERT_EQ(loud.Code, 0) << loud.Output;
    EXPECT_NEAR(ProbeDuration(loud.Path), 2.0, 0.3);
    // -vol 512 doubles the amplitude: about 6 dB louder.
    EXPECT_NEAR(MaxVolumeDb(loud.Path) - MaxVolumeDb(plain.Path), 6.0, 1.5);
}

} // namespace
