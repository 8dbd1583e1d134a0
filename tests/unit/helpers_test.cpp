#include "common/helpers.h"
#include "common/pattern.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace trimora;
namespace fs = std::filesystem;

TEST(TextForms, TimesAndSizes) {
    const auto start = std::chrono::system_clock::now();
    using namespace std::chrono;
    const std::pair<std::string, std::string> rows[] = {
        {FormatSeconds(3725), "01:02:05"},
        {FormatSeconds(-1), "-00:00:01"},
        // positions past 18:12:16 stay right (no 16-bit wrap)
        {FormatSeconds(360000), "100:00:00"},
        {FormatSecondsMs(5.9996), "00:00:06.000"},
        {FormatSecondsMs(70000.5), "19:26:40.500"},
        {FormatElapsed(start + milliseconds(3723004), start), "01:02:03:004"},
        {FormatElapsed(start + hours(25) + seconds(1), start), "25:00:01:000"},
        {FormatFileSize(1023), "1023 bytes"},
        {FormatFileSize(1024), "1.00 KB"},
        {FormatFileSize(2047), "1.99 KB"}, // truncated, not rounded
        {FormatFileSize(12 * 1024 + 1000), "12.9 KB"},
        {FormatFileSize(999 * 1024), "999 KB"},
        {FormatFileSize(1000 * 1024), "0.97 MB"},
        {FormatFileSize(12897484), "12.2 MB"}, // 12.2999...
        {FormatFileSize(128974848), "123 MB"},
        {FormatFileSize(INT64_MAX), "7.99 EB"},
    };
    for (const auto& [got, want] : rows)
        EXPECT_EQ(got, want);

    for (const char* t : {"0:01:30.000", "00:01:30", "1:30"})
        EXPECT_EQ(ParseTimeSeconds(t), 90) << t;
    // non-digit fields count 0
    const std::pair<const char*, int64_t> times[] = {
        {"", 0}, {"1:2:3", 3723}, {"100:00:01", 360001}, {"aa:01:xx", 60}, {"45", 45}};
    for (const auto& [text, seconds] : times)
        EXPECT_EQ(ParseTimeSeconds(text), seconds) << text;
    EXPECT_DOUBLE_EQ(ParseTimeSecondsFrac("0:01:30.250"), 90.25);

    // Big files are the ones of 100 MB and up, as every size the list shows says.
    EXPECT_TRUE(IsBigFile("123.4 MB"));
    for (const char* small : {"99.5 MB", "1.00 TB", "G"})
        EXPECT_FALSE(IsBigFile(small)) << small;
    for (int64_t mb : {1, 9, 10, 99, 100, 500, 999, 1000, 5000})
        EXPECT_EQ(IsBigFile(FormatFileSize(mb * 1024 * 1024)), mb >= 100) << mb;
}

class FolderTest : public ::testing::Test {
  protected:
    void Touch(const std::string& name) { std::ofstream(dir_ + name) << "x"; }
    trimora_test::IsolatedHome home_;
    const std::string dir_ = home_.Root();
};

TEST_F(FolderTest, UniqueNamesNeverPickAnExistingSpelling) {
    EXPECT_EQ(MakeUniqueFileName(dir_ + "clip-Cut.avi"), dir_ + "clip-Cut.avi");
    Touch("clip-Cut.avi");
    EXPECT_EQ(MakeUniqueFileName(dir_ + "clip-Cut.avi"), dir_ + "clip-Cut01.avi");
    Touch("clip-Cut01.avi");
    EXPECT_EQ(MakeUniqueFileName(dir_ + "clip-Cut.avi"), dir_ + "clip-Cut02.avi");
    Touch("clip-Cut002.avi");
    Touch("clip-Cut3.avi");
    EXPECT_EQ(MakeUniqueFileName(dir_ + "clip-Cut01.avi"), dir_ + "clip-Cut04.avi");
    Touch("take7.avi");
    EXPECT_EQ(MakeUniqueFileName(dir_ + "take7.avi"), dir_ + "take.avi");
    Touch("movie.webm");
    EXPECT_EQ(MakeUniqueFileName(dir_ + "movie.webm"), dir_ + "movie01.webm");
    Touch("2024.mp4");
    EXPECT_EQ(MakeUniqueFileName(dir_ + "2024.mp4"), dir_ + "01.mp4");
}

TEST_F(FolderTest, MoveNeverReplacesAUsersFile) {
    Touch("a");
    std::ofstream(dir_ + "b") << "users file";
    EXPECT_FALSE(MoveFileNoReplace(dir_ + "a", dir_ + "b"));
    EXPECT_TRUE(FileExists(dir_ + "a") && trimora_test::ReadFileBytes(dir_ + "b") == "users file");
    EXPECT_TRUE(MoveFileNoReplace(dir_ + "a", dir_ + "c"));
    EXPECT_TRUE(!FileExists(dir_ + "a") && FileExists(dir_ + "c"));
}

TEST_F(FolderTest, PathAndFolderHelpers) {
    EXPECT_TRUE(DirectoryExistsEx(dir_) && DirectoryExistsEx(dir_.substr(0, dir_.size() - 1)));
    EXPECT_FALSE(DirectoryExistsEx(dir_ + "nope/"));
    Touch("one");
    EXPECT_EQ(FileNameOf("/v/12:30 news.mp4"), "12:30 news.mp4"); // colons are legal in names
    EXPECT_EQ(GetFileSize64(dir_ + "missing") + GetFileSize64(dir_ + "one"), 1);
    for (const auto& [cores, used] : {std::pair{12, 6}, {2, 2}}) {
        SetProcessorCountOverride(cores);
        EXPECT_EQ(GetProcessorCount(), used);
    }
    SetProcessorCountOverride(0);
    EXPECT_TRUE(GetProcessorCount() >= 1 && GetProcessorCount() <= 6);
}

TEST(TextHelpers, MarkersIgnoreCaseNumbersAndPatterns) {
    EXPECT_EQ(TextAfter("frame=  10 TIME=5 ", "time="), "5");
    EXPECT_EQ(StrToIntOrZero("0042"), 42);
    for (const char* bad : {"", "-1", " 1", "1a", "+3", "99999999999999999999999"})
        EXPECT_EQ(StrToIntOrZero(bad), 0) << bad;

    // Patterns: Perl syntax, searched anywhere, case folded on request; a point is any character.
    const std::tuple<const char*, const char*, bool> patterns[] = {
        {".AVI", "(?i).avi", true},
        {".AVI", ".avi", false},
        {".wmv", "(?i)wmv|asf", true},
        {"x.mp4", "^mp4", false},
        {"  Duration: 00:01:02.03", "(?i)^Duration|ation:", true},
        {"anything", "(unclosed", false}};
    for (const auto& [text, pattern, match] : patterns)
        EXPECT_EQ(MatchesPattern(text, pattern), match) << text << " " << pattern;
}
