// The clip report parse: the report forms that go wrong (no duration, N/A, sound rates out of
// range, long codec names, FLV metadata, unreadable files) and what the window does with a
// report. Real clips of every family are probed in probe_clip_test.
#include "facts.h"
#include "media/store_info.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace trimora;

namespace {

using Lines = std::vector<std::string>;

const Lines kMp4Report = {
    "ffmpeg version 5.1 Copyright (c) 2000-2022 the FFmpeg developers",
    "Input #0, mov,mp4,m4a,3gp,3g2,mj2, from '/home/u/Videos/Holiday.mp4':",
    "  Metadata:",
    "    major_brand     : isom",
    "  Duration: 00:01:23.45, start: 0.000000, bitrate: 1234 kb/s",
    "    Stream #0.0(und): Video: h264, yuv420p, 1280x720 [SAR 1:1 DAR 16:9], 25 tbr",
    "    Stream #0.1(und): Audio: aac, 44100 Hz, stereo, fltp, 128 kb/s",
    "At least one output file must be specified",
};

// The window's side, as words: the extension, then "join" / "other" (the page), "joinmode",
// "convert", "sound", "nosel".
TClipReportInputs Inputs(const std::string& words) {
    TClipReportInputs in;
    in.Page = TSourcePage::Input;
    in.HasSelectedItem = true;
    std::istringstream s(words);
    s >> in.InputExt;
    for (std::string w; s >> w;) {
        if (w == "join") in.Page = TSourcePage::InputJoin;
        if (w == "other") in.Page = TSourcePage::Other;
        if (w == "joinmode") in.JoinMode = true;
        if (w == "convert") in.ConvertMode = true;
        if (w == "sound") in.SoundOnly = true;
        if (w == "nosel") in.HasSelectedItem = false;
    }
    return in;
}

std::string Joined(const std::vector<std::string>& v) {
    std::string s;
    for (const auto& x : v)
        s += (s.empty() ? "" : "|") + x;
    return s;
}

std::string Facts(const TStoreInfo& i, const TClipReportResult& r) {
    std::ostringstream o;
    o << ";duration=" << i.DurationText << ";seconds=" << i.ClipDuration
      << ";kbps=" << i.BitrateKbps << "/" << i.BitrateText << ";size=" << i.FrameSize
      << ";aspect=" << i.AspectText << ";fps=" << i.FpsText << ";codecs=" << i.CodecSummary
      << ";audio=" << i.AudioBitrateKbps << "/" << i.AudioRateHz << ";ab=" << i.AudioBitrateOption
      << ";ar=" << i.AudioRateOption << ";noaudio=" << i.NoAudio << ";interleaved=" << i.Interleaved
      << ";flv=" << i.FlvCanSeek << i.FlvHasKeyframes << ";bad=" << r.BadFile << i.BadFile
      << ";input=" << Joined(r.InputSubItems) << ";join=" << Joined(r.JoinSubItems)
      << ";slider=" << r.SetSliderMax << "/" << r.SliderMax << ";total=" << r.SetTotalTime << "/"
      << r.TotalTimeText << ";refresh=" << static_cast<int>(r.Refresh)
      << ";reset=" << r.ResetPreviews << ";nosummary=" << r.SummaryText.empty() << ";";
    return o.str();
}

} // namespace

TEST(ClipReport, ReportsGiveTheClipAndWhatTheWindowDoes) {
    struct Row {
        Lines report;
        const char* inputs;
        std::string want;
    };
    const Row rows[] = {
        // what the real probe of every family does not show
        {kMp4Report, ".mp4",
         "duration=00:01:23;aspect=1.778;audio=128/44100;interleaved=0;flv=00;bad=00;join=;"
         "total=1/00:01:23;refresh=" +
             std::to_string(int(TClipRefresh::Cut)) + ";reset=1;nosummary=1;"},
        // only Windows Media clips seek by percent (slider range 99), not ASF ones
        {kMp4Report, ".asf", "slider=1/83;"},
        {kMp4Report, ".mp4 join joinmode",
         "input=;join=1280x720|25|h264 - aac - 00:01:23;refresh=" +
             std::to_string(int(TClipRefresh::JoinRow)) + ";reset=0;"},
        {kMp4Report, ".mp4 convert",
         "refresh=" + std::to_string(int(TClipRefresh::Convert)) + ";reset=1;"},
        // sound-only wins over the convert mode
        {kMp4Report, ".mp4 convert sound",
         "refresh=" + std::to_string(int(TClipRefresh::SoundOnly)) + ";"},
        {kMp4Report, ".mp4 other", "input=;join=;"},
        // missing or unreadable durations: half an hour
        {{"  Duration: N/A, bitrate: N/A",
          "    Stream #0.0: Video: mpeg4, yuv420p, 320x240, 25 tbr"},
         ".mp4",
         "duration=00:30:00;seconds=1800;kbps=5080/5080;slider=1/1800;total=1/00:30:00;"},
        {{"  Duration: 00:00:05, start: 0.000000, bitrate: 64 kb/s"}, ".mp4", "seconds=1800;"},
        // long ones are not wrapped
        {{"  Duration: 123:04:05.67, start: 0.000000, bitrate: 10 kb/s"},
         ".mp4",
         "duration=123:04:05;seconds=443045;slider=1/443045;"},
        // a file name that looks like report lines changes nothing (names holding "Audio:" and
        // "Invalid data found" are probed for real in probe_clip_test)
        {{"Input #0, flv, from '/v/a monotone canseekontime 9x9, 1 tbr Duration: 9:00:00.00, "
          "start: 0, bitrate: 7 kb/s.flv':",
          "  Duration: 00:00:04.00, start: 0.000000, bitrate: 300 kb/s"},
         ".flv",
         "interleaved=0;flv=00;size=;seconds=4;kbps=300/300;"},
        // FLV flags only for FLV clips; a data stream means an interleaved file
        {{"    hasKeyframes    : true", "    canseekontime   : true"}, ".flv", "flv=11;"},
        {{"    hasKeyframes    : true", "    canseekontime   : true"}, ".mp4", "flv=00;"},
        {{"    Stream #0.2: Data: none (monotone)"}, ".mp4", "interleaved=1;"},
        {{"Input #0, foo", "/x/broken.mp4: Invalid data found when processing input"},
         ".mp4",
         "bad=11;input=Bad File!|N/A;slider=0/0;total=0/;refresh=0;reset=0;nosummary=1;"},
        {{"/x/broken.mp4: Invalid data found when processing input"},
         ".mp4 join",
         "bad=11;input=;join=Bad File!|N/A;"},
        {{"Invalid data found when processing input"}, ".mp4 nosel", "input=;"},
        // sound rates: 22050 Hz raised, 320 kb/s capped, none given (vorbis) 192; a codec name
        // too long for the summary
        {{"    Stream #0.1: Audio: wmav2, 22050 Hz, 1 channels, fltp, 64 kb/s"},
         ".wmv",
         "ab= -ab 64k ;ar= -ar 44100 ;"},
        {{"    Stream #0.0: Audio: mp3, 44100 Hz, mono, fltp, 320 kb/s"}, ".flv", "ab= -ab 192k ;"},
        {{"    Stream #0.1: Audio: vorbis, 44100 Hz, mono, fltp"}, ".mkv", "ab= -ab 192k ;"},
        {{"    Stream #0.0: Video: mpeg4, yuv420p, 160x120, 25 tbr",
          "    Stream #0.1: Audio: adpcm_ima_wav, 44100 Hz, 1 channels, s16p, 128 kb/s"},
         ".avi",
         "codecs=mpeg4 -  - ;ab= -ab 128k ;"},
    };
    for (const Row& row : rows) {
        const Lines& report = row.report;
        SCOPED_TRACE(report.empty() ? "(empty)" : report.front());
        // the earlier clip's values must not survive into this one
        TStoreInfo info;
        info.DurationText = "01:00:00";
        info.ClipDuration = 3600;
        ParseClipReport(kMp4Report, Inputs(".flv"), info);
        info.FlvCanSeek = info.FlvHasKeyframes = true;
        const TStoreInfo before = info;
        const auto r = ParseClipReport(report, Inputs(row.inputs), info);
        trimora_test::ExpectFacts(Facts(info, r), row.want);
        if (r.BadFile) { // a bad file keeps the previous clip
            EXPECT_TRUE(info.DurationText == before.DurationText &&
                        info.FrameSize == before.FrameSize &&
                        info.AudioBitrateOption == before.AudioBitrateOption);
        }
    }
}
