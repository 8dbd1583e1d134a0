// Conversions and audio extractions through `trimora convert` / `trimora extract-audio`, with
// the real front-ends and tools, on a 2-s clip; every output is checked with ffprobe.
#include "support/test_env.h"

#include "jobs/convert.h"
#include "jobs/device_presets.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace trimora_test;
namespace fs = std::filesystem;

namespace {

class ConvertE2E : public InstalledTools {
  protected:
    CliRun Run(const std::string& command, const std::string& src, const std::string& format,
               std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {command, src, "--format", format, "--save-folder", out_};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunTrimora(args);
    }
};

struct Row {
    std::string command, format;
    bool partial; // 0.5-1.5 s; a video without its sound, at 128x96 unless a device sets the size
};

void PrintTo(const Row& r, std::ostream* os) { *os << r.command << " " << r.format; }

class ConvertRows : public ConvertE2E, public ::testing::WithParamInterface<Row> {};

// Each video format and device preset (one per kind of output) once, whole with its sound (a
// device with gain) or partial; the two kinds alternate within each tool's family. Each audio
// format once: a sound-only file of the length.
TEST_P(ConvertRows, OutputOfTheFormat) {
    const auto& [command, format, partial] = GetParam();
    const bool audio = command == "extract-audio", device = format[0] == '(';
    trimora::TConvertPieces pieces; // a device's suffix and frame size
    trimora::TConvertOptions options;
    options.ConvertType = format;
    if (device) trimora::BuildConvertFragment(options, trimora::TStoreInfo{}, pieces);
    std::vector<std::string> extra;
    if (partial) extra = {"--start", "00:00:00.500", "--end", "00:00:01.500"};
    if (partial && !audio) extra.push_back("--no-sound");
    if (partial && !audio && !device)
        extra.insert(extra.end(), {"--frame-size", "128x96", "--quality",
                                   "Fair            (Smallest Filesize)"});
    if (device && !partial) extra.insert(extra.end(), {"--volume", "2"});
    const std::string src = MediaClip(".mp4", 2), suffix = device ? pieces.OutputExt : format;
    const CliRun r = Run(command, src, format, extra);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.Done(), out_ + StemOf(src) + (audio ? "" : partial ? "-Partial" : "-Convert") +
                            suffix);
    const MediaFacts p = ProbeMedia(r.Done());
    ASSERT_TRUE(p.readable);
    EXPECT_NEAR(p.duration, partial ? 1.0 : 2.0, audio ? 0.3 : 1.0);
    EXPECT_EQ(p.acodec.empty(), partial && !audio);
    EXPECT_EQ(p.vcodec.empty(), audio);
    if (audio) return;
    EXPECT_EQ(p.format, ProbeMedia(MediaClip(suffix.substr(suffix.rfind('.')), 1)).format);
    EXPECT_EQ(p.frameSize, device ? pieces.FrameSizeLabel : partial ? "128x96" : "160x120");
}

const std::string C = "convert", A = "extract-audio";
INSTANTIATE_TEST_SUITE_P(
    All, ConvertRows,
    ::testing::Values(Row{C, ".avi", true}, Row{C, ".asf", false}, Row{C, ".wmv", true},
                      Row{C, ".flv", true}, Row{C, ".mkv", false}, Row{C, ".webm", true},
                      Row{C, ".mpg", true}, Row{C, ".mpeg", false}, Row{C, ".mov", false},
                      Row{C, ".mp4", true}, Row{C, ".m4v", false}, Row{C, ".3gp", false},
                      Row{C, "(Device) Android - Small Screen", true},
                      Row{C, "(Device) iPhone - HiResolution", false},
                      Row{C, "(Device) Blackberry - Small Screen", false},
                      Row{A, ".aac", false}, Row{A, ".m4a", true}, Row{A, ".mp3", true},
                      Row{A, ".ogg", false}, Row{A, ".wma", true}, Row{A, ".wav", false}),
    [](const auto& info) {
        std::string name = info.param.command == A ? "audio" : "";
        for (char c : info.param.format)
            if (std::isalnum(static_cast<unsigned char>(c))) name += c;
        return name;
    });

TEST_F(ConvertE2E, ClipWithoutSoundConvertsWithoutAndExistingOutputsStay) {
    const std::string src = MediaClip(".avi", 2, "-an"), stem = out_ + StemOf(src);
    // A file already bearing the output name is left alone; the next free name is used.
    WriteFileBytes(stem + "-Convert.mp4", "mine");
    // The mencoder formats ask for sound whatever the clip has; the output has none.
    for (const char* ext : {".mp4", ".wmv"}) {
        const CliRun r = Run("convert", src, ext);
        ASSERT_EQ(r.status, 0) << r.output;
        EXPECT_EQ(r.Done(), stem + (ext == std::string(".mp4") ? "-Convert01" : "-Convert") + ext);
        const MediaFacts p = ProbeMedia(r.Done());
        EXPECT_EQ(p.frameSize, "160x120");
        EXPECT_EQ(p.acodec, "");
        EXPECT_NEAR(p.duration, 2.0, 1.0);
    }
    EXPECT_EQ(ReadFileBytes(stem + "-Convert.mp4"), "mine");
    const CliRun audio = Run("extract-audio", src, ".mp3");
    EXPECT_EQ(audio.status, 1) << audio.output;
    EXPECT_EQ(audio.LastLine(), "FAILED Input Clip contains no Audio!") << audio.output;
    EXPECT_FALSE(fs::exists(stem + ".mp3"));
}

TEST_F(ConvertE2E, DryRunAndRefusedOptionsRunNothing) {
    const std::string src = MediaClip(".mp4", 2);
    const CliRun r = Run("convert", src, ".wmv", {"--start", "00:00:00.500", "--end",
                                                  "00:00:01.500", "--dry-run"});
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("mcut.exe -cb qzv -edl \""), std::string::npos) << r.output;
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

double MaxVolumeDb(const std::string& path) {
    const std::string out = RunProgram({"ffmpeg", "-nostdin", "-hide_banner", "-i", path, "-af",
                                        "volumedetect", "-f", "null", "-"});
    const size_t at = out.find("max_volume:");
    return at == std::string::npos ? 1000 : std::stod(out.substr(at + 11));
}

TEST_F(ConvertE2E, ExtractionGainRaisesTheVolume) {
    const std::string src = MediaClip(".mp4", 2);
    const CliRun plain = Run("extract-audio", src, ".wav");
    ASSERT_EQ(plain.status, 0) << plain.output;
    const CliRun loud = Run("extract-audio", src, ".wav", {"--volume", "2"});
    ASSERT_EQ(loud.status, 0) << loud.output;
    EXPECT_EQ(loud.Done(), out_ + StemOf(src) + "01.wav"); // the first one is not overwritten
    EXPECT_NEAR(ProbeDuration(loud.Done()), 2.0, 0.3);
    // -vol 512 doubles the amplitude: about 6 dB louder.
    EXPECT_NEAR(MaxVolumeDb(loud.Done()) - MaxVolumeDb(plain.Done()), 6.0, 1.5);
}

} // namespace
