#include "mcut_args.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace trimora::mtools {

namespace {

std::optional<double> ParseNumber(const std::string& text) {
    if (text.empty()) return std::nullopt;
    double v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<int> ParseInt(const std::string& text) {
    int v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size())
        return std::nullopt;
    return v;
}

std::vector<std::pair<std::string, std::string>> SplitSubOptions(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> items;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ':')) {
        if (item.empty()) continue;
        const size_t eq = item.find('=');
        if (eq == std::string::npos) items.emplace_back(item, "");
        else items.emplace_back(item.substr(0, eq), item.substr(eq + 1));
    }
    return items;
}

// Later -lavcopts keys override earlier ones, as mencoder's sub-options do.
void MergeInto(std::vector<std::pair<std::string, std::string>>& into,
               const std::vector<std::pair<std::string, std::string>>& items) {
    for (const auto& item : items) {
        auto it = std::find_if(into.begin(), into.end(),
                               [&](const auto& kv) { return kv.first == item.first; });
        if (it != into.end()) it->second = item.second;
        else into.push_back(item);
    }
}

std::string Lookup(const std::vector<std::pair<std::string, std::string>>& items,
                   const std::string& key, bool* present = nullptr) {
    for (const auto& [k, v] : items) {
        if (k == key) {
            if (present) *present = true;
            return v;
        }
    }
    if (present) *present = false;
    return "";
}

// kbit/s as mencoder reads it: values above 16000 are bit/s.
std::string BitrateArg(const std::string& value) {
    const auto n = ParseInt(value);
    if (!n || *n <= 0) return "";
    if (*n > 16000) return std::to_string(*n);
    return std::to_string(*n) + "k";
}

bool ParseScaleFilter(const std::string& filter, int* w, int* h, std::string* error) {
    // scale=W:H; W or H of 0 or below keep the source's value there.
    const size_t eq = filter.find('=');
    if (eq == std::string::npos) return true;
    const auto parts = SplitSubOptions(filter.substr(eq + 1));
    if (parts.size() < 2) {
        *error = "cannot read the video filter '" + filter + "'";
        return false;
    }
    const auto pw = ParseInt(parts[0].first), ph = ParseInt(parts[1].first);
    if (!pw || !ph) {
        *error = "cannot read the video filter '" + filter + "'";
        return false;
    }
    *w = *pw;
    *h = *ph;
    return true;
}


} // namespace

bool IsLavcVideoEncoder(const std::string& codec) {
    static const char* known[] = {"mpeg4",      "msmpeg4v2", "msmpeg4", "wmv1",  "wmv2",
                                  "mpeg1video", "mpeg2video", "h263p",  "mjpeg", "flv"};
    return std::any_of(std::begin(known), std::end(known),
                       [&](const char* k) { return codec == k; });
}

std::optional<double> ParseMencoderTime(const std::string& text) {
    if (text.empty()) return std::nullopt;
    double total = 0;
    size_t from = 0;
    int fields = 0;
    for (;;) {
        const size_t colon = text.find(':', from);
        const std::string field =
            text.substr(from, colon == std::string::npos ? std::string::npos : colon - from);
        std::optional<double> v = ParseNumber(field);
        if (colon != std::string::npos && !ParseInt(field)) v.reset(); // only seconds have a fraction
        if (!v || *v < 0 || ++fields > 3) return std::nullopt;
        total = total * 60 + *v;
        if (colon == std::string::npos) break;
        from = colon + 1;
    }
    return total;
}

std::optional<int64_t> ParseMencoderSize(const std::string& text) {
    std::string lower;
    for (char c : text) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    int64_t scale = 0;
    std::string digits;
    for (const auto& [suffix, factor] : {std::pair<const char*, int64_t>{"mb", 1024 * 1024},
                                         {"kb", 1024},
                                         {"b", 1}}) {
        const std::string s = suffix;
        if (lower.size() > s.size() && lower.compare(lower.size() - s.size(), s.size(), s) == 0) {
            scale = factor;
            digits = lower.substr(0, lower.size() - s.size());
            break;
        }
    }
    const auto n = ParseNumber(digits);
    if (scale == 0 || !n || *n <= 0) return std::nullopt;
    return static_cast<int64_t>(*n * static_cast<double>(scale));
}

McutParse ParseMcutArgs(const std::vector<std::string>& args) {
    McutParse result;
    McutOptions& o = result.options;
    auto fail = [&](const std::string& text) {
        result.ok = false;
        result.error = text;
        return result;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string* out) {
            if (i + 1 >= args.size()) return false;
            *out = args[++i];
            return true;
        };
        std::string v;
        if (a == "-o") {
            if (!value(&o.output)) return fail("-o needs a file name");
        } else if (a == "-edl") {
            if (!value(&o.edlFile)) return fail("-edl needs a file name");
        } else if (a == "-ss") {
            if (!value(&v) || !(o.seekStart = ParseMencoderTime(v)))
                return fail("cannot read the time after -ss");
        } else if (a == "-endpos") {
            if (!value(&v)) return fail("-endpos needs a time or a size");
            if (auto t = ParseMencoderTime(v)) o.endposLength = t;
            else if (auto s = ParseMencoderSize(v)) o.endposBytes = s;
            else return fail("cannot read the value after -endpos: " + v);
        } else if (a == "-ovc" || a == "-oac") {
            if (!value(a == "-ovc" ? &o.ovc : &o.oac)) return fail(a + " needs a codec");
        } else if (a == "-lavcopts" || a == "-lameopts") {
            if (!value(&v)) return fail(a + " needs its options");
            MergeInto(a == "-lavcopts" ? o.lavcopts : o.lameopts, SplitSubOptions(v));
        } else if (a == "-srate") {
            std::optional<int> rate;
            if (!value(&v) || !(rate = ParseInt(v)) || *rate < 1000 || *rate > 192000)
                return fail("cannot read the sample rate after -srate");
            o.srate = *rate;
        } else if (a == "-nosound") {
            o.nosound = true;
        } else if (a == "-vf" || a == "-vf-add") {
            if (!value(&v)) return fail(a + " needs a filter");
            std::stringstream in(v);
            std::string filter;
            while (std::getline(in, filter, ',')) {
                if (filter.rfind("scale", 0) == 0) {
                    std::string error;
                    if (!ParseScaleFilter(filter, &o.scaleWidth, &o.scaleHeight, &error))
                        return fail(error);
                } else if (filter == "harddup" || filter.empty()) {
                    o.ignored.push_back(a + " " + filter);
                } else {
                    return fail("the video filter '" + filter + "' is not supported");
                }
            }
        } else if (a == "-mc" || a == "-delay" || a == "-of" || a == "-ofps" || a == "-fps") {
            // Sync correction and audio delay are mencoder's own remedies for its demuxers;
            // ffmpeg keeps the streams' timestamps, and the container follows -o.
            if (!value(&v)) return fail(a + " needs a value");
            o.ignored.push_back(a + " " + v);
        } else if (a == "-hr-edl-seek" || a == "-forceidx" || a == "-noskip" || a == "-quiet" ||
                   a == "-really-quiet" || a == "-idx") {
            o.ignored.push_back(a);
        } else if (a.size() > 1 && a[0] == '-') {
            return fail("unknown option " + a);
        } else if (!a.empty()) {
            o.inputs.push_back(a);
        }
    }
    if (o.output.empty()) return fail("no output file (-o) given");
    if (o.inputs.empty()) return fail("no input file given");
    if (o.ovc.empty()) return fail("no video encoder (-ovc) selected");
    if (o.ovc != "copy" && o.ovc != "lavc") return fail("unsupported -ovc " + o.ovc);
    if (!o.nosound && o.oac.empty()) return fail("no audio encoder (-oac) selected");
    if (o.inputs.size() > 1 && (!o.edlFile.empty() || o.seekStart || o.endposLength))
        return fail("-edl, -ss and -endpos take one input file");
    result.ok = true;
    return result;
}

bool ResolveRange(const std::string& edlText, const McutOptions& options, KeptRange* range,
                  std::string* error) {
    std::vector<std::pair<double, double>> skips;
    std::stringstream in(edlText);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        const size_t hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        std::stringstream fields(line);
        std::string a, b, action;
        if (!(fields >> a)) continue; // blank line
        fields >> b >> action;
        const auto s = ParseMencoderTime(a), e = ParseMencoderTime(b);
        const auto act = ParseInt(action);
        if (!s || !e || !act || *e < *s) {
            *error = "cannot read line " + std::to_string(number) + " of the edit list";
            return false;
        }
        if (*act == 0) skips.emplace_back(*s, *e); // 1 mutes: the sound stays as it is
    }
    std::sort(skips.begin(), skips.end());

    double start = options.seekStart.value_or(0);
    for (const auto& [s, e] : skips)
        if (s <= start && start < e) start = e; // sorted, so chained skips are passed in turn
    double nextSkip = -1;
    for (const auto& [s, e] : skips) {
        if (s > start) {
            nextSkip = s;
            break;
        }
    }
    double end = options.endposLength ? start + *options.endposLength : -1;
    if (nextSkip >= 0) {
        if (end >= 0 && end <= nextSkip) {
            // the length ends before the next skipped stretch
        } else {
            // Is anything kept after that skip? Only the whole chain of skips can tell.
            double after = nextSkip;
            for (const auto& [s, e] : skips)
                if (s <= after && after < e) after = e;
            const bool moreKept = end < 0 || end > nextSkip;
            if (moreKept && after < 1e9) {
                *error = "an edit list that keeps several separate stretches is not supported";
                return false;
            }
            end = nextSkip;
        }
    }
    range->start = start;
    range->end = end;
    return true;
}

std::string LavcOption(const McutOptions& options, const std::string& key) {
    return Lookup(options.lavcopts, key);
}

std::string FfmpegEncoderOf(const std::string& lavcName) {
    if (lavcName == "mp3" || lavcName == "mp3lame") return "libmp3lame";
    if (lavcName == "vorbis") return "libvorbis";
    if (lavcName == "h264" || lavcName == "x264") return "libx264";
    if (lavcName == "faac") return "aac";
    if (lavcName == "pcm") return "pcm_s16le";
    return lavcName;
}

int OutputSampleRate(const McutOptions& options, const MediaInfo& source) {
    if (options.srate > 0) return options.srate;
    if (source.audio.sampleRate > 0) return source.audio.sampleRate;
    return 44100;
}

std::vector<std::string> VideoCodecArgs(const McutOptions& options, bool copy) {
    if (copy) return {"-c:v", "copy"};
    std::string codec = LavcOption(options, "vcodec");
    if (codec.empty()) codec = "mpeg4"; // mencoder's lavc default
    std::vector<std::string> args = {"-c:v", FfmpegEncoderOf(codec)};
    bool hasQscale = false;
    const std::string qscale = Lookup(options.lavcopts, "vqscale", &hasQscale);
    const std::string bitrate = BitrateArg(LavcOption(options, "vbitrate"));
    if (hasQscale && ParseNumber(qscale)) args.insert(args.end(), {"-q:v", qscale});
    else args.insert(args.end(), {"-b:v", bitrate.empty() ? "800k" : bitrate});
    const std::string keyint = LavcOption(options, "keyint");
    if (ParseInt(keyint)) args.insert(args.end(), {"-g", keyint});
    const auto threads = ParseInt(LavcOption(options, "threads"));
    if (threads && *threads > 0) args.insert(args.end(), {"-threads", std::to_string(*threads)});
    if (options.scaleWidth > 0 || options.scaleHeight > 0) {
        // ffmpeg keeps the picture's aspect with -2 where mencoder keeps the source's value
        const std::string w = options.scaleWidth > 0 ? std::to_string(options.scaleWidth) : "-2";
        const std::string h = options.scaleHeight > 0 ? std::to_string(options.scaleHeight) : "-2";
        args.insert(args.end(), {"-vf", "scale=" + w + ":" + h});
    }
    return args;
}

std::vector<std::string> AudioCodecArgs(const McutOptions& options, const MediaInfo& source) {
    if (options.nosound || !source.audio.present) return {"-an"};
    if (options.oac == "copy") return {"-c:a", "copy"};
    std::vector<std::string> args;
    if (options.oac == "mp3lame") {
        args = {"-c:a", "libmp3lame"};
        const std::string br = BitrateArg(Lookup(options.lameopts, "br"));
        const std::string q = Lookup(options.lameopts, "q");
        if (!br.empty()) args.insert(args.end(), {"-b:a", br});
        else args.insert(args.end(), {"-q:a", ParseInt(q) ? q : "4"});
    } else if (options.oac == "lavc") {
        std::string codec = LavcOption(options, "acodec");
        if (codec.empty()) codec = "mp2";
        const std::string br = BitrateArg(LavcOption(options, "abitrate"));
        args = {"-c:a", FfmpegEncoderOf(codec), "-b:a", br.empty() ? "224k" : br};
    } else {
        args = {"-c:a", FfmpegEncoderOf(options.oac)};
    }
    args.insert(args.end(), {"-ar", std::to_string(OutputSampleRate(options, source))});
    // The lavc and lame audio encoders hold at most two channels.
    if (source.audio.channels != 1 && source.audio.channels != 2) args.insert(args.end(), {"-ac", "2"});
    return args;
}

std::vector<std::string> BuildSingleRun(const McutOptions& options, const MediaInfo& source,
                                        const KeptRange& range, double keyframeStart) {
    const bool copyVideo = options.ovc == "copy";
    std::vector<std::string> argv = {"ffmpeg", "-nostdin", "-hide_banner", "-loglevel",
                                     "error", "-y"};
    double from = range.start;
    if (copyVideo && range.start > 0) {
        // A copied picture can only begin at a keyframe. Seek near it in the input (fast,
        // imprecise in ASF), then drop packets up to the keyframe exactly on the output side,
        // so sound and picture start together.
        from = std::clamp(keyframeStart, 0.0, range.start);
        const double near = std::max(0.0, from - 10);
        if (near > 0) argv.insert(argv.end(), {"-ss", SecondsArg(near)});
        argv.insert(argv.end(), {"-i", options.inputs[0]});
        if (from - near > 0) argv.insert(argv.end(), {"-ss", SecondsArg(from - near)});
    } else {
        if (range.start > 0) argv.insert(argv.end(), {"-ss", SecondsArg(range.start)});
        argv.insert(argv.end(), {"-i", options.inputs[0]});
    }
    if (range.end >= 0) argv.insert(argv.end(), {"-t", SecondsArg(range.end - from)});
    if (source.video.present) argv.insert(argv.end(), {"-map", "0:v:0"});
    const std::vector<std::string> audio = AudioCodecArgs(options, source);
    if (audio.front() != "-an") argv.insert(argv.end(), {"-map", "0:a:0"});
    const std::vector<std::string> video = VideoCodecArgs(options, copyVideo);
    argv.insert(argv.end(), video.begin(), video.end());
    argv.insert(argv.end(), audio.begin(), audio.end());
    argv.insert(argv.end(), {"-sn", "-dn"});
    if (options.endposBytes) argv.insert(argv.end(), {"-fs", std::to_string(*options.endposBytes)});
    const std::string muxer = MuxerFor(options.output);
    if (!muxer.empty()) argv.insert(argv.end(), {"-f", muxer});
    argv.push_back(options.output);
    return argv;
}

bool SamePictures(const StreamInfo& a, const StreamInfo& b, std::string* why) {
    auto say = [&](const std::string& text) {
        if (why) *why = text;
        return false;
    };
    if (!a.present || !b.present) return say("a clip has no picture");
    if (a.codec != b.codec) return say("video codecs " + a.codec + " and " + b.codec + " differ");
    if (a.width != b.width || a.height != b.height)
        return say("frame sizes " + std::to_string(a.width) + "x" + std::to_string(a.height) +
                   " and " + std::to_string(b.width) + "x" + std::to_string(b.height) + " differ");
    // Copied frames keep their count: at another rate they would play slower or faster.
    if (a.fps > 0 && b.fps > 0 && std::fabs(a.fps - b.fps) > a.fps * 0.001) {
        char text[96];
        std::snprintf(text, sizeof text, "frame rates %.3f and %.3f differ", a.fps, b.fps);
        return say(text);
    }
    return true;
}

size_t ReferenceClip(const std::vector<MediaInfo>& sources, const std::vector<double>& lengths) {
    size_t best = 0;
    for (size_t i = 0; i < sources.size(); ++i)
        if (sources[i].video.present &&
            (!sources[best].video.present || lengths[i] > lengths[best]))
            best = i;
    return best;
}

std::vector<std::string> BuildFitRun(const std::string& input, const StreamInfo& reference,
                                     const std::string& target, const std::string& muxer) {
    const std::string w = std::to_string(reference.width), h = std::to_string(reference.height);
    char fps[32];
    std::snprintf(fps, sizeof fps, "%.6f", reference.fps > 0 ? reference.fps : 25.0);
    return {"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y", "-i", input,
            "-map", "0:v:0", "-an", "-sn", "-dn", "-vf",
            "scale=" + w + ":" + h + ":force_original_aspect_ratio=decrease,pad=" + w + ":" + h +
                ":(ow-iw)/2:(oh-ih)/2,setsar=1,fps=" + fps + ",format=yuv420p",
            "-c:v", reference.codec, "-q:v", "2", "-f", muxer.empty() ? "nut" : muxer, target};
}

std::vector<std::string> BuildJoinRun(const McutOptions& options,
                                      const std::vector<MediaInfo>& sources,
                                      const std::vector<double>& lengths, bool copyVideo,
                                      const std::string& concatList) {
    const size_t n = sources.size();
    std::vector<std::string> argv = {"ffmpeg", "-nostdin", "-hide_banner", "-loglevel",
                                     "error", "-y"};
    if (copyVideo) argv.insert(argv.end(), {"-f", "concat", "-safe", "0", "-i", concatList});
    const size_t base = copyVideo ? 1 : 0;
    for (const auto& input : options.inputs) argv.insert(argv.end(), {"-i", input});

    bool anyAudio = false;
    for (const auto& s : sources) anyAudio = anyAudio || s.audio.present;
    const bool withAudio = !options.nosound && anyAudio;
    MediaInfo audioModel = sources[0];
    for (const auto& s : sources)
        if (s.audio.present) {
            audioModel = s;
            break;
        }
    const int rate = OutputSampleRate(options, audioModel);

    int width = options.scaleWidth, height = options.scaleHeight;
    if (width <= 0) width = sources[0].video.width > 0 ? sources[0].video.width : 320;
    if (height <= 0) height = sources[0].video.height > 0 ? sources[0].video.height : 240;
    width &= ~1;
    height &= ~1;
    double fps = sources[0].video.fps;
    if (!(fps > 1 && fps <= 120)) fps = 25;
    char fpsText[32];
    std::snprintf(fpsText, sizeof fpsText, "%.3f", fps);

    std::string graph, concatInputs;
    for (size_t i = 0; i < n; ++i) {
        const std::string idx = std::to_string(base + i), num = std::to_string(i);
        const std::string len = SecondsArg(lengths[i]);
        if (!copyVideo) {
            const std::string size = std::to_string(width) + "x" + std::to_string(height);
            if (sources[i].video.present)
                graph += "[" + idx + ":v:0]scale=" + std::to_string(width) + ":" +
                         std::to_string(height) +
                         ":force_original_aspect_ratio=decrease,pad=" + std::to_string(width) +
                         ":" + std::to_string(height) + ":(ow-iw)/2:(oh-ih)/2,setsar=1,fps=" +
                         fpsText + ",format=yuv420p,setpts=PTS-STARTPTS,trim=end=" + len +
                         "[v" + num + "];";
            else
                graph += "color=c=black:s=" + size + ":r=" + fpsText + ":d=" + len +
                         ",format=yuv420p[v" + num + "];";
            concatInputs += "[v" + num + "]";
        }
        if (withAudio) {
            // Every clip's sound is made exactly as long as its picture, so the sound of each
            // later clip starts with its picture and the whole lasts as long as the video.
            const std::string fmt = "aformat=sample_rates=" + std::to_string(rate) +
                                    ":channel_layouts=stereo";
            if (sources[i].audio.present)
                graph += "[" + idx + ":a:0]aresample=" + std::to_string(rate) + "," + fmt +
                         ",asetpts=PTS-STARTPTS,apad,atrim=end=" + len + "[a" + num + "];";
            else
                graph += "anullsrc=r=" + std::to_string(rate) + ":cl=stereo," + fmt +
                         ",atrim=end=" + len + "[a" + num + "];";
            concatInputs += "[a" + num + "]";
        }
    }
    const bool filterVideo = !copyVideo;
    if (filterVideo || withAudio) {
        graph += concatInputs + "concat=n=" + std::to_string(n) +
                 ":v=" + (filterVideo ? "1" : "0") + ":a=" + (withAudio ? "1" : "0");
        graph += filterVideo ? "[v]" : "";
        graph += withAudio ? "[a]" : "";
        argv.insert(argv.end(), {"-filter_complex", graph});
    }
    argv.insert(argv.end(), {"-map", copyVideo ? "0:v:0" : "[v]"});
    if (withAudio) argv.insert(argv.end(), {"-map", "[a]"});

    if (copyVideo) {
        argv.insert(argv.end(), {"-c:v", "copy"});
    } else if (options.ovc == "lavc") {
        McutOptions noScale = options; // the graph has scaled already
        noScale.scaleWidth = noScale.scaleHeight = 0;
        const auto video = VideoCodecArgs(noScale, false);
        argv.insert(argv.end(), video.begin(), video.end());
    } else {
        // Asked to copy pictures that cannot share one stream: encode them in the first clip's
        // codec when ffmpeg can, else in the container's usual one, at a high quality.
        std::string codec = sources[0].video.codec;
        if (!IsLavcVideoEncoder(codec)) {
            const std::string muxer = MuxerFor(options.output);
            codec = muxer == "asf" ? "wmv2" : muxer == "mpeg" || muxer == "vob" ? "mpeg2video"
                                                                                : "mpeg4";
        }
        argv.insert(argv.end(), {"-c:v", codec, "-q:v", "3"});
    }
    if (withAudio) {
        MediaInfo stereo = audioModel;
        stereo.audio.present = true;
        stereo.audio.channels = 2;
        stereo.audio.sampleRate = rate;
        McutOptions encode = options;
        if (encode.oac == "copy" || encode.oac.empty()) encode.oac = "mp3lame";
        const auto audio = AudioCodecArgs(encode, stereo);
        argv.insert(argv.end(), audio.begin(), audio.end());
    } else {
        argv.push_back("-an");
    }
    argv.insert(argv.end(), {"-sn", "-dn"});
    const std::string muxer = MuxerFor(options.output);
    if (!muxer.empty()) argv.insert(argv.end(), {"-f", muxer});
    argv.push_back(options.output);
    return argv;
}

std::string PosChunk(double seconds, int64_t frames, int percent) {
    // The program reads the seconds between the last colon and the last point, and a join's
    // percent after the last '=': nothing after the number may hold a point.
    char buf[96];
    std::snprintf(buf, sizeof buf, "Pos:%6.1fs %6lldf (%2d%%) =%d\r", std::max(0.0, seconds),
                  static_cast<long long>(frames), percent, percent);
    return buf;
}

} // namespace trimora::mtools
