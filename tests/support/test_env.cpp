#include "test_env.h"

#include "common/command_line.h"
#include "common/helpers.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <cstdlib>
#include <memory>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace trimora_test {

std::string BinDir() { return TRIMORA_BIN_DIR; }

IsolatedHome::IsolatedHome() {
    std::string tmpl = (fs::temp_directory_path() / "trimora-test-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    root_ = tmpl + "/";
    const std::pair<const char*, std::string> vars[] = {
        {"HOME", tmpl}, {"XDG_CONFIG_HOME", root_ + "config"}, {"XDG_DATA_HOME", root_ + "data"},
        {"XDG_CACHE_HOME", root_ + "cache"}, {"TMPDIR", root_ + "tmp"}};
    for (const auto& [var, value] : vars) {
        const char* old = std::getenv(var);
        saved_.emplace_back(var, old ? old : std::string("\x01unset"));
        fs::create_directories(value);
        ::setenv(var, value.c_str(), 1);
    }
}

IsolatedHome::~IsolatedHome() {
    for (const auto& [var, value] : saved_) {
        if (value == "\x01unset") ::unsetenv(var.c_str());
        else ::setenv(var.c_str(), value.c_str(), 1);
    }
    std::error_code ec;
    fs::remove_all(root_, ec);
}

std::string IsolatedHome::InstallTools() const {
    const std::string sys = root_ + "data/trimora/";
    fs::create_directories(sys + "qvcut");
    std::error_code ec;
    for (const std::string tool :
         {"fcut.exe", "mcut.exe", "mplayer.exe", "qvcut/fmerge.exe", "qvcut/mmerge.exe"}) {
        const std::string built = BinDir() + fs::path(tool).filename().string();
        if (fs::exists(built)) fs::create_symlink(built, sys + tool, ec);
    }
    return sys;
}

namespace {
// Text cut at line ends ('\n' or '\r'), empty lines dropped.
std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t b = 0, e = 0; b < text.size(); b = e + 1) {
        e = std::min(text.find_first_of("\r\n", b), text.size());
        if (e > b) lines.push_back(text.substr(b, e - b));
    }
    return lines;
}

// Starts argv (searched in PATH) with stdout and stderr going to outFd and stdin from /dev/null.
pid_t Spawn(const std::vector<std::string>& argv, int outFd, bool ownGroup = false) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    if (ownGroup) ::setpgid(0, 0);
    ::dup2(outFd, 1);
    ::dup2(outFd, 2);
    const int devnull = ::open("/dev/null", O_RDONLY);
    if (devnull >= 0) ::dup2(devnull, 0);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    ::_exit(127);
}
} // namespace

std::string RunProgram(const std::vector<std::string>& argv, int* exitCode) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    const pid_t pid = Spawn(argv, fds[1]);
    ::close(fds[1]);
    std::string out;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (exitCode) *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

std::string SampleClip(const std::string& name, const std::string& args) {
    const std::string dir = TRIMORA_CLIP_CACHE;
    fs::create_directories(dir);
    const std::string path = dir + name;
    // Test processes run in parallel: one makes the clip, the others wait on the lock.
    const int lockFd = ::open((dir + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ::flock(lockFd, LOCK_EX);
    const std::shared_ptr<void> unlock(nullptr, [lockFd](void*) {
        ::flock(lockFd, LOCK_UN);
        ::close(lockFd);
    });
    if (!fs::exists(path)) {
        std::vector<std::string> argv = {"ffmpeg", "-nostdin", "-hide_banner", "-loglevel",
                                         "error", "-y"};
        for (const auto& a : trimora::SplitCommandLine(args)) argv.push_back(a);
        const std::string tmp = dir + ".tmp-" + name;
        argv.push_back(tmp);
        int code = 0;
        const std::string out = RunProgram(argv, &code);
        if (code != 0) throw std::runtime_error("making sample clip " + name + " failed: " + out);
        fs::rename(tmp, path);
    }
    return path;
}

std::string MediaClip(const std::string& ext, int seconds, const std::string& extra) {
    const std::string e = trimora::ToLower(ext), x264 = "-c:v libx264 -preset ultrafast -c:a aac ";
    const std::map<std::string, std::string> codecs = {
        {".mp4", x264 + "-f mp4"}, {".m4v", x264 + "-f mp4"}, {".mov", x264 + "-f mov"},
        {".3gp", x264 + "-f 3gp"}, {".mkv", x264 + "-f matroska"}, {".m2ts", x264 + "-f mpegts"},
        {".webm", "-c:v libvpx -deadline realtime -b:v 200k -c:a libvorbis -f webm"},
        {".flv", "-c:v flv1 -c:a libmp3lame -f flv"},
        {".avi", "-c:v mpeg4 -q:v 5 -c:a libmp3lame -f avi"},
        {".divx", "-c:v mpeg4 -q:v 5 -c:a libmp3lame -f avi"},
        {".mpg", "-c:v mpeg1video -q:v 5 -c:a mp2 -f mpeg"},
        {".mpeg", "-c:v mpeg2video -q:v 5 -c:a mp2 -f mpeg"},
        {".vob", "-c:v mpeg2video -q:v 5 -c:a ac3 -f vob"},
        {".wmv", "-c:v wmv2 -c:a wmav2 -f asf"}, {".asf", "-c:v wmv2 -c:a wmav2 -f asf"}};
    const std::string s = std::to_string(seconds);
    const size_t tag = std::hash<std::string>{}(extra);
    return SampleClip("clip-" + s + "s" + (extra.empty() ? "" : "-" + std::to_string(tag)) + ext,
                      "-f lavfi -i testsrc=size=160x120:rate=25:duration=" + s +
                          " -f lavfi -i sine=frequency=440:sample_rate=44100:duration=" + s +
                          " -pix_fmt yuv420p -ac 2 -g 12 -shortest " + codecs.at(e) + " " + extra);
}

std::string StemOf(const std::string& path) { return fs::path(path).stem().string(); }

namespace {
double ToDouble(const std::string& s) {
    try {
        return s.empty() || s == "N/A" ? -1 : std::stod(s);
    } catch (...) {
        return -1;
    }
}
} // namespace

double ProbeDuration(const std::string& path) { return ProbeMedia(path).duration; }

MediaFacts ProbeMedia(const std::string& path) {
    int code = 0;
    const std::string out = RunProgram({"ffprobe", "-v", "error", "-show_entries",
                                        "format=format_name,duration:stream=codec_type,codec_name,"
                                        "width,height,duration,start_time,avg_frame_rate",
                                        "-of", "flat", path},
                                       &code);
    MediaFacts f;
    f.readable = code == 0;
    std::map<std::string, std::string> kv;
    for (const auto& line : SplitLines(out)) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string v = line.substr(eq + 1);
        if (v.size() >= 2 && v.front() == '"') v = v.substr(1, v.size() - 2);
        kv[line.substr(0, eq)] = v;
    }
    f.format = kv["format.format_name"];
    f.duration = ToDouble(kv["format.duration"]);
    for (int i = 0; kv.count("streams.stream." + std::to_string(i) + ".codec_type"); ++i) {
        const std::string k = "streams.stream." + std::to_string(i) + ".";
        if (kv[k + "codec_type"] == "video" && f.vcodec.empty()) {
            f.vcodec = kv[k + "codec_name"];
            f.frameSize = kv[k + "width"] + "x" + kv[k + "height"];
            f.vduration = ToDouble(kv[k + "duration"]);
            f.vstart = ToDouble(kv[k + "start_time"]);
            const std::string rate = kv[k + "avg_frame_rate"];
            const size_t slash = rate.find('/');
            if (slash != std::string::npos && ToDouble(rate.substr(slash + 1)) > 0)
                f.fps = ToDouble(rate.substr(0, slash)) / ToDouble(rate.substr(slash + 1));
        } else if (kv[k + "codec_type"] == "audio" && f.acodec.empty()) {
            f.acodec = kv[k + "codec_name"];
            f.aduration = ToDouble(kv[k + "duration"]);
            f.astart = ToDouble(kv[k + "start_time"]);
        }
    }
    return f;
}

std::vector<std::pair<double, std::string>> FrameHashes(const std::string& path, bool packets) {
    std::vector<std::string> argv = {"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map",
                                     "0:v:0", "-f", "framemd5", "-"};
    // Every frame once, at its own time (not fitted to a constant rate).
    argv.insert(argv.end() - 3, {packets ? "-c" : "-fps_mode", packets ? "copy" : "passthrough"});
    double tb = 0;
    std::vector<std::pair<double, std::string>> frames;
    for (const auto& line : SplitLines(RunProgram(argv))) {
        if (line.rfind("#tb 0:", 0) == 0) {
            const size_t slash = line.find('/');
            tb = std::stod(line.substr(6, slash - 6)) / std::stod(line.substr(slash + 1));
        }
        std::vector<std::string> f; // stream, dts, pts, duration, size, hash[, side data]
        std::stringstream fields(line);
        for (std::string v; std::getline(fields, v, ',');) f.push_back(trimora::Trim(v));
        if (line[0] != '#' && f.size() >= 6) frames.push_back({std::stod(f[2]) * tb, f[5]});
    }
    const double first = frames.empty() ? 0 : frames.front().first;
    for (auto& fr : frames) fr.first -= first;
    return frames;
}

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec))
        if (e.path().filename() != "zStore") names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

std::string LastLineOf(const std::string& text) {
    const auto lines = SplitLines(text);
    return lines.empty() ? "" : lines.back();
}

std::string CliRun::Done() const {
    const std::string last = LastLine();
    return last.rfind("DONE ", 0) == 0 ? last.substr(5) : "";
}

CliRun RunTrimora(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {BinDir() + "trimora"};
    argv.insert(argv.end(), args.begin(), args.end());
    CliRun r;
    r.output = RunProgram(argv, &r.status);
    return r;
}

CliRun RunCommand(const std::string& command) {
    CliRun r;
    r.output = RunProgram(trimora::SplitCommandLine(command), &r.status);
    return r;
}

int Started::Wait(int ms) {
    int st = 0;
    if (ms < 0) ::waitpid(pid, &st, 0);
    else if (!PollUntil([&] { return ::waitpid(pid, &st, WNOHANG) != 0; }, ms)) return -2;
    status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return status;
}

Started StartInBackground(const std::vector<std::string>& argv, const std::string& log,
                          bool ownGroup) {
    Started s;
    s.log = log;
    const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    s.pid = Spawn(argv, fd, ownGroup);
    ::close(fd);
    return s;
}

std::map<pid_t, std::string> Descendants(pid_t root) {
    std::map<pid_t, std::string> found;
    std::error_code ec;
    for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(root) + "/task", ec)) {
        std::istringstream kids(ReadFileBytes(task.path().string() + "/children"));
        for (pid_t kid; kids >> kid;) {
            if (!Alive(kid)) continue;
            const std::string comm = ReadFileBytes("/proc/" + std::to_string(kid) + "/comm");
            found[kid] = comm.substr(0, comm.find('\n'));
            found.merge(Descendants(kid));
        }
    }
    return found;
}

bool Alive(pid_t pid) {
    const std::string stat = ReadFileBytes("/proc/" + std::to_string(pid) + "/stat");
    const size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

bool PollUntil(const std::function<bool()>& done, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

std::map<pid_t, std::string> WaitForTool(pid_t pid, const std::string& tool) {
    std::map<pid_t, std::string> found;
    const bool came = PollUntil([&] {
        found = Descendants(pid);
        for (const auto& [kid, comm] : found)
            if (tool.empty() ? comm == "ffmpeg" || comm == "mkvmerge" || comm == "mencoder"
                             : comm == tool)
                return true;
        return false;
    }, 10000);
    return came ? found : std::map<pid_t, std::string>{};
}

} // namespace trimora_test
