// The desktop is told of activity only with a session bus, and at most every 20 seconds.
#include "preview/desktop_awake.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

using namespace trimora;

namespace {
// Sets the session bus address for one test and puts the old one back after it.
struct BusAddress {
    const char* kName = "DBUS_SESSION_BUS_ADDRESS";
    const bool had = std::getenv(kName) != nullptr;
    const std::string old = had ? std::getenv(kName) : "";
    explicit BusAddress(const char* value) {
        value ? ::setenv(kName, value, 1) : ::unsetenv(kName);
    }
    ~BusAddress() { had ? ::setenv(kName, old.c_str(), 1) : ::unsetenv(kName); }
};
} // namespace

TEST(DesktopAwake, OnlyWithASessionBusAndNotTooOften) {
    using namespace std::chrono;
    const auto t0 = steady_clock::now();
    {
        BusAddress none(nullptr);
        EXPECT_FALSE(TDesktopAwake().Poke(t0));
    }
    BusAddress bus("unix:path=/nonexistent/trimora-test-bus");
    if (!TDesktopAwake::Available()) GTEST_SKIP() << "dbus-send is not installed";
    TDesktopAwake awake;
    EXPECT_TRUE(awake.Poke(t0));
    EXPECT_FALSE(awake.Poke(t0 + seconds(1)));
    EXPECT_FALSE(awake.Poke(t0 + seconds(19)));
    EXPECT_TRUE(awake.Poke(t0 + seconds(21)));
    EXPECT_EQ(TDesktopAwake::PokeArguments().back(),
              "org.freedesktop.ScreenSaver.SimulateUserActivity");
}
