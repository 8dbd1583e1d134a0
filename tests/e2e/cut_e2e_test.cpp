// The cut through the real program: `trimora cut` with the installed front-ends and Debian's
// tools, on small clips of every container class the cut accepts.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/helpers.h"
#include "support/test_env.h"

namespace fs = std::filesystem;
using namespace trimora_test;

namespace {

class CutE2E : public InstalledTools {
  protected:
    CliRun Cut(const std::string& src, std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"cut", src, "--start", "00:00:01.000",
                                         "--end", "00:00:03.000", "--save-folder", out_};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunTrimora(args);
    }
};

} // namespace

// One clip of each container whose cut takes its own route or tool, with and without its sound,
// each under a name that a shell or a quoting slip would misread.
TEST_F(CutE2E, EveryClassCutsTheRangeAndLeavesTheSourceAlone) {
    const std::pair<const char*, bool> classes[] = {
        {".flv", false}, {".webm", true}, {".mp4", true},   {".mov", false},
        {".avi", true},  {".mpg", true},  {".m2ts", true}, {".vob", true},
        {".wmv", true},  {".mkv", false}, {".MKV", true}};
    const std::string names[] = {"quote\"d", "back\\slash", "dollar $HOME", "semi;colon",
                                 "back`tick`", "new\nline", "-leading dash", std::string(180, 'n'),
                                 "bytes \xff\xfe", "all \"$(x)\"; `y` \\\"",
                                 "my \"best\" $HOME; rm -rf x"};
    for (int i = 0; i < 11; ++i) {
        const auto& [ext, nosound] = classes[i];
        SCOPED_TRACE(names[i] + ext);
        const std::string src = home_.Root() + names[i] + ext;
        fs::copy_file(MediaClip(ext, 4), src);
        const std::string before = ReadFileBytes(src);
        const CliRun r = Cut(src, nosound ? std::vector<std::string>{"--nosound"}
                                          : std::vector<std::string>{});
        const std::string expected = out_ + StemOf(src) + "-Cut" + ext;
        EXPECT_EQ(r.status, 0) << r.output;
        ASSERT_TRUE(r.output.ends_with("\nDONE " + expected + "\n")) << r.output;
        const std::string size = trimora::FormatFileSize(trimora::GetFileSize64(expected));
        EXPECT_NE(r.output.find("\nStatus: DONE " + size + "\n"), std::string::npos) << r.output;
        const MediaFacts f = ProbeMedia(expected);
        EXPECT_NEAR(f.duration, 2.0, 1.0) << r.output;
        EXPECT_FALSE(f.vcodec.empty());
        EXPECT_EQ(f.acodec.empty(), nosound) << f.acodec;
        EXPECT_TRUE(ReadFileBytes(src) == before);
        EXPECT_EQ(FilesIn(out_), std::vector<std::string>{expected.substr(out_.size())});
        fs::remove(expected);
    }
}

TEST_F(CutE2E, DryRunWritesNothingAndProbePrintsTheClipRecord) {
    const std::string mkv = MediaClip(".MKV", 4);
    CliRun r = Cut(mkv, {"--dry-run", "--nosound"});
    EXPECT_EQ(r.output, sys_ + "qvcut/mmerge.exe  -o \"" + sys_ + "qvcut/trim.MKV\" --no-audio \"" +
                            mkv + "\" --split timecodes:00:00:01.000,00:00:03.000\n");
    EXPECT_TRUE(FilesIn(out_).empty());

    const std::string src = MediaClip(".mp4", 4);
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
                                 "--save-folder", out_});
    EXPECT_EQ(r.Done(), out_ + StemOf(src) + "-Cut.mkv") << r.output;
    const MediaFacts f = ProbeMedia(out_ + StemOf(src) + "-Cut.mkv");
    EXPECT_NEAR(f.duration, 4.0, 1.0);
    EXPECT_EQ(f.format, "matroska,webm");
    EXPECT_EQ(FilesIn(out_), std::vector<std::string>{StemOf(src) + "-Cut.mkv"});
}
