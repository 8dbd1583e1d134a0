#include "preview/preview_player.h"

#include "common/command_line.h"
#include "common/helpers.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace trimora {

namespace {

constexpr size_t kChunkSize = 1024;

bool StartsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

std::string Sub(const std::string& s, size_t pos, size_t len = std::string::npos) {
    return pos < s.size() ? s.substr(pos, len) : std::string();
}

// A whole number taking the whole text (an optional sign, then digits).
bool TryInt(const std::string& text, int64_t& value) {
    const char* b = text.data();
    const char* e = b + text.size();
    if (b != e && *b == '+') ++b;
    if (b == e) return false;
    auto res = std::from_chars(b, e, value);
    return res.ec == std::errc() && res.ptr == e;
}

// A decimal number with a point, taking the whole text; independent of the locale.
bool TryFloat(const std::string& text, double& value) {
    const char* b = text.data();
    const char* e = b + text.size();
    if (b != e && *b == '+') ++b;
    if (b == e) return false;
    auto res = std::from_chars(b, e, value, std::chars_format::general);
    return res.ec == std::errc() && res.ptr == e && std::isfinite(value);
}

std::string TrimControls(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ')
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ')
        --e;
    return s.substr(b, e - b);
}

// "ID_AID_<n>_LANG=" and "ID_SID_<n>_LANG=": a track number 0..255 within 20 characters.
bool IsTrackLangLine(const std::string& line, const char* prefix) {
    if (!StartsWith(line, prefix)) return false;
    const std::string rest = Sub(line, std::strlen(prefix));
    const size_t lang = rest.find("_LANG=");
    if (lang == std::string::npos || lang > 20) return false;
    int64_t n = 0;
    return TryInt(rest.substr(0, lang), n) && n >= 0 && n <= 255;
}

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

} // namespace

const char* PlayerStatusText(TPlayerStatus status) {
    switch (status) {
    case TPlayerStatus::Status_None:
        return "None";
    case TPlayerStatus::Status_Opening:
        return "Opening";
    case TPlayerStatus::Status_Playing:
        return "Playing";
    case TPlayerStatus::Status_Paused:
        return "Paused";
    case TPlayerStatus::Status_Stopped:
        return "Stopped";
    case TPlayerStatus::Status_Error:
        return "Error";
    }
    return "";
}

std::string PlayerClockText(int64_t seconds) {
    if (seconds < 0) seconds = 0;
    const int64_t m = seconds / 60 % 60, s = seconds % 60;
    return std::to_string(seconds / 3600) + ":" + (m < 10 ? "0" : "") + std::to_string(m) + ":" +
           (s < 10 ? "0" : "") + std::to_string(s);
}

std::string FindPlayerExe(const std::string& programFolder, const std::string& systemFolder) {
    const std::string candidates[] = {programFolder + "mplayer.exe", programFolder + "mper.exe",
                                      systemFolder + "mplayer.exe"};
    std::string exe = systemFolder + "mper.exe";
    for (const auto& c : candidates)
        if (FileExists(c)) {
            exe = c;
            break;
        }
    if (exe.find_first_of(" \"") != std::string::npos) return Quoted(exe);
    return exe;
}

// ---- process session ------------------------------------------------------------------------

struct PreviewPlayer::Session {
    pid_t pid = -1;
    int inFd = -1;  // our end of the player's standard input
    int outFd = -1; // read end of the player's standard output and error
    std::thread reader, waiter;
    std::mutex m;
    std::condition_variable cv;
    bool exited = false, readerDone = false, cancelled = false, chunkHandled = false;
    int waitStatus = 0;

    ~Session() {
        CloseFd(inFd);
        CloseFd(outFd);
    }
    template <typename Pred> bool WaitFor(Pred pred, int ms) {
        std::unique_lock<std::mutex> lock(m);
        return cv.wait_for(lock, std::chrono::milliseconds(ms), pred);
    }
};

PreviewPlayer::~PreviewPlayer() {
    if (!session_) return;
    alive_.reset(); // queued work for this player is dropped from here on
    ::kill(-session_->pid, SIGKILL);
    Finalize(true);
}

int PreviewPlayer::Pid() const {
    return session_ ? session_->pid : 0;
}

void PreviewPlayer::PostToGui(std::function<void()> work) {
    if (host.Post)
        host.Post(std::move(work));
    else
        work();
}

std::string PreviewPlayer::BuildCommandLine(uint64_t window) const {
    const std::string exe =
        PlayerExe.empty() ? FindPlayerExe(ProgramFolder(), SystemFolder()) : PlayerExe;
    // The file name is quoted so that the command split gives it back exactly, whatever
    // characters it holds.
    return exe + " -noquiet -slave -identify" + " -wid " + std::to_string(window) +
           " -colorkey 0x101010" + " -loop 0 -nokeepaspect -nosound" + " " + Quoted(MediaFile);
}

void PreviewPlayer::ResetForStart() {
    HasAudio = true;
    HasVideo = true;
    NativeWidth = 0;
    NativeHeight = 0;
    PercentPosition = 0;
    SecondPosition = -1;
    LengthText = "0:00:00";
    LengthSeconds = 0;
    StreamInfo = TStreamInfo{};
    StreamInfo.FileName = MediaFile;
    LastLine.clear();
    pending_.clear();
    lastWasCR_ = false;
}

void PreviewPlayer::Start(uint64_t window) {
    if (session_ || MediaFile.empty()) return;
    status_ = TPlayerStatus::Status_Opening;
    CanQuit = true;
    const std::string command = BuildCommandLine(window);
    ResetForStart();

    auto s = std::make_shared<Session>();
    const std::vector<std::string> args = SplitCommandLine(command);
    int out[2] = {-1, -1}, in[2] = {-1, -1};
    bool ok = !args.empty() && ::pipe2(out, O_CLOEXEC) == 0;
    // A socket for the player's input: writing to a player that has died must not raise
    // SIGPIPE in the window (send with MSG_NOSIGNAL), and must never block the GUI thread.
    if (ok && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, in) != 0) {
        CloseFd(out[0]);
        CloseFd(out[1]);
        ok = false;
    }
    if (ok) {
        posix_spawn_file_actions_t fa;
        posix_spawnattr_t attr;
        posix_spawn_file_actions_init(&fa);
        posix_spawnattr_init(&attr);
        posix_spawn_file_actions_adddup2(&fa, in[1], 0);
        posix_spawn_file_actions_adddup2(&fa, out[1], 1);
        posix_spawn_file_actions_adddup2(&fa, out[1], 2);
        if (!WorkingFolder.empty())
            posix_spawn_file_actions_addchdir_np(&fa, WorkingFolder.c_str());
        sigset_t none, all;
        sigemptyset(&none);
        sigfillset(&all);
        posix_spawnattr_setsigmask(&attr, &none);
        posix_spawnattr_setsigdefault(&attr, &all);
        posix_spawnattr_setpgroup(&attr, 0);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                            POSIX_SPAWN_SETSIGDEF);
        std::vector<char*> argv;
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        pid_t pid = -1;
        ok = ::posix_spawnp(&pid, argv[0], &fa, &attr, argv.data(), environ) == 0;
        posix_spawn_file_actions_destroy(&fa);
        posix_spawnattr_destroy(&attr);
        // The player's ends are closed here whether or not it started.
        CloseFd(out[1]);
        CloseFd(in[1]);
        s->outFd = out[0];
        s->inFd = in[0];
        s->pid = pid;
        if (ok) ::fcntl(s->inFd, F_SETFL, ::fcntl(s->inFd, F_GETFL) | O_NONBLOCK);
    }
    if (!ok) {
        // Nothing is shown; the preview stays empty.
        status_ = TPlayerStatus::Status_Error;
        PollingActive = false;
        return;
    }
    session_ = s;
    std::weak_ptr<int> alive = alive_;
    s->reader = std::thread(ReaderMain, this, s, alive);
    s->waiter = std::thread(WaiterMain, this, s, alive);
    PollingActive = true;
}

// TProcessor: reads the player's output and hands each chunk to the GUI thread, waiting until
// it has been handled there, so lines are parsed in order and the reader is one chunk ahead.
void PreviewPlayer::ReaderMain(PreviewPlayer* self, std::shared_ptr<Session> s,
                               std::weak_ptr<int> alive) {
    char buf[kChunkSize];
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(s->m);
            if (s->cancelled) break;
        }
        pollfd p{s->outFd, POLLIN, 0};
        const int r = ::poll(&p, 1, 100); // wakes up to notice a cancel
        if (r < 0 && errno != EINTR) break;
        if (r <= 0) continue;
        const ssize_t n = ::read(s->outFd, buf, sizeof buf);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) break;
        std::string chunk(buf, ::strnlen(buf, static_cast<size_t>(n)));
        {
            std::lock_guard<std::mutex> lock(s->m);
            s->chunkHandled = false;
        }
        if (!self->host.Post) {
            self->HandleOutputChunk(chunk);
            continue;
        }
        self->host.Post([self, s, alive, chunk] {
            if (!alive.expired() && self->session_ == s) self->HandleOutputChunk(chunk);
            std::lock_guard<std::mutex> lock(s->m);
            s->chunkHandled = true;
            s->cv.notify_all();
        });
        std::unique_lock<std::mutex> lock(s->m);
        s->cv.wait(lock, [&] { return s->chunkHandled || s->cancelled; });
    }
    std::lock_guard<std::mutex> lock(s->m);
    s->readerDone = true;
    s->cv.notify_all();
}

// TClientWaitThread: waits for the player to end, lets the reader deliver what was left in the
// pipe, then has the end handled on the GUI thread.
void PreviewPlayer::WaiterMain(PreviewPlayer* self, std::shared_ptr<Session> s,
                               std::weak_ptr<int> alive) {
    int status = 0;
    while (::waitpid(s->pid, &status, 0) < 0 && errno == EINTR) {
    }
    {
        std::lock_guard<std::mutex> lock(s->m);
        s->exited = true;
        s->waitStatus = status;
        s->cv.notify_all();
    }
    // A child of the player that keeps the pipe open must not keep the end from being seen.
    if (!s->WaitFor([&] { return s->readerDone || s->cancelled; }, 2000)) {
        std::lock_guard<std::mutex> lock(s->m);
        s->cancelled = true;
        s->cv.notify_all();
    }
    if (s->reader.joinable()) s->reader.join();
    self->PostToGui([self, s, alive] {
        if (!alive.expired() && self->session_ == s) self->ProcessEnded(s);
    });
}

void PreviewPlayer::ProcessEnded(const std::shared_ptr<Session>& session) {
    if (session_ != session) return;
    Finalize(false);
}

void PreviewPlayer::Finalize(bool forced) {
    std::shared_ptr<Session> s = std::move(session_);
    if (!s) return;
    {
        std::lock_guard<std::mutex> lock(s->m);
        s->cancelled = true;
        s->cv.notify_all();
    }
    if (s->waiter.joinable()) {
        if (s->waiter.get_id() == std::this_thread::get_id())
            s->waiter.detach();
        else
            s->waiter.join();
    }
    if (s->reader.joinable() && s->reader.get_id() != std::this_thread::get_id()) s->reader.join();
    FlushOutput();
    int ws = 0;
    {
        std::lock_guard<std::mutex> lock(s->m);
        ws = s->waitStatus;
    }
    if (forced)
        ExitCode = 0xFFFFFFFFu;
    else if (WIFEXITED(ws))
        ExitCode = static_cast<uint32_t>(WEXITSTATUS(ws));
    else
        ExitCode = 128u + static_cast<uint32_t>(WIFSIGNALED(ws) ? WTERMSIG(ws) : 0);
    status_ = (status_ == TPlayerStatus::Status_Opening || ExitCode != 0)
                  ? TPlayerStatus::Status_Error
                  : TPlayerStatus::Status_Stopped;
    PollingActive = false;
}

void PreviewPlayer::Stop() {
    if (!session_) return;
    if (CanQuit) {
        SendCommand("quit");
        CanQuit = false;
        auto s = session_;
        if (s->WaitFor([&] { return s->exited; }, 1000)) {
            Finalize(false);
            return;
        }
    }
    ForceStop();
}

void PreviewPlayer::ForceStop() {
    if (!session_) return;
    auto s = session_;
    ::kill(-s->pid, SIGTERM);
    if (!s->WaitFor([&] { return s->exited; }, 300)) {
        ::kill(-s->pid, SIGKILL);
        s->WaitFor([&] { return s->exited; }, 2000);
    }
    Finalize(true);
}

void PreviewPlayer::SendCommand(const std::string& text) {
    if (!session_ || session_->inFd < 0) return;
    const std::string line = text + "\n";
    // Non-blocking: a player that stopped reading loses the command instead of freezing us.
    (void)::send(session_->inFd, line.data(), line.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

void PreviewPlayer::Pause() {
    if (!session_) return;
    PollingActive = false;
    SendCommand("pause");
    status_ = TPlayerStatus::Status_Paused;
}

void PreviewPlayer::MarkPlaying() {
    if (!session_) return;
    PollingActive = true;
    status_ = TPlayerStatus::Status_Playing;
}

void PreviewPlayer::RequestPercentPosition() {
    SendCommand("get_percent_pos");
    MarkPlaying();
}

// ---- output ----------------------------------------------------------------------------------

void PreviewPlayer::HandleOutputChunk(const std::string& chunk) {
    for (const char c : chunk) {
        if (c == '\n' && lastWasCR_) { // the LF of a CRLF, possibly in the next chunk
            lastWasCR_ = false;
            continue;
        }
        lastWasCR_ = false;
        if (c == '\r' || c == '\n') {
            std::string line;
            line.swap(pending_);
            lastWasCR_ = c == '\r';
            HandleOutputLine(line);
        } else {
            pending_ += c;
        }
    }
}

void PreviewPlayer::FlushOutput() {
    lastWasCR_ = false;
    if (pending_.empty()) return;
    std::string line;
    line.swap(pending_);
    HandleOutputLine(line);
}

void PreviewPlayer::HandleOutputLine(const std::string& raw) {
    // Status lines ("V:   12.3 ..."): the whole second is kept here, the full time is read from
    // LastStatusLine by the window.
    if (raw.size() > 7) {
        const bool moved = raw != LastStatusLine;
        LastStatusLine = raw;
        if ((raw[0] == 'A' || raw[0] == 'V') && raw[1] == ':') {
            int32_t value = 0;
            for (size_t i = 2; i < 6; ++i) {
                const char c = raw[i];
                if (c == '-') {
                    value = -1;
                    break;
                }
                if (c >= '0' && c <= '9') value = value * 10 + (c - '0');
            }
            // Any new position counts, not only a new whole second: the boxes show the
            // time of the frame on screen.
            if (value != SecondPosition || moved) {
                SecondPosition = value;
                if (host.PositionChanged) host.PositionChanged();
            }
            return;
        }
    }

    const std::string line = TrimControls(raw);
    if (line.size() >= 18 && line[10] == ':' && line[17] == '%' && StartsWith(line, "Cache fill"))
        return;
    if (StartsWith(line, "ANS_PERCENT_POSITION=")) {
        int64_t n = 0;
        if (TryInt(Sub(line, 21, 4), n) && n >= 0 && n <= 100)
            PercentPosition = static_cast<int32_t>(n);
        return;
    }
    if (!line.empty() && line == LastLine) return;
    LastLine = line;

    [&] {
        if (StartsWith(line, "VO: [")) {
            const size_t arrow = line.find(" => ");
            if (arrow != std::string::npos) {
                std::string size = line.substr(arrow + 4);
                size = size.substr(0, size.find(' '));
                const size_t x = size.find('x');
                int64_t w = 0, h = 0;
                if (x != std::string::npos && TryInt(size.substr(0, x), w) &&
                    TryInt(size.substr(x + 1, 5), h) && w >= 16 && w < 4096 && h >= 16 &&
                    h < 4096) {
                    NativeWidth = static_cast<int32_t>(w);
                    NativeHeight = static_cast<int32_t>(h);
                    status_ = TPlayerStatus::Status_Playing;
                    return;
                }
            }
        }
        if (line == "Audio: no sound") {
            HasAudio = false;
            return;
        }
        if (line == "Video: no video") {
            HasVideo = false;
            return;
        }
        if (line == "Starting playback...") {
            if (!HasVideo) status_ = TPlayerStatus::Status_Playing;
            return;
        }
        int64_t n = 0;
        if ((StartsWith(line, "ID_AUDIO_ID=") && TryInt(Sub(line, 12, 9), n) && n >= 0 &&
             n <= 8190) ||
            IsTrackLangLine(line, "ID_AID_") ||
            (StartsWith(line, "ID_SUBTITLE_ID=") && TryInt(Sub(line, 15), n) && n >= 0 &&
             n <= 255) ||
            IsTrackLangLine(line, "ID_SID_"))
            return; // track lists are not used
        if (StartsWith(line, "ID_LENGTH=")) {
            double x = 0;
            if (TryFloat(Sub(line, 10, 10), x)) {
                LengthText = PlayerClockText(static_cast<int64_t>(std::nearbyint(x)));
                LengthSeconds = x;
            }
            return;
        }
        static const std::string kDetected = " file format detected.";
        if (line.size() > 22 &&
            line.compare(line.size() - kDetected.size(), kDetected.size(), kDetected) == 0) {
            StreamInfo.FileFormat = line.substr(0, line.size() - kDetected.size());
            return;
        }
        if (StartsWith(line, "Opening ") && Sub(line, 12, 12) == "o decoder: [") {
            const size_t close = line.find("] ");
            const std::string kind = Sub(line, 8, 4);
            if (close != std::string::npos && close + 1 > 24 &&
                (kind == "vide" || kind == "audi")) {
                (kind == "vide" ? StreamInfo.VideoDecoder : StreamInfo.AudioDecoder) =
                    line.substr(close + 2);
                return;
            }
        }
        if (StartsWith(line, "Selected ") && Sub(line, 13, 10) == "o codec: [") {
            const size_t open = line.find(" (");
            const std::string kind = Sub(line, 9, 4);
            if (open != std::string::npos && open + 1 > 23 && (kind == "vide" || kind == "audi")) {
                std::string codec = line.substr(open + 2);
                if (!codec.empty()) codec.pop_back(); // the closing parenthesis
                (kind == "vide" ? StreamInfo.VideoCodec : StreamInfo.AudioCodec) = codec;
                return;
            }
        }
        if (StartsWith(line, "ICY Info: ")) {
            static const std::string kTitle = "StreamTitle='";
            const size_t t = line.find(kTitle, 9);
            const size_t end =
                t == std::string::npos ? std::string::npos : line.find("';", t + kTitle.size());
            if (end != std::string::npos) {
                const std::string title = line.substr(t + kTitle.size(), end - t - kTitle.size());
                if (!title.empty()) {
                    size_t slot = 9;
                    for (size_t i = 0; i < 9; ++i) {
                        const std::string& name = StreamInfo.ClipInfo[i].Name;
                        if (name.empty() || name == "Title") {
                            slot = i;
                            break;
                        }
                    }
                    StreamInfo.ClipInfo[slot] = {"Title", title};
                }
            }
        }
    }();

    if (StartsWith(line, "ID_")) {
        const size_t eq = line.find('=');
        const std::string key =
            line.substr(3, eq == std::string::npos ? std::string::npos : eq - 3);
        const std::string value =
            eq == std::string::npos ? std::string() : Trim(line.substr(eq + 1));
        HandleIdPair(key, value);
    }
}

void PreviewPlayer::HandleIdPair(const std::string& key, const std::string& value) {
    int64_t n = 0;
    double x = 0;
    if (TryInt(value, n)) {
        x = static_cast<double>(n);
    } else if (TryFloat(value, x)) {
        n = static_cast<int64_t>(std::trunc(x));
    } else {
        n = 0;
        x = 0;
    }
    const auto n32 = static_cast<int32_t>(n);
    auto setIfEmpty = [&](std::string& field) {
        if (field.empty()) field = value;
    };
    auto& si = StreamInfo;
    if (key == "FILENAME")
        si.FileName = value;
    else if (key == "VIDEO_BITRATE")
        si.VideoBitrate = n32;
    else if (key == "VIDEO_WIDTH")
        si.VideoWidth = n32;
    else if (key == "VIDEO_HEIGHT")
        si.VideoHeight = n32;
    else if (key == "VIDEO_FPS")
        si.VideoFps = x;
    else if (key == "VIDEO_ASPECT")
        si.VideoAspect = x;
    else if (key == "AUDIO_BITRATE")
        si.AudioBitrate = n32;
    else if (key == "AUDIO_RATE")
        si.AudioRate = n32;
    else if (key == "AUDIO_NCH")
        si.AudioChannels = n32;
    else if (key == "DEMUXER")
        setIfEmpty(si.FileFormat);
    else if (key == "VIDEO_FORMAT")
        setIfEmpty(si.VideoDecoder);
    else if (key == "VIDEO_CODEC")
        setIfEmpty(si.VideoCodec);
    else if (key == "AUDIO_FORMAT")
        setIfEmpty(si.AudioDecoder);
    else if (key == "AUDIO_CODEC")
        setIfEmpty(si.AudioCodec);
    else if (key == "LENGTH") {
        if (x > 0.001) {
            // Milliseconds are rounded, with a carry into the seconds, so 4.9996 never reads
            // as "0:00:041.000".
            int64_t whole = n;
            int64_t ms = std::llround((x - static_cast<double>(n)) * 1000.0);
            if (x - static_cast<double>(n) <= 0.0009) ms = 0;
            if (ms >= 1000) {
                ++whole;
                ms = 0;
            }
            std::string text = PlayerClockText(whole);
            if (ms > 0) {
                std::string digits = std::to_string(ms);
                text += "." + std::string(3 - digits.size(), '0') + digits;
            }
            si.PlaybackTime = text;
        }
    } else if (key.size() == 15 && StartsWith(key, "CLIP_INFO_NAME") &&
               std::isdigit(static_cast<unsigned char>(key[14]))) {
        si.ClipInfo[key[14] - '0'].Name = value;
    } else if (key.size() == 16 && StartsWith(key, "CLIP_INFO_VALUE") &&
               std::isdigit(static_cast<unsigned char>(key[15]))) {
        si.ClipInfo[key[15] - '0'].Value = value;
    }
}

} // namespace trimora
