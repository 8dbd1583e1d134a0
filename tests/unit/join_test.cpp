// The join command of every family, byte for byte, and the file list it is made of.
#include "jobs/join.h"

#include "common/command_line.h"
#include "support/test_env.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace trimora;

namespace {

class JoinBuild : public ::testing::Test {
  protected:
    void SetUp() override {
        clips = home.Root() + "Trip/";
        save = home.Root() + "Saved/";
        std::filesystem::create_directories(clips);
        std::filesystem::create_directories(save);
        st.StartupDone = true;
        st.ProgramFolder = "/opt/trimora/";
        st.JoinFolder = clips;
        st.SaveJoinFolder = save;
        st.MencoderCommand = "/d/mcut.exe -cb qzv ";
        st.MmergeCommand = "/d/qvcut/mmerge.exe ";
        st.FmergeCommand = "/d/qvcut/fmerge.exe ";
        st.LavcThreadsOption = ":threads=2";
    }
    TJoinListSnapshot Rows(std::initializer_list<const char*> names, const std::string& ext) {
        TJoinListSnapshot list;
        int64_t size = 1000;
        for (const char* n : names)
            list.Rows.push_back({n + ext, size++, "160x120", "25", true});
        return list;
    }
    std::string Q(const std::string& name) { return "\"" + clips + name + "\""; }

    trimora_test::IsolatedHome home;
    std::string clips, save;
    JobState st;
};

TEST_F(JoinBuild, SplitterFamilyPutsPlusesBetweenNamesOnly) {
    for (const std::string ext : {".mp4", ".mkv", ".m4v", ".mov", ".3gp", ".vob", ".webm"}) {
        auto list = Rows({"a", "b", "c"}, ext);
        const auto r = BuildJoinCommand(list, st);
        EXPECT_EQ(r.Command, "/d/qvcut/mmerge.exe  " + Q("a" + ext) + " +" + Q("b" + ext) + " +" +
                                 Q("c" + ext) + "  -o \"" + save + "Trip-Joined" + ext + "\"")
            << ext;
        EXPECT_TRUE(st.JoinByMerge) << ext;
        EXPECT_FALSE(st.JoinByMencoder) << ext;
        // the split gives "+name" for every file but the first, which mkvmerge reads as "append"
        const auto args = SplitCommandLine(r.Command);
        ASSERT_EQ(args.size(), 6u);
        EXPECT_EQ(args[1], clips + "a" + ext);
        EXPECT_EQ(args[2], "+" + clips + "b" + ext);
        EXPECT_EQ(args[3], "+" + clips + "c" + ext);
    }
}

TEST_F(JoinBuild, FlvMpegAndWmvCommands) {
    auto flv = Rows({"a", "b"}, ".flv");
    EXPECT_EQ(BuildJoinCommand(flv, st).Command, "/d/qvcut/fmerge.exe  \"" + save +
                                                     "Trip-Joined.flv\" " + Q("a.flv") + " " +
                                                     Q("b.flv") + " ");
    EXPECT_FALSE(st.JoinByMencoder || st.JoinByMerge);

    for (const std::string ext : {".mpg", ".mpeg"}) {
        auto mpg = Rows({"a", "b", "c"}, ext);
        EXPECT_EQ(BuildJoinCommand(mpg, st).Command,
                  "/d/mcut.exe -cb qzv  " + Q("a" + ext) + " " + Q("b" + ext) + " " + Q("c" + ext) +
                      "  -mc 0 -ovc copy -oac mp3lame -lameopts cbr:br=128 -srate 44100 -o \"" +
                      save + "Trip-Joined" + ext + "\"");
        EXPECT_TRUE(st.JoinByMencoder);
        mpg.Nosound = true;
        EXPECT_EQ(BuildJoinCommand(mpg, st).Command,
                  "/d/mcut.exe -cb qzv  -forceidx -nosound -ovc copy " + Q("a" + ext) + " " +
                      Q("b" + ext) + " " + Q("c" + ext) + "  -o \"" + save + "Trip-Joined" + ext +
                      "\"");
    }

    for (const std::string ext : {".wmv", ".asf"}) {
        auto wmv = Rows({"a", "b"}, ext);
        EXPECT_EQ(BuildJoinCommand(wmv, st).Command,
                  "/d/mcut.exe -cb qzv   -mc 0 -delay 0.7 -oac lavc -lavcopts "
                  "acodec=wmav2:abitrate=128:threads=2 -srate 44100 -ovc copy -o \"" +
                      save + "Trip-Joined" + ext + "\" " + Q("a" + ext) + " " + Q("b" + ext) + " ");
        wmv.Nosound = true;
        EXPECT_EQ(BuildJoinCommand(wmv, st).Command,
                  "/d/mcut.exe -cb qzv   -nosound -ovc copy -o \"" + save + "Trip-Joined" + ext +
                      "\" " + Q("a" + ext) + " " + Q("b" + ext) + " ");
    }
}

TEST_F(JoinBuild, AviPutsTheNormalisingClipInFrontAtTheFirstFrameSize) {
    auto list = Rows({"a", "b", "c"}, ".avi");
    list.Rows[0].FrameSize = "320x240";
    const auto r = BuildJoinCommand(list, st);
    const std::string out = "\"" + save + "Trip-Joined.avi\"";
    EXPECT_EQ(st.NormFile, "/opt/trimora/help/norm.avi");
    EXPECT_EQ(st.NormCommand, "/d/mcut.exe -cb qzv \"/opt/trimora/help/sample.avi\" -vf "
                              "scale=320:240 -ovc lavc -lavcopts vcodec=mpeg4 -oac copy -o "
                              "\"/opt/trimora/help/norm.avi\"");
    EXPECT_EQ(r.Command,
              "/d/mcut.exe -cb qzv \"/opt/trimora/help/norm.avi\" " + Q("a.avi") + " " +
                  Q("b.avi") + " " + Q("c.avi") +
                  "  -mc 0 -ovc copy -oac mp3lame -lameopts cbr:br=128 -srate 44100 -o " + out);
    ASSERT_EQ(r.MemoLines.size(), 3u);
    EXPECT_EQ(r.MemoLines[0], r.Command);
    EXPECT_EQ(r.MemoLines[1], "Total File = 3 Total Size = 2.93 KB NormSize = -vf scale=320:240");
    EXPECT_EQ(r.MemoLines[2], st.NormCommand);
    EXPECT_TRUE(st.JoinByMencoder);

    // "Cut Nosound" drops the normalising clip and the audio options
    list.Nosound = true;
    EXPECT_EQ(BuildJoinCommand(list, st).Command,
              "/d/mcut.exe -cb qzv  -forceidx -nosound -ovc copy " + Q("a.avi") + " " + Q("b.avi") +
                  " " + Q("c.avi") + "  -o " + out);

    // without a probed frame size the normalising clip keeps the sample's size
    list.Nosound = false;
    list.Rows[0].FrameSize = "";
    BuildJoinCommand(list, st);
    EXPECT_EQ(st.NormCommand, "/d/mcut.exe -cb qzv \"/opt/trimora/help/sample.avi\"  -ovc lavc "
                              "-lavcopts vcodec=mpeg4 -oac copy -o \"/opt/trimora/help/norm.avi\"");
}

TEST_F(JoinBuild, FileListSkipsUncheckedRowsAndTakesTheExtensionFromTheSecondRow) {
    TJoinListSnapshot list;
    list.Rows = {{"a.avi", 10, "", "", true},
                 {"b.divx", 20, "", "", false},
                 {"c.avi", 30, "", "", true},
                 {"d.avi", 40, "", "", true}};
    BuildJoinCommand(list, st);
    EXPECT_EQ(st.JoinExt, ".divx");
    EXPECT_EQ(st.JoinedOutput, save + "Trip-Joined.divx");
    EXPECT_EQ(st.OutputFile, st.JoinedOutput);
    EXPECT_EQ(st.JoinFileList, Q("a.avi") + " " + Q("c.avi") + " " + Q("d.avi") + " ");
    EXPECT_EQ(st.JoinCountText, "3");
    EXPECT_EQ(st.JoinTotalSize, 80);

    // the second row has no point: the family falls back to avi
    list.Rows[1].Caption = "b";
    BuildJoinCommand(list, st);
    EXPECT_EQ(st.JoinExt, ".b");
    list.Rows[1].Caption = "b.";
    BuildJoinCommand(list, st);
    EXPECT_EQ(st.JoinExt, ".avi");
}

TEST_F(JoinBuild, OutputNameIsNumberedAndFallsBackToTheSourceFolder) {
    auto list = Rows({"a", "b"}, ".mkv");
    std::ofstream(save + "Trip-Joined.mkv") << "x";
    BuildJoinCommand(list, st);
    EXPECT_EQ(st.JoinedOutput, save + "Trip-Joined01.mkv");

    st.SaveJoinFolder = home.Root() + "gone/";
    BuildJoinCommand(list, st);
    EXPECT_EQ(st.SaveJoinFolder, clips);
    EXPECT_EQ(st.JoinedOutput, clips + "Trip-Joined.mkv");

    st.JoinFolder = "/";
    st.SaveJoinFolder = save;
    BuildJoinCommand(list, st);
    EXPECT_EQ(st.JoinBaseName, "File");
}

TEST_F(JoinBuild, NothingToJoinGivesNoCommand) {
    auto list = Rows({"a", "b", "c"}, ".mp4");
    list.Rows[1].Checked = list.Rows[2].Checked = false;
    auto r = BuildJoinCommand(list, st);
    EXPECT_TRUE(r.Command.empty());
    EXPECT_TRUE(r.MemoLines.empty());
    EXPECT_EQ(st.JoinCountText, "");
    EXPECT_EQ(st.JoinTotalSize, 0);

    list.Rows[1].Checked = true;
    list.JoinPageShowing = false;
    EXPECT_TRUE(BuildJoinCommand(list, st).Command.empty());
    list.JoinPageShowing = true;
    list.HasSelection = false;
    EXPECT_TRUE(BuildJoinCommand(list, st).Command.empty());

    list.HasSelection = true;
    st.StartupDone = false;
    r = BuildJoinCommand(list, st);
    EXPECT_FALSE(r.Ran);
    EXPECT_TRUE(r.Command.empty());

    // a format no tool joins has no command, but a clear state
    st.StartupDone = true;
    auto odd = Rows({"a", "b"}, ".txt");
    EXPECT_TRUE(BuildJoinCommand(odd, st).Command.empty());
    EXPECT_EQ(JoinFamilyOf(".txt"), TJoinFamily::None);
}

TEST_F(JoinBuild, HostileNamesStayOneArgumentEach) {
    TJoinListSnapshot list;
    list.Rows = {{"a \"q\" $HOME;x.mkv", 1, "", "", true}, {"-b\\\".mkv", 2, "", "", true}};
    const auto args = SplitCommandLine(BuildJoinCommand(list, st).Command);
    ASSERT_EQ(args.size(), 5u);
    EXPECT_EQ(args[1], clips + "a \"q\" $HOME;x.mkv");
    EXPECT_EQ(args[2], "+" + clips + "-b\\\".mkv");
}

TEST_F(JoinBuild, DesignModeComparesTheFrameRatesOfHandTickedRows) {
    st.DesignMode = true;
    auto list = Rows({"a", "b", "c"}, ".mpg");
    EXPECT_EQ(BuildJoinCommand(list, st).FpsMessage, "Samefps");
    list.Rows[2].Fps = "29.97";
    EXPECT_EQ(BuildJoinCommand(list, st).FpsMessage, "not Samefps");
    st.JoinAllChecked = true;
    EXPECT_EQ(BuildJoinCommand(list, st).FpsMessage, "Samefps");
    st.DesignMode = false;
    EXPECT_EQ(BuildJoinCommand(list, st).FpsMessage, "");
}

} // namespace
