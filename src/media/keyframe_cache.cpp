#include "media/keyframe_cache.h"

#include <sys/stat.h>
#include <thread>

#include "media/keyframes.h"

namespace trimora {

std::optional<std::vector<double>> TKeyframeCache::Get(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::vector<double>{};
    const long long size = st.st_size;
    const long long mtime = st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
    {
        std::lock_guard hold(shared_->lock);
        Entry& e = shared_->entries[path];
        if (e.size == size && e.mtimeNs == mtime) {
            if (!e.ready) return std::nullopt;
            return e.times;
        }
        e = Entry{size, mtime, false, {}};
    }
    std::thread([shared = shared_, path, size, mtime] {
        std::vector<double> times = ReadKeyframeTimes(path);
        std::lock_guard hold(shared->lock);
        Entry& e = shared->entries[path];
        // A newer reading of a changed file keeps its own entry.
        if (e.size != size || e.mtimeNs != mtime) return;
        e.ready = true;
        e.times = std::move(times);
    }).detach();
    return std::nullopt;
}

} // namespace trimora
