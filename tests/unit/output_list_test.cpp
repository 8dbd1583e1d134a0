// The output list model: rows found by ID, the message row, pending rows per mode, results, and
// the output names (never an existing file).

#include <gtest/gtest.h>

#include "common/helpers.h"
#include "jobs/output_list.h"
#include "support/test_env.h"

using namespace trimora;
using trimora_test::IsolatedHome;
using trimora_test::WriteFileBytes;

namespace {

struct Recorder {
    std::vector<std::pair<TRowChange, int>> events;
    void Attach(TOutputList& list) {
        list.SetObserver([this](TRowChange c, int row) { events.emplace_back(c, row); });
    }
};

JobState CutState(const std::string& saveFolder) {
    JobState s;
    s.StartupDone = true;
    s.BuildOnly = false;
    s.Mode = TMode::Cut;
    s.InputFile = "/videos/Holiday.AVI";
    s.InputExt = ".avi";
    s.SaveConvertFolder = saveFolder;
    s.ConvertTypeText = ".mp4";
    s.InputSelected = true;
    return s;
}

} // namespace

TEST(OutputList, IconsByExtension) {
    const std::pair<const char*, TRowIcon> cases[] = {
        {".MP4", TRowIcon::Mpeg4}, {".mov", TRowIcon::Mpeg4},         {".flv", TRowIcon::Flash},
        {".mkv", TRowIcon::Matroska}, {".rmvb", TRowIcon::RealMedia}, {".mpeg", TRowIcon::Mpeg},
        {".Avi", TRowIcon::Avi},   {".wmv", TRowIcon::WindowsMedia}};
    for (const auto& [ext, icon] : cases) EXPECT_EQ(IconForExtension(ext, TRowIcon::None), icon) << ext;
    // other extensions keep what the row had
    EXPECT_EQ(IconForExtension(".xyz", TRowIcon::Avi), TRowIcon::Avi);
    EXPECT_EQ(IconForExtension(".webm", TRowIcon::None), TRowIcon::OtherVideo);
}

TEST(OutputList, RowsAreFoundAndWrittenById) {
    TOutputList list;
    Recorder rec;
    rec.Attach(list);
    EXPECT_EQ(list.FindRowById(101), -1);
    list.SetRowStatus("DONE", "/x", 5, 7); // no such row: nothing
    EXPECT_EQ(list.Count(), 0);
    EXPECT_TRUE(rec.events.empty());

    EXPECT_EQ(list.SetRowCaption("Run time message", MessageRowId, 0, ".avi"), 0);
    EXPECT_EQ(list.SetRowCaption("a-Cut.avi", 1, 0, ".avi"), 1);
    EXPECT_EQ(list.Row(0).Icon, TRowIcon::Message);
    EXPECT_EQ(list.Row(1).Icon, TRowIcon::Avi);
    EXPECT_EQ(list.FindRowById(1), 1);
    EXPECT_EQ(list.FindRowByCaption("a-Cut.avi"), 1);

    list.SetRowStatus(TJobStatus::Done, "/out/a-Cut.avi", 1234567, 1);
    EXPECT_EQ(list.Row(1).Status, "DONE");
    EXPECT_EQ(list.Row(1).SizeText, "1.17 MB");
    EXPECT_EQ(list.Row(1).FullPath, "/out/a-Cut.avi");
    list.SetRowStatus(TJobStatus::Failed, "/out/a-Cut.avi", 1, 1);
    EXPECT_EQ(list.Row(1).SizeText, "1 bytes");
    list.SetRowStatus(TJobStatus::Pending, "/out/a-Cut.avi", 0, 1);
    EXPECT_EQ(list.Row(1).SizeText, "");

    // a new caption on an existing ID changes that row in place and clears its status
    EXPECT_EQ(list.SetRowCaption("b-Cut.mkv", 1, 0, ".mkv"), 1);
    EXPECT_EQ(list.Row(1).Status, "");
    EXPECT_EQ(list.Row(1).Icon, TRowIcon::Matroska);
    EXPECT_EQ(list.Count(), 2);

    const std::vector<std::pair<TRowChange, int>> expected{
        {TRowChange::Added, 0},   {TRowChange::Added, 1},   {TRowChange::Changed, 1},
        {TRowChange::Changed, 1}, {TRowChange::Changed, 1}, {TRowChange::Changed, 1}};
    EXPECT_EQ(rec.events, expected);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(rec.events.back(), std::make_pair(TRowChange::Cleared, -1));
}

TEST(OutputList, FinishedRowWithTheSameNameKeepsItsResult) {
    TOutputList list;
    list.SetRowCaption("clip-Cut.avi", 1, 0, ".avi");
    list.SetRowStatus(TJobStatus::Done, "/o/clip-Cut.avi", 2048, 1);
    // the user deleted the output, so the next pending row has the same name
    list.SetRowCaption("clip-Cut.avi", 2, 0, ".avi");
    list.SetRowStatus(TJobStatus::Pending, "/o/clip-Cut.avi", 0, 2);
    EXPECT_EQ(list.Row(0).Status, "DONE");
    EXPECT_EQ(list.Row(0).SizeText, "2.00 KB");
    EXPECT_EQ(list.Row(1).Status, "PENDING");
}

TEST(OutputList, OutputNames) {
    IsolatedHome home;
    const std::string dir = home.Root();
    EXPECT_EQ(OutputBaseName("/v/Holiday.AVI"), "Holiday");
    EXPECT_EQ(OutputBaseName("/v/clip.mp4.mp4"), "clip");
    EXPECT_EQ(OutputBaseName("/v/noext"), "noext");
    EXPECT_EQ(CutOutputName(dir, "/v/Holiday.AVI"), dir + "Holiday-Cut.AVI");
    EXPECT_EQ(CutOutputName(dir, "/v/clip.mp4.mp4"), dir + "clip-Cut.mp4");
    EXPECT_EQ(ConvertOutputName(dir, "/v/clip.avi", ".webm", false), dir + "clip-Convert.webm");
    EXPECT_EQ(ConvertOutputName(dir, "/v/clip.avi", ".mp4", true), dir + "clip-Partial.mp4");
    EXPECT_EQ(AudioOutputName(dir, "/v/clip.mp4.mp4", ".mp3"), dir + "clip.mp4.mp3");
    EXPECT_EQ(AudioOutputName(dir, "/v/My Song.flv", ".aac"), dir + "My Song.aac");

    // existing outputs are never reused
    WriteFileBytes(dir + "clip-Cut.avi", "x");
    EXPECT_EQ(CutOutputName(dir, "/v/clip.avi"), dir + "clip-Cut01.avi");
    WriteFileBytes(dir + "clip-Cut01.avi", "x");
    EXPECT_EQ(CutOutputName(dir, "/v/clip.avi"), dir + "clip-Cut02.avi");
    WriteFileBytes(dir + "clip.mp3", "x");
    EXPECT_EQ(AudioOutputName(dir, "/v/clip.avi", ".mp3"), dir + "clip01.mp3");
}

TEST(OutputList, ConvertTypeInForce) {
    JobState s;
    s.ConvertTypeText = ".mkv";
    EXPECT_EQ(DetermineConvertType(s), ".mkv");
    s.ConvertTypeText = "(Device) iPad - HiResolution";
    EXPECT_EQ(DetermineConvertType(s), ".mkv"); // the preset's type stays
    s.ConvertType = ".mp4";
    EXPECT_EQ(DetermineConvertType(s), ".mp4");
    s.ConvertTypeText = "";
    EXPECT_EQ(DetermineConvertType(s), ".avi");
    EXPECT_EQ(s.ConvertType, ".avi");
}

TEST(OutputList, PendingRowFollowsTheModeAndBecomesTheResultRow) {
    IsolatedHome home;
    TOutputList list;
    JobState s = CutState(home.Root());

    s.StartupDone = false;
    AddPendingRow(s, list);
    AddAudioPendingRow(s, list);
    RefreshJoinRow(s, list, [] { FAIL() << "join built before start-up"; });
    EXPECT_EQ(list.Count(), 0);
    EXPECT_FALSE(s.BuildOnly);

    s.StartupDone = true;
    AddPendingRow(s, list);
    EXPECT_TRUE(s.BuildOnly);
    EXPECT_EQ(s.OutputFile, home.Root() + "Holiday-Cut.AVI");
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Row(0).Caption, "Run time message");
    EXPECT_EQ(list.Row(0).Status, "Idle");
    EXPECT_EQ(list.Row(0).Id, 101);
    EXPECT_EQ(list.Row(0).FullPath, "");
    EXPECT_EQ(list.Row(1).Caption, "Holiday-Cut.AVI");
    EXPECT_EQ(list.Row(1).Status, "PENDING");
    EXPECT_EQ(list.Row(1).Id, 1);
    EXPECT_EQ(list.Row(1).FullPath, s.OutputFile);
    EXPECT_EQ(list.Row(1).Icon, TRowIcon::Avi);

    // switching to convert rewrites the same pending row
    s.Mode = TMode::Convert;
    s.Partial = true;
    AddPendingRow(s, list);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Row(1).Caption, "Holiday-Partial.mp4");
    EXPECT_EQ(list.Row(1).Icon, TRowIcon::Mpeg4);

    // the job runs: Start raises JobCounter and the result lands in the same row
    s.JobCounter++;
    WriteFileBytes(s.OutputFile, std::string(3000, 'v'));
    list.SetRowStatus(TJobStatus::Done, s.OutputFile, GetFileSize64(s.OutputFile), s.JobCounter);
    EXPECT_EQ(list.Row(1).Status, "DONE");
    EXPECT_EQ(list.Row(1).SizeText, "2.92 KB");

    // the next refresh adds a new row and keeps the finished one
    AddPendingRow(s, list);
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Row(1).Status, "DONE");
    EXPECT_EQ(list.Row(2).Caption, "Holiday-Partial01.mp4");
    EXPECT_EQ(list.Row(2).Id, 2);

    // no source selected: only the message row
    TOutputList empty;
    s.InputSelected = false;
    AddPendingRow(s, empty);
    EXPECT_EQ(empty.Count(), 1);
}

TEST(OutputList, WebmWarningAlsoInTheCutMode) {
    IsolatedHome home;
    TOutputList list;
    JobState s = CutState(home.Root());
    s.ConvertTypeText = ".webm";
    AddPendingRow(s, list);
    EXPECT_EQ(list.Row(0).Caption, "WARNING: webm encoding is extremely slow for this build !");
    EXPECT_EQ(list.Row(1).Caption, "Holiday-Cut.AVI");
}

TEST(OutputList, HundredthJobSharesTheMessageRow) {
    IsolatedHome home;
    TOutputList list;
    JobState s = CutState(home.Root());
    s.JobCounter = 100;
    AddPendingRow(s, list);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Row(0).Caption, "Holiday-Cut.AVI");
    EXPECT_EQ(list.Row(0).Status, "PENDING");
}

TEST(OutputList, AudioPendingRow) {
    IsolatedHome home;
    TOutputList list;
    JobState s = CutState(home.Root());
    s.SoundOnly = true;
    s.AudioTypeText = ".ogg";
    AddAudioPendingRow(s, list);
    EXPECT_EQ(s.OutputFile, home.Root() + "Holiday.ogg");
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Row(0).Caption, ""); // no message composed yet
    EXPECT_EQ(list.MessageText, "Run time message");
    EXPECT_EQ(list.Row(1).Caption, "Holiday.ogg");
    EXPECT_EQ(list.Row(1).Status, "PENDING");
    AddAudioPendingRow(s, list);
    EXPECT_EQ(list.Row(0).Caption, "Run time message");
    EXPECT_EQ(list.Row(0).Status, "Idle");
}

TEST(OutputList, JoinRow) {
    IsolatedHome home;
    TOutputList list;
    JobState s = CutState(home.Root());
    s.Mode = TMode::Join;
    int built = 0;
    auto build = [&] {
        ++built;
        s.JoinExt = ".mp4";
        s.JoinedOutput = "/j/out/a-Join.mp4";
        s.JoinCountText = "3";
        s.JoinTotalSize = 3 * 1024 * 1024;
    };
    RefreshJoinRow(s, list, build);
    EXPECT_EQ(built, 1);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Row(0).Caption, "ALL FILES must have same specs (Frame size, codecs...)");
    EXPECT_EQ(list.Row(1).Caption, "a-Join.mp4");
    EXPECT_EQ(list.Row(1).Status, "Total =3");
    EXPECT_EQ(list.Row(1).SizeText, "3.00 MB");
    EXPECT_EQ(list.Row(1).FullPath, "/j/out/a-Join.mp4");

    TOutputList other;
    RefreshJoinRow(s, other, [&] {
        s.JoinExt = ".flv";
        s.JoinedOutput.clear();
    });
    ASSERT_EQ(other.Count(), 1);
    EXPECT_EQ(other.Row(0).Caption, "Idle");
}
