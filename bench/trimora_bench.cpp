// Benchmarks of Trimora against the raw tools, measured in the same run on the same files.
// Each figure is the median of several runs; ratios are Trimora / raw tool.
//
//   build/bin/trimora_bench [--data DIR] [--runs N] [--only cut|mkv|list|window|startup]
//
// The sample files (a 500 MB mp4, a 10-minute mkv) are made on the first run and kept in DIR.

#include "common/command_line.h"
#include "common/file_list.h"
#include "common/helpers.h"

#include "window_bench.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double BenchMedian(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2]
                                        : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

namespace {

struct RunResult {
    double seconds = 0;
    int exitCode = -1;
    int64_t bytesWritten = 0; // by the process and every descendant it waited for
    std::string output;
};

RunResult Run(const std::vector<std::string>& argv, bool keepOutput = false) {
    RunResult r;
    int fds[2];
    if (::pipe(fds) != 0) return r;
    const auto t0 = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fds[1], 1);
        ::dup2(fds[1], 2);
        ::close(fds[0]);
        ::close(fds[1]);
        const int devnull = ::open("/dev/null", O_RDONLY);
        ::dup2(devnull, 0);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    char buf[8192];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0)
        if (keepOutput) r.output.append(buf, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    rusage ru{};
    ::wait4(pid, &status, 0, &ru);
    r.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.bytesWritten = static_cast<int64_t>(ru.ru_oublock) * 512;
    return r;
}

double Median(std::vector<double> v) { return BenchMedian(std::move(v)); }

void Row(const std::string& figure, double ours, double raw, const std::string& target,
         bool met) {
    std::printf("%-44s %10.3f %10.3f %8.3f   %-12s %s\n", figure.c_str(), ours, raw,
                raw > 0 ? ours / raw : 0.0, target.c_str(), met ? "met" : "MISSED");
}

void MakeSample(const std::string& path, const std::vector<std::string>& ffmpegArgs) {
    if (fs::exists(path)) return;
    std::vector<std::string> argv = {"ffmpeg", "-nostdin", "-loglevel", "error", "-y"};
    argv.insert(argv.end(), ffmpegArgs.begin(), ffmpegArgs.end());
    argv.push_back(path + ".tmp" + fs::path(path).extension().string());
    std::cerr << "making " << path << " ...\n";
    const RunResult r = Run(argv, true);
    if (r.exitCode != 0) {
        std::cerr << r.output;
        std::exit(1);
    }
    fs::rename(path + ".tmp" + fs::path(path).extension().string(), path);
}

// An X server of our own for the window's figures: Xvfb on a display it picks itself.
pid_t StartXvfb() {
    int fds[2];
    if (::pipe(fds) != 0) return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        const int devnull = ::open("/dev/null", O_RDWR);
        ::dup2(devnull, 0);
        ::dup2(devnull, 1);
        ::dup2(devnull, 2);
        const std::string fd = std::to_string(fds[1]);
        ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1600x1000x24",
                 "-nolisten", "tcp", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    std::string display;
    char c;
    while (::read(fds[0], &c, 1) == 1 && c != '\n') display += c;
    ::close(fds[0]);
    if (pid < 0 || display.empty()) return -1;
    ::setenv("DISPLAY", (":" + display).c_str(), 1);
    return pid;
}

// Removes every file in folder whose name starts with prefix (outputs between runs).
void RemoveOutputs(const std::string& folder, const std::string& prefix) {
    for (const auto& e : fs::directory_iterator(folder))
        if (e.path().filename().string().rfind(prefix, 0) == 0) fs::remove(e.path());
}

} // namespace

int main(int argc, char** argv) {
    std::string data = trimora::ProgramFolder() + "../bench-data/";
    int runs = 5;
    std::string only; // one group of figures: cut, mkv, list, window, startup
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string opt = argv[i];
        if (opt == "--data") data = trimora::WithSlash(argv[i + 1]);
        else if (opt == "--runs") runs = std::max(1, std::atoi(argv[i + 1]));
        else if (opt == "--only") only = argv[i + 1];
    }
    fs::create_directories(data);
    data = trimora::WithSlash(fs::canonical(data).string());
    const std::string bin = trimora::ProgramFolder();
    const std::string trimora = bin + "trimora";

    // Isolated program folders, so the benchmark never touches the user's settings.
    const std::string home = data + "home/";
    fs::create_directories(home);
    ::setenv("HOME", home.substr(0, home.size() - 1).c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home + "config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home + "data").c_str(), 1);

    // A 500 MB mp4: a 20-second 720p clip at a high bitrate, repeated by stream copy.
    const std::string base = data + "base720.mp4", big = data + "big500.mp4";
    MakeSample(base, {"-f", "lavfi", "-i", "testsrc2=size=1280x720:rate=25:duration=20", "-f",
                      "lavfi", "-i", "sine=frequency=440:duration=20", "-c:v", "libx264",
                      "-preset", "ultrafast", "-b:v", "40M", "-maxrate", "40M", "-bufsize",
                      "20M", "-g", "50", "-c:a", "aac", "-b:a", "128k", "-shortest"});
    const int64_t baseSize = std::max<int64_t>(1, trimora::GetFileSize64(base));
    const int64_t loops = (500LL * 1024 * 1024 + baseSize - 1) / baseSize;
    MakeSample(big, {"-stream_loop", std::to_string(loops - 1), "-i", base, "-c", "copy"});
    // A 10-minute 720p mkv, as a camera or a recorder writes it: the same clip remuxed, repeated.
    const std::string longMkv = data + "long600-720p.mkv";
    MakeSample(longMkv, {"-stream_loop", "29", "-i", base, "-c", "copy"});

    const std::string out = data + "out/";
    fs::create_directories(out);
    std::printf("Trimora benchmark: %d runs per figure, medians in seconds\n", runs);
    std::printf("big mp4: %s (%s), long mkv: %s\n\n", big.c_str(),
                trimora::FormatFileSize(trimora::GetFileSize64(big)).c_str(), longMkv.c_str());
    std::printf("%-44s %10s %10s %8s   %-12s %s\n", "figure", "trimora", "raw", "ratio",
                "target", "");

    // Warm the page cache and the front-end installation once (and keep the probe, as a click
    // on the clip in the window would).
    const std::string cacheHome = data + "cache/";
    ::setenv("XDG_CACHE_HOME", cacheHome.c_str(), 1);
    Run({trimora, "probe", big});
    Run({"cat", big});
    if (only.empty() || only == "mkv") {
        Run({trimora, "probe", longMkv});
        Run({"cat", longMkv});
    }

    // Cut overhead: the same 20-second range, stream copy, against what a peer's flow does
    // (ffprobe of the file, then ffmpeg's copy). Once with the clip's probe kept from an earlier
    // look at it (the click, or the last cut), once as the very first look at the file.
    auto want = [&only](const char* group) { return only.empty() || only == group; };
    for (const bool firstLook : {false, true}) {
        if (!want("cut")) break;
        std::vector<double> ours, raw, bare;
        int64_t written = 0, outSize = 0;
        for (int i = 0; i < runs; ++i) {
            // Every other run the peer goes first, so neither side always finds what the
            // other left in the caches.
            auto peer = [&] {
                RemoveOutputs(out, "raw");
                const double probe = Run({"ffprobe", "-v", "error", "-show_format",
                                          "-show_streams", big}).seconds;
                bare.push_back(Run({"ffmpeg", "-nostdin", "-y", "-ss", "30", "-t", "20", "-i",
                                    big, "-c", "copy", out + "raw.mp4"})
                                   .seconds);
                raw.push_back(probe + bare.back());
            };
            if (i % 2) peer();
            RemoveOutputs(out, "big500");
            if (firstLook) fs::remove_all(cacheHome);
            ::setenv("XDG_CACHE_HOME", cacheHome.c_str(), 1);
            RunResult t = Run({trimora, "cut", big, "--start", "00:00:30.000", "--end",
                               "00:00:50.000", "--save-folder", out}, true);
            if (t.exitCode != 0) std::cerr << "trimora cut failed:\n" << t.output;
            ours.push_back(t.seconds);
            for (const auto& e : fs::directory_iterator(out))
                if (e.path().filename().string().rfind("big500", 0) == 0) {
                    outSize = static_cast<int64_t>(fs::file_size(e.path()));
                    written = t.bytesWritten;
                }
            if (i % 2 == 0) peer();
        }
        const double ratio = Median(ours) / Median(raw);
        Row(firstLook ? "cut 20 s of 500 MB mp4, first look at file"
                      : "cut 20 s of 500 MB mp4 vs ffprobe+ffmpeg",
            Median(ours), Median(raw), "<= 1.05", ratio <= 1.05);
        Row(firstLook ? "  same, vs the bare ffmpeg copy alone" : "  same, vs the bare ffmpeg copy alone",
            Median(ours), Median(bare), "(info)", true);
        if (!firstLook)
            std::printf("%-44s %10s %10s %8.3f   %-12s\n", "bytes written per cut / output size",
                        "", "", outSize > 0 ? double(written) / double(outSize) : 0.0, "(info)");
    }
    ::setenv("XDG_CACHE_HOME", cacheHome.c_str(), 1);

    // Probe: the front-end's report against ffmpeg's own.
    if (want("cut")) {
        std::vector<double> ours, raw;
        const std::string fcut = trimora::SystemFolder() + "fcut.exe";
        for (int i = 0; i < runs * 2; ++i) {
            ours.push_back(Run({fcut, "-cb", "-i", big}).seconds);
            raw.push_back(Run({"ffmpeg", "-i", big}).seconds);
        }
        const double ratio = Median(ours) / Median(raw);
        Row("probe (fcut.exe -cb -i vs ffmpeg -i)", Median(ours), Median(raw), "<= 1.3",
            ratio <= 1.3);
    }

    // Matroska early stop: the first 10 s of a 10-minute mkv against splitting the whole file.
    // Each run's own ratio counts: the goal holds for every run, not only for the median.
    if (want("mkv")) {
        std::vector<double> ours, raw, ratios, floor, floorRatios;
        for (int i = 0; i < runs; ++i) {
            // The floor: the splitter's own command for that part alone, nothing of ours.
            RemoveOutputs(out, "floorpart");
            floor.push_back(Run({"mkvmerge", "-q", "-o", out + "floorpart.mkv", "--split",
                                 "parts:0s-10s", longMkv})
                                .seconds);
            RemoveOutputs(out, "long600-720p");
            RunResult t = Run({trimora, "cut", longMkv, "--start", "00:00:00.000", "--end",
                               "00:00:10.000", "--save-folder", out}, true);
            if (t.exitCode != 0) std::cerr << "trimora mkv cut failed:\n" << t.output;
            ours.push_back(t.seconds);
            RemoveOutputs(out, "rawsplit");
            raw.push_back(Run({"mkvmerge", "-o", out + "rawsplit.mkv", longMkv, "--split",
                               "timecodes:00:00:00,00:00:10"})
                              .seconds);
            ratios.push_back(ours.back() / raw.back());
            floorRatios.push_back(floor.back() / raw.back());
        }
        const double worst = *std::max_element(ratios.begin(), ratios.end());
        Row("mkv: first 10 s of 10 min vs full split", Median(ours), Median(raw), "<= 0.2",
            Median(ours) / Median(raw) <= 0.2);
        Row("  worst run of those", worst, 1, "<= 0.2 each", worst <= 0.2);
        Row("  bare mkvmerge parts:0s-10s vs full split", Median(floor), Median(raw), "(info)",
            true);
        Row("  bare mkvmerge part, worst run", *std::max_element(floorRatios.begin(),
                                                                 floorRatios.end()),
            1, "(info)", true);
    }
    RemoveOutputs(out, "");

    // Folder listing: 10 000 and 100 000 files, half of them videos, against a bare read of the
    // same folder (names and types, as the kernel gives them).
    std::vector<std::pair<std::string, double>> listings;
    for (int count : {10000, 100000}) {
        if (!want("list")) break;
        const std::string dir = data + "list" + std::to_string(count) + "/";
        if (!fs::exists(dir + "done")) {
            fs::create_directories(dir);
            for (int i = 0; i < count; ++i) {
                static const char* exts[] = {".mp4", ".txt", ".avi", ".jpg"};
                std::ofstream(dir + "file" + std::to_string(i) + exts[i % 4]);
            }
            std::ofstream(dir + "done");
        }
        std::vector<double> core, whole, raw;
        size_t found = 0;
        for (int i = 0; i < runs * 2; ++i) {
            // What the user waits for before the names show: the names, kinds and icons in
            // name order. The sizes follow off the window's thread; the second figure is both.
            auto t0 = Clock::now();
            std::vector<trimora::FileListRow> rows = trimora::ListFolderNames(dir, "\\.(mp4|avi)$");
            core.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
            trimora::FillFileSizes(dir, rows);
            whole.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
            found = rows.size();
            t0 = Clock::now();
            size_t n = 0;
            for (const auto& e : fs::directory_iterator(dir)) n += e.is_regular_file();
            raw.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
            (void)n;
        }
        listings.emplace_back(dir, Median(raw));
        Row("list " + std::to_string(count) + " files (" + std::to_string(found) +
                " videos), names shown",
            Median(core), Median(raw), "< 2x", Median(core) < 2 * Median(raw));
        Row("  same with sizes, vs bare read", Median(whole), Median(raw), "(info)", true);
        // The floor of a list that shows sizes: the same read plus one stat per listed video.
        std::vector<double> floor;
        for (int i = 0; i < runs * 2; ++i) {
            const auto t0 = Clock::now();
            for (const auto& e : fs::directory_iterator(dir)) {
                const std::string ext = e.path().extension().string();
                if (ext == ".mp4" || ext == ".avi") (void)fs::file_size(e.path());
            }
            floor.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
        }
        Row("  same with sizes, vs read + stat of each video", Median(whole), Median(floor),
            "(info)", true);
    }
#ifdef TRIMORA_BENCH_GUI
    if (want("window")) {
        // Two clips whose pictures tell where they are (A: magenta, then green from 30 s;
        // B: blue), keyframes every 5 s, and the big mp4, in one folder.
        const std::string clips = data + "clips/";
        fs::create_directories(clips);
        MakeSample(clips + "clipA.mp4",
                   {"-f", "lavfi", "-i",
                    "color=c=magenta:s=480x270:r=25:d=30[a];color=c=lime:s=480x270:r=25:d=30[b];"
                    "[a][b]concat=n=2:v=1:a=0",
                    "-f", "lavfi", "-i", "sine=d=60", "-c:v", "libx264", "-preset", "ultrafast",
                    "-g", "125", "-pix_fmt", "yuv420p", "-c:a", "aac", "-shortest"});
        MakeSample(clips + "clipB.mp4",
                   {"-f", "lavfi", "-i", "color=c=blue:s=480x270:r=25:d=60", "-f", "lavfi", "-i",
                    "sine=d=60", "-c:v", "libx264", "-preset", "ultrafast", "-g", "125",
                    "-pix_fmt", "yuv420p", "-c:a", "aac", "-shortest"});
        if (!fs::exists(clips + "big500.mp4")) fs::create_hard_link(big, clips + "big500.mp4");

        const pid_t xvfb = StartXvfb();
        ::setenv("QT_QPA_PLATFORM", xvfb > 0 ? "xcb" : "offscreen", 1);
        if (xvfb <= 0) ::unsetenv("DISPLAY");
        WindowBenchInputs in;
        in.Runs = runs;
        in.ClipFolder = clips;
        in.ClipA = "clipA.mp4";
        in.ClipB = "clipB.mp4";
        in.BigClip = "big500.mp4";
        in.OutFolder = out;
        in.Listings = listings;
        in.RemoveOutputs = [&] { RemoveOutputs(out, ""); };
        in.BareCopy = [&] {
            RemoveOutputs(out, "raw");
            return Run({"ffmpeg", "-nostdin", "-y", "-ss", "30", "-t", "20", "-i", big, "-c",
                        "copy", out + "raw.mp4"})
                .seconds;
        };
        for (const BenchFigure& f : RunWindowFigures(in)) Row(f.Name, f.Ours, f.Raw, f.Goal, f.Met);
        if (xvfb > 0) {
            ::kill(xvfb, SIGTERM);
            ::waitpid(xvfb, nullptr, 0);
        }
        RemoveOutputs(out, "");
    }
#endif

    // Start-up: process start to the window shown (offscreen), and the resident memory then.
    if (want("startup")) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::setenv("TRIMORA_EXIT_WHEN_SHOWN", "1", 1);
        std::vector<double> t;
        double rssMb = 0;
        for (int i = 0; i < runs; ++i) {
            RunResult r = Run({trimora}, true);
            t.push_back(r.seconds);
            const size_t at = r.output.find("shown rss");
            if (at != std::string::npos) rssMb = std::atof(r.output.c_str() + at + 9) / 1024.0;
            else std::cerr << "window start failed:\n" << r.output;
        }
        ::unsetenv("TRIMORA_EXIT_WHEN_SHOWN");
        Row("start-up to window shown (s)", Median(t), 0, "< 0.4 s", Median(t) < 0.4);
        Row("resident memory at window shown (MB)", rssMb, 0, "< 80 MB", rssMb < 80);
    }
    return 0;
}
