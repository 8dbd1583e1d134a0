// The join run with stand-in tools (small shell scripts): the order of the normalising clip and
// the join, the failure texts, the counters the monitor shows, and the rows and logs at the end.
#include "exec/tool_runs.h"
#include "jobs/join_run.h"
#include "support/run_host.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace trimora;
namespace fs = std::filesystem;

namespace {

// Writes an executable script; its -o argument is the file it makes.
void Script(const std::string& path, const std::string& body) {
    std::ofstream(path) << "#!/bin/sh\nout=\nprev=\nfor a in \"$@\"; do [ \"$prev\" = -o ] && "
                           "out=\"$a\"; prev=\"$a\"; done\n"
                        << body;
    fs::permissions(path, fs::perms::owner_all);
}

class JoinRunFake : public ::testing::Test {
  protected:
    void SetUp() override {
        root = home.Root();
        st.StartupDone = true;
        st.Mode = TMode::Join;
        st.ProgramFolder = root;
        st.JoinFolder = root + "Trip/";
        st.SaveJoinFolder = root + "out/";
        fs::create_directories(st.JoinFolder);
        fs::create_directories(st.SaveJoinFolder);
        st.MencoderCommand = root + "mcut.sh -cb qzv ";
        st.MmergeCommand = root + "mmerge.sh ";
        st.FmergeCommand = root + "fmerge.sh ";
        st.BuildOnly = false;
    }
    TJoinListSnapshot Clips(const std::string& ext, int n = 3) {
        TJoinListSnapshot list;
        for (int i = 0; i < n; ++i) {
            const std::string name = std::string(1, char('a' + i)) + ext;
            std::ofstream(st.JoinFolder + name) << "clip";
            list.Rows.push_back({name, 4, "160x120", "25", true});
        }
        return list;
    }

    trimora_test::IsolatedHome home;
    std::string root;
    JobState st;
    trimora_test::RecordingRunHost host{true};
    TToolRuns runs{st, host};
};

TEST_F(JoinRunFake, AviJoinStartsOnceTheNormalisingClipIsComplete) {
    // The stand-in mencoder takes its time over the normalising clip; the join refuses to run
    // without it and counts three files of progress.
    Script(
        root + "mcut.sh",
        "case \"$*\" in *sample.avi*) sleep 0.6; echo norm > \"$out\"; exit 0;; esac\n"
        "for a in \"$@\"; do case \"$a\" in *norm.avi) [ -s \"$a\" ] || exit 3;; esac; done\n"
            "for f in 1 2 3; do for p in 10 60 99 100; do printf 'Pos: %d.0s  %df ( 1%%) =%d\\r' "
            "$f $f $p; sleep 0.02; done; done\n"
            "echo joined > \"$out\"\n");
    fs::create_directories(root + "help");
    TJoinListFileMon monitor(JoinMonitorHost(runs), std::chrono::milliseconds(5));
    ASSERT_TRUE(JoinClips(Clips(".avi"), runs, &monitor));
    EXPECT_TRUE(monitor.IsWorkerRunning());
    ASSERT_TRUE(host.WaitForRow(st.JobCounter));
    const auto& row = host.rows[st.JobCounter];
    EXPECT_EQ(row.status, "DONE");
    EXPECT_EQ(row.path, st.SaveJoinFolder + "Trip-Joined.avi");
    EXPECT_EQ(row.size, 7);
    ASSERT_GE(host.memo.size(), 5u);
    EXPECT_EQ(host.memo[3], kNormalizedDoneLog);
    EXPECT_EQ(host.memo[4].rfind(kJoinFinishedLog, 0), 0u);
    EXPECT_EQ(host.statuses.back(), "Status");
    EXPECT_TRUE(st.BuildOnly);
    std::lock_guard<std::mutex> lock(runs.ProgressMutex());
    EXPECT_EQ(runs.Counters.JoinFilesDone, 3);
}

TEST_F(JoinRunFake, NormalisingClipFailureFailsTheJoinWithoutRunningIt) {
    Script(root + "mcut.sh", "case \"$*\" in *sample.avi*) exit 1;; esac\ntouch '" + root +
                                 "joined-ran'\necho x > \"$out\"\n");
    ASSERT_TRUE(JoinClips(Clips(".divx"), runs, nullptr));
    ASSERT_TRUE(host.WaitForRow(st.JobCounter));
    EXPECT_EQ(host.rows[st.JobCounter].status, "FAILED");
    EXPECT_FALSE(FileExists(root + "joined-ran"));
    EXPECT_FALSE(FileExists(st.SaveJoinFolder + "Trip-Joined.divx"));
    EXPECT_EQ(host.statuses.back(), "Failed!");
}

TEST_F(JoinRunFake, CannotBeAppendedFailsASplitterJoinAndRemovesItsOutput) {
    // exits 0 and leaves a file: the text alone decides
    Script(root + "mmerge.sh", "echo 'Progress: 40%'\necho partial > \"$out\"\n"
                               "echo \"Error: The file no. 1 ('b') cannot be appended to file "
                               "no. 0 ('a').\"\nexit 0\n");
    for (const std::string ext : {".mkv", ".webm", ".3gp"}) {
        ASSERT_TRUE(JoinClips(Clips(ext), runs, nullptr));
        ASSERT_TRUE(host.WaitForRow(st.JobCounter));
        EXPECT_EQ(host.rows[st.JobCounter].status, "FAILED") << ext;
        EXPECT_EQ(host.rows[st.JobCounter].size, 1) << ext;
        EXPECT_EQ(host.messageRow, kJoinFormatsDoNotMatch) << ext;
        EXPECT_FALSE(FileExists(st.SaveJoinFolder + "Trip-Joined" + ext)) << ext;
        EXPECT_EQ(host.memo.back().rfind(kJoinFinishedLog, 0), std::string::npos);
    }
}

TEST_F(JoinRunFake, ToolThatFailsOrCannotStartGivesFailed) {
    Script(root + "fmerge.sh", "echo broken > \"$1\"; exit 2\n");
    ASSERT_TRUE(JoinClips(Clips(".flv"), runs, nullptr));
    ASSERT_TRUE(host.WaitForRow(st.JobCounter));
    EXPECT_EQ(host.rows[st.JobCounter].status, "FAILED");
    EXPECT_FALSE(FileExists(st.SaveJoinFolder + "Trip-Joined.flv"));

    st.MmergeCommand = root + "missing.exe ";
    ASSERT_TRUE(JoinClips(Clips(".mp4"), runs, nullptr));
    ASSERT_TRUE(host.WaitForRow(st.JobCounter));
    EXPECT_EQ(host.rows[st.JobCounter].status, "FAILED");
    EXPECT_TRUE(st.BuildOnly);
}

TEST_F(JoinRunFake, FormatNoToolJoinsFailsAtOnce) {
    const int before = st.JobCounter;
    EXPECT_FALSE(JoinClips(Clips(".txt"), runs, nullptr));
    EXPECT_EQ(st.JobCounter, before + 1);
    EXPECT_EQ(host.rows[st.JobCounter].status, "FAILED");
    EXPECT_EQ(host.statuses.back(), "Failed!");
    EXPECT_TRUE(st.BuildOnly);
}

} // namespace
