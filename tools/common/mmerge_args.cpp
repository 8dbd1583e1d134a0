#include "mmerge_args.h"

#include "frontend.h"
#include "mcut_media.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace trimora::mtools {

namespace {

// mkvmerge reads a leading '@' as an option file and a leading '-' as an option.
std::string SafeFileArg(const std::string& path) {
    if (!path.empty() && (path[0] == '-' || path[0] == '@' || path[0] == '+')) return "./" + path;
    return path;
}

} // namespace

double ParseSplitTime(const std::string& raw) {
    std::string text = raw;
    while (!text.empty() && text.front() == ' ') text.erase(0, 1);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    if (!text.empty() && text.back() == 's') text.pop_back();
    if (text.empty()) return -1;
    double total = 0;
    size_t from = 0;
    for (int field = 0;; ++field) {
        const size_t colon = text.find(':', from);
        const std::string part =
            text.substr(from, colon == std::string::npos ? std::string::npos : colon - from);
        double v = 0;
        const auto r = std::from_chars(part.data(), part.data() + part.size(), v);
        if (part.empty() || r.ec != std::errc() || r.ptr != part.data() + part.size() || v < 0 ||
            !std::isfinite(v) || field > 2)
            return -1;
        total = total * 60 + v;
        if (colon == std::string::npos) break;
        from = colon + 1;
    }
    return total;
}

MmergeParse ParseMmergeArgs(const std::vector<std::string>& args) {
    MmergeParse result;
    MmergeOptions& o = result.options;
    auto fail = [&](const std::string& text) {
        result.error = text;
        return result;
    };
    bool appendNext = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-o" || a == "--output") {
            if (i + 1 >= args.size()) return fail(a + " needs a file name");
            o.output = args[++i];
        } else if (a == "--split") {
            if (i + 1 >= args.size()) return fail("--split needs a mode");
            const std::string mode = args[++i];
            const size_t colon = mode.find(':');
            const std::string kind = mode.substr(0, colon);
            if (colon == std::string::npos || (kind != "timecodes" && kind != "timestamps"))
                return fail("unsupported --split mode " + mode);
            std::string list = mode.substr(colon + 1);
            size_t from = 0;
            for (;;) {
                const size_t comma = list.find(',', from);
                const std::string t = list.substr(
                    from, comma == std::string::npos ? std::string::npos : comma - from);
                const double seconds = ParseSplitTime(t);
                if (seconds < 0) return fail("cannot read the split time '" + t + "'");
                if (!o.splitPoints.empty() && seconds <= o.splitPoints.back())
                    return fail("the split times must grow: " + list);
                o.splitPoints.push_back(seconds);
                if (comma == std::string::npos) break;
                from = comma + 1;
            }
            o.split = true;
        } else if (a == "-A" || a == "--no-audio") {
            o.noAudio = true;
        } else if (a == "+") {
            appendNext = true;
        } else if (a.size() > 1 && a[0] == '+') {
            o.inputs.push_back(a.substr(1));
            o.appended.push_back(true);
            appendNext = false;
        } else if (a.size() > 1 && a[0] == '-') {
            return fail("unknown option " + a);
        } else if (!a.empty()) {
            o.inputs.push_back(a);
            o.appended.push_back(appendNext);
            appendNext = false;
        }
    }
    if (o.output.empty()) return fail("no output file (-o) given");
    if (o.inputs.empty()) return fail("no input file given");
    if (o.appended[0]) return fail("the first file cannot be appended to anything");
    if (o.split && o.inputs.size() != 1) return fail("--split takes one input file");
    result.ok = true;
    return result;
}

std::string SplitPartName(const std::string& output, int number) {
    const size_t slash = output.find_last_of('/');
    size_t dot = output.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
        dot == (slash == std::string::npos ? 0 : slash + 1))
        dot = output.size();
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "-%03d", number);
    // The extension is written in lower case: the program looks for "trim-002.mkv" whatever
    // the letters of the source's extension were (trim.MKV), and Linux names are exact.
    std::string ext = output.substr(dot);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return output.substr(0, dot) + suffix + ext;
}

bool NeedsRemux(const std::string& output) {
    const std::string ext = frontend::LowerExtension(output);
    return ext == ".mp4" || ext == ".m4v" || ext == ".mov" || ext == ".3gp" || ext == ".vob";
}

std::vector<std::string> MkvmergeJoinArgs(const MmergeOptions& options, const std::string& target) {
    std::vector<std::string> argv = {"mkvmerge", "--ui-language", "en_US", "-o", target};
    for (size_t i = 0; i < options.inputs.size(); ++i) {
        if (options.noAudio) argv.push_back("--no-audio"); // applies to the file after it
        if (options.appended[i]) argv.push_back("+");
        argv.push_back(SafeFileArg(options.inputs[i]));
    }
    return argv;
}

std::vector<std::string> MkvmergePartArgs(const MmergeOptions& options, const std::string& target,
                                          double from, double to) {
    const std::string part = SecondsArg(from) + "s-" + (to > from ? SecondsArg(to) + "s" : "");
    std::vector<std::string> argv = {"mkvmerge", "--ui-language", "en_US", "-o", target,
                                     "--split", "parts:" + part};
    if (options.noAudio) argv.push_back("--no-audio");
    argv.push_back(SafeFileArg(options.inputs[0]));
    return argv;
}

std::string MismatchError(const std::string& line) {
    const std::string marker = "can probably not be appended correctly";
    const size_t at = line.find(marker);
    if (at == std::string::npos) return "";
    std::string text = line.substr(0, at) + "cannot be appended" + line.substr(at + marker.size());
    if (text.rfind("Warning:", 0) == 0) text = "Error:" + text.substr(8);
    const size_t please = text.find(" Please make sure");
    if (please != std::string::npos) text.erase(please);
    return text;
}

} // namespace trimora::mtools
