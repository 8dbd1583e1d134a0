#include "app/application.h"

#include <cstdio>
#include <exception>

namespace trimora {

namespace {
std::function<void(const std::string&)>& Handler() {
    static std::function<void(const std::string&)> handler;
    return handler;
}
} // namespace

TrimoraApplication::TrimoraApplication(int& argc, char** argv) : QApplication(argc, argv) {}

void TrimoraApplication::SetExceptionHandler(std::function<void(const std::string&)> handler) {
    Handler() = std::move(handler);
}

void TrimoraApplication::ReportException(const std::string& message) {
    if (Handler())
        Handler()(message);
    else
        std::fprintf(stderr, "%s\n", message.c_str());
}

bool TrimoraApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ReportException(e.what());
    } catch (...) {
        ReportException("Unknown exception");
    }
    return false;
}

} // namespace trimora
