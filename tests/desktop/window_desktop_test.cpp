// The window driven as a person drives it: mouse clicks and keys on a real X server with openbox,
// the outputs judged by their files and the colours of their frames.
#include "desktop/desktop_support.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <unistd.h>

using namespace desktop_test;
using namespace trimora_test;
namespace fs = std::filesystem;

namespace {

const QRgb kRed = qRgb(255, 0, 0), kGreen = qRgb(0, 128, 0), kBlue = qRgb(0, 0, 255);

// "part 10", "part 2", "part 1" copied in that order (the folder's raw order), 3 s each.
std::string MakeParts(const std::string& root) {
    const std::string dir = root + "clips/";
    fs::create_directories(dir);
    for (const auto& [name, colour] :
         {std::pair{"part 10", "blue"}, {"part 2", "green"}, {"part 1", "red"}})
        fs::copy_file(SampleClip(std::string("part_") + colour + ".mkv",
                                 std::string("-f lavfi -i color=c=") + colour +
                                     ":s=160x120:r=25:d=3 -f lavfi -i sine=duration=3 -c:v "
                                     "libx264 -g 50 -c:a aac -shortest"),
                      dir + name + ".mkv");
    return dir;
}

// The window's client area and its dark mode strip (Start at its left end) found on the screen.
struct Window {
    unsigned long id = 0;
    int x = 0, y = 0, w = 0, h = 0, stripTop = -1, stripBottom = -1;
};

Window FindWindow(const Desktop& desk) {
    Window win;
    win.id = desk.WaitWindow("Trimora");
    if (!win.id || !desk.Geometry(win.id, &win.x, &win.y, &win.w, &win.h)) return win;
    // Waits for the first paint (slow on a busy machine), then the folder listing.
    WaitFor([&] {
        const QImage shot = desk.Screenshot();
        win.stripTop = -1;
        for (int y = win.y; y < win.y + win.h && y < shot.height(); ++y) {
            const bool dark = Near(shot.pixel(win.x + 8, y), qRgb(0x26, 0x26, 0x26), 12);
            if (dark && win.stripTop < 0) win.stripTop = y;
            if (dark || win.stripTop < 0) continue;
            if (y - win.stripTop > 15) return (win.stripBottom = y) > 0; // not a dark line
            win.stripTop = -1;
        }
        return false;
    }, 15000, 500);
    Desktop::Sleep(1000);
    return win;
}

int StripMiddle(const Window& w) { return (w.stripTop + w.stripBottom) / 2; }
void ClickStart(const Desktop& d, const Window& w) {
    d.Click(w.x + 50, StripMiddle(w));
}
// The lists fill the window's bottom; a click below the rows focuses the source list.
void FocusList(const Desktop& d, const Window& w) {
    d.Click(w.x + 60, w.y + w.h - 95);
}

// The end time box: the first white box above the strip at the window's right.
void TypeEndTime(const Desktop& d, const Window& w, const std::string& text) {
    const QImage shot = d.Screenshot();
    const int x = w.x + w.w - 50;
    int y = w.stripTop - 1;
    while (y > w.y && !Near(shot.pixel(x, y), qRgb(255, 255, 255), 10)) --y;
    d.Click(x, y - 4);
    d.Key("ctrl+a");
    d.Type(text);
    d.Key("Tab");
}

// The JOIN mode label: the first green text in the strip.
void ClickJoinMode(const Desktop& d, const Window& w) {
    const QImage shot = d.Screenshot();
    for (int x = w.x + 150; x < w.x + w.w / 2; ++x)
        if (qGreen(shot.pixel(x, StripMiddle(w))) > 150 &&
            qRed(shot.pixel(x, StripMiddle(w))) < 100)
            return d.Click(x + 4, StripMiddle(w));
    ADD_FAILURE() << "no JOIN label in the strip";
}

// Waits for a finished output (ffprobe reads a duration near `seconds`) in folder, of the given
// name when one is given.
std::string WaitOutput(const std::string& folder, double seconds, const std::string& name = "") {
    std::string found;
    WaitFor([&] {
        for (const std::string& file : FilesIn(folder))
            if (file.ends_with(".mkv") && (name.empty() || file == name) &&
                std::abs(ProbeDuration(folder + file) - seconds) < 1.0)
                return !(found = folder + file).empty();
        return false;
    }, 60000, 500);
    return found;
}

// Mean colour of the frame of a clip at t seconds.
QRgb FrameColour(const std::string& clip, double t) {
    const std::string png = clip + ".png";
    RunProgram({"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-ss", std::to_string(t), "-i",
                clip, "-frames:v", "1", png});
    const QImage img = QImage(QString::fromStdString(png)).convertToFormat(QImage::Format_RGB32);
    fs::remove(png);
    return img.isNull() ? 0 : MeanColour(img, 40, 30, 80, 60);
}

void ExpectColours(const std::string& joined, const std::vector<QRgb>& colours) {
    ASSERT_FALSE(joined.empty()) << "no joined file";
    for (size_t i = 0; i < colours.size(); ++i)
        EXPECT_TRUE(Near(FrameColour(joined, 1.5 + 3.0 * i), colours[i], 90))
            << "clip " << i + 1 << " of " << joined;
}

// The program on a desktop of its own, in an isolated home with the three parts.
class DesktopWindow : public ::testing::Test {
  protected:
    // Starts argv and finds its window with the mode strip.
    void Open(const std::vector<std::string>& argv) {
        ASSERT_TRUE(desk.Ok());
        ASSERT_GT(desk.Start(argv), 0);
        win = FindWindow(desk);
        ASSERT_GT(win.stripBottom, 0) << "the mode strip is not on the screen";
    }
    // Ends the chosen clip at 2 s and starts the cut; the cut written, or empty.
    std::string CutTo2s(const std::string& name = "") {
        TypeEndTime(desk, win, "0:00:02");
        ClickStart(desk, win);
        return WaitOutput(home.Root() + "zStore/z SaveConvert/", 2.0, name);
    }
    IsolatedHome home;
    const std::string clips = MakeParts(home.Root());
    Desktop desk;
    Window win;
};
using DesktopInstall = DesktopWindow;

} // namespace

TEST_F(DesktopWindow, ListsInNameOrderAndDownThenStartCutsTheHighlightedClip) {
    Open({BinDir() + "trimora", clips + "part 1.mkv"});
    // "part 1" is chosen; two rows down is "part 10" in name order ("part 1" in the raw order).
    FocusList(desk, win);
    for (const char* key : {"Home", "Down", "Down"}) desk.Key(key);
    Desktop::Sleep(1500); // the highlighted clip is chosen and probed
    const std::string out = CutTo2s();
    EXPECT_NE(out.find("part 10"), std::string::npos) << "cut: " << out;
    EXPECT_TRUE(Near(FrameColour(out, 1.0), kBlue, 90)) << out;

    // A second start, given a clip, brings the minimised window back with that clip chosen.
    desk.Xdo({"windowminimize", "--sync", std::to_string(win.id)});
    int rc = -1;
    RunProgram({BinDir() + "trimora", clips + "part 2.mkv"}, &rc);
    EXPECT_EQ(rc, 0);
    ASSERT_EQ(desk.WaitWindow("Trimora", 5000), win.id) << "the first window is not back";
    Desktop::Sleep(3000); // listed, chosen and probed
    EXPECT_FALSE(CutTo2s("part 2-Cut.mkv").empty());
}

TEST_F(DesktopWindow, JoinFollowsTheListOrderAndMovingARowChangesIt) {
    const std::string save = home.Root() + "joined/";
    fs::create_directories(save);
    Settings({{"JoinFolder", QString::fromStdString(clips)},
              {"SaveJoinFolder", QString::fromStdString(save)},
              {"JoinFileType", 2}});
    Open({BinDir() + "trimora"});
    Desktop::Sleep(1000); // start-up done: the join list follows the mode
    ClickJoinMode(desk, win);
    Desktop::Sleep(1000);
    // Tick all three rows from the keyboard.
    FocusList(desk, win);
    for (const char* key : {"Home", "space", "Down", "space", "Down", "space"})
        desk.Key(key);
    Desktop::Sleep(1500);
    ClickStart(desk, win);
    const std::string first = WaitOutput(save, 9.0);
    ExpectColours(first, {kRed, kGreen, kBlue});
    if (!first.empty()) fs::rename(first, home.Root() + "first.mkv");

    // "part 10" (the last row, current) one up: 1, 10, 2.
    FocusList(desk, win);
    desk.Key("End");
    desk.Key("alt+u");
    Desktop::Sleep(1000);
    ClickStart(desk, win);
    ExpectColours(WaitOutput(save, 9.0), {kRed, kBlue, kGreen});
}

TEST(DesktopScreen, FitsA1024x768ScreenAndStaysPutOverRestarts) {
    IsolatedHome home;
    {
        // A window saved on a bigger screen, partly off this one.
        Settings({{"FormLeft", 240}, {"FormTop", 132}, {"FormWidth", 1085}, {"FormHeight", 810}});
        Desktop small(1024, 768);
        ASSERT_TRUE(small.Ok());
        small.Start({BinDir() + "trimora"});
        const Window win = FindWindow(small);
        ASSERT_NE(win.id, 0u);
        EXPECT_TRUE(win.x >= 0 && win.y >= 0 && win.x + win.w <= 1024 && win.y + win.h <= 768)
            << win.x << "," << win.y << " " << win.w << "x" << win.h;
        // The strip with Start and Exit and the lists below it are on the screen.
        EXPECT_GT(win.stripBottom, 0);
        EXPECT_LT(win.stripBottom + 60, 768);
    }
    Settings({{"FormLeft", 100}, {"FormTop", 80}, {"FormWidth", 1000}, {"FormHeight", 760}});
    Desktop desk;
    ASSERT_TRUE(desk.Ok());
    int first[4] = {0, 0, 0, 0};
    for (int i = 0; i < 3; ++i) {
        const pid_t pid = desk.Start({BinDir() + "trimora"});
        const unsigned long id = desk.WaitWindow("Trimora");
        ASSERT_NE(id, 0u) << "start " << i;
        Desktop::Sleep(500);
        int g[4];
        ASSERT_TRUE(desk.Geometry(id, &g[0], &g[1], &g[2], &g[3]));
        if (i == 0) std::copy(g, g + 4, first);
        EXPECT_TRUE(std::equal(g, g + 4, first)) << "start " << i << ": " << g[0] << "," << g[1];
        desk.Xdo({"windowactivate", "--sync", std::to_string(id), "key", "alt+F4"});
        ASSERT_TRUE(desk.Wait(pid, 8000)) << "the window did not close";
    }
}

// No front-ends are linked from the build: the program links its own.
TEST_F(DesktopInstall, TheInstalledProgramWorksFromItsPrefixAlone) {
    if (::geteuid() != 0) GTEST_SKIP() << "hiding the build folder takes a private mount (root)";
    const std::string build = fs::path(BinDir()).parent_path().parent_path().string();
    const std::string prefix = home.Root() + "prefix";
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
    const std::vector<std::string> hidden = {"unshare", "-m", "--", "sh", "-c",
                                             "mount -t tmpfs none \"$0\" && exec \"$@\"", build,
                                             prefix + "/bin/trimora"};
    auto with = [&](std::vector<std::string> args) {
        std::vector<std::string> argv = hidden;
        argv.insert(argv.end(), args.begin(), args.end());
        return argv;
    };
    const std::string out = RunProgram(with({"cut", clips + "part 2.mkv", "--start", "0", "--end",
                                             "2", "--save-folder", home.Root()}),
                                       &rc);
    EXPECT_EQ(rc, 0) << out;
    EXPECT_NEAR(ProbeDuration(home.Root() + "part 2-Cut.mkv"), 2.0, 1.0) << out;

    Open(with({clips}));
    FocusList(desk, win);
    desk.Key("Home");
    desk.Key("End"); // moves to "part 10", the last in name order
    Desktop::Sleep(1500);
    EXPECT_FALSE(CutTo2s("part 10-Cut.mkv").empty());
    // The front-ends it runs are the installed ones.
    EXPECT_TRUE(
        fs::equivalent(home.Root() + "data/trimora/fcut.exe", prefix + "/lib/trimora/fcut.exe"));
}
