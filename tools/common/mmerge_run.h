#pragma once
// mmerge.exe: the program's Matroska split and join command lines on Debian's mkvmerge, with
// joins into MP4-family and VOB names remuxed by ffmpeg into the container their name says.

#include <string>
#include <vector>

namespace trimora::mtools {

// args: the program's arguments without argv[0]. Returns the exit status.
int RunMmerge(std::vector<std::string> args);

// A hidden file beside `near` ("/d/.name.mmerge-XXXXXX.ext"), removed when the object goes
// unless it was renamed into place with Commit.
class SiblingTemp {
  public:
    SiblingTemp(const std::string& near, const std::string& ext);
    ~SiblingTemp();
    SiblingTemp(const SiblingTemp&) = delete;
    SiblingTemp& operator=(const SiblingTemp&) = delete;
    bool Ok() const { return !path_.empty(); }
    const std::string& Path() const { return path_; }
    // Renames the file to target (replacing it); true on success.
    bool Commit(const std::string& target);

  private:
    std::string path_;
};

} // namespace trimora::mtools
