#include "fcut_run.h"

#include "exact_cut.h"

#include "common/helpers.h"

#include "fcut_plan.h"
#include "fcut_report.h"
#include "frontend.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <cstdlib>
#include <sstream>

namespace trimora::fcut {

std::vector<std::string> ProgressTranslator::Feed(const std::string& text) {
    std::vector<std::string> chunks;
    partial_ += text;
    size_t nl;
    while ((nl = partial_.find('\n')) != std::string::npos) {
        std::string line = partial_.substr(0, nl);
        partial_.erase(0, nl + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "frame") frame_ = value;
        else if (key == "fps") fps_ = value;
        else if (key == "total_size") size_ = value;
        else if (key == "bitrate") bitrate_ = value;
        else if (key == "speed") speed_ = value;
        else if (key == "out_time_us") {
            char* end = nullptr;
            const long long v = std::strtoll(value.c_str(), &end, 10);
            if (end != value.c_str()) timeUs_ = v;
        } else if (key == "progress") {
            long long kb = 0;
            if (!size_.empty() && size_ != "N/A") kb = std::strtoll(size_.c_str(), nullptr, 10) / 1024;
            char buf[256];
            std::snprintf(buf, sizeof buf, "frame=%5s fps=%s size=%8lldkB bitrate=%s speed=%s time=%lld\r",
                          frame_.empty() ? "0" : frame_.c_str(), fps_.empty() ? "0" : fps_.c_str(),
                          kb, bitrate_.empty() ? "N/A" : bitrate_.c_str(),
                          speed_.empty() ? "N/A" : speed_.c_str(),
                          timeUs_ > 0 ? timeUs_ / 1000000 : 0LL);
            chunks.emplace_back(buf);
        }
    }
    return chunks;
}

void LineBuffer::Feed(const std::string& text) { buffer_ += text; }

std::string LineBuffer::TakeLines() {
    const size_t last = buffer_.find_last_of("\n");
    if (last == std::string::npos) return "";
    std::string lines = buffer_.substr(0, last + 1);
    buffer_.erase(0, last + 1);
    return lines;
}

std::string LineBuffer::TakeEverything() {
    std::string all;
    all.swap(buffer_);
    if (!all.empty() && all.back() != '\n') all += '\n';
    return all;
}

std::string EmptyOutputSummary() {
    return "video:0kB audio:0kB subtitle:0kB other streams:0kB global headers:0kB muxing "
           "overhead: unknown\nOutput file is empty, nothing was encoded\n";
}

namespace {

// ffmpeg's own final statistics line carries "time=HH:MM:SS.cc"; only our own progress chunks may
// carry "time=", so the program's parser never meets another form.
std::string WithoutStatsLines(const std::string& lines) {
    std::string kept;
    size_t from = 0;
    while (from < lines.size()) {
        size_t nl = lines.find('\n', from);
        if (nl == std::string::npos) nl = lines.size() - 1;
        const std::string line = lines.substr(from, nl - from + 1);
        if (line.find("time=") == std::string::npos) kept += line;
        from = nl + 1;
    }
    return kept;
}

// ffprobe and ffmpeg would wait for ever for a writer of a named pipe (or read a device without
// end): only regular files are media sources.
bool RegularInputs(const FcutPlan& plan) {
    for (const auto& input : plan.inputs) {
        struct stat st {};
        if (::stat(input.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
            frontend::PrintOut(input + ": Not a regular file\n");
            return false;
        }
    }
    return true;
}

int Probe(const FcutPlan& plan) {
    if (frontend::FindProgram("ffprobe").empty()) {
        frontend::PrintOut("ffprobe is not installed: apt-get install ffmpeg\n");
        return 127;
    }
    int status = 0;
    for (size_t i = 0; i < plan.inputs.size(); ++i) {
        std::string json, error;
        const bool ok = frontend::ProbeJson(plan.inputs[i], &json, &error);
        const std::string report =
            ok ? FormatStreamReport(static_cast<int>(i), plan.inputs[i], json) : "";
        if (!report.empty()) {
            frontend::PrintOut(report);
            continue;
        }
        if (frontend::ReceivedSignal()) return 128 + frontend::ReceivedSignal();
        if (error.find("Invalid data found") == std::string::npos &&
            error.find("No such file") == std::string::npos &&
            error.find("Permission denied") == std::string::npos &&
            error.find("is not installed") == std::string::npos)
            error += plan.inputs[i] + ": Invalid data found when processing input\n";
        frontend::PrintOut(error);
        status = 1;
    }
    return status;
}

} // namespace

int RunFcut(const std::vector<std::string>& args) {
    if (IsExactCut(args)) return RunExactCut(args);
    FcutPlan plan = PlanFcut(args);
    if (!plan.error.empty()) {
        frontend::PrintOut("fcut: " + plan.error + "\n");
        return 1;
    }
    if (!RegularInputs(plan)) return 1;
    if (plan.probe) return Probe(plan);

    for (const auto& note : plan.notes) frontend::PrintOut(note + "\n");

    // ffmpeg truncates its output before it reads the input: writing over a source destroys it.
    for (const auto& input : plan.inputs) {
        std::error_code ec;
        if (std::filesystem::equivalent(input, plan.output, ec)) {
            frontend::PrintOut("fcut: the output " + plan.output +
                               " is the input itself; nothing written\n");
            return 1;
        }
    }

    // Today's ffmpeg, asked to start past the end of its input, still copies the last second.
    // The program expects nothing to be written then.
    // Only a copied transport stream needs the input's details before the run; otherwise the
    // length is read from ffmpeg's own report of its input, which saves a tool start per job.
    const bool transport = plan.videoCopy && plan.muxer == "mpegts" && plan.seekValueIndex >= 0;
    const bool program = !transport && plan.videoCopy && plan.seekValueIndex >= 0 &&
                         !plan.inputs.empty() &&
                         [](std::string ext) {
                             ext = trimora::ToLower(std::filesystem::path(ext).extension().string());
                             return ext == ".mpg" || ext == ".mpeg" || ext == ".vob";
                         }(plan.inputs.front());
    const bool preProbe = transport || program;
    if (plan.inputSeek && *plan.inputSeek > 0 && preProbe) {
        std::string json;
        if (frontend::ProbeJson(plan.inputs.front(), &json)) {
            const double duration = JsonDuration(json);
            if (duration > 0 && *plan.inputSeek >= duration) {
                frontend::PrintOut("fcut: the start " + FormatReportDuration(*plan.inputSeek) +
                                   " lies past the end of the input (" +
                                   FormatReportDuration(duration) + "): nothing to write\n" +
                                   EmptyOutputSummary());
                return 1;
            }
            // A copied video stream can only start at a keyframe. A transport stream then begins
            // with sound alone up to the next keyframe; starting both at the keyframe before the
            // asked start (and keeping the asked end) keeps them together. A program stream's
            // copy starts at the first keyframe after the point its seek lands on, which would
            // lose everything up to it: it is sought half a second before the keyframe at or
            // before the asked start, so that this keyframe is the first one copied.
            {
                const double start = JsonStartTime(json);
                const double key =
                    frontend::KeyframeAtOrBefore(plan.inputs.front(), start + *plan.inputSeek);
                const double margin = program ? 0.5 : 0.001;
                const double seek = std::max(0.0, key - start - margin);
                if (key >= 0 && (program || start + *plan.inputSeek - key > 0.001)) {
                    char buf[32];
                    std::snprintf(buf, sizeof buf, "%.3f", seek);
                    plan.ffmpegArgs[static_cast<size_t>(plan.seekValueIndex)] = buf;
                    if (plan.duration && plan.durationValueIndex >= 0) {
                        std::snprintf(buf, sizeof buf, "%.3f", *plan.duration + *plan.inputSeek - seek);
                        plan.ffmpegArgs[static_cast<size_t>(plan.durationValueIndex)] = buf;
                    }
                    frontend::PrintOut("fcut: copying from the keyframe at " +
                                       FormatReportDuration(key - start) + "\n");
                }
            }
        }
    }

    std::vector<std::string> argv = {"ffmpeg", "-nostdin", "-hide_banner", "-nostats",
                                     "-progress", "pipe:1"};
    argv.insert(argv.end(), plan.ffmpegArgs.begin(), plan.ffmpegArgs.end());

    // Log lines are held back until the next progress chunk, so that a progress chunk is the last
    // text written for a while and the reader sees "time=N" at the end of what it reads.
    ProgressTranslator progress;
    LineBuffer log;
    std::string errTail; // enough of the log to see a write error split over two reads
    bool writeFailed = false;
    LineBuffer inputReport; // the first input's "Duration:" line, for a start past the end
    bool durationSeen = false, pastEnd = false;
    double inputDuration = 0;
    const frontend::ToolOutcome outcome =
        frontend::RunTool(argv, [&](frontend::OutputStream stream, const std::string& chunk) {
            if (stream == frontend::OutputStream::Err) {
                if (!durationSeen && plan.inputSeek && *plan.inputSeek > 0 && !preProbe) {
                    inputReport.Feed(chunk);
                    const std::string lines = inputReport.TakeLines();
                    const size_t at = lines.find("Duration: ");
                    if (at != std::string::npos) {
                        durationSeen = true;
                        // "HH:MM:SS.xx, start: ..." ("N/A" gives 0: no check)
                        const std::string text = lines.substr(at + 10, lines.find(',', at) - at - 10);
                        inputDuration = text.find(':') == std::string::npos
                                            ? 0
                                            : trimora::ParseTimeSecondsFrac(text);
                        if (inputDuration > 0 && *plan.inputSeek >= inputDuration) {
                            pastEnd = true;
                            frontend::StopRunningTool();
                        }
                    }
                }
                log.Feed(chunk);
                errTail += chunk;
                for (const char* text : {"No space left on device", "Error writing trailer",
                                         "Error closing file", "Disk quota exceeded"})
                    if (errTail.find(text) != std::string::npos) writeFailed = true;
                if (errTail.size() > 256) errTail.erase(0, errTail.size() - 64);
                return;
            }
            for (const auto& p : progress.Feed(chunk)) {
                frontend::PrintOut(WithoutStatsLines(log.TakeLines()));
                frontend::PrintOut(p);
            }
        });
    if (pastEnd) {
        // Today's ffmpeg, asked to start past the end of its input, still copies the last second.
        // The program expects nothing to be written then.
        std::error_code ec;
        std::filesystem::remove(plan.output, ec);
        frontend::PrintOut("fcut: the start " + FormatReportDuration(*plan.inputSeek) +
                           " lies past the end of the input (" +
                           FormatReportDuration(inputDuration) + "): nothing to write\n" +
                           EmptyOutputSummary());
        return 1;
    }
    frontend::PrintOut(WithoutStatsLines(log.TakeEverything()));
    // ffmpeg ends with status 0 when the disk fills up while it writes the trailer; the output is
    // then cut short and must not count as done.
    const int status = outcome.Status();
    if (status == 0 && writeFailed) {
        frontend::PrintOut("fcut: the output could not be written completely\n");
        return 1;
    }
    return status;
}

} // namespace trimora::fcut
