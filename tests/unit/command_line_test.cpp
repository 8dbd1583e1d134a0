#include "common/command_line.h"

#include <gtest/gtest.h>

using namespace trimora;

TEST(CommandLine, QuotedPathsSurviveTheSplitExactly) {
    const std::vector<std::string> hostile = {
        "/v/plain clip.avi", "/v/a\"b.avi", "/v/back\\slash.mp4", "/v/ends\\", "/v/q\\\"x",
        "/v/$HOME;rm -rf ~`x`.mkv", "/v/new\nline.flv", "/v/-lead.mp4", ""};
    for (const auto& path : hostile) {
        const auto args = SplitCommandLine("fcut.exe -i " + Quoted(path) + " -y");
        ASSERT_EQ(args.size(), 4u) << path;
        EXPECT_EQ(args[2], path);
        EXPECT_EQ(args[3], "-y");
    }
}
