// Byte-for-byte checks of the audio extraction command and its output names.
#include "jobs/audio.h"

#include "common/helpers.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

using namespace trimora;

TEST(AudioExtract, CodecPiecesGainAndCommand) {
    EXPECT_EQ(AudioCodecFor(".MP3"), " -acodec libmp3lame -ab 128k -ac 2 ");
    EXPECT_EQ(AudioCodecFor(".mp3x"), ""); // the patterns are anchored at the end

    trimora_test::IsolatedHome home;
    const std::string dir = home.Root();
    TAudioOptions o;
    o.AudioType = ".wav";
    o.VolumeIndex = 3;
    TAudioCommandInputs in;
    in.FfmpegCommand = "/s/fcut.exe -cb ";
    in.InputFile = "/v/trip.mov";
    in.SaveConvertFolder = dir;
    TAudioPieces p;
    EXPECT_EQ(BuildAudioCommand(o, in, p), "/s/fcut.exe -cb  -i \"/v/trip.mov\" -vn -sn  -acodec "
                                           "pcm_s16le -ar 44100 -ac 2  -vol 1024  -y \"" +
                                               dir + "trip.wav\"");
}

TEST(AudioExtract, OutputNamesAndTypes) {
    trimora_test::IsolatedHome home;
    const std::string dir = home.Root();
    TAudioCommandInputs in;
    in.FfmpegCommand = "f ";
    in.InputFile = "/v/song.take.avi";
    in.SaveConvertFolder = dir;
    TAudioOptions o;
    TAudioPieces p;
    // An empty type writes an .mp3 (the codec follows "mp3"), a typed one gets its point; only
    // the last extension of the source goes.
    o.AudioType = "";
    BuildAudioCommand(o, in, p);
    EXPECT_EQ(p.AudioOutExt, "mp3");
    EXPECT_EQ(p.AudioOutput, dir + "song.take.mp3");
    EXPECT_EQ(p.AudioCodecPiece, " -acodec libmp3lame -ab 128k -ac 2  ");
    o.AudioType = "flac";
    BuildAudioCommand(o, in, p);
    EXPECT_EQ(p.AudioOutput, dir + "song.take.flac");
    EXPECT_EQ(p.AudioCodecPiece, " "); // the encoder picks the codec for .flac
}
