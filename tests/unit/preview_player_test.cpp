// The preview player's output handling, on output recorded from Debian's mplayer in slave mode
// and on the line forms the player prints; and players that fail, end or ignore "quit", played
// by small scripts (the preview tests run the real player).
#include "preview/preview_player.h"

#include "common/command_line.h"
#include "facts.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <sstream>
#include <sys/stat.h>
#include <thread>

using namespace trimora;

namespace {

struct Fed {
    PreviewPlayer player;
    std::vector<int> seconds; // every position the window is told of
    Fed() {
        player.host.PositionChanged = [this] { seconds.push_back(player.SecondPosition); };
    }
    void Lines(const std::vector<std::string>& lines) {
        for (const auto& l : lines)
            player.HandleOutputLine(l);
    }
};

// What the window reads from the player, as "key=value;" tokens.
std::string Facts(const PreviewPlayer& p) {
    const TStreamInfo& s = p.StreamInfo;
    std::ostringstream o;
    o << "size=" << p.NativeWidth << "x" << p.NativeHeight
      << ";playing=" << (p.Status() == TPlayerStatus::Status_Playing) << ";audio=" << p.HasAudio
      << ";video=" << p.HasVideo << ";length=" << p.LengthText << ";time=" << s.PlaybackTime
      << ";format=" << s.FileFormat << ";file=" << s.FileName << ";decoder=" << s.VideoDecoder
      << ";codec=" << s.VideoCodec << ";stream=" << s.VideoWidth << "x" << s.VideoHeight << "@"
      << s.VideoBitrate << "/" << s.VideoFps << "/" << s.VideoAspect << ";acodec=" << s.AudioCodec
      << ";ach=" << s.AudioChannels << ";arate=" << s.AudioRate << ";percent=" << p.PercentPosition
      << ";second=" << p.SecondPosition << ";status=" << p.LastStatusLine << ";last=" << p.LastLine;
    for (int i = 0; i < 10; ++i)
        o << ";info" << i << "=" << s.ClipInfo[i].Name << ":" << s.ClipInfo[i].Value;
    return ";" + o.str() + ";";
}

void ExpectFacts(const PreviewPlayer& p, const std::string& want) {
    trimora_test::ExpectFacts(Facts(p), want);
}

} // namespace

TEST(PreviewOutput, RecordedSessionsGiveClipFactsAndPositions) {
    const std::pair<const char*, std::string> rows[] = {
        // played with -nosound; the detected format line wins over ID_DEMUXER
        {"mplayer_slave_avi.txt",
         "size=160x120;playing=1;audio=0;length=0:00:04;time=0:00:04.040;format=AVI;file=clip.avi;"
         "decoder=FFmpeg's libavcodec codec family;codec=FFmpeg MPEG-4;"
         "stream=160x120@209376/25/1.3333;info0=Software:Lavf59.27.100;percent=62;second=2;"},
        // the window reads the time of the last status line it was told of
        {"mplayer_slave_wmv.txt",
         "format=ASF;codec=FFmpeg WMV2/WMV8;length=0:00:04;percent=63;status=ID_EXIT=QUIT;"},
    };
    for (const auto& [file, want] : rows) {
        const std::string text = trimora_test::ReadFileBytes(trimora_test::DataDir() + file);
        ASSERT_FALSE(text.empty()) << file;
        // The parse must not depend on where the pipe happened to cut the output.
        for (size_t size : {size_t(1), size_t(7), size_t(333)}) {
            SCOPED_TRACE(std::string(file) + " chunk " + std::to_string(size));
            Fed f;
            for (size_t i = 0; i < text.size(); i += size)
                f.player.HandleOutputChunk(text.substr(i, size));
            f.player.FlushOutput();
            ExpectFacts(f.player, want);
            // played from the start, sought forward and paused: every new position is told
            ASSERT_GE(f.seconds.size(), 2u);
            EXPECT_LT(f.seconds.front(), f.seconds.back());
        }
    }
}

TEST(PreviewOutput, LineForms) {
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{"A:  12.3 V:  12.3 A-V:  0.000 ct:  0.000"}, "second=12;"},
        {{"V:1234.5 30000/30000 ??% ??% ??,?% 0 0"}, "second=1234;"},
        // 7 characters: not a status line, not remembered
        {{"V:  -0.2   1/  1 ??%", "V: 1.0"}, "second=-1;status=V:  -0.2   1/  1 ??%;"},
        {{"ID_LENGTH=83.5"}, "length=0:01:24;time=0:01:23.500;"},
        {{"ID_LENGTH=82.5"}, "length=0:01:22;"}, // halves go to the even neighbour
        {{"ID_LENGTH=3725", "ID_LENGTH=0.0005"}, "length=0:00:00;time=1:02:05;"}, // too short
        {{"ID_LENGTH=4.9996"}, "length=0:00:05;time=0:00:05;"},
        {{"ID_LENGTH=5", "ID_LENGTH=abc"}, "length=0:00:05;"},
        {{"VO: [x11] 160x120 => 8x8 Planar YV12", "VO: [x11] 160x120 => 5000x120 RGB",
          "VO: [x11] 160x120 => 160xabc RGB", "VO: [x11] 160x120"},
         "size=0x0;playing=0;"},
        {{"VO: [xv] 640x480 => 1280x720 Planar YV12"}, "size=1280x720;playing=1;"},
        {{"Video: no video", "Starting playback..."}, "video=0;playing=1;"},
        {{"ANS_PERCENT_POSITION=40", "ANS_PERCENT_POSITION=101", "ANS_PERCENT_POSITION=-1",
          "ANS_PERCENT_POSITION=x"},
         "percent=40;"},
        {{"ANS_PERCENT_POSITION=100"}, "percent=100;"},
        {{"Cache fill:  5.00% (12345 bytes)"}, "last=;"},
        // one title entry, reused
        {{"ID_CLIP_INFO_NAME0=Artist", "ICY Info: StreamTitle='First song';StreamUrl='';",
          "ICY Info: StreamTitle='Second song';", "ICY Info: StreamTitle='';",
          "ICY Info: StreamTitle='no end"},
         "info0=Artist:;info1=Title:Second song;"},
        {{"AVI file format detected.", "ID_DEMUXER=avi", "ID_VIDEO_FORMAT=FMP4",
          "ID_AUDIO_CODEC=mp3", "ID_AUDIO_NCH=2", "ID_AUDIO_RATE=44100.0"},
         "format=AVI;decoder=FMP4;acodec=mp3;ach=2;arate=44100;"},
        {{"Selected audio codec: [mp3] afm: mp3lib (mp3lib MPEG layer-2, layer-3)"},
         "acodec=mp3lib MPEG layer-2, layer-3;"},
    };
    for (const auto& [lines, want] : rows) {
        Fed f;
        f.Lines(lines);
        ExpectFacts(f.player, want);
    }

    // All ten info entries taken: the title goes into the last one; a two-digit index is ignored.
    Fed full;
    for (int i = 0; i < 10; ++i)
        full.player.HandleIdPair("CLIP_INFO_NAME" + std::to_string(i), "N" + std::to_string(i));
    full.player.HandleIdPair("CLIP_INFO_NAME10", "x");
    full.Lines({"ICY Info: StreamTitle='Late';"});
    ExpectFacts(full.player, "info1=N1:;info8=N8:;info9=Title:Late;");
}

TEST(PreviewPlayer, ClockTextCommandLineAndExecutable) {
    EXPECT_EQ(PlayerClockText(3725) + PlayerClockText(-5) + PlayerClockText(360000),
              "1:02:050:00:00100:00:00");
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
        for (int i = 0; i < ms / 5; ++i) {
            std::deque<std::function<void()>> batch;
            {
                std::lock_guard<std::mutex> lock(m);
                batch.swap(q);
            }
            for (auto& w : batch)
                w();
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

TEST(PreviewPlayer, PlayersThatFailEndOrIgnoreQuit) {
    trimora_test::IsolatedHome home;
    Loop loop;
    PreviewPlayer p;
    loop.Attach(p);
    p.MediaFile = "/nowhere/clip.avi";
    p.PlayerExe = home.Root() + "missing/mplayer.exe";
    p.Start(1);
    EXPECT_FALSE(p.IsRunning());
    EXPECT_EQ(p.Status(), TPlayerStatus::Status_Error);

    // Ends by itself with a failure code while playing; its last unfinished line is still
    // parsed.
    p.PlayerExe = WriteScript(home.Root() + "bad.sh",
                              "printf 'VO: [x11] 160x120 => 320x240 RGB\\nID_LENGTH=7'\nexit 1\n");
    p.Start(1);
    for (int i = 0; i < 100 && p.IsRunning(); ++i)
        loop.Pump(20);
    EXPECT_FALSE(p.IsRunning() || p.PollingActive);
    EXPECT_EQ(p.Status(), TPlayerStatus::Status_Error);
    EXPECT_EQ(p.ExitCode, 1u);
    EXPECT_EQ(p.LengthText, "0:00:07");

    // A player that answers "quit" ends at once; one that ignores it is terminated after a
    // second.
    p.PlayerExe = WriteScript(home.Root() + "quits.sh",
                              "printf 'VO: [x11] 160x120 => 320x240 RGB\\n'\n"
                              "while read cmd; do [ \"$cmd\" = quit ] && exit 0; done\n");
    p.Start(1);
    for (int i = 0; i < 100 && p.Status() != TPlayerStatus::Status_Playing; ++i)
        loop.Pump(20);
    auto t0 = std::chrono::steady_clock::now();
    p.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(900));
    EXPECT_FALSE(p.IsRunning());
    EXPECT_EQ(p.Status(), TPlayerStatus::Status_Stopped);
    EXPECT_EQ(p.ExitCode, 0u);
    p.PlayerExe = WriteScript(home.Root() + "deaf.sh", "trap '' TERM\nwhile :; do sleep 1; done\n");
    p.Start(1);
    ASSERT_TRUE(p.IsRunning());
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
    EXPECT_NE(::kill(pid, 0), 0);

    // A player still running when its controller goes away is killed.
    int late = 0;
    {
        PreviewPlayer q;
        loop.Attach(q);
        q.PlayerExe = WriteScript(home.Root() + "long.sh", "exec sleep 30\n");
        q.MediaFile = "/x.avi";
        q.Start(1);
        late = q.Pid();
        ASSERT_GT(late, 0);
    }
    loop.Pump(50); // queued work of the destroyed controller must be harmless
    EXPECT_NE(::kill(late, 0), 0);
}
