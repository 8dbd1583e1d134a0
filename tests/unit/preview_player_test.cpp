// The preview player's reading of the line forms the player prints, and players that fail, end
// or ignore "quit", played by small scripts. The preview tests run the real player, whose output
// reaches the window through the same reader.
#include "preview/preview_player.h"

#include "common/command_line.h"
#include "facts.h"
#include "gui_queue.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <sys/stat.h>

using namespace trimora;

namespace {
// Feeds lines to a fresh player. Gives what the window reads of it as "key=value;" tokens, and the
// whole seconds it was told of.
std::string Read(const std::vector<std::string>& lines, std::vector<int>* told = nullptr) {
    PreviewPlayer p;
    p.host.PositionChanged = [&] {
        if (told) told->push_back(p.SecondPosition);
    };
    for (const auto& line : lines)
        p.HandleOutputLine(line);
    std::ostringstream o;
    o << ";playing=" << (p.Status() == TPlayerStatus::Status_Playing)
      << ";secs=" << p.LengthSeconds << ";fps=" << p.StreamInfo.VideoFps
      << ";percent=" << p.PercentPosition << ";second=" << p.SecondPosition
      << ";status=" << p.LastStatusLine << ";";
    return o.str();
}
} // namespace

TEST(PreviewOutput, LineForms) {
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{"A:  12.3 V:  12.3 A-V:  0.000 ct:  0.000"}, "second=12;"},
        {{"V:1234.5 30000/30000 ??% ??% ??,?% 0 0"}, "second=1234;"},
        // 7 characters: not a status line, not remembered
        {{"V:  -0.2   1/  1 ??%", "V: 1.0"}, "second=-1;status=V:  -0.2   1/  1 ??%;"},
        {{"ID_LENGTH=83.5"}, "secs=83.5;"},
        {{"ID_LENGTH=5", "ID_LENGTH=abc"}, "secs=5;"},
        {{"VO: [x11] 160x120 => 8x8 Planar YV12", "VO: [x11] 160x120 => 5000x120 RGB",
          "VO: [x11] 160x120 => 160xabc RGB", "VO: [x11] 160x120"},
         "playing=0;"},
        {{"VO: [xv] 640x480 => 1280x720 Planar YV12"}, "playing=1;"},
        {{"Video: no video", "Starting playback..."}, "playing=1;"},
        {{"ANS_PERCENT_POSITION=40", "ANS_PERCENT_POSITION=101", "ANS_PERCENT_POSITION=-1",
          "ANS_PERCENT_POSITION=x"},
         "percent=40;"},
        {{"ANS_PERCENT_POSITION=100", "ID_VIDEO_FPS=29.970"}, "percent=100;fps=29.97;"},
    };
    for (const auto& [lines, want] : rows)
        trimora_test::ExpectFacts(Read(lines), want);
    // The window is told of each new status line (its box shows the fraction), once.
    std::vector<int> told;
    Read({"V:   1.0   1/  1 ??%", "V:   1.0   1/  1 ??%", "V:   1.4   2/  2 ??%",
          "V:   2.0   3/  3 ??%"},
         &told);
    EXPECT_EQ(told, (std::vector<int>{1, 1, 2}));
}

TEST(PreviewPlayer, CommandLineAndExecutable) {
    PreviewPlayer p;
    p.PlayerExe = "/opt/bin/mplayer.exe";
    p.MediaFile = "/home/u/My Clips/a.avi";
    EXPECT_EQ(p.BuildCommandLine(71303175),
              "/opt/bin/mplayer.exe -noquiet -slave -identify -wid 71303175 -colorkey 0x101010 "
              "-loop 0 -nokeepaspect -nosound \"/home/u/My Clips/a.avi\"");
    // A name holding a quote still reaches the player as exactly that one file.
    p.MediaFile = "/v/say \"hi\" $x;.avi";
    const auto args = SplitCommandLine(p.BuildCommandLine(5));
    EXPECT_EQ(args.back(), p.MediaFile);

    trimora_test::IsolatedHome home;
    const std::string prog = home.Root() + "my prog/", sys = home.Root() + "sys/";
    ::mkdir(prog.c_str(), 0755);
    ::mkdir(sys.c_str(), 0755);
    // Each file found wins over the ones before it; the program's folder is quoted.
    const std::pair<std::string, std::string> steps[] = {
        {"", sys + "mper.exe"}, // unchecked last choice
        {sys + "mplayer.exe", sys + "mplayer.exe"},
        {prog + "mper.exe", "\"" + prog + "mper.exe\""},
        {prog + "mplayer.exe", "\"" + prog + "mplayer.exe\""},
    };
    for (const auto& [file, want] : steps) {
        if (!file.empty()) trimora_test::WriteFileBytes(file, "");
        EXPECT_EQ(FindPlayerExe(prog, sys), want);
    }
}

namespace {
std::string WriteScript(const std::string& path, const std::string& body) {
    trimora_test::WriteFileBytes(path, "#!/bin/sh\n" + body);
    ::chmod(path.c_str(), 0755);
    return path;
}
} // namespace

TEST(PreviewPlayer, PlayersThatFailEndOrIgnoreQuit) {
    trimora_test::IsolatedHome home;
    trimora_test::GuiQueue loop;
    PreviewPlayer p;
    p.host.Post = loop.Post();
    p.MediaFile = "/nowhere/clip.avi";
    p.PlayerExe = home.Root() + "missing/mplayer.exe";
    p.Start(1);
    EXPECT_EQ(p.Status(), TPlayerStatus::Status_Error);

    // Ends by itself with a failure code while playing; its last unfinished line is still
    // parsed.
    p.PlayerExe = WriteScript(home.Root() + "bad.sh",
                              "printf 'VO: [x11] 160x120 => 320x240 RGB\\nID_LENGTH=7'\nexit 1\n");
    p.Start(1);
    EXPECT_TRUE(loop.PumpUntil([&] { return !p.IsRunning() && !p.PollingActive; }));
    EXPECT_EQ(p.Status(), TPlayerStatus::Status_Error);
    EXPECT_EQ(p.ExitCode, 1u);
    EXPECT_EQ(p.LengthSeconds, 7);

    // A player that answers "quit" ends at once; one that ignores it is terminated after a
    // second.
    p.PlayerExe = WriteScript(home.Root() + "quits.sh",
                              "printf 'VO: [x11] 160x120 => 320x240 RGB\\n'\n"
                              "while read cmd; do [ \"$cmd\" = quit ] && exit 0; done\n");
    p.Start(1);
    loop.PumpUntil([&] { return p.Status() == TPlayerStatus::Status_Playing; });
    auto t0 = std::chrono::steady_clock::now();
    p.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(900));
    EXPECT_EQ(p.Status(), TPlayerStatus::Status_Stopped);
    EXPECT_EQ(p.ExitCode, 0u);
    p.PlayerExe = WriteScript(home.Root() + "deaf.sh", "trap '' TERM\nwhile :; do sleep 1; done\n");
    p.Start(1);
    const int pid = p.Pid();
    p.Start(1); // a player is registered: nothing happens
    EXPECT_EQ(p.Pid(), pid);
    t0 = std::chrono::steady_clock::now();
    p.Stop();
    const auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_GE(took, std::chrono::milliseconds(1000));
    EXPECT_LT(took, std::chrono::milliseconds(4000));
    EXPECT_EQ(p.Status(), TPlayerStatus::Status_Error);
    EXPECT_EQ(p.ExitCode, 0xFFFFFFFFu);
    EXPECT_FALSE(trimora_test::Alive(pid));

    // A player still running when its controller goes away is killed.
    int late = 0;
    {
        PreviewPlayer q;
        q.host.Post = loop.Post();
        q.PlayerExe = WriteScript(home.Root() + "long.sh", "exec sleep 30\n");
        q.MediaFile = "/x.avi";
        q.Start(1);
        late = q.Pid();
        ASSERT_GT(late, 0);
    }
    loop.PumpUntil([] { return false; }, 50); // queued work of the dead controller is harmless
    EXPECT_FALSE(trimora_test::Alive(late));
}
