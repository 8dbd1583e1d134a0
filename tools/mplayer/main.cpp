// mplayer.exe: the preview player. Takes the preview's mplayer command line
// (-slave -identify -wid N ... FILE) and its slave commands on standard input, and drives mpv
// through mpv's IPC socket: mpv seeks to the exact frame whatever the keyframe spacing, scales
// the picture to the panel with its aspect kept (black bars) with or without the X video
// extension, and draws no on-screen display. The picture is always held still: a preview shows
// one frame, the one at the chosen time.
//
// Printed as mplayer prints it in slave mode, for the preview controller:
//   ID_* lines and "VO: [vo] WxH => WxH" once the clip is open,
//   "V:<seconds>" status lines with the time of the frame really shown, after every seek or step,
//   ANS_PERCENT_POSITION=, ANS_TIME_POSITION=, ANS_LENGTH= answers.
// Slave commands understood: seek V [0 relative|1 percent|2 absolute], frame_step,
// frame_back_step, get_percent_pos, get_time_pos, get_time_length, pause (the picture stays
// held), quit. A "pausing..." prefix is accepted; anything else is ignored.
//
// mpv stays a child of this program, in its process group, and dies with it.
#include "common/frontend.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fe = trimora::frontend;

namespace {

volatile sig_atomic_t gStop = 0;
void OnSignal(int) {
    gStop = 1;
}

std::string Fixed(double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

std::string JsonQuote(const std::string& s) {
    std::string out = "\"";
    for (const char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        if (static_cast<unsigned char>(c) < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
            continue;
        }
        out += c;
    }
    return out + "\"";
}

// The raw JSON value after "key": in one IPC message line (a number, a quoted string without its
// quotes, true/false/null); empty when the key is missing.
std::string JsonField(const std::string& line, const std::string& key) {
    const std::string k = "\"" + key + "\":";
    const size_t at = line.find(k);
    if (at == std::string::npos) return {};
    size_t i = at + k.size();
    if (i < line.size() && line[i] == '"') {
        std::string value;
        for (++i; i < line.size() && line[i] != '"'; ++i) {
            if (line[i] == '\\' && i + 1 < line.size()) ++i;
            value += line[i];
        }
        return value;
    }
    const size_t end = line.find_first_of(",}", i);
    return line.substr(i, end == std::string::npos ? std::string::npos : end - i);
}

class Player {
  public:
    bool Open(const std::string& file, const std::string& wid);
    int Run(); // the command loop; returns the exit status
    void Quit();

  private:
    bool Connect(const std::string& socketPath);
    bool Request(const std::string& command, std::string* data = nullptr, int ms = 5000);
    void Send(const std::string& command);
    bool ReadMessages(int ms); // handles what arrives within ms; false when mpv went away
    void HandleMessage(const std::string& line);
    void HandleCommand(const std::string& line);
    void SeekTo(double seconds);
    bool Identify(const std::string& file); // false when the clip never got on screen
    void ReportPosition();
    double Property(const std::string& name, double fallback);

    pid_t pid_ = -1;
    int ipc_ = -1;
    std::string folder_, inBuf_, ipcBuf_;
    int nextId_ = 100;
    int awaitedId_ = -1;
    bool awaitedOk_ = false;
    std::string awaitedData_;
    double length_ = 0, fps_ = 25, position_ = 0;
    bool positionDirty_ = false;
    bool restarted_ = false; // a seek has ended and its frame is on screen
};

bool Player::Open(const std::string& file, const std::string& wid) {
    const std::string mpv = fe::FindProgram("mpv");
    if (mpv.empty()) {
        fe::PrintErr("mplayer.exe: mpv is not installed (apt-get install mpv)\n");
        return false;
    }
    const char* base = std::getenv("XDG_RUNTIME_DIR");
    std::string tmpl = std::string(base && *base == '/' ? base : "/tmp") + "/trimora-view-XXXXXX";
    if (!::mkdtemp(tmpl.data())) return false; // private (0700), so nobody else can connect
    folder_ = tmpl;
    const std::string socketPath = folder_ + "/ipc";
    std::vector<std::string> args = {mpv,
                                     "--no-config",
                                     "--really-quiet",
                                     "--idle=no",
                                     "--pause",
                                     "--keep-open=always",
                                     "--hr-seek=yes",
                                     "--osd-level=0",
                                     "--osc=no",
                                     "--no-audio",
                                     "--sid=no",
                                     "--keepaspect=yes",
                                     "--background=#000000",
                                     "--no-input-default-bindings",
                                     "--input-vo-keyboard=no",
                                     "--input-cursor=no",
                                     "--cursor-autohide=no",
                                     "--vo=xv,x11", // a still picture needs no GL; it would only slow the start
                                     "--hwdec=no",
                                     "--input-ipc-server=" + socketPath};
    if (!wid.empty()) args.push_back("--wid=" + wid);
    args.push_back("--");
    args.push_back(file);

    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ < 0) return false;
    if (pid_ == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    if (!Connect(socketPath)) return false;
    return Identify(file);
}

bool Player::Connect(const std::string& socketPath) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < until && !gStop) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return false;
        }
        ipc_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", socketPath.c_str());
        if (::connect(ipc_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
            // Connected: the name is not needed any more, and nothing is left behind however
            // this program ends.
            ::unlink(socketPath.c_str());
            ::rmdir(folder_.c_str());
            return true;
        }
        ::close(ipc_);
        ipc_ = -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

void Player::Send(const std::string& command) {
    const std::string line = "{\"command\":" + command + "}\n";
    (void)::send(ipc_, line.data(), line.size(), MSG_NOSIGNAL);
}

bool Player::Request(const std::string& command, std::string* data, int ms) {
    awaitedId_ = ++nextId_;
    awaitedOk_ = false;
    awaitedData_.clear();
    const std::string line = "{\"command\":" + command +
                             ",\"request_id\":" + std::to_string(awaitedId_) + "}\n";
    (void)::send(ipc_, line.data(), line.size(), MSG_NOSIGNAL);
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (awaitedId_ >= 0 && std::chrono::steady_clock::now() < until)
        if (!ReadMessages(50)) break;
    const bool answered = awaitedId_ < 0;
    awaitedId_ = -1;
    if (data) *data = awaitedData_;
    return answered && awaitedOk_;
}

double Player::Property(const std::string& name, double fallback) {
    std::string data;
    if (!Request("[\"get_property\"," + JsonQuote(name) + "]", &data)) return fallback;
    char* end = nullptr;
    const double v = std::strtod(data.c_str(), &end);
    return end != data.c_str() && std::isfinite(v) ? v : fallback;
}

bool Player::ReadMessages(int ms) {
    pollfd p{ipc_, POLLIN, 0};
    const int r = ::poll(&p, 1, ms);
    if (r < 0) return errno == EINTR;
    if (r == 0) return true;
    char buf[4096];
    const ssize_t n = ::read(ipc_, buf, sizeof buf);
    if (n <= 0) return n < 0 && errno == EINTR;
    ipcBuf_.append(buf, static_cast<size_t>(n));
    for (size_t nl; (nl = ipcBuf_.find('\n')) != std::string::npos;) {
        const std::string line = ipcBuf_.substr(0, nl);
        ipcBuf_.erase(0, nl + 1);
        HandleMessage(line);
    }
    return true;
}

void Player::HandleMessage(const std::string& line) {
    const std::string id = JsonField(line, "request_id");
    if (!id.empty() && std::atoi(id.c_str()) == awaitedId_) {
        awaitedOk_ = JsonField(line, "error") == "success";
        awaitedData_ = JsonField(line, "data");
        awaitedId_ = -1;
        return;
    }
    const std::string event = JsonField(line, "event");
    if (event == "property-change" && JsonField(line, "name") == "time-pos") {
        char* end = nullptr;
        const std::string data = JsonField(line, "data");
        const double v = std::strtod(data.c_str(), &end);
        if (end != data.c_str() && std::isfinite(v)) {
            position_ = v;
            positionDirty_ = true;
        }
    } else if (event == "playback-restart") {
        restarted_ = true;
    }
}

bool Player::Identify(const std::string& file) {
    // The first frame is on screen once playback has (re)started. A player that goes away
    // first (a window it cannot draw into, a clip it cannot open) shows nothing: no position
    // is reported then, so the time boxes never take a time that no picture shows.
    Send("[\"observe_property\",1,\"time-pos\"]");
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (!restarted_ && std::chrono::steady_clock::now() < until && !gStop)
        if (!ReadMessages(50)) return false;
    length_ = Property("duration", 0);
    const double w = Property("width", 0), h = Property("height", 0);
    fps_ = Property("container-fps", 25);
    if (fps_ <= 0) fps_ = 25;
    std::string format, codec, vo;
    Request("[\"get_property\",\"file-format\"]", &format);
    Request("[\"get_property\",\"video-codec\"]", &codec);
    Request("[\"get_property\",\"current-vo\"]", &vo);
    std::ostringstream out;
    out << "ID_FILENAME=" << file << "\n";
    if (!format.empty()) out << format << " file format detected.\n" << "ID_DEMUXER=" << format << "\n";
    out << "ID_VIDEO_FORMAT=" << codec << "\nID_VIDEO_WIDTH=" << static_cast<int>(w)
        << "\nID_VIDEO_HEIGHT=" << static_cast<int>(h) << "\nID_VIDEO_FPS=" << Fixed(fps_, 3)
        << "\nID_VIDEO_ASPECT=" << (h > 0 ? Fixed(w / h, 4) : std::string("0.0000"))
        << "\nID_LENGTH=" << Fixed(length_, 3) << "\nAudio: no sound\n";
    if (w > 0 && h > 0)
        out << "VO: [" << (vo.empty() ? "x11" : vo) << "] " << static_cast<int>(w) << "x"
            << static_cast<int>(h) << " => " << static_cast<int>(w) << "x" << static_cast<int>(h)
            << "\n";
    out << "Starting playback...\n";
    fe::PrintOut(out.str());
    position_ = Property("time-pos", 0);
    ReportPosition();
    return true;
}

void Player::ReportPosition() {
    positionDirty_ = false;
    restarted_ = false;
    // As wide as mplayer's own status field: the whole seconds end at the sixth character.
    char line[64];
    std::snprintf(line, sizeof line, "V:%8.3f        \n", position_);
    fe::PrintOut(line);
}

// Past the end means the last frame, which starts one frame before the end.
void Player::SeekTo(double seconds) {
    if (length_ > 0 && seconds > length_ - 1.0 / fps_) seconds = length_ - 1.0 / fps_;
    if (!(seconds > 0)) seconds = 0;
    restarted_ = false;
    Request("[\"seek\"," + Fixed(seconds, 3) + ",\"absolute+exact\"]");
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!restarted_ && std::chrono::steady_clock::now() < until && !gStop)
        if (!ReadMessages(20)) break;
    position_ = Property("time-pos", position_);
    ReportPosition();
}

void Player::HandleCommand(const std::string& raw) {
    std::istringstream in(raw);
    std::string cmd;
    in >> cmd;
    while (cmd.rfind("pausing", 0) == 0)
        in >> cmd;
    if (cmd == "seek") {
        double value = 0;
        int type = 0;
        if (!(in >> value)) return;
        in >> type;
        SeekTo(type == 1 ? length_ * value / 100.0 : type == 2 ? value : position_ + value);
    } else if (cmd == "frame_step" || cmd == "frame_back_step") {
        // The step is over when the shown frame's time has changed (not at either end).
        positionDirty_ = false;
        Request(cmd == "frame_step" ? "[\"frame-step\"]" : "[\"frame-back-step\"]");
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!positionDirty_ && std::chrono::steady_clock::now() < until && !gStop)
            if (!ReadMessages(20)) break;
        position_ = Property("time-pos", position_);
        ReportPosition();
    } else if (cmd == "get_percent_pos") {
        const int percent = length_ > 0 ? static_cast<int>(position_ * 100.0 / length_) : 0;
        fe::PrintOut("ANS_PERCENT_POSITION=" + std::to_string(percent) + "\n");
    } else if (cmd == "get_time_pos") {
        fe::PrintOut("ANS_TIME_POSITION=" + Fixed(position_, 3) + "\n");
    } else if (cmd == "get_time_length") {
        fe::PrintOut("ANS_LENGTH=" + Fixed(length_, 3) + "\n");
    } else if (cmd == "quit") {
        gStop = 1;
    }
}

int Player::Run() {
    for (;;) {
        if (gStop) return 0;
        pollfd p[2] = {{0, POLLIN, 0}, {ipc_, POLLIN, 0}};
        const int r = ::poll(p, 2, 200);
        if (r < 0 && errno != EINTR) return 1;
        int status = 0;
        if (pid_ > 0 && ::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (r <= 0) continue;
        if (p[1].revents & (POLLIN | POLLHUP)) {
            if (!ReadMessages(0)) return 1;
        }
        if (p[0].revents & (POLLIN | POLLHUP)) {
            char buf[1024];
            const ssize_t n = ::read(0, buf, sizeof buf);
            if (n == 0) return 0; // the program closed our input: it is gone
            if (n < 0) continue;
            inBuf_.append(buf, static_cast<size_t>(n));
            for (size_t nl; (nl = inBuf_.find('\n')) != std::string::npos;) {
                std::string line = inBuf_.substr(0, nl);
                inBuf_.erase(0, nl + 1);
                HandleCommand(line);
            }
        }
    }
}

void Player::Quit() {
    if (pid_ > 0) {
        if (ipc_ >= 0) Send("[\"quit\"]");
        for (int i = 0; i < 50; ++i) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }
    if (ipc_ >= 0) ::close(ipc_);
    ipc_ = -1;
    if (!folder_.empty()) {
        ::unlink((folder_ + "/ipc").c_str());
        ::rmdir(folder_.c_str());
    }
}

} // namespace

int main(int argc, char** argv) {
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &sa, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    const std::vector<std::string> args = fe::ArgsOf(argc, argv);
    std::string wid, file;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-wid" && i + 1 < args.size())
            wid = args[++i];
        else if ((args[i] == "-colorkey" || args[i] == "-loop" || args[i] == "-vo" ||
                  args[i] == "-ss") &&
                 i + 1 < args.size())
            ++i;
        else if (args[i].empty() || args[i][0] != '-')
            file = args[i];
    }
    if (file.empty()) {
        fe::PrintErr("mplayer.exe: no file to show\n");
        return 1;
    }
    Player player;
    int status = 1;
    if (player.Open(file, wid))
        status = player.Run();
    else
        fe::PrintOut("Exiting... (End of file)\n");
    player.Quit();
    return status;
}
