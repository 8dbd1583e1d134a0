// The cut through the real program: `trimora cut` with the installed front-ends and Debian's
// tools, on small clips of every container class the cut accepts.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/helpers.h"
#include "exec/startup_state.h"
#include "support/test_env.h"

namespace fs = std::filesystem;
using namespace trimora_test;

namespace {

const std::string kVideo = "-f lavfi -i testsrc=size=160x120:rate=25:duration=4,format=yuv420p ";
const std::string kSound = "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=4 ";

struct ClipClass {
    std::string name;  // file name in the clip cache
    std::string args;  // ffmpeg arguments that make it
};

// Keyframes every half second, so a stream copy cut lands near the asked range.
const std::vector<ClipClass> kClasses = {
    {"cv_c.flv", kVideo + kSound + "-c:v flv1 -g 12 -c:a libmp3lame -shortest"},
    {"cv_c.webm", kVideo + kSound + "-c:v libvpx -b:v 200k -g 12 -c:a libvorbis -shortest"},
    {"cv_c.mp4", kVideo + kSound + "-c:v libx264 -g 12 -c:a aac -shortest"},
    {"cv_c.m4v", kVideo + kSound + "-c:v libx264 -g 12 -c:a aac -shortest -f mp4"},
    {"cv_c.mov", kVideo + kSound + "-c:v libx264 -g 12 -c:a aac -shortest"},
    {"cv_c.avi", kVideo + kSound + "-c:v mpeg4 -g 12 -c:a libmp3lame -shortest"},
    {"cv_c.divx", kVideo + kSound + "-c:v mpeg4 -g 12 -c:a libmp3lame -shortest -f avi"},
    {"cv_c.mpg", kVideo + kSound + "-c:v mpeg1video -g 12 -c:a mp2 -shortest -f mpeg"},
    {"cv_c.mpeg", kVideo + kSound + "-c:v mpeg2video -g 12 -c:a mp2 -shortest -f mpeg"},
    {"cv_c.m2ts", kVideo + kSound + "-c:v libx264 -g 12 -c:a aac -shortest -f mpegts"},
    {"cv_c.vob", kVideo + kSound + "-c:v mpeg2video -g 12 -c:a ac3 -shortest -f vob"},
    {"cv_c.wmv", kVideo + kSound + "-c:v wmv2 -g 12 -c:a wmav2 -shortest -f asf"},
    {"cv_c.asf", kVideo + kSound + "-c:v wmv2 -g 12 -c:a wmav2 -shortest -f asf"},
    {"cv_c.mkv", kVideo + kSound + "-c:v libx264 -g 12 -c:a aac -shortest"},
    {"cv_C.MKV", kVideo + kSound + "-c:v libx264 -g 12 -c:a aac -shortest -f matroska"},
};

double Duration(const std::string& path) { return ProbeMedia(path).duration; }

class CutE2E : public ::testing::Test {
  protected:
    IsolatedHome home;
    std::string sys, out;

    void SetUp() override {
        sys = home.InstallTools();
        out = home.Root() + "out/";
        fs::create_directories(out);
    }

    CliRun Cut(const std::string& src, std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"cut", src, "--start", "00:00:01.000",
                                         "--end", "00:00:03.000", "--save-folder", out};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunTrimora(args);
    }

    void ExpectNoWorkParts() {
        for (const auto& name : FilesIn(sys + "qvcut"))
            EXPECT_EQ(trimora::ToLower(name).find("trim-00"), std::string::npos) << name;
    }
};

const ClipClass& ClassOf(const std::string& name) {
    for (const auto& c : kClasses)
        if (c.name == name) return c;
    throw std::runtime_error("no clip class " + name);
}

} // namespace

TEST_F(CutE2E, EveryClassCutsTheRangeAndLeavesTheSourceAlone) {
    for (const auto& c : kClasses) {
        SCOPED_TRACE(c.name);
        const std::string src = SampleClip(c.name, c.args);
        const std::string before = ReadFileBytes(src);
        const CliRun r = Cut(src);
        const std::string ext = c.name.substr(c.name.rfind('.'));
        const std::string base = c.name.substr(0, c.name.rfind('.'));
        const std::string expected = out + base + "-Cut" + ext;
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_EQ(r.Done(), expected) << r.output;
        if (!fs::exists(expected)) {
            ADD_FAILURE() << "no output: " << r.output;
            continue;
        }
        const std::string size = trimora::FormatFileSize(trimora::GetFileSize64(expected));
        EXPECT_NE(r.output.find("\nStatus: DONE " + size + "\n"), std::string::npos) << r.output;
        const MediaFacts f = ProbeMedia(expected);
        EXPECT_NEAR(f.duration, 2.0, 1.0) << r.output;
        EXPECT_FALSE(f.vcodec.empty());
        EXPECT_TRUE(ReadFileBytes(src) == before);
        ExpectNoWorkParts();
        fs::remove(expected);
    }
}

TEST_F(CutE2E, ASecondCutOfTheSameRangeIsNumbered) {
    for (const std::string ext : {".mp4", ".mkv"}) { // the encoder's and the splitter's way
        const std::string src = SampleClip("cv_c" + ext, ClassOf("cv_c" + ext).args);
        const CliRun first = Cut(src), second = Cut(src);
        EXPECT_EQ(first.Done(), out + "cv_c-Cut" + ext) << first.output;
        EXPECT_EQ(second.Done(), out + "cv_c-Cut01" + ext) << second.output;
        // The first output is untouched by the second cut.
        EXPECT_NEAR(Duration(out + "cv_c-Cut" + ext), 2.0, 1.0) << ext;
        EXPECT_NEAR(Duration(out + "cv_c-Cut01" + ext), 2.0, 1.0) << ext;
    }
}

TEST_F(CutE2E, DryRunPrintsTheMemoCommandAndRunsNothing) {
    const std::string src = SampleClip("cv_c.mp4", ClassOf("cv_c.mp4").args);
    const std::string threads = trimora::ThreadsOptionFor(trimora::GetProcessorCount());
    CliRun r = Cut(src, {"--dry-run"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, sys + "fcut.exe -cb " + threads + " -ss 00:00:01.000 -t 2  -async 1 -i \"" +
                            src + "\"  -acodec copy  -vcodec copy -sn -y \"" + out +
                            "cv_c-Cut.mp4\"\n");

    const std::string mkv = SampleClip("cv_C.MKV", ClassOf("cv_C.MKV").args);
    r = Cut(mkv, {"--dry-run", "--nosound"});
    EXPECT_EQ(r.output, sys + "qvcut/mmerge.exe  -o \"" + sys + "qvcut/trim.MKV\" \"" + mkv +
                            "\" --split timecodes:00:00:01.000,00:00:03.000\n");
    EXPECT_TRUE(FilesIn(out).empty());
    ExpectNoWorkParts();
}

TEST_F(CutE2E, NosoundCutHasNoAudio) {
    for (const std::string ext : {".mp4", ".wmv", ".avi"}) {
        const CliRun r = Cut(SampleClip("cv_c" + ext, ClassOf("cv_c" + ext).args), {"--nosound"});
        EXPECT_EQ(r.status, 0) << r.output;
        const MediaFacts f = ProbeMedia(out + "cv_c-Cut" + ext);
        EXPECT_EQ(f.acodec, "") << ext;
        EXPECT_FALSE(f.vcodec.empty()) << ext;
        EXPECT_NEAR(f.duration, 2.0, 1.0) << ext;
    }
}

TEST_F(CutE2E, ProbePrintsTheClipRecord) {
    const std::string src = SampleClip("cv_c.mp4", ClassOf("cv_c.mp4").args);
    const CliRun r = RunTrimora({"probe", src});
    EXPECT_EQ(r.status, 0) << r.output;
    for (const char* line : {"\nClipDuration: 4\n", "\nFrameSize: 160x120\n", "\nNoAudio: false\n"})
        EXPECT_NE(r.output.find(line), std::string::npos) << line << r.output;
    EXPECT_EQ(r.Done(), src);
}

TEST_F(CutE2E, MatroskaSplitterStopsEarlyWithTheMiddlePartWhole) {
    // Long enough that the splitter is still busy with the tail when the middle part is done.
    const std::string src =
        SampleClip("cv_long.mkv", "-f lavfi -i testsrc=size=160x120:rate=10:duration=120,format=yuv420p -f lavfi "
                                   "-i sine=duration=120 -c:v libx264 -preset ultrafast -g 5 "
                                   "-c:a aac -shortest");
    const CliRun r = RunTrimora({"cut", src, "--start", "00:00:02.000", "--end", "00:00:06.000",
                                 "--save-folder", out});
    EXPECT_EQ(r.Done(), out + "cv_long-Cut.mkv") << r.output;
    const MediaFacts f = ProbeMedia(out + "cv_long-Cut.mkv");
    EXPECT_NEAR(f.duration, 4.0, 1.0);
    EXPECT_EQ(f.format, "matroska,webm");
    ExpectNoWorkParts();
}
