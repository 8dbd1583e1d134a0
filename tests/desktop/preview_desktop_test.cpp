// The two previews as a user sees them: clips of any frame size fill the panels with their aspect
// kept, nothing but picture or black is in a panel after a cut, a resize, hiding and showing and
// a mode switch, a typed time or a slider drag shows the frame at that time on a clip with 10-s
// keyframes, and Start right after a click cuts the whole clip.
#include "desktop/desktop_support.h"
#include "common/helpers.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

using namespace desktop_test;
namespace fs = std::filesystem;

namespace {

// Slider handles at the two ends of a 30-s clip (start slider at 0, end slider at the end) and
// the pixels per second of each slider.
constexpr int kStartHandleX = 45, kEndHandleX = 1247, kSliderPxPerSecond = 17;

// The two picture panels, start first, once each player's window has taken its panel's size (a
// player window starts at a size of its own); empty until then.
std::vector<Rect> Panels(const Desktop& desk) {
    std::vector<Rect> found;
    WaitFor([&] {
        std::istringstream ids(desk.Xdo({"search", "--class", "mpv"}));
        found.clear();
        for (unsigned long id; ids >> id;) {
            const Rect r = desk.Geometry(id), p = desk.Geometry(desk.Parent(id));
            if (p.w > 50 && std::abs(r.w - p.w) <= 2 && std::abs(r.h - p.h) <= 2)
                found.push_back(p);
        }
        return found.size() == 2;
    }, 15000);
    if (found.size() != 2) return {};
    std::sort(found.begin(), found.end(), [](const Rect& a, const Rect& b) { return a.x < b.x; });
    return found;
}

void Open(Session& s, const std::string& clip) {
    fs::copy_file(clip, s.clips + fs::path(clip).filename().string());
    ASSERT_TRUE(s.Open());
}

bool IsBlack(QRgb c) {
    return Near(c, qRgb(0, 0, 0), 40);
}

// From the centre outward along the middle lines, the picture ends in the clip's red border on
// every side (nothing cropped); and a grid over the whole panel finds nothing but black, red or
// blue (no stale copies of other controls).
void ExpectFramedPicture(const QImage& shot, Rect p, const std::string& what,
                         bool picture = true) {
    SCOPED_TRACE(what);
    p = {p.x + 3, p.y + 3, p.w - 6, p.h - 6};
    const int cx = p.x + p.w / 2, cy = p.y + p.h / 2;
    const QRgb red = qRgb(255, 0, 0), blue = qRgb(0, 0, 255);
    // From the centre outward: the picture's colour a few pixels before the black bars or the
    // panel's edge (the scaled border's own edges are blended).
    auto edgeColour = [&](int dx, int dy) {
        QRgb back[4] = {0, 0, 0, 0};
        int n = 0;
        for (int x = cx, y = cy; x >= p.x && x < p.x + p.w && y >= p.y && y < p.y + p.h;
             x += dx, y += dy, ++n) {
            const QRgb c = shot.pixel(x, y);
            if (IsBlack(c)) break;
            back[n % 4] = c;
        }
        return back[(n + 1) % 4]; // three pixels before the end
    };
    // Scaling blends the border's edges; a stale control would cover far more than 2 %.
    int stray = 0, seen = 0;
    for (int y = p.y; y < p.y + p.h; y += 7)
        for (int x = p.x; x < p.x + p.w; x += 7, ++seen) {
            const QRgb c = shot.pixel(x, y);
            if (!IsBlack(c) && !Near(c, red, 150) && !Near(c, blue, 150)) ++stray;
        }
    EXPECT_LT(stray, seen / 50) << "pixels that are neither picture nor black";
    if (!picture) return;
    for (const auto& [dx, dy, side] :
         {std::tuple{-1, 0, "left"}, {1, 0, "right"}, {0, -1, "top"}, {0, 1, "bottom"}})
        EXPECT_TRUE(Near(edgeColour(dx, dy), red, 120)) << side;
    EXPECT_TRUE(Near(MeanColour(shot, cx - 5, cy - 5, 10, 10), blue, 120)) << "centre";
}

void Drag(const Desktop& desk, int fromX, int toX) {
    const std::string y = std::to_string(kBoxY);
    std::vector<std::string> args = {"mousemove", "--sync", std::to_string(fromX), y, "mousedown", "1"};
    for (int step = 1; step <= 4; ++step)
        args.insert(args.end(), {"mousemove", "--sync",
                                 std::to_string(fromX + (toX - fromX) * step / 4), y, "sleep", "0.1"});
    args.insert(args.end(), {"mouseup", "1"});
    desk.Xdo(args);
}

int FrameNumberShown(const QImage& shot, const Rect& p) {
    const int h = p.w * 9 / 16, top = p.y + (p.h - h) / 2;
    int n = 0;
    for (int bit = 0; bit < 10; ++bit) {
        const QRgb c = MeanColour(shot, p.x + (2 * bit + 1) * p.w / 20 - 2, top + h / 4, 4, 4);
        if (qGreen(c) > 128) n |= 1 << bit;
    }
    return n;
}

// Once the picture has settled: the time in the box (copied through the clipboard) is the time
// of the frame shown, within one frame at 25 fps. Returns the frame shown.
int ExpectBoxShowsPicture(const Desktop& desk, int boxX, const Rect& panel) {
    int shown = -1, before = -2;
    WaitFor([&] { // the picture has settled: two screenshots half a second apart agree
        before = std::exchange(shown, FrameNumberShown(desk.Screenshot(), panel));
        return before == shown;
    }, 12500, 500);
    desk.Click(boxX, kBoxY);
    desk.Key("ctrl+a");
    desk.Key("ctrl+c");
    const std::string box = desk.Clipboard();
    EXPECT_NEAR(trimora::ParseTimeSecondsFrac(box) * 25, shown, 1.01) << "box " << box;
    return shown;
}

} // namespace

TEST(PreviewDesktop, AnyFrameSizeFillsThePanelsAndModeSwitchLeavesOnlyBlack) {
    const std::string border = "-vf pad=iw*10/9:ih*10/9:(ow-iw)/2:(oh-ih)/2:red -c:v libx264 "
                               "-pix_fmt yuv420p -g 50";
    for (const char* size : {"1728x972", "288x162"}) {
        const std::string name = std::string("frame_") + size;
        Session s;
        Open(s, trimora_test::SampleClip(name + ".mkv", "-f lavfi -i color=c=blue:s=" +
                                                    std::string(size) + ":r=25:d=4 " + border));
        s.desk.Click(kFirstRowX, kFirstRowY);
        std::vector<Rect> panels = Panels(s.desk);
        ASSERT_EQ(panels.size(), 2u) << name;
        // The player may show its first frame before it has followed the panel's size.
        QImage shot;
        WaitFor([&] {
            shot = s.desk.Screenshot();
            const QRgb c = shot.pixel(panels[0].x + panels[0].w - 8, panels[0].y + panels[0].h / 2);
            return IsBlack(c) || Near(c, qRgb(255, 0, 0), 150);
        }, 7000, 700);
        ExpectFramedPicture(shot, panels[0], name + " start");
        ExpectFramedPicture(shot, panels[1], name + " end");

        // A finished cut, a smaller window and hiding and showing it leave the picture alone.
        s.desk.Click(kStartX, kModeY);
        EXPECT_GT(WaitMedia(s.home.Root() + "zStore/z SaveConvert/" + name + "-Cut.mkv"), 0);
        Desktop::Sleep(1500);
        ExpectFramedPicture(s.desk.Screenshot(), panels[0], name + " after the cut");
        const std::string id = std::to_string(s.window);
        s.desk.Xdo({"windowsize", "--sync", id, "1100", "800"});
        panels = Panels(s.desk);
        ASSERT_EQ(panels.size(), 2u) << name << " resized";
        Desktop::Sleep(1000);
        ExpectFramedPicture(s.desk.Screenshot(), panels[0], name + " resized");
        s.desk.Xdo({"windowminimize", "--sync", id, "sleep", "0.5", "windowactivate", "--sync", id});
        Desktop::Sleep(1500);
        ExpectFramedPicture(s.desk.Screenshot(), panels[1], name + " restored");

        s.desk.Click(kJoinX, kModeY);
        Desktop::Sleep(1000);
        s.desk.Click(kCutX, kModeY);
        Desktop::Sleep(1500);
        // The mode switch stops the previews: black, and nothing else, until a clip is clicked.
        ExpectFramedPicture(s.desk.Screenshot(), panels[0], name + " after JOIN and back", false);
    }
}

TEST(PreviewDesktop, TypedTimeShowsThatFrameAndStartCutsTheWholeClip) {
    const std::pair<std::string, std::string> clips[] = {
        {".mkv", "-c:v libx264 -pix_fmt yuv420p -sc_threshold 0"}, {".wmv", "-c:v wmv2 -q:v 2"}};
    for (const auto& [ext, codec] : clips) {
        SCOPED_TRACE(ext);
        Session s; // frames carry their own number in ten black/white bars across the upper half
        Open(s, trimora_test::SampleClip(
                    "frames_k10" + ext,
                    "-f lavfi -i testsrc2=size=640x360:rate=25:duration=30 -vf format=gray,geq="
                    "lum='if(lt(Y,H/2),16+219*mod(floor(N/pow(2,floor(X*10/W))),2),128)',"
                    "format=yuv420p " + codec + " -g 250 -keyint_min 250 -an"));
        s.desk.Click(kFirstRowX, kFirstRowY);
        const std::vector<Rect> panels = Panels(s.desk);
        ASSERT_EQ(panels.size(), 2u);
        Desktop::Sleep(1500);
        EXPECT_EQ(FrameNumberShown(s.desk.Screenshot(), panels[0]), 0);

        // A drag of the start slider to about 15 s, between two keyframes.
        Drag(s.desk, kStartHandleX, kStartHandleX + 15 * kSliderPxPerSecond);
        EXPECT_GT(ExpectBoxShowsPicture(s.desk, kStartBoxX, panels[0]), 300);

        // 13.32 s is 3.32 s past a keyframe: frame 333.
        s.desk.Click(kStartBoxX, kBoxY);
        s.desk.Key("ctrl+a");
        s.desk.Type("0:00:13.32");
        s.desk.Key("Return");
        int shown = -1;
        WaitFor([&] { return (shown = FrameNumberShown(s.desk.Screenshot(), panels[0])) == 333; },
                10500, 300);
        EXPECT_NEAR(shown, 333, 1);
        // The end preview opened on the clip's last frame.
        EXPECT_NEAR(FrameNumberShown(s.desk.Screenshot(), panels[1]), 749, 1);

        // Start cuts from the typed time to the clip's end.
        s.desk.Click(kStartX, kModeY);
        const double cut = WaitMedia(s.home.Root() + "zStore/z SaveConvert/frames_k10-Cut" + ext);
        EXPECT_TRUE(cut > 30.0 - 13.32 - 0.1 && cut < 21) << cut; // from the keyframe at 10 s

        // A drag of the end slider back to about 22 s.
        Drag(s.desk, kEndHandleX, kEndHandleX - 8 * kSliderPxPerSecond);
        EXPECT_LT(ExpectBoxShowsPicture(s.desk, kEndBoxX, panels[1]), 650);
    }
}
