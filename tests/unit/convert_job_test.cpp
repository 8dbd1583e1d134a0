// The convert and audio jobs around their builders: what a preview prepares, what a run
// reports when its tool fails, and the no-audio refusal. Tools are stand-ins here; the real
// conversions are in the end-to-end tests.
#include "jobs/convert_job.h"

#include "common/helpers.h"
#include "support/run_host.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

using namespace trimora;

namespace {

std::string Digits(std::initializer_list<int> values) {
    std::string s;
    for (int v : values)
        s += std::to_string(v);
    return s;
}

class ConvertJobTest : public ::testing::Test {
  protected:
    void SetUp() override {
        st.StartupDone = true;
        st.Mode = TMode::Convert;
        st.SaveConvertFolder = dir;
        st.FfmpegCommand = "/nonexistent/fcut.exe -cb ";
        st.MencoderCommand = "/nonexistent/mcut.exe -cb qzv ";
        st.InputFile = "/v/holiday.avi";
        st.InputSelected = true;
        st.ClipDuration = 4;
        info.FrameSize = "160x120";
    }
    trimora_test::IsolatedHome home;
    const std::string dir = home.Root();
    JobState st;
    TStoreInfo info;
    TOutputList list;
    trimora_test::RecordingRunHost host;
    TToolRuns runs{st, host};
    TJobContext ctx{st, info, list, runs};
};

} // namespace

TEST_F(ConvertJobTest, PreviewPreparesCommandAndPendingRowOnly) {
    TConvertJob job;
    job.Options.ConvertType = "(Device) iPad - HiResolution";

    st.StartupDone = false;
    EXPECT_FALSE(ConvertClip(job, 4, ctx));
    EXPECT_TRUE(host.memo.empty());

    st.StartupDone = true;
    EXPECT_FALSE(ConvertClip(job, 4, ctx));
    EXPECT_EQ(st.OutputFile, dir + "holiday-Convert_iPad_HiRes.m4v");
    EXPECT_EQ(st.CutTimeText, "00:00:04");
    EXPECT_EQ(host.memo, std::vector<std::string>{job.Pieces.ConvertCommand});
    EXPECT_EQ(host.begun + st.JobCounter, 0);
    const int row = list.FindRowById(1);
    ASSERT_GE(row, 0);
    EXPECT_EQ(list.Row(row).Caption + " " + list.Row(row).Status,
              "holiday-Convert_iPad_HiRes.m4v PENDING");

    // A typed "(Device)" text of no row keeps the device suffix of the last build.
    job.Options.ConvertType = "(Device) Other";
    ConvertClip(job, 4, ctx);
    EXPECT_EQ(st.OutputFile, dir + "holiday-Convert_iPad_HiRes.m4v");
}

TEST_F(ConvertJobTest, RunTakesAFreshNameAndReportsAToolThatCannotStart) {
    TConvertJob job;
    job.Options.ConvertType = ".mp4";
    ConvertClip(job, 4, ctx); // preview names holiday-Convert.mp4
    // ... which a finished job then wrote: the run must not write it again.
    trimora_test::WriteFileBytes(dir + "holiday-Convert.mp4", "earlier result");

    st.BuildOnly = false;
    EXPECT_FALSE(ConvertClip(job, 4, ctx));
    ASSERT_TRUE(host.WaitForRow(-1));
    // job 1 of one begun and ended run, failed, in the fresh name
    EXPECT_EQ(Digits({st.JobCounter, host.begun, host.ended, host.lastId}) + " " +
                  host.last.status + " " + host.last.path,
              "1111 FAILED " + dir + "holiday-Convert01.mp4");
    EXPECT_TRUE(st.RunFailed && st.BuildOnly);
    EXPECT_EQ(trimora_test::ReadFileBytes(dir + "holiday-Convert.mp4"), "earlier result");
    ASSERT_EQ(host.memo.size(), 2u);
    EXPECT_EQ(host.memo[1].rfind(kConvertFinishedText, 0), 0u);
    EXPECT_FALSE(runs.SlotBusy(kDosConvertClip));
}

TEST_F(ConvertJobTest, AudioOfAClipWithoutSoundIsRefused) {
    TAudioJob job;
    ExtraRunHost extraHost;
    job.AttachTo(extraHost, runs, st);
    TExtraRuns extra(extraHost);
    info.NoAudio = true;

    EXPECT_FALSE(job.ExtractAudio(ctx, extra));
    EXPECT_EQ(host.messages, std::vector<std::string>{kNoAudioMessage});
    EXPECT_EQ(host.ended, 0);
    st.BuildOnly = false; // after Start: back to idle, nothing run
    EXPECT_FALSE(job.ExtractAudio(ctx, extra));
    EXPECT_TRUE(host.ended == 1 && host.begun == 0 && st.BuildOnly);
}

TEST_F(ConvertJobTest, AudioRunFailsOnAnEmptyResultAndOnAToolThatCannotStart) {
    TAudioJob job;
    ExtraRunHost extraHost;
    extraHost.Post = [this](std::function<void()> fn) { host.Post(std::move(fn)); };
    job.AttachTo(extraHost, runs, st);
    TExtraRuns extra(extraHost);
    job.Options.AudioType = ".wav";

    // A stand-in encoder that says it wrote nothing, and ends normally.
    st.FfmpegCommand = "/bin/echo video:0kB audio:0kB ";
    st.BuildOnly = true;
    job.ExtractAudio(ctx, extra);
    EXPECT_EQ(host.memo, std::vector<std::string>{"/bin/echo video:0kB audio:0kB  -i "
                                                  "\"/v/holiday.avi\" -vn -sn  -acodec pcm_s16le "
                                                  "-ar 44100 -ac 2   -y \"" +
                                                  dir + "holiday.wav\""});
    EXPECT_EQ(list.Row(list.FindRowById(1)).Caption, "holiday.wav");

    st.JobCounter += 1; // as Start does
    st.BuildOnly = false;
    EXPECT_TRUE(job.ExtractAudio(ctx, extra));
    ASSERT_TRUE(host.WaitForRow(-1));
    EXPECT_EQ(host.last.status + " " + Digits({host.lastId, host.begun, host.ended}), "FAILED 111");
    EXPECT_TRUE(st.RunFailed);

    host.rows.clear();
    st.FfmpegCommand = "/nonexistent/fcut.exe -cb ";
    st.JobCounter += 1;
    st.BuildOnly = false;
    EXPECT_FALSE(job.ExtractAudio(ctx, extra));
    ASSERT_TRUE(host.WaitForRow(-1));
    EXPECT_EQ(host.last.status + " " + Digits({host.lastId, host.ended}), "FAILED 22");
    EXPECT_FALSE(extra.IsRunning(kDosExtractAudio));
}
