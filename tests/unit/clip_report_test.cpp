// The clip report parse on reports of the classic layout the encoder front-end prints, and on
// the report forms that go wrong: no duration, N/A, no audio, long codec names, yuvj420p, FLV
// metadata, Windows Media slider range, unreadable files.

#include <gtest/gtest.h>

#include "common/command_line.h"
#include "media/store_info.h"
#include "support/test_env.h"

using namespace trimora;

namespace {

std::vector<std::string> Lines(std::initializer_list<const char*> l) {
    return std::vector<std::string>(l.begin(), l.end());
}

const std::vector<std::string> kMp4Report = Lines({
    "ffmpeg version 5.1 Copyright (c) 2000-2022 the FFmpeg developers",
    "Input #0, mov,mp4,m4a,3gp,3g2,mj2, from '/home/u/Videos/Holiday.mp4':",
    "  Metadata:",
    "    major_brand     : isom",
    "    creation_time   : 2010-05-01 10:00:00",
    "  Duration: 00:01:23.45, start: 0.000000, bitrate: 1234 kb/s",
    "    Stream #0.0(und): Video: h264, yuv420p, 1280x720 [SAR 1:1 DAR 16:9], 25 tbr",
    "    Stream #0.1(und): Audio: aac, 44100 Hz, stereo, fltp, 128 kb/s",
    "At least one output file must be specified",
});

TClipReportInputs CutInputs(const std::string& ext = ".mp4") {
    TClipReportInputs in;
    in.InputExt = ext;
    in.Page = TSourcePage::Input;
    in.HasSelectedItem = true;
    return in;
}

} // namespace

TEST(ClipReport, ClassicReportFillsEveryField) {
    TStoreInfo info;
    const TClipReportResult r = ParseClipReport(kMp4Report, CutInputs(), info);
    EXPECT_FALSE(r.BadFile);
    EXPECT_EQ(info.DurationText, "00:01:23");
    EXPECT_EQ(info.ClipDuration, 83);
    EXPECT_EQ(info.BitrateKbps, 1234);
    EXPECT_EQ(info.BitrateText, "1234");
    EXPECT_EQ(info.FrameSize, "1280x720");
    EXPECT_EQ(info.AspectText, "1.778");
    EXPECT_EQ(info.FpsText, "25");
    EXPECT_EQ(info.CodecSummary, "h264 - aac - ");
    EXPECT_EQ(info.AudioBitrateKbps, 128);
    EXPECT_EQ(info.AudioRateHz, 44100);
    EXPECT_EQ(info.AudioBitrateOption, " -ab 128k ");
    EXPECT_EQ(info.AudioRateOption, " -ar 44100 ");
    EXPECT_FALSE(info.NoAudio);
    EXPECT_FALSE(info.Interleaved);
    EXPECT_FALSE(info.FlvCanSeek);

    EXPECT_EQ(r.InputSubItems, (std::vector<std::string>{"1280x720", "00:01:23"}));
    EXPECT_TRUE(r.JoinSubItems.empty());
    EXPECT_TRUE(r.SetSliderMax);
    EXPECT_EQ(r.SliderMax, 83);
    EXPECT_TRUE(r.SetTotalTime);
    EXPECT_EQ(r.TotalTimeText, "00:01:23");
    EXPECT_TRUE(r.SummaryText.empty()); // not in design mode
    EXPECT_EQ(r.Refresh, TClipRefresh::Cut);
    EXPECT_TRUE(r.ResetPreviews);
    // Only Windows Media clips seek by percent: their slider range is 99.
    EXPECT_EQ(ParseClipReport(kMp4Report, CutInputs(".wmv"), info).SliderMax, 99);
    EXPECT_EQ(ParseClipReport(kMp4Report, CutInputs(".asf"), info).SliderMax, 83);
}

TEST(ClipReport, DurationForms) {
    struct Case {
        std::vector<std::string> report;
        const char* text;
        int64_t seconds;
    } cases[] = {
        // missing or unreadable: half an hour
        {Lines({"  Duration: N/A, bitrate: N/A", "    Stream #0.0: Video: mpeg4, yuv420p, 320x240, 25 tbr"}),
         "00:30:00", 1800},
        {Lines({"    Stream #0.0: Video: mpeg4, yuv420p, 320x240, 25 tbr"}), "00:30:00", 1800},
        {Lines({"  Duration: 00:00:05, start: 0.000000, bitrate: 64 kb/s"}), "00:30:00", 1800},
        {Lines({}), "00:30:00", 1800},
        // long ones are not wrapped
        {Lines({"  Duration: 123:04:05.67, start: 0.000000, bitrate: 10 kb/s"}), "123:04:05",
         123 * 3600 + 4 * 60 + 5},
    };
    for (const Case& c : cases) {
        TStoreInfo info;
        info.DurationText = "01:00:00";
        info.ClipDuration = 3600;
        const auto r = ParseClipReport(c.report, CutInputs(), info);
        EXPECT_EQ(info.DurationText, c.text);
        EXPECT_EQ(info.ClipDuration, c.seconds);
        EXPECT_EQ(r.SliderMax, c.seconds);
        EXPECT_EQ(r.TotalTimeText, c.text);
    }
    TStoreInfo info;
    ParseClipReport(cases[0].report, CutInputs(), info);
    EXPECT_EQ(info.BitrateKbps, 5080);
}

TEST(ClipReport, NoAudioGivesBlankPiecesAndBanner) {
    TStoreInfo info; // defaults hold audio pieces of an earlier clip
    TClipReportInputs in = CutInputs();
    in.DesignMode = true;
    in.ClipChosenInLvInput = true;
    const auto r =
        ParseClipReport(Lines({"  Duration: 00:00:04.00, start: 0.000000, bitrate: 55 kb/s",
                               "    Stream #0.0: Video: h264, yuv420p, 160x120, 25 tbr"}),
                        in, info);
    EXPECT_TRUE(info.NoAudio);
    EXPECT_EQ(info.AudioBitrateOption, " ");
    EXPECT_EQ(info.AudioRateOption, " ");
    EXPECT_EQ(info.CodecSummary, "h264 - NoAudio - ");
    EXPECT_NE(r.SummaryText.find("================NO AUDIO============\r\n"), std::string::npos);
}

TEST(ClipReport, FlvMetadataOnlyForFlvClips) {
    const auto report = Lines({
        "Input #0, flv, from 'a.flv':",
        "  Metadata:",
        "    hasKeyframes    : true",
        "    canseekontime   : true",
        "  Duration: 00:00:04.00, start: 0.000000, bitrate: 300 kb/s",
        "    Stream #0.0: Video: flv, yuv420p, 160x120, 25 tbr",
        "    Stream #0.1: Audio: mp3, 44100 Hz, stereo, s16, 128 kb/s",
    });
    TClipReportInputs in = CutInputs(".flv");
    in.DesignMode = true;
    in.ClipChosenInLvInput = true;
    TStoreInfo info;
    auto r = ParseClipReport(report, in, info);
    EXPECT_TRUE(info.FlvCanSeek);
    EXPECT_TRUE(info.FlvHasKeyframes);
    // hasKeyframes comes first in the report, so the canseekontime note replaces its prefix
    EXPECT_NE(r.SummaryText.find("\r\nFLV - canseekontime   : true - no need to re-index\r\n"),
              std::string::npos);

    // The flags of one clip never survive into the next one.
    in.InputExt = ".mp4";
    r = ParseClipReport(report, in, info);
    EXPECT_FALSE(info.FlvCanSeek);
    EXPECT_FALSE(info.FlvHasKeyframes);
    EXPECT_NE(r.SummaryText.find("sFLVcanseek =False -need Re-Index"), std::string::npos);

    in.InputExt = ".flv";
    r = ParseClipReport(Lines({"    canseekontime   : true", "    hasKeyframes    : true"}), in,
                        info);
    EXPECT_NE(r.SummaryText.find("hasKeyframes - FLV - canseekontime   : true"), std::string::npos);
}

TEST(ClipReport, SummaryTextByteForByte) {
    TClipReportInputs in = CutInputs();
    in.DesignMode = true;
    TStoreInfo info;
    // no clip chosen in the cut list yet: no summary
    EXPECT_TRUE(ParseClipReport(kMp4Report, in, info).SummaryText.empty());
    in.ClipChosenInLvInput = true;
    auto report = kMp4Report;
    report.push_back("    Stream #0.2: Data: none (monotone)");
    const auto r = ParseClipReport(report, in, info);
    EXPECT_TRUE(info.Interleaved);
    EXPECT_EQ(r.SummaryText,
              "\r\nSummary---------------------------------------------------------\r\n"
              " - Interleaved file sFLVcanseek =False -need Re-Index\r\n"
              "[Video bitrate=1234] [fps=25] [frame size=1280x720] [Audio bitrate= -ab 128k ] "
              "[Audio Freg= -ar 44100 \r\n"
              "] [AspectRatio=1.778] [Clip Duration=00:01:23]\r\n"
              "StartSlider.MaxValue = 83");
}

TEST(ClipReport, BadFileKeepsThePreviousClip) {
    TStoreInfo info;
    ParseClipReport(kMp4Report, CutInputs(), info);
    const TStoreInfo before = info;
    for (TSourcePage page : {TSourcePage::Input, TSourcePage::InputJoin}) {
        TClipReportInputs in = CutInputs();
        in.Page = page;
        in.DesignMode = in.ClipChosenInLvInput = true;
        const auto r = ParseClipReport(
            Lines({"Input #0, foo", "/x/broken.mp4: Invalid data found when processing input"}), in,
            info);
        EXPECT_TRUE(r.BadFile);
        EXPECT_TRUE(info.BadFile);
        const std::vector<std::string> bad{"Bad File!", "N/A"};
        EXPECT_EQ(page == TSourcePage::Input ? r.InputSubItems : r.JoinSubItems, bad);
        EXPECT_FALSE(r.SetSliderMax);
        EXPECT_FALSE(r.SetTotalTime);
        EXPECT_TRUE(r.SummaryText.empty());
        EXPECT_EQ(r.Refresh, TClipRefresh::None);
        EXPECT_FALSE(r.ResetPreviews);
        EXPECT_EQ(info.DurationText, before.DurationText);
        EXPECT_EQ(info.FrameSize, before.FrameSize);
        EXPECT_EQ(info.AudioBitrateOption, before.AudioBitrateOption);
    }
    // no selection: nothing for the lists
    TClipReportInputs in = CutInputs();
    in.HasSelectedItem = false;
    const auto r = ParseClipReport(Lines({"Invalid data found when processing input"}), in, info);
    EXPECT_TRUE(r.InputSubItems.empty());
}

TEST(ClipReport, SubItemsAndRefreshFollowThePageAndMode) {
    TStoreInfo info;
    TClipReportInputs in = CutInputs();
    in.Page = TSourcePage::InputJoin;
    in.JoinMode = true;
    auto r = ParseClipReport(kMp4Report, in, info);
    EXPECT_TRUE(r.InputSubItems.empty());
    EXPECT_EQ(r.JoinSubItems,
              (std::vector<std::string>{"1280x720", "25", "h264 - aac - 00:01:23"}));
    EXPECT_EQ(r.Refresh, TClipRefresh::JoinRow);
    EXPECT_FALSE(r.ResetPreviews);

    in = CutInputs();
    in.ConvertMode = true;
    r = ParseClipReport(kMp4Report, in, info);
    EXPECT_EQ(r.Refresh, TClipRefresh::Convert);
    EXPECT_TRUE(r.ResetPreviews);
    in.SoundOnly = true; // sound-only wins over the convert mode
    EXPECT_EQ(ParseClipReport(kMp4Report, in, info).Refresh, TClipRefresh::SoundOnly);

    in = CutInputs();
    in.Page = TSourcePage::Other;
    r = ParseClipReport(kMp4Report, in, info);
    EXPECT_TRUE(r.InputSubItems.empty());
    EXPECT_TRUE(r.JoinSubItems.empty());
}

TEST(ClipReport, StreamDurationTagsDoNotHideTheContainerDuration) {
    // Matroska files carry a DURATION tag per stream, printed after the container line.
    TStoreInfo info;
    ParseClipReport(Lines({
                        "Input #0, matroska,webm, from 'a.mkv':",
                        "  Duration: 00:00:03.00, start: 0.000000, bitrate: 200 kb/s",
                        "    Stream #0.0: Video: h264, yuv420p, 160x120, 25 tbr",
                        "    Metadata:",
                        "      DURATION        : 00:00:03.000000000",
                        "    Stream #0.1: Audio: vorbis, 44100 Hz, mono, fltp",
                        "    Metadata:",
                        "      DURATION        : 00:00:02.998000000",
                    }),
                    CutInputs(".mkv"), info);
    EXPECT_EQ(info.DurationText, "00:00:03");
    EXPECT_EQ(info.ClipDuration, 3);
    EXPECT_EQ(info.BitrateKbps, 200);
}

TEST(ClipReport, FileNameInTheReportChangesNothing) {
    TClipReportInputs in = CutInputs(".flv");
    in.DesignMode = in.ClipChosenInLvInput = true;
    const auto report = Lines({
        "  Duration: 00:00:04.00, start: 0.000000, bitrate: 300 kb/s",
        "    Stream #0.0: Video: flv1, yuv420p, 160x120, 25 tbr",
    });
    TStoreInfo plain;
    const auto expected = ParseClipReport(report, in, plain);

    auto named = report;
    named.insert(named.begin(),
                 "Input #0, flv, from '/v/Lecture Audio: mp3, 8000 Hz, 999 kb/s, monotone "
                 "canseekontime Invalid data found yuv420p, 9x9, 1 tbr Duration: 9:00:00.00, "
                 "start: 0, bitrate: 7 kb/s.flv':");
    TStoreInfo info;
    const auto r = ParseClipReport(named, in, info);
    EXPECT_FALSE(r.BadFile);
    EXPECT_EQ(r.SummaryText, expected.SummaryText);
    EXPECT_EQ(r.InputSubItems, expected.InputSubItems);
    EXPECT_TRUE(info.NoAudio);
    EXPECT_FALSE(info.Interleaved);
    EXPECT_FALSE(info.FlvCanSeek);
    EXPECT_EQ(info.FrameSize, "160x120");
    EXPECT_EQ(info.ClipDuration, 4);
}

TEST(ClipReport, ProbeCommandKeepsHostileNamesWhole) {
    const std::string cmd = "/d/trimora/fcut.exe -cb ";
    EXPECT_EQ(BuildProbeCommand(cmd, "/v/My Clip.avi"),
              "/d/trimora/fcut.exe -cb  -i \"/v/My Clip.avi\"");
    for (const std::string name :
         {"/v/a \"b\" c.mp4", "/v/$(rm -rf x);`y`.mp4", "/v/back\\\\\".mp4", "/v/end\\"}) {
        const auto args = SplitCommandLine(BuildProbeCommand(cmd, name));
        ASSERT_EQ(args.size(), 4u) << name;
        EXPECT_EQ(args[2], "-i");
        EXPECT_EQ(args[3], name);
    }
}

namespace {

std::vector<std::string> RecordedReport(const std::string& name) {
    const std::string text = trimora_test::ReadFileBytes(trimora_test::DataDir() + "probe/" + name);
    std::vector<std::string> lines;
    std::string line;
    for (char ch : text) {
        if (ch == '\r' || ch == '\n') {
            if (!line.empty()) lines.push_back(line);
            line.clear();
        } else {
            line += ch;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

} // namespace

// Reports the encoder front-end printed for small generated clips (tests/data/probe/).
TEST(ClipReport, RecordedReports) {
    struct Case {
        const char* file;
        const char* ext;
        const char* duration;
        int64_t seconds, sliderMax;
        int32_t kbps;
        const char* frameSize;
        const char* fps;
        const char* codecs;
        const char* abOption;
        const char* arOption;
        bool noAudio;
    } cases[] = {
        {"holiday.mp4.txt", ".mp4", "00:00:03", 3, 3, 142, "160x120", "25", "h264 - aac - ",
         " -ab 96k ", " -ar 44100 ", false},
        // vorbis has no bitrate in the report: 192
        {"holiday.mkv.txt", ".mkv", "00:00:03", 3, 3, 63, "160x120", "25", "h264 - vorbis - ",
         " -ab 192k ", " -ar 44100 ", false},
        // audio before video; 320 kb/s capped
        {"holiday.flv.txt", ".flv", "00:00:03", 3, 3, 571, "160x120", "25", "flv1 - mp3 - ",
         " -ab 192k ", " -ar 44100 ", false},
        // 22050 Hz raised; slider range 99
        {"holiday.wmv.txt", ".wmv", "00:00:03", 3, 99, 316, "160x120", "25", "wmv2 - wmav2 - ",
         " -ab 64k ", " -ar 44100 ", false},
        // a codec name too long for the summary
        {"holiday.avi.txt", ".avi", "00:00:03", 3, 3, 433, "160x120", "25", "mpeg4 -  - ",
         " -ab 128k ", " -ar 44100 ", false},
        // full-range JPEG pixels: no video line
        {"holiday-mjpeg.avi.txt", ".avi", "00:00:03", 3, 3, 491, "", "", " - NoAudio - ", " ", " ",
         true},
        // raw stream: no duration, no bitrate
        {"holiday.h264.txt", ".h264", "00:30:00", 1800, 1800, 5080, "160x120", "25",
         "h264 - NoAudio - ", " ", " ", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const auto report = RecordedReport(c.file);
        ASSERT_FALSE(report.empty());
        TStoreInfo info;
        const auto r = ParseClipReport(report, CutInputs(c.ext), info);
        EXPECT_FALSE(r.BadFile);
        EXPECT_EQ(info.DurationText, c.duration);
        EXPECT_EQ(info.ClipDuration, c.seconds);
        EXPECT_EQ(r.SliderMax, c.sliderMax);
        EXPECT_EQ(info.BitrateKbps, c.kbps);
        EXPECT_EQ(info.FrameSize, c.frameSize);
        EXPECT_EQ(info.FpsText, c.fps);
        EXPECT_EQ(info.CodecSummary, c.codecs);
        EXPECT_EQ(info.AudioBitrateOption, c.abOption);
        EXPECT_EQ(info.AudioRateOption, c.arOption);
        EXPECT_EQ(info.NoAudio, c.noAudio);
        EXPECT_EQ(r.InputSubItems, std::string(c.frameSize).empty()
                                       ? (std::vector<std::string>{"N/A", "Invalid data found"})
                                       : (std::vector<std::string>{c.frameSize, c.duration}));
    }

    TStoreInfo info;
    const auto r = ParseClipReport(RecordedReport("broken.mp4.txt"), CutInputs(), info);
    EXPECT_TRUE(r.BadFile);
    EXPECT_EQ(r.InputSubItems, (std::vector<std::string>{"Bad File!", "N/A"}));
}
