#include "preview/desktop_awake.h"

#include "common/helpers.h"

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <cstdlib>

namespace trimora {

std::vector<std::string> TDesktopAwake::PokeArguments() {
    return {"--session", "--type=method_call", "--dest=org.freedesktop.ScreenSaver",
            "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver.SimulateUserActivity"};
}

bool TDesktopAwake::Available() {
    const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    return bus && *bus && !QStandardPaths::findExecutable("dbus-send").isEmpty();
}

bool TDesktopAwake::Poke(std::chrono::steady_clock::time_point now) {
    if (poked_ && now - last_ < std::chrono::seconds(20)) return false;
    if (!Available()) return false;
    poked_ = true;
    last_ = now;
    QStringList args;
    for (const auto& a : PokeArguments()) args << QString::fromStdString(a);
    QProcess process;
    process.setProgram(QStringLiteral("dbus-send"));
    process.setArguments(args);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    return process.startDetached();
}

} // namespace trimora
