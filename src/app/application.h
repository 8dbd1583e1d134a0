#pragma once
// The application object: every event handler runs inside a catch, so an exception that
// reaches the event loop is reported through the installed handler instead of ending the
// program.

#include <QApplication>
#include <functional>
#include <string>

namespace trimora {

class TrimoraApplication : public QApplication {
  public:
    TrimoraApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    // Receives the message of every exception caught around an event handler.
    static void SetExceptionHandler(std::function<void(const std::string& message)> handler);
    static void ReportException(const std::string& message);
};

} // namespace trimora
