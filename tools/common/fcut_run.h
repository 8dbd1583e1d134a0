#pragma once
// fcut.exe: runs one encoder command line of the program on today's ffmpeg and prints the texts
// the program reads (see fcut_plan.h for the translation, fcut_report.h for the probe report).

#include <string>
#include <vector>

namespace trimora::fcut {

// Turns ffmpeg's -progress output (key=value lines) into the progress texts of old ffmpeg, one
// chunk per progress block, ending in "time=<whole seconds>" so that the program's parser reads
// exactly the number after "time=".
class ProgressTranslator {
  public:
    // Feeds raw -progress output; returns the chunks completed by it.
    std::vector<std::string> Feed(const std::string& text);

  private:
    std::string partial_;
    std::string frame_, fps_, size_, bitrate_, speed_;
    long long timeUs_ = -1;
};

// Collects the tool's log output and hands it back in whole lines.
class LineBuffer {
  public:
    void Feed(const std::string& text);
    std::string TakeLines();     // complete lines, each ending with '\n'
    std::string TakeEverything(); // at the end: the unfinished line too

  private:
    std::string buffer_;
};

// The summary old ffmpeg printed when it wrote nothing; the program recognises a failed copy by
// "video:0kB audio:0kB".
std::string EmptyOutputSummary();

// The whole front-end; returns its exit status.
int RunFcut(const std::vector<std::string>& args);

} // namespace trimora::fcut
