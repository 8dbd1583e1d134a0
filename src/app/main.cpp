// Program entry: with a sub-command the program runs headless on the core; without one it
// opens the window.
#include <QApplication>
#include <QLabel>

#include "cli/cli.h"

int main(int argc, char** argv) {
    // A sub-command runs headless: no QApplication, no display needed.
    if (const int status = trimora::RunCommandLine(argc, argv); status >= 0) return status;
    QApplication app(argc, argv);
    QLabel label("Trimora");
    label.show();
    return app.exec();
}
