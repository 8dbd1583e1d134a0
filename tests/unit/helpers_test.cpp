#include "common/helpers.h"
#include "common/pattern.h"

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

TEST(TimeTexts, FormatAndParseRoundTripWithoutWrapping) {
    EXPECT_EQ(FormatSeconds(0), "00:00:00");
    EXPECT_EQ(FormatSeconds(3725), "01:02:05");
    // positions past 18:12:16 stay right (no 16-bit wrap)
    EXPECT_EQ(FormatSeconds(100000), "27:46:40");
    EXPECT_EQ(FormatSeconds(65536), "18:12:16");
    EXPECT_EQ(FormatSeconds(360000), "100:00:00");
    EXPECT_EQ(FormatSecondsMs(0.0), "00:00:00.000");
    EXPECT_EQ(FormatSecondsMs(5.9996), "00:00:06.000");
    EXPECT_EQ(FormatSecondsMs(75.25), "00:01:15.250");
    EXPECT_EQ(FormatSecondsMs(70000.5), "19:26:40.500");
    for (int64_t s : {0L, 59L, 3599L, 3725L, 65536L, 100000L, 400000L})
        EXPECT_EQ(ParseTimeSeconds(FormatSeconds(s)), s);
}

TEST(TimeTexts, ParseSplitsAtColonsAndKeepsFractionRules) {
    for (const char* t : {"0:01:30.000", "00:01:30.000", "0:01:30", "00:01:30", "1:30"})
        EXPECT_EQ(ParseTimeSeconds(t), 90) << t;
    EXPECT_EQ(ParseTimeSeconds(""), 0);
    EXPECT_EQ(ParseTimeSeconds("1:2:3"), 3723);
    EXPECT_EQ(ParseTimeSeconds("100:00:01"), 360001);
    EXPECT_EQ(ParseTimeSeconds("aa:01:xx"), 60); // non-digit fields count 0
    EXPECT_EQ(ParseTimeSeconds("45"), 45);
    EXPECT_DOUBLE_EQ(ParseTimeSecondsFrac("0:01:30.250"), 90.25);
    EXPECT_DOUBLE_EQ(ParseTimeSecondsFrac("00:01:30.250"), 90.25);
    EXPECT_DOUBLE_EQ(ParseTimeSecondsFrac("00:00:02"), 2.0);
}

TEST(TimeTexts, ElapsedCountsWholeDaysAsHours) {
    const auto start = std::chrono::system_clock::now();
    using namespace std::chrono;
    EXPECT_EQ(FormatElapsed(start + milliseconds(3723004), start), "01:02:03:004");
    EXPECT_EQ(FormatElapsed(start + hours(25) + seconds(1), start), "25:00:01:000");
}

TEST(SizeTexts, MatchTheShellTextAndTheBigFileRule) {
    EXPECT_EQ(FormatFileSize(0), "0 bytes");
    EXPECT_EQ(FormatFileSize(532), "532 bytes");
    EXPECT_EQ(FormatFileSize(1023), "1023 bytes");
    EXPECT_EQ(FormatFileSize(1024), "1.00 KB");
    EXPECT_EQ(FormatFileSize(1536), "1.50 KB");
    EXPECT_EQ(FormatFileSize(2047), "1.99 KB"); // truncated, not rounded
    EXPECT_EQ(FormatFileSize(12 * 1024 + 1000), "12.9 KB");
    EXPECT_EQ(FormatFileSize(999 * 1024), "999 KB");
    EXPECT_EQ(FormatFileSize(1000 * 1024), "0.97 MB");
    EXPECT_EQ(FormatFileSize(1290000), "1.23 MB");
    EXPECT_EQ(FormatFileSize(12897484), "12.2 MB"); // 12.2999...
    EXPECT_EQ(FormatFileSize(128974848), "123 MB");
    EXPECT_EQ(FormatFileSize(1288490189), "1.20 GB");
    EXPECT_EQ(FormatFileSize(INT64_MAX), "7.99 EB");
    EXPECT_TRUE(IsBigFile("1.20 GB"));
    EXPECT_TRUE(IsBigFile("123 MB"));
    EXPECT_TRUE(IsBigFile("123.4 MB"));
    EXPECT_FALSE(IsBigFile("12.3 MB"));
    EXPECT_FALSE(IsBigFile("99.5 MB"));
    EXPECT_FALSE(IsBigFile("532 bytes"));
    EXPECT_FALSE(IsBigFile("999 KB"));
    EXPECT_FALSE(IsBigFile("1.00 TB"));
    EXPECT_FALSE(IsBigFile("G"));
    // every size that the list shows agrees with the rule: 100 MB and up is big
    for (int64_t mb : {1, 9, 10, 99, 100, 500, 999, 1000, 5000}) {
        const int64_t bytes = mb * 1024 * 1024;
        EXPECT_EQ(IsBigFile(FormatFileSize(bytes)), mb >= 100) << mb;
    }
}

class FolderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = ::testing::TempDir() + "helpers-" + std::to_string(::getpid()) + "/";
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    void Touch(const std::string& name) { std::ofstream(dir_ + name) << "x"; }
    std::string dir_;
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
    for (int i = 1; i <= 12; ++i) {
        const std::string next = MakeUniqueFileName(dir_ + "many.avi");
        EXPECT_FALSE(FileExists(next));
        std::ofstream(next) << "x";
    }
    EXPECT_TRUE(FileExists(dir_ + "many11.avi"));
}

TEST_F(FolderTest, LockedWhileAnotherProcessHoldsTheFile) {
    EXPECT_TRUE(IsFileLocked(dir_ + "missing.mkv"));
    Touch("part.mkv");
    EXPECT_FALSE(IsFileLocked(dir_ + "part.mkv"));
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        FILE* f = std::fopen((dir_ + "part.mkv").c_str(), "ab");
        (void)!::write(ready[1], "r", 1);
        ::sleep(5);
        std::fclose(f);
        ::_exit(0);
    }
    char c;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    EXPECT_TRUE(IsFileLocked(dir_ + "part.mkv"));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_FALSE(IsFileLocked(dir_ + "part.mkv"));
    ::close(ready[0]);
    ::close(ready[1]);
}

TEST_F(FolderTest, MoveNeverReplacesAUsersFile) {
    Touch("a");
    std::ofstream(dir_ + "b") << "users file";
    EXPECT_FALSE(MoveFileNoReplace(dir_ + "a", dir_ + "b"));
    EXPECT_TRUE(FileExists(dir_ + "a"));
    std::ifstream in(dir_ + "b");
    std::string content;
    std::getline(in, content);
    EXPECT_EQ(content, "users file");
    EXPECT_TRUE(MoveFileNoReplace(dir_ + "a", dir_ + "c"));
    EXPECT_FALSE(FileExists(dir_ + "a"));
    EXPECT_TRUE(FileExists(dir_ + "c"));
}

TEST_F(FolderTest, PathAndFolderHelpers) {
    EXPECT_TRUE(DirectoryExistsEx(dir_));
    EXPECT_TRUE(DirectoryExistsEx(dir_.substr(0, dir_.size() - 1)));
    EXPECT_FALSE(DirectoryExistsEx(dir_ + "nope/"));
    EXPECT_EQ(LastFolderName("/videos/clips/"), "clips");
    EXPECT_EQ(LastFolderName("/videos/clips/a.avi"), "clips");
    EXPECT_EQ(LastFolderName("/videos/clips"), "videos");
    EXPECT_EQ(LastFolderName("/"), "");
    EXPECT_EQ(FileNameOf("/v/12:30 news.mp4"), "12:30 news.mp4"); // colons are legal in names
    EXPECT_EQ(FolderOf("/v/a.avi"), "/v/");
    EXPECT_EQ(EvenFrameSize("721x405"), "720x404");
    EXPECT_EQ(EvenFrameSize("640x480"), "640x480");
    EXPECT_EQ(EvenFrameSize("640"), " ");
    EXPECT_EQ(GetFileSize64(dir_ + "missing"), 0);
    Touch("one");
    EXPECT_EQ(GetFileSize64(dir_ + "one"), 1);
    for (const auto& f : {SystemFolder(), SystemDriveRoot(), TempFolder(), ProgramFolder()})
        EXPECT_EQ(f.back(), '/') << f;
    SetProcessorCountOverride(12);
    EXPECT_EQ(GetProcessorCount(), 6);
    SetProcessorCountOverride(2);
    EXPECT_EQ(GetProcessorCount(), 2);
    SetProcessorCountOverride(0);
    EXPECT_GE(GetProcessorCount(), 1);
    EXPECT_LE(GetProcessorCount(), 6);
}

TEST(TextHelpers, MarkersIgnoreCaseAndTrim) {
    EXPECT_EQ(TextAfter("frame=  10 TIME=5 ", "time="), "5");
    EXPECT_EQ(TextAfter("abc", "x"), "");
    EXPECT_EQ(TextAfter("", "x"), "");
    EXPECT_EQ(TextBefore("  h264, yuv420p", "V420P"), "h264, yu");
    EXPECT_EQ(TextAfterLast("a:b: c ", ':', false), "c");
    EXPECT_EQ(TextAfterLast("a:b:c", ':', true), ":c");
    EXPECT_EQ(TextAfterLast("abc", ':', false), "abc");
    EXPECT_EQ(TextUpToLast("a,b,c", ',', false), "a,b");
    EXPECT_EQ(TextUpToLast("a,b,c", ',', true), "a,b,");
    EXPECT_EQ(TextUpToLast("abc", ',', false), "");
    EXPECT_EQ(StrToIntOrZero("0042"), 42);
    for (const char* bad : {"", "-1", " 1", "1a", "+3", "99999999999999999999999"})
        EXPECT_EQ(StrToIntOrZero(bad), 0) << bad;
}

TEST(Patterns, PerlSyntaxSearchedAnywhereWithOptionalCaseFolding) {
    EXPECT_TRUE(MatchesPattern(".AVI", "(?i).avi"));
    EXPECT_FALSE(MatchesPattern(".AVI", ".avi"));
    EXPECT_TRUE(MatchesPattern("xavi", "(?i).avi")); // the point matches any character
    EXPECT_TRUE(MatchesPattern(".wmv", "(?i)wmv|asf"));
    EXPECT_TRUE(MatchesPattern("  Duration: 00:01:02.03", "(?i)^Duration|ation:"));
    EXPECT_FALSE(MatchesPattern("x.mp4", "^mp4"));
    EXPECT_TRUE(MatchesPattern(".mp4", "mp4$"));
    EXPECT_FALSE(MatchesPattern("anything", "(unclosed"));
}
