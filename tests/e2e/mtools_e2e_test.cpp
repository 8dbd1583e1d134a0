// The front-ends' own behaviour on real clips, with the command lines the program composes
// (doubled blanks included): mcut.exe waiting for the normalising clip and fitting other
// pictures, mmerge.exe's split, fmerge.exe's names and refusals, and every front-end ending its
// tool when it is stopped. (Cuts, conversions and joins of every format run through the program
// in cut_e2e, convert_e2e and join_e2e.)
#include "common/command_line.h"
#include "common/helpers.h"
#include "exec/tool_runs.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace trimora_test;
namespace fs = std::filesystem;

namespace {

const char* kPicture = "-f lavfi -i testsrc=size=160x120:rate=25:duration=";
const char* kSound = " -f lavfi -i sine=frequency=440:sample_rate=44100:duration=";

// A clip of `seconds` in the usual codecs of its container (.avi, .flv, .mkv).
std::string MakeClip(const std::string& ext, int seconds, const std::string& tag = "") {
    const std::string codecs = ext == ".avi"   ? "-c:v mpeg4 -q:v 4 -c:a libmp3lame -f avi"
                               : ext == ".flv" ? "-c:v flv1 -q:v 4 -c:a libmp3lame -f flv"
                                               : "-c:v libx264 -preset ultrafast -g 25 -c:a aac";
    const std::string s = std::to_string(seconds);
    return SampleClip("mtools-" + std::to_string(seconds) + "s" + tag + ext,
                      kPicture + s + kSound + s + " " + codecs + " -shortest");
}

CliRun RunCommand(const std::string& command) {
    CliRun r;
    r.output = RunProgram(trimora::SplitCommandLine(command), &r.status);
    return r;
}

// The tool's output cut into the chunks the program reads (one per line or progress message).
std::vector<std::string> Chunks(const std::string& output) {
    std::vector<std::string> chunks(1);
    for (char c : output) {
        chunks.back() += c;
        if (c == '\r' || c == '\n') chunks.emplace_back();
    }
    return chunks;
}

// How many finished files the program counts in a mencoder join's output.
int JoinFilesCounted(const std::string& output) {
    trimora::TProgressCounters counters;
    counters.MencoderJoin = true;
    for (const auto& chunk : Chunks(output))
        if (chunk.find("Pos:") != std::string::npos) trimora::ParseEqualsProgress(chunk, counters);
    return counters.JoinFilesDone;
}

// The percent the program shows last for a splitter cut of 4 seconds.
int LastSplitterPercent(const std::string& output) {
    int last = -1;
    for (const auto& chunk : Chunks(output))
        if (chunk.find("Progress:") != std::string::npos)
            if (const auto r = trimora::ParseTimeProgress(chunk, 4, true)) last = static_cast<int>(r->Percent);
    return last;
}

// The checks every output gets: readable as its container, length, picture size, sound.
MediaFacts ExpectValid(const std::string& path, const std::string& format, double seconds,
                       bool sound) {
    SCOPED_TRACE(path);
    const MediaFacts f = ProbeMedia(path);
    EXPECT_TRUE(f.readable);
    EXPECT_NE(f.format.find(format), std::string::npos) << f.format;
    EXPECT_NEAR(f.duration, seconds, 1.0);
    EXPECT_EQ(f.frameSize, "160x120");
    EXPECT_EQ(!f.acodec.empty(), sound);
    if (sound && f.aduration > 0 && f.vduration > 0) {
        EXPECT_NEAR(f.aduration, f.vduration, 0.5) << "sound and picture differ in length";
    }
    return f;
}

class MtoolsE2E : public ::testing::Test {
  protected:
    void SetUp() override {
        sys_ = home_.InstallTools();
        tools_ = sys_ + "qvcut/";
        mencoder_ = sys_ + "mcut.exe -cb qzv ";
        mmerge_ = tools_ + "mmerge.exe ";
        fmerge_ = tools_ + "fmerge.exe ";
        out_ = home_.Root() + "out/";
        fs::create_directories(out_);
    }
    // A copy of a clip in a join folder, as the user's file.
    std::string InFolder(const std::string& clip, const std::string& name) {
        const std::string dir = home_.Root() + "join/";
        fs::create_directories(dir);
        fs::copy_file(clip, dir + name, fs::copy_options::overwrite_existing);
        return dir + name;
    }

    IsolatedHome home_;
    std::string sys_, tools_, mencoder_, mmerge_, fmerge_, out_;
};

} // namespace

TEST_F(MtoolsE2E, McutJoinWaitsForTheNormalisingClipAndEncodesOtherPictures) {
    // The program starts the normalising run and, 300 ms later, the join without waiting: the
    // join must not read the clip before its writer is done with it.
    const std::string a = InFolder(MakeClip(".avi", 3), "a.avi");
    const std::string b = InFolder(MakeClip(".avi", 2), "b.avi");
    const std::string norm = home_.Root() + "norm.avi";
    const std::string bytes = ReadFileBytes(MakeClip(".avi", 1));
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t writer = ::fork();
    if (writer == 0) {
        const int fd = ::open(norm.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        (void)!::write(ready[1], "x", 1);
        ::usleep(800 * 1000);
        (void)!::write(fd, bytes.data(), bytes.size());
        ::close(fd);
        ::_exit(0);
    }
    char c;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    const std::string out = out_ + "join-Joined.avi";
    const CliRun j = RunCommand(mencoder_ + "\"" + norm + "\" " + "\"" + a + "\" \"" + b + "\" " +
                                " -mc 0 -ovc copy -oac mp3lame -lameopts cbr:br=128 -srate 44100 -o \"" +
                                out + "\"");
    ::waitpid(writer, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    ASSERT_EQ(j.status, 0) << j.output;
    EXPECT_EQ(JoinFilesCounted(j.output), 3) << j.output;
    ExpectValid(out, "avi", 6, true);

    // Pictures of another codec or frame rate are fitted to the longest clip (29.97 fps here),
    // so that it can still be copied and nothing plays slower or faster.
    const std::string h264 = InFolder(
        SampleClip("mtools-h264.avi", std::string(kPicture) + "2" + kSound +
                                          "2 -c:v libx264 -preset ultrafast -c:a libmp3lame -shortest"),
        "h264.avi");
    const std::string ntsc = InFolder(
        SampleClip("mtools-ntsc.avi", "-f lavfi -i testsrc=size=160x120:rate=30000/1001:duration=3" +
                                          std::string(kSound) +
                                          "3 -c:v mpeg4 -q:v 4 -c:a libmp3lame -shortest"),
        "ntsc.avi");
    const std::string mixed = out_ + "join-Joined01.avi";
    const CliRun m = RunCommand(mencoder_ + "\"" + norm + "\" " + "\"" + ntsc + "\" \"" + h264 +
                                "\" " + " -mc 0 -ovc copy -oac mp3lame -lameopts cbr:br=128 -srate 44100 -o \"" +
                                mixed + "\"");
    ASSERT_EQ(m.status, 0) << m.output;
    const MediaFacts p = ExpectValid(mixed, "avi", 6, true);
    EXPECT_EQ(p.vcodec, "mpeg4");
    EXPECT_NEAR(p.fps, 29.97, 0.01);
    EXPECT_EQ(JoinFilesCounted(m.output), 3) << m.output;
}

TEST_F(MtoolsE2E, MmergeSplitWritesOnlyTheWholeMiddlePart) {
    const std::string src = InFolder(MakeClip(".mkv", 4), "CLIP.MKV");
    const std::string base = tools_ + "trim.MKV";
    const std::string part = tools_ + "trim-002.mkv";
    WriteFileBytes(part, "stale part of an earlier run");

    // While the splitter runs, the piece it writes is never there unfinished.
    std::atomic<bool> done{false}, sawOpenPart{false};
    std::thread watch([&] {
        while (!done) {
            if (std::error_code ec; fs::file_size(part, ec) > 100 && !ec && trimora::IsFileLocked(part))
                sawOpenPart = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    const CliRun r = RunCommand(mmerge_ + " -o \"" + base + "\" \"" + src + "\" --split timecodes:" +
                         "00:00:01.000,00:00:03.000");
    done = true;
    watch.join();
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_FALSE(sawOpenPart);
    EXPECT_EQ(LastSplitterPercent(r.output), 100) << r.output;
    // The middle piece starts at the keyframe at or before 1 s, so it holds the whole chosen range.
    EXPECT_GE(ProbeDuration(part), 1.95);
    EXPECT_LE(ProbeDuration(part), 3.1);
    EXPECT_FALSE(fs::exists(tools_ + "trim-001.mkv"));
    EXPECT_FALSE(fs::exists(tools_ + "trim-003.mkv"));

    // From the very start: the middle part is the head, not the rest of the clip.
    const CliRun head = RunCommand(mmerge_ + " -o \"" + base + "\" \"" + src + "\" --split timecodes:" +
                            "0:00:00.000,00:00:02.000");
    ASSERT_EQ(head.status, 0) << head.output;
    ExpectValid(part, "matroska", 2, true);

    const CliRun late = RunCommand(mmerge_ + " -o \"" + base + "\" \"" + src + "\" --split timecodes:" +
                            "00:00:09.000,00:00:12.000");
    EXPECT_NE(late.status, 0);
    EXPECT_FALSE(fs::exists(part));
}

TEST_F(MtoolsE2E, FmergeJoinsFlvWhateverTheNames) {
    const std::string a = InFolder(MakeClip(".flv", 3), "it's \"quoted\" $HOME;.flv");
    const std::string b = InFolder(MakeClip(".flv", 2), "new\nline.flv");
    const std::string out = out_ + "join-Joined.flv";
    const CliRun j = RunCommand(fmerge_ + " " + trimora::Quoted(out) + " " + trimora::Quoted(a) + " " +
                         trimora::Quoted(b) + " ");
    ASSERT_EQ(j.status, 0) << j.output;
    ExpectValid(out, "flv", 5, true);
    EXPECT_TRUE(fs::exists(a));
    EXPECT_TRUE(fs::exists(b));

    const std::string odd = InFolder(
        SampleClip("mtools-22k.flv", std::string(kPicture) + "2" +
                                         " -f lavfi -i sine=sample_rate=22050:duration=2"
                                         " -c:v flv1 -c:a libmp3lame -shortest"),
        "odd.flv");
    const std::string bad = out_ + "bad.flv";
    const CliRun m = RunCommand(fmerge_ + " " + trimora::Quoted(bad) + " " + trimora::Quoted(a) +
                                " " + trimora::Quoted(odd) + " ");
    EXPECT_NE(m.status, 0);
    EXPECT_NE(m.output.find("cannot be appended"), std::string::npos) << m.output;
    EXPECT_FALSE(fs::exists(bad));
}

// Starts the front-end, waits until it runs `tool`, kills the front-end with sig and expects
// the tool to end within a second; a stopped run is never reported as a success.
static void ExpectKillLeavesNoTool(const std::vector<std::string>& argv, const std::string& tool, int sig,
                            const std::string& log) {
    SCOPED_TRACE(tool + " signal " + std::to_string(sig));
    Started run = StartInBackground(argv, log);
    pid_t child = -1;
    for (int i = 0; i < 1000 && child < 0; ++i) {
        for (const auto& [pid, comm] : Descendants(run.pid))
            if (comm == tool) child = pid;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_GT(child, 0) << run.Output();
    ::kill(run.pid, sig);
    for (int i = 0; i < 100 && Alive(child); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(Alive(child));
    const int status = run.Wait();
    if (sig == SIGTERM) {
        EXPECT_EQ(status, 128 + SIGTERM);
    }
}

TEST_F(MtoolsE2E, KilledFrontEndsLeaveNoToolRunning) {
    const std::string big = MakeClip(".avi", 20);
    const std::string fifo = home_.Root() + "never-written.mkv";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string log = home_.Root() + "frontend.log";
    for (const int sig : {SIGTERM, SIGKILL}) {
        const std::string out = out_ + "slow" + std::to_string(sig) + ".wmv";
        // a large frame size keeps the encoder busy for a few seconds
        ExpectKillLeavesNoTool({sys_ + "mcut.exe", "-cb", "qzv", big, "-vf", "scale=1280:720",
                                "-ovc", "lavc", "-lavcopts", "vcodec=mpeg4:vbitrate=4800",
                                "-nosound", "-o", out},
                               "ffmpeg", sig, log);
        if (sig == SIGTERM) {
            EXPECT_FALSE(fs::exists(out)) << "partial output left";
        }
        // -re: the encoder front-end reads the input at its own pace
        ExpectKillLeavesNoTool({sys_ + "fcut.exe", "-cb", "-re", "-i", big, "-vcodec", "libx264",
                                "-y", out_ + "slow.mp4"},
                               "ffmpeg", sig, log);
        // mkvmerge waits for a pipe nobody writes: it only ends when stopped
        ExpectKillLeavesNoTool({tools_ + "mmerge.exe", fifo, "+" + fifo, "-o", out_ + "x.mkv"},
                               "mkvmerge", sig, log);
        if (sig == SIGTERM) {
            EXPECT_TRUE(fs::is_empty(out_)) << "partial output or work file left";
        }
    }
}
