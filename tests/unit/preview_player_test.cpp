// The preview player's output handling, on output recorded from Debian's mplayer in slave mode
// and on the line forms the player prints; and the process side with small stand-in players.
#include "preview/preview_player.h"

#include "common/command_line.h"
#include "common/helpers.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <mutex>
#include <sys/stat.h>
#include <thread>

using namespace trimora;

namespace {

struct Fed {
    PreviewPlayer player;
    int changes = 0;
    std::vector<int> seconds;
    Fed() {
        player.host.PositionChanged = [this] {
            ++changes;
            seconds.push_back(player.SecondPosition);
        };
    }
    void Lines(std::initializer_list<const char*> lines) {
        for (const char* l : lines)
            player.HandleOutputLine(l);
    }
};

void FeedInChunks(PreviewPlayer& p, const std::string& text, size_t size) {
    for (size_t i = 0; i < text.size(); i += size)
        p.HandleOutputChunk(text.substr(i, size));
    p.FlushOutput();
}

} // namespace

TEST(PreviewOutput, RecordedAviSessionGivesClipFactsAndPositions) {
    const std::string text =
        trimora_test::ReadFileBytes(trimora_test::DataDir() + "mplayer_slave_avi.txt");
    ASSERT_FALSE(text.empty());
    // The parse must not depend on where the pipe happened to cut the output.
    for (size_t size : {size_t(1), size_t(7), size_t(333), size_t(1024)}) {
        SCOPED_TRACE(size);
        Fed f;
        FeedInChunks(f.player, text, size);
        const PreviewPlayer& p = f.player;
        EXPECT_EQ(p.Status(), TPlayerStatus::Status_Playing); // from the VO line
        EXPECT_EQ(p.NativeWidth, 160);
        EXPECT_EQ(p.NativeHeight, 120);
        EXPECT_FALSE(p.HasAudio); // played with -nosound
        EXPECT_EQ(p.LengthText, "0:00:04");
        EXPECT_EQ(p.StreamInfo.PlaybackTime, "0:00:04.040");
        EXPECT_EQ(p.StreamInfo.FileFormat, "AVI"); // the detected line wins over ID_DEMUXER
        EXPECT_EQ(p.StreamInfo.FileName, "clip.avi");
        EXPECT_EQ(p.StreamInfo.VideoDecoder, "FFmpeg's libavcodec codec family");
        EXPECT_EQ(p.StreamInfo.VideoCodec, "FFmpeg MPEG-4");
        EXPECT_EQ(p.StreamInfo.VideoWidth, 160);
        EXPECT_EQ(p.StreamInfo.VideoHeight, 120);
        EXPECT_EQ(p.StreamInfo.VideoBitrate, 209376);
        EXPECT_DOUBLE_EQ(p.StreamInfo.VideoFps, 25.0);
        EXPECT_DOUBLE_EQ(p.StreamInfo.VideoAspect, 1.3333);
        EXPECT_EQ(p.StreamInfo.ClipInfo[0].Name, "Software");
        EXPECT_EQ(p.StreamInfo.ClipInfo[0].Value, "Lavf59.27.100");
        EXPECT_EQ(p.PercentPosition, 62);
        // Played from 0, sought to second 2 and paused: every new position is told.
        EXPECT_EQ(f.seconds.front(), 0);
        EXPECT_EQ(f.seconds.back(), 2);
        EXPECT_EQ(p.SecondPosition, 2);
    }
}

TEST(PreviewOutput, RecordedWmvSessionAfterPercentSeek) {
    Fed f;
    FeedInChunks(f.player,
                 trimora_test::ReadFileBytes(trimora_test::DataDir() + "mplayer_slave_wmv.txt"),
                 100);
    EXPECT_EQ(f.player.StreamInfo.FileFormat, "ASF");
    EXPECT_EQ(f.player.StreamInfo.VideoCodec, "FFmpeg WMV2/WMV8");
    EXPECT_EQ(f.player.LengthText, "0:00:04");
    EXPECT_EQ(f.player.PercentPosition, 63);
    EXPECT_EQ(f.seconds.front(), 3);
    EXPECT_EQ(f.seconds.back(), 5);
    // The window reads the time after the last colon of the last status line it was told of.
    EXPECT_EQ(f.player.LastStatusLine, "ID_EXIT=QUIT");
}

TEST(PreviewOutput, StatusLinesGiveWholeSeconds) {
    Fed f;
    f.Lines({"A:  12.3 V:  12.3 A-V:  0.000 ct:  0.000"});
    EXPECT_EQ(f.player.SecondPosition, 12);
    f.Lines({"A:  12.9 V:  12.9 A-V:  0.000"}); // same second, new time: told too
    EXPECT_EQ(f.changes, 2);
    f.Lines({"V:1234.5 30000/30000 ??% ??% ??,?% 0 0"});
    EXPECT_EQ(f.player.SecondPosition, 1234);
    f.Lines({"V:  -0.2   1/  1 ??% ??% ??,?% 0 0"});
    EXPECT_EQ(f.player.SecondPosition, -1);
    EXPECT_EQ(f.changes, 4);
    EXPECT_EQ(f.player.LastStatusLine, "V:  -0.2   1/  1 ??% ??% ??,?% 0 0");
    f.Lines({"V: 1.0"}); // 7 characters: not a status line, not remembered
    EXPECT_EQ(f.player.LastStatusLine, "V:  -0.2   1/  1 ??% ??% ??,?% 0 0");
    EXPECT_EQ(f.player.SecondPosition, -1);
}

TEST(PreviewOutput, RepeatFilterAndPercentAnswers) {
    Fed f;
    PreviewPlayer& p = f.player;
    f.Lines({"Audio: no sound"});
    EXPECT_FALSE(p.HasAudio);
    p.HasAudio = true;
    f.Lines({"  Audio: no sound\t"}); // the same line again, after trimming: skipped
    EXPECT_TRUE(p.HasAudio);
    f.Lines({"", "Audio: no sound"}); // an empty line in between lets it through again
    EXPECT_FALSE(p.HasAudio);

    f.Lines({"ANS_PERCENT_POSITION=40"});
    EXPECT_EQ(p.PercentPosition, 40);
    p.PercentPosition = 0;
    f.Lines({"ANS_PERCENT_POSITION=40"}); // answers are never filtered
    EXPECT_EQ(p.PercentPosition, 40);
    f.Lines({"ANS_PERCENT_POSITION=101", "ANS_PERCENT_POSITION=-1", "ANS_PERCENT_POSITION=x"});
    EXPECT_EQ(p.PercentPosition, 40);
    f.Lines({"ANS_PERCENT_POSITION=100"});
    EXPECT_EQ(p.PercentPosition, 100);

    const std::string last = p.LastLine;
    f.Lines({"Cache fill:  5.00% (12345 bytes)"});
    EXPECT_EQ(p.LastLine, last); // ignored before the repeat filter
}

TEST(PreviewOutput, LengthIsRoundedEvenAndKeptWithMilliseconds) {
    Fed f;
    PreviewPlayer& p = f.player;
    f.Lines({"ID_LENGTH=83.5"});
    EXPECT_EQ(p.LengthText, "0:01:24");
    EXPECT_EQ(p.StreamInfo.PlaybackTime, "0:01:23.500");
    f.Lines({"ID_LENGTH=82.5"});
    EXPECT_EQ(p.LengthText, "0:01:22"); // halves go to the even neighbour
    f.Lines({"ID_LENGTH=3725.00"});
    EXPECT_EQ(p.LengthText, "1:02:05");
    EXPECT_EQ(p.StreamInfo.PlaybackTime, "1:02:05");
    f.Lines({"ID_LENGTH=0.0005"});
    EXPECT_EQ(p.LengthText, "0:00:00");
    EXPECT_EQ(p.StreamInfo.PlaybackTime, "1:02:05"); // too short to count
    f.Lines({"ID_LENGTH=4.9996"});
    EXPECT_EQ(p.StreamInfo.PlaybackTime, "0:00:05"); // no "0:00:041.000"
    f.Lines({"ID_LENGTH=abc"});
    EXPECT_EQ(p.LengthText, "0:00:05");
}

TEST(PreviewOutput, VideoOutputLineSetsSizeAndPlaying) {
    Fed f;
    PreviewPlayer& p = f.player;
    f.Lines({"VO: [x11] 160x120 => 8x8 Planar YV12", "VO: [x11] 160x120 => 5000x120 RGB",
             "VO: [x11] 160x120 => 160xabc RGB", "VO: [x11] 160x120"});
    EXPECT_EQ(p.NativeWidth, 0);
    EXPECT_EQ(p.Status(), TPlayerStatus::Status_None);
    f.Lines({"VO: [xv] 640x480 => 1280x720 Planar YV12"});
    EXPECT_EQ(p.NativeWidth, 1280);
    EXPECT_EQ(p.NativeHeight, 720);
    EXPECT_EQ(p.Status(), TPlayerStatus::Status_Playing);

    Fed audio;
    audio.Lines({"Video: no video", "Starting playback..."});
    EXPECT_FALSE(audio.player.HasVideo);
    EXPECT_EQ(audio.player.Status(), TPlayerStatus::Status_Playing);
}

TEST(PreviewOutput, IcyTitlesAndClipInfo) {
    Fed f;
    auto& info = f.player.StreamInfo.ClipInfo;
    f.Lines({"ID_CLIP_INFO_NAME0=Artist", "ID_CLIP_INFO_VALUE0=Someone",
             "ICY Info: StreamTitle='First song';StreamUrl='';"});
    EXPECT_EQ(info[1].Name, "Title");
    EXPECT_EQ(info[1].Value, "First song");
    f.Lines({"ICY Info: StreamTitle='Second song';"});
    EXPECT_EQ(info[1].Value, "Second song"); // the title entry is reused
    f.Lines({"ICY Info: StreamTitle='';", "ICY Info: StreamTitle='no end"});
    EXPECT_EQ(info[1].Value, "Second song");

    Fed full;
    for (int i = 0; i < 10; ++i)
        full.player.HandleIdPair("CLIP_INFO_NAME" + std::to_string(i), "N" + std::to_string(i));
    full.Lines({"ICY Info: StreamTitle='Late';"});
    EXPECT_EQ(full.player.StreamInfo.ClipInfo[9].Name, "Title");
    EXPECT_EQ(full.player.StreamInfo.ClipInfo[9].Value, "Late");
    EXPECT_EQ(full.player.StreamInfo.ClipInfo[8].Name, "N8");
    full.player.HandleIdPair("CLIP_INFO_NAME10", "x"); // not a single digit: ignored
    EXPECT_EQ(full.player.StreamInfo.ClipInfo[1].Name, "N1");

    Fed fmt;
    fmt.Lines({"AVI file format detected.", "ID_DEMUXER=avi", "ID_VIDEO_FORMAT=FMP4",
               "ID_AUDIO_CODEC=mp3", "ID_AUDIO_NCH=2", "ID_AUDIO_RATE=44100.0"});
    EXPECT_EQ(fmt.player.StreamInfo.FileFormat, "AVI");
    EXPECT_EQ(fmt.player.StreamInfo.VideoDecoder, "FMP4");
    EXPECT_EQ(fmt.player.StreamInfo.AudioCodec, "mp3");
    EXPECT_EQ(fmt.player.StreamInfo.AudioChannels, 2);
    EXPECT_EQ(fmt.player.StreamInfo.AudioRate, 44100);
    fmt.Lines({"Selected audio codec: [mp3] afm: mp3lib (mp3lib MPEG layer-2, layer-3)"});
    EXPECT_EQ(fmt.player.StreamInfo.AudioCodec, "mp3lib MPEG layer-2, layer-3");
}

TEST(PreviewOutput, LineSplittingAcrossChunks) {
    Fed f;
    PreviewPlayer& p = f.player;
    p.HandleOutputChunk("V:   1.0   1/  1 ??%\x1b[J\rV:   2.");
    EXPECT_EQ(p.SecondPosition, 1); // the second line is not finished yet
    p.HandleOutputChunk("0   2/  2 ??%\r");
    EXPECT_EQ(p.SecondPosition, 2);
    // A CRLF split between two chunks is one line end, not an extra empty line (which would
    // reset the repeat filter).
    p.HandleOutputChunk("Audio: no sound\r");
    p.HasAudio = true;
    p.HandleOutputChunk("\nAudio: no sound\n");
    EXPECT_TRUE(p.HasAudio);
    p.HandleOutputChunk("ID_LENGTH=61");
    EXPECT_EQ(p.LengthText, "");
    p.FlushOutput(); // end of output: the waiting line counts
    EXPECT_EQ(p.LengthText, "0:01:01");
}

TEST(PreviewPlayer, ClockTextAndCommandLine) {
    EXPECT_EQ(PlayerClockText(3725), "1:02:05");
    EXPECT_EQ(PlayerClockText(-5), "0:00:00");
    EXPECT_EQ(PlayerClockText(360000), "100:00:00");

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
    EXPECT_EQ(args.size(), 13u);
}

TEST(PreviewPlayer, FindsThePlayerExecutable) {
    trimora_test::IsolatedHome home;
    const std::string prog = home.Root() + "my prog/", sys = home.Root() + "sys/";
    ::mkdir(prog.c_str(), 0755);
    ::mkdir(sys.c_str(), 0755);
    EXPECT_EQ(FindPlayerExe(prog, sys), sys + "mper.exe"); // unchecked last choice
    trimora_test::WriteFileBytes(sys + "mplayer.exe", "");
    EXPECT_EQ(FindPlayerExe(prog, sys), sys + "mplayer.exe");
    trimora_test::WriteFileBytes(prog + "mper.exe", "");
    EXPECT_EQ(FindPlayerExe(prog, sys), "\"" + prog + "mper.exe\"");
    trimora_test::WriteFileBytes(prog + "mplayer.exe", "");
    EXPECT_EQ(FindPlayerExe(prog, sys), "\"" + prog + "mplayer.exe\"");
}

// ---- process side, with stand-in players -----------------------------------------------------

namespace {

// A GUI thread stand-in: queued work runs when the test pumps.
struct Loop {
    std::mutex m;
    std::deque<std::function<void()>> q;
    void Attach(PreviewPlayer& p) {
        p.host.Post = [this](std::function<void()> w) {
            std::lock_guard<std::mutex> lock(m);
            q.push_back(std::move(w));
        };
    }
    void Pump(int ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            std::function<void()> w;
            {
                std::lock_guard<std::mutex> lock(m);
                if (!q.empty()) {
                    w = std::move(q.front());
                    q.pop_front();
                }
            }
            if (w)
                w();
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
};

std::string WriteScript(const std::string& path, const std::string& body) {
    trimora_test::WriteFileBytes(path, "#!/bin/sh\n" + body);
    ::chmod(path.c_str(), 0755);
    return path;
}

} // namespace

TEST(PreviewPlayer, PlaysStopsOnQuitAndIsForcedWhenDeaf) {
    trimora_test::IsolatedHome home;
    Loop loop;
    PreviewPlayer p;
    loop.Attach(p);
    // Answers like a player: a video line, status lines, then quits on "quit".
    p.PlayerExe = WriteScript(home.Root() + "player.sh",
                              "printf 'VO: [x11] 160x120 => 320x240 RGB\\nV:   3.0   1/  1\\r'\n"
                              "while read cmd; do\n"
                              "  case \"$cmd\" in quit) echo 'Exiting... (Quit)'; exit 0;;\n"
                              "  get_percent_pos) echo ANS_PERCENT_POSITION=42;; esac\n"
                              "done\n");
    p.MediaFile = "/nowhere/clip.avi";
    p.Start(1);
    ASSERT_TRUE(p.IsRunning());
    const int firstPid = p.Pid();
    p.Start(1); // a player is registered: nothing happens
    EXPECT_EQ(p.Pid(), firstPid);
    loop.Pump(400);
    EXPECT_EQ(p.Status(), TPlayerStatus::Status_Playing);
    EXPECT_EQ(p.NativeWidth, 320);
    EXPECT_EQ(p.SecondPosition, 3);
    p.RequestPercentPosition();
    loop.Pump(300);
    EXPECT_EQ(p.PercentPosition, 42);
    p.Pause();
    EXPECT_EQ(p.Status(), TPlayerStatus::Status_Paused);
    EXPECT_FALSE(p.PollingActive);

    const auto t0 = std::chrono::steady_clock::now();
    p.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(900));
    EXPECT_FALSE(p.IsRunning()); // the end is handled before Stop returns
    EXPECT_EQ(p.Status(), TPlayerStatus::Status_Stopped);
    EXPECT_EQ(p.ExitCode, 0u);
    EXPECT_NE(::kill(firstPid, 0), 0);
    loop.Pump(100);         // late queued work of the old player is dropped
    p.SendCommand("pause"); // nothing runs: dropped silently

    // A player that ignores "quit" is terminated after a second.
    p.PlayerExe = WriteScript(home.Root() + "deaf.sh", "trap '' TERM\nwhile :; do sleep 1; done\n");
    p.Start(1);
    ASSERT_TRUE(p.IsRunning());
    const auto t1 = std::chrono::steady_clock::now();
    p.Stop();
    const auto took = std::chrono::steady_clock::now() - t1;
    EXPECT_GE(took, std::chrono::milliseconds(1000));
    EXPECT_LT(took, std::chrono::milliseconds(4000));
    EXPECT_FALSE(p.IsRunning());
    EXPECT_EQ(p.Status(), TPlayerStatus::Status_Error);
    EXPECT_EQ(p.ExitCode, 0xFFFFFFFFu);
}

TEST(PreviewPlayer, EndsOnItsOwnAndFailsToStart) {
    trimora_test::IsolatedHome home;
    Loop loop;
    PreviewPlayer p;
    loop.Attach(p);
    p.MediaFile = "/nowhere/clip.avi";
    p.PlayerExe = home.Root() + "missing/mplayer.exe";
    p.Start(1);
    EXPECT_FALSE(p.IsRunning());
    EXPECT_EQ(p.Status(), TPlayerStatus::Status_Error);

    // Ends by itself with a failure code before showing a picture; its last unfinished line
    // is still parsed.
    p.PlayerExe = WriteScript(home.Root() + "bad.sh", "printf 'ID_LENGTH=7'\nexit 1\n");
    p.Start(1);
    ASSERT_TRUE(p.IsRunning());
    for (int i = 0; i < 100 && p.IsRunning(); ++i)
        loop.Pump(20);
    EXPECT_FALSE(p.IsRunning());
    EXPECT_EQ(p.Status(), TPlayerStatus::Status_Error);
    EXPECT_EQ(p.ExitCode, 1u);
    EXPECT_EQ(p.LengthText, "0:00:07");
    EXPECT_FALSE(p.PollingActive);

    // A player still running when its controller goes away is killed.
    p.PlayerExe = WriteScript(home.Root() + "long.sh", "exec sleep 30\n");
    int pid = 0;
    {
        PreviewPlayer q;
        loop.Attach(q);
        q.PlayerExe = p.PlayerExe;
        q.MediaFile = "/x.avi";
        q.Start(1);
        pid = q.Pid();
        ASSERT_GT(pid, 0);
    }
    loop.Pump(50); // queued work of the destroyed controller must be harmless
    EXPECT_NE(::kill(pid, 0), 0);
}
