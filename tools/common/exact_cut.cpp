#include "exact_cut.h"

#include "common/helpers.h"
#include "fcut_plan.h"
#include "fcut_run.h"
#include "frontend.h"
#include "media/exact_plan.h"
#include "media/keyframes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>

namespace trimora::fcut {

namespace {

constexpr double kEps = 0.0005;

using Fields = std::map<std::string, std::string>;

// "key=value" lines of ffprobe's default writer without section wrappers.
Fields ParseFields(const std::string& text) {
    Fields f;
    size_t from = 0;
    while (from < text.size()) {
        size_t nl = text.find('\n', from);
        if (nl == std::string::npos) nl = text.size();
        const std::string line = text.substr(from, nl - from);
        from = nl + 1;
        const size_t eq = line.find('=');
        if (eq != std::string::npos && !f.count(line.substr(0, eq)))
            f[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return f;
}

double Number(const Fields& f, const std::string& key, double fallback = 0) {
    const auto it = f.find(key);
    if (it == f.end()) return fallback;
    char* end = nullptr;
    const double v = std::strtod(it->second.c_str(), &end);
    if (end == it->second.c_str()) return fallback;
    if (*end == '/') { // a ratio such as "25/1"
        const double d = std::strtod(end + 1, nullptr);
        return d > 0 ? v / d : fallback;
    }
    return v;
}

std::string Text(const Fields& f, const std::string& key) {
    const auto it = f.find(key);
    return it == f.end() || it->second == "unknown" || it->second == "N/A" ? "" : it->second;
}

std::string Fixed(double v, const char* format = "%.6f") {
    char buf[48];
    std::snprintf(buf, sizeof buf, format, v);
    return buf;
}

// "[STREAM]" / "[FORMAT]" sections of ffprobe's default writer, in order.
std::vector<std::pair<std::string, Fields>> ParseSections(const std::string& text) {
    std::vector<std::pair<std::string, Fields>> sections;
    size_t from = 0;
    while ((from = text.find('[', from)) != std::string::npos) {
        const size_t close = text.find(']', from);
        if (close == std::string::npos) break;
        const std::string name = text.substr(from + 1, close - from - 1);
        const size_t end = text.find("[/" + name + "]", close);
        if (name.empty() || name[0] == '/' || end == std::string::npos) {
            from = close + 1;
            continue;
        }
        sections.emplace_back(name, ParseFields(text.substr(close + 1, end - close - 1)));
        from = end + name.size() + 3;
    }
    return sections;
}

// noReorder: without B-frames, for a piece that follows copied packets (its first decode time
// then comes after theirs).
std::vector<std::string> VideoEncoder(const Fields& v, bool matchForJoin, bool noReorder = false) {
    const std::string codec = Text(v, "codec_name");
    const std::string pixFmt = Text(v, "pix_fmt");
    const std::string field = Text(v, "field_order");
    const bool interlaced = !field.empty() && field != "progressive";
    const bool topFirst = field == "tt" || field == "tb";
    const bool reorders = Number(v, "has_b_frames") > 0 && !noReorder;
    std::vector<std::string> a;
    auto pix = [&] {
        if (!pixFmt.empty()) a.insert(a.end(), {"-pix_fmt", pixFmt});
    };
    if (codec == "h264") {
        a = {"-c:v", "libx264", "-preset", "medium", "-crf", "16"};
        std::string profile = Text(v, "profile");
        std::transform(profile.begin(), profile.end(), profile.begin(), ::tolower);
        static const std::map<std::string, std::string> profiles = {
            {"constrained baseline", "baseline"}, {"baseline", "baseline"}, {"main", "main"},
            {"high", "high"}, {"high 10", "high10"}, {"high 4:2:2", "high422"},
            {"high 4:4:4 predictive", "high444"}};
        std::string params = "repeat-headers=1:log=-1";
        if (const auto it = profiles.find(profile); it != profiles.end())
            a.insert(a.end(), {"-profile:v", it->second});
        const double level = Number(v, "level", -1);
        if (level > 0) a.insert(a.end(), {"-level:v", Fixed(level / 10, "%.1f")});
        if (interlaced) {
            a.insert(a.end(), {"-flags", "+ilme+ildct"});
            params += topFirst ? ":tff=1" : ":bff=1";
        }
        if (!reorders) a.insert(a.end(), {"-bf", "0"});
        a.insert(a.end(), {"-x264-params", params});
        pix();
    } else if (codec == "hevc") {
        a = {"-c:v", "libx265", "-preset", "medium", "-crf", "18"};
        std::string profile = Text(v, "profile");
        std::transform(profile.begin(), profile.end(), profile.begin(), ::tolower);
        if (profile == "main" || profile == "main 10")
            a.insert(a.end(), {"-profile:v", profile == "main" ? "main" : "main10"});
        std::string params = "repeat-headers=1:log-level=error";
        const double level = Number(v, "level", -1);
        if (level > 0) params += ":level-idc=" + Fixed(level / 30, "%.1f");
        if (!reorders) params += ":bframes=0";
        if (interlaced) params += ":interlace=" + std::string(topFirst ? "tff" : "bff");
        a.insert(a.end(), {"-x265-params", params});
        pix();
    } else if (codec == "mpeg4") {
        a = {"-c:v", "mpeg4", "-q:v", "2", "-mbd", "rd"};
        const std::string tag = Text(v, "codec_tag_string");
        if (tag.size() == 4 && tag.find('[') == std::string::npos)
            a.insert(a.end(), {"-vtag", tag});
        if (!reorders || matchForJoin) a.insert(a.end(), {"-bf", reorders ? "1" : "0"});
        if (interlaced) a.insert(a.end(), {"-flags", "+ilme+ildct"});
    } else {
        static const std::map<std::string, std::vector<std::string>> others = {
            {"mpeg2video", {"-c:v", "mpeg2video", "-q:v", "2", "-mbd", "rd"}},
            {"mpeg1video", {"-c:v", "mpeg1video", "-q:v", "2", "-mbd", "rd"}},
            {"vp8", {"-c:v", "libvpx", "-crf", "6", "-b:v", "20M", "-deadline", "good"}},
            {"vp9", {"-c:v", "libvpx-vp9", "-crf", "18", "-b:v", "0", "-row-mt", "1",
                     "-deadline", "good", "-cpu-used", "4"}},
            {"wmv1", {"-c:v", "wmv1", "-q:v", "2"}},
            {"wmv2", {"-c:v", "wmv2", "-q:v", "2"}},
            {"msmpeg4v3", {"-c:v", "msmpeg4", "-q:v", "2"}},
            {"flv1", {"-c:v", "flv", "-q:v", "2"}},
            {"mjpeg", {"-c:v", "mjpeg", "-q:v", "2"}},
            {"theora", {"-c:v", "libtheora", "-q:v", "9"}}};
        const auto it = others.find(codec);
        if (it != others.end()) {
            a = it->second;
            if (interlaced) a.insert(a.end(), {"-flags", "+ilme+ildct"});
        } else {
            a = {"-c:v", "libx264", "-preset", "medium", "-crf", "16", "-pix_fmt", "yuv420p"};
        }
    }
    return a;
}

// Samples per audio frame of the codecs whose frames have a fixed length.
int SamplesPerFrame(const std::string& codec) {
    if (codec.rfind("pcm_", 0) == 0) return 1;
    static const std::map<std::string, int> frames = {
        {"aac", 1024}, {"mp3", 1152}, {"mp2", 1152}, {"mp1", 384}, {"ac3", 1536},
        {"eac3", 1536}, {"opus", 960}, {"alac", 4096}, {"dts", 512}};
    const auto it = frames.find(codec);
    return it == frames.end() ? 0 : it->second;
}

std::vector<std::string> AudioEncoder(const std::string& codec) {
    if (codec.rfind("pcm_", 0) == 0) return {"-c:a", codec};
    static const std::map<std::string, std::vector<std::string>> encoders = {
        {"mp3", {"-c:a", "libmp3lame", "-q:a", "0"}},
        {"mp2", {"-c:a", "mp2", "-b:a", "384k"}},
        {"ac3", {"-c:a", "ac3", "-b:a", "448k"}},
        {"eac3", {"-c:a", "eac3", "-b:a", "448k"}},
        {"vorbis", {"-c:a", "libvorbis", "-q:a", "7"}},
        {"opus", {"-c:a", "libopus", "-b:a", "192k"}},
        {"flac", {"-c:a", "flac"}},
        {"wmav2", {"-c:a", "wmav2", "-b:a", "256k"}},
        {"wmav1", {"-c:a", "wmav1", "-b:a", "256k"}}};
    const auto it = encoders.find(codec);
    return it == encoders.end() ? std::vector<std::string>{"-c:a", "aac", "-b:a", "256k"}
                                : it->second;
}

struct Step {
    std::vector<std::string> args; // ffmpeg arguments after the common ones
    double cost = 0;               // relative weight on the progress bar
    double seconds = 1;            // media seconds the step works through
};

struct ExactRequest {
    std::string input, output;
    std::optional<double> start, end, duration;
    bool noAudio = false;
    std::string error;
};

ExactRequest ParseRequest(std::vector<std::string> args) {
    ExactRequest r;
    std::erase(args, std::string("-cb"));
    std::erase(args, std::string("-exact"));
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-an") {
            r.noAudio = true;
        } else if (a == "-y" || a == "-sn" || a == "-n") {
        } else if (a.size() > 1 && a[0] == '-') {
            if (i + 1 >= args.size()) {
                r.error = "option " + a + " needs a value";
                return r;
            }
            const std::string& value = args[++i];
            if (a == "-i") r.input = value;
            else if (a == "-ss") r.start = ParseFfmpegTime(value);
            else if (a == "-to") r.end = ParseFfmpegTime(value);
            else if (a == "-t") r.duration = ParseFfmpegTime(value);
            // -threads and the like: ffmpeg chooses for itself.
        } else {
            r.output = a;
        }
    }
    if (!r.end && r.start && r.duration) r.end = *r.start + *r.duration;
    if (r.input.empty() || r.output.empty()) r.error = "an exact cut needs -i INPUT and OUTPUT";
    else if (!r.start || !r.end) r.error = "an exact cut needs -ss START and -to END";
    else if (*r.end <= *r.start) r.error = "the end of the range is not after its start";
    return r;
}

class WorkFolder {
  public:
    explicit WorkFolder(const std::string& besideOutput) {
        std::string dir = std::filesystem::path(besideOutput).parent_path().string();
        if (dir.empty()) dir = ".";
        std::string tmpl = dir + "/.trimora-exact-XXXXXX";
        if (::mkdtemp(tmpl.data())) path_ = tmpl + "/";
    }
    ~WorkFolder() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

// The value of "out_time_us=" in ffmpeg's -progress output, in seconds.
class StepProgress {
  public:
    std::optional<double> Feed(const std::string& chunk) {
        partial_ += chunk;
        std::optional<double> latest;
        size_t nl;
        while ((nl = partial_.find('\n')) != std::string::npos) {
            const std::string line = partial_.substr(0, nl);
            partial_.erase(0, nl + 1);
            if (line.rfind("out_time_us=", 0) == 0) {
                const double us = std::strtod(line.c_str() + 12, nullptr);
                if (us > 0) latest = us / 1e6;
            }
        }
        return latest;
    }

  private:
    std::string partial_;
};

void PrintProgress(double seconds) {
    char buf[160];
    std::snprintf(buf, sizeof buf,
                  "frame=    0 fps=0 size=       0kB bitrate=N/A speed=N/A time=%lld\r",
                  static_cast<long long>(std::max(0.0, seconds)));
    frontend::PrintOut(buf);
}

} // namespace

bool IsExactCut(const std::vector<std::string>& args) {
    for (const auto& a : args) {
        if (a == "-exact") return true;
        if (a == "-i") return false;
    }
    return false;
}

int RunExactCut(std::vector<std::string> args) {
    const ExactRequest req = ParseRequest(std::move(args));
    if (!req.error.empty()) {
        frontend::PrintOut("fcut: " + req.error + "\n");
        return 1;
    }
    const std::string& in = req.input;
    std::error_code ec;
    if (std::filesystem::equivalent(in, req.output, ec) || std::filesystem::exists(
            std::filesystem::symlink_status(req.output, ec))) {
        frontend::PrintOut("fcut: the output " + req.output + " exists already; nothing written\n");
        return 1;
    }

    // The source's first video and sound streams, its start time, and its video packets (decode
    // order) around the range.
    std::string info, pText, err;
    frontend::RunToolCapture({"ffprobe", "-v", "error", "-show_entries",
                              "stream=codec_type,codec_name,profile,level,pix_fmt,field_order,"
                              "has_b_frames,avg_frame_rate,r_frame_rate,codec_tag_string,"
                              "time_base,sample_rate:format=start_time,format_name",
                              in},
                             &info, &err);
    Fields v, a, format;
    for (const auto& [name, fields] : ParseSections(info)) {
        const std::string type = Text(fields, "codec_type");
        if (name == "FORMAT") format = fields;
        else if (type == "video" && v.empty()) v = fields;
        else if (type == "audio" && a.empty() && !req.noAudio) a = fields;
    }
    if (Text(v, "codec_name").empty()) {
        frontend::PrintOut(err + "fcut: " + in + ": no video stream to cut\n");
        return 1;
    }
    const double origin = Number(format, "start_time");
    // Reading starts at the keyframe before the start (where the container has an index) and
    // goes a little past the end, so that frames shown before the end but decoded after it are
    // seen too. Without a keyframe at or before the start the whole index is read.
    auto readPackets = [&](const std::string& interval) {
        pText.clear();
        std::vector<std::string> argv = {"ffprobe", "-v", "error", "-select_streams", "v:0"};
        if (!interval.empty()) argv.insert(argv.end(), {"-read_intervals", interval});
        argv.insert(argv.end(), {"-show_entries", "packet=pts_time,flags", "-of", "csv=p=0", in});
        frontend::RunToolCapture(argv, &pText, nullptr);
        std::vector<IndexedPacket> read = ParsePacketLines(pText);
        for (auto& p : read) p.pts -= origin;
        return read;
    };
    std::vector<IndexedPacket> packets =
        readPackets(Fixed(origin + *req.start) + "%" + Fixed(origin + *req.end + 2));
    if (std::none_of(packets.begin(), packets.end(), [&](const IndexedPacket& p) {
            return p.key && p.pts <= *req.start + kEps;
        }))
        packets = readPackets("");
    if (frontend::ReceivedSignal()) return 128 + frontend::ReceivedSignal();
    std::vector<double> keyframes, frames;
    for (const auto& p : packets) {
        frames.push_back(p.pts);
        if (p.key) keyframes.push_back(p.pts);
    }
    std::sort(keyframes.begin(), keyframes.end());
    const std::string formatName = Text(format, "format_name");
    const bool seeksByIndex = formatName != "mpegts" && formatName != "mpeg";
    std::sort(frames.begin(), frames.end());
    if (frames.empty()) {
        frontend::PrintOut("fcut: " + in + ": no video frames could be read\n");
        return 1;
    }
    double fps = Number(v, "avg_frame_rate");
    if (fps <= 0) fps = Number(v, "r_frame_rate", 25);
    const double frameTime = 1 / fps;

    // The chosen frames: presentation times in [start, end).
    auto firstAtOrAfter = [&](double t) {
        return std::lower_bound(frames.begin(), frames.end(), t - kEps) - frames.begin();
    };
    const long startIdx = firstAtOrAfter(*req.start);
    const long endIdx = firstAtOrAfter(*req.end);
    if (startIdx >= static_cast<long>(frames.size()) || endIdx <= startIdx) {
        frontend::PrintOut("fcut: the range holds no frame of " + in + "\n" +
                           EmptyOutputSummary());
        return 1;
    }
    auto timeOf = [&](long idx) {
        return idx < static_cast<long>(frames.size()) ? frames[static_cast<size_t>(idx)]
                                                      : frames.back() + frameTime;
    };
    double first = timeOf(startIdx), last = timeOf(endIdx);
    const std::string codec = Text(v, "codec_name");
    const std::string ext = frontend::LowerExtension(req.output);
    // The copy starts at the first keyframe of the range and runs for as long as its packets in
    // decode order are exactly the frames shown; it cannot start on a group that shows frames
    // decoded outside it (open groups).
    ExactCutPlan plan = PlanExactCut(packets, first, last,
                                     ExactCopySupported(codec, ext) &&
                                         frontend::LowerExtension(in) == ext);
    auto countIn = [&](double from, double to) {
        return firstAtOrAfter(to) - firstAtOrAfter(from);
    };
    // Where the copy seeks to. With B-frames ffmpeg seeks 3/23 s before the asked time in
    // containers that seek by decode time: Matroska then lands on the keyframe before, so it is
    // asked for a time that far after the keyframe; a transport stream lands inside the group
    // before and the copy starts at the next keyframe. Keyframes closer than that are re-encoded.
    double copySeek = plan.copyFrom + kEps;
    if (!plan.fullEncode && Number(v, "has_b_frames") > 0) {
        double before = -1e9, after = 1e9;
        for (const auto& p : packets) {
            if (p.key && p.pts < plan.copyFrom - kEps) before = std::max(before, p.pts);
            if (p.key && p.pts > plan.copyFrom + kEps) after = std::min(after, p.pts);
        }
        if (ext == ".mkv" || ext == ".webm") {
            copySeek = plan.copyFrom + 0.131;
            if (after < plan.copyFrom + 0.2) plan.fullEncode = true;
        } else if (MuxerForExtension(ext) == "mpegts" && before > plan.copyFrom - 0.3) {
            plan.fullEncode = true;
        }
    }
    if (plan.fullEncode) {
        // Decoding finds the chosen frames by their times, also where the packet index lacks
        // some of them (program streams).
        first = *req.start;
        last = *req.end;
    }
    std::string note = "fcut: exact cut " + DescribeExactCut(plan);
    if (plan.fullEncode && !ExactCopySupported(codec, ext))
        note += " (" + codec + " video in a " + ext + " file cannot be joined to copied packets)";
    frontend::PrintOut(note + "\n");

    WorkFolder work(req.output);
    if (work.Path().empty()) {
        frontend::PrintOut("fcut: no work folder could be made beside " + req.output + "\n");
        return 1;
    }
    // Pieces go into a container that keeps the packets as they are: the source's own for
    // transport streams and AVI, QuickTime for H.264/H.265 (whose parameter sets it stores apart
    // from the packets; the copied keyframes get them in-band, see below). A range re-encoded
    // whole goes into Matroska, which starts it at its first shown frame also when the encoder
    // decodes a frame ahead (the join would otherwise show the picture a frame after the sound).
    std::string pieceExt = ".mkv", pieceFormat = "matroska";
    bool inbandAtJoin = false;
    if (!plan.fullEncode) {
        if (ext == ".avi" || ext == ".divx") pieceExt = ".avi", pieceFormat = "avi";
        else if (MuxerForExtension(ext) == "mpegts") pieceExt = ".ts", pieceFormat = "mpegts";
        else pieceExt = ".mov", pieceFormat = "mov", inbandAtJoin = true;
    }
    const std::string timescale = std::to_string(static_cast<long long>(
        std::lround(1 / std::max(1e-9, Number(v, "time_base", 1.0 / 90000)))));

    std::vector<Step> steps;
    std::vector<std::pair<std::string, double>> pieces; // file, duration
    const std::vector<std::string> common = {"-an", "-sn", "-dn", "-map", "0:v:0"};
    auto encodePiece = [&](double from, double to, bool afterCopy) {
        const std::string file = work.Path() + "piece" + std::to_string(pieces.size()) + pieceExt;
        const long n = countIn(from, to);
        Step s;
        // Transport and program streams have no index: a seek lands near the asked time, also
        // inside a group whose frames then cannot be decoded. They are read from a second before
        // the keyframe the piece decodes from, and the frames before the piece are dropped by
        // their own times.
        const double at = std::max(0.0, from - 0.001);
        if (seeksByIndex) {
            s.args = {"-ss", Fixed(at), "-i", in};
        } else {
            const double key = keyframes.empty() ? from - 10 : KeyframeAtOrBefore(keyframes, from);
            const double early = std::max(0.0, std::min(key, from) - 1);
            s.args = {"-copyts", "-ss", Fixed(early), "-i", in, "-ss", Fixed(origin + at)};
        }
        if (plan.fullEncode) s.args.insert(s.args.end(), {"-t", Fixed(to - from)});
        else s.args.insert(s.args.end(), {"-frames:v", std::to_string(n)});
        s.args.insert(s.args.end(), {"-fps_mode", "passthrough"});
        s.args.insert(s.args.end(), common.begin(), common.end());
        const auto enc = VideoEncoder(v, !plan.fullEncode, afterCopy);
        s.args.insert(s.args.end(), enc.begin(), enc.end());
        if (pieceFormat == "mov")
            s.args.insert(s.args.end(), {"-video_track_timescale", timescale});
        s.args.insert(s.args.end(), {"-f", pieceFormat, "-y", file});
        s.cost = std::max(1.0, (to - from) * fps);
        s.seconds = to - from;
        steps.push_back(s);
        pieces.emplace_back(file, to - from);
    };
    if (plan.fullEncode) {
        encodePiece(first, last, false);
    } else {
        if (plan.copyFrom > first + kEps) encodePiece(first, plan.copyFrom, false);
        const std::string file = work.Path() + "piece" + std::to_string(pieces.size()) + pieceExt;
        const long n = countIn(plan.copyFrom, plan.copyTo);
        Step s;
        s.args = {"-copyts", "-ss", Fixed(copySeek), "-i", in, "-frames:v",
                  std::to_string(n)};
        s.args.insert(s.args.end(), common.begin(), common.end());
        s.args.insert(s.args.end(), {"-c:v", "copy"});
        // The re-encoded pieces carry other parameter sets in their packets; the copied keyframes
        // get the source's in-band so that the packets after them decode with their own.
        if (inbandAtJoin)
            s.args.insert(s.args.end(), {"-bsf:v", codec == "hevc" ? "hevc_mp4toannexb"
                                                                   : "h264_mp4toannexb"});
        // The pieces are joined on the first one's clock: all of them share it.
        if (pieceFormat == "mov")
            s.args.insert(s.args.end(), {"-video_track_timescale", timescale});
        s.args.insert(s.args.end(), {"-f", pieceFormat, "-y", file});
        s.cost = static_cast<double>(n) * 0.02;
        s.seconds = plan.copyTo - plan.copyFrom;
        steps.push_back(s);
        pieces.emplace_back(file, plan.copyTo - plan.copyFrom);
        if (plan.copyTo < last - kEps) encodePiece(plan.copyTo, last, true);
    }

    // Sound: copied when its frames are no longer than a picture frame (the copy then starts
    // within a frame of the picture), re-encoded from the exact start otherwise.
    std::string audioFile;
    const std::string aCodec = Text(a, "codec_name");
    if (!req.noAudio && !aCodec.empty()) {
        audioFile = work.Path() + "sound.mka";
        const double rate = Number(a, "sample_rate");
        const int samples = SamplesPerFrame(aCodec);
        const bool copy = samples > 0 && rate > 0 && samples / rate <= frameTime + 1e-6;
        Step s;
        s.args = {"-ss", Fixed(first), "-i", in, "-t", Fixed(last - first), "-vn", "-sn", "-dn",
                  "-map", "0:a:0"};
        // A copy keeps the packets from before the start where the seek lands early (transport
        // streams): "-ss 0" drops them. It ignores -t in some containers: it is limited by its
        // number of frames.
        const auto enc = copy ? std::vector<std::string>{"-ss", "0", "-c:a", "copy", "-frames:a",
                                                         std::to_string(static_cast<long long>(
                                                             std::ceil((last - first) * rate /
                                                                       samples - 0.01)))}
                              : AudioEncoder(aCodec);
        s.args.insert(s.args.end(), enc.begin(), enc.end());
        s.args.insert(s.args.end(), {"-f", "matroska", "-y", audioFile});
        s.cost = (last - first) * fps * (copy ? 0.01 : 0.1);
        s.seconds = last - first;
        steps.push_back(s);
        if (!copy) frontend::PrintOut("fcut: the sound is re-encoded from the exact start\n");
    }

    // The pieces joined one after the other, each for exactly its span of frames.
    const std::string list = work.Path() + "pieces.txt";
    {
        std::ofstream out(list);
        out << "ffconcat version 1.0\n";
        for (const auto& [file, seconds] : pieces)
            out << "file '" << FileNameOf(file) << "'\nduration " << Fixed(seconds) << "\n";
    }
    const std::string joined = work.Path() + "joined" + ext;
    {
        Step s;
        s.args = {"-f", "concat", "-safe", "0", "-i", list};
        if (!audioFile.empty()) s.args.insert(s.args.end(), {"-i", audioFile});
        s.args.insert(s.args.end(), {"-map", "0:v"});
        if (!audioFile.empty()) s.args.insert(s.args.end(), {"-map", "1:a"});
        s.args.insert(s.args.end(), {"-c", "copy", "-f", MuxerForExtension(ext), "-y", joined});
        s.cost = (last - first) * fps * 0.03;
        s.seconds = last - first;
        steps.push_back(s);
    }

    double total = 0;
    for (const auto& s : steps) total += s.cost;
    double done = 0;
    const double range = last - first;
    for (const auto& s : steps) {
        std::vector<std::string> argv = {"ffmpeg", "-nostdin", "-hide_banner", "-nostats",
                                         "-v", "error", "-progress", "pipe:1"};
        argv.insert(argv.end(), s.args.begin(), s.args.end());
        StepProgress progress;
        std::string log;
        const auto outcome = frontend::RunTool(
            argv, [&](frontend::OutputStream stream, const std::string& chunk) {
                if (stream == frontend::OutputStream::Err) {
                    if (log.size() < 65536) log += chunk;
                    return;
                }
                if (auto t = progress.Feed(chunk))
                    PrintProgress(range * (done + s.cost * std::min(1.0, *t / s.seconds)) / total);
            });
        if (frontend::ReceivedSignal()) return 128 + frontend::ReceivedSignal();
        if (!outcome.Succeeded()) {
            frontend::PrintOut(log + "fcut: the exact cut failed\n" + EmptyOutputSummary());
            return outcome.Status() ? outcome.Status() : 1;
        }
        done += s.cost;
        PrintProgress(range * done / total);
    }
    if (!MoveFileNoReplace(joined, req.output)) {
        frontend::PrintOut("fcut: the cut could not be moved to " + req.output + "\n" +
                           EmptyOutputSummary());
        return 1;
    }
    const auto size = std::filesystem::file_size(req.output, ec);
    frontend::PrintOut("video:" + std::to_string(ec ? 1 : std::max<uintmax_t>(1, size / 1024)) +
                       "kB audio:0kB subtitle:0kB other streams:0kB global headers:0kB muxing "
                       "overhead: unknown\n");
    return 0;
}

} // namespace trimora::fcut
