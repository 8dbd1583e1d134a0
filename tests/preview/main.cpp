// Preview tests: real mplayer processes drawing into native X11 child windows. The binary runs
// its own Xvfb (found through -displayfd, so parallel runs never race for a display number) and
// the xcb platform, unless TRIMORA_PREVIEW_DISPLAY=keep asks to use the current $DISPLAY.
#include <QApplication>
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

pid_t StartXvfb() {
    int fds[2];
    if (::pipe(fds) != 0) return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM); // never outlive a crashed test run
        ::close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24",
                 "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char c = 0;
    while (::poll(&p, 1, 15000) > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n')
        number += c;
    ::close(fds[0]);
    if (pid < 0 || number.empty()) {
        std::fprintf(stderr, "preview tests: Xvfb did not start\n");
        return -1;
    }
    ::setenv("DISPLAY", (":" + number).c_str(), 1);
    return pid;
}

} // namespace

int main(int argc, char** argv) {
    pid_t xvfb = -1;
    const char* keep = std::getenv("TRIMORA_PREVIEW_DISPLAY");
    if (!keep || std::strcmp(keep, "keep") != 0) {
        xvfb = StartXvfb();
        if (xvfb < 0) return 1;
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
