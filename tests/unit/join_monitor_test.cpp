// The join monitor: what it shows for each tool, and that it only touches the "GUI" through
// queued calls that stop once it is stopped.
#include "workers/join_monitor.h"

#include "gui_queue.h"

#include <gtest/gtest.h>

#include <thread>

using namespace trimora;
using namespace std::chrono_literals;

TEST(JoinMonitor, StatusAndGaugeFollowTheTool) {
    const auto now = std::chrono::system_clock::now();
    // tool (m: mencoder, s: splitter, f: the flv joiner), files done of 3, percent -> status|gauge
    const std::tuple<char, int, int, const char*> rows[] = {
        {'m', 3, 40, "|40"}, // past the last file the rule leaves the text alone
        {'s', 0, 70, "Processing...|70"},
        {'f', 0, 55, "Joining flv files please wait...00:01:01:500|0"},
    };
    for (const auto& [tool, done, percent, want] : rows) {
        TJoinMonitorView v;
        v.FileCount = 3;
        v.JoinCountText = "3";
        v.JoinByMencoder = tool == 'm';
        v.JoinByMerge = tool == 's';
        v.JoinFileType = tool == 'f';
        v.FilesDone = done;
        v.Percent = percent;
        v.JoinStart = now - 61500ms;
        EXPECT_EQ(JoinMonitorStatus(v, now) + "|" + std::to_string(JoinMonitorGauge(v)), want);
    }
}

TEST(JoinMonitor, WorkerQueuesRefreshesUntilStoppedAndCanRestart) {
    trimora_test::GuiQueue gui;
    std::vector<std::string> statuses;
    std::vector<int> gauges;
    TJoinMonitorView view;
    view.JoinByMencoder = true;
    view.FileCount = 3;
    view.JoinCountText = "3";
    const auto guiThread = std::this_thread::get_id();
    bool offThread = false;

    TJoinListFileMon::Host host;
    host.Post = gui.Post();
    host.Read = [&] {
        offThread |= std::this_thread::get_id() != guiThread;
        return view;
    };
    host.SetStatus = [&](const std::string& s) { statuses.push_back(s); };
    host.SetGauge = [&](int g) { gauges.push_back(g); };
    auto shows = [&](const std::string& status, int gauge) {
        statuses.clear();
        return gui.PumpUntil([&] {
            return !statuses.empty() && statuses.back() == status && !gauges.empty() &&
                   gauges.back() == gauge;
        });
    };

    TJoinListFileMon mon(host, 5ms);
    mon.StartWorker();
    for (int done = 0; done < 3; ++done) {
        view.FilesDone = done;
        view.Percent = 30 * done;
        EXPECT_TRUE(shows("Processing file #" + std::to_string(done + 1) + " of 3", 30 * done));
    }
    mon.StopWorker();
    statuses.clear();
    // refreshes queued before the stop are skipped
    EXPECT_TRUE(gui.PumpUntil([&] { return !mon.IsWorkerRunning(); }));
    gui.PumpUntil([] { return false; }, 10);
    EXPECT_TRUE(statuses.empty());
    EXPECT_FALSE(offThread);

    // stop then start at once: the new join still gets a monitor
    mon.StartWorker();
    mon.StopWorker();
    mon.StartWorker();
    EXPECT_TRUE(shows("Processing file #3 of 3", 60));
    mon.StopWorker();
}
