// Conversions and audio extractions through `trimora convert` / `trimora extract-audio`, with
// the real front-ends and tools, on tiny generated clips; every output is checked with ffprobe.
// Each format runs once, whole with its sound or a stretch without; the two kinds alternate
// within each tool's family of formats.
#include "support/test_env.h"

#include "jobs/convert.h"
#include "jobs/device_presets.h"

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

class ConvertE2E : public ::testing::Test {
  protected:
    void SetUp() override {
        home_.InstallTools();
        out_ = home_.Root() + "out/";
        fs::create_directories(out_);
    }
    // Converts the clip whole with sound, or 0.5-1.5 s without sound at 128x96 ("Partial").
    CliRun Convert(const std::string& format, bool partial, std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"convert", ClipWithSound(), "--format", format,
                                         "--save-folder", out_};
        if (partial)
            extra.insert(extra.end(), {"--no-sound", "--start", "00:00:00.500", "--end", "00:00:01.500"});
        args.insert(args.end(), extra.begin(), extra.end());
        return RunTrimora(args);
    }
    IsolatedHome home_;
    std::string out_;
};

// Container names ffprobe reports for each output extension.
std::string ExpectedFormat(const std::string& ext) {
    if (ext == ".avi" || ext == ".flv") return ext.substr(1);
    if (ext == ".asf" || ext == ".wmv") return "asf";
    if (ext == ".mkv" || ext == ".webm") return "matroska,webm";
    if (ext == ".mpg" || ext == ".mpeg") return "mpeg";
    return "mov,mp4,m4a,3gp,3g2,mj2"; // .mov .mp4 .m4v .3gp and the device outputs
}

void ExpectVideo(const std::string& path, const std::string& ext, const std::string& size,
                 bool sound, double seconds) {
    SCOPED_TRACE(path);
    const MediaFacts p = ProbeMedia(path);
    ASSERT_TRUE(p.readable);
    EXPECT_EQ(p.format, ExpectedFormat(ext));
    EXPECT_FALSE(p.vcodec.empty());
    EXPECT_EQ(p.frameSize, size);
    EXPECT_EQ(!p.acodec.empty(), sound);
    EXPECT_NEAR(p.duration, seconds, 1.0);
}

struct Format {
    std::string ext;
    bool partial;
};

class ConvertFormats : public ConvertE2E, public ::testing::WithParamInterface<Format> {};

TEST_P(ConvertFormats, OutputOfTheFormat) {
    const auto [ext, partial] = GetParam();
    const CliRun r = partial ? Convert(ext, true, {"--frame-size", "128x96", "--quality",
                                                   "Fair            (Smallest Filesize)"})
                             : Convert(ext, false);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.Done(), out_ + (partial ? "conv_main-Partial" : "conv_main-Convert") + ext);
    ExpectVideo(r.Done(), ext, partial ? "128x96" : "160x120", !partial, partial ? 1.0 : 2.0);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ConvertFormats,
    ::testing::Values(Format{".avi", true}, Format{".asf", false}, Format{".wmv", true},
                      Format{".flv", true}, Format{".mkv", false}, Format{".webm", true},
                      Format{".mpg", true}, Format{".mpeg", false}, Format{".mov", false},
                      Format{".mp4", true}, Format{".m4v", false}, Format{".3gp", false}),
    [](const auto& info) { return info.param.ext.substr(1); });

class ConvertDevices : public ConvertE2E, public ::testing::WithParamInterface<size_t> {};

// Each device preset: its suffix, container and frame size; whole with sound and gain, or (every
// other preset) a stretch without sound.
TEST_P(ConvertDevices, OutputOfThePreset) {
    const std::string item = trimora::DeviceItems()[GetParam()];
    trimora::TConvertPieces pieces;
    trimora::TConvertOptions options;
    options.ConvertType = item;
    trimora::BuildConvertFragment(options, trimora::TStoreInfo{}, pieces);
    const std::string suffix = pieces.OutputExt;
    const bool partial = GetParam() % 2 == 1;
    const CliRun r = partial ? Convert(item, true) : Convert(item, false, {"--volume", "2"});
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.Done(), out_ + (partial ? "conv_main-Partial" : "conv_main-Convert") + suffix);
    ExpectVideo(r.Done(), suffix.substr(suffix.rfind('.')), pieces.FrameSizeLabel, !partial,
                partial ? 1.0 : 2.0);
}

INSTANTIATE_TEST_SUITE_P(Devices, ConvertDevices, ::testing::Range<size_t>(0, 11),
                         [](const auto& info) {
                             std::string out;
                             for (char c : trimora::DeviceItems()[info.param].substr(9))
                                 if (std::isalnum(static_cast<unsigned char>(c))) out += c;
                             return out;
                         });

TEST_F(ConvertE2E, ClipWithoutSoundConvertsWithoutAndExistingOutputsStay) {
    const std::string src = SampleClip("conv_silent.avi", "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 "
                                                          "-c:v mpeg4 -q:v 5");
    // A file already bearing the output name is left alone; the next free name is used.
    WriteFileBytes(out_ + "conv_silent-Convert.mp4", "mine");
    for (const char* expected : {"conv_silent-Convert01.mp4", "conv_silent-Convert02.mp4"}) {
        const CliRun r = RunTrimora({"convert", src, "--format", ".mp4", "--save-folder", out_});
        ASSERT_EQ(r.status, 0) << r.output;
        EXPECT_EQ(r.Done(), out_ + expected);
        ExpectVideo(r.Done(), ".mp4", "160x120", false, 2.0);
    }
    EXPECT_EQ(ReadFileBytes(out_ + "conv_silent-Convert.mp4"), "mine");

    // The mencoder formats ask for sound whatever the clip has; the output has none.
    const CliRun wmv = RunTrimora({"convert", src, "--format", ".wmv", "--save-folder", out_});
    ASSERT_EQ(wmv.status, 0) << wmv.output;
    ExpectVideo(wmv.Done(), ".wmv", "160x120", false, 2.0);

    const CliRun audio = RunTrimora({"extract-audio", src, "--format", ".mp3", "--save-folder", out_});
    EXPECT_EQ(audio.status, 1) << audio.output;
    EXPECT_EQ(audio.LastLine(), "FAILED Input Clip contains no Audio!") << audio.output;
    EXPECT_FALSE(fs::exists(out_ + "conv_silent.mp3"));
}

TEST_F(ConvertE2E, DryRunPrintsTheCommandAndRunsNothing) {
    const std::string src = ClipWithSound();
    const CliRun r = RunTrimora({"convert", src, "--format", ".wmv", "--start", "00:00:00.500",
                                 "--end", "00:00:01.500", "--save-folder", out_, "--dry-run"});
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("mcut.exe -cb qzv -edl \""), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("-endpos 1 \"" + src + "\"  -vf scale=160:120  -ovc lavc"),
              std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find(" -o \"" + out_ + "conv_main-Partial.wmv\""), std::string::npos);
    EXPECT_TRUE(fs::is_empty(out_));
    // Option values are checked before anything runs; a value out of a list names the list.
    const std::vector<std::pair<std::vector<std::string>, bool>> refused = {
        {{"--volume", "7"}, true}, {{"--quality", "bogus"}, true}, {{"--frame-size", "33x33"}, true},
        {{"--format", ".xyz"}, true}, {{"--format", "mp4"}, false}, {{"--format", "(Device) Nokia"}, false},
        {{"--start", "00:00:02", "--end", "00:00:01"}, false}};
    for (const auto& [bad, listed] : refused) {
        std::vector<std::string> args = {"convert", src};
        if (bad[0] != "--format") args.insert(args.end(), {"--format", ".mp4"});
        args.insert(args.end(), bad.begin(), bad.end());
        const CliRun r = RunTrimora(args);
        EXPECT_EQ(r.status, 2) << r.output;
        if (listed) {
            EXPECT_NE(r.output.find("accepted values"), std::string::npos) << r.output;
        }
    }
}

struct AudioFormat {
    std::string ext;
    bool range;
};

class ExtractAudioFormats : public ConvertE2E, public ::testing::WithParamInterface<AudioFormat> {};

// Each audio format, whole or a one-second stretch: an audio-only file of the right length.
TEST_P(ExtractAudioFormats, AudioOnlyFileOfTheLength) {
    const auto [ext, range] = GetParam();
    std::vector<std::string> args = {"extract-audio", ClipWithSound(), "--format", ext, "--save-folder", out_};
    if (range) args.insert(args.end(), {"--start", "00:00:00.500", "--end", "00:00:01.500"});
    const CliRun r = RunTrimora(args);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.Done(), out_ + "conv_main" + ext);
    const MediaFacts p = ProbeMedia(r.Done());
    EXPECT_FALSE(p.acodec.empty());
    EXPECT_TRUE(p.vcodec.empty());
    EXPECT_NEAR(p.duration, range ? 1.0 : 2.0, 0.3);
}

INSTANTIATE_TEST_SUITE_P(Formats, ExtractAudioFormats,
                         ::testing::Values(AudioFormat{".aac", false}, AudioFormat{".m4a", true},
                                           AudioFormat{".mp3", true}, AudioFormat{".ogg", false},
                                           AudioFormat{".wma", true}, AudioFormat{".wav", false}),
                         [](const auto& info) { return info.param.ext.substr(1); });

double MaxVolumeDb(const std::string& path) {
    const std::string out = RunProgram({"ffmpeg", "-nostdin", "-hide_banner", "-i", path, "-af",
                                        "volumedetect", "-f", "null", "-"});
    const size_t at = out.find("max_volume:");
    return at == std::string::npos ? 1000 : std::stod(out.substr(at + 11));
}

TEST_F(ConvertE2E, ExtractionGainRaisesTheVolume) {
    const std::string src = ClipWithSound();
    const CliRun plain = RunTrimora({"extract-audio", src, "--format", ".wav", "--save-folder", out_});
    ASSERT_EQ(plain.status, 0) << plain.output;
    const CliRun loud = RunTrimora(
        {"extract-audio", src, "--format", ".wav", "--volume", "2", "--save-folder", out_});
    ASSERT_EQ(loud.status, 0) << loud.output;
    EXPECT_EQ(loud.Done(), out_ + "conv_main01.wav"); // the first one is not overwritten
    EXPECT_NEAR(ProbeDuration(loud.Done()), 2.0, 0.3);
    // -vol 512 doubles the amplitude: about 6 dB louder.
    EXPECT_NEAR(MaxVolumeDb(loud.Done()) - MaxVolumeDb(plain.Done()), 6.0, 1.5);
}

} // namespace
