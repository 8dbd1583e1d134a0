// The controller on its own: an mplayer drawing into a native child window, fed through the
// Qt event loop as in the window.
#include "preview_support.h"

#include "common/helpers.h"
#include "preview/preview_player.h"
#include "support/test_env.h"

#include <QMetaObject>
#include <QPalette>
#include <gtest/gtest.h>

using namespace trimora;
using namespace preview_test;

namespace {

std::string PlayerForTests() {
    const std::string built = trimora_test::BinDir() + "mplayer.exe";
    return FileExists(built) ? built : "/usr/bin/mplayer";
}

} // namespace

TEST(PlayerEmbed, DrawsIntoTheNativePanelAndFollowsSeeks) {
    QWidget window;
    window.resize(400, 300);
    QWidget* panel = new QWidget(&window);
    panel->setGeometry(20, 20, 320, 240);
    panel->setAttribute(Qt::WA_NativeWindow);
    panel->setAutoFillBackground(true);
    QPalette pal = panel->palette();
    pal.setColor(QPalette::Window, QColor(0x10, 0x10, 0x10));
    panel->setPalette(pal);
    window.show();
    ASSERT_GE(WaitUntil([&] { return window.isVisible(); }, 2000), 0);
    Spin(100);
    EXPECT_FALSE(ShowsPicture(GrabPanel(panel)));

    PreviewPlayer p;
    p.host.Post = [&window](std::function<void()> work) {
        QMetaObject::invokeMethod(&window, std::move(work), Qt::QueuedConnection);
    };
    int changes = 0;
    p.host.PositionChanged = [&] { ++changes; };
    p.PlayerExe = PlayerForTests();
    p.MediaFile = Clip(".avi");
    p.Start(panel->winId());
    ASSERT_TRUE(p.IsRunning());
    const qint64 shown = WaitUntil([&] { return ShowsPicture(GrabPanel(panel)); }, 3000);
    std::printf("[ timing ] player start to picture: %lld ms\n", static_cast<long long>(shown));
    EXPECT_GE(shown, 0);
    EXPECT_GE(WaitUntil([&] { return p.Status() == TPlayerStatus::Status_Playing; }, 2000), 0);
    Spin(300);
    p.Pause();
    Spin(200);
    const QImage before = GrabPanel(panel);

    p.SendCommand("seek 3 2");
    p.Pause();
    EXPECT_GE(WaitUntil([&] { return p.SecondPosition == 3; }, 2000), 0);
    Spin(200);
    EXPECT_GT(Difference(before, GrabPanel(panel)), 0.02);
    EXPECT_GE(changes, 2);

    const int pid = p.Pid();
    p.Stop();
    EXPECT_FALSE(p.IsRunning());
    EXPECT_EQ(p.Status(), TPlayerStatus::Status_Stopped);
    EXPECT_NE(::kill(pid, 0), 0);
    EXPECT_TRUE(OwnPlayerPids().empty());
}
