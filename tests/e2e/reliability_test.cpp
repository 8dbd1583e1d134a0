// Reliability through the real program and front-ends: bad media, many jobs in one program run
// and hostile file names never lose or leave anything.
#include "cli/cli.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <set>
#include <sstream>
#include <thread>
#include <unistd.h>

using namespace trimora_test;
namespace fs = std::filesystem;

namespace {

std::string Clip() { return MediaClip(".mp4", 4); }

// Every file below root that the job made: its edit-decision file and kept probe reports aside.
std::set<std::string> Tree(const std::string& root) {
    std::set<std::string> files;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::end(it); ++it) {
        const std::string f = fs::relative(it->path(), root).string();
        if (!it->is_directory() && f.find("qvcut.edl") == std::string::npos &&
            f.rfind("cache/trimora/probe/", 0) != 0)
            files.insert(f);
    }
    return files;
}

std::vector<std::string> Added(const std::set<std::string>& before, const std::string& root) {
    std::vector<std::string> added;
    for (const auto& f : Tree(root))
        if (!before.count(f)) added.push_back(f);
    return added;
}

int Entries(const std::string& dir) {
    return static_cast<int>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

class Reliability : public ::testing::Test {
  protected:
    void SetUp() override {
        home_.InstallTools();
        src_ = home_.Root() + "src/";
        out_ = home_.Root() + "out/";
        fs::create_directories(src_);
        fs::create_directories(out_);
    }
    std::string Copy(const std::string& from, const std::string& name) {
        fs::copy_file(from, src_ + name);
        return src_ + name;
    }
    CliRun Cut(const std::string& src, const std::string& from, const std::string& to) {
        return RunTrimora({"cut", src, "--start", from, "--end", to, "--save-folder", out_});
    }
    IsolatedHome home_;
    std::string src_, out_;
};

} // namespace

TEST_F(Reliability, BadMediaEndsInAClearStatusAndLeavesNothing) {
    const std::string good = ReadFileBytes(Clip());
    std::string random(200000, '\0');
    for (size_t i = 0; i < random.size(); ++i) random[i] = static_cast<char>((i * 7919 + 13) % 251);
    // an FLV whose header claims a duration of about 31 years
    std::string absurd = ReadFileBytes(MediaClip(".flv", 2));
    const size_t at = absurd.find("duration");
    ASSERT_NE(at, std::string::npos);
    const double huge = 1e9;
    uint64_t bits;
    std::memcpy(&bits, &huge, 8);
    for (int i = 0; i < 8; ++i) absurd[at + 9 + i] = static_cast<char>(bits >> (56 - 8 * i));
    struct Case {
        std::string name, bytes;
        bool bad; // the probe names it "Bad File!"
    };
    const std::vector<Case> cases = {
        {"zero.mp4", "", true},
        {"truncated.mp4", good.substr(0, 3000), true},
        {"random.avi", random, true},
        {"mp4 named.avi", good, false},
        {"absurd.flv", absurd, false},
        {"audio only.mp4", ReadFileBytes(MediaClip(".mp4", 3, "-vn")), false},
        {"video only.mp4", ReadFileBytes(MediaClip(".mp4", 3, "-an")), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFileBytes(src_ + c.name, c.bytes);
        const CliRun probe = RunTrimora({"probe", src_ + c.name});
        EXPECT_EQ(probe.status, c.bad ? 1 : 0) << probe.output;
        EXPECT_EQ(probe.output.find("Bad File!") != std::string::npos, c.bad) << probe.output;
        const auto before = Tree(out_);
        const CliRun cut = Cut(src_ + c.name, "00:00:00.500", "00:00:01.500");
        ASSERT_TRUE(cut.status >= 0 && cut.status <= 2) << cut.output;
        const auto added = Added(before, out_);
        if (cut.status == 0) {
            ASSERT_EQ(added.size(), 1u);
            EXPECT_EQ(cut.Done(), out_ + added[0]);
            EXPECT_GT(ProbeDuration(out_ + added[0]), 0.3);
        } else {
            EXPECT_TRUE(cut.LastLine().rfind("FAILED ", 0) == 0 || cut.status == 2) << cut.output;
            EXPECT_TRUE(added.empty()) << added[0];
        }
        EXPECT_EQ(ReadFileBytes(src_ + c.name), c.bytes); // the source is never touched
    }
    for (const auto& f : Tree(home_.Root() + "data/trimora/")) EXPECT_EQ(f.find("trim-"), std::string::npos) << f;
}

TEST_F(Reliability, ManyJobsInOneRunGiveDistinctOutputsAndLeakNothing) {
    const std::string src = Copy(Clip(), "clip.mp4");
    auto cut = [&] {
        std::ostringstream out, err;
        const int status = trimora::RunCommandLine(
            {"cut", src, "--start", "00:00:01.000", "--end", "00:00:02.000", "--save-folder", out_},
            out, err);
        EXPECT_EQ(status, 0) << out.str() << err.str();
    };
    cut(); // first, so lazily made things (pattern caches, the tool folder) exist
    const int fds = Entries("/proc/self/fd"), threads = Entries("/proc/self/task");
    for (int i = 0; i < 19; ++i) cut();
    const auto outputs = Tree(out_);
    EXPECT_EQ(outputs.size(), 20u);
    EXPECT_TRUE(outputs.count("clip-Cut19.mp4"));
    EXPECT_EQ(ReadFileBytes(src), ReadFileBytes(Clip()));
    EXPECT_LE(Entries("/proc/self/fd"), fds);
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // runner threads wind down
    EXPECT_LE(Entries("/proc/self/task"), threads);
    EXPECT_TRUE(Descendants(::getpid()).empty()); // no tool left running
}

// Names a shell or a quoting slip would misread, through each tool's way of cutting.
TEST_F(Reliability, HostileNamesTouchOnlyTheChosenFiles) {
    const std::vector<std::string> names = {
        "quote\"d",  "back\\slash",        "dollar $HOME",       "semi;colon", "back`tick`",
        "new\nline", "-leading dash",      std::string(180, 'n'), "bytes \xff\xfe",
        "all \"$(x)\"; `y` \\\"", "my \"best\" $HOME; rm -rf x"};
    const std::vector<std::string> classes = {Clip(), MediaClip(".mkv", 4), MediaClip(".wmv", 4)};
    fs::create_directories(home_.Root() + ".cache"); // the jobs' work folders go there
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string& clip = classes[i % classes.size()];
        const std::string ext = clip.substr(clip.rfind('.'));
        SCOPED_TRACE(names[i] + ext);
        const std::string src = Copy(clip, names[i] + ext);
        const auto before = Tree(home_.Root());
        const CliRun cut = Cut(src, "00:00:01.000", "00:00:03.000");
        ASSERT_EQ(cut.status, 0) << cut.output;
        const auto added = Added(before, home_.Root());
        ASSERT_EQ(added.size(), 1u) << added[0];
        EXPECT_EQ(added[0], "out/" + names[i] + "-Cut" + ext);
        EXPECT_NEAR(ProbeDuration(home_.Root() + added[0]), 2.0, 1.0);
        EXPECT_EQ(ReadFileBytes(src), ReadFileBytes(clip));
        fs::remove(home_.Root() + added[0]);
        fs::remove(src);
    }
}
