// The desktop under test: the real program opens its window on an X server with a window
// manager, and the screenshot shows it.
#include "desktop/desktop_support.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

using namespace desktop_test;

TEST(Desktop, ProgramWindowAppearsOnTheScreen) {
    trimora_test::IsolatedHome home;
    home.InstallTools();
    Desktop desk;
    ASSERT_TRUE(desk.Ok());
    ASSERT_GT(desk.Start({trimora_test::BinDir() + "trimora"}), 0);
    const unsigned long win = desk.WaitWindow("Trimora");
    ASSERT_NE(win, 0u);
    int x, y, w, h;
    ASSERT_TRUE(desk.Geometry(win, &x, &y, &w, &h));
    const QImage shot = desk.Screenshot();
    ASSERT_FALSE(shot.isNull());
    EXPECT_GE(x, 0);
    EXPECT_LE(x + w, shot.width());
    EXPECT_LE(y + h, shot.height());
}
