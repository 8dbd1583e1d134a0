// The output list model: rows found by ID, the message row, pending rows per mode, results, and
// the output names. The window's job tests show these rows for real jobs of every mode.
#include "common/helpers.h"
#include "jobs/output_list.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <cstdio>

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
    const std::pair<std::string, std::string> names[] = {
        {CutOutputName(dir, "/v/clip.mp4.mp4"), "clip-Cut.mp4"},
        {ConvertOutputName(dir, "/v/clip", ".webm", false), "clip-Convert.webm"},
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

    // the job runs: Start raises JobCounter and the result lands in the same row; the next
    // refresh adds a new row and keeps the finished one
    s.JobCounter++;
    WriteFileBytes(s.OutputFile, std::string(3000, 'v'));
    list.SetRowStatus(TJobStatus::Done, s.OutputFile, GetFileSize64(s.OutputFile), s.JobCounter);
    AddPendingRow(s, list);
    EXPECT_EQ(Dump(list, root),
              message + "Holiday-Cut.AVI|DONE|2.92 KB|1|~/Holiday-Cut.AVI|" + kAvi +
                  "\nHoliday-Cut01.AVI|PENDING||2|~/Holiday-Cut01.AVI|" + kAvi + "\n");
    std::remove((root + "Holiday-Cut.AVI").c_str());

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
