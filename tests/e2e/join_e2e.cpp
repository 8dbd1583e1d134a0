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
    std::string format; // ffprobe's format name of a valid output
    bool nosound = false;
};

void PrintTo(const Family& f, std::ostream* os) { *os << f.ext << (f.nosound ? " nosound" : ""); }

// One extension of each family and container (the others map onto these by name alone).
std::vector<Family> Families() {
    const std::string mp4 = "mov,mp4,m4a,3gp,3g2,mj2";
    return {{".avi", "avi"}, {".avi", "avi", true}, {".flv", "flv"}, {".mkv", "matroska,webm"},
            {".mp4", mp4},   {".mov", mp4},         {".3gp", mp4},   {".vob", "mpeg"},
            {".webm", "matroska,webm"}, {".mpg", "mpeg"}, {".wmv", "asf"}};
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

    TJoinListSnapshot MakeClips(const std::string& ext) {
        TJoinListSnapshot list;
        for (const int seconds : {2, 3, 2}) {
            const std::string name = std::string(1, char('a' + list.Rows.size())) + ext;
            fs::copy_file(MediaClip(ext, seconds), st.JoinFolder + name);
            list.Rows.push_back({name, GetFileSize64(st.JoinFolder + name), "160x120", "25", true});
        }
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
};

class JoinFamilies : public JoinRun, public ::testing::WithParamInterface<Family> {};

// Three clips of 2, 3 and 2 seconds; an AVI join also without its sound, which needs no
// normalising clip.
TEST_P(JoinFamilies, ThreeClipsBecomeOneFileOfTheSumOfTheirLengths) {
    const Family f = GetParam();
    auto list = MakeClips(f.ext);
    list.Nosound = f.nosound;
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
    EXPECT_EQ(facts.acodec.empty(), f.nosound);
    // the normalising clip in front of an AVI join is one frame long
    const bool norm = JoinFamilyOf(f.ext) == TJoinFamily::Avi && !f.nosound;
    EXPECT_NEAR(facts.duration, 7 + (norm ? 0.04 : 0.0), 3.0) << out;
    if (f.nosound) {
        EXPECT_FALSE(FileExists(st.ProgramFolder + "help/norm.avi"));
    }
    ASSERT_FALSE(host.memo.empty());
    EXPECT_EQ(host.memo.back().rfind(kJoinFinishedLog, 0), 0u) << host.memo.back();
    EXPECT_EQ(host.statuses.back(), "Status");
    // the sources stay where they were
    for (const auto& r : list.Rows)
        EXPECT_TRUE(FileExists(st.JoinFolder + r.Caption));
    if (f.ext != ".mpg") return;
    // A mencoder join counts its files in the status; the counter only climbs.
    const std::regex counter("Processing file #([123]) of 3");
    int last = 0;
    for (const auto& s : host.statuses) {
        std::smatch m;
        if (s.rfind("Processing file", 0) != 0) continue;
        ASSERT_TRUE(std::regex_match(s, m, counter)) << s;
        EXPECT_GE(std::stoi(m[1]), last) << s;
        last = std::stoi(m[1]);
    }
    EXPECT_NE(std::find(host.statuses.begin(), host.statuses.end(), "Processing file #1 of 3"),
              host.statuses.end());
    EXPECT_GE(last, 2);
    std::lock_guard<std::mutex> lock(runs.ProgressMutex());
    EXPECT_EQ(runs.Counters.JoinFilesDone, 3);
}

INSTANTIATE_TEST_SUITE_P(All, JoinFamilies, ::testing::ValuesIn(Families()),
                         [](const auto& info) {
                             return info.param.ext.substr(1) + (info.param.nosound ? "_nosound" : "");
                         });

} // namespace
