// Byte-for-byte checks of the convert fragments and command lines.
#include "jobs/convert.h"
#include "jobs/device_presets.h"

#include <gtest/gtest.h>

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

std::string Fragment(const TConvertOptions& o, const TStoreInfo& info = Clip()) {
    TConvertPieces p;
    return BuildConvertFragment(o, info, p);
}

} // namespace

TEST(ConvertOptions, WorkedExampleMp4BestSameAsOriginal) {
    TConvertPieces p;
    const std::string fragment = BuildConvertOptions(Opts(".mp4"), Clip(), p);
    EXPECT_EQ(fragment, std::string(" -acodec aac -ac 2 ") + " -ar 44100 " + " -ab 128k " + " " +
                            " " + " -s 1280x720 " + kVideo + " -crf 18 ");
    EXPECT_EQ(p.FrameSizeLabel, "1280x720 ");
    EXPECT_EQ(p.OutputExt, ".mp4");

    TConvertCommandInputs in;
    in.FfmpegCommand = "/s/fcut.exe -cb ";
    in.ThreadsOption = " -threads 6 ";
    in.InputFile = "/v/holiday.avi";
    in.OutputFile = "/o/holiday-Convert.mp4";
    EXPECT_EQ(BuildConvertCommand(in, p),
              "/s/fcut.exe -cb  -threads 6  -i \"/v/holiday.avi\" " + fragment +
                  " -y \"/o/holiday-Convert.mp4\"");
    EXPECT_EQ(p.ConvertCommand, BuildConvertCommand(in, p));
}

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

TEST(ConvertOptions, AudioPieceByFormatVolumeAndSound) {
    const std::string rb = " -ar 44100  -ab 128k ";
    struct Case {
        std::string type, audio;
    };
    const std::vector<Case> cases = {
        {".avi", " -acodec libmp3lame -ac 2 " + rb},  {".3gp", " -acodec aac -ac 2 " + rb},
        {".mkv", " -acodec aac -ac 2 " + rb},         {".mpg", " -acodec libmp3lame -ac 2 " + rb},
        {".mpeg", " -acodec libmp3lame -ac 2 " + rb}, {".mov", " -acodec aac -ac 2 " + rb},
        {".m4v", " -acodec aac -ac 2 " + rb},
        {".flv", " -acodec aac -ac 2 -ar 44100  -ab 128k "}, // fixed rate, no clip rate
    };
    for (const auto& c : cases) {
        TConvertOptions o = Opts(c.type);
        o.VolumeIndex = 2;
        TConvertPieces p;
        BuildConvertOptions(o, Clip("320x240"), p);
        EXPECT_EQ(p.AudioPiece, c.audio + " -vol 768 " + " ") << c.type;
        EXPECT_EQ(p.ConvertFragment, p.AudioPiece + " -s 320x240 " + kVideo + " -crf 18 ")
            << c.type;
    }
    // Volume by item index; a typed volume (index -1) means no gain.
    const std::vector<std::string> gains = {" ", " ", " -vol 512 ", " -vol 768 ", " -vol 1024 "};
    for (int index = -1; index <= 3; ++index) {
        TConvertOptions o = Opts(".mp4");
        o.VolumeIndex = index;
        TConvertPieces p;
        BuildConvertOptions(o, Clip(), p);
        EXPECT_EQ(p.VolumePiece, gains[index + 1]);
    }
    // "No Sound", and a clip without audio whatever the choice.
    TConvertOptions noSound = Opts(".mp4");
    noSound.IncludeSoundIndex = 1;
    EXPECT_EQ(Fragment(noSound), " -an  -s 1280x720 " + kVideo + " -crf 18 ");
    EXPECT_EQ(Fragment(Opts(".mkv"), Clip("640x480", true)),
              " -an  -s 640x480 " + kVideo + " -crf 18 ");
}

TEST(ConvertOptions, FrameSizes) {
    TConvertOptions o = Opts(".avi");
    o.FramePreset = "641x479"; // typed with odd numbers: lowered to even ones
    TConvertPieces p;
    BuildConvertOptions(o, Clip(), p);
    EXPECT_EQ(p.SizePiece, " -s 640x478 ");
    EXPECT_EQ(p.ScalePiece, " -vf scale=640:478 ");
    EXPECT_EQ(p.FrameSizeLabel, "640x478 ");

    // A note line of the list, or any text that is no size, keeps the previous size.
    for (const std::string text : {"exact syntax as seen above.  ", "Use even numbers only !)",
                                   "big", "1x1"}) {
        o.FramePreset = text;
        BuildConvertOptions(o, Clip(), p);
        EXPECT_EQ(p.SizePiece, " -s 640x478 ") << text;
        EXPECT_EQ(p.ScalePiece, " -vf scale=640:478 ") << text;
    }

    // Same as original: the clip's size made even, or no size option when it is unknown.
    o.FramePreset = "Same as original";
    BuildConvertOptions(o, Clip("721x405"), p);
    EXPECT_EQ(p.SizePiece, " -s 720x404 ");
    EXPECT_EQ(p.FrameSizeLabel, "720x404 ");
    BuildConvertOptions(o, Clip(""), p);
    EXPECT_EQ(p.SizePiece, "");
    EXPECT_EQ(p.ScalePiece, "");
    EXPECT_EQ(p.ConvertFragment, " -acodec libmp3lame -ac 2  -ar 44100  -ab 128k   " + kVideo +
                                     " -crf 18 ");
}

TEST(ConvertOptions, FragmentForms) {
    TConvertOptions o = Opts(".webm", QualityItems()[1]);
    o.FramePreset = "320x240";
    EXPECT_EQ(Fragment(o), " -s 320x240  -vcodec libvpx -acodec libvorbis -ab 128k -ac 2 -ar "
                           "44100  -qscale 6 ");
    o.IncludeSoundIndex = 1; // fixed audio options, but "No Sound" drops the sound
    EXPECT_EQ(Fragment(o), " -s 320x240  -vcodec libvpx -an  -qscale 6 ");

    o = Opts(".asf", QualityItems()[2]);
    o.FramePreset = "320x240";
    EXPECT_EQ(Fragment(o), " -vf scale=320:240  -ovc lavc -lavcopts vcodec=mpeg4:vbitrate=2800:"
                           "threads=8 -oac lavc -lavcopts acodec=wmav2:abitrate=128 -srate 44100 ");
    o.ConvertType = ".WMV";
    o.IncludeSoundIndex = 1;
    EXPECT_EQ(Fragment(o), " -vf scale=320:240  -ovc lavc -lavcopts vcodec=mpeg4:vbitrate=2800:"
                           "threads=8 -nosound ");
    // The mencoder rows ignore the clip's missing audio; the tool copes with it.
    o.IncludeSoundIndex = 0;
    EXPECT_NE(Fragment(o, Clip("320x240", true)).find("acodec=wmav2"), std::string::npos);

    o = Opts(".vob", QualityItems()[0]);
    EXPECT_EQ(Fragment(o), " -s 1280x720  -vcodec mpeg2video  -acodec aac -ac 2  -ar 44100  "
                           "-ab 128k    -qscale 8 ");

    // A one-character type becomes ".avi".
    TConvertPieces p;
    BuildConvertOptions(Opts("x"), Clip(), p);
    EXPECT_EQ(p.OutputExt, ".avi");
}

TEST(ConvertOptions, TypedFormatOfNoRuleKeepsTheAudioPiece) {
    TConvertPieces p;
    BuildConvertOptions(Opts(".mp4"), Clip(), p);
    BuildConvertOptions(Opts(".ts"), Clip("320x240"), p);
    EXPECT_EQ(p.OutputExt, ".ts");
    EXPECT_EQ(p.ConvertFragment,
              " -acodec aac -ac 2  -ar 44100  -ab 128k    -s 320x240 " + kVideo + " -crf 18 ");
    // Built again, nothing grows.
    BuildConvertOptions(Opts(".ts"), Clip("320x240"), p);
    EXPECT_EQ(p.AudioPiece, " -acodec aac -ac 2  -ar 44100  -ab 128k   ");
}

TEST(ConvertCommand, PartialAndMencoderForms) {
    TConvertCommandInputs in;
    in.FfmpegCommand = "/s/fcut.exe -cb ";
    in.ThreadsOption = "";
    in.MencoderCommand = "/s/mcut.exe -cb qzv ";
    in.SeekArgs = " -ss 00:00:01.500 -t 2 ";
    in.EndPosPiece = "-endpos 2";
    in.EdlPiece = "-edl \"/s/qvcut.edl\" -hr-edl-seek ";
    in.InputFile = "/v/a b.mp4";
    in.OutputFile = "/o/a b-Partial.mkv";
    in.Partial = true;

    TConvertPieces p;
    const std::string f = BuildConvertOptions(Opts(".mkv"), Clip(), p);
    EXPECT_EQ(BuildConvertCommand(in, p), "/s/fcut.exe -cb   -ss 00:00:01.500 -t 2  -async 1 -i "
                                          "\"/v/a b.mp4\" " +
                                              f + " -y \"/o/a b-Partial.mkv\"");

    in.OutputFile = "/o/a b-Partial.wmv";
    const std::string wf = BuildConvertOptions(Opts(".wmv"), Clip(), p);
    EXPECT_EQ(BuildConvertCommand(in, p), "/s/mcut.exe -cb qzv -edl \"/s/qvcut.edl\" "
                                          "-hr-edl-seek -endpos 2 \"/v/a b.mp4\" " +
                                              wf + " -o \"/o/a b-Partial.wmv\"");
    EXPECT_EQ(p.ConvertCommand.find(" -s "), std::string::npos);
    in.Partial = false;
    EXPECT_EQ(BuildConvertCommand(in, p),
              "/s/mcut.exe -cb qzv  \"/v/a b.mp4\" " + wf + " -o \"/o/a b-Partial.wmv\"");

    // A quote in a file name stays inside its argument.
    in.InputFile = "/v/say \"hi\".mp4";
    BuildConvertOptions(Opts(".mp4"), Clip(), p);
    EXPECT_NE(BuildConvertCommand(in, p).find("-i \"/v/say \\\"hi\\\".mp4\""),
              std::string::npos);
}

TEST(DeviceOptions, RowsInListOrderAndTheirFragments) {
    ASSERT_EQ(DeviceItems().size(), 11u);
    EXPECT_EQ(DeviceItems().front(), "(Device) Android - Small Screen");
    EXPECT_EQ(DeviceItems().back(), "(Device) iPhone - HiResolution");
    ASSERT_EQ(ConvertTypeItems().size(), 23u);
    EXPECT_EQ(ConvertTypeItems()[11], ".webm");
    EXPECT_EQ(ConvertTypeItems()[12], DeviceItems()[0]);

    // Every item names exactly one row, and each row is reached.
    const std::vector<std::string> suffixes = {
        "_DroidSmall.mp4",      "_DroidMid.mp4",       "_DroidLarge.mp4", "_BlackberrySmall.mp4",
        "_BlackberryMid.mp4",   "_iPad_LoRes.m4v",     "_iPad_HiRes.m4v", "_iPodLoRes.m4v",
        "_iPodHiRes.m4v",       "_iPhone.m4v",         "_iPhone.m4v"};
    const std::vector<std::string> sizes = {"320x240", "480x320", "854x480", "260x240",
                                            "320x240", "640x360", "1280x720", "320x240",
                                            "640x480", "320x240", "480x360"};
    for (size_t i = 0; i < DeviceItems().size(); ++i) {
        TConvertPieces p;
        BuildConvertFragment(Opts(DeviceItems()[i]), Clip("160x120"), p);
        EXPECT_EQ(p.OutputExt, suffixes[i]) << DeviceItems()[i];
        EXPECT_EQ(p.SizePiece, " -s " + sizes[i] + " ") << DeviceItems()[i];
        EXPECT_EQ(p.FrameSizeLabel, sizes[i]);
    }

    EXPECT_EQ(Fragment(Opts("(Device) iPad - HiResolution")),
              std::string(" -acodec aac -ab 128k -ac 2 -ar 44100 ") + " " + " -s 1280x720 " +
                  kVideo + " -crf 18 ");
    TConvertOptions o = Opts("(Device) Android - Small Screen", QualityItems()[0]);
    o.IncludeSoundIndex = 1;
    o.FramePreset = "640x480"; // the frame-size list plays no part for devices
    EXPECT_EQ(Fragment(o), " -an  -s 320x240 " + kVideo + " -crf 26 ");
    o.IncludeSoundIndex = 0;
    o.VolumeIndex = 3;
    EXPECT_EQ(Fragment(o), " -acodec libmp3lame -ab 128k -ac 2 -ar 44100  -vol 1024  -s 320x240 " +
                               kVideo + " -crf 26 ");
    EXPECT_EQ(Fragment(o, Clip("160x120", true)), " -an  -s 320x240 " + kVideo + " -crf 26 ");
    // Without "Filesize" the device takes the middle value.
    EXPECT_EQ(Fragment(Opts("(Device) iPod - LoResolution", "whatever")),
              " -acodec aac -ab 128k -ac 2 -ar 44100   -s 320x240 " + kVideo + " -crf 22 ");
}

TEST(DeviceOptions, UnknownDeviceKeepsThePreviousRow) {
    TConvertPieces p;
    BuildConvertFragment(Opts("(Device) iPod - HiResolution"), Clip(), p);
    BuildConvertFragment(Opts("(Device) Nokia", QualityItems()[3]), Clip(), p);
    EXPECT_EQ(p.OutputExt, "_iPodHiRes.m4v");
    EXPECT_EQ(p.ConvertFragment,
              " -acodec aac -ab 128k -ac 2 -ar 44100   -s 640x480 " + kVideo + " -crf 20 ");
    // Lower-case "(device)" is no device item.
    EXPECT_FALSE(IsDeviceItem("(device) iPad - HiResolution"));
}
