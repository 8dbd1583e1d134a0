// Extra runs with real short processes: one run per kind at a time, the frame-save result, a
// slot that frees itself when the process cannot be created, and no run outliving its owner.
#include "jobs/extra_runs.h"

#include "common/command_line.h"
#include "common/helpers.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>

using namespace trimora;

namespace {
template <typename Pred> bool WaitFor(Pred pred, int ms = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!pred() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return pred();
}
} // namespace

TEST(ExtraRuns, FrameSaveIsOneAtATimeAndReportsItsImage) {
    trimora_test::IsolatedHome home;
    std::mutex m;
    std::vector<std::pair<std::string, bool>> frames;
    TExtraRuns runs;
    ExtraRunHost host;
    host.FrameSaved = [&](const std::string& path, bool saved) {
        std::lock_guard<std::mutex> lock(m);
        frames.emplace_back(path, saved);
    };
    runs.SetHost(host);
    auto count = [&] {
        std::lock_guard<std::mutex> lock(m);
        return frames.size();
    };

    const std::string src = home.Root() + "src.bin";
    trimora_test::WriteFileBytes(src, "picture");
    const std::string first = home.Root() + "a b.jpg";
    // The first run is slow, so the quick second request meets a filled slot.
    ASSERT_TRUE(runs.StartExtraRun("/bin/sh -c \"sleep 0.5; cp \\\"$0\\\" \\\"$1\\\"\" " +
                                       Quoted(src) + " " + Quoted(first),
                                   kDosSaveFrame, first));
    EXPECT_TRUE(runs.IsRunning(kDosSaveFrame));
    EXPECT_FALSE(runs.StartExtraRun("/bin/cp " + Quoted(src) + " " + Quoted(first + "2"),
                                    kDosSaveFrame, first + "2"));
    ASSERT_TRUE(WaitFor([&] { return count() == 1 && !runs.IsRunning(kDosSaveFrame); }));
    EXPECT_EQ(frames[0], std::make_pair(first, true));
    EXPECT_FALSE(FileExists(first + "2"));

    // A later request works again; a tool that fails is reported as not saved.
    ASSERT_TRUE(runs.StartExtraRun("/bin/false", kDosSaveFrame, home.Root() + "b.jpg"));
    ASSERT_TRUE(WaitFor([&] { return count() == 2; }));
    EXPECT_EQ(frames[1], std::make_pair(home.Root() + "b.jpg", false));
}

TEST(ExtraRuns, ProcessThatCannotBeCreatedFreesItsSlotAndDestroyingStopsALiveRun) {
    TExtraRuns runs;
    EXPECT_FALSE(runs.StartExtraRun("/nonexistent/fcut.exe -i x", kDosPreloadffmpeg));
    EXPECT_FALSE(runs.IsRunning(kDosPreloadffmpeg));
    EXPECT_FALSE(runs.StartExtraRun("", kDosSaveFrame));
    EXPECT_TRUE(runs.StartExtraRun("/bin/true", kDosPreloadffmpeg));
    EXPECT_TRUE(WaitFor([&] { return !runs.IsRunning(kDosPreloadffmpeg); }));
    // A kind without a slot runs nothing.
    EXPECT_FALSE(runs.StartExtraRun("/bin/true", "DosSomethingElse"));

    const auto t0 = std::chrono::steady_clock::now();
    {
        TExtraRuns owner;
        ASSERT_TRUE(owner.StartExtraRun("/bin/sleep 30", kDosSaveFrame, "/nonexistent.jpg"));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
}
