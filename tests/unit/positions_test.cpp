// Seek commands, the position texts under the previews and the frame-save command.
#include "preview/positions.h"

#include "common/command_line.h"
#include "common/helpers.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

using namespace trimora;

TEST(Positions, SeekKindFollowsTheClip) {
    EXPECT_EQ(SeekTypeFor(".wmv"), " 1");
    EXPECT_EQ(SeekTypeFor(".asf"), " 2");
    EXPECT_EQ(SeekCommand(125, SeekTypeFor(".avi")), "seek 125 2");
    EXPECT_EQ(SeekCommand(-1, " 1"), "seek -1 1"); // a rewind at 0 is sent unclamped
}

TEST(Positions, TextsFromStatusLines) {
    // The boxes show the time of the frame on screen; the end box shows the clip's end for its
    // last frame. A line that does not read keeps the last position.
    struct Case {
        const char* line;
        bool end;
        const char* text;
    } cases[] = {{"V:  22.520 563/563 ??% ??% ??,?% 0 0 \x1b[J", false, "00:00:22.520"},
                 {"V:  22.520        ", true, "00:00:22.520"},
                 {"V:   0.000 ", true, "00:00:00.000"},
                 {"V:59.960 1499/1499 ??%", false, "00:00:59.960"},
                 {"V:  59.960 ", true, "00:01:00.000"},
                 {"ID_PAUSED and more", true, "00:01:00.000"}};
    PositionInput in;
    in.clipLength = 60.0;
    in.fps = 25;
    for (const Case& c : cases) {
        double seconds = 0;
        in.lastStatusLine = c.line;
        if (std::string(c.line) == "ID_PAUSED and more") seconds = 59.96;
        EXPECT_EQ((c.end ? EndPositionText : StartPositionText)(in, seconds), c.text) << c.line;
    }
}

TEST(Positions, TypedTimes) {
    struct Case {
        const char* text;
        bool ok;
        double seconds;
    } cases[] = {{"1:02:03.5", true, 3723.5},  {" 90 ", true, 90}, {"5:00", true, 300},
                 {"0:00:22.520", true, 22.52}, {"abc", false, 0},  {"", false, 0},
                 {"1:75", false, 0},           {"-3", false, 0},   {"1:2:3:4", false, 0},
                 {"1:60", false, 0},           {"12.", false, 0},  {"1e3", false, 0},
                 {"00:01:40 -y", false, 0}};
    for (const Case& c : cases) {
        double s = -1;
        EXPECT_EQ(ReadTypedTime(c.text, s), c.ok) << c.text;
        if (c.ok) {
            EXPECT_NEAR(s, c.seconds, 1e-9) << c.text;
        }
    }
}

TEST(Positions, FrameSaveCommandAndImageName) {
    trimora_test::IsolatedHome home;
    const std::string folder = home.Root();
    EXPECT_EQ(FrameTimeText("00:01:23.457"), "00:01:23.457");
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
