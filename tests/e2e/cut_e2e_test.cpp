// The cut through the real program: `trimora cut` with the installed front-ends and Debian's
// tools, on small clips of every container class the cut accepts.
#include <gtest/gtest.h>

#include <algorithm>
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

struct CutRun {
    int status = -1;
    std::string output;
    std::vector<std::string> lines;
    std::string Last() const { return lines.empty() ? "" : lines.back(); }
};

class CutE2E : public ::testing::Test {
  protected:
    IsolatedHome home;
    std::string sys, out;

    void SetUp() override {
        sys = home.InstallTools();
        out = home.Root() + "out/";
        fs::create_directories(out);
    }

    CutRun Cut(const std::string& src, const std::string& start, const std::string& end,
               std::vector<std::string> extra = {}) {
        std::vector<std::string> argv = {BinDir() + "trimora", "cut", src, "--start", start,
                                         "--end", end, "--save-folder", out};
        argv.insert(argv.end(), extra.begin(), extra.end());
        CutRun r;
        r.output = RunProgram(argv, &r.status);
        r.lines = SplitLines(r.output);
        return r;
    }

    // A private copy of a cached clip under a new name.
    std::string CopyOf(const ClipClass& c, const std::string& name) {
        const std::string dir = home.Root() + "src/";
        fs::create_directories(dir);
        fs::copy_file(SampleClip(c.name, c.args), dir + name);
        return dir + name;
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
        const CutRun r = Cut(src, "00:00:01.000", "00:00:03.000");
        const std::string ext = c.name.substr(c.name.rfind('.'));
        const std::string base = c.name.substr(0, c.name.rfind('.'));
        const std::string expected = out + base + "-Cut" + ext;
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_EQ(r.Last(), "DONE " + expected) << r.output;
        if (!fs::exists(expected)) {
            ADD_FAILURE() << "no output: " << r.output;
            continue;
        }
        const std::string size = trimora::FormatFileSize(trimora::GetFileSize64(expected));
        EXPECT_NE(std::find(r.lines.begin(), r.lines.end(), "Status: DONE " + size), r.lines.end())
            << r.output;
        const double d = Duration(expected);
        EXPECT_NEAR(d, 2.0, 1.0) << r.output;
        EXPECT_FALSE(ProbeMedia(expected).vcodec.empty());
        EXPECT_TRUE(ReadFileBytes(src) == before);
        ExpectNoWorkParts();
        fs::remove(expected);
    }
}

TEST_F(CutE2E, ASecondCutOfTheSameRangeIsNumbered) {
    for (const char* name : {"cv_c.mp4", "cv_c.mkv"}) {
        SCOPED_TRACE(name);
        const std::string src = SampleClip(name, ClassOf(name).args);
        const std::string ext = std::string(name).substr(std::string(name).rfind('.'));
        const CutRun first = Cut(src, "00:00:01.000", "00:00:03.000");
        const CutRun second = Cut(src, "00:00:01.000", "00:00:03.000");
        EXPECT_EQ(first.Last(), "DONE " + out + "cv_c-Cut" + ext) << first.output;
        EXPECT_EQ(second.Last(), "DONE " + out + "cv_c-Cut01" + ext) << second.output;
        // The first output is untouched by the second cut.
        EXPECT_NEAR(Duration(out + "cv_c-Cut" + ext), 2.0, 1.0);
        EXPECT_NEAR(Duration(out + "cv_c-Cut01" + ext), 2.0, 1.0);
        fs::remove(out + "cv_c-Cut" + ext);
        fs::remove(out + "cv_c-Cut01" + ext);
    }
}

TEST_F(CutE2E, AHostileFileNameWritesOnlyTheExpectedOutput) {
    for (const char* cls : {"cv_c.mp4", "cv_c.mkv", "cv_c.wmv"}) {
        SCOPED_TRACE(cls);
        const std::string ext = std::string(cls).substr(std::string(cls).rfind('.'));
        const std::string name = "my \"best\" $HOME; rm -rf x" + ext;
        const std::string src = CopyOf(ClassOf(cls), name);
        const std::string before = ReadFileBytes(src);
        fs::create_directories(home.Root() + ".cache"); // the jobs' work folders go there
        const auto homeBefore = FilesIn(home.Root());
        const CutRun r = Cut(src, "00:00:01.000", "00:00:03.000");
        EXPECT_EQ(r.status, 0) << r.output;
        const std::string expected = "my \"best\" $HOME; rm -rf x-Cut" + ext;
        EXPECT_EQ(r.Last(), "DONE " + out + expected) << r.output;
        EXPECT_EQ(FilesIn(out), std::vector<std::string>{expected});
        EXPECT_EQ(FilesIn(home.Root() + "src/"), std::vector<std::string>{name});
        EXPECT_EQ(FilesIn(home.Root()), homeBefore);
        EXPECT_TRUE(ReadFileBytes(src) == before);
        EXPECT_NEAR(Duration(out + expected), 2.0, 1.0);
        fs::remove(out + expected);
        fs::remove(src);
    }
}

TEST_F(CutE2E, DryRunPrintsTheMemoCommandAndRunsNothing) {
    const std::string src = SampleClip("cv_c.mp4", ClassOf("cv_c.mp4").args);
    const std::string threads = trimora::ThreadsOptionFor(trimora::GetProcessorCount());
    CutRun r = Cut(src, "00:00:01.000", "00:00:03.000", {"--dry-run"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, sys + "fcut.exe -cb " + threads + " -ss 00:00:01.000 -t 2  -async 1 -i \"" +
                            src + "\"  -acodec copy  -vcodec copy -sn -y \"" + out +
                            "cv_c-Cut.mp4\"\n");

    const std::string mkv = SampleClip("cv_C.MKV", ClassOf("cv_C.MKV").args);
    r = Cut(mkv, "00:00:01.000", "00:00:03.000", {"--dry-run", "--nosound"});
    EXPECT_EQ(r.output, sys + "qvcut/mmerge.exe  -o \"" + sys + "qvcut/trim.MKV\" \"" + mkv +
                            "\" --split timecodes:00:00:01.000,00:00:03.000\n");
    EXPECT_TRUE(FilesIn(out).empty());
    ExpectNoWorkParts();
}

TEST_F(CutE2E, NosoundCutHasNoAudio) {
    for (const std::string ext : {".mp4", ".wmv", ".avi"}) {
        const CutRun r = Cut(SampleClip("cv_c" + ext, ClassOf("cv_c" + ext).args), "00:00:01.000",
                             "00:00:03.000", {"--nosound"});
        EXPECT_EQ(r.status, 0) << r.output;
        const MediaFacts f = ProbeMedia(out + "cv_c-Cut" + ext);
        EXPECT_EQ(f.acodec, "") << ext;
        EXPECT_FALSE(f.vcodec.empty()) << ext;
        EXPECT_NEAR(f.duration, 2.0, 1.0) << ext;
    }
}

TEST_F(CutE2E, ProbePrintsTheClipRecord) {
    const std::string src = SampleClip("cv_c.mp4", ClassOf("cv_c.mp4").args);
    int status = -1;
    const std::string text = RunProgram({BinDir() + "trimora", "probe", src}, &status);
    EXPECT_EQ(status, 0) << text;
    const auto lines = SplitLines(text);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "ClipDuration: 4"), lines.end()) << text;
    EXPECT_NE(std::find(lines.begin(), lines.end(), "FrameSize: 160x120"), lines.end()) << text;
    EXPECT_NE(std::find(lines.begin(), lines.end(), "NoAudio: false"), lines.end()) << text;
    EXPECT_EQ(lines.back(), "DONE " + src);

    const std::string junk = home.Root() + "junk.mp4";
    WriteFileBytes(junk, std::string(4096, 'j'));
    const std::string bad = RunProgram({BinDir() + "trimora", "probe", junk}, &status);
    EXPECT_EQ(status, 1) << bad;
    EXPECT_EQ(SplitLines(bad).back().rfind("FAILED ", 0), 0u) << bad;
}

TEST_F(CutE2E, MatroskaSplitterStopsEarlyWithTheMiddlePartWhole) {
    // Long enough that the splitter is still busy with the tail when the middle part is done.
    const std::string src =
        SampleClip("cv_long.mkv", "-f lavfi -i testsrc=size=160x120:rate=10:duration=120,format=yuv420p -f lavfi "
                                   "-i sine=duration=120 -c:v libx264 -preset ultrafast -g 5 "
                                   "-c:a aac -shortest");
    const CutRun r = Cut(src, "00:00:02.000", "00:00:06.000");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.Last(), "DONE " + out + "cv_long-Cut.mkv") << r.output;
    const MediaFacts f = ProbeMedia(out + "cv_long-Cut.mkv");
    EXPECT_NEAR(f.duration, 4.0, 1.0);
    EXPECT_EQ(f.format, "matroska,webm");
    ExpectNoWorkParts();
}
