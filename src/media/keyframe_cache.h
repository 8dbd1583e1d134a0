#pragma once
// The keyframe times of the clips the window shows, read once per clip in the background (a
// reading never holds up the caller) and kept in memory for as long as the file keeps its size
// and modification time.

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace trimora {

class TKeyframeCache {
  public:
    // The keyframes of path (ReadKeyframeTimes; empty when they cannot be read), or nothing
    // while they are being read. The first question for a file, or for a file changed since,
    // starts the reading on a thread of its own.
    std::optional<std::vector<double>> Get(const std::string& path);

  private:
    struct Entry {
        long long size = -1, mtimeNs = -1;
        bool ready = false;
        std::vector<double> times;
    };
    struct Shared {
        std::mutex lock;
        std::map<std::string, Entry> entries;
    };
    // Shared with the reading threads, which may outlive the cache.
    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
};

} // namespace trimora
