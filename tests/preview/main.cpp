// Preview tests: real mplayer processes drawing into native X11 child windows. The binary runs
// its own Xvfb (found through -displayfd, so parallel runs never race for a display number) and
// the xcb platform, unless TRIMORA_PREVIEW_DISPLAY=keep asks to use the current $DISPLAY.
#include "desktop/desktop_support.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cstring>
#include <sys/wait.h>

int main(int argc, char** argv) {
    pid_t xvfb = -1;
    const char* keep = std::getenv("TRIMORA_PREVIEW_DISPLAY");
    if (!keep || std::strcmp(keep, "keep") != 0) {
        std::string display;
        if ((xvfb = desktop_test::StartXvfb(1280, 1024, &display)) < 0) return 1;
        ::setenv("DISPLAY", display.c_str(), 1);
    }
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    ::setenv("TRIMORA_MESSAGES", "stderr", 0); // a modal box would wait for ever

    int rc = 0;
    {
        QApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        rc = RUN_ALL_TESTS();
    }
    if (xvfb > 0) {
        ::kill(xvfb, SIGTERM);
        ::waitpid(xvfb, nullptr, 0);
    }
    return rc;
}
