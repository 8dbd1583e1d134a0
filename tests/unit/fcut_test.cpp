// fcut.exe's translation of the program's encoder command lines, its stream report and its
// progress texts, without running ffmpeg.
#include "common/command_line.h"
#include "common/fcut_plan.h"
#include "common/fcut_report.h"
#include "common/fcut_run.h"
#include "exec/tool_install.h"
#include "media/store_info.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

using namespace trimora::fcut;

namespace {

FcutPlan Plan(const std::string& command) {
    return PlanFcut(trimora::SplitCommandLine(command));
}

std::string Joined(const std::vector<std::string>& v) {
    std::string s;
    for (const auto& a : v)
        s += (s.empty() ? "" : " ") + a;
    return s;
}

} // namespace

TEST(FcutPlan, ProbeAndWarmUpNameNoOutput) {
    const FcutPlan probe = Plan("-cb  -i \"/v/a b.mp4\"");
    EXPECT_TRUE(probe.probe && probe.error.empty());
    EXPECT_EQ(probe.inputs, std::vector<std::string>{"/v/a b.mp4"});
    EXPECT_TRUE(Plan("-cb  -threads 10  -i \"/h/help/silent.mp3\"").probe);
    EXPECT_FALSE(Plan("-cb ").error.empty());
    EXPECT_FALSE(Plan("-cb  -i").error.empty());
}

TEST(FcutPlan, CommandsBecomeFfmpegArguments) {
    // command -> pieces of the ffmpeg argument list, '|' between them; '!' marks a piece that
    // must not be there, '^' one the list starts with; note: the plan must note that text
    struct Row {
        const char* command;
        const char* want;
        const char* note;
    };
    const Row rows[] = {
        // seek and length stay input options; -async means nothing for copied audio
        {"-cb  -threads 10  -ss 00:01:23.456 -t 37  -async 1 -i \"/v/a.mp4\"  -acodec copy  "
         "-vcodec copy -sn -y \"/out/a-Cut.mp4\"",
         "^-y -threads 10 -ss 00:01:23.456 -t 37 -i /v/a.mp4 -c:a copy -c:v copy -sn "
         "/out/a-Cut.mp4",
         ""},
        // encoded video: the input seek stops short of the start, the output cuts exactly
        {"-cb  -threads 6  -ss 00:00:01.000 -t 2  -async 1 -i \"/v/a.avi\"  -acodec libmp3lame "
         "-ac 2  -ar 44100  -ab 128k  -vol 768  -s 320x240  -vcodec libx264 -vpre "
         "veryfast_firstpass  -crf 18  -y \"/o/a.mpg\"",
         "^-y -threads 6 -i /v/a.avi -ss 1.000|-t 2|-preset veryfast|!-vpre|-c:v libx264|-crf 18|"
         "-b:a 128k|-af aresample=async=1,volume=3|-pix_fmt yuv420p|-s 320x240|!-vol|!-async|"
         "/o/a.mpg",
         ""},
        {"-cb  -ss 00:01:23.456 -t 37  -async 1 -i \"/v/a.ts\"  -s 160x120  -vcodec mpeg2video  "
         "-an  -qscale 3  -y \"/o/a.vob\"",
         "^-y -ss 78.456 -i /v/a.ts -ss 5.000 -t 37 -s 160x120 -c:v mpeg2video", ""},
        // vob holds no aac: ac3 at a bitrate the AC-3 encoder accepts
        {"-cb  -i \"/v/a.mp4\"  -s 160x120  -vcodec mpeg2video  -acodec aac -ac 2  -ar 44100  "
         "-ab 69k     -qscale 3  -y \"/o/a.vob\"",
         "-c:a ac3|-b:a 64k|-q:v 3", "cannot hold aac"},
        {"-i /a.mp4 -acodec aac -ab 0.35M -y /o.vob", "-c:a ac3|-b:a 320k", "cannot hold aac"},
        // 3gp and m4v hold no mp3; .divx is an AVI ffmpeg does not know by its extension
        {"-i /a.mp4 -acodec libmp3lame -y /o.3gp", "-c:a aac", "mp3"},
        {"-cb  -i \"/v/a.divx\" -vcodec copy  -acodec copy  -sn -y \"/o/b.divx\"", "-f avi", ""},
        // codecs a container holds are left alone, copies are never touched
        {"-i /a.mp4 -acodec libmp3lame -y /o.mp4", "-c:a libmp3lame", ""},
        {"-i /a.mp4 -acodec mp3 -y /o.mp3", "-c:a libmp3lame", ""},
        {"-i /a.vob -acodec copy -vcodec copy -y /o.vob", "-c:a copy", ""},
        {"-cb  -i \"/v/a.mp4\"  -s 160x120  -vcodec libvpx -acodec libvorbis -ab 128k -ac 2 -ar "
         "44100  -qscale 3  -y \"/o/a.webm\"",
         "-crf 10|-b:v 4M|!-qscale", ""},
        {"-cb  -i \"/v/a.mp4\" -vn -sn  -acodec vorbis -aq 100  -vol 1024  -y \"/o/a.ogg\"",
         "-c:a libvorbis|-q:a 10|-af volume=4", ""},
        // a '%' in the path stays literal (-update 1)
        {"-cb  -ss 00:00:01.500 -i \"/v/a.mp4\" -f image2 -vframes 1 -sameq "
         "\"/img/000001.500.jpg\"",
         "^-i /v/a.mp4 -ss 1.500|-q:v 2|-frames:v 1|-update 1|!-sameq", ""},
    };
    for (const Row& r : rows) {
        const FcutPlan p = Plan(r.command);
        const std::string args = " " + Joined(p.ffmpegArgs) + " ";
        std::string want = r.want;
        for (size_t b = 0, e = 0; e != std::string::npos; b = e + 1) {
            e = want.find('|', b);
            std::string piece = want.substr(b, e == std::string::npos ? e : e - b);
            const char mark = piece[0];
            if (mark == '!' || mark == '^') piece.erase(0, 1);
            const size_t at = args.find(" " + piece + " ");
            if (mark == '!')
                EXPECT_EQ(at, std::string::npos) << piece << " in" << args;
            else
                EXPECT_EQ(mark == '^' ? at == 0 : at != std::string::npos, true)
                    << piece << " ?" << args;
        }
        const std::string notes = Joined(p.notes);
        EXPECT_EQ(std::string(r.note).empty(), notes.empty()) << notes;
        EXPECT_NE(notes.find(r.note), std::string::npos) << notes;
    }
    const FcutPlan frame = Plan("-ss 00:00:01.500 -i /v/a.mp4 -f image2 -vframes 1 /i/1.jpg");
    EXPECT_EQ(frame.muxer, "image2");
    EXPECT_NEAR(frame.inputSeek.value_or(-1), 1.5, 1e-9);

    for (const auto& [text, seconds] :
         std::vector<std::pair<const char*, double>>{{"37", 37},
                                                     {"00:01:23.456", 83.456},
                                                     {"1:05", 65},
                                                     {"100:00:00", 360000},
                                                     {"abc", -1},
                                                     {"", -1},
                                                     {"1::2", -1}})
        EXPECT_NEAR(ParseFfmpegTime(text).value_or(-1), seconds, 1e-9) << text;
}

namespace {

const char* kMp4Json = R"({
  "streams": [
    {"index": 0, "codec_name": "h264", "codec_type": "video", "width": 1280, "height": 720,
     "sample_aspect_ratio": "1:1", "display_aspect_ratio": "16:9", "pix_fmt": "yuv420p",
     "r_frame_rate": "30000/1001", "avg_frame_rate": "30000/1001", "time_base": "1/30000",
     "bit_rate": "2000000", "tags": {"language": "und"}},
    {"index": 1, "codec_name": "aac", "codec_type": "audio", "sample_fmt": "fltp",
     "sample_rate": "48000", "channels": 2, "channel_layout": "stereo", "bit_rate": "128000",
     "tags": {"language": "eng"}}
  ],
  "format": {"filename": "/v/a.mp4", "format_name": "mov,mp4,m4a,3gp,3g2,mj2",
             "start_time": "0.000000", "duration": "83.454", "bit_rate": "1234567",
             "tags": {"major_brand": "isom", "title": "My Audio: holiday"}}
})";

} // namespace

TEST(FcutReport, ClassicLayoutReadsBackThroughTheClipParser) {
    const std::string report = FormatStreamReport(0, "/v/a.mp4", kMp4Json);
    for (const char* line :
         {"Input #0, mov,mp4,m4a,3gp,3g2,mj2, from '/v/a.mp4':\n",
          "  Duration: 00:01:23.45, start: 0.000000, bitrate: 1234 kb/s\n",
          "    Stream #0.0: Video: h264, yuv420p, 1280x720 [SAR 1:1 DAR 16:9], 2000 kb/s, 29.97 "
          "fps, 29.97 tbr, 30k tbn\n",
          "    Stream #0.1(eng): Audio: aac, 48000 Hz, stereo, fltp, 128 kb/s\n",
          "    major_brand     : isom\n"})
        EXPECT_NE(report.find(line), std::string::npos) << line;
    // A title holding "Audio:" would be read as the audio line: it is left out.
    EXPECT_EQ(report.find("holiday"), std::string::npos);

    trimora::TStoreInfo info;
    trimora::TClipReportInputs in;
    in.InputExt = ".mp4";
    trimora::ParseClipReport(trimora_test::SplitLines(report), in, info);
    EXPECT_EQ(info.DurationText + " " + std::to_string(info.BitrateKbps) + " " + info.FrameSize +
                  " " + info.FpsText + " " + info.CodecSummary + info.AudioBitrateOption +
                  info.AudioRateOption,
              "00:01:23 1234 1280x720 29.97 h264 - aac -  -ab 128k  -ar 48000 ");
}

TEST(FcutReport, VideoOnlyUnknownDurationAndRates) {
    const char* json = R"({"streams": [{"index": 0, "codec_name": "mpeg2video",
        "codec_type": "video", "width": 720, "height": 576, "sample_aspect_ratio": "0:1",
        "pix_fmt": "yuv420p", "r_frame_rate": "25/1", "avg_frame_rate": "0/0",
        "time_base": "1/90000"}],
        "format": {"format_name": "mpeg", "duration": "N/A"}})";
    const std::string report = FormatStreamReport(1, "/v/b.mpg", json);
    EXPECT_NE(report.find("  Duration: N/A, bitrate: N/A\n"), std::string::npos);
    EXPECT_NE(
        report.find("    Stream #1.0: Video: mpeg2video, yuv420p, 720x576, 25 tbr, 90k tbn\n"),
        std::string::npos);
    EXPECT_EQ(report.find("Audio:"), std::string::npos);
    EXPECT_EQ(FormatStreamReport(0, "/x", "not json"), "");
    EXPECT_EQ(FormatRate(25) + " " + FormatRate(23.976) + " " + FormatRate(12800) + " " +
                  FormatRate(1000),
              "25 23.98 12800 1k");
    EXPECT_EQ(FormatReportDuration(3599.996) + " " + FormatReportDuration(4) + " " +
                  FormatReportDuration(400000),
              "01:00:00.00 00:00:04.00 111:06:40.00");
}

TEST(FcutProgress, ChunksEndInWholeSecondsWhateverTheReadBoundaries) {
    ProgressTranslator t;
    const std::string block1 = "frame=50\nfps=25.0\nbitrate= 100.0kbits/s\ntotal_size=20480\n"
                               "out_time_us=2040000\nout_time=00:00:02.040000\nspeed=1.5x\n"
                               "progress=continue\n";
    const std::string block2 = "frame=100\ntotal_size=N/A\nout_time_us=N/A\nprogress=end\n";
    std::vector<std::string> chunks;
    const std::string all = block1 + block2;
    for (size_t i = 0; i < all.size(); i += 7)
        for (auto& c : t.Feed(all.substr(i, 7)))
            chunks.push_back(c);
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks[0], "frame=   50 fps=25.0 size=      20kB bitrate= 100.0kbits/s speed=1.5x "
                         "time=2\r");
    // A time not yet known keeps the last one; the chunk still ends in a number.
    EXPECT_NE(chunks[1].find("time=2\r"), std::string::npos);
    for (const auto& c : chunks)
        EXPECT_EQ(c.find("time="), c.rfind("time="));

    LineBuffer lines;
    lines.Feed("a\nb");
    EXPECT_EQ(lines.TakeLines(), "a\n");
    lines.Feed("c\r\nd");
    EXPECT_EQ(lines.TakeLines(), "bc\r\n");
    EXPECT_EQ(lines.TakeEverything(), "d\n");
    EXPECT_NE(EmptyOutputSummary().find("video:0kB audio:0kB"), std::string::npos);
}

TEST(ToolInstall, LinksMissingAndStaleFrontEndsAndLeavesCurrentOnes) {
    namespace fs = std::filesystem;
    trimora_test::IsolatedHome home;
    const fs::path root = home.Root();
    const std::string prog = (root / "bin").string() + "/";
    const std::string sys = (root / "share" / "trimora").string() + "/";
    fs::create_directories(prog);
    for (const char* name : {"fcut.exe", "mcut.exe", "fmerge.exe", "mmerge.exe"})
        std::ofstream(prog + name) << name;

    auto r = trimora::EnsureFrontEndsInstalled(prog, sys);
    EXPECT_TRUE(r.Ok());
    EXPECT_EQ(r.installed.size(), 4u);
    EXPECT_EQ(r.missing, std::vector<std::string>{"mplayer.exe"});
    EXPECT_TRUE(fs::equivalent(sys + "fcut.exe", prog + "fcut.exe"));
    EXPECT_TRUE(fs::equivalent(sys + "qvcut/mmerge.exe", prog + "mmerge.exe"));

    // Up to date: nothing touched. An old copy and a link into another build are replaced.
    r = trimora::EnsureFrontEndsInstalled(prog, sys);
    EXPECT_TRUE(r.installed.empty());
    fs::remove(sys + "mcut.exe");
    std::ofstream(sys + "mcut.exe") << "old copy";
    fs::remove(sys + "qvcut/fmerge.exe");
    fs::create_symlink(root / "elsewhere" / "fmerge.exe", sys + "qvcut/fmerge.exe");
    r = trimora::EnsureFrontEndsInstalled(prog, sys);
    EXPECT_EQ(r.installed, (std::vector<std::string>{"mcut.exe", "fmerge.exe"}));
    EXPECT_TRUE(fs::equivalent(sys + "mcut.exe", prog + "mcut.exe"));
    EXPECT_TRUE(fs::equivalent(sys + "qvcut/fmerge.exe", prog + "fmerge.exe"));
}
