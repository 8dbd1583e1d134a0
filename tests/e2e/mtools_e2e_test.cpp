// The front-ends' own behaviour on real clips, with the command lines the program composes
// (doubled blanks included): waiting, splitting, names, refusals, stopping and killed tools; and
// fcut.exe's own rules: a container gets audio it can hold, a frame is saved as an image whatever
// the folder name, the source is never the output, and a start past the end writes nothing and
// says so the way the program reads it.
#include "common/command_line.h"
#include "common/helpers.h"
#include "exec/tool_runs.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <atomic>
#include <utility>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <regex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace trimora_test;
namespace fs = std::filesystem;

namespace {

std::string Q(const std::string& path) { return trimora::Quoted(path); }

// The tool's output cut into the chunks the program reads (one per line or progress message).
std::vector<std::string> Chunks(const std::string& output) {
    std::vector<std::string> chunks;
    for (size_t b = 0, e = 0; e != std::string::npos; b = e + 1) {
        e = output.find_first_of("\r\n", b);
        chunks.push_back(output.substr(b, e == std::string::npos ? e : e + 1 - b));
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

class MtoolsE2E : public InstalledTools {
  protected:
    // A copy of a clip in a join folder, as the user's file.
    std::string InFolder(const std::string& clip, const std::string& name) {
        const std::string dir = home_.Root() + "join/";
        fs::create_directories(dir);
        fs::copy_file(clip, dir + name, fs::copy_options::overwrite_existing);
        return dir + name;
    }

    const std::string tools_ = sys_ + "qvcut/", mencoder_ = sys_ + "mcut.exe -cb qzv ";
    const std::string mmerge_ = tools_ + "mmerge.exe ", fmerge_ = tools_ + "fmerge.exe ";
};

class FcutE2E : public InstalledTools {
  protected:
    const std::string fcut_ = sys_ + "fcut.exe -cb ", src_ = MediaClip(".mp4", 4);
};

} // namespace

TEST_F(MtoolsE2E, McutJoinWaitsForTheNormalisingClipAndEncodesOtherPictures) {
    auto join = [&](const std::vector<std::string>& clips, const std::string& out) {
        std::string command = mencoder_;
        for (const auto& clip : clips) command += "\"" + clip + "\" ";
        return RunCommand(command + " -mc 0 -ovc copy -oac mp3lame -lameopts cbr:br=128 -srate "
                                    "44100 -o \"" + out + "\"");
    };
    // The program starts the normalising run and, 300 ms later, the join without waiting: the
    // join must not read the clip before its writer is done with it.
    const std::string a = InFolder(MediaClip(".avi", 3), "a.avi");
    const std::string b = InFolder(MediaClip(".avi", 2), "b.avi");
    const std::string norm = home_.Root() + "norm.avi";
    const std::string bytes = ReadFileBytes(MediaClip(".avi", 1));
    const int fd = ::open(norm.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
        (void)!::write(fd, bytes.data(), bytes.size());
        ::close(fd);
    });
    const CliRun j = join({norm, a, b}, out_ + "join-Joined.avi");
    writer.join();
    ASSERT_EQ(j.status, 0) << j.output;
    EXPECT_EQ(JoinFilesCounted(j.output), 3) << j.output;
    ExpectValid(out_ + "join-Joined.avi", "avi", 6, true);

    // Pictures of another codec or frame rate are fitted to the longest clip (29.97 fps here),
    // so that it can still be copied and nothing plays slower or faster.
    const std::string h264 = InFolder(MediaClip(".avi", 2, "-c:v libx264"), "h264.avi");
    const std::string ntsc = InFolder(MediaClip(".avi", 3, "-r 30000/1001"), "ntsc.avi");
    const CliRun m = join({norm, ntsc, h264}, out_ + "join-Joined01.avi");
    ASSERT_EQ(m.status, 0) << m.output;
    const MediaFacts p = ExpectValid(out_ + "join-Joined01.avi", "avi", 6, true);
    EXPECT_EQ(p.vcodec, "mpeg4");
    EXPECT_NEAR(p.fps, 29.97, 0.01);
}

TEST_F(MtoolsE2E, MmergeSplitWritesOnlyTheWholeMiddlePart) {
    const std::string src = InFolder(MediaClip(".mkv", 4), "CLIP.MKV");
    const std::string base = tools_ + "trim.MKV";
    const std::string part = tools_ + "trim-002.mkv";
    WriteFileBytes(part, "stale part of an earlier run");
    auto split = [&](const std::string& times) {
        return RunCommand(mmerge_ + " -o \"" + base + "\" \"" + src + "\" --split timecodes:" + times);
    };

    // While the splitter runs, the piece it writes is never there unfinished.
    std::atomic<bool> done{false}, sawOpenPart{false};
    std::thread watch([&] {
        while (!done) {
            std::error_code ec;
            if (fs::file_size(part, ec) > 100 && !ec && trimora::IsFileLocked(part))
                sawOpenPart = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    const CliRun r = split("00:00:01.000,00:00:03.000");
    done = true;
    watch.join();
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_FALSE(sawOpenPart);
    ASSERT_NE(r.output.rfind("Progress: "), std::string::npos) << r.output;
    EXPECT_EQ(r.output.substr(r.output.rfind("Progress: "), 15), "Progress: 100%\n") << r.output;
    // The middle piece starts at the keyframe at or before 1 s, so it holds the whole chosen range.
    EXPECT_GE(ProbeDuration(part), 1.95);
    EXPECT_LE(ProbeDuration(part), 3.1);
    EXPECT_FALSE(fs::exists(tools_ + "trim-001.mkv"));
    EXPECT_FALSE(fs::exists(tools_ + "trim-003.mkv"));

    // From the very start: the middle part is the head, not the rest of the clip.
    const CliRun head = split("0:00:00.000,00:00:02.000");
    ASSERT_EQ(head.status, 0) << head.output;
    ExpectValid(part, "matroska", 2, true);

    const CliRun late = split("00:00:09.000,00:00:12.000");
    EXPECT_NE(late.status, 0);
    EXPECT_FALSE(fs::exists(part));
}

TEST_F(MtoolsE2E, FmergeJoinsFlvWhateverTheNames) {
    const std::string a = InFolder(MediaClip(".flv", 3), "it's \"quoted\" $HOME;.flv");
    const std::string b = InFolder(MediaClip(".flv", 2), "new\nline.flv");
    const std::string out = out_ + "join-Joined.flv";
    const CliRun j = RunCommand(fmerge_ + " " + Q(out) + " " + Q(a) + " " + Q(b) + " ");
    ASSERT_EQ(j.status, 0) << j.output;
    ExpectValid(out, "flv", 5, true);

    const std::string odd = InFolder(MediaClip(".flv", 2, "-ar 22050"), "odd.flv");
    const std::string bad = out_ + "bad.flv";
    const CliRun m = RunCommand(fmerge_ + " " + Q(bad) + " " + Q(a) + " " + Q(odd) + " ");
    EXPECT_NE(m.status, 0);
    EXPECT_NE(m.output.find("cannot be appended"), std::string::npos) << m.output;
    EXPECT_FALSE(fs::exists(bad));
}

// Every front-end ends its tool when it is stopped or killed, and a run whose tool was killed is
// never reported as a success.
TEST_F(MtoolsE2E, StoppedFrontEndsEndTheirToolAndKilledToolsFailTheRun) {
    const std::string big = MediaClip(".avi", 20);
    const std::string fifo = home_.Root() + "never-written.mkv";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::pair<std::vector<std::string>, std::string> runs[] = {
        // a large frame size keeps the encoder busy for a few seconds
        {{sys_ + "mcut.exe", "-cb", "qzv", big, "-vf", "scale=1280:720", "-ovc", "lavc",
          "-lavcopts", "vcodec=mpeg4:vbitrate=4800", "-nosound", "-o", out_ + "slow.wmv"},
         "ffmpeg"},
        // -re: the encoder front-end reads the input at its own pace
        {{sys_ + "fcut.exe", "-cb", "-re", "-i", big, "-vcodec", "libx264", "-y",
          out_ + "slow.mp4"},
         "ffmpeg"},
        // mkvmerge waits for a pipe nobody writes: it only ends when stopped
        {{tools_ + "mmerge.exe", fifo, "+" + fifo, "-o", out_ + "x.mkv"}, "mkvmerge"}};
    for (const auto& [target, sig] : {std::pair{"front-end", SIGTERM}, {"front-end", SIGKILL},
                                      {"tool", SIGKILL}}) {
        for (const auto& [argv, tool] : runs) {
            SCOPED_TRACE(argv[0] + " " + target + " signal " + std::to_string(sig));
            Started run = StartInBackground(argv, home_.Root() + "frontend.log");
            pid_t child = -1;
            for (const auto& [pid, comm] : WaitForTool(run.pid, tool))
                if (comm == tool) child = pid;
            ASSERT_GT(child, 0) << run.Output();
            ::kill(target == std::string("tool") ? child : run.pid, sig);
            EXPECT_TRUE(PollUntil([&] { return !Alive(child); }, 1000));
            EXPECT_EQ(run.Wait(), 128 + sig) << run.Output();
        }
        if (sig == SIGTERM) {
            EXPECT_TRUE(fs::is_empty(out_)) << "partial output or work file left";
        }
    }
}

TEST_F(FcutE2E, AudioTheContainerCannotHoldIsReEncodedWithWholeSecondProgress) {
    const std::string out = out_ + "a-Partial.vob";
    const CliRun r = RunCommand(fcut_ + " -threads 6  -ss 00:00:01.000 -t 2  -async 1 -i " +
                                Q(src_) + "  -s 160x120  -vcodec mpeg2video  -acodec aac -ac 2  "
                                "-ar 44100  -ab 96k   -qscale 3  -y " + Q(out));
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("cannot hold aac audio"), std::string::npos) << r.output;
    const MediaFacts f = ProbeMedia(out);
    EXPECT_EQ(f.acodec, "ac3");
    EXPECT_NEAR(f.duration, 2, 1.0);
    // Every "time=" is whole seconds at the end of its chunk: what the progress parser reads.
    EXPECT_NE(r.output.find("time="), std::string::npos);
    EXPECT_EQ(std::regex_replace(r.output, std::regex("time=[0-9]+\r"), "").find("time="),
              std::string::npos) << r.output;
}

TEST_F(FcutE2E, FrameSaveAndWarmUp) {
    const std::string images = out_ + "z Save%Image/";
    fs::create_directories(images);
    const std::string image = images + "000001.500.jpg";
    const CliRun r =
        RunCommand(fcut_ + " -ss 00:00:01.500 -i " + Q(src_) + " -f image2 -vframes 1 -sameq " +
                   Q(image));
    EXPECT_EQ(r.status, 0) << r.output;
    const MediaFacts jpeg = ProbeMedia(image);
    EXPECT_EQ(jpeg.vcodec, "mjpeg");
    EXPECT_EQ(jpeg.frameSize, "160x120");
    const CliRun warm = RunCommand(fcut_ + " -i " + Q(BinDir() + "help/silent.mp3"));
    EXPECT_EQ(warm.status, 0) << warm.output;
    EXPECT_NE(warm.output.find("Audio: mp3"), std::string::npos) << warm.output;
}

TEST_F(FcutE2E, NothingToWriteFailsAndLeavesNoFile) {
    // An output that is the source itself is refused; the source stays whole.
    const std::string copy = out_ + "self.mp4";
    fs::copy_file(src_, copy);
    const CliRun self = RunCommand(fcut_ + " -i " + Q(copy) + "  -acodec aac -ac 2  -vcodec "
                                   "libx264 -vpre veryfast_firstpass  -crf 18  -y " + Q(copy));
    EXPECT_NE(self.status, 0) << self.output;
    EXPECT_EQ(ReadFileBytes(copy), ReadFileBytes(src_));

    // A start past the end: the summary the program takes for "nothing written", no file.
    const std::string late = " -ss 00:00:09.000 ";
    for (const auto& [path, tail] : std::vector<std::pair<std::string, std::string>>{
             {out_ + "late-Cut.mp4", " -t 2  -async 1 -i " + Q(src_) + "  -acodec copy  -vcodec copy -sn -y "},
             {out_ + "late.mp3", " -t 2  -i " + Q(src_) + " -vn -sn  -acodec libmp3lame -ab 128k -ac 2  -y "},
             {out_ + "late.jpg", " -i " + Q(src_) + " -f image2 -vframes 1 -sameq "}}) {
        const CliRun r = RunCommand(fcut_ + late + tail + Q(path));
        EXPECT_NE(r.output.find("video:0kB audio:0kB"), std::string::npos) << path << r.output;
        EXPECT_NE(r.status, 0);
        EXPECT_FALSE(fs::exists(path)) << path;
    }
}
