#include "jobs/trim.h"

#include <gtest/gtest.h>

#include <array>
#include <unistd.h>

#include "common/helpers.h"
#include "exec/startup_state.h"
#include "support/run_host.h"
#include "support/test_env.h"

using namespace trimora;

namespace {

struct CutFixture : ::testing::Test {
    trimora_test::IsolatedHome home;
    JobState st;
    TStoreInfo info;
    std::string sys, out;

    void SetUp() override {
        SetProcessorCountOverride(4);
        SetUpStartupState(st);
        SetProcessorCountOverride(0);
        st.StartupDone = true;
        sys = st.SystemFolder;
        out = home.Root() + "out/";
        ::mkdir(out.c_str(), 0755);
        st.SaveConvertFolder = out;
        info.CodecSummary = "h264 - aac - ";
        info.AudioRateOption = " -ar 48000 ";
        info.AudioBitrateOption = " -ab 128k ";
        PrepareCutTimes(st, "00:01:23.456", "00:02:00.000");
    }
    std::string Build(const std::string& input, bool nosound = false) {
        st.InputFile = input;
        const std::string name = FileNameOf(input);
        st.InputExt = ToLower(name.substr(name.rfind('.')));
        st.CutNosound = nosound;
        return BuildTrimCommand(MakeTrimSnapshot(st, info)).CommandLine;
    }
};

} // namespace

TEST_F(CutFixture, CutTimesPieces) {
    EXPECT_EQ(st.EdlPiece, "-edl \"" + sys + "qvcut.edl\" -hr-edl-seek ");
    ASSERT_TRUE(WriteEdlFile(st.EdlFile, st.CutStartSeconds)); // each run writes its own
    EXPECT_EQ(trimora_test::ReadFileBytes(st.EdlFile), "0 83.456 0\n");

    // start, end -> seek piece, end position, split times, length text, start after end; the
    // pieces a pair does not set stay from the pair before
    const std::array<const char*, 3> rows[] = {
        // milliseconds are dropped before the subtraction
        {"00:00:10.900", "00:00:20.100",
         " -ss 00:00:10.900 -t 10 |-endpos 10|00:00:10.900,00:00:20.100|00:00:10|0"},
        {"00:00:30.000", "00:00:20.000", "|-endpos 10|00:00:10.900,00:00:20.100|00:00:10|1"},
        // the edit texts go to the splitter untrimmed; a valid pair clears the flag
        {" 00:00:01.000 ", "00:00:03.000",
         " -ss 00:00:01.000 -t 2 |-endpos 2| 00:00:01.000 ,00:00:03.000|00:00:02|0"},
        {"00:00:10.100", "00:00:10.900", "|-endpos 2| 00:00:01.000 ,00:00:03.000|00:00:02|0"},
        // long ranges are not wrapped at 65536 s
        {"0:00:00.000", "20:00:00.000",
         " -ss 0:00:00.000 -t 72000 |-endpos 72000|0:00:00.000,20:00:00.000|20:00:00|0"},
    };
    for (const auto& [start, end, want] : rows) {
        EXPECT_EQ(PrepareCutTimes(st, start, end), st.SeekArgs); // the seek piece is returned
        EXPECT_EQ(st.SeekArgs + "|" + st.EndPosPiece + "|" + st.SplitPiece + "|" + st.CutTimeText +
                      "|" + std::to_string(st.StartAfterEnd),
                  want);
    }

    JobState early;
    EXPECT_EQ(PrepareCutTimes(early, "00:00:01.000", "00:00:05.000"), "");
    EXPECT_EQ(early.SeekArgs, "");
}

TEST_F(CutFixture, EveryClassAndItsNosoundForm) {
    const std::string F = sys + "fcut.exe -cb  -threads 10  -ss 00:01:23.456 -t 37 ";
    const std::string M =
        sys + "mcut.exe -cb qzv -edl \"" + sys + "qvcut.edl\" -hr-edl-seek -endpos 37 \"@\"";
    const std::string K = sys + "qvcut/mmerge.exe  -o \"" + sys + "qvcut/trim.";
    // extensions -> command and its Cut Nosound form; @ is the source, # the output
    struct Row {
        std::vector<std::string> exts;
        std::string normal, nosound;
    };
    const Row rows[] = {
        {{"flv", "webm"},
         F + " -async 1 -i \"@\"  -acodec copy -vcodec copy -sn -y \"#\"",
         F + " -async 1 -i \"@\"  -an -vcodec copy -sn -y \"#\""},
        {{"mp4", "m4v", "mov"},
         F + " -async 1 -i \"@\"  -acodec copy  -vcodec copy -sn -y \"#\"",
         F + " -async 1 -i \"@\" -an -vcodec copy -sn -y \"#\""},
        {{"wmv", "asf"},
         M + " -oac lavc -lavcopts acodec=wmav2:abitrate=128:threads=10 -srate 44100 -ovc copy "
             "-o \"#\"",
         M + " -nosound -ovc copy -o \"#\""},
        {{"avi", "divx", "mpg", "mpeg"},
         F + " -async 1 -i \"@\" -vcodec copy  -acodec copy  -sn -y \"#\"",
         F + " -i \"@\" -an -vcodec copy -sn -y \"#\""},
        {{"m2ts"},
         F + " -async 1 -i \"@\" -acodec copy -vcodec copy -f mpegts -sn -y \"#\"",
         F + " -async 1 -i \"@\" -an -vcodec copy -f mpegts -sn -y \"#\""},
        {{"vob"},
         F + " -async 1 -i \"@\" -acodec copy -vcodec copy -sn -y \"#\"",
         F + " -async 1 -i \"@\" -an -vcodec copy -sn -y \"#\""},
        {{"mkv"}, K + "mkv\" \"@\" --split timecodes:00:01:23.456,00:02:00.000",
         K + "mkv\" --no-audio \"@\" --split timecodes:00:01:23.456,00:02:00.000"},
    };
    auto fill = [](std::string t, const std::string& src, const std::string& dst) {
        t.replace(t.find('@'), 1, src);
        if (t.find('#') != std::string::npos) t.replace(t.find('#'), 1, dst);
        return t;
    };
    for (const Row& r : rows)
        for (const std::string& ext : r.exts) {
            const std::string src = "/v/c." + ext, dst = out + "c-Cut." + ext;
            EXPECT_EQ(Build(src), fill(r.normal, src, dst)) << ext;
            EXPECT_EQ(Build(src, true), fill(r.nosound, src, dst)) << ext;
        }
    EXPECT_EQ(Build("/v/c.ts"), "");
}

TEST_F(CutFixture, AudioPieceFollowsTheClip) {
    // AC-3 sound in avi/divx/mpg/mpeg is made mp3; the mkv audio piece is not used.
    info.CodecSummary = "mpeg4 - AC3 - ";
    const std::string F = sys + "fcut.exe -cb  -threads 10  -ss 00:01:23.456 -t 37 ";
    EXPECT_EQ(Build("/v/d.avi"),
              F +
                  " -async 1 -i \"/v/d.avi\" -vcodec copy  -acodec libmp3lame -ac 2  -ar 48000  "
                  "-ab 128k  -sn -y \"" +
                  out + "d-Cut.avi\"");
    // Without sound: " -an " in the mp4, avi and mpg forms; flv, webm, m2ts and vob keep theirs.
    info.NoAudio = true;
    EXPECT_EQ(Build("/v/d.mp4"),
              F + " -async 1 -i \"/v/d.mp4\"  -an  -vcodec copy -sn -y \"" + out + "d-Cut.mp4\"");
    EXPECT_EQ(Build("/v/d.mpg"),
              F + " -async 1 -i \"/v/d.mpg\" -vcodec copy  -an  -sn -y \"" + out + "d-Cut.mpg\"");
    EXPECT_NE(Build("/v/d.flv").find("-acodec copy -vcodec copy"), std::string::npos);
}

TEST_F(CutFixture, MatroskaFinishMovesTheMiddlePartWithoutReplacing) {
    trimora_test::RecordingRunHost host;
    TToolRuns runs(st, host);
    st.InputFile = "/v/CLIP.MKV";
    st.InputExt = ".mkv";
    TTrimRunContext ctx;
    ctx.Command = BuildTrimCommand(MakeTrimSnapshot(st, info));
    ctx.ToolFolder = st.ToolFolder;
    ctx.JobId = 1;
    ASSERT_EQ(ctx.Command.OutputFile, out + "CLIP-Cut.MKV");
    auto leftovers = [&] {
        int n = 0;
        for (int part = 1; part <= 3; ++part)
            n += FileExists(TrimWorkPart(ctx.Command, st.ToolFolder, part));
        return n;
    };
    TToolRun noRun; // the finished run (the handler reads nothing of it)
    // parts the splitter left, its run failed, the output is there from before -> the row and
    // what the output holds; no part is ever left behind
    struct Row {
        const char* parts;
        bool failed, taken;
        const char* row;
        const char* output;
    };
    const Row rows[] = {
        {"123", false, false, "DONE 10 DosRunTrim done.", "the middle"}, // stopped after part 2
        {"123", false, true, "FAILED 1 DosRunTrim Failed.", "taken"},    // the user's file stays
        {"1", false, false, "FAILED 1 DosRunTrim Failed.", ""},          // a range past the end
        {"123", true, false, "FAILED 1 DosRunTrim Failed.", ""},
    };
    const char* texts[] = {"one", "the middle", "three"};
    for (const Row& r : rows) {
        ::unlink(ctx.Command.OutputFile.c_str());
        if (r.taken) trimora_test::WriteFileBytes(ctx.Command.OutputFile, "taken");
        for (const char* part = r.parts; *part; ++part)
            trimora_test::WriteFileBytes(st.ToolFolder + "trim-00" + *part + ".MKV",
                                         texts[*part - '1']);
        RunTrimComplete(runs, ctx, noRun, TRunOutcome{r.failed, r.failed ? "exit 2" : "", ""});
        EXPECT_EQ(host.last.status + " " + std::to_string(host.last.size) + " " + host.memo.back(),
                  r.row);
        EXPECT_EQ(trimora_test::ReadFileBytes(ctx.Command.OutputFile), r.output);
        EXPECT_EQ(leftovers(), 0);
        EXPECT_EQ(st.RunFailed, r.row[0] == 'F');
    }
}
