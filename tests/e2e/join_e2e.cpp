// Joins of real generated clips through the real front-ends, for every format family: the run,
// its progress texts, its row, and the file it leaves behind.
#include "exec/startup_state.h"
#include "exec/tool_runs.h"
#include "jobs/join_run.h"
#include "support/run_host.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <regex>

using namespace trimora;
using namespace trimora_test;
namespace fs = std::filesystem;

namespace {

struct Family {
    std::string ext;    // of the clips and the output
    std::string args;   // ffmpeg arguments for a clip of %D seconds (lavfi sources)
    std::string format; // ffprobe's format name of a valid output
};

std::string ClipArgs(const std::string& pattern, int seconds, int tone) {
    std::string a = std::regex_replace(pattern, std::regex("%D"), std::to_string(seconds));
    return std::regex_replace(a, std::regex("%F"), std::to_string(tone));
}

const char* kSources = "-f lavfi -i testsrc=size=160x120:rate=25:duration=%D "
                       "-f lavfi -i sine=frequency=%F:sample_rate=44100:duration=%D ";

std::vector<Family> Families() {
    const std::string s = kSources;
    const std::string h264 = s + "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -ac 2 ";
    const std::string avi = s + "-c:v mpeg4 -q:v 5 -c:a libmp3lame -b:a 128k -ac 2 -f avi";
    const std::string mpg = s + "-c:v mpeg1video -q:v 5 -c:a mp2 -b:a 128k -ac 2 -f mpeg";
    const std::string vob = s + "-c:v mpeg2video -q:v 5 -c:a mp2 -b:a 128k -ac 2 -f vob";
    const std::string asf = s + "-c:v wmv2 -q:v 5 -c:a wmav2 -b:a 128k -ac 2 -f asf";
    const std::string mp4 = "mov,mp4,m4a,3gp,3g2,mj2";
    // One extension of each family and container (the others map onto these by name alone).
    return {
        {".avi", avi, "avi"},
        {".flv", s + "-c:v flv -q:v 5 -c:a libmp3lame -b:a 64k -ar 44100 -ac 2 -f flv", "flv"},
        {".mkv", h264 + "-f matroska", "matroska,webm"},
        {".mp4", h264 + "-f mp4", mp4},
        {".mov", h264 + "-f mov", mp4},
        {".3gp", h264 + "-f 3gp", mp4},
        {".vob", vob, "mpeg"},
        {".webm", s + "-c:v libvpx -deadline realtime -b:v 200k -c:a libvorbis -ac 2 -f webm",
         "matroska,webm"},
        {".mpg", mpg, "mpeg"},
        {".wmv", asf, "asf"},
    };
}

// A join folder named "Trip" with clips a, b, c of the family (2, 3 and 2 seconds), a save
// folder, the front-ends installed, and a program folder of the test's own (the AVI join writes
// its normalising clip there).
class JoinRun : public ::testing::Test {
  protected:
    void SetUp() override {
        home.InstallTools();
        SetUpStartupState(st);
        st.StartupDone = true;
        st.Mode = TMode::Join;
        st.ProgramFolder = home.Root() + "prog/";
        fs::create_directories(st.ProgramFolder + "help");
        fs::copy_file(BinDir() + "help/sample.avi", st.ProgramFolder + "help/sample.avi");
        st.JoinFolder = home.Root() + "Trip/";
        st.SaveJoinFolder = home.Root() + "out/";
        fs::create_directories(st.JoinFolder);
        fs::create_directories(st.SaveJoinFolder);
    }

    TJoinListSnapshot MakeClips(const Family& f, const std::vector<std::string>& patterns) {
        TJoinListSnapshot list;
        const int seconds[] = {2, 3, 2};
        for (size_t i = 0; i < patterns.size(); ++i) {
            const std::string name = std::string(1, char('a' + i)) + f.ext;
            const std::string key = "join-" + std::to_string(seconds[i]) + "s-" +
                                    std::to_string(std::hash<std::string>{}(patterns[i])) + f.ext;
            const std::string clip =
                SampleClip(key, ClipArgs(patterns[i], seconds[i], 300 + 200 * int(i)));
            fs::copy_file(clip, st.JoinFolder + name);
            list.Rows.push_back({name, GetFileSize64(st.JoinFolder + name), "160x120", "25", true});
        }
        expectedSeconds = 0;
        for (size_t i = 0; i < patterns.size(); ++i)
            expectedSeconds += seconds[i];
        return list;
    }

    // Starts the join as Start would and runs the "GUI thread" until its row is final.
    void Join(const TJoinListSnapshot& list) {
        st.BuildOnly = false;
        st.RunFailed = false;
        ASSERT_TRUE(JoinClips(list, runs, &monitor));
        ASSERT_TRUE(host.WaitForRow(st.JobCounter, std::chrono::seconds(120)))
            << "no result; memo: " << (host.memo.empty() ? "" : host.memo[0]);
    }

    IsolatedHome home;
    JobState st;
    RecordingRunHost host{true};
    TToolRuns runs{st, host};
    TJoinListFileMon monitor{JoinMonitorHost(runs)};
    double expectedSeconds = 0;
};

class JoinFamilies : public JoinRun, public ::testing::WithParamInterface<Family> {};

TEST_P(JoinFamilies, ThreeClipsBecomeOneFileOfTheSumOfTheirLengths) {
    const Family f = GetParam();
    const auto list = MakeClips(f, {f.args, f.args, f.args});
    Join(list);
    const auto& row = host.rows[st.JobCounter];
    const std::string out = st.SaveJoinFolder + "Trip-Joined" + f.ext;
    EXPECT_EQ(row.status, "DONE") << host.messageRow << "\n" << host.memo[0];
    EXPECT_EQ(row.path, out);
    ASSERT_TRUE(FileExists(out));
    EXPECT_EQ(row.size, GetFileSize64(out));
    const MediaFacts facts = ProbeMedia(out);
    EXPECT_EQ(facts.format, f.format);
    EXPECT_FALSE(facts.vcodec.empty());
    EXPECT_FALSE(facts.acodec.empty());
    // the normalising clip in front of an AVI join is one frame long
    const double extra = JoinFamilyOf(f.ext) == TJoinFamily::Avi ? 0.04 : 0.0;
    EXPECT_NEAR(facts.duration, expectedSeconds + extra, 3.0) << out;
    ASSERT_FALSE(host.memo.empty());
    EXPECT_EQ(host.memo.back().rfind(kJoinFinishedLog, 0), 0u) << host.memo.back();
    EXPECT_EQ(host.statuses.back(), "Status");
    // the sources stay where they were
    for (const auto& r : list.Rows)
        EXPECT_TRUE(FileExists(st.JoinFolder + r.Caption));
}

INSTANTIATE_TEST_SUITE_P(All, JoinFamilies, ::testing::ValuesIn(Families()),
                         [](const auto& info) { return info.param.ext.substr(1); });

TEST_F(JoinRun, MencoderJoinCountsItsFilesInTheStatus) {
    const Family f = Families()[8];
    ASSERT_EQ(f.ext, ".mpg");
    Join(MakeClips(f, {f.args, f.args, f.args}));
    EXPECT_EQ(host.rows[st.JobCounter].status, "DONE");
    // the counter only climbs, from the first file on
    const std::regex counter("Processing file #([123]) of 3");
    int last = 0;
    for (const auto& s : host.statuses) {
        std::smatch m;
        if (s.rfind("Processing file", 0) != 0) continue;
        ASSERT_TRUE(std::regex_match(s, m, counter)) << s;
        const int n = std::stoi(m[1]);
        EXPECT_GE(n, last) << s;
        last = n;
    }
    EXPECT_NE(std::find(host.statuses.begin(), host.statuses.end(), "Processing file #1 of 3"),
              host.statuses.end());
    EXPECT_GE(last, 2);
    std::lock_guard<std::mutex> lock(runs.ProgressMutex());
    EXPECT_EQ(runs.Counters.JoinFilesDone, 3);
}

TEST_F(JoinRun, AviJoinWithoutSoundSkipsTheNormalisingClip) {
    const Family f = Families()[0];
    auto list = MakeClips(f, {f.args, f.args, f.args});
    list.Nosound = true;
    Join(list);
    const std::string out = st.SaveJoinFolder + "Trip-Joined.avi";
    EXPECT_EQ(host.rows[st.JobCounter].status, "DONE");
    const MediaFacts facts = ProbeMedia(out);
    EXPECT_EQ(facts.acodec, "");
    EXPECT_NEAR(facts.duration, expectedSeconds, 3.0);
    EXPECT_FALSE(FileExists(st.ProgramFolder + "help/norm.avi"));
}

TEST_F(JoinRun, SplitterRefusesClipsOfDifferentCodecs) {
    const std::string h264 = std::string(kSources) + "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -ac 2 -f matroska";
    const auto list = MakeClips({".mkv", "", ""},
                                {h264, std::string(kSources) + "-c:v mpeg4 -q:v 5 -c:a libmp3lame -ac 2 -f matroska", h264});
    Join(list);
    EXPECT_EQ(host.rows[st.JobCounter].status, "FAILED");
    EXPECT_EQ(host.messageRow, kJoinFormatsDoNotMatch);
    EXPECT_EQ(host.statuses.back(), "Failed!");
    EXPECT_TRUE(fs::is_empty(st.SaveJoinFolder));
}

} // namespace
