// The desktop is told of activity only with a session bus, and at most every 20 seconds. No other
// unit test reads the bus address, so this one sets it for the rest of its process.
#include "preview/desktop_awake.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace trimora;

TEST(DesktopAwake, OnlyWithASessionBusAndNotTooOften) {
    using namespace std::chrono;
    const auto t0 = steady_clock::now();
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    EXPECT_FALSE(TDesktopAwake().Poke(t0));
    ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/trimora-test-bus", 1);
    if (!TDesktopAwake::Available()) GTEST_SKIP() << "dbus-send is not installed";
    TDesktopAwake awake;
    EXPECT_TRUE(awake.Poke(t0));
    EXPECT_FALSE(awake.Poke(t0 + seconds(19)));
    EXPECT_TRUE(awake.Poke(t0 + seconds(21)));
    EXPECT_EQ(TDesktopAwake::PokeArguments().back(),
              "org.freedesktop.ScreenSaver.SimulateUserActivity");
}
