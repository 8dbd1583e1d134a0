#pragma once
// mmerge.exe's reading of the mkvmerge command lines the program composes:
//   -o OUT SRC --split timecodes:A,B     (cut: the stretch A..B becomes OUT's part -002)
//   A +B +C -o OUT                       (join)

#include <string>
#include <vector>

namespace trimora::mtools {

struct MmergeOptions {
    std::string output;
    std::vector<std::string> inputs;
    std::vector<bool> appended; // appended[i]: inputs[i] is appended to the file before it
    std::vector<double> splitPoints; // seconds, from --split timecodes: / timestamps:
    bool split = false;
    bool noAudio = false; // -A / --no-audio: the sound tracks of every input are left out
};

struct MmergeParse {
    bool ok = false;
    std::string error;
    MmergeOptions options;
};

MmergeParse ParseMmergeArgs(const std::vector<std::string>& args);

// mkvmerge's name of split part `number` (1-based): "/w/trim.mkv", 2 -> "/w/trim-002.mkv".
std::string SplitPartName(const std::string& output, int number);

// Time texts of --split: "HH:MM:SS.nnn", "H:MM:SS", "SS.nnn", "12.5s". Negative when unreadable.
double ParseSplitTime(const std::string& text);

// Whether mkvmerge cannot write this output itself (it writes only Matroska and WebM).
bool NeedsRemux(const std::string& output);

// mkvmerge's argument vector for a join into `target` (the inputs with their '+').
std::vector<std::string> MkvmergeJoinArgs(const MmergeOptions& options, const std::string& target);
// ... and for writing only the stretch [from, to) of the single input into `target`.
std::vector<std::string> MkvmergePartArgs(const MmergeOptions& options, const std::string& target,
                                          double from, double to);

// A warning line of mkvmerge that announces a broken join (different codec settings), turned
// into the error the program knows ("... cannot be appended ..."); empty for other lines.
std::string MismatchError(const std::string& line);

} // namespace trimora::mtools
