#include "mcut_media.h"

#include "frontend.h"

#include "json_value.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace trimora::mtools {

namespace {

using frontend::JsonValue;

// A whole text as a number (blanks around it allowed), else nothing.
std::optional<double> NumberOf(const std::string& text) {
    size_t from = 0, to = text.size();
    while (from < to && std::isspace(static_cast<unsigned char>(text[from]))) ++from;
    while (to > from && std::isspace(static_cast<unsigned char>(text[to - 1]))) --to;
    if (from == to) return std::nullopt;
    const std::string t = text.substr(from, to - from);
    char* end = nullptr;
    const double d = std::strtod(t.c_str(), &end);
    if (end != t.c_str() + t.size() || !std::isfinite(d) || t.find_first_of("xX") != std::string::npos)
        return std::nullopt;
    return d;
}

double ToDouble(const JsonValue& v, double fallback = -1) {
    if (v.IsNumber()) return v.Number();
    return NumberOf(v.Text()).value_or(fallback);
}

// "30000/1001" -> 29.97; 0 for anything unreadable.
double RateOf(const std::string& text) {
    const size_t slash = text.find('/');
    if (slash == std::string::npos || text.find('/', slash + 1) != std::string::npos)
        return NumberOf(text).value_or(0);
    const double den = NumberOf(text.substr(slash + 1)).value_or(0);
    return den > 0 ? NumberOf(text.substr(0, slash)).value_or(0) / den : 0;
}

std::string LowerExt(const std::string& path) { return frontend::LowerExtension(path); }

} // namespace

MediaInfo ParseProbeJson(const std::string& json) {
    MediaInfo info;
    const JsonValue root = JsonValue::Parse(json);
    if (!root.IsObject()) {
        info.error = "unreadable probe output";
        return info;
    }
    const JsonValue& format = root["format"];
    info.formatName = format["format_name"].Text();
    info.duration = ToDouble(format["duration"]);
    info.startTime = ToDouble(format["start_time"], 0);
    for (const JsonValue& s : root["streams"].Items()) {
        const std::string& type = s["codec_type"].Text();
        // Cover art is a video stream of one picture; it is no picture track to join or cut.
        if (s["disposition"]["attached_pic"].Int() == 1) continue;
        StreamInfo* target = nullptr;
        if (type == "video" && !info.video.present) target = &info.video;
        if (type == "audio" && !info.audio.present) target = &info.audio;
        if (!target) continue;
        target->present = true;
        target->codec = s["codec_name"].Text();
        target->width = s["width"].Int();
        target->height = s["height"].Int();
        target->fps = RateOf(s["avg_frame_rate"].Text());
        if (target->fps <= 0) target->fps = RateOf(s["r_frame_rate"].Text());
        target->sampleRate = static_cast<int>(ToDouble(s["sample_rate"], 0));
        target->channels = s["channels"].Int();
        target->duration = ToDouble(s["duration"]);
        // A sound track that holds no sample at all (a few milliseconds of mp3 give none)
        // cannot be decoded; it counts as no sound.
        if (type == "audio" && target->duration >= 0 && target->duration < 0.001)
            *target = StreamInfo{};
    }
    info.ok = info.video.present || info.audio.present;
    if (!info.ok) info.error = "no audio or video stream";
    return info;
}

MediaInfo ProbeMedia(const std::string& path) {
    std::string json, error;
    if (!frontend::ProbeJson(path, &json, &error)) {
        MediaInfo info;
        info.error = error.empty() ? "cannot read the file" : error;
        while (!info.error.empty() && (info.error.back() == '\n' || info.error.back() == '\r'))
            info.error.pop_back();
        return info;
    }
    return ParseProbeJson(json);
}

MediaInfo ProbeMediaWithKeyframesNear(const std::string& path, double t, double before,
                                      std::vector<double>* keyframes) {
    char interval[64];
    std::snprintf(interval, sizeof interval, "%.3f%%%.3f", std::max(0.0, t - before), t + 1);
    std::string json, error;
    if (!frontend::ProbeJson(path, &json, &error,
                             {"-read_intervals", interval, "-show_entries",
                              "packet=stream_index,pts_time,dts_time,flags"})) {
        MediaInfo info;
        info.error = error.empty() ? "cannot read the file" : error;
        return info;
    }
    const MediaInfo info = ParseProbeJson(json);
    const JsonValue root = JsonValue::Parse(json);
    int video = -1;
    for (const JsonValue& s : root["streams"].Items())
        if (s["codec_type"].Text() == "video" && s["disposition"]["attached_pic"].Int() != 1) {
            video = s["index"].Int(-1);
            break;
        }
    for (const JsonValue& p : root["packets"].Items()) {
        if (video < 0 || p["stream_index"].Int(-1) != video ||
            p["flags"].Text().find('K') == std::string::npos)
            continue;
        const double at = ToDouble(p["pts_time"], ToDouble(p["dts_time"], -1));
        if (at >= 0) keyframes->push_back(at);
    }
    return info;
}

double PlayLength(const MediaInfo& info) {
    if (info.video.present && info.video.duration > 0) return info.video.duration;
    if (info.duration > 0) return info.duration;
    if (info.audio.duration > 0) return info.audio.duration;
    return 0;
}

void ProgressReader::Feed(const std::string& chunk) {
    pending_ += chunk;
    size_t nl;
    while ((nl = pending_.find('\n')) != std::string::npos) {
        std::string line = pending_.substr(0, nl);
        pending_.erase(0, nl + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "frame") {
            int64_t f = 0;
            std::from_chars(value.data(), value.data() + value.size(), f);
            frames_ = f;
        } else if (key == "out_time_us") {
            int64_t us = 0;
            const auto r = std::from_chars(value.data(), value.data() + value.size(), us);
            if (r.ec == std::errc() && us >= 0) seconds_ = static_cast<double>(us) / 1e6;
        } else if (key == "progress") {
            if (onTime) onTime(seconds_, frames_);
        }
    }
}

ScratchFolder::ScratchFolder() {
    const char* env = std::getenv("TMPDIR");
    std::string base = env && *env ? env : "/tmp";
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    std::string tmpl = base + "/trimora-mtools-XXXXXX";
    if (::mkdtemp(tmpl.data())) path_ = tmpl + "/";
}

ScratchFolder::~ScratchFolder() {
    if (path_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string WriteConcatList(const ScratchFolder& scratch, const std::vector<std::string>& files,
                            const std::vector<double>& durations) {
    if (!scratch.Ok()) return "";
    std::string list = "ffconcat version 1.0\n";
    for (size_t i = 0; i < files.size(); ++i) {
        std::error_code ec;
        const std::string target = std::filesystem::absolute(files[i], ec).string();
        if (ec) return "";
        // The extension helps the demuxer guess; only plain letters and digits are kept.
        std::string ext = LowerExt(files[i]);
        for (size_t k = 1; k < ext.size(); ++k)
            if (!std::isalnum(static_cast<unsigned char>(ext[k]))) ext.clear();
        char number[32];
        std::snprintf(number, sizeof number, "in%04zu", i);
        const std::string name = number + ext;
        if (::symlink(target.c_str(), (scratch.Path() + name).c_str()) != 0) return "";
        list += "file ";
        list += name;
        list += "\n";
        if (i < durations.size() && durations[i] > 0)
            list += "duration " + SecondsArg(durations[i]) + "\n";
    }
    const std::string path = scratch.Path() + "list.ffconcat";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << list;
    out.close();
    return out ? path : "";
}

bool HeldForWritingByOthers(const std::string& path) {
    struct stat target {};
    if (::stat(path.c_str(), &target) != 0) return false;
    const std::string self = std::to_string(::getpid());
    DIR* proc = ::opendir("/proc");
    if (!proc) return false;
    bool held = false;
    while (!held) {
        dirent* e = ::readdir(proc);
        if (!e) break;
        if (e->d_name[0] < '0' || e->d_name[0] > '9' || self == e->d_name) continue;
        const std::string pidDir = std::string("/proc/") + e->d_name;
        DIR* fds = ::opendir((pidDir + "/fd").c_str());
        if (!fds) continue;
        while (dirent* f = ::readdir(fds)) {
            if (f->d_name[0] == '.') continue;
            struct stat st {};
            if (::stat((pidDir + "/fd/" + f->d_name).c_str(), &st) != 0 ||
                st.st_dev != target.st_dev || st.st_ino != target.st_ino)
                continue;
            std::ifstream fdinfo(pidDir + "/fdinfo/" + f->d_name);
            std::string key, flags;
            while (fdinfo >> key) {
                if (key == "flags:") {
                    fdinfo >> flags;
                    break;
                }
            }
            const long mode = std::strtol(flags.c_str(), nullptr, 8) & 3; // O_ACCMODE
            if (mode == 1 || mode == 2) {
                held = true;
                break;
            }
        }
        ::closedir(fds);
    }
    ::closedir(proc);
    return held;
}

bool WaitUntilWritten(const std::string& path, int maxMs) {
    using namespace std::chrono;
    const auto until = steady_clock::now() + milliseconds(maxMs);
    while (HeldForWritingByOthers(path)) {
        if (frontend::ReceivedSignal() != 0 || steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(milliseconds(100));
    }
    return true;
}

std::string MuxerFor(const std::string& path) {
    const std::string ext = LowerExt(path);
    if (ext == ".wmv" || ext == ".asf" || ext == ".wma") return "asf";
    if (ext == ".avi" || ext == ".divx") return "avi";
    if (ext == ".mpg" || ext == ".mpeg") return "mpeg";
    if (ext == ".vob") return "vob";
    if (ext == ".mp4") return "mp4";
    if (ext == ".m4v") return "ipod";
    if (ext == ".mov") return "mov";
    if (ext == ".3gp") return "3gp";
    if (ext == ".mkv") return "matroska";
    if (ext == ".webm") return "webm";
    if (ext == ".flv") return "flv";
    if (ext == ".m2ts" || ext == ".ts") return "mpegts";
    return "";
}

std::string SecondsArg(double seconds) {
    if (seconds < 0) seconds = 0;
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, seconds, std::chars_format::fixed, 3);
    return std::string(buf, r.ptr);
}

void RemoveFile(const std::string& path) {
    if (!path.empty()) ::unlink(path.c_str());
}

FfmpegRun RunFfmpeg(std::vector<std::string> argv,
                    const std::function<void(double seconds, int64_t frames)>& onTime) {
    // -progress goes right after the program name: it is a global option.
    const std::vector<std::string> progress = {"-progress", "pipe:1", "-nostats",
                                               "-stats_period", "0.25"};
    argv.insert(argv.begin() + (argv.empty() ? 0 : 1), progress.begin(), progress.end());
    if (const char* debug = std::getenv("TRIMORA_TOOLS_DEBUG"); debug && *debug) {
        std::string line;
        for (const auto& a : argv) line += "'" + a + "' ";
        frontend::PrintErr(line + "\n");
    }
    FfmpegRun run;
    ProgressReader reader;
    reader.onTime = onTime;
    const frontend::ToolOutcome outcome =
        frontend::RunTool(argv, [&](frontend::OutputStream stream, const std::string& chunk) {
            if (stream == frontend::OutputStream::Out) reader.Feed(chunk);
            else if (run.errorText.size() < 64 * 1024) run.errorText += chunk;
        });
    run.status = outcome.Status();
    run.succeeded = outcome.Succeeded() && frontend::ReceivedSignal() == 0;
    return run;
}

} // namespace trimora::mtools
