// Extra runs with real short processes: one run per kind at a time, completion effects, and a
// slot that frees itself when the process cannot be created.
#include "jobs/extra_runs.h"

#include "common/command_line.h"
#include "common/helpers.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

using namespace trimora;

namespace {

template <typename Pred> bool WaitFor(Pred pred, int ms = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        if (pred()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return pred();
}

struct Recorder {
    std::mutex m;
    std::vector<std::pair<std::string, bool>> frames;
    std::vector<std::string> memo;
    std::string audioText;
    std::atomic<int> audioDone{0};
    std::atomic<bool> audioSlotEmptyAtCompletion{false};
};

} // namespace

TEST(ExtraRuns, FrameSaveIsOneAtATimeAndReportsItsImage) {
    trimora_test::IsolatedHome home;
    Recorder rec;
    TExtraRuns runs;
    ExtraRunHost host;
    host.FrameSaved = [&](const std::string& path, bool saved) {
        std::lock_guard<std::mutex> lock(rec.m);
        rec.frames.emplace_back(path, saved);
    };
    runs.SetHost(host);

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
    ASSERT_TRUE(WaitFor([&] { return !runs.IsRunning(kDosSaveFrame); }));
    ASSERT_TRUE(WaitFor([&] {
        std::lock_guard<std::mutex> lock(rec.m);
        return rec.frames.size() == 1;
    }));
    EXPECT_EQ(rec.frames[0], std::make_pair(first, true));
    EXPECT_FALSE(FileExists(first + "2"));

    // A later request works again; a tool that fails is reported as not saved.
    const std::string second = home.Root() + "b.jpg";
    ASSERT_TRUE(runs.StartExtraRun("/bin/false", kDosSaveFrame, second));
    ASSERT_TRUE(WaitFor([&] {
        std::lock_guard<std::mutex> lock(rec.m);
        return rec.frames.size() == 2;
    }));
    EXPECT_EQ(rec.frames[1], std::make_pair(second, false));
    EXPECT_EQ(SavedFrameMessage("/h/z SaveImage/000123.457.jpg"),
              "Image saved to: \"/h/z SaveImage/000123.457.jpg\" [DoubleClick to view]");
}

TEST(ExtraRuns, ProcessThatCannotBeCreatedFreesItsSlot) {
    TExtraRuns runs;
    EXPECT_FALSE(runs.StartExtraRun("/nonexistent/fcut.exe -i x", kDosPreloadffmpeg));
    EXPECT_FALSE(runs.IsRunning(kDosPreloadffmpeg));
    EXPECT_FALSE(runs.StartExtraRun("", kDosSaveFrame));
    EXPECT_TRUE(runs.StartExtraRun("/bin/true", kDosPreloadffmpeg));
    EXPECT_TRUE(WaitFor([&] { return !runs.IsRunning(kDosPreloadffmpeg); }));
    // A kind outside the four gets no slot and nothing runs.
    EXPECT_FALSE(runs.StartExtraRun("/bin/true", "DosSomethingElse"));
}

TEST(ExtraRuns, NormalisingAndAudioRunsReachTheirHandlers) {
    Recorder rec;
    TExtraRuns runs;
    ExtraRunHost host;
    std::vector<std::function<void()>> queued;
    std::mutex qm;
    // A host with a queue, as the window has: effects wait until the GUI thread runs them.
    host.Post = [&](std::function<void()> work) {
        std::lock_guard<std::mutex> lock(qm);
        queued.push_back(std::move(work));
    };
    host.AddMemoLine = [&](const std::string& line) { rec.memo.push_back(line); };
    host.AudioText = [&](TDosCmdProcess& sender, const std::string& text) {
        sender.Lock();
        rec.audioText += text;
        sender.Unlock();
    };
    host.AudioComplete = [&](TDosCmdProcess& sender) {
        rec.audioSlotEmptyAtCompletion = !runs.IsRunning(kDosExtractAudio);
        EXPECT_EQ(sender.ExitStatus(), 0);
        ++rec.audioDone;
    };
    runs.SetHost(host);

    ASSERT_TRUE(runs.StartExtraRun("/bin/echo time=3", kDosExtractAudio));
    ASSERT_TRUE(runs.StartExtraRun("/bin/true", kDosNormalizedFrame));
    ASSERT_TRUE(WaitFor([&] { return rec.audioDone == 1; }));
    EXPECT_TRUE(rec.audioSlotEmptyAtCompletion);
    EXPECT_EQ(Trim(rec.audioText), "time=3");
    ASSERT_TRUE(WaitFor([&] {
        std::lock_guard<std::mutex> lock(qm);
        return queued.size() == 1;
    }));
    EXPECT_TRUE(rec.memo.empty()); // not before the GUI thread runs it
    for (auto& work : queued)
        work();
    EXPECT_EQ(rec.memo, std::vector<std::string>{"DosNormalizedFrame done."});
}

TEST(ExtraRuns, DestroyingStopsALiveRun) {
    const auto t0 = std::chrono::steady_clock::now();
    {
        TExtraRuns runs;
        ASSERT_TRUE(runs.StartExtraRun("/bin/sleep 30", kDosSaveFrame, "/nonexistent.jpg"));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
}
