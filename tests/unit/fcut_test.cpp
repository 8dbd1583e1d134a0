// fcut.exe's translation of the program's encoder command lines and its stream report, without
// running ffmpeg (its progress texts are read from real runs in fcut_e2e), and the front-ends'
// installation.
#include "common/command_line.h"
#include "common/fcut_plan.h"
#include "common/fcut_report.h"
#include "exec/tool_install.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

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
        {"-i /a.mp4 -acodec mp3 -y /o.mp3", "-c:a libmp3lame", ""},
        {"-i /a.vob -acodec copy -vcodec copy -y /o.vob", "-c:a copy", ""},
        {"-cb  -i \"/v/a.mp4\"  -s 160x120  -vcodec libvpx -acodec libvorbis -ab 128k -ac 2 -ar "
         "44100  -qscale 3  -y \"/o/a.webm\"",
         "-crf 10|-b:v 4M|!-qscale", ""},
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
    for (const auto& [text, seconds] :
         std::vector<std::pair<const char*, double>>{
             {"37", 37}, {"00:01:23.456", 83.456}, {"100:00:00", 360000}, {"1::2", -1}})
        EXPECT_NEAR(ParseFfmpegTime(text).value_or(-1), seconds, 1e-9) << text;
}

// The stream report is read back by the program's clip parser (see the probe of real clips);
// what real clips rarely show: tags that look like stream lines, no duration, no rates.
TEST(FcutReport, OddTagsAndUnknownValues) {
    const std::string report = FormatStreamReport(0, "/v/a.mp4", R"({"streams": [
        {"index": 0, "codec_name": "h264", "codec_type": "video", "width": 160, "height": 120}],
        "format": {"format_name": "mp4", "duration": "3.0",
                   "tags": {"major_brand": "isom", "title": "My Audio: holiday"}}})");
    EXPECT_NE(report.find("    major_brand     : isom\n"), std::string::npos) << report;
    EXPECT_EQ(report.find("holiday"), std::string::npos); // it would be read as the audio line

    const char* json = R"({"streams": [{"index": 0, "codec_name": "mpeg2video",
        "codec_type": "video", "width": 720, "height": 576, "sample_aspect_ratio": "0:1",
        "pix_fmt": "yuv420p", "r_frame_rate": "25/1", "avg_frame_rate": "0/0",
        "time_base": "1/90000"}],
        "format": {"format_name": "mpeg", "duration": "N/A"}})";
    const std::string raw = FormatStreamReport(1, "/v/b.mpg", json);
    EXPECT_NE(raw.find("  Duration: N/A, bitrate: N/A\n"), std::string::npos);
    EXPECT_NE(raw.find("    Stream #1.0: Video: mpeg2video, yuv420p, 720x576, 25 tbr, 90k tbn\n"),
              std::string::npos);
    EXPECT_EQ(FormatStreamReport(0, "/x", "not json"), "");
    EXPECT_EQ(FormatRate(23.976) + " " + FormatRate(1000) + " " + FormatReportDuration(400000),
              "23.98 1k 111:06:40.00");
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
