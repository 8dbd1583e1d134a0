#include "fcut_plan.h"

#include "frontend.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <set>

namespace trimora::fcut {

namespace {

struct Opt {
    std::string name;
    std::optional<std::string> value;
};

// Options of the old and the current ffmpeg that take no value. Every other option takes one.
const std::set<std::string> kFlags = {
    "-y", "-n", "-an", "-vn", "-sn", "-dn", "-sameq", "-same_quant", "-cb", "-nostdin",
    "-stdin", "-hide_banner", "-nostats", "-stats", "-shortest", "-copyts", "-re", "-benchmark",
    "-benchmark_all", "-intra", "-autorotate", "-noautorotate", "-ignore_unknown",
    "-accurate_seek", "-noaccurate_seek", "-deinterlace", "-report", "-xerror", "-debug_ts",
    "-dump", "-hex", "-vstats", "-copy_unknown", "-qdiff_disabled"};

bool IsOption(const std::string& a) { return a.size() > 1 && a[0] == '-'; }

// Legacy and alternative encoder names the installed ffmpeg knows under another name.
std::string NormalizeEncoder(const std::string& name) {
    static const std::map<std::string, std::string> map = {
        {"vorbis", "libvorbis"},    {"mp3", "libmp3lame"},   {"libfaac", "aac"},
        {"libvo_aacenc", "aac"},    {"libfdk_aac", "aac"},   {"libaacplus", "aac"},
        {"h264", "libx264"},        {"x264", "libx264"},     {"libx264rgb", "libx264"},
        {"vp8", "libvpx"},          {"vp9", "libvpx-vp9"},   {"xvid", "libxvid"},
        {"theora", "libtheora"},    {"opus", "libopus"},     {"hevc", "libx265"},
        {"h265", "libx265"},        {"libschroedinger", "mpeg2video"}};
    const auto it = map.find(name);
    return it == map.end() ? name : it->second;
}

// The codec an encoder writes (what a muxer sees).
std::string CodecOfEncoder(const std::string& encoder) {
    static const std::map<std::string, std::string> map = {
        {"libx264", "h264"},      {"libx265", "hevc"},     {"libvpx", "vp8"},
        {"libvpx-vp9", "vp9"},    {"libxvid", "mpeg4"},    {"libmp3lame", "mp3"},
        {"libvorbis", "vorbis"},  {"libopus", "opus"},     {"libtheora", "theora"},
        {"flv", "flv1"},          {"libtwolame", "mp2"},   {"mp2fixed", "mp2"}};
    const auto it = map.find(encoder);
    return it == map.end() ? encoder : it->second;
}

struct ContainerRule {
    std::set<std::string> video; // empty: any
    std::set<std::string> audio; // empty: any
    std::string videoEncoder;    // what to encode instead of a codec it cannot hold
    std::string audioEncoder;
};

const ContainerRule* RuleFor(const std::string& muxer) {
    static const std::map<std::string, ContainerRule> rules = {
        {"mpeg", {{"mpeg1video", "mpeg2video", "h264", "mpeg4"},
                  {"mp2", "mp3", "ac3", "dts", "pcm_s16be", "mp1"}, "mpeg2video", "mp2"}},
        {"vob", {{"mpeg2video", "mpeg1video", "h264"}, {"ac3", "mp2", "mp3", "dts", "pcm_dvd"},
                 "mpeg2video", "ac3"}},
        {"dvd", {{"mpeg2video", "mpeg1video", "h264"}, {"ac3", "mp2", "mp3", "dts", "pcm_dvd"},
                 "mpeg2video", "ac3"}},
        {"3gp", {{"h263", "h264", "mpeg4"}, {"aac", "amr_nb", "amr_wb"}, "libx264", "aac"}},
        {"3g2", {{"h263", "h264", "mpeg4"}, {"aac", "amr_nb", "amr_wb"}, "libx264", "aac"}},
        {"ipod", {{"h264", "mpeg4"}, {"aac", "alac", "ac3", "eac3"}, "libx264", "aac"}},
        {"mp4", {{"h264", "hevc", "mpeg4", "mpeg2video", "mpeg1video", "av1", "vp9", "mjpeg"},
                 {"aac", "mp3", "ac3", "eac3", "opus", "flac", "alac", "mp2"}, "libx264", "aac"}},
        {"mov", {{}, {"aac", "mp3", "ac3", "eac3", "alac", "mp2", "opus", "flac", "pcm_s16le",
                      "pcm_s16be", "pcm_s24le", "pcm_f32le"}, "libx264", "aac"}},
        {"flv", {{"flv1", "h264", "vp6f", "h263"},
                 {"mp3", "aac", "pcm_s16le", "nellymoser", "speex", "adpcm_swf"}, "libx264",
                 "aac"}},
        {"webm", {{"vp8", "vp9", "av1"}, {"vorbis", "opus"}, "libvpx", "libvorbis"}},
        {"mpegts", {{"h264", "hevc", "mpeg2video", "mpeg1video", "mpeg4"},
                    {"aac", "mp3", "mp2", "ac3", "eac3", "opus", "dts"}, "libx264", "aac"}},
        {"asf", {{"wmv1", "wmv2", "msmpeg4v3", "mpeg4", "h264"}, {"wmav1", "wmav2", "mp3", "aac"},
                 "wmv2", "wmav2"}},
        {"ogg", {{"theora", "vp8"}, {"vorbis", "opus", "flac", "speex"}, "libtheora",
                 "libvorbis"}},
        {"adts", {{}, {"aac"}, "", "aac"}},
        {"mp3", {{}, {"mp3"}, "", "libmp3lame"}},
    };
    const auto it = rules.find(muxer);
    return it == rules.end() ? nullptr : &it->second;
}

// Bitrates the AC-3 and MPEG audio layer II encoders accept; others are refused.
int NearestAllowed(int kbps, const std::vector<int>& allowed) {
    int best = allowed.front();
    for (int v : allowed)
        if (std::abs(v - kbps) < std::abs(best - kbps)) best = v;
    return best;
}

int BitrateKbps(const std::string& text) {
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end == text.c_str()) return 0;
    if (*end == 'k' || *end == 'K') return static_cast<int>(v);
    if (*end == 'M' || *end == 'm') return static_cast<int>(v * 1000);
    return static_cast<int>(v / 1000);
}

std::string FormatNumber(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

std::string FormatSeconds3(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", v);
    return buf;
}

class OptList {
  public:
    std::vector<Opt> opts;
    int Find(std::initializer_list<const char*> names) const {
        for (int i = static_cast<int>(opts.size()) - 1; i >= 0; --i)
            for (const char* n : names)
                if (opts[static_cast<size_t>(i)].name == n) return i;
        return -1;
    }
    bool Has(std::initializer_list<const char*> names) const { return Find(names) >= 0; }
    std::optional<std::string> Value(std::initializer_list<const char*> names) const {
        const int i = Find(names);
        if (i < 0) return std::nullopt;
        return opts[static_cast<size_t>(i)].value;
    }
    void Remove(std::initializer_list<const char*> names) {
        std::erase_if(opts, [&](const Opt& o) {
            return std::any_of(names.begin(), names.end(), [&](const char* n) { return o.name == n; });
        });
    }
    void Rename(const char* from, const char* to) {
        for (auto& o : opts)
            if (o.name == from) o.name = to;
    }
    void Set(const std::string& name, const std::string& value) {
        for (auto& o : opts)
            if (o.name == name) {
                o.value = value;
                return;
            }
        opts.push_back({name, value});
    }
};

} // namespace

std::optional<double> ParseFfmpegTime(const std::string& text) {
    if (text.empty()) return std::nullopt;
    double total = 0;
    size_t from = 0;
    int fields = 0;
    bool negative = false;
    std::string t = text;
    if (t[0] == '-') {
        negative = true;
        t = t.substr(1);
    }
    while (true) {
        const size_t colon = t.find(':', from);
        const std::string part = t.substr(from, colon == std::string::npos ? std::string::npos
                                                                           : colon - from);
        if (part.empty() || ++fields > 3) return std::nullopt;
        char* end = nullptr;
        const double v = std::strtod(part.c_str(), &end);
        if (*end != '\0' && !(colon == std::string::npos && (*end == 's' && end[1] == '\0')))
            return std::nullopt;
        total = total * 60 + v;
        if (colon == std::string::npos) break;
        from = colon + 1;
    }
    return negative ? -total : total;
}

std::string MuxerForExtension(const std::string& ext) {
    static const std::map<std::string, std::string> map = {
        {".mp4", "mp4"},   {".m4v", "ipod"},  {".m4a", "ipod"},     {".m4b", "ipod"},
        {".mov", "mov"},   {".3gp", "3gp"},   {".3g2", "3g2"},      {".avi", "avi"},
        {".divx", "avi"},  {".flv", "flv"},   {".mkv", "matroska"}, {".mka", "matroska"},
        {".webm", "webm"}, {".mpg", "mpeg"},  {".mpeg", "mpeg"},    {".vob", "vob"},
        {".ts", "mpegts"}, {".m2ts", "mpegts"}, {".mts", "mpegts"}, {".m2t", "mpegts"},
        {".wmv", "asf"},   {".asf", "asf"},   {".wma", "asf"},      {".ogg", "ogg"},
        {".oga", "ogg"},   {".aac", "adts"},  {".mp3", "mp3"},      {".wav", "wav"},
        {".jpg", "image2"}, {".jpeg", "image2"}, {".png", "image2"}, {".bmp", "image2"}};
    const auto it = map.find(ext);
    return it == map.end() ? "" : it->second;
}

FcutPlan PlanFcut(std::vector<std::string> args) {
    FcutPlan plan;
    frontend::DropLeading(args, {"-cb"});

    // Split into input groups (options up to and including each -i), the output (options then
    // its path) and the global options that old ffmpeg accepted anywhere.
    std::vector<OptList> inputOpts;
    OptList pending, globals;
    std::optional<std::string> asyncValue, volValue;
    bool haveOutput = false;
    std::vector<std::string> trailing;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (haveOutput) {
            trailing.push_back(a);
            continue;
        }
        if (!IsOption(a)) {
            plan.output = a;
            haveOutput = true;
            continue;
        }
        Opt opt{a, std::nullopt};
        if (!kFlags.count(a)) {
            if (i + 1 >= args.size()) {
                plan.error = "option " + a + " needs a value";
                return plan;
            }
            opt.value = args[++i];
        }
        if (a == "-i") {
            plan.inputs.push_back(*opt.value);
            inputOpts.push_back(pending);
            pending = OptList{};
        } else if (a == "-async") {
            asyncValue = opt.value;
        } else if (a == "-vol") {
            volValue = opt.value;
        } else if (a == "-y" || a == "-n" || a == "-cb" || a == "-nostdin" || a == "-hide_banner" ||
                   a == "-nostats" || a == "-stats") {
            if (a == "-y" || a == "-n") globals.opts.push_back(opt);
        } else if (a == "-progress" || a == "-loglevel" || a == "-v") {
            // The front-end sets these itself.
        } else {
            pending.opts.push_back(opt);
        }
    }
    if (!trailing.empty())
        plan.notes.push_back("fcut: ignoring what follows the output file name");
    if (plan.inputs.empty()) {
        plan.error = "no input file given (-i)";
        return plan;
    }
    for (const auto& in : inputOpts) {
        if (auto t = in.Value({"-t"})) plan.duration = ParseFfmpegTime(*t);
    }
    if (auto ss = inputOpts.front().Value({"-ss"})) plan.inputSeek = ParseFfmpegTime(*ss);
    if (!haveOutput) {
        plan.probe = true;
        return plan;
    }

    OptList out = pending;
    if (auto t = out.Value({"-t"})) plan.duration = ParseFfmpegTime(*t);

    // Container.
    const std::string ext = frontend::LowerExtension(plan.output);
    if (auto f = out.Value({"-f"})) {
        plan.muxer = *f;
    } else {
        plan.muxer = MuxerForExtension(ext);
        if (ext == ".divx") out.opts.push_back({"-f", "avi"}); // ffmpeg does not know .divx
    }

    // Codecs, under their current encoder names.
    out.Rename("-vcodec", "-c:v");
    out.Rename("-codec:v", "-c:v");
    out.Rename("-acodec", "-c:a");
    out.Rename("-codec:a", "-c:a");
    if (auto both = out.Value({"-c", "-codec"})) {
        out.Remove({"-c", "-codec"});
        if (!out.Has({"-c:v"})) out.opts.push_back({"-c:v", *both});
        if (!out.Has({"-c:a"})) out.opts.push_back({"-c:a", *both});
    }
    const bool noVideo = out.Has({"-vn"});
    plan.videoCopy = !noVideo && out.Value({"-c:v"}).value_or("") == "copy";
    const bool noAudio = out.Has({"-an"});
    std::string vcodec = out.Value({"-c:v"}).value_or("");
    std::string acodec = out.Value({"-c:a"}).value_or("");
    if (!vcodec.empty() && vcodec != "copy") {
        const std::string n = NormalizeEncoder(vcodec);
        if (n != vcodec) out.Set("-c:v", n);
        vcodec = n;
    }
    if (!acodec.empty() && acodec != "copy") {
        const std::string n = NormalizeEncoder(acodec);
        if (n != acodec) out.Set("-c:a", n);
        acodec = n;
    }

    // A container that cannot hold the codec asked for gets the nearest one it holds.
    if (const ContainerRule* rule = RuleFor(plan.muxer)) {
        const std::string shown = ext.empty() ? plan.muxer : ext;
        if (!noAudio && !acodec.empty() && acodec != "copy" && !rule->audio.empty() &&
            !rule->audio.count(CodecOfEncoder(acodec)) && !rule->audioEncoder.empty()) {
            plan.notes.push_back("fcut: the " + shown + " container cannot hold " +
                                 CodecOfEncoder(acodec) + " audio; encoding " +
                                 CodecOfEncoder(rule->audioEncoder) + " instead");
            acodec = rule->audioEncoder;
            out.Set("-c:a", acodec);
        }
        if (!noVideo && !vcodec.empty() && vcodec != "copy" && !rule->video.empty() &&
            !rule->video.count(CodecOfEncoder(vcodec)) && !rule->videoEncoder.empty()) {
            plan.notes.push_back("fcut: the " + shown + " container cannot hold " +
                                 CodecOfEncoder(vcodec) + " video; encoding " +
                                 CodecOfEncoder(rule->videoEncoder) + " instead");
            vcodec = rule->videoEncoder;
            out.Set("-c:v", vcodec);
        }
    }

    // x264 presets were once files selected with -vpre ("veryfast_firstpass").
    if (auto vpre = out.Value({"-vpre"})) {
        out.Remove({"-vpre"});
        static const std::vector<std::string> presets = {
            "ultrafast", "superfast", "veryfast", "faster", "fast",
            "medium",    "slower",    "veryslow", "slow", "placebo"};
        std::string preset;
        for (const auto& p : presets)
            if (vpre->find(p) != std::string::npos && preset.empty()) preset = p;
        if (vcodec == "libx264" && !preset.empty() && !out.Has({"-preset"}))
            out.opts.push_back({"-preset", preset});
    }
    out.Remove({"-apre", "-spre", "-fpre"});

    // -sameq ("same quality as the source") is gone: the best fixed quality instead.
    if (out.Has({"-sameq", "-same_quant"})) {
        out.Remove({"-sameq", "-same_quant"});
        if (!out.Has({"-q:v", "-qscale:v", "-qscale"})) out.opts.push_back({"-q:v", "2"});
    }
    if (auto q = out.Value({"-qscale", "-qscale:v"})) {
        out.Remove({"-qscale", "-qscale:v"});
        const auto qv = ParseFfmpegTime(*q);
        if ((vcodec == "libvpx" || vcodec == "libvpx-vp9") && qv) {
            // libvpx has no fixed quantiser scale: constrained quality of a similar level.
            const int crf = std::clamp(static_cast<int>(std::lround(*qv * 4 - 2)), 4, 63);
            out.opts.push_back({"-crf", std::to_string(crf)});
            if (!out.Has({"-b:v", "-vb", "-b"})) out.opts.push_back({"-b:v", "4M"});
            if (!out.Has({"-cpu-used"})) out.opts.push_back({"-cpu-used", "4"});
        } else {
            out.opts.push_back({"-q:v", *q});
        }
    }
    if (auto aq = out.Value({"-aq", "-q:a", "-qscale:a"})) {
        out.Remove({"-aq", "-q:a", "-qscale:a"});
        if (acodec == "libvorbis") {
            // The old encoder's scale went far above libvorbis's -1..10.
            const double v = std::clamp(ParseFfmpegTime(*aq).value_or(5), -1.0, 10.0);
            out.opts.push_back({"-q:a", FormatNumber(v)});
        } else {
            out.opts.push_back({"-q:a", *aq});
        }
    }

    // AC-3 and MP2 encoders refuse bitrates outside their tables.
    if (auto ab = out.Value({"-ab", "-b:a"})) {
        const int kbps = BitrateKbps(*ab);
        if (kbps > 0 && (acodec == "ac3" || acodec == "mp2")) {
            const std::vector<int> ac3 = {32,  40,  48,  56,  64,  80,  96,  112, 128, 160,
                                          192, 224, 256, 320, 384, 448, 512, 576, 640};
            const std::vector<int> mp2 = {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256,
                                          320, 384};
            const int snapped = NearestAllowed(kbps, acodec == "ac3" ? ac3 : mp2);
            out.Remove({"-ab", "-b:a"});
            out.opts.push_back({"-b:a", std::to_string(snapped) + "k"});
        }
    }
    out.Rename("-ab", "-b:a");
    out.Rename("-vframes", "-frames:v");
    out.Rename("-aframes", "-frames:a");

    // Volume and audio sync are audio filters now; they cannot apply to copied or absent audio.
    const bool audioEncoded = !noAudio && acodec != "copy";
    std::vector<std::string> filters;
    if (asyncValue && audioEncoded) {
        const auto n = ParseFfmpegTime(*asyncValue);
        if (n && *n > 0) filters.push_back("aresample=async=" + FormatNumber(*n));
    }
    if (volValue && audioEncoded) {
        const auto n = ParseFfmpegTime(*volValue);
        if (n && *n >= 0 && *n != 256) filters.push_back("volume=" + FormatNumber(*n / 256.0));
    }
    if (!filters.empty()) {
        std::string chain;
        for (const auto& f : filters) chain += (chain.empty() ? "" : ",") + f;
        if (auto af = out.Value({"-af", "-filter:a"})) {
            chain = *af + "," + chain;
            out.Remove({"-af", "-filter:a"});
        }
        out.opts.push_back({"-af", chain});
    }

    // Encoders that would keep a 4:4:4 or 4:2:2 source as it is write files most players and
    // devices refuse.
    static const std::set<std::string> planar420 = {"libx264",    "libvpx", "libvpx-vp9",
                                                    "mpeg2video", "mpeg1video", "mpeg4",
                                                    "libxvid",    "libtheora"};
    if (!noVideo && planar420.count(vcodec) && !out.Has({"-pix_fmt"}))
        out.opts.push_back({"-pix_fmt", "yuv420p"});

    // One picture into one file: never read the name as a numbered pattern ("%d").
    if (plan.muxer == "image2" && !out.Has({"-update"})) out.opts.push_back({"-update", "1"});

    // Seeking the input lands on the nearest place the demuxer can find, which in transport and
    // program streams is not a keyframe: the decoder then drops frames up to the next keyframe,
    // so the picture starts late and, the length counting from there, ends late. When the video
    // is encoded anyway (or absent), seek the input to a few seconds before the start and cut
    // the rest exactly on the output side, both streams measured from the same point.
    if (!plan.videoCopy && plan.inputSeek && *plan.inputSeek > 0 && inputOpts.size() == 1 &&
        !out.Has({"-ss"})) {
        OptList& in = inputOpts.front();
        const double margin = std::min(*plan.inputSeek, 5.0);
        const double early = *plan.inputSeek - margin;
        in.Remove({"-ss"});
        if (early > 0) in.opts.push_back({"-ss", FormatSeconds3(early)});
        out.opts.insert(out.opts.begin(), {"-ss", FormatSeconds3(margin)});
        if (auto t = in.Value({"-t"}); t && !out.Has({"-t"})) {
            in.Remove({"-t"});
            out.opts.insert(out.opts.begin() + 1, {"-t", *t});
        }
    }

    // Assemble: globals, inputs, output.
    auto& fa = plan.ffmpegArgs;
    for (const auto& o : globals.opts) fa.push_back(o.name);
    for (size_t k = 0; k < inputOpts.size(); ++k) {
        for (const auto& o : inputOpts[k].opts) {
            fa.push_back(o.name);
            if (!o.value) continue;
            fa.push_back(*o.value);
            if (k == 0 && o.name == "-ss") plan.seekValueIndex = static_cast<int>(fa.size()) - 1;
            if (k == 0 && o.name == "-t") plan.durationValueIndex = static_cast<int>(fa.size()) - 1;
        }
        fa.push_back("-i");
        fa.push_back(plan.inputs[k]);
    }
    for (const auto& o : out.opts) {
        fa.push_back(o.name);
        if (o.value) fa.push_back(*o.value);
    }
    fa.push_back(plan.output);
    return plan;
}

} // namespace trimora::fcut
