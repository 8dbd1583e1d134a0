#include "common/frontend.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace trimora::frontend;

TEST(FrontEndRunTool, StreamsBothOutputsAndMirrorsTheExitStatus) {
    std::string out, err;
    const ToolOutcome r =
        RunToolCapture({"sh", "-c", "printf 'a\\rb'; printf oops >&2; exit 3"}, &out, &err);
    EXPECT_EQ(out, "a\rb");
    EXPECT_EQ(err, "oops");
    EXPECT_EQ(r.Status(), 3);
    EXPECT_FALSE(r.Succeeded());

    const ToolOutcome killed = RunTool({"sh", "-c", "kill -9 $$"}, nullptr);
    EXPECT_EQ(killed.signal, 9);
    EXPECT_EQ(killed.Status(), 128 + 9);

    const ToolOutcome missing = RunTool({"no-such-tool-xyz"}, nullptr);
    EXPECT_EQ(missing.Status(), 127);

    // The tool reads /dev/null, never the front-end's own input (here a pipe holding "mine").
    int input[2], saved = ::dup(0);
    ASSERT_EQ(::pipe(input), 0);
    (void)!::write(input[1], "mine", 4);
    ::close(input[1]);
    ::dup2(input[0], 0);
    std::string in;
    RunToolCapture({"sh", "-c", "cat; echo end"}, &in, nullptr);
    ::dup2(saved, 0);
    ::close(saved), ::close(input[0]);
    EXPECT_EQ(in, "end\n");
}

TEST(FrontEndArgs, LeadingMarkersAndExtensions) {
    std::vector<std::string> args = {"-cb", "qzv", "-o", "x.avi"};
    EXPECT_FALSE(DropLeading(args, {"-cb", "-o"}));
    EXPECT_TRUE(DropLeading(args, {"-cb", "qzv"}));
    EXPECT_EQ(args, (std::vector<std::string>{"-o", "x.avi"}));
    EXPECT_EQ(LowerExtension("/a.b/clip.MP4") + "|" + LowerExtension("/a.b/clip"), ".mp4|");
}
