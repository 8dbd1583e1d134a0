// The window driven as a person drives it: mouse clicks and keys on a real X server with openbox,
// the outputs judged by their files and the colours of their frames.
#include "desktop/desktop_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

using namespace desktop_test;
using namespace trimora_test;
namespace fs = std::filesystem;

namespace {

const QRgb kRed = qRgb(255, 0, 0), kGreen = qRgb(0, 128, 0), kBlue = qRgb(0, 0, 255);

// The join of the three 3-s parts written to joined, its parts in the order of colours (the
// mean colour of a frame in the middle of each).
void ExpectJoin(const std::string& joined, const std::vector<QRgb>& colours) {
    EXPECT_NEAR(WaitMedia(joined), 9.0, 1.0) << joined;
    const std::string png = joined + ".png";
    for (size_t i = 0; i < colours.size(); ++i) {
        RunProgram({"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-ss",
                    std::to_string(1.5 + 3.0 * i), "-i", joined, "-frames:v", "1", png});
        const QImage img =
            QImage(QString::fromStdString(png)).convertToFormat(QImage::Format_RGB32);
        EXPECT_TRUE(!img.isNull() && Near(MeanColour(img, 40, 30, 80, 60), colours[i], 90))
            << "clip " << i + 1;
        fs::remove(png);
    }
}

// The program's session with "part 10", "part 2", "part 1" copied in that order (the folder's
// raw order), 3 s each.
class DesktopWindow : public ::testing::Test {
  protected:
    DesktopWindow() {
        for (const auto& [name, colour] :
             {std::pair{"part 10", "blue"}, {"part 2", "green"}, {"part 1", "red"}})
            fs::copy_file(SampleClip(std::string("part_") + colour + ".mkv",
                                     std::string("-f lavfi -i color=c=") + colour +
                                         ":s=160x120:r=25:d=3 -f lavfi -i sine=duration=3 -c:v "
                                         "libx264 -g 50 -c:a aac -shortest"),
                          s.clips + name + ".mkv");
    }
    // The lists fill the window's bottom; a click below the rows focuses the list shown.
    void FocusList() {
        const Rect w = s.desk.Geometry(s.window);
        s.desk.Click(w.x + 60, w.y + w.h - 95);
    }
    // Ends the chosen clip at 2 s and starts the cut; the length of the cut named name, or -1.
    double CutTo2s(const std::string& name) {
        s.desk.Click(kEndBoxX, kBoxY);
        s.desk.Key("ctrl+a");
        s.desk.Type("0:00:02");
        s.desk.Key("Tab");
        s.desk.Click(kStartX, kModeY);
        return WaitMedia(s.home.Root() + "zStore/z SaveConvert/" + name);
    }
    Session s;
};
using DesktopInstall = DesktopWindow;

} // namespace

TEST_F(DesktopWindow, ListsInNameOrderAndDownThenStartCutsTheHighlightedClip) {
    ASSERT_TRUE(s.Open({BinDir() + "trimora", s.clips + "part 1.mkv"}));
    // "part 1" is chosen; two rows down is "part 10" in name order ("part 1" in the raw order).
    FocusList();
    for (const char* key : {"Home", "Down", "Down"}) s.desk.Key(key);
    Desktop::Sleep(1500); // the highlighted clip is chosen and probed
    EXPECT_NEAR(CutTo2s("part 10-Cut.mkv"), 2.0, 1.0);

    // A second start, given a clip, brings the minimised window back with that clip chosen.
    s.desk.Xdo({"windowminimize", "--sync", std::to_string(s.window)});
    int rc = -1;
    RunProgram({BinDir() + "trimora", s.clips + "part 2.mkv"}, &rc);
    EXPECT_EQ(rc, 0);
    ASSERT_EQ(s.desk.WaitWindow("Trimora", 5000), s.window) << "the first window is not back";
    Desktop::Sleep(3000); // listed, chosen and probed
    EXPECT_NEAR(CutTo2s("part 2-Cut.mkv"), 2.0, 1.0);
}

TEST_F(DesktopWindow, JoinFollowsTheListOrderAndMovingARowChangesIt) {
    const std::string save = s.home.Root() + "joined/", joined = save + "clips-Joined.mkv";
    fs::create_directories(save);
    Settings({{"JoinFolder", QString::fromStdString(s.clips)},
              {"SaveJoinFolder", QString::fromStdString(save)},
              {"JoinFileType", 2}});
    ASSERT_TRUE(s.Open());
    s.desk.Click(kJoinX, kModeY);
    Desktop::Sleep(1000);
    FocusList();
    for (const char* key : {"Home", "space", "Down", "space", "Down", "space"})
        s.desk.Key(key);
    Desktop::Sleep(1500);
    s.desk.Click(kStartX, kModeY);
    ExpectJoin(joined, {kRed, kGreen, kBlue});
    fs::rename(joined, s.home.Root() + "first.mkv");

    // "part 10" (the last row, current) one up: 1, 10, 2.
    FocusList();
    s.desk.Key("End");
    s.desk.Key("alt+u");
    Desktop::Sleep(1000);
    s.desk.Click(kStartX, kModeY);
    ExpectJoin(joined, {kRed, kBlue, kGreen});
}

TEST(DesktopScreen, FitsA1024x768ScreenAndStaysPutOverRestarts) {
    IsolatedHome home;
    {
        // A window saved on a bigger screen, partly off this one.
        Settings({{"FormLeft", 240}, {"FormTop", 132}, {"FormWidth", 1085}, {"FormHeight", 810}});
        Desktop small(1024, 768);
        ASSERT_TRUE(small.Ok());
        small.Start({BinDir() + "trimora"});
        const unsigned long id = small.WaitWindow("Trimora");
        ASSERT_NE(id, 0u);
        Desktop::Sleep(1500);
        const Rect w = small.Geometry(id);
        EXPECT_TRUE(w.w > 0 && w.x >= 0 && w.y >= 0 && w.x + w.w <= 1024 && w.y + w.h <= 768)
            << w.x << "," << w.y << " " << w.w << "x" << w.h;
    }
    Settings({{"FormLeft", 100}, {"FormTop", 80}, {"FormWidth", 1000}, {"FormHeight", 760}});
    Desktop desk;
    ASSERT_TRUE(desk.Ok());
    Rect first;
    for (int i = 0; i < 3; ++i) {
        const pid_t pid = desk.Start({BinDir() + "trimora"});
        const unsigned long id = desk.WaitWindow("Trimora");
        ASSERT_NE(id, 0u) << "start " << i;
        Desktop::Sleep(500);
        const Rect g = desk.Geometry(id);
        if (i == 0) first = g;
        EXPECT_TRUE(g.w > 0 && g == first) << "start " << i << ": " << g.x << "," << g.y;
        desk.Xdo({"windowactivate", "--sync", std::to_string(id), "key", "alt+F4"});
        ASSERT_TRUE(desk.Wait(pid, 8000)) << "the window did not close";
    }
}

// No front-ends are linked from the build: the program links its own.
TEST_F(DesktopInstall, TheInstalledProgramWorksFromItsPrefixAlone) {
    if (::geteuid() != 0) GTEST_SKIP() << "hiding the build folder takes a private mount (root)";
    const std::string build = fs::path(BinDir()).parent_path().parent_path().string();
    const std::string prefix = s.home.Root() + "prefix";
    int rc = -1;
    const std::string log = RunProgram({"cmake", "--install", build, "--prefix", prefix}, &rc);
    ASSERT_EQ(rc, 0) << log;
    EXPECT_EQ(
        RunProgram({"desktop-file-validate", prefix + "/share/applications/trimora.desktop"}, &rc),
        "");
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(fs::exists(prefix + "/share/man/man1/trimora.1"));
    EXPECT_TRUE(fs::exists(prefix + "/share/icons/hicolor/scalable/apps/trimora.svg"));

    // The build folder is out of reach: an empty folder is mounted over it for the program.
    ASSERT_TRUE(s.Open({"unshare", "-m", "--", "sh", "-c",
                        "mount -t tmpfs none \"$0\" && exec \"$@\"", build,
                        prefix + "/bin/trimora", s.clips}));
    FocusList();
    s.desk.Key("Home");
    s.desk.Key("End"); // moves to "part 10", the last in name order
    Desktop::Sleep(1500);
    EXPECT_NEAR(CutTo2s("part 10-Cut.mkv"), 2.0, 1.0);
    // The front-ends it runs are the installed ones.
    EXPECT_TRUE(
        fs::equivalent(s.home.Root() + "data/trimora/fcut.exe", prefix + "/lib/trimora/fcut.exe"));
}
