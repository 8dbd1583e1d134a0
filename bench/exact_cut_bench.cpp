// `exact_cut_bench [FOLDER]`: an exact cut of 60 s from a 10-minute 720p H.264 clip (keyframes
// every 10 s) against a full re-encode of the same range at the same quality and against a plain
// stream copy, all in one run, through the same encoder front-end the program uses. The exact cut
// must take at most a quarter of the full re-encode. The clip is made once in FOLDER (default
// /tmp/trimora-bench) and kept for later runs.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Wall-clock seconds of argv (no shell; output discarded); negative when it fails.
double Timed(const std::vector<std::string>& argv) {
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "r", stdin);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? s : -1;
}

} // namespace

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? argv[1] : "/tmp/trimora-bench";
    const std::string fcut = (fs::path(argv[0]).parent_path() / "fcut.exe").string();
    fs::create_directories(folder);
    const std::string src = folder + "/exact-720p-10min.mp4";
    if (!fs::exists(src)) {
        std::fprintf(stderr, "making %s ...\n", src.c_str());
        if (Timed({"ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                   "testsrc2=size=1280x720:rate=25:duration=600", "-f", "lavfi", "-i",
                   "sine=frequency=440:sample_rate=48000:duration=600", "-c:v", "libx264",
                   "-preset", "veryfast", "-g", "250", "-keyint_min", "250", "-sc_threshold", "0",
                   "-pix_fmt", "yuv420p", "-c:a", "aac", "-shortest", src + ".part.mp4"}) < 0)
            return 1;
        fs::rename(src + ".part.mp4", src);
    }
    const std::string start = "00:04:03.48", end = "00:05:03.48";
    auto out = [&](const char* name) {
        const std::string path = folder + "/" + name;
        fs::remove(path);
        return path;
    };
    // The copy is the program's own cut command line; the full re-encode uses the exact cut's
    // encoder settings for its pieces (x264 preset medium, crf 16, the source's profile and level).
    const double copy = Timed({fcut, "-cb", "-ss", start, "-t", "60", "-async", "1", "-i", src,
                               "-acodec", "copy", "-vcodec", "copy", "-sn", "-y",
                               out("copy.mp4")});
    const double exact = Timed({fcut, "-cb", "-exact", "-ss", start, "-to", end, "-i", src, "-sn",
                                "-y", out("exact.mp4")});
    const double full = Timed({"ffmpeg", "-nostdin", "-v", "error", "-ss", start, "-i", src,
                               "-t", "60", "-c:v", "libx264", "-preset", "medium", "-crf", "16",
                               "-profile:v", "high", "-level:v", "3.1", "-x264-params",
                               "repeat-headers=1:log=-1", "-pix_fmt", "yuv420p", "-c:a", "copy",
                               "-sn", "-y", out("full.mp4")});
    if (copy < 0 || exact < 0 || full < 0) {
        std::fprintf(stderr, "a run failed (copy %.2f, exact %.2f, full %.2f)\n", copy, exact,
                     full);
        return 1;
    }
    const double ratio = exact / full;
    // The machine may be shared: the load average says how far to trust the figures.
    std::string load;
    if (FILE* f = std::fopen("/proc/loadavg", "r")) {
        char buf[64] = {};
        if (std::fgets(buf, sizeof buf, f)) load = buf;
        std::fclose(f);
    }
    std::printf("exact cut of 60 s from 10 min 720p H.264 (keyframes every 10 s)\n"
                "  stream copy      %8.2f s\n  exact cut        %8.2f s\n"
                "  full re-encode   %8.2f s\n  exact / full     %8.3f   (target <= 0.25: %s)\n"
                "  load average     %s",
                copy, exact, full, ratio, ratio <= 0.25 ? "met" : "MISSED", load.c_str());
    return ratio <= 0.25 ? 0 : 2;
}
