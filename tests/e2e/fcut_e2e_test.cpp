// fcut.exe's own rules, with the real ffmpeg: a container gets audio it can hold, a frame is
// saved as an image whatever the folder name, the source is never the output, and a start past
// the end writes nothing and says so the way the program reads it. (The cut, convert and audio
// forms themselves run through the program in cut_e2e and convert_e2e; the probe report in
// probe_clip_test; a stopped run in mtools_e2e.)
#include "common/command_line.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

using namespace trimora_test;
namespace fs = std::filesystem;

namespace {

std::string Q(const std::string& path) { return trimora::Quoted(path); }

class FcutE2E : public ::testing::Test {
  protected:
    void SetUp() override {
        fcut_ = home_.InstallTools() + "fcut.exe -cb ";
        out_ = home_.Root() + "out/";
        fs::create_directories(out_);
        src_ = MediaClip(".mp4", 4);
    }
    std::string Run(const std::string& command, int* code) {
        return RunProgram(trimora::SplitCommandLine(command), code);
    }
    IsolatedHome home_;
    std::string fcut_, out_, src_;
};

} // namespace

TEST_F(FcutE2E, AudioTheContainerCannotHoldIsReEncodedWithWholeSecondProgress) {
    const std::string out = out_ + "a-Partial.vob";
    int code = -1;
    const std::string text = Run(fcut_ + " -threads 6  -ss 00:00:01.000 -t 2  -async 1 -i " +
                                     Q(src_) + "  -s 160x120  -vcodec mpeg2video  -acodec aac -ac "
                                     "2  -ar 44100  -ab 96k   -qscale 3  -y " + Q(out),
                                 &code);
    ASSERT_EQ(code, 0) << text;
    EXPECT_NE(text.find("cannot hold aac audio"), std::string::npos) << text;
    const MediaFacts f = ProbeMedia(out);
    EXPECT_EQ(f.acodec, "ac3");
    EXPECT_NEAR(f.duration, 2, 1.0);
    // Every "time=" is whole seconds at the end of its chunk: what the progress parser reads.
    size_t times = 0;
    for (size_t at = 0; (at = text.find("time=", at)) != std::string::npos; ++at) ++times;
    const std::regex whole("time=[0-9]+\r");
    EXPECT_GT(times, 0u);
    EXPECT_EQ(static_cast<size_t>(std::distance(
                  std::sregex_iterator(text.begin(), text.end(), whole), std::sregex_iterator())),
              times)
        << text;
}

TEST_F(FcutE2E, FrameSaveAndWarmUp) {
    const std::string images = out_ + "z Save%Image/";
    fs::create_directories(images);
    const std::string image = images + "000001.500.jpg";
    int code = -1;
    const std::string text =
        Run(fcut_ + " -ss 00:00:01.500 -i " + Q(src_) + " -f image2 -vframes 1 -sameq " + Q(image),
            &code);
    EXPECT_EQ(code, 0) << text;
    const MediaFacts jpeg = ProbeMedia(image);
    EXPECT_EQ(jpeg.vcodec, "mjpeg");
    EXPECT_EQ(jpeg.frameSize, "160x120");
    const std::string warm = Run(fcut_ + " -i " + Q(BinDir() + "help/silent.mp3"), &code);
    EXPECT_EQ(code, 0) << warm;
    EXPECT_NE(warm.find("Audio: mp3"), std::string::npos) << warm;
}

TEST_F(FcutE2E, NothingToWriteFailsAndLeavesNoFile) {
    // An output that is the source itself is refused; the source stays whole.
    const std::string copy = out_ + "self.mp4";
    fs::copy_file(src_, copy);
    int code = 0;
    std::string text = Run(fcut_ + " -i " + Q(copy) + "  -acodec aac -ac 2  -vcodec libx264 -vpre "
                                                      "veryfast_firstpass  -crf 18  -y " + Q(copy),
                           &code);
    EXPECT_NE(code, 0) << text;
    EXPECT_EQ(ReadFileBytes(copy), ReadFileBytes(src_));

    // A start past the end: the summary the program takes for "nothing written", no file.
    const std::string late = " -ss 00:00:09.000 ";
    for (const auto& [path, tail] : std::vector<std::pair<std::string, std::string>>{
             {out_ + "late-Cut.mp4", " -t 2  -async 1 -i " + Q(src_) + "  -acodec copy  -vcodec copy -sn -y "},
             {out_ + "late.mp3", " -t 2  -i " + Q(src_) + " -vn -sn  -acodec libmp3lame -ab 128k -ac 2  -y "},
             {out_ + "late.jpg", " -i " + Q(src_) + " -f image2 -vframes 1 -sameq "}}) {
        text = Run(fcut_ + late + tail + Q(path), &code);
        EXPECT_NE(text.find("video:0kB audio:0kB"), std::string::npos) << path << "\n" << text;
        EXPECT_NE(code, 0);
        EXPECT_FALSE(fs::exists(path)) << path;
    }
}
