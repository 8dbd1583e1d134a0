#pragma once
// Keeps the desktop from idling (screen blanking, suspend) while a preview plays, through the
// freedesktop screensaver interface on the session bus. Without a session bus nothing happens.

#include <chrono>
#include <string>
#include <vector>

namespace trimora {

class TDesktopAwake {
  public:
    // Called about once a second while a preview plays; the desktop is told of activity at
    // most every 20 seconds (idle timeouts are minutes long). Returns whether it was told now.
    bool Poke(std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now());

    // The call made: dbus-send's arguments for SimulateUserActivity.
    static std::vector<std::string> PokeArguments();
    // A session bus is there and dbus-send can reach it.
    static bool Available();

  private:
    bool poked_ = false;
    std::chrono::steady_clock::time_point last_{};
};

} // namespace trimora
