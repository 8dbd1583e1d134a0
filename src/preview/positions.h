#pragma once
// The position side of the two previews as plain functions: seek commands, the time shown in
// the start and end boxes from a player's status line, and the frame-save command. The window
// reads its controls, calls these, and writes the results back.

#include <cstdint>
#include <string>

namespace trimora {

// " 1" (the number is a percentage of the clip) for a WMV clip, " 2" (seconds) otherwise.
std::string SeekTypeFor(const std::string& inputExt);
// "seek <value><seekType>"
std::string SeekCommand(int64_t value, const std::string& seekType);

// What a status line says about the position: the number after its last colon
// ("V:   2.5  63/ 63 ..." gives 2.5). False when it does not read as a number.
bool StatusLineSeconds(const std::string& statusLine, double& seconds);
std::string StatusLineSecondsText(const std::string& statusLine);

struct PositionInput {
    int64_t sliderValue = 0;
    std::string lastStatusLine;
    std::string inputExt;
    bool flvCanSeek = false;
    std::string durationText; // HH:MM:SS of the clip
    double clipLength = 0;    // seconds, as the player reports it; 0: unknown
    double fps = 0;           // frames per second; 0: unknown
};

// The text for EditStartTime / EditEndTime: the time of the frame the player shows, read from
// its status line (HH:MM:SS.mmm). In the end box the clip's last frame reads as the clip's
// length. seconds keeps its old value when the status line does not read (StartSeconds /
// EndSeconds).
std::string StartPositionText(const PositionInput& in, double& seconds);
std::string EndPositionText(const PositionInput& in, double& seconds);

// A time typed into a box: "[[H:]M:]S[.fff]" with minutes and seconds after a colon below 60.
// False for anything else ("abc", "1:75", "-3").
bool ReadTypedTime(const std::string& text, double& seconds);

// The time text as it goes into the frame-save command and image name: the box's text as it
// stands when it is a time text (digits, colons, one point), otherwise that text read as a
// time and written as HH:MM:SS.mmm, so that nothing typed can become an extra option or a
// folder of the image path.
std::string FrameTimeText(const std::string& editText);
// SaveImageFolder + the time without colons + ".jpg", made unique.
std::string SaveFrameImagePath(const std::string& saveImageFolder, const std::string& timeText);
// FfmpegCommand + " -ss " + t + " -i " + "input" + " -f image2 -vframes 1 -sameq " + "image"
std::string SaveFrameCommand(const std::string& ffmpegCommand, const std::string& timeText,
                             const std::string& inputFile, const std::string& imagePath);

} // namespace trimora
