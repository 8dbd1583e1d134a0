// fcut.exe end to end: the real front-end and the real ffmpeg on tiny clips of every container
// the program reads, with each encoder command line composed as the program composes it
// (doubled blanks included). Outputs are checked with ffprobe; the probe report is read back
// with the program's own clip parser.
#include "common/command_line.h"
#include "media/store_info.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <map>
#include <csignal>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <regex>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

using namespace trimora_test;
namespace fs = std::filesystem;

namespace {

const std::string kLavfi = "-f lavfi -i testsrc=size=160x120:rate=25:duration=4 "
                           "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=4 "
                           "-pix_fmt yuv420p -g 12 -shortest ";
const std::string kH264 = kLavfi + "-c:v libx264 -preset ultrafast -c:a aac -b:a 96k ";

// One source clip per container the program reads, with codecs typical for it.
std::string Source(const std::string& ext) {
    static const std::map<std::string, std::string> args = {
        {".mp4", kH264},
        {".m4v", kH264},
        {".mov", kH264},
        {".3gp", kH264},
        {".mkv", kH264},
        {".flv", kH264 + "-metadata canseekontime=true"},
        {".m2ts", kH264 + "-f mpegts"},
        {".avi", kLavfi + "-c:v mpeg4 -q:v 5 -c:a libmp3lame -b:a 128k"},
        {".divx", kLavfi + "-c:v mpeg4 -q:v 5 -c:a libmp3lame -b:a 128k -f avi"},
        {".webm", kLavfi + "-c:v libvpx -deadline realtime -cpu-used 8 -b:v 200k -c:a libvorbis"},
        {".mpg", kLavfi + "-c:v mpeg2video -q:v 5 -c:a mp2 -b:a 128k"},
        {".mpeg", kLavfi + "-c:v mpeg2video -q:v 5 -c:a mp2 -b:a 128k"},
        {".vob", kLavfi + "-c:v mpeg2video -q:v 5 -c:a ac3 -b:a 128k -f vob"},
        {".wmv", kLavfi + "-c:v wmv2 -q:v 5 -c:a wmav2 -b:a 128k"},
        {".asf", kLavfi + "-c:v wmv2 -q:v 5 -c:a wmav2 -b:a 128k"},
    };
    return SampleClip("fcut-src" + ext, args.at(ext));
}

std::string Ac3AviSource() {
    return SampleClip("fcut-src-ac3.avi", kLavfi + "-c:v mpeg4 -q:v 5 -c:a ac3 -b:a 128k");
}
std::string SilentSource() {
    return SampleClip("fcut-src-noaudio.mp4",
                      "-f lavfi -i testsrc=size=160x120:rate=25:duration=4 -pix_fmt yuv420p "
                      "-g 12 -c:v libx264 -preset ultrafast");
}

const std::vector<std::string> kAllContainers = {".mp4", ".m4v", ".mov", ".avi", ".divx",
                                                 ".flv", ".mkv", ".webm", ".mpg", ".mpeg",
                                                 ".m2ts", ".vob", ".wmv", ".asf", ".3gp"};

std::string Q(const std::string& path) { return trimora::Quoted(path); }

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
        if (c == '\r' || c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

// The format ffprobe must find in a file of this extension.
std::string ExpectedFormat(const std::string& ext) {
    static const std::map<std::string, std::string> map = {
        {".mp4", "mp4"},   {".m4v", "mp4"},   {".mov", "mov"},     {".3gp", "3gp"},
        {".m4a", "mp4"},   {".avi", "avi"},   {".divx", "avi"},    {".flv", "flv"},
        {".mkv", "matroska"}, {".webm", "webm"}, {".mpg", "mpeg"}, {".mpeg", "mpeg"},
        {".vob", "mpeg"},  {".m2ts", "mpegts"}, {".wmv", "asf"},   {".asf", "asf"},
        {".wma", "asf"},   {".aac", "aac"},   {".mp3", "mp3"},     {".ogg", "ogg"},
        {".wav", "wav"}};
    return map.at(ext);
}

// Everything checked about a file, from one ffprobe run (the machine is shared; every process
// start counts).
struct Facts {
    bool readable = false;
    std::string format, vcodec, acodec, frameSize;
    double duration = -1, vduration = -1, aduration = -1;
    long abitrate = 0;
};

Facts Probe(const std::string& path) {
    int code = 0;
    const std::string out = RunProgram({"ffprobe", "-v", "error", "-show_entries",
                                        "format=format_name,duration:stream=codec_type,codec_name,"
                                        "width,height,duration,bit_rate",
                                        "-of", "flat", path},
                                       &code);
    Facts f;
    f.readable = code == 0;
    std::map<std::string, std::string> kv;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string v = line.substr(eq + 1);
        if (v.size() >= 2 && v.front() == '"') v = v.substr(1, v.size() - 2);
        kv[line.substr(0, eq)] = v;
    }
    auto num = [](const std::string& v) { return v.empty() || v == "N/A" ? -1.0 : std::atof(v.c_str()); };
    f.format = kv["format.format_name"];
    f.duration = num(kv["format.duration"]);
    for (int i = 0; kv.count("streams.stream." + std::to_string(i) + ".codec_type"); ++i) {
        const std::string k = "streams.stream." + std::to_string(i) + ".";
        if (kv[k + "codec_type"] == "video" && f.vcodec.empty()) {
            f.vcodec = kv[k + "codec_name"];
            f.frameSize = kv[k + "width"] + "x" + kv[k + "height"];
            f.vduration = num(kv[k + "duration"]);
        } else if (kv[k + "codec_type"] == "audio" && f.acodec.empty()) {
            f.acodec = kv[k + "codec_name"];
            f.aduration = num(kv[k + "duration"]);
            f.abitrate = std::atol(kv[k + "bit_rate"].c_str());
        }
    }
    return f;
}

struct ToolRun {
    std::string output;
    int code = -1;
};

class FcutE2E : public ::testing::Test {
  protected:
    void SetUp() override {
        sys_ = home_.InstallTools();
        ffmpegCommand_ = sys_ + "fcut.exe -cb ";
        out_ = home_.Root() + "out/";
        fs::create_directories(out_);
    }

    ToolRun Start(const std::string& command) {
        ToolRun r;
        r.output = RunProgram(trimora::SplitCommandLine(command), &r.code);
        return r;
    }

    // What the program learns about a clip: the probe command, read by the clip parser.
    trimora::TStoreInfo ProbeInfo(const std::string& path, std::string* report = nullptr) {
        const ToolRun r = Start(ffmpegCommand_ + " -i " + Q(path));
        if (report) *report = r.output;
        trimora::TStoreInfo info;
        trimora::TClipReportInputs in;
        in.InputExt = path.substr(path.rfind('.'));
        trimora::ParseClipReport(Lines(r.output), in, info);
        return info;
    }

    // Every "time=" of a run is followed by whole seconds and nothing else in its chunk.
    static void ExpectProgress(const ToolRun& r, const std::string& what) {
        const std::regex time("time=([0-9]+)\r");
        size_t count = 0, at = 0;
        while ((at = r.output.find("time=", at)) != std::string::npos) {
            ++count;
            ++at;
        }
        const auto begin = std::sregex_iterator(r.output.begin(), r.output.end(), time);
        const size_t whole = static_cast<size_t>(std::distance(begin, std::sregex_iterator()));
        EXPECT_GT(whole, 0u) << what << ": no time= progress\n" << r.output;
        EXPECT_EQ(whole, count) << what << ": a time= that is not whole seconds\n" << r.output;
        EXPECT_NE(r.output.find("video:"), std::string::npos) << what << ": no summary";
    }

    // A valid file of its extension's container with the streams, size and length asked for.
    static void ExpectOutput(const std::string& path, bool audio, bool video, double seconds,
                             const std::string& frameSize, const std::string& what) {
        SCOPED_TRACE(what);
        ASSERT_TRUE(fs::exists(path)) << path;
        const std::string ext = path.substr(path.rfind('.'));
        const Facts f = Probe(path);
        ASSERT_TRUE(f.readable);
        EXPECT_NE(f.format.find(ExpectedFormat(ext)), std::string::npos) << f.format;
        EXPECT_EQ(!f.acodec.empty(), audio);
        EXPECT_EQ(!f.vcodec.empty(), video);
        EXPECT_NEAR(f.duration, seconds, 1.0);
        if (video && !frameSize.empty()) {
            EXPECT_EQ(f.frameSize, frameSize);
        }
        // The sound lasts as long as the picture. (A copied picture starts at a keyframe, so
        // in some containers the sound may begin a little before it.)
        if (audio && video && f.aduration > 0 && f.vduration > 0) {
            EXPECT_GT(f.aduration, f.vduration - 0.5) << "audio shorter than the video";
        }
    }

    IsolatedHome home_;
    std::string sys_, ffmpegCommand_, out_;
    const std::string threads_ = " -threads 6 "; // two processors
};

} // namespace

TEST_F(FcutE2E, ProbeReportReadsRightThroughTheClipParser) {
    for (const auto& ext : kAllContainers) {
        SCOPED_TRACE(ext);
        const std::string clip = Source(ext);
        std::string report;
        const trimora::TStoreInfo info = ProbeInfo(clip, &report);
        EXPECT_FALSE(info.BadFile) << report;
        const Facts facts = Probe(clip);
        EXPECT_NEAR(static_cast<double>(info.ClipDuration), facts.duration, 1.0) << report;
        EXPECT_EQ(info.FrameSize, "160x120") << report;
        EXPECT_EQ(info.FpsText, "25") << report;
        EXPECT_EQ(info.CodecSummary, facts.vcodec + " - " + facts.acodec + " - ") << report;
        EXPECT_FALSE(info.NoAudio);
        EXPECT_EQ(info.AudioRateOption, " -ar 44100 ");
        // The audio bitrate where the container states one (Matroska and WebM do not).
        const long kbps = facts.abitrate / 1000;
        const long expected = kbps >= 2 ? std::min(kbps, 192L) : 192;
        EXPECT_EQ(info.AudioBitrateOption, " -ab " + std::to_string(expected) + "k ") << report;
        EXPECT_GT(info.BitrateKbps, 0);
        EXPECT_NE(info.BitrateKbps, 5080) << report;
    }

    // FLV metadata lines as ffmpeg prints them (this muxer flag writes "hasKeyframes").
    trimora::TStoreInfo flv;
    {
        const std::string indexed = SampleClip(
            "fcut-src-indexed.flv", kH264 + "-flvflags add_keyframe_index -metadata canseekontime=true");
        const ToolRun r = Start(ffmpegCommand_ + " -i " + Q(indexed));
        trimora::TClipReportInputs in;
        in.InputExt = ".flv";
        trimora::ParseClipReport(Lines(r.output), in, flv);
        EXPECT_NE(r.output.find("    canseekontime   : true\n"), std::string::npos) << r.output;
        EXPECT_NE(r.output.find("    hasKeyframes    : true\n"), std::string::npos) << r.output;
    }
    EXPECT_TRUE(flv.FlvCanSeek);
    EXPECT_TRUE(flv.FlvHasKeyframes);

    const trimora::TStoreInfo silent = ProbeInfo(SilentSource());
    EXPECT_TRUE(silent.NoAudio);
    EXPECT_EQ(silent.AudioBitrateOption, " ");
    EXPECT_EQ(silent.CodecSummary, "h264 - NoAudio - ");

    // Unreadable media, and the warm-up on the program's silent sound.
    const std::string junk = out_ + "junk.mp4";
    WriteFileBytes(junk, std::string(5000, 'x'));
    std::string report;
    EXPECT_TRUE(ProbeInfo(junk, &report).BadFile);
    EXPECT_NE(report.find("Invalid data found when processing input"), std::string::npos);
    const ToolRun warm = Start(ffmpegCommand_ + " -i " + Q(BinDir() + "help/silent.mp3"));
    EXPECT_EQ(warm.code, 0) << warm.output;
    EXPECT_NE(warm.output.find("Audio: mp3"), std::string::npos) << warm.output;
}

TEST_F(FcutE2E, CutEveryEncoderContainerAsComposed) {
    // The cut forms of each source class: F + T + " -async 1 -i "S" " + audio + ..., and the
    // "Cut Nosound" forms where the class has one.
    const std::string F = ffmpegCommand_ + threads_;
    const std::string T = " -ss 00:00:01.000 -t 2 ";
    struct Form {
        std::string ext, source;
        bool nosound;
    };
    std::vector<Form> forms;
    for (const char* ext : {".flv", ".webm", ".mp4", ".m4v", ".mov", ".avi", ".divx", ".mpg",
                            ".mpeg", ".m2ts", ".vob"}) {
        forms.push_back({ext, Source(ext), false});
        if (std::string(ext) != ".m2ts" && std::string(ext) != ".vob")
            forms.push_back({ext, Source(ext), true});
    }
    forms.push_back({".avi", Ac3AviSource(), false});
    forms.push_back({".mp4", SilentSource(), false});

    int n = 0;
    for (const auto& f : forms) {
        const std::string S = f.source;
        const std::string O = out_ + "cut" + std::to_string(++n) + f.ext;
        const trimora::TStoreInfo info = ProbeInfo(S);
        std::string A = " -acodec copy ";
        if ((f.ext == ".avi" || f.ext == ".divx" || f.ext == ".mpg" || f.ext == ".mpeg") &&
            info.CodecSummary.find("ac3") != std::string::npos)
            A = " -acodec libmp3lame -ac 2 " + info.AudioRateOption + info.AudioBitrateOption;
        if (info.NoAudio) A = " -an ";
        std::string cmd;
        const std::string head = F + T + " -async 1 -i " + Q(S);
        if (f.ext == ".flv" || f.ext == ".webm")
            cmd = head + " " + (f.nosound ? " -an -vcodec copy -sn -y "
                                          : " -acodec copy -vcodec copy -sn -y ") + Q(O);
        else if (f.ext == ".mp4" || f.ext == ".m4v" || f.ext == ".mov")
            cmd = f.nosound ? head + " -an -vcodec copy -sn -y " + Q(O)
                            : head + " " + A + " -vcodec copy -sn -y " + Q(O);
        else if (f.ext == ".avi" || f.ext == ".divx" || f.ext == ".mpg" || f.ext == ".mpeg")
            cmd = f.nosound ? F + T + " -i " + Q(S) + " -an -vcodec copy -sn -y " + Q(O)
                            : head + " -vcodec copy " + A + " -sn -y " + Q(O);
        else if (f.ext == ".m2ts")
            cmd = head + " -acodec copy -vcodec copy -f mpegts -sn -y " + Q(O);
        else
            cmd = head + " -acodec copy -vcodec copy -sn -y " + Q(O);
        const std::string what = f.ext + (f.nosound ? " nosound: " : ": ") + cmd;
        const ToolRun r = Start(cmd);
        EXPECT_EQ(r.code, 0) << what << "\n" << r.output;
        ExpectProgress(r, what);
        ExpectOutput(O, !f.nosound && !info.NoAudio, true, 2, "160x120", what);
        if (A.find("libmp3lame") != std::string::npos) {
            EXPECT_EQ(Probe(O).acodec, "mp3");
        }
    }
}

TEST_F(FcutE2E, ConvertToEveryFormatAndDevice) {
    const std::string head = ffmpegCommand_ + threads_;
    const std::string vcodec = " -vcodec libx264 -vpre veryfast_firstpass ";
    // Every source container is converted at least once: the sources rotate over the formats.
    size_t next = 0;
    auto nextSource = [&] { return Source(kAllContainers[next++ % kAllContainers.size()]); };

    struct Format {
        std::string ext, audio; // audio piece before the clip's rate/bitrate options
        std::string size;       // frame size asked ("" = same as original)
        bool partial, sound;
        std::string volume;
    };
    const std::vector<Format> formats = {
        {".avi", " -acodec libmp3lame -ac 2 ", "", false, true, " "},
        {".flv", " -acodec aac -ac 2 -ar 44100 ", "", true, true, " -vol 512 "},
        {".mkv", " -acodec aac -ac 2 ", "320x240", false, true, " "},
        {".mpg", " -acodec libmp3lame -ac 2 ", "", true, true, " "},
        {".mpeg", " -acodec libmp3lame -ac 2 ", "", false, false, " "},
        {".mov", " -acodec aac -ac 2 ", "", false, true, " -vol 1024 "},
        {".mp4", " -acodec aac -ac 2 ", "128x96", true, true, " "},
        {".m4v", " -acodec aac -ac 2 ", "", false, true, " "},
        {".3gp", " -acodec aac -ac 2 ", "", true, true, " "},
        {".webm", "", "", false, true, " "},
        {".vob", " -acodec aac -ac 2 ", "", true, true, " "},
    };
    for (const auto& f : formats) {
        const std::string S = nextSource();
        const trimora::TStoreInfo info = ProbeInfo(S);
        const std::string size = f.size.empty() ? info.FrameSize : f.size;
        const std::string sizePiece = " -s " + size + " ";
        std::string audio = f.ext == ".flv" ? f.audio + info.AudioBitrateOption + f.volume
                                            : f.audio + info.AudioRateOption +
                                                  info.AudioBitrateOption + f.volume;
        audio = f.sound ? audio + " " : " -an ";
        std::string fragment;
        if (f.ext == ".webm")
            fragment = sizePiece + " -vcodec libvpx -acodec libvorbis -ab 128k -ac 2 -ar 44100 " +
                       " -qscale 3 ";
        else if (f.ext == ".vob")
            fragment = sizePiece + " -vcodec mpeg2video " + audio + " -qscale 3 ";
        else
            fragment = audio + sizePiece + vcodec + " -crf 18 ";
        const std::string O = out_ + "conv" + (f.partial ? "-Partial" : "-Convert") + f.ext;
        const std::string cmd =
            f.partial ? head + " " + " -ss 00:00:01.000 -t 2 " + " -async 1 -i " + Q(S) + " " +
                            fragment + " -y " + Q(O)
                      : head + " -i " + Q(S) + " " + fragment + " -y " + Q(O);
        const std::string what = f.ext + " from " + S + ": " + cmd;
        const ToolRun r = Start(cmd);
        EXPECT_EQ(r.code, 0) << what << "\n" << r.output;
        ExpectProgress(r, what);
        const bool audioOut = f.sound || f.ext == ".webm"; // webm ignores the sound choice
        ExpectOutput(O, audioOut, true, f.partial ? 2 : 4, size, what);
        if (f.ext == ".vob") {
            EXPECT_EQ(Probe(O).acodec, "ac3");
            EXPECT_NE(r.output.find("cannot hold aac audio"), std::string::npos) << r.output;
        }
    }

    // Device presets: fixed size and audio, the partial form to keep them short.
    struct Device {
        std::string suffix, size, audio;
    };
    const std::string aac = " -acodec aac -ab 128k -ac 2 -ar 44100 ";
    const std::string mp3 = " -acodec libmp3lame -ab 128k -ac 2 -ar 44100 ";
    const std::vector<Device> devices = {
        {"_iPad_HiRes.m4v", "1280x720", aac},      {"_iPad_LoRes.m4v", "640x360", aac},
        {"_iPodHiRes.m4v", "640x480", aac},        {"_iPodLoRes.m4v", "320x240", aac},
        {"_iPhone.m4v", "480x360", aac},           {"_DroidSmall.mp4", "320x240", mp3},
        {"_DroidMid.mp4", "480x320", mp3},         {"_DroidLarge.mp4", "854x480", mp3},
        {"_BlackberrySmall.mp4", "260x240", mp3},  {"_BlackberryMid.mp4", "320x240", mp3}};
    for (const auto& d : devices) {
        const std::string S = nextSource();
        const std::string O = out_ + "dev-Partial" + d.suffix;
        const std::string fragment = d.audio + " " + " -s " + d.size + " " + vcodec + " -crf 22 ";
        const std::string cmd = head + " " + " -ss 00:00:02.000 -t 1 " + " -async 1 -i " + Q(S) +
                                " " + fragment + " -y " + Q(O);
        const ToolRun r = Start(cmd);
        EXPECT_EQ(r.code, 0) << cmd << "\n" << r.output;
        ExpectProgress(r, cmd);
        ExpectOutput(O, true, true, 1, d.size, cmd);
    }
}

TEST_F(FcutE2E, AudioExtractionFrameSaveAndRangesPastTheEnd) {
    const std::string S = Source(".mp4");
    const std::vector<std::pair<std::string, std::string>> pieces = {
        {".aac", " -acodec aac -ar 44100 -ac 2 "},   {".m4a", " -acodec aac -ar 44100 -ac 2 "},
        {".mp3", " -acodec libmp3lame -ab 128k -ac 2 "}, {".ogg", " -acodec vorbis -aq 100 "},
        {".wma", " -acodec wmav2 -ab 128k -ac 2 "},  {".wav", " -acodec pcm_s16le -ar 44100 -ac 2 "}};
    bool whole = false;
    for (const auto& [ext, codec] : pieces) {
        const std::string O = out_ + "sound" + ext;
        const std::string seek = whole ? "" : " -ss 00:00:01.000 -t 2 ";
        const std::string gain = ext == ".wav" ? " -vol 1024 " : " ";
        const std::string cmd = ffmpegCommand_ + seek + " -i " + Q(S) + " -vn -sn " + codec +
                                gain + " -y " + Q(O);
        const ToolRun r = Start(cmd);
        EXPECT_EQ(r.code, 0) << cmd << "\n" << r.output;
        ExpectProgress(r, cmd);
        ExpectOutput(O, true, false, whole ? 4 : 2, "", cmd);
        whole = !whole;
    }

    // Frame save, also into a folder whose name holds a '%'.
    const std::string images = out_ + "z Save%Image/";
    fs::create_directories(images);
    const std::string image = images + "000001.500.jpg";
    ToolRun r = Start(ffmpegCommand_ + " -ss 00:00:01.500 -i " + Q(S) +
                  " -f image2 -vframes 1 -sameq " + Q(image));
    EXPECT_EQ(r.code, 0) << r.output;
    ASSERT_TRUE(fs::exists(image)) << r.output;
    const Facts jpeg = Probe(image);
    EXPECT_EQ(jpeg.vcodec, "mjpeg");
    EXPECT_EQ(jpeg.frameSize, "160x120");

    // A start past the end of the clip writes nothing and says so the way the program reads.
    const std::vector<std::pair<std::string, std::string>> pastEnd = {
        {out_ + "late-Cut.mp4", ffmpegCommand_ + threads_ + " -ss 00:00:09.000 -t 2  -async 1 -i " +
                                    Q(S) + "  -acodec copy  -vcodec copy -sn -y " + Q(out_ + "late-Cut.mp4")},
        {out_ + "late.mp3", ffmpegCommand_ + " -ss 00:00:09.000 -t 2  -i " + Q(S) +
                                " -vn -sn  -acodec libmp3lame -ab 128k -ac 2  -y " + Q(out_ + "late.mp3")},
        {out_ + "late.jpg", ffmpegCommand_ + " -ss 00:00:09.000 -i " + Q(S) +
                                " -f image2 -vframes 1 -sameq " + Q(out_ + "late.jpg")}};
    // An output that is the source itself is refused; the source stays whole.
    const std::string copy = out_ + "self.mp4";
    fs::copy_file(S, copy);
    r = Start(ffmpegCommand_ + " -i " + Q(copy) + "  -acodec aac -ac 2  -vcodec libx264 -vpre "
                                                  "veryfast_firstpass  -crf 18  -y " + Q(copy));
    EXPECT_NE(r.code, 0) << r.output;
    EXPECT_EQ(ReadFileBytes(copy), ReadFileBytes(S));

    for (const auto& [path, cmd] : pastEnd) {
        r = Start(cmd);
        EXPECT_NE(r.output.find("video:0kB audio:0kB"), std::string::npos) << cmd << "\n" << r.output;
        EXPECT_NE(r.code, 0);
        EXPECT_FALSE(fs::exists(path)) << path;
    }
}

namespace {

// Pid of a running ffmpeg whose parent is `parent`, or 0.
pid_t FfmpegChildOf(pid_t parent) {
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        std::getline(stat, line);
        const size_t close = line.rfind(')');
        if (close == std::string::npos || line.find("(ffmpeg)") == std::string::npos) continue;
        std::istringstream rest(line.substr(close + 2));
        char state = 0;
        long ppid = 0;
        rest >> state >> ppid;
        if (ppid == parent && state != 'Z') return static_cast<pid_t>(std::stol(name));
    }
    return 0;
}

bool Alive(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return false;
    const size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

} // namespace

TEST_F(FcutE2E, KilledFrontEndLeavesNoFfmpegBehind) {
    const std::string S = Source(".mp4");
    for (int sig : {SIGTERM, SIGKILL}) {
        SCOPED_TRACE(sig);
        // -re: read the input at its own pace, so the run lasts a few seconds.
        const std::string cmd = ffmpegCommand_ + " -re -i " + Q(S) +
                                "  -acodec aac -ac 2  -s 160x120  -vcodec libx264 -vpre "
                                "veryfast_firstpass  -crf 18  -y " +
                                Q(out_ + "killed" + std::to_string(sig) + ".mp4");
        std::vector<std::string> args = trimora::SplitCommandLine(cmd);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
        pid_t front = 0;
        ASSERT_EQ(posix_spawn(&front, argv[0], &fa, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&fa);

        pid_t tool = 0;
        for (int i = 0; i < 100 && !tool; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            tool = FfmpegChildOf(front);
        }
        ASSERT_NE(tool, 0) << "ffmpeg never started";
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const auto t0 = std::chrono::steady_clock::now();
        ::kill(front, sig);
        int status = 0;
        ::waitpid(front, &status, 0);
        while (Alive(tool) && std::chrono::steady_clock::now() - t0 < std::chrono::seconds(3))
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const auto took = std::chrono::steady_clock::now() - t0;
        EXPECT_FALSE(Alive(tool)) << "ffmpeg left running";
        EXPECT_LT(took, std::chrono::seconds(1));
        if (sig == SIGTERM) {
            ASSERT_TRUE(WIFEXITED(status));
            EXPECT_EQ(WEXITSTATUS(status), 128 + SIGTERM); // a stopped run is never a success
        }
    }
}
