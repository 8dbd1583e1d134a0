// Program entry: with a sub-command the program runs headless on the core; without one it
// opens the window, once per user.
#include "app/application.h"
#include "app/dialogs.h"
#include "app/main_form.h"
#include "app/single_instance.h"
#include "cli/cli.h"
#include "common/helpers.h"
#include "common/safe_output.h"

#include <QLocale>
#include <QTimer>
#include <clocale>
#include <cstdio>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    // A sub-command runs headless: no QApplication, no display needed.
    if (const int status = trimora::RunCommandLine(argc, argv); status >= 0) return status;

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
    // Work files and unfinished outputs of an earlier run that was killed.
    trimora::CleanOrphanedJobs();
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
