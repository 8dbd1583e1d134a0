// The window's entry: the part of the program that needs the widget toolkit. It lives in a
// module of its own beside the program (libtrimora_window.so), loaded only when the window
// opens, so that a sub-command of the command line starts without loading the toolkit.
#include "app/application.h"
#include "app/dialogs.h"
#include "app/main_form.h"
#include "app/single_instance.h"
#include "common/helpers.h"

#include <QLocale>
#include <QTimer>
#include <clocale>
#include <cstdio>
#include <fstream>
#include <string>

extern "C" __attribute__((visibility("default"))) int TrimoraWindowMain(int argc, char** argv) {
    // Numbers are written and read with a point, whatever the user's locale.
    std::setlocale(LC_NUMERIC, "C");

    trimora::SingleInstanceLock lock;
    const std::string exeName = trimora::FileNameOf(argv[0]);
    const bool first = lock.Acquire(trimora::SystemFolder(), exeName.empty() ? "trimora" : exeName);

    trimora::TrimoraApplication app(argc, argv);
    QLocale::setDefault(QLocale::c());
    if (!first) {
        trimora::ShowMessage(nullptr,
                             QStringLiteral("This program is already running (Check Tray!)."));
        return 0;
    }
    trimora::MainForm form;
    form.show();
    // For the start-up benchmark: say when the window is up, with the resident memory, and end.
    if (qEnvironmentVariableIsSet("TRIMORA_EXIT_WHEN_SHOWN")) {
        QTimer::singleShot(0, &app, [&app] {
            std::ifstream status("/proc/self/status");
            std::string line, rss = "?";
            while (std::getline(status, line))
                if (line.rfind("VmRSS:", 0) == 0) rss = line.substr(6);
            std::printf("shown rss%s\n", rss.c_str());
            std::fflush(stdout);
            app.quit();
        });
    }
    return app.exec();
}
