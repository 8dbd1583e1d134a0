// The convert and audio jobs around their builders: the name a run takes, what it reports when
// its tool fails, and the no-audio refusal. Tools are stand-ins here; the real
// conversions are in the end-to-end tests.
#include "jobs/convert_job.h"

#include "support/run_host.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

using namespace trimora;

namespace {

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

// The window's convert and sound-only tests show the pending row and the command of a preview;
// the device names are the convert options' tests.
TEST_F(ConvertJobTest, RunTakesAFreshNameAndReportsAToolThatCannotStart) {
    TConvertJob job;
    job.Options.ConvertType = ".mp4";
    st.StartupDone = false; // nothing is built before the window has read its settings
    EXPECT_FALSE(ConvertClip(job, 4, ctx));
    EXPECT_TRUE(host.memo.empty());
    st.StartupDone = true;
    ConvertClip(job, 4, ctx); // preview names holiday-Convert.mp4
    // ... which a finished job then wrote: the run must not write it again.
    trimora_test::WriteFileBytes(dir + "holiday-Convert.mp4", "earlier result");

    st.BuildOnly = false;
    EXPECT_FALSE(ConvertClip(job, 4, ctx));
    ASSERT_TRUE(host.WaitForRow(-1));
    // job 1, one begun and ended run, failed, in the fresh name
    EXPECT_TRUE(st.JobCounter == 1 && host.begun == 1 && host.ended == 1 && host.lastId == 1);
    EXPECT_EQ(host.last.status + " " + host.last.path, "FAILED " + dir + "holiday-Convert01.mp4");
    EXPECT_TRUE(st.RunFailed && st.BuildOnly);
    EXPECT_EQ(trimora_test::ReadFileBytes(dir + "holiday-Convert.mp4"), "earlier result");
}

// Sound of a clip without sound is refused; a run fails when its encoder says it wrote nothing
// (and ends normally) or cannot start.
TEST_F(ConvertJobTest, AudioRefusedWithoutSoundAndFailsOnAnEmptyResultOrAMissingTool) {
    TAudioJob job;
    ExtraRunHost extraHost;
    extraHost.Post = [this](std::function<void()> fn) { host.Post(std::move(fn)); };
    job.AttachTo(extraHost, runs, st);
    TExtraRuns extra(extraHost);
    job.Options.AudioType = ".wav";
    info.NoAudio = true;
    st.BuildOnly = false; // after Start: back to idle, nothing run
    EXPECT_FALSE(job.ExtractAudio(ctx, extra));
    EXPECT_EQ(host.messages, std::vector<std::string>{kNoAudioMessage});
    EXPECT_TRUE(host.ended == 1 && host.begun == 0 && st.BuildOnly);

    info.NoAudio = false;
    host.ended = 0;
    for (const char* tool : {"/bin/echo video:0kB audio:0kB ", "/nonexistent/fcut.exe -cb "}) {
        host.rows.clear();
        st.FfmpegCommand = tool;
        st.JobCounter += 1; // as Start does
        st.BuildOnly = st.RunFailed = false;
        job.ExtractAudio(ctx, extra);
        ASSERT_TRUE(host.WaitForRow(-1)) << tool;
        EXPECT_EQ(host.last.status, "FAILED");
        EXPECT_TRUE(host.lastId == st.JobCounter && host.ended == st.JobCounter);
        EXPECT_TRUE(st.RunFailed);
    }
    EXPECT_FALSE(extra.IsRunning(kDosExtractAudio));
}
