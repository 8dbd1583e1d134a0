// The join: the command of every family byte for byte, the file list it is made of, and the ways
// a run fails, with stand-in tools (small shell scripts). Successful joins of every family run
// with the real tools in join_cli_e2e and the window's join test.
#include "jobs/join.h"
#include "jobs/join_run.h"

#include "common/command_line.h"
#include "exec/tool_runs.h"
#include "support/run_host.h"
#include "support/test_env.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using namespace trimora;
namespace fs = std::filesystem;

namespace {

class JoinFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        root = home.Root();
        clips = root + "Trip/";
        save = root + "out/";
        fs::create_directories(clips);
        fs::create_directories(save);
        st.StartupDone = true;
        st.BuildOnly = false;
        st.Mode = TMode::Join;
        st.ProgramFolder = root;
        st.JoinFolder = clips;
        st.SaveJoinFolder = save;
        st.MencoderCommand = root + "mcut.sh -cb qzv ";
        st.MmergeCommand = root + "mmerge.sh ";
        st.FmergeCommand = root + "fmerge.sh ";
        st.LavcThreadsOption = ":threads=2";
    }
    // Ticked rows a, b, c... of 1000, 1001... bytes; the files exist.
    TJoinListSnapshot Clips(const std::string& ext, int n = 3) {
        TJoinListSnapshot list;
        for (int i = 0; i < n; ++i) {
            const std::string name = std::string(1, char('a' + i)) + ext;
            std::ofstream(clips + name) << "clip";
            list.Rows.push_back({name, 1000 + i, "160x120", "25", true});
        }
        return list;
    }
    std::string Q(const std::string& name) { return "\"" + clips + name + "\""; }
    // A stand-in tool; $out is its -o argument.
    void Script(const std::string& name, const std::string& body) {
        std::ofstream(root + name) << "#!/bin/sh\nout=\nprev=\nfor a in \"$@\"; do [ \"$prev\" = "
                                      "-o ] && out=\"$a\"; prev=\"$a\"; done\n"
                                   << body;
        fs::permissions(root + name, fs::perms::owner_all);
    }
    std::string Run(const TJoinListSnapshot& list) {
        EXPECT_TRUE(JoinClips(list, runs, nullptr));
        EXPECT_TRUE(host.WaitForRow(st.JobCounter));
        return host.rows[st.JobCounter].status;
    }

    trimora_test::IsolatedHome home;
    std::string root, clips, save;
    JobState st;
    trimora_test::RecordingRunHost host{true};
    TToolRuns runs{st, host};
};

TEST_F(JoinFixture, EveryFamilyAndItsNosoundForm) {
    const std::string M = root + "mcut.sh -cb qzv ";
    const std::string lame = "  -mc 0 -ovc copy -oac mp3lame -lameopts cbr:br=128 -srate 44100";
    // extensions, what joins them (0 fmerge, 1 mencoder, 2 splitter), the blank or " +" between
    // the names -> command and its Cut Nosound form ("": the same); @ is the quoted names, #
    // the output
    struct Row {
        const char* exts;
        int tool;
        std::string between, normal, nosound;
    };
    const Row rows[] = {
        {".mp4 .mkv .m4v .mov .3gp .vob .webm", 2, " +", root + "mmerge.sh  @  -o \"#\"", ""},
        {".flv", 0, " ", root + "fmerge.sh  \"#\" @ ", ""},
        {".mpg .mpeg", 1, " ", M + " @" + lame + " -o \"#\"",
         M + " -forceidx -nosound -ovc copy @  -o \"#\""},
        {".wmv .asf", 1, " ",
         M + "  -mc 0 -delay 0.7 -oac lavc -lavcopts acodec=wmav2:abitrate=128:threads=2 "
             "-srate 44100 -ovc copy -o \"#\" @ ",
         M + "  -nosound -ovc copy -o \"#\" @ "},
        // the normalising clip goes in front, but not without sound
        {".avi .divx", 1, " ", M + "\"" + root + "help/norm.avi\" @" + lame + " -o \"#\"",
         M + " -forceidx -nosound -ovc copy @  -o \"#\""},
    };
    for (const Row& r : rows) {
        std::istringstream exts(r.exts);
        for (std::string ext; exts >> ext;) {
            auto list = Clips(ext);
            const std::string names =
                Q("a" + ext) + r.between + Q("b" + ext) + r.between + Q("c" + ext);
            for (const std::string& want : {r.normal, r.nosound.empty() ? r.normal : r.nosound}) {
                std::string cmd = want;
                cmd.replace(cmd.find('@'), 1, names);
                cmd.replace(cmd.find('#'), 1, save + "Trip-Joined" + ext);
                EXPECT_EQ(BuildJoinCommand(list, st).Command, cmd) << ext;
                EXPECT_EQ(st.JoinByMencoder + 2 * st.JoinByMerge, r.tool) << ext;
                list.Nosound = true;
            }
        }
    }
}

TEST_F(JoinFixture, FileListAndOutputName) {
    TJoinListSnapshot list;
    list.Rows = {{"a.avi", 10, "", "", true},
                 {"b.divx", 20, "", "", false},
                 {"c.avi", 30, "", "", true},
                 {"d.avi", 40, "", "", true}};
    // unticked rows are left out; the extension is the second row's, or avi without a point
    BuildJoinCommand(list, st);
    EXPECT_EQ(st.JoinExt + " " + st.JoinCountText + " " + std::to_string(st.JoinTotalSize),
              ".divx 3 80");
    EXPECT_EQ(st.JoinFileList, Q("a.avi") + " " + Q("c.avi") + " " + Q("d.avi") + " ");
    EXPECT_EQ(st.OutputFile, save + "Trip-Joined.divx");
    for (const auto& [caption, ext] : {std::pair{"b", ".b"}, {"b.", ".avi"}}) {
        list.Rows[1].Caption = caption;
        BuildJoinCommand(list, st);
        EXPECT_EQ(st.JoinExt, ext);
    }

    // An existing output is never the target; a missing save folder falls back to the clips'.
    const auto mkv = Clips(".mkv", 2);
    std::ofstream(save + "Trip-Joined.mkv") << "x";
    BuildJoinCommand(mkv, st);
    EXPECT_EQ(st.JoinedOutput, save + "Trip-Joined01.mkv");
    st.SaveJoinFolder = root + "gone/";
    BuildJoinCommand(mkv, st);
    EXPECT_EQ(st.SaveJoinFolder + "|" + st.JoinedOutput, clips + "|" + clips + "Trip-Joined.mkv");
    st.JoinFolder = "/";
    BuildJoinCommand(mkv, st);
    EXPECT_EQ(st.JoinBaseName, "File");
}

TEST_F(JoinFixture, NothingToJoinGivesNoCommand) {
    auto list = Clips(".mp4");
    list.Rows[1].Checked = list.Rows[2].Checked = false;
    const auto r = BuildJoinCommand(list, st);
    EXPECT_TRUE(r.Command.empty() && r.MemoLines.empty());
    EXPECT_EQ(st.JoinCountText + std::to_string(st.JoinTotalSize), "0");
    // nor another page of the window, or no row highlighted
    list.Rows[1].Checked = true;
    list.JoinPageShowing = false;
    EXPECT_TRUE(BuildJoinCommand(list, st).Command.empty());
    list.JoinPageShowing = true;
    list.HasSelection = false;
    EXPECT_TRUE(BuildJoinCommand(list, st).Command.empty());
}

TEST_F(JoinFixture, HostileNamesStayOneArgumentEach) {
    TJoinListSnapshot list;
    list.Rows = {{"a \"q\" $HOME;x.mkv", 1, "", "", true}, {"-b\\\".mkv", 2, "", "", true}};
    const auto args = SplitCommandLine(BuildJoinCommand(list, st).Command);
    // the splitter reads "+name" as "append"
    EXPECT_EQ(args, (std::vector<std::string>{root + "mmerge.sh", clips + "a \"q\" $HOME;x.mkv",
                                              "+" + clips + "-b\\\".mkv", "-o",
                                              save + "Trip-Joined.mkv"}));
}

TEST_F(JoinFixture, FailedRunsLeaveNoOutput) {
    // the normalising clip fails: the join never runs
    Script("mcut.sh", "case \"$*\" in *sample.avi*) exit 1;; esac\ntouch '" + root +
                          "joined-ran'\necho x > \"$out\"\n");
    EXPECT_EQ(Run(Clips(".divx")), "FAILED");
    EXPECT_FALSE(FileExists(root + "joined-ran"));
    EXPECT_EQ(host.statuses.back(), "Failed!");
    // the splitter exits 0 and leaves a file: the text alone decides
    Script("mmerge.sh", "echo 'Progress: 40%'\necho partial > \"$out\"\necho \"Error: The file "
                        "no. 1 ('b') cannot be appended to file no. 0 ('a').\"\nexit 0\n");
    EXPECT_EQ(Run(Clips(".webm")), "FAILED");
    EXPECT_EQ(host.rows[st.JobCounter].size, 1);
    EXPECT_EQ(host.messageRow, kJoinFormatsDoNotMatch);
    EXPECT_EQ(host.memo.back().rfind(kJoinFinishedLog, 0), std::string::npos);
    Script("fmerge.sh", "echo broken > \"$1\"; exit 2\n");
    EXPECT_EQ(Run(Clips(".flv")), "FAILED");
    st.MmergeCommand = root + "missing.exe ";
    EXPECT_EQ(Run(Clips(".mp4")), "FAILED");
    for (const char* ext : {".divx", ".webm", ".flv", ".mp4"})
        EXPECT_FALSE(FileExists(save + "Trip-Joined" + ext)) << ext;
    // a format no tool joins fails at once
    const int before = st.JobCounter;
    EXPECT_FALSE(JoinClips(Clips(".txt"), runs, nullptr));
    EXPECT_EQ(st.JobCounter, before + 1);
    EXPECT_EQ(host.rows[st.JobCounter].status, "FAILED");
    EXPECT_EQ(host.statuses.back(), "Failed!");
    EXPECT_TRUE(st.BuildOnly);
}

} // namespace
