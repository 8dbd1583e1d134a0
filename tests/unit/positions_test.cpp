// Seek commands, the position texts under the previews and the frame-save command.
#include "preview/positions.h"

#include "common/command_line.h"
#include "common/helpers.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

using namespace trimora;

TEST(Positions, SeekKindFollowsTheClip) {
    EXPECT_EQ(SeekTypeFor(".wmv"), " 1");
    EXPECT_EQ(SeekTypeFor(".avi"), " 2");
    EXPECT_EQ(SeekTypeFor(".asf"), " 2");
    EXPECT_EQ(SliderMaxFor(".wmv", 3000), 99);
    EXPECT_EQ(SliderMaxFor(".mp4", 3000), 3000);
    EXPECT_EQ(SeekCommand(125, SeekTypeFor(".avi")), "seek 125 2");
    EXPECT_EQ(SeekCommand(-1, " 1"), "seek -1 1"); // a rewind at 0 is sent unclamped
}

TEST(Positions, TextsFromStatusLines) {
    double s = 99;
    EXPECT_TRUE(StatusLineSeconds("V:   2.5  63/ 63 ??% ??% ??,?% 0 0 \x1b[J", s));
    EXPECT_DOUBLE_EQ(s, 2.5);
    EXPECT_TRUE(StatusLineSeconds("V:1234.5 30000/30000 ??%", s));
    EXPECT_DOUBLE_EQ(s, 1234.5);
    EXPECT_FALSE(StatusLineSeconds("Exiting... (Quit)", s));
    EXPECT_DOUBLE_EQ(s, 1234.5);

    PositionInput in;
    in.sliderValue = 2;
    in.inputExt = ".avi";
    in.durationText = "00:01:40";
    in.lastStatusLine = "V:   2.5  63/ 63 ??% ??% ??,?% 0 0 ";
    double start = 0, end = 0;
    EXPECT_EQ(StartPositionText(in, start), "00:00:02.493");
    EXPECT_EQ(EndPositionText(in, end), "00:00:03.100");
    in.inputExt = ".flv";
    EXPECT_EQ(StartPositionText(in, start), "00:00:02.430");
    in.flvCanSeek = true;
    EXPECT_EQ(StartPositionText(in, start), "00:00:02.493");
    in.inputExt = ".WMV";
    in.flvCanSeek = false;
    EXPECT_EQ(StartPositionText(in, start), "00:00:02.430");
    EXPECT_EQ(EndPositionText(in, end), "00:00:03.100"); // the end offset is the same for all

    // A line that does not read keeps the last position.
    in.lastStatusLine = "ID_PAUSED and more";
    EXPECT_EQ(StartPositionText(in, start), "00:00:02.430");
    // At the slider's 0 the box says 0 whatever the player reports.
    in.sliderValue = 0;
    EXPECT_EQ(StartPositionText(in, start), "0:00:00.000");
    EXPECT_EQ(EndPositionText(in, end), "0:00:00.000");
    // Far along the slider, a report under 10 s shows the clip's duration instead.
    in.sliderValue = 61;
    EXPECT_EQ(StartPositionText(in, start), "00:01:40.000");
    in.lastStatusLine = "V:  75.0 ";
    EXPECT_EQ(StartPositionText(in, start), "00:01:14.930");
}

TEST(Positions, FrameSaveCommandAndImageName) {
    trimora_test::IsolatedHome home;
    const std::string folder = home.Root();
    EXPECT_EQ(FrameTimeText("00:01:23.457"), "00:01:23.457");
    EXPECT_EQ(FrameTimeText("0:00:00.000"), "0:00:00.000");
    // Typed text never reaches the command as options or folders.
    EXPECT_EQ(FrameTimeText("1:00 -y"), "00:01:00.000");
    EXPECT_EQ(FrameTimeText("../../x"), "00:00:00.000");

    const std::string image = SaveFrameImagePath(folder, "00:01:23.457");
    EXPECT_EQ(image, folder + "000123.457.jpg");
    trimora_test::WriteFileBytes(image, "x");
    const std::string second = SaveFrameImagePath(folder, "00:01:23.457");
    EXPECT_NE(second, image); // an existing image is never overwritten
    EXPECT_EQ(FolderOf(second), FolderOf(image));

    const std::string cmd = SaveFrameCommand("/d/trimora/fcut.exe -cb ", "00:01:23.457",
                                             "/v/My clip.avi", folder + "000123.457.jpg");
    EXPECT_EQ(cmd, "/d/trimora/fcut.exe -cb  -ss 00:01:23.457 -i \"/v/My clip.avi\" -f image2 "
                   "-vframes 1 -sameq \"" +
                       folder + "000123.457.jpg\"");
    const auto args =
        SplitCommandLine(SaveFrameCommand("fcut.exe -cb ", "1", "/v/a\"b.avi", "/i.jpg"));
    EXPECT_EQ(args[5], "/v/a\"b.avi");
}
