// `trimora join` from a terminal, with the same builder, runner and front-ends as the window: real
// generated clips of every format family joined by the real tools.
#include "support/test_env.h"

#include "common/helpers.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace trimora_test;
namespace fs = std::filesystem;

namespace {

class JoinCli : public InstalledTools {
  protected:
    void SetUp() override { fs::create_directories(folder); }
    std::vector<std::string> Clips(const std::string& ext) {
        std::vector<std::string> paths;
        for (const int seconds : {2, 3, 2}) {
            paths.push_back(folder + std::string(1, char('a' + paths.size())) + ext);
            fs::copy_file(MediaClip(ext, seconds), paths.back());
        }
        return paths;
    }
    CliRun Run(std::vector<std::string> args) {
        args.insert(args.begin(), "join");
        return RunTrimora(args);
    }

    const std::string folder = home_.Root() + "Holiday Trip/";
};

struct Family {
    std::string ext;    // of the clips and the output
    std::string format; // ffprobe's format name of a valid output
    bool nosound = false;
};
void PrintTo(const Family& f, std::ostream* os) { *os << f.ext << (f.nosound ? " nosound" : ""); }

class JoinFamilies : public JoinCli, public ::testing::WithParamInterface<Family> {};

// One extension of each family and container (the others map onto these by name alone); an AVI
// join also without its sound, which needs no normalising clip.
TEST_P(JoinFamilies, ThreeClipsBecomeOneFileOfTheSumOfTheirLengths) {
    const Family f = GetParam();
    const auto clips = Clips(f.ext);
    std::vector<std::string> args = {clips[0], clips[1], clips[2], "--save-folder", out_};
    if (f.nosound) args.push_back("--nosound");
    const CliRun r = Run(args);
    const std::string out = out_ + "Holiday Trip-Joined" + f.ext;
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.Done(), out);
    const MediaFacts facts = ProbeMedia(out);
    EXPECT_EQ(facts.format, f.format);
    EXPECT_FALSE(facts.vcodec.empty());
    EXPECT_EQ(facts.acodec.empty(), f.nosound);
    EXPECT_NEAR(facts.duration, 7.0, 3.0);
    // the sources stay as they were, with nothing beside them
    EXPECT_EQ(FilesIn(folder), (std::vector<std::string>{"a" + f.ext, "b" + f.ext, "c" + f.ext}));
}

const std::string kMp4 = "mov,mp4,m4a,3gp,3g2,mj2";
INSTANTIATE_TEST_SUITE_P(
    All, JoinFamilies,
    ::testing::Values(Family{".avi", "avi"}, Family{".avi", "avi", true}, Family{".flv", "flv"},
                      Family{".mkv", "matroska,webm"}, Family{".mp4", kMp4}, Family{".mov", kMp4},
                      Family{".3gp", kMp4}, Family{".vob", "mpeg"},
                      Family{".webm", "matroska,webm"}, Family{".mpg", "mpeg"},
                      Family{".wmv", "asf"}),
    [](const auto& info) {
        return info.param.ext.substr(1) + (info.param.nosound ? "_nosound" : "");
    });

TEST_F(JoinCli, DryRunJoinsInTheOrderGivenAndRunsNothing) {
    const auto clips = Clips(".mkv");
    // c, a, b: the order given is the order joined; the memo's command is printed, nothing runs
    const CliRun dry = Run({clips[2], clips[0], clips[1], "--save-folder", out_, "--dry-run"});
    EXPECT_EQ(dry.status, 0);
    EXPECT_EQ(dry.output, sys_ + "qvcut/mmerge.exe  \"" + clips[2] + "\" +\"" + clips[0] +
                              "\" +\"" + clips[1] + "\"  -o \"" + out_ +
                              "Holiday Trip-Joined.mkv\"\n" +
                              "Total File = 3 Total Size = " +
                              trimora::FormatFileSize(trimora::GetFileSize64(clips[0]) +
                                                      trimora::GetFileSize64(clips[1]) +
                                                      trimora::GetFileSize64(clips[2])) +
                              " NormSize = \n");
    EXPECT_TRUE(fs::is_empty(out_));

    // An AVI join probes the first clip for the size of its normalising clip.
    const auto avis = Clips(".avi");
    const CliRun avi = Run({avis[0], avis[1], avis[2], "--dry-run"});
    EXPECT_EQ(avi.status, 0) << avi.output;
    EXPECT_NE(avi.output.find("NormSize = -vf scale=160:120\n"), std::string::npos) << avi.output;
}

TEST_F(JoinCli, RefusalsAndFailures) {
    const auto clips = Clips(".mp4");
    CliRun r = Run({clips[0]});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.output.find("Please select atleast 2 files in list to join !"), std::string::npos);
    EXPECT_EQ(Run({clips[0], home_.Root() + "nothere.mp4"}).status, 2);
    fs::create_directories(home_.Root() + "other"); // clips of two folders
    fs::copy_file(clips[1], home_.Root() + "other/b.mp4");
    EXPECT_EQ(Run({clips[0], home_.Root() + "other/b.mp4"}).status, 2);

    // an mp4 with other codecs cannot be appended
    fs::copy_file(MediaClip(".mp4", 2, "-c:v mpeg4 -c:a libmp3lame"), folder + "z.mp4");
    r = Run({clips[0], folder + "z.mp4", "--save-folder", out_});
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_EQ(r.LastLine().rfind("FAILED FAILED! FILE FORMATS DO NOT MATCH.", 0), 0u) << r.output;
    EXPECT_TRUE(fs::is_empty(out_));
}

} // namespace
