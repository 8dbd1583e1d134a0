#include "cli/cli.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/test_env.h"

using namespace trimora;

namespace {

struct CliRun {
    int status;
    std::string out, err;
};

CliRun RunCli(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = RunCommandLine(args, out, err);
    return {status, out.str(), err.str()};
}

bool Has(const std::string& text, const std::string& what) {
    return text.find(what) != std::string::npos;
}

} // namespace

TEST(CliMode, NoSubCommandOpensTheWindow) {
    EXPECT_EQ(RunCli({}).status, -1);
    EXPECT_EQ(RunCli({"-platform", "offscreen"}).status, -1);
    const CliRun r = RunCli({"cutt", "a.mp4"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(Has(r.err, "Unknown command: cutt"));
}

TEST(CliMode, CutUsageErrors) {
    trimora_test::IsolatedHome home;
    const std::string clip = home.Root() + "x.mp4";
    const std::string ts = home.Root() + "x.ts";
    trimora_test::WriteFileBytes(clip, "not really a clip");
    trimora_test::WriteFileBytes(ts, "not really a clip");

    const std::string S = "--start", E = "--end";
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{"cut", clip, S, "0:00:01", E, "0:00:03", "--bogus"},
         "Unknown option: --bogus\nUsage: trimora cut SRC --start T --end T"},
        {{"cut", home.Root() + "missing.mp4", S, "0:00:01", E, "0:00:03"},
         "Please select a file in list to process!"},
        {{"cut", S, "0:00:01", E, "0:00:03"}, "Please select a file in list to process!"},
        {{"cut", clip, S, "00:00:05.000", E, "00:00:02.000"},
         "StartTime can not be greater than EndTime ! Please complete settings for Start and End "
         "Times."},
        {{"cut", ts, S, "0:00:01", E, "0:00:03"},
         "Video cutting only supports the following file formats:\nasf, avi, flv, m2ts, m4v, mp4, "
         "mkv, mov, mpg, mpeg, wmv, webm, vob, divx"},
        {{"cut", clip, S, "0:00:01"}, "Missing --end"},
        {{"cut", clip, S, "1:xx:00", E, "0:00:03"}, "Invalid time for --start"},
        {{"cut", clip, S, "0:00:01", E}, "--end needs a value"},
        {{"cut", clip, S, "0:00:01.200", E, "0:00:01.900"}, "at least one second apart"},
        {{"cut", clip, S, "0:00:01", E, "0:00:03", "--save-folder", home.Root() + "nowhere"},
         "Folder does't exist: " + home.Root() + "nowhere"},
    };
    for (const auto& [args, err] : rows) {
        const CliRun r = RunCli(args);
        EXPECT_EQ(r.status, 2) << err;
        for (size_t b = 0, e = 0; e != std::string::npos; b = e + 1) {
            e = err.find("\nUsage", b); // the usage text follows on its own line
            EXPECT_TRUE(Has(r.err, err.substr(b, e == std::string::npos ? e : e - b))) << r.err;
        }
    }

    // Nothing was written for any of them.
    EXPECT_TRUE(trimora_test::ReadFileBytes(clip) == "not really a clip");
}

TEST(CliMode, ArgumentParsing) {
    const TCliArgs a = ParseCliArgs(
        {"a b.mp4", "--start=00:00:01", "--end", "2", "--nosound", "--", "--weird.mp4"},
        {"--start", "--end"}, {"--nosound"});
    EXPECT_EQ(a.Positional, (std::vector<std::string>{"a b.mp4", "--weird.mp4"}));
    EXPECT_EQ(a.Value("--start"), "00:00:01");
    EXPECT_EQ(a.Value("--end"), "2");
    EXPECT_TRUE(a.Has("--nosound"));
    EXPECT_THROW(ParseCliArgs({"--nosound=1"}, {}, {"--nosound"}), TCliUsageError);
    for (const char* ok : {"00:01:23.456", "0:00:00", "1:2:3", "83", "83.5", "100:00:00.000"})
        EXPECT_NO_THROW(CheckCliTime("--start", ok)) << ok;
    for (const char* bad : {"", "1::2", "a", "1:2:3:4", "1.2.3", ":12", "12:", "-1"})
        EXPECT_THROW(CheckCliTime("--start", bad), TCliUsageError) << bad;
}
