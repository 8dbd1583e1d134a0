// Extra runs with real short processes: a frame save judged by its tool's exit and image, a slot
// that frees itself when the process cannot be created, and no run outliving its owner. (The
// window's frame saves, one at a time, run the real tools in the preview tests.)
#include "jobs/extra_runs.h"

#include "common/command_line.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>

using namespace trimora;
using trimora_test::PollUntil;

TEST(ExtraRuns, FrameSaveNeedsAWrittenImageAndAToolThatEndedWell) {
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
    const std::string image = home.Root() + "a b.jpg";
    // The first tool leaves a partial image behind and fails.
    for (const std::string end : {"exit 1", "exit 0"}) {
        ASSERT_TRUE(runs.StartExtraRun("/bin/sh -c \"echo x > \\\"$0\\\"; " + end + "\" " +
                                           Quoted(image),
                                       kDosSaveFrame, image));
        ASSERT_TRUE(PollUntil([&] { return !runs.IsRunning(kDosSaveFrame); }, 5000));
    }
    ASSERT_TRUE(PollUntil([&] { std::lock_guard lock(m); return frames.size() == 2; }, 5000));
    EXPECT_EQ(frames, (std::vector<std::pair<std::string, bool>>{{image, false}, {image, true}}));
}

TEST(ExtraRuns, ProcessThatCannotBeCreatedFreesItsSlotAndDestroyingStopsALiveRun) {
    TExtraRuns runs;
    EXPECT_FALSE(runs.StartExtraRun("/nonexistent/fcut.exe -i x", kDosPreloadffmpeg));
    EXPECT_FALSE(runs.StartExtraRun("", kDosSaveFrame));
    EXPECT_TRUE(runs.StartExtraRun("/bin/true", kDosPreloadffmpeg));
    EXPECT_TRUE(PollUntil([&] { return !runs.IsRunning(kDosPreloadffmpeg); }, 5000));

    const auto t0 = std::chrono::steady_clock::now();
    {
        TExtraRuns owner;
        ASSERT_TRUE(owner.StartExtraRun("/bin/sleep 30", kDosSaveFrame, "/nonexistent.jpg"));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
}
