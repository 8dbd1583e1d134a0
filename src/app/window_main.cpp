// The window's entry: the code that needs the widget toolkit. It lives in a
// module of its own beside the program (libtrimora_window.so), loaded only when the window
// opens, so that a sub-command of the command line starts without loading the toolkit.
#include "app/application.h"
#include "app/dialogs.h"
#include "app/main_form.h"
#include "app/single_instance.h"
#include "common/helpers.h"

#include <QFileInfo>
#include <QLocale>
#include <QTimer>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace {

// The previews draw into the window through X11; on a Wayland session the program runs through
// XWayland unless the user chose a platform.
void UseX11Platform(int argc, char** argv) {
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || !qEnvironmentVariableIsSet("DISPLAY"))
        return;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0) return;
    if (qEnvironmentVariableIsSet("WAYLAND_DISPLAY") || qgetenv("XDG_SESSION_TYPE") == "wayland")
        qputenv("QT_QPA_PLATFORM", "xcb");
}

} // namespace

extern "C" __attribute__((visibility("default"))) int TrimoraWindowMain(int argc, char** argv) {
    // Numbers are written and read with a point, whatever the user's locale.
    std::setlocale(LC_NUMERIC, "C");
    UseX11Platform(argc, argv);

    // `trimora FILE` or `trimora FOLDER`: that folder listed, that clip chosen.
    std::string openPath;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-platform" || a == "-display") ++i; // Qt's options with a value
        else if (!a.empty() && a[0] != '-' && openPath.empty())
            openPath = QFileInfo(QString::fromLocal8Bit(argv[i])).absoluteFilePath().toStdString();
    }

    trimora::SingleInstanceLock lock;
    const std::string exeName = trimora::FileNameOf(argv[0]);
    const std::string name = exeName.empty() ? "trimora" : exeName;
    const bool first = lock.Acquire(trimora::SystemFolder(), name);

    trimora::InstanceChannel channel(trimora::WithSlash(trimora::SystemFolder()) + name + ".sock");
    // The running copy raises its window and opens what this start was given.
    if (!first && channel.Send(openPath)) return 0;

    trimora::TrimoraApplication app(argc, argv);
    QLocale::setDefault(QLocale::c());
    if (!first) {
        trimora::ShowMessage(nullptr,
                             QStringLiteral("This program is already running (Check Tray!)."));
        return 0;
    }
    trimora::MainForm form;
    channel.Listen([&form](const std::string& path) {
        if (form.isMinimized()) form.showNormal();
        form.raise();
        form.activateWindow();
        if (!path.empty()) form.OpenPath(path);
    });
    form.show();
    if (!openPath.empty() && !form.OpenPath(openPath))
        trimora::ShowMessage(&form, QString::fromStdString("Cannot open \"" + openPath +
                                                           "\": no such clip or folder."));
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
