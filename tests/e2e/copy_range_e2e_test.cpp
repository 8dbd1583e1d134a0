// The copy range the summary predicts against the file `trimora cut` really writes: every frame
// of the output is found in the source by its decoded picture, so the written range is known in
// source time to the frame.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "common/helpers.h"
#include "jobs/copy_range.h"
#include "media/keyframes.h"
#include "support/test_env.h"

namespace fs = std::filesystem;
using namespace trimora_test;

namespace {

// Decoded video frames: (time from the first frame, picture hash), in presentation order.
std::vector<std::pair<double, std::string>> Frames(const std::string& path) {
    const std::string text = RunProgram(
        {"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map", "0:v:0", "-f", "framemd5", "-"});
    double tb = 0;
    std::vector<std::pair<double, std::string>> frames;
    for (const auto& line : SplitLines(text)) {
        if (line.rfind("#tb 0:", 0) == 0) {
            const size_t slash = line.find('/');
            tb = std::stod(line.substr(6, slash - 6)) / std::stod(line.substr(slash + 1));
        }
        if (line[0] == '#') continue;
        std::vector<std::string> f;
        std::stringstream fields(line);
        for (std::string v; std::getline(fields, v, ',');) f.push_back(trimora::Trim(v));
        if (f.size() == 6) frames.push_back({std::stod(f[2]) * tb, f[5]});
    }
    for (auto& fr : frames) fr.first -= frames.empty() ? 0 : frames.front().first;
    return frames;
}

} // namespace

TEST(CopyRangeE2E, PredictedRangeIsWhatTheCutWritesAndHoldsTheChosenRange) {
    IsolatedHome home;
    home.InstallTools();
    const std::string out = home.Root() + "out/";
    fs::create_directories(out);
    const std::string src = "-f lavfi -i testsrc=size=160x120:rate=25:duration=";
    const std::string snd = " -f lavfi -i sine=frequency=440:sample_rate=44100:duration=";
    const std::string every10 = " -g 250 -force_key_frames expr:eq(mod(n,250),0) ";
    const std::string uneven = " -g 1000 -force_key_frames 0,3,11,14 ";
    const std::string x264 = " -c:v libx264 -sc_threshold 0 ";
    struct Case {
        std::string name, args, start = "13.400", end = "21.700";
    };
    const std::string a40 = src + "40" + snd + "40", a20 = src + "20" + snd + "20";
    const std::vector<Case> cases = {
        {"kf10.mp4", a40 + x264 + every10 + "-c:a aac"},
        {"kf10.mkv", a40 + x264 + every10 + "-c:a aac"},
        {"kf10.avi", a40 + " -c:v mpeg4" + every10 + "-c:a libmp3lame"},
        {"kf10.flv", a40 + " -c:v flv1" + every10 + "-c:a libmp3lame"},
        {"kf10.webm", a40 + " -c:v libvpx -keyint_min 250" + every10 + "-c:a libvorbis"},
        {"kf10.wmv", a40 + " -c:v wmv2" + every10 + "-c:a wmav2"},
        {"kfuneven.mkv", a20 + x264 + uneven + "-c:a aac", "4.500", "12.200"},
        {"kfuneven.avi", a20 + " -c:v mpeg4" + uneven + "-c:a libmp3lame", "4.500", "12.200"},
        // A program stream's copy range is not predicted, but it must hold the chosen range.
        {"kf10.mpg", a40 + " -c:v mpeg2video -bf 2" + every10 + "-c:a mp2", "23.400", "31.700"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string clip = SampleClip(c.name, c.args);
        const double start = std::stod(c.start), end = std::stod(c.end);
        const std::string ext = c.name.substr(c.name.rfind('.'));
        const bool predicts = ext != ".mpg";
        std::vector<double> keys = trimora::ReadKeyframeTimes(clip);
        ASSERT_TRUE(!predicts || keys.size() >= 3u);
        for (double& k : keys) k -= keys.front();
        const trimora::TCopyRange predicted =
            trimora::PredictCopyRange(ext, keys, start, end, ProbeMedia(clip).duration);
        ASSERT_EQ(predicted.Known, predicts);

        int status = -1;
        const std::string log = RunProgram({BinDir() + "trimora", "cut", clip, "--start",
                                            "0:00:" + c.start, "--end", "0:00:" + c.end,
                                            "--save-folder", out}, &status);
        const std::string written = out + c.name.substr(0, c.name.rfind('.')) + "-Cut" + ext;
        ASSERT_EQ(status, 0) << log;
        const auto source = Frames(clip), cut = Frames(written);
        ASSERT_FALSE(cut.empty());
        std::map<std::string, double> at;
        for (auto it = source.rbegin(); it != source.rend(); ++it) at[it->second] = it->first;
        ASSERT_TRUE(at.count(cut.front().second) && at.count(cut.back().second));
        const double first = at[cut.front().second];
        const double last = at[cut.back().second] + 0.04; // one frame at 25 fps
        const std::string said = trimora::DescribeCopyRange(predicted, start, end);
        if (predicts) {
            EXPECT_NEAR(first, predicted.Start, 0.1) << said;
            EXPECT_NEAR(last, predicted.End, 0.1) << said;
        }
        EXPECT_LE(first, start + 0.001);
        EXPECT_GE(last, end - 0.001);
        fs::remove(written);
    }
}
