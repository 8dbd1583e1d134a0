// The output list model: rows found by ID, the message row, pending rows per mode, results, and
// the output names (never an existing file).
#include "common/helpers.h"
#include "jobs/output_list.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

using namespace trimora;
using trimora_test::IsolatedHome;
using trimora_test::WriteFileBytes;

namespace {

// The rows as "caption|status|size|id|path|icon", one a line; root is shown as "~/".
std::string Dump(const TOutputList& list, const std::string& root = "\x01") {
    std::string s;
    for (int i = 0; i < list.Count(); ++i) {
        const TOutputRow& r = list.Row(i);
        std::string path = r.FullPath;
        if (path.rfind(root, 0) == 0) path = "~/" + path.substr(root.size());
        s += r.Caption + "|" + r.Status + "|" + r.SizeText + "|" + std::to_string(r.Id) + "|" +
             path + "|" + std::to_string(static_cast<int>(r.Icon)) + "\n";
    }
    return s;
}

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

const std::string kAvi = std::to_string(int(TRowIcon::Avi)),
                  kMp4 = std::to_string(int(TRowIcon::Mpeg4)),
                  kMsg = std::to_string(int(TRowIcon::Message));

} // namespace

TEST(OutputList, IconsByExtension) {
    // the extension's case does not matter; extensions of no icon keep what the row had
    EXPECT_EQ(IconForExtension(".Avi", TRowIcon::None), TRowIcon::Avi);
    EXPECT_EQ(IconForExtension(".xyz", TRowIcon::Avi), TRowIcon::Avi);
    EXPECT_EQ(IconForExtension(".webm", TRowIcon::None), TRowIcon::OtherVideo);
}

TEST(OutputList, RowsAreFoundAndWrittenById) {
    TOutputList list;
    list.SetRowStatus("DONE", "/x", 5, 7); // no such row: nothing
    EXPECT_EQ(list.FindRowById(101) + list.Count(), -1);

    EXPECT_EQ(list.SetRowCaption("Run time message", MessageRowId, 0, ".avi"), 0);
    EXPECT_EQ(list.SetRowCaption("a-Cut.avi", 1, 0, ".avi"), 1);
    EXPECT_EQ(list.FindRowById(1), 1);
    const std::tuple<TJobStatus, int64_t, const char*> results[] = {
        {TJobStatus::Done, 1234567, "DONE|1.17 MB"},
        {TJobStatus::Failed, 1, "FAILED|1 bytes"},
        {TJobStatus::Pending, 0, "PENDING|"},
    };
    for (const auto& [status, size, want] : results) {
        list.SetRowStatus(status, "/out/a-Cut.avi", size, 1);
        EXPECT_EQ(Dump(list), "Run time message|||101||" + kMsg + "\na-Cut.avi|" + want +
                                  "|1|/out/a-Cut.avi|" + kAvi + "\n");
    }
    // a new caption on an existing ID changes that row in place and clears its status
    EXPECT_EQ(list.SetRowCaption("b-Cut.mkv", 1, 0, ".mkv"), 1);
    EXPECT_EQ(Dump(list).substr(Dump(list).find('\n') + 1),
              "b-Cut.mkv|||1|/out/a-Cut.avi|" + std::to_string(int(TRowIcon::Matroska)) + "\n");
    list.Clear();
    EXPECT_EQ(list.Count(), 0);

    // A finished row keeps its result when the next pending row has the same name (the user
    // deleted the output meanwhile).
    list.SetRowCaption("clip-Cut.avi", 1, 0, ".avi");
    list.SetRowStatus(TJobStatus::Done, "/o/clip-Cut.avi", 2048, 1);
    list.SetRowCaption("clip-Cut.avi", 2, 0, ".avi");
    list.SetRowStatus(TJobStatus::Pending, "/o/clip-Cut.avi", 0, 2);
    EXPECT_EQ(Dump(list), "clip-Cut.avi|DONE|2.00 KB|1|/o/clip-Cut.avi|" + kAvi +
                              "\nclip-Cut.avi|PENDING||2|/o/clip-Cut.avi|" + kAvi + "\n");
}

TEST(OutputList, OutputNamesAndConvertType) {
    IsolatedHome home;
    const std::string dir = home.Root();
    EXPECT_EQ(OutputBaseName("/v/Holiday.AVI") + OutputBaseName("/v/clip.mp4.mp4") +
                  OutputBaseName("/v/noext"),
              "Holidayclipnoext");
    const std::pair<std::string, std::string> names[] = {
        {CutOutputName(dir, "/v/clip.mp4.mp4"), "clip-Cut.mp4"},
        {ConvertOutputName(dir, "/v/clip.avi", ".webm", false), "clip-Convert.webm"},
        {ConvertOutputName(dir, "/v/clip.avi", ".mp4", true), "clip-Partial.mp4"},
        {AudioOutputName(dir, "/v/clip.mp4.mp4", ".mp3"), "clip.mp4.mp3"},
    };
    for (const auto& [got, want] : names)
        EXPECT_EQ(got, dir + want);

    // The convert type in force: a device item keeps the preset's type; none gives ".avi".
    JobState s;
    const std::pair<const char*, const char*> types[] = {
        {".mkv", ".mkv"}, {"(Device) iPad - HiResolution", ".mkv"}, {"", ".avi"}};
    for (const auto& [text, want] : types) {
        s.ConvertTypeText = text;
        EXPECT_EQ(DetermineConvertType(s), want) << text;
    }
    EXPECT_EQ(s.ConvertType, ".avi");
}

TEST(OutputList, PendingRowFollowsTheModeAndBecomesTheResultRow) {
    IsolatedHome home;
    const std::string root = home.Root();
    TOutputList list;
    JobState s = CutState(root);

    s.StartupDone = false;
    AddPendingRow(s, list);
    AddAudioPendingRow(s, list);
    RefreshJoinRow(s, list, [] { FAIL() << "join built before start-up"; });
    EXPECT_EQ(list.Count(), 0);
    EXPECT_FALSE(s.BuildOnly);

    s.StartupDone = true;
    AddPendingRow(s, list);
    EXPECT_TRUE(s.BuildOnly);
    EXPECT_EQ(s.OutputFile, root + "Holiday-Cut.AVI");
    const std::string message = "Run time message|Idle||101||" + kMsg + "\n";
    EXPECT_EQ(Dump(list, root),
              message + "Holiday-Cut.AVI|PENDING||1|~/Holiday-Cut.AVI|" + kAvi + "\n");

    // switching to convert rewrites the same pending row
    s.Mode = TMode::Convert;
    s.Partial = true;
    AddPendingRow(s, list);
    EXPECT_EQ(Dump(list, root),
              message + "Holiday-Partial.mp4|PENDING||1|~/Holiday-Partial.mp4|" + kMp4 + "\n");

    // the job runs: Start raises JobCounter and the result lands in the same row; the next
    // refresh adds a new row and keeps the finished one
    s.JobCounter++;
    WriteFileBytes(s.OutputFile, std::string(3000, 'v'));
    list.SetRowStatus(TJobStatus::Done, s.OutputFile, GetFileSize64(s.OutputFile), s.JobCounter);
    AddPendingRow(s, list);
    EXPECT_EQ(Dump(list, root),
              message + "Holiday-Partial.mp4|DONE|2.92 KB|1|~/Holiday-Partial.mp4|" + kMp4 +
                  "\nHoliday-Partial01.mp4|PENDING||2|~/Holiday-Partial01.mp4|" + kMp4 + "\n");

    // no source selected: only the message row; the WebM warning shows in the cut mode too;
    // the hundredth job shares the message row
    struct Row {
        bool selected;
        const char* type;
        int counter;
        std::string want;
    };
    const Row rows[] = {
        {false, ".mp4", 0, message},
        {true, ".webm", 0,
         "WARNING: webm encoding is extremely slow for this build !|Idle||101||" + kMsg +
             "\nHoliday-Cut.AVI|PENDING||1|~/Holiday-Cut.AVI|" + kAvi + "\n"},
        {true, ".mp4", 100, "Holiday-Cut.AVI|PENDING||101|~/Holiday-Cut.AVI|" + kMsg + "\n"},
    };
    for (const Row& r : rows) {
        TOutputList fresh;
        JobState c = CutState(root);
        c.InputSelected = r.selected;
        c.ConvertTypeText = r.type;
        c.JobCounter = r.counter;
        AddPendingRow(c, fresh);
        EXPECT_EQ(Dump(fresh, root), r.want);
    }
}

TEST(OutputList, AudioAndJoinRows) {
    IsolatedHome home;
    const std::string root = home.Root();
    TOutputList list;
    JobState s = CutState(root);
    s.SoundOnly = true;
    s.AudioTypeText = ".ogg";
    AddAudioPendingRow(s, list);
    EXPECT_EQ(s.OutputFile, root + "Holiday.ogg");
    EXPECT_EQ(list.MessageText, "Run time message");
    EXPECT_NE(Dump(list, root).find("\nHoliday.ogg|PENDING||1|~/Holiday.ogg|"), std::string::npos);
    EXPECT_EQ(list.Row(0).Caption, ""); // no message composed yet
    AddAudioPendingRow(s, list);
    EXPECT_EQ(list.Row(0).Caption + "|" + list.Row(0).Status, "Run time message|Idle");

    // a join that has no output yet leaves only the message row
    s.Mode = TMode::Join;
    TOutputList none;
    RefreshJoinRow(s, none, [&] {
        s.JoinExt = ".flv";
        s.JoinedOutput.clear();
    });
    EXPECT_EQ(none.Count(), 1);
    EXPECT_EQ(none.Row(0).Caption, "Idle");
}
