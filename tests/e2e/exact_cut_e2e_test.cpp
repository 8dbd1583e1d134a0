// Exact cut end to end: fcut.exe -exact with the real ffmpeg on 25-s clips whose keyframes are
// 10 s apart, in every container and codec the copy-and-re-encode route serves, plus one codec
// that is re-encoded whole. The output is compared with the source frame by frame (PSNR against
// the chosen frame and its neighbours) and packet by packet (hashes of the copied packets).
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>

using namespace trimora_test;

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

std::string Probe(const std::string& file, const std::string& stream, const std::string& entry) {
    std::string v = RunProgram({"ffprobe", "-v", "error", "-select_streams", stream, "-count_packets",
                                "-show_entries", "stream=" + entry, "-of", "csv=p=0", file});
    return v.substr(0, v.find_first_of("\r\n"));
}

std::multiset<std::string> PacketHashes(const std::string& file) {
    std::istringstream in(RunProgram({"ffmpeg", "-v", "error", "-i", file, "-map", "0:v",
                                      "-c", "copy", "-f", "framemd5", "-"}));
    std::multiset<std::string> hashes;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line); // stream, dts, pts, duration, size, hash[, side data]
        std::string field;
        for (int i = 0; i < 6; ++i) std::getline(fields, field, ',');
        hashes.insert(field);
    }
    return hashes;
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

        const int frames = std::atoi(Probe(out, "v:0", "nb_read_packets").c_str());
        EXPECT_NEAR(frames * kFrame, kEnd - kStart, kFrame / 2);
        const double vStart = std::atof(Probe(out, "v:0", "start_time").c_str());
        const double aStart = std::atof(Probe(out, "a:0", "start_time").c_str());
        EXPECT_LE(std::abs(aStart - vStart), kFrame);

        // First, middle (copied) and last frames: the chosen ones, not their neighbours.
        for (const int n : {0, frames / 2, frames - 1}) {
            const double t = kStart + n * kFrame, same = Psnr(out, n, src, t);
            EXPECT_GT(same, 30) << "frame " << n;
            EXPECT_GT(same, Psnr(out, n, src, t - kFrame) + 6) << "frame " << n;
            EXPECT_GT(same, Psnr(out, n, src, t + kFrame) + 6) << "frame " << n;
        }

        const auto srcHashes = PacketHashes(src);
        int same = 0;
        for (const auto& h : PacketHashes(out)) same += srcHashes.count(h) ? 1 : 0;
        EXPECT_GE(same, c.copied);
        EXPECT_LE(same, c.copied + 2);
    }
}

} // namespace
