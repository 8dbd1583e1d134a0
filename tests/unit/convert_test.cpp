// Byte-for-byte checks of the convert fragments and command lines.
#include "jobs/convert.h"
#include "jobs/device_presets.h"

#include <gtest/gtest.h>

#include <set>

using namespace trimora;

namespace {

const std::string kVideo = " -vcodec libx264 -vpre veryfast_firstpass ";

TStoreInfo Clip(const std::string& frameSize = "1280x720", bool noAudio = false) {
    TStoreInfo info;
    info.FrameSize = frameSize;
    info.AudioRateOption = noAudio ? " " : " -ar 44100 ";
    info.AudioBitrateOption = noAudio ? " " : " -ab 128k ";
    info.NoAudio = noAudio;
    return info;
}

TConvertOptions Opts(const std::string& type, const std::string& quality = "Best            "
                                                                           "(Bigger Filesize)") {
    TConvertOptions o;
    o.ConvertType = type;
    o.Quality = quality;
    return o;
}

} // namespace

TEST(ConvertOptions, QualityLastMatchWinsAndTypedTexts) {
    struct Case {
        std::string quality, crf, qscale, bitrate;
    };
    const std::vector<Case> cases = {
        {QualityItems()[0], " -crf 26 ", " -qscale 8 ", "1500"},
        {QualityItems()[1], " -crf 24 ", " -qscale 6 ", "2000"},
        {QualityItems()[2], " -crf 22 ", " -qscale 4 ", "2800"}, // also matches "Average"
        {QualityItems()[3], " -crf 20 ", " -qscale 3 ", "3500"}, // also matches "High"
        {QualityItems()[4], " -crf 18 ", " -qscale 3 ", "4800"},
        {"my own", " -crf 18 ", " -qscale 3 ", "4800"}, // no "Filesize": the best values
    };
    for (const auto& c : cases) {
        TConvertPieces p;
        BuildConvertOptions(Opts(".mkv", c.quality), Clip(), p);
        EXPECT_EQ(p.CrfPiece, c.crf) << c.quality;
        EXPECT_EQ(p.QscalePiece, c.qscale) << c.quality;
        EXPECT_EQ(p.MencoderBitrate, c.bitrate) << c.quality;
        EXPECT_EQ(p.VideoCodecPiece, kVideo);
    }
    // "Filesize" but no known level: every quality piece stays as the last build left it.
    TConvertPieces p;
    BuildConvertOptions(Opts(".wmv", QualityItems()[0]), Clip(), p);
    BuildConvertOptions(Opts(".wmv", "tiny Filesize"), Clip(), p);
    EXPECT_EQ(p.CrfPiece, " -crf 26 ");
    EXPECT_EQ(p.MencoderBitrate, "1500");
    EXPECT_NE(p.ConvertFragment.find("vbitrate=1500:threads=8"), std::string::npos);
}

TEST(ConvertOptions, Fragments) {
    const std::string rb = " -ar 44100  -ab 128k ", V = kVideo;
    auto O = [](const std::string& type, int quality = 4, const std::string& frame = "",
                int noSound = 0, int volume = 0) {
        TConvertOptions o = Opts(type, QualityItems()[quality]);
        if (!frame.empty()) o.FramePreset = frame;
        o.IncludeSoundIndex = noSound;
        o.VolumeIndex = volume;
        return o;
    };
    const std::string mp3 = " -acodec libmp3lame -ac 2 " + rb, aac = " -acodec aac -ac 2 " + rb;
    const std::string dev = " -acodec aac -ab 128k -ac 2 -ar 44100  ";
    const std::string wmv = " -vf scale=320:240  -ovc lavc -lavcopts vcodec=mpeg4:vbitrate=2800:"
                            "threads=8 ";
    // options built before (type "": none), options, clip frame size ('!': no audio) -> fragment
    struct Row {
        TConvertOptions before, o;
        std::string clip, want;
    };
    const TConvertOptions none = O("");
    const Row rows[] = {
        // sound by format, with the volume gain of the third item
        {none, O(".avi", 4, "", 0, 2), "320x240",
         mp3 + " -vol 768   -s 320x240 " + V + " -crf 18 "},
        // FLV: a fixed rate, not the clip's
        {none, O(".flv", 4, "", 0, 2), "320x240",
         " -acodec aac -ac 2 -ar 44100  -ab 128k  -vol 768   -s 320x240 " + V + " -crf 18 "},
        // volume by item index; a typed volume (index -1) means no gain
        {none, O(".mp4", 4, "", 0, -1), "320x240", aac + "   -s 320x240 " + V + " -crf 18 "},
        {none, O(".mp4", 4, "", 0, 1), "320x240",
         aac + " -vol 512   -s 320x240 " + V + " -crf 18 "},
        // "No Sound", and a clip without audio whatever the choice
        {none, O(".mp4", 4, "", 1), "1280x720", " -an  -s 1280x720 " + V + " -crf 18 "},
        {none, O(".mkv"), "!640x480", " -an  -s 640x480 " + V + " -crf 18 "},
        // typed frame sizes with odd numbers are lowered to even ones; a text that is no size
        // (a note line of the list, "1x1") keeps the previous size
        {none, O(".avi", 4, "641x479"), "1280x720", mp3 + "   -s 640x478 " + V + " -crf 18 "},
        {O(".avi", 4, "641x479"), O(".avi", 4, "1x1"), "1280x720",
         mp3 + "   -s 640x478 " + V + " -crf 18 "},
        // same as original: the clip's size made even, or no size option when it is unknown
        {none, O(".avi"), "721x405", mp3 + "   -s 720x404 " + V + " -crf 18 "},
        {O(".avi"), O(".avi"), "", mp3 + "  " + V + " -crf 18 "},
        {none, O(".webm", 1, "320x240"), "1280x720",
         " -s 320x240  -vcodec libvpx -acodec libvorbis -ab 128k -ac 2 -ar 44100  -qscale 6 "},
        // the mencoder rows ignore the clip's missing audio; the tool copes with it
        {none, O(".wmv", 2, "320x240"), "!320x240",
         wmv + "-oac lavc -lavcopts acodec=wmav2:abitrate=128 -srate 44100 "},
        {none, O(".vob", 0), "1280x720",
         " -s 1280x720  -vcodec mpeg2video  -acodec aac -ac 2  -ar 44100  -ab 128k    -qscale 8 "},
        // a typed format of no rule keeps the audio piece of the last build, without growing
        {O(".mp4"), O(".ts"), "320x240", aac + "   -s 320x240 " + V + " -crf 18 "},
        // devices: the frame-size list plays no part; without "Filesize" the middle value
        {none, O("(Device) Android - Small Screen", 0, "", 0, 3), "1280x720",
         " -acodec libmp3lame -ab 128k -ac 2 -ar 44100  -vol 1024  -s 320x240 " + V + " -crf 26 "},
        {none, Opts("(Device) iPod - LoResolution", "whatever"), "1280x720",
         dev + " -s 320x240 " + V + " -crf 22 "},
        // an unknown device keeps the previous row
        {O("(Device) iPod - HiResolution"), O("(Device) Nokia", 3), "1280x720",
         dev + " -s 640x480 " + V + " -crf 20 "},
    };
    for (const Row& r : rows) {
        const bool mute = !r.clip.empty() && r.clip[0] == '!';
        const TStoreInfo clip = Clip(mute ? r.clip.substr(1) : r.clip, mute);
        TConvertPieces p;
        if (!r.before.ConvertType.empty()) BuildConvertFragment(r.before, clip, p);
        EXPECT_EQ(BuildConvertFragment(r.o, clip, p), r.want)
            << r.o.ConvertType << " " << r.o.FramePreset;
    }
    TConvertPieces p;
    BuildConvertOptions(Opts(".mp4"), Clip(), p);
    BuildConvertOptions(Opts(".ts"), Clip(), p);
    EXPECT_EQ(p.AudioPiece, BuildConvertOptions(Opts(".ts"), Clip(), p) == p.ConvertFragment
                                ? " -acodec aac -ac 2  -ar 44100  -ab 128k   "
                                : "no fragment"); // built again, nothing grows
    BuildConvertOptions(Opts("x"), Clip(), p);    // a one-character type becomes ".avi"
    EXPECT_EQ(p.OutputExt, ".avi");
    BuildConvertOptions(O(".avi", 4, "641x479"), Clip(), p);
    EXPECT_EQ(p.FrameSizeLabel + "|" + p.ScalePiece, "640x478 | -vf scale=640:478 ");
    EXPECT_FALSE(IsDeviceItem("(device) iPad - HiResolution")); // lower case is no device
}

TEST(ConvertCommand, WholeAndPartialForms) {
    TConvertCommandInputs in;
    in.FfmpegCommand = "/s/fcut.exe -cb ";
    in.ThreadsOption = " -threads 6 ";
    in.SeekArgs = " -ss 00:00:01.500 -t 2 ";
    in.InputFile = "/v/a b.mp4";
    in.OutputFile = "/o/a b-Partial.mkv";

    // whole, at the best quality and the clip's own size
    TConvertPieces p;
    const std::string mp4 = BuildConvertOptions(Opts(".mp4"), Clip(), p);
    EXPECT_EQ(p.FrameSizeLabel + p.OutputExt, "1280x720 .mp4");
    EXPECT_EQ(BuildConvertCommand(in, p), "/s/fcut.exe -cb  -threads 6  -i \"/v/a b.mp4\" " + mp4 +
                                              " -y \"/o/a b-Partial.mkv\"");
    EXPECT_EQ(p.ConvertCommand, BuildConvertCommand(in, p));

    in.Partial = true;
    const std::string f = BuildConvertOptions(Opts(".mkv"), Clip(), p);
    EXPECT_EQ(BuildConvertCommand(in, p),
              "/s/fcut.exe -cb  -threads 6   -ss 00:00:01.500 -t 2  -async 1 -i "
              "\"/v/a b.mp4\" " +
                  f + " -y \"/o/a b-Partial.mkv\"");

    // A quote in a file name stays inside its argument.
    in.InputFile = "/v/say \"hi\".mp4";
    BuildConvertOptions(Opts(".mp4"), Clip(), p);
    EXPECT_NE(BuildConvertCommand(in, p).find("-i \"/v/say \\\"hi\\\".mp4\""), std::string::npos);
}

TEST(DeviceOptions, RowsInListOrderAndTheirFragments) {
    // Every device item of the list names exactly one preset, and each preset is reached.
    ASSERT_EQ(ConvertTypeItems().size(), 23u);
    std::set<std::string> presets;
    for (size_t i = 0; i < DeviceItems().size(); ++i) {
        EXPECT_EQ(ConvertTypeItems()[12 + i], DeviceItems()[i]);
        TConvertPieces p;
        BuildConvertFragment(Opts(DeviceItems()[i]), Clip("160x120"), p);
        EXPECT_EQ(p.SizePiece, " -s " + p.FrameSizeLabel + " ") << DeviceItems()[i];
        presets.insert(p.OutputExt + p.FrameSizeLabel);
    }
    EXPECT_EQ(presets.size(), DeviceItems().size());
}
