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

} // namespace

// One clip of each container whose cut takes its own route or tool, with and without its sound.
TEST_F(CutE2E, EveryClassCutsTheRangeAndLeavesTheSourceAlone) {
    const std::pair<const char*, bool> classes[] = {
        {".flv", false}, {".webm", true}, {".mp4", true},   {".mov", false},
        {".avi", true},  {".mpg", true},  {".m2ts", true}, {".vob", true},
        {".wmv", true},  {".mkv", false}, {".MKV", true}};
    for (const auto& [ext, nosound] : classes) {
        SCOPED_TRACE(ext);
        const std::string src = MediaClip(ext, 4);
        const std::string before = ReadFileBytes(src);
        const CliRun r = Cut(src, nosound ? std::vector<std::string>{"--nosound"}
                                          : std::vector<std::string>{});
        const std::string expected = out + StemOf(src) + "-Cut" + ext;
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
        EXPECT_EQ(f.acodec.empty(), nosound) << f.acodec;
        EXPECT_TRUE(ReadFileBytes(src) == before);
        ExpectNoWorkParts();
        fs::remove(expected);
    }
}

TEST_F(CutE2E, ASecondCutOfTheSameRangeIsNumbered) {
    for (const std::string ext : {".mp4", ".mkv"}) { // the encoder's and the splitter's way
        const std::string src = MediaClip(ext, 4), stem = out + StemOf(src);
        const CliRun first = Cut(src), second = Cut(src);
        EXPECT_EQ(first.Done(), stem + "-Cut" + ext) << first.output;
        EXPECT_EQ(second.Done(), stem + "-Cut01" + ext) << second.output;
        // The first output is untouched by the second cut.
        EXPECT_NEAR(ProbeDuration(stem + "-Cut" + ext), 2.0, 1.0) << ext;
        EXPECT_NEAR(ProbeDuration(stem + "-Cut01" + ext), 2.0, 1.0) << ext;
    }
}

TEST_F(CutE2E, DryRunPrintsTheMemoCommandAndProbePrintsTheClipRecord) {
    const std::string src = MediaClip(".mp4", 4);
    const std::string threads = trimora::ThreadsOptionFor(trimora::GetProcessorCount());
    CliRun r = Cut(src, {"--dry-run"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, sys + "fcut.exe -cb " + threads + " -ss 00:00:01.000 -t 2  -async 1 -i \"" +
                            src + "\"  -acodec copy  -vcodec copy -sn -y \"" + out +
                            StemOf(src) + "-Cut.mp4\"\n");

    const std::string mkv = MediaClip(".MKV", 4);
    r = Cut(mkv, {"--dry-run", "--nosound"});
    EXPECT_EQ(r.output, sys + "qvcut/mmerge.exe  -o \"" + sys + "qvcut/trim.MKV\" --no-audio \"" +
                            mkv + "\" --split timecodes:00:00:01.000,00:00:03.000\n");
    EXPECT_TRUE(FilesIn(out).empty());
    ExpectNoWorkParts();

    r = RunTrimora({"probe", src});
    EXPECT_EQ(r.status, 0) << r.output;
    for (const char* line : {"\nClipDuration: 4\n", "\nFrameSize: 160x120\n", "\nNoAudio: false\n"})
        EXPECT_NE(r.output.find(line), std::string::npos) << line << r.output;
    EXPECT_EQ(r.Done(), src);
}

TEST_F(CutE2E, MatroskaSplitterStopsEarlyWithTheMiddlePartWhole) {
    // Long enough that the splitter is still busy with the tail when the middle part is done.
    const std::string src = MediaClip(".mkv", 120, "-r 10 -g 5");
    const CliRun r = RunTrimora({"cut", src, "--start", "00:00:02.000", "--end", "00:00:06.000",
                                 "--save-folder", out});
    EXPECT_EQ(r.Done(), out + StemOf(src) + "-Cut.mkv") << r.output;
    const MediaFacts f = ProbeMedia(out + StemOf(src) + "-Cut.mkv");
    EXPECT_NEAR(f.duration, 4.0, 1.0);
    EXPECT_EQ(f.format, "matroska,webm");
    ExpectNoWorkParts();
}
