// The desktop is told of activity only with a session bus, and at most every 20 seconds.
#include "preview/desktop_awake.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

using namespace trimora;

namespace {
struct BusAddress {
    std::string old;
    bool had;
    explicit BusAddress(const char* value) {
        const char* v = std::getenv("DBUS_SESSION_BUS_ADDRESS");
        had = v != nullptr;
        if (v) old = v;
        if (value)
            ::setenv("DBUS_SESSION_BUS_ADDRESS", value, 1);
        else
            ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    }
    ~BusAddress() {
        if (had)
            ::setenv("DBUS_SESSION_BUS_ADDRESS", old.c_str(), 1);
        else
            ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    }
};
} // namespace

TEST(DesktopAwake, OnlyWithASessionBusAndNotTooOften) {
    using namespace std::chrono;
    const auto t0 = steady_clock::now();
    {
        BusAddress none(nullptr);
        TDesktopAwake awake;
        EXPECT_FALSE(awake.Poke(t0));
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
