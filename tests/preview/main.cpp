// Preview tests: real mplayer processes drawing into native X11 child windows. The binary runs
// its own Xvfb (found through -displayfd, so parallel runs never race for a display number) and
// the xcb platform.
#include "desktop/desktop_support.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <sys/wait.h>

int main(int argc, char** argv) {
    std::string display;
    const pid_t xvfb = desktop_test::StartXvfb(1280, 1024, &display);
    if (xvfb < 0) return 1;
    ::setenv("DISPLAY", display.c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    ::setenv("TRIMORA_MESSAGES", "stderr", 0); // a modal box would wait for ever

    int rc = 0;
    {
        QApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        rc = RUN_ALL_TESTS();
    }
    ::kill(xvfb, SIGTERM);
    ::waitpid(xvfb, nullptr, 0);
    return rc;
}
