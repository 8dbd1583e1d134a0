// Exact cut end to end: fcut.exe -exact with the real ffmpeg on 25-s clips whose keyframes are
// 10 s apart, in every container and codec the copy-and-re-encode route serves, plus one codec
// that is re-encoded whole. The output is compared with the source frame by frame (PSNR against
// the chosen frame and its neighbours) and packet by packet (hashes of the copied packets).
// And the copy range the summary predicts against the file `trimora cut` really writes: every
// frame of the output is found in the source by its decoded picture, so the written range is
// known in source time to the frame.
#include "jobs/copy_range.h"
#include "media/keyframes.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <set>

using namespace trimora_test;
namespace fs = std::filesystem;

namespace {

constexpr double kStart = 3.48, kEnd = 21.2, kFrame = 0.04; // 25 fps; keyframes at 0, 10, 20

struct Case {
    std::string ext, video, audio, extra;
    int copied;       // source packets expected unchanged in the output (at least this many)
    bool wholeEncode; // the codec cannot be joined to copied packets
};

std::string Source(const Case& c) {
    const std::string name = "exact-" + c.video.substr(0, c.video.find(' ')) + c.ext.substr(1) +
                             c.ext;
    return SampleClip(name, "-f lavfi -i testsrc2=size=320x180:rate=25:duration=25 "
                            "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=25 "
                            "-pix_fmt yuv420p -shortest -c:v " + c.video + " -c:a " + c.audio +
                                " " + c.extra);
}

// PSNR (dB) of output frame `n` against the source frame shown `t` seconds after its first.
double Psnr(const std::string& out, int n, const std::string& src, double t) {
    const std::string graph =
        "[0:v]select=eq(n\\," + std::to_string(n) + "),setpts=PTS-STARTPTS[a];" +
        "[1:v]setpts=PTS-STARTPTS,select=between(t\\," + std::to_string(t - 0.01) + "\\," +
        std::to_string(t + 0.01) + "),setpts=PTS-STARTPTS[b];[a][b]psnr";
    const std::string log = RunProgram({"ffmpeg", "-hide_banner", "-i", out, "-i", src, "-lavfi",
                                        graph, "-f", "null", "-"});
    std::smatch m;
    if (!std::regex_search(log, m, std::regex("average:([0-9.]+|inf)"))) return -1;
    return m[1] == "inf" ? 1000 : std::atof(m[1].str().c_str());
}

TEST(ExactCutE2E, StartsAndEndsOnTheChosenFramesAndCopiesTheMiddleUnchanged) {
    const std::string gop = "-g 250 -keyint_min 250 -sc_threshold 0 ";
    const std::string x265 = "-x265-params keyint=250:min-keyint=250:scenecut=0:open-gop=0:"
                             "log-level=error ";
    const std::vector<Case> cases = {
        // The copy runs from 10 s to the chosen end (280 frames) or to a few frames before it;
        // H.264/H.265 keyframes carry the source's parameter sets in front of them. One row per
        // codec and kind of container (the QuickTime family shares its muxer).
        {".mp4", "libx264 -preset veryfast " + gop, "aac", "", 278, false},
        {".mkv", "libx264 -preset veryfast " + gop, "aac", "", 278, false},
        {".m2ts", "libx264 -preset veryfast " + gop, "aac", "-f mpegts", 280, false},
        {".mp4", "libx265 -preset veryfast -tag:v hvc1 " + x265, "aac", "", 274, false},
        // No reordered frames: the copy runs to the chosen end.
        {".avi", "mpeg4 -q:v 3 -g 250", "libmp3lame", "", 279, false},
        {".mp4", "mpeg4 -q:v 3 -g 250", "aac", "", 0, true},
        {".mpg", "mpeg2video -q:v 3 -g 250", "mp2", "", 0, true}, // program stream, no index
    };
    IsolatedHome home;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.video + c.ext);
        const std::string src = Source(c);
        const std::string out = home.Root() + "out" + c.ext;
        std::filesystem::remove(out);
        int rc = -1;
        const std::string log = RunProgram({BinDir() + "fcut.exe", "-cb", "-exact", "-ss",
                                            "00:00:03.48", "-to", "00:00:21.2", "-i", src, "-sn",
                                            "-y", out}, &rc);
        ASSERT_EQ(rc, 0) << log;
        EXPECT_EQ(log.find("re-encodes the whole range") != std::string::npos, c.wholeEncode)
            << log;
        EXPECT_EQ(RunProgram({"ffmpeg", "-v", "error", "-i", out, "-f", "null", "-"}), "");

        const auto packets = FrameHashes(out, true);
        const int frames = static_cast<int>(packets.size());
        EXPECT_NEAR(frames * kFrame, kEnd - kStart, kFrame / 2);
        const MediaFacts facts = ProbeMedia(out);
        EXPECT_LE(std::abs(facts.astart - facts.vstart), kFrame);

        // First, middle (copied) and last frames: the chosen ones, not their neighbours.
        for (const int n : {0, frames / 2, frames - 1}) {
            const double t = kStart + n * kFrame, same = Psnr(out, n, src, t);
            EXPECT_GT(same, 30) << "frame " << n;
            EXPECT_GT(same, Psnr(out, n, src, t - kFrame) + 6) << "frame " << n;
            EXPECT_GT(same, Psnr(out, n, src, t + kFrame) + 6) << "frame " << n;
        }

        std::multiset<std::string> srcHashes;
        for (const auto& [t, hash] : FrameHashes(src, true)) srcHashes.insert(hash);
        int same = 0;
        for (const auto& [t, hash] : packets) same += srcHashes.count(hash) ? 1 : 0;
        EXPECT_GE(same, c.copied);
        EXPECT_LE(same, c.copied + 2);
    }
}

} // namespace

using CopyRangeE2E = InstalledTools;

TEST_F(CopyRangeE2E, PredictedRangeIsWhatTheCutWritesAndHoldsTheChosenRange) {
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
                                            "--save-folder", out_}, &status);
        const std::string written = out_ + c.name.substr(0, c.name.rfind('.')) + "-Cut" + ext;
        ASSERT_EQ(status, 0) << log;
        const auto source = FrameHashes(clip), cut = FrameHashes(written);
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
