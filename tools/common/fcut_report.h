#pragma once
// The stream report fcut.exe prints for a probe, in the classic layout the program's clip parser
// reads, built from ffprobe's JSON:
//
//   Input #0, mov,mp4,m4a,3gp,3g2,mj2, from '/clips/a.mp4':
//     Metadata:
//       major_brand     : isom
//     Duration: 00:01:23.45, start: 0.000000, bitrate: 1234 kb/s
//       Stream #0.0: Video: h264, yuv420p, 1280x720 [SAR 1:1 DAR 16:9], 25 fps, 25 tbr, 12800 tbn
//       Stream #0.1: Audio: aac, 44100 Hz, stereo, fltp, 128 kb/s

#include <string>

namespace trimora::fcut {

// Report of input number `index` from ffprobe's -show_format -show_streams JSON. Empty when the
// JSON cannot be read.
std::string FormatStreamReport(int index, const std::string& path, const std::string& json);

// ffmpeg's way of writing a rate: "25", "29.97", "12800", "90k".
std::string FormatRate(double rate);

// "HH:MM:SS.cc" of seconds, rounded as ffmpeg rounds its Duration.
std::string FormatReportDuration(double seconds);

// Seconds of the container duration in ffprobe's JSON, or a negative value when unknown.
double JsonDuration(const std::string& json);
// Seconds of the container start time in ffprobe's JSON, 0 when unknown.
double JsonStartTime(const std::string& json);

} // namespace trimora::fcut
