// mcut.exe, mmerge.exe and fmerge.exe: how the program's command lines are read and what they
// become for ffmpeg and mkvmerge.
#include "common/command_line.h"
#include "common/mcut_args.h"
#include "common/mcut_media.h"
#include "common/mmerge_args.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

using namespace trimora;
using namespace trimora::mtools;

namespace {

const std::string kSys = "/home/u/.local/share/trimora/";
const std::string kMencoder = kSys + "mcut.exe -cb qzv ";
const std::string kEdlPiece = "-edl \"" + kSys + "qvcut.edl\" -hr-edl-seek ";

// The arguments of a command text after the program name and the leading "-cb qzv".
std::vector<std::string> McutArgs(const std::string& command) {
    auto args = SplitCommandLine(command);
    args.erase(args.begin(), args.begin() + 3);
    return args;
}

McutOptions ParseOk(const std::string& command) {
    const McutParse p = ParseMcutArgs(McutArgs(command));
    EXPECT_TRUE(p.ok) << p.error << " in " << command;
    return p.options;
}

bool Has(const std::vector<std::string>& argv, const std::vector<std::string>& run) {
    return std::search(argv.begin(), argv.end(), run.begin(), run.end()) != argv.end();
}

MediaInfo Clip(const std::string& vcodec, const std::string& acodec, double duration) {
    MediaInfo m;
    m.ok = true;
    m.duration = duration;
    if (!vcodec.empty()) {
        m.video.present = true;
        m.video.codec = vcodec;
        m.video.width = 160;
        m.video.height = 120;
        m.video.fps = 25;
        m.video.duration = duration;
    }
    if (!acodec.empty()) {
        m.audio.present = true;
        m.audio.codec = acodec;
        m.audio.sampleRate = 22050;
        m.audio.channels = 2;
        m.audio.duration = duration;
    }
    return m;
}

} // namespace

TEST(McutArgs, CutFormsOfWmvAndAsfSources) {
    const std::string src = "/v/my clip.wmv", out = "/out/my clip-Cut.wmv";
    const McutOptions cut = ParseOk(kMencoder + kEdlPiece + "-endpos 37" + " \"" + src +
                                    "\" -oac lavc -lavcopts acodec=wmav2:abitrate=128:threads=10"
                                    " -srate 44100 -ovc copy -o \"" +
                                    out + "\"");
    EXPECT_EQ(cut.edlFile, kSys + "qvcut.edl");
    // The stretch comes from the edit list the program writes (skip 0 to the start).
    KeptRange range;
    std::string error;
    ASSERT_TRUE(ResolveRange("0 83.456 0\n", cut, &range, &error)) << error;
    EXPECT_DOUBLE_EQ(range.start, 83.456);
    EXPECT_DOUBLE_EQ(range.end, 120.456);

    // Copied pictures begin at the keyframe before the start; both streams start there.
    const auto argv = BuildSingleRun(cut, Clip("wmv2", "wmav2", 200), range, 82.5);
    const std::vector<std::string> expected = {
        "ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y",     "-ss",  "72.500",
        "-i",     src,        "-ss",          "10.000",    "-t",    "37.956", "-map", "0:v:0",
        "-map",   "0:a:0",    "-c:v",         "copy",      "-c:a",  "wmav2",  "-b:a", "128k",
        "-ar",    "44100",    "-sn",          "-dn",       "-f",    "asf",    out};
    EXPECT_EQ(argv, expected);
}

TEST(McutArgs, ConvertFormsMergeBothLavcoptsAndScale) {
    const std::string src = "/v/a.avi", out = "/o/a-Convert.wmv";
    const McutOptions whole =
        ParseOk(kMencoder + " \"" + src + "\" " + " -vf scale=640:480 " +
                " -ovc lavc -lavcopts vcodec=mpeg4:vbitrate=4800:threads=8 -oac lavc -lavcopts "
                "acodec=wmav2:abitrate=128 -srate 44100 " +
                " -o \"" + out + "\"");
    const auto argv = BuildSingleRun(whole, Clip("h264", "aac", 10), KeptRange{}, 0);
    EXPECT_TRUE(
        Has(argv, {"-c:v", "mpeg4", "-b:v", "4800k", "-threads", "8", "-vf", "scale=640:480"}));
    EXPECT_TRUE(Has(argv, {"-c:a", "wmav2", "-b:a", "128k", "-ar", "44100"}));
    EXPECT_FALSE(Has(argv, {"-ss"}) || Has(argv, {"-t"}));

    // Six source channels are mixed down: the lavc sound encoders hold two.
    MediaInfo surround = Clip("h264", "ac3", 10);
    surround.audio.channels = 6;
    EXPECT_TRUE(Has(AudioCodecArgs(whole, surround), {"-ac", "2"}));
}

TEST(McutArgs, JoinKeepsTheOrderAndFitsToTheLongestClip) {
    // The normalising clip stays in front of the clips.
    const std::string j = "/j/", out = "/s/Trip-Joined";
    const McutOptions avi = ParseOk(
        kMencoder + "\"/p/help/norm.avi\" " + "\"" + j + "a.avi\" \"" + j + "b.avi\" " +
        " -mc 0 -ovc copy -oac mp3lame -lameopts cbr:br=128 -srate 44100 -o \"" + out + ".avi\"");
    EXPECT_EQ(avi.inputs, (std::vector<std::string>{"/p/help/norm.avi", j + "a.avi", j + "b.avi"}));

    // The one-frame clip in front is fitted to the longest clip, not the other way round.
    const MediaInfo pal = Clip("mpeg4", "", 0.04);
    MediaInfo ntsc = Clip("mpeg4", "mp3", 3);
    ntsc.video.fps = 30000.0 / 1001;
    EXPECT_EQ(ReferenceClip({pal, ntsc, Clip("mpeg4", "mp3", 3)}, {0.04, 3.5, 3}), 1u);
    EXPECT_EQ(ReferenceClip({Clip("", "mp3", 9), ntsc}, {9, 3}), 1u);
}

TEST(McutArgs, Refusals) {
    for (const std::string bad :
         {" \"/a.wmv\" -ovc copy -oac copy", " -o \"/x.wmv\" -ovc copy -oac copy",
          " \"/a.wmv\" -o \"/x.wmv\" -oac copy", " \"/a.wmv\" -o /x.wmv -ovc copy -oac copy -zap",
          " -edl /e \"/a.wmv\" \"/b.wmv\" -o /x.wmv -ovc copy -oac copy",
          " \"/a.wmv\" -o /x.wmv -ovc copy -oac copy -vf crop=10:10",
          " \"/a.wmv\" -o /x.wmv -ovc copy -oac copy -srate fast"}) {
        const McutParse p = ParseMcutArgs(McutArgs(kMencoder + bad));
        EXPECT_TRUE(!p.ok && !p.error.empty()) << bad;
    }
}

TEST(McutArgs, EditListsTimesAndSizes) {
    // edit list, start seek, length -> kept start and end (end < 0: to the clip's end;
    // start < 0: refused)
    struct Row {
        const char* edl;
        double seek;
        std::optional<double> length, start, end;
    };
    const Row rows[] = {
        {"", 0, {}, 0, -1},
        {"# comment\n\n", 10, 5, 10, 15},
        // chained skips are passed in turn; a mute line changes nothing; a skip after the
        // length is outside the output
        {"5 8 0\n0 5 0\n8 9 1\n20 30 0\n", 0, 4, 8, 12},
        {"0 5 0\n10 12 0\n", 0, 20, -1, 0},          // a skip in the middle would need two pieces
        {"0 5 0\n10 99999999999 0\n", 0, {}, 5, 10}, // ... unless nothing is kept after it
        {"0 x 0\n", 0, {}, -1, 0},
    };
    for (const Row& row : rows) {
        McutOptions o;
        if (row.seek) o.seekStart = row.seek;
        o.endposLength = row.length;
        KeptRange r;
        std::string error;
        const bool ok = ResolveRange(row.edl, o, &r, &error);
        EXPECT_EQ(ok, *row.start >= 0) << row.edl << error;
        if (!ok) continue;
        EXPECT_EQ(r.start, *row.start) << row.edl;
        EXPECT_EQ(*row.end < 0 ? r.end < 0 : r.end == *row.end, true) << row.edl;
    }

    for (const auto& [text, seconds] :
         std::vector<std::pair<const char*, double>>{{"1:02:03.5", 3723.5},
                                                     {"83.456", 83.456},
                                                     {"2:05", 125},
                                                     {"1.5:00", -1},
                                                     {"", -1}})
        EXPECT_EQ(ParseMencoderTime(text).value_or(-1), seconds) << text;
    EXPECT_EQ(*ParseMencoderSize("10mb"), 10 * 1024 * 1024);
    EXPECT_FALSE(ParseMencoderSize("37"));
}

TEST(MtoolsMedia, ProbeJsonAndProgressBlocks) {
    const std::string json = R"({"streams":[
        {"codec_type":"video","codec_name":"mjpeg","width":600,"height":600,
         "disposition":{"attached_pic":1}},
        {"codec_type":"video","codec_name":"h264","width":160,"height":120,
         "avg_frame_rate":"30000/1001","duration":"3.003"},
        {"codec_type":"audio","codec_name":"mp3","sample_rate":"44100","channels":2,
         "duration":"0.000000"}],
        "format":{"format_name":"avi","duration":"3.003","start_time":"0.5"}})";
    const MediaInfo m = ParseProbeJson(json);
    ASSERT_TRUE(m.ok);
    // the cover picture is skipped; a sound track without one sample is no sound
    EXPECT_EQ(m.video.codec, "h264");
    EXPECT_NEAR(m.video.fps, 29.97, 0.01);
    EXPECT_TRUE(!m.audio.present && m.startTime == 0.5 && PlayLength(m) == 3.003);
    EXPECT_FALSE(ParseProbeJson("not json").ok);

    ProgressReader reader;
    std::vector<std::pair<double, int64_t>> seen;
    reader.onTime = [&](double s, int64_t f) { seen.emplace_back(s, f); };
    reader.Feed("frame=10\nout_time_us=400");
    reader.Feed("000\nprogress=continue\nframe=20\nout_time_us=N/A\nprogress=e");
    reader.Feed("nd\n");
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_DOUBLE_EQ(seen[0].first, 0.4);
    EXPECT_EQ(seen[1].second, 20);
}

TEST(MmergeArgs, SplitAndJoinForms) {
    const std::string k = kSys + "qvcut/mmerge.exe ";
    auto parse = [](const std::string& command) {
        auto args = SplitCommandLine(command);
        args.erase(args.begin());
        return ParseMmergeArgs(args);
    };
    const MmergeParse split = parse(k + " -o \"" + kSys + "qvcut/trim.MKV\" \"/v/CLIP.MKV\"" +
                                    " --split timecodes:" + "00:01:23.456,00:02:00.000");
    ASSERT_TRUE(split.ok) << split.error;
    EXPECT_TRUE(split.options.split);
    EXPECT_EQ(split.options.splitPoints, (std::vector<double>{83.456, 120}));
    EXPECT_EQ(SplitPartName(split.options.output, 2), kSys + "qvcut/trim-002.mkv");

    const MmergeParse join =
        parse(k + " " + "\"/j/a.mp4\" +\"/j/b.mp4\" +\"/j/-c.mp4\" " + " -o \"/s/J-Joined.mp4\"");
    ASSERT_TRUE(join.ok) << join.error;
    EXPECT_EQ(join.options.inputs, (std::vector<std::string>{"/j/a.mp4", "/j/b.mp4", "/j/-c.mp4"}));
    EXPECT_TRUE(NeedsRemux(join.options.output) && !NeedsRemux("/s/x.webm"));
    const MmergeParse relative = parse(k + "a.mkv + @b.mkv -o out.mkv");
    ASSERT_TRUE(relative.ok);
    EXPECT_EQ(MkvmergeJoinArgs(relative.options, "t.mkv").back(), "./@b.mkv");

    // no output; appended first file; split times not rising (repeated too); another split mode
    for (const char* bad : {"\"/a.mkv\" +\"/b.mkv\"", "+\"/a.mkv\" -o /o.mkv",
                            "-o /t.mkv /a.mkv --split timecodes:00:00:05,00:00:02",
                            "-o /t.mkv /a.mkv --split timecodes:00:00:05,00:00:05",
                            "-o /t.mkv /a.mkv --split size:10M"})
        EXPECT_FALSE(parse(k + bad).ok) << bad;

    EXPECT_EQ(ParseSplitTime("12.5s"), 12.5);
    EXPECT_LT(ParseSplitTime("1:xx"), 0);
    EXPECT_EQ(SplitPartName("/w.d/trim", 1), "/w.d/trim-001");

    EXPECT_EQ(MismatchError("Warning: The track number 0 from the file 'b.mp4' can probably not "
                            "be appended correctly to the track number 0 from the file 'a.mp4': "
                            "The codec's private data does not match. Please make sure that..."),
              "Error: The track number 0 from the file 'b.mp4' cannot be appended to the track "
              "number 0 from the file 'a.mp4': The codec's private data does not match.");
    EXPECT_EQ(MismatchError("Progress: 5%"), "");
}
