#include "fcut_report.h"

#include "json_value.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace trimora::fcut {

namespace {

using frontend::JsonValue;

std::string Str(const JsonValue& o, const char* key) {
    const JsonValue& v = o[key];
    if (v.IsString()) return v.Text();
    if (v.IsNumber()) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.0f", v.Number());
        return buf;
    }
    return "";
}

bool ToDouble(const std::string& s, double* out) {
    if (s.empty() || s == "N/A") return false;
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (end == s.c_str() || !std::isfinite(v)) return false;
    *out = v;
    return true;
}

// "30000/1001" -> 29.97; false for "0/0" and unreadable texts.
bool Ratio(const std::string& s, double* out) {
    const size_t slash = s.find('/');
    double num = 0, den = 1;
    if (slash == std::string::npos) return ToDouble(s, out) && *out > 0;
    if (!ToDouble(s.substr(0, slash), &num) || !ToDouble(s.substr(slash + 1), &den)) return false;
    if (num <= 0 || den <= 0) return false;
    *out = num / den;
    return true;
}

// Metadata values are the file author's text. A value that holds one of the markers the clip
// parser looks for would be read as a stream or duration line, so such lines are left out.
bool SafeForReport(const std::string& text) {
    std::string lower;
    for (char c : text) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* marker : {"audio:", "v420p", "ation:", "duration", "monotone",
                               "invalid data found", "bgr24,", "time=", "kb/s", "video:"})
        if (lower.find(marker) != std::string::npos) return false;
    return true;
}

std::string OneLine(std::string s) {
    for (char& c : s)
        if (c == '\r' || c == '\n') c = ' ';
    return s;
}

} // namespace

std::string FormatRate(double rate) {
    const uint64_t v = static_cast<uint64_t>(std::llround(rate * 100));
    char buf[32];
    if (!v) std::snprintf(buf, sizeof buf, "%1.4f", rate);
    else if (v % 100) std::snprintf(buf, sizeof buf, "%3.2f", rate);
    else if (v % (100 * 1000)) std::snprintf(buf, sizeof buf, "%1.0f", rate);
    else std::snprintf(buf, sizeof buf, "%1.0fk", rate / 1000);
    return buf;
}

std::string FormatReportDuration(double seconds) {
    int64_t us = static_cast<int64_t>(std::llround(seconds * 1e6)) + 5000;
    if (us < 0) us = 0;
    int64_t secs = us / 1000000;
    const int64_t frac = us % 1000000;
    int64_t mins = secs / 60;
    secs %= 60;
    const int64_t hours = mins / 60;
    mins %= 60;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld.%02lld", static_cast<long long>(hours),
                  static_cast<long long>(mins), static_cast<long long>(secs),
                  static_cast<long long>(frac * 100 / 1000000));
    return buf;
}

double JsonDuration(const std::string& json) {
    const JsonValue doc = JsonValue::Parse(json);
    double d = -1;
    if (!doc.IsObject() || !ToDouble(Str(doc["format"], "duration"), &d)) return -1;
    return d;
}

double JsonStartTime(const std::string& json) {
    const JsonValue doc = JsonValue::Parse(json);
    double s = 0;
    if (!doc.IsObject() || !ToDouble(Str(doc["format"], "start_time"), &s)) return 0;
    return s;
}

std::string FormatStreamReport(int index, const std::string& path, const std::string& json) {
    const JsonValue doc = JsonValue::Parse(json);
    if (!doc.IsObject()) return "";
    const JsonValue& format = doc["format"];
    const std::string idx = std::to_string(index);
    std::string r = "Input #" + idx + ", " + Str(format, "format_name") + ", from '" + path +
                    "':\n";

    std::string meta;
    for (const auto& [key, tag] : format["tags"].Members()) {
        const std::string value = OneLine(tag.Text());
        if (!SafeForReport(key) || !SafeForReport(value)) continue;
        char buf[40];
        std::snprintf(buf, sizeof buf, "    %-16s: ", key.c_str());
        meta += buf + value + "\n";
    }
    if (!meta.empty()) r += "  Metadata:\n" + meta;

    double duration = 0, start = 0, bitrate = 0;
    r += "  Duration: ";
    r += ToDouble(Str(format, "duration"), &duration) ? FormatReportDuration(duration) : "N/A";
    if (ToDouble(Str(format, "start_time"), &start)) {
        char buf[48];
        std::snprintf(buf, sizeof buf, ", start: %.6f", start);
        r += buf;
    }
    r += ", bitrate: ";
    r += ToDouble(Str(format, "bit_rate"), &bitrate)
             ? std::to_string(static_cast<long long>(bitrate / 1000)) + " kb/s"
             : "N/A";
    r += "\n";

    for (const JsonValue& s : doc["streams"].Items()) {
        const std::string type = Str(s, "codec_type");
        std::string line = "    Stream #" + idx + "." + Str(s, "index");
        const std::string lang = Str(s["tags"], "language");
        if (!lang.empty() && lang != "und" && SafeForReport(lang)) line += "(" + lang + ")";
        std::string codec = Str(s, "codec_name");
        if (codec.empty()) codec = "none";
        double v = 0;
        if (type == "video") {
            line += ": Video: " + codec;
            const std::string pix = Str(s, "pix_fmt");
            if (!pix.empty()) line += ", " + pix;
            const std::string w = Str(s, "width"), h = Str(s, "height");
            if (!w.empty() && !h.empty() && w != "0") {
                line += ", " + w + "x" + h;
                const std::string sar = Str(s, "sample_aspect_ratio");
                const std::string dar = Str(s, "display_aspect_ratio");
                if (!sar.empty() && sar.rfind("0:", 0) != 0 && sar != "N/A" && !dar.empty())
                    line += " [SAR " + sar + " DAR " + dar + "]";
            }
            if (ToDouble(Str(s, "bit_rate"), &v) && v > 0)
                line += ", " + std::to_string(static_cast<long long>(v / 1000)) + " kb/s";
            if (Ratio(Str(s, "avg_frame_rate"), &v)) line += ", " + FormatRate(v) + " fps";
            if (Ratio(Str(s, "r_frame_rate"), &v)) line += ", " + FormatRate(v) + " tbr";
            double tb = 0;
            if (Ratio(Str(s, "time_base"), &tb)) line += ", " + FormatRate(1 / tb) + " tbn";
        } else if (type == "audio") {
            line += ": Audio: " + codec;
            const std::string rate = Str(s, "sample_rate");
            if (!rate.empty() && rate != "0") line += ", " + rate + " Hz";
            std::string layout = Str(s, "channel_layout");
            if (layout.empty()) {
                const std::string ch = Str(s, "channels");
                if (!ch.empty()) layout = ch + " channels";
            }
            if (!layout.empty()) line += ", " + layout;
            const std::string fmt = Str(s, "sample_fmt");
            if (!fmt.empty()) line += ", " + fmt;
            if (ToDouble(Str(s, "bit_rate"), &v) && v > 0)
                line += ", " + std::to_string(static_cast<long long>(v / 1000)) + " kb/s";
        } else if (type == "subtitle") {
            line += ": Subtitle: " + codec;
        } else if (type == "attachment") {
            line += ": Attachment: " + codec;
        } else {
            line += ": Data: " + codec;
        }
        r += line + "\n";
    }
    return r;
}

} // namespace trimora::fcut
